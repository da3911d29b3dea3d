#pragma once
// The start-up benchmark's yardsticks show one window each: of the settings window's size, centred, on the
// button face, registered and created here (inline: the yardsticks link nothing of Vitrea's).
#include <windows.h>
#include "ui/layout.h"

inline HWND CreateYardstickWindow(HINSTANCE instance, const WCHAR* className, WNDPROC procedure, DWORD style) {
    WNDCLASSW cls = {};
    cls.lpfnWndProc = procedure;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = className;
    RegisterClassW(&cls);
    int width = windowBelowCaption.cx;
    int height = GetSystemMetrics(SM_CYDLGFRAME) + GetSystemMetrics(SM_CYCAPTION) + windowBelowCaption.cy;
    return CreateWindowExW(0, className, className, style, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                           (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr, instance,
                           nullptr);
}
