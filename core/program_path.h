#pragma once
#include <windows.h>

// Room for the program's own path: the loader allows longer paths than MAX_PATH.
constexpr DWORD modulePathCapacity = 4096;

// A file in Vitrea.exe's own folder, by full path, so a copy planted in the current directory is never the
// one found. False when the program's path or the result does not fit, or the path names no folder.
inline bool PathBesideProgram(WCHAR* path, DWORD capacity, const WCHAR* name) {
    DWORD length = GetModuleFileNameW(nullptr, path, capacity);
    if (length == 0 || length >= capacity) return false; // a truncated path names no real folder
    while (length > 0 && path[length - 1] != L'\\' && path[length - 1] != L'/') --length;
    if (length == 0 || length + lstrlenW(name) + 1 > capacity) return false;
    lstrcpyW(path + length, name);
    return true;
}
