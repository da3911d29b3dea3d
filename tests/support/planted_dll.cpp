// Loaded by nobody if the program finds its hook library by full path; leaves a mark if it is loaded.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        HKEY key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tarnwick Software\\Planted", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) == ERROR_SUCCESS) {
            DWORD loaded = GetCurrentProcessId();
            RegSetValueExW(key, L"LoadedBy", 0, REG_DWORD, reinterpret_cast<BYTE*>(&loaded), sizeof loaded);
            RegCloseKey(key);
        }
    }
    return TRUE;
}
extern "C" __declspec(dllexport) void InitializeDll(int) {}
extern "C" __declspec(dllexport) void UninitializeDll() {}
