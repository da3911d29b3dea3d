// Vitrea.dll: the hook library. Runs inside every GUI process of the desktop through a global
// WH_CALLWNDPROC hook, so that the layered style of any window is changed by its own process.
#include <windows.h>
#include "engine/hook_library.h"

// One copy for all processes: the record and the hook handle are set by Vitrea.exe's process only.
__attribute__((section(".shared"), shared)) SetHooks sharedHooks = {};
__attribute__((section(".shared"), shared)) HHOOK callWndProcHook = nullptr;

namespace {
HINSTANCE moduleInstance;
UINT msgSetLayeredStyle;

void SetLayeredStyle(HWND window, bool layered) {
    LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    LONG wanted = layered ? (exStyle | WS_EX_LAYERED) : (exStyle & ~WS_EX_LAYERED);
    if (wanted != exStyle) SetWindowLongW(window, GWL_EXSTYLE, wanted);
}

LRESULT CALLBACK CallWndProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (message && msgSetLayeredStyle && message->message == msgSetLayeredStyle)
            SetLayeredStyle(message->hwnd, message->wParam != 0);
    }
    return CallNextHookEx(callWndProcHook, code, wParam, lParam);
}
} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        DisableThreadLibraryCalls(instance);
        // Registered names map to the same number in every process, so each copy learns it on its own.
        msgSetLayeredStyle = RegisterWindowMessageW(setLayeredStyleMessage);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) void InitializeDll(SetHooks hooks) {
    sharedHooks = hooks;
    if (!callWndProcHook) callWndProcHook = SetWindowsHookExW(WH_CALLWNDPROC, CallWndProc, moduleInstance, 0);
}

extern "C" __declspec(dllexport) void UninitializeDll() {
    if (callWndProcHook) UnhookWindowsHookEx(callWndProcHook);
    callWndProcHook = nullptr;
}
