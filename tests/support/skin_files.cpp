#include "support/skin_files.h"
#include <shlwapi.h>
#include <vector>

std::wstring BuiltSkin(const WCHAR* name) {
    std::wstring path = L"Z:";
    for (const char* c = VITREA_BUILD_DIR; *c; ++c) path += *c == '/' ? L'\\' : static_cast<WCHAR>(*c);
    return path + L"\\" + name + L".dll";
}

std::wstring ScratchFolder() {
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"vitrea-skins";
    std::wstring doubleNul = folder + L'\0';
    SHFILEOPSTRUCTW remove = {};
    remove.wFunc = FO_DELETE;
    remove.pFrom = doubleNul.c_str();
    remove.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&remove);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool CopySkin(const std::wstring& to, const std::function<void(HANDLE update)>& change) {
    if (!CopyFileW(BuiltSkin(L"EddyMini").c_str(), to.c_str(), FALSE)) return false;
    if (!change) return true;
    HANDLE update = BeginUpdateResourceW(to.c_str(), FALSE);
    if (!update) return false;
    change(update);
    return EndUpdateResourceW(update, FALSE) != FALSE;
}

bool WriteFileBytes(const std::wstring& path, const void* data, DWORD size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool fine = WriteFile(file, data, size, &written, nullptr) && written == size;
    CloseHandle(file);
    return fine;
}

bool HasResource(const std::wstring& path, WORD id, const WCHAR* type) {
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return false;
    bool found = FindResourceW(module, MAKEINTRESOURCEW(id), type) != nullptr;
    FreeLibrary(module);
    return found;
}

DWORD GdiObjectCount() {
    DWORD count = 0;
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) ++count;
    return count;
}
