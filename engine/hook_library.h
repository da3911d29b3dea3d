#pragma once
#include <windows.h>
#include <cstddef>

// The record handed to the hook library at start-up; its layout is shared with Vitrea.dll byte for byte.
struct SetHooks {
    HWND mainWindow;
    UINT msgSetLayeredStyle;
    UINT msgTaskbarCreated;
    BYTE shortcutEnabled;
    BYTE taskbarEnabled;
    BYTE shortcutByte;
    BYTE taskbarAlpha;
    BYTE fadeInEnabled;
    BYTE padding[3];
};
static_assert(sizeof(SetHooks) == 20);
static_assert(offsetof(SetHooks, mainWindow) == 0);
static_assert(offsetof(SetHooks, msgSetLayeredStyle) == 4);
static_assert(offsetof(SetHooks, msgTaskbarCreated) == 8);
static_assert(offsetof(SetHooks, shortcutEnabled) == 12);
static_assert(offsetof(SetHooks, taskbarEnabled) == 13);
static_assert(offsetof(SetHooks, shortcutByte) == 14);
static_assert(offsetof(SetHooks, taskbarAlpha) == 15);
static_assert(offsetof(SetHooks, fadeInEnabled) == 16);

// Registered by the program and by every copy of the library; the same name gives the same number everywhere.
constexpr WCHAR setLayeredStyleMessage[] = L"VITREA_SETLAYEREDSTYLE";

// Sets or clears WS_EX_LAYERED: inside the window's own process by the library, or by Vitrea itself when no
// library there carried out its request.
inline void SetLayeredStyle(HWND window, bool layered) {
    LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    LONG wanted = layered ? (exStyle | WS_EX_LAYERED) : (exStyle & ~WS_EX_LAYERED);
    if (wanted != exStyle) SetWindowLongW(window, GWL_EXSTYLE, wanted);
}

// Entry points of Vitrea.dll, exported undecorated (cdecl).
using InitializeDllFn = void (*)(SetHooks);
using UninitializeDllFn = void (*)();
using FollowVitreaFn = void (*)(UINT, WPARAM, LPARAM);

// Loads Vitrea.dll from the program's own folder (never the search path) and calls InitializeDll.
// Returns false, and the program runs on without the library, when it cannot be loaded.
bool HookLibraryInitialize(const SetHooks& hooks);
// Hands a settings change or a start or end of Vitrea's own menus, once handled, on to the library, which
// follows them in its hooks. Nothing without the library.
void HookLibraryFollow(UINT message, WPARAM wParam, LPARAM lParam);
// Calls UninitializeDll and unloads the library, if it was loaded.
void HookLibraryUninitialize();
