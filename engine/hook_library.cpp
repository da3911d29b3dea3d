#include "engine/hook_library.h"
#include "core/app_state.h"

namespace {
HMODULE hookModule;
FollowVitreaFn follow;

// The library sits beside Vitrea.exe; a full path keeps a planted copy in the current directory out.
bool HookLibraryPath(WCHAR (&path)[MAX_PATH]) {
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    WCHAR* slash = nullptr;
    for (WCHAR* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/') slash = p;
    if (!slash) return false;
    static constexpr WCHAR name[] = L"Vitrea.dll";
    if ((slash + 1 - path) + sizeof(name) / sizeof(WCHAR) > MAX_PATH) return false;
    lstrcpyW(slash + 1, name);
    return true;
}
} // namespace

bool HookLibraryInitialize(const SetHooks& hooks) {
    WCHAR path[MAX_PATH];
    if (!hookModule && HookLibraryPath(path)) hookModule = LoadLibraryW(path);
    if (!hookModule) return false;
    auto initialize = ProcAddress<InitializeDllFn>(hookModule, "InitializeDll");
    if (!initialize) {
        FreeLibrary(hookModule);
        hookModule = nullptr;
        return false;
    }
    follow = ProcAddress<FollowVitreaFn>(hookModule, "FollowVitrea");
    initialize(hooks);
    return true;
}

void HookLibraryFollow(UINT message, WPARAM wParam, LPARAM lParam) {
    if (follow) follow(message, wParam, lParam);
}

void HookLibraryUninitialize() {
    if (!hookModule) return;
    auto uninitialize = ProcAddress<UninitializeDllFn>(hookModule, "UninitializeDll");
    if (uninitialize) uninitialize();
    follow = nullptr;
    FreeLibrary(hookModule);
    hookModule = nullptr;
}
