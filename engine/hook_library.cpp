#include "engine/hook_library.h"
#include "core/app_state.h"
#include "core/program_path.h"

namespace {
HMODULE hookModule;
FollowVitreaFn follow;
} // namespace

bool HookLibraryInitialize(const SetHooks& hooks) {
    WCHAR path[MAX_PATH];
    if (!hookModule && PathBesideProgram(path, MAX_PATH, L"Vitrea.dll")) hookModule = LoadLibraryW(path);
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
