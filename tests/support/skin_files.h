#pragma once
#include <windows.h>
#include <functional>
#include <string>

// A library built beside Vitrea.exe (EddyMini, PewterMini), by full path.
std::wstring BuiltSkin(const WCHAR* name);
// An empty scratch folder for skin files the tests make.
std::wstring ScratchFolder();
// Copies a built skin to `to`, then lets `change` edit its resources (UpdateResource); false if that fails.
bool CopySkin(const std::wstring& to, const std::function<void(HANDLE update)>& change = nullptr);
bool WriteFileBytes(const std::wstring& path, const void* data, DWORD size);
// True when the module as a data file has resource `id` of `type`.
bool HasResource(const std::wstring& path, WORD id, const WCHAR* type);
// GDI objects of this process, counted by their table slots (the runtime's own count may read 0).
DWORD GdiObjectCount();
