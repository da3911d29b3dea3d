#pragma once
#include <windows.h>

// The shell's desktop windows, behind the icons, by class name: neither the program nor the hook library
// ever makes one translucent, nor the root window under every window (GetDesktopWindow), which callers test.
inline bool IsDesktopClass(const WCHAR* name) {
    return lstrcmpW(name, L"Progman") == 0 || lstrcmpW(name, L"WorkerW") == 0;
}
