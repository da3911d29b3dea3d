#pragma once
// What Vitrea, its hook library Vitrea.dll and other programs (a second start, the installer) agree on. Every
// number and name here is read by a program built apart from the one that sends it, so none of them may change.
//
// How the library follows the settings: Vitrea's settings window calls the library's FollowVitrea export once
// it has handled each APPMSG_SETTING and each APPMSG_MENUTRACK, whoever sent it. The library watches none of
// Vitrea's messages itself, so a change made by a direct call that bypasses that window procedure would never
// reach the library: a setting the library reads (the shortcut, the taskbar, fade-in) must go through the
// settings window's procedure or through the one function that both handles it and hands it on. Vitrea's own
// parts (the controls, the tray's and the menus' commands, the taskbar's steps) send APPMSG_SETTING and
// APPMSG_SETALPHA to their own window as well, rather than calling the handlers: these messages are the one
// road for a change of a setting or of a window's transparency, so every change, whoever asks for it, is
// carried out the same way on the main thread, one at a time, and every setting reaches the library.
#include <windows.h>
#include <cstddef>
#include "core/desktop.h"

// Application messages of the main window; every sender uses SendMessage. The library sends all but the tray
// icon's, and other programs' windows are named in wParam.
enum : UINT {
    APPMSG_TRAY = 0x8000,          // the tray icon's notifications
    APPMSG_SETTING = 0x8001,       // wParam a SettingCode, lParam its value
    APPMSG_SETALPHA = 0x8002,      // wParam the window, lParam the alpha or alphaRemoveRequest
    APPMSG_MENUTRACK = 0x8003,     // wParam a MenuTrackEvent
    APPMSG_FORGETWINDOW = 0x8004,  // wParam a window going away
    APPMSG_GETALPHA = 0x8005,      // wParam the window; answers the recorded alpha or -1
    APPMSG_TASKBARHOVER = 0x8007,  // wParam the taskbar, lParam a TaskbarHover
};

// The settings window, found by these by a second start, the installer and the hook library.
inline constexpr WCHAR mainClassName[] = L"VitreaClass";
inline constexpr WCHAR mainTitle[] = L"Vitrea";

// APPMSG_SETALPHA: this bit of lParam asks for the window's transparency to be removed.
constexpr LPARAM alphaRemoveRequest = 0x10000;

// Setting codes of APPMSG_SETTING. The library follows the shortcut, taskbar and fade-in codes.
enum SettingCode : WPARAM {
    settingShortcutOn = 1,
    settingTaskbarOn = 2,
    settingShortcutByte = 3,
    settingTaskbarAlpha = 4,
    settingFadeIn = 19,
    settingFadeDuration = 20,
    settingOptions = 23,
};

// Events of APPMSG_MENUTRACK (wParam): 1 and 2 from the program, the others from the hook library.
enum MenuTrackEvent : WPARAM {
    menuTrackCreate = 1,
    menuTrackFree = 2,
    menuWindowShown = 4,   // lParam the menu window
    menuWindowGone = 8,    // lParam the menu window
    menuButtonPressed = 16,
    menuButtonReleased = 32, // lParam non-zero asks for the menu to end
};

// APPMSG_TASKBARHOVER (low word of lParam): the mouse came over the taskbar or left it.
enum TaskbarHover : WORD {
    hoverEntered = 4,
    hoverLeft = 5,
};

// The record handed to the library's InitializeDll; its layout is shared with Vitrea.dll byte for byte.
// The library reads the window and the four settings; the two message numbers and the taskbar alpha are
// there because the record's layout is fixed between the two files, not because the library uses them.
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

// Entry points of Vitrea.dll, exported undecorated (cdecl).
using InitializeDllFn = void (*)(SetHooks);
using UninitializeDllFn = void (*)();
using FollowVitreaFn = void (*)(UINT, WPARAM, LPARAM);

// Registered by the program and by every copy of the library; the same name gives the same number everywhere.
// wParam 1 asks the window's own process to set WS_EX_LAYERED, 0 to clear it.
constexpr WCHAR setLayeredStyleMessage[] = L"VITREA_SETLAYEREDSTYLE";

// The library's worker thread id, published on Vitrea's main window by the library it runs: every copy of
// the library, in any process, reads it with GetProp to find the Vitrea it serves.
constexpr WCHAR workerProperty[] = L"VitreaWorker";

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
        !IsDesktopClass(className))
        return static_cast<int>(value & 0xFF);
    RemovePropW(window, MAKEINTATOM(name));
    return -1;
}
