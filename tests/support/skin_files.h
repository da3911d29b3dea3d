#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// A library built beside Vitrea.exe (EddyMini, PewterMini), by full path.
std::wstring BuiltSkin(const WCHAR* name);
// An empty scratch folder for skin files the tests make.
std::wstring ScratchFolder();
// Copies a built skin to `to`, then lets `change` edit its resources (UpdateResource); false if that fails.
bool CopySkin(const std::wstring& to, const std::function<void(HANDLE update)>& change = nullptr);
bool WriteFileBytes(const std::wstring& path, const void* data, DWORD size);
// The size of resource `id` of `type` in the module read as a data file; -1 when it has none.
int ResourceSize(const std::wstring& path, WORD id, const WCHAR* type);
inline bool HasResource(const std::wstring& path, WORD id, const WCHAR* type) { return ResourceSize(path, id, type) >= 0; }
// Resource edits for CopySkin: the width record, and one image replaced by the given bytes.
void SetRecord(HANDLE update, const std::vector<BYTE>& bytes);
void SetImage(HANDLE update, WORD id, const std::vector<BYTE>& bytes);
// A run-length coded 8-bit bitmap that claims the given size yet takes a few hundred bytes: its one
// code ends the image at once.
std::vector<BYTE> BitmapClaiming(LONG width, LONG height);
// Cuts a file to its first `size` bytes.
bool Truncate(const std::wstring& path, DWORD size);
// GDI objects of this process, counted by their table slots (the runtime's own count may read 0).
DWORD GdiObjectCount();
