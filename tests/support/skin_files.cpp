#include "support/skin_files.h"
#include "support/test_support.h"
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
    DeleteTree(folder);
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

int ResourceSize(const std::wstring& path, WORD id, const WCHAR* type) {
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return -1;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    int size = found ? static_cast<int>(SizeofResource(module, found)) : -1;
    FreeLibrary(module);
    return size;
}

namespace {
constexpr WORD englishUS = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

void SetRecord(HANDLE update, const std::vector<BYTE>& bytes) {
    UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(300), englishUS, const_cast<BYTE*>(bytes.data()),
                    static_cast<DWORD>(bytes.size()));
}

void SetImage(HANDLE update, WORD id, const std::vector<BYTE>& bytes) {
    UpdateResourceW(update, RT_BITMAP, MAKEINTRESOURCEW(id), englishUS, const_cast<BYTE*>(bytes.data()),
                    static_cast<DWORD>(bytes.size()));
}

std::vector<BYTE> BitmapClaiming(LONG width, LONG height) {
    constexpr BYTE endOfBitmap[] = {0, 1};
    BITMAPINFOHEADER header = {sizeof header, width, height, 1, 8, BI_RLE8, sizeof endOfBitmap, 0, 0, 256, 0};
    std::vector<BYTE> bytes(sizeof header + 256 * sizeof(RGBQUAD) + sizeof endOfBitmap, 0x80);
    CopyMemory(bytes.data(), &header, sizeof header);
    CopyMemory(bytes.data() + bytes.size() - sizeof endOfBitmap, endOfBitmap, sizeof endOfBitmap);
    return bytes;
}

bool Truncate(const std::wstring& path, DWORD size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool cut = SetFilePointer(file, static_cast<LONG>(size), nullptr, FILE_BEGIN) == size && SetEndOfFile(file);
    CloseHandle(file);
    return cut;
}

DWORD GdiObjectCount() {
    DWORD count = 0;
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) ++count;
    return count;
}
