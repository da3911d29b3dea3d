#pragma once
// The one process-wide record, and what it is made of.
#include <windows.h>
#include <shellapi.h>
#include <array>

struct WindowAlphaEntry;
struct MenuTrackState;
struct SkinMetrics;

using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
using GetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF*, BYTE*, DWORD*);
using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*,
                                            DWORD);

constexpr int imageSlotCount = 20;

// GetProcAddress with the entry's real type; the detour through void* is what silences the type check.
template <typename Function> Function ProcAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The one process-wide record. The main thread writes it, except aboutWindow (About thread) and
// taskbarCurrentAlpha (fade timer), single handles or bytes written without a lock.
struct AppState {
    SetLayeredWindowAttributesFn setLayeredWindowAttributes;
    UpdateLayeredWindowFn updateLayeredWindow;
    GetLayeredWindowAttributesFn getLayeredWindowAttributes; // XP on; null on Windows 2000
    WindowAlphaEntry* alphaTableHead;
    MenuTrackState* menuTrack;
    HWND pressedButton;
    HWND buttonHoverTracking; // the check button lit under the mouse, whose leave is awaited
    HWND mainWindow;
    HWND firstKeyCombo;
    HWND secondKeyCombo;
    HWND keySetCombo;
    HWND shortcutButton;
    HWND taskbarButton;
    HWND alphaSlider;
    HWND tooltip;
    HWND optionsButton;
    HWND volatile aboutWindow;
    bool inMenuLoop;    // between WM_ENTERMENULOOP and WM_EXITMENULOOP
    bool quitAfterMenu; // a close arrived inside the menu's loop: close again once the loop has returned
    WNDPROC comboProc;
    WNDPROC buttonProc;
    WNDPROC sliderProc;
    bool isXP;
    bool shortcutEnabled;
    bool taskbarEnabled;
    BYTE options;
    BYTE shortcutByte;
    HWND taskbarWindow;
    BYTE taskbarAlpha;
    BYTE volatile taskbarCurrentAlpha;
    bool fadeInEnabled;
    LONG fadeDuration;
    UINT msgTaskbarCreated;
    UINT msgSetLayeredStyle;
    ATOM alphaMark; // the name of the alpha mark (core/protocol.h)
    NOTIFYICONDATAW* trayIcon;
    HINSTANCE instance;
    HFONT uiFont;
    HMODULE skinModule;
    WCHAR* skinName;
    SkinMetrics* skinMetrics;
    HWND sliderDragging;
    HDC aboutDC;
    std::array<HDC, imageSlotCount> imageDCs;
    std::array<HBITMAP, imageSlotCount> imageBitmaps;
};

extern AppState app;
