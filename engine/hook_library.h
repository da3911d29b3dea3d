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

// Marks that outlive Vitrea on the windows it changes, as window properties any process can read: the alpha
// it gave (kept by the program with its alpha table) and its pin (kept by the library with its pinned list).
// A Vitrea started after one that was ended by force takes over the windows they name. Each process adds the
// name it writes to the atom table once and never deletes it, so marks left behind stay readable.
constexpr WCHAR alphaMarkName[] = L"VitreaAlpha";
constexpr WCHAR pinMarkName[] = L"VitreaPinned";
constexpr ULONG_PTR markTag = 0x56540000;
inline HANDLE MarkValue(BYTE alpha) { return reinterpret_cast<HANDLE>(markTag | alpha); }

// What the window's mark carries (the alpha; 0 for a pin) when Vitrea may take the window over, else -1. Any
// program can set a property of the name, so only a tagged value counts, and only on a top-level window of
// another process that is not the desktop and still has the style bit the change gave it. A mark of Vitrea's
// that means nothing is taken away: it must not name the window once its own program makes it layered or
// topmost. Anything else under the name is not Vitrea's and is left alone.
inline int TakeOverMark(HWND window, ATOM name, LONG styleBit) {
    auto value = reinterpret_cast<ULONG_PTR>(GetPropW(window, MAKEINTATOM(name)));
    if ((value & ~ULONG_PTR{0xFF}) != markTag) return -1;
    DWORD process = 0;
    WCHAR className[8] = {};
    GetClassNameW(window, className, 8);
    if (GetWindowThreadProcessId(window, &process) && process != GetCurrentProcessId() &&
        !(GetWindowLongW(window, GWL_STYLE) & WS_CHILD) && (GetWindowLongW(window, GWL_EXSTYLE) & styleBit) &&
        lstrcmpW(className, L"Progman") != 0 && lstrcmpW(className, L"WorkerW") != 0)
        return static_cast<int>(value & 0xFF);
    RemovePropW(window, MAKEINTATOM(name));
    return -1;
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
