#pragma once
#include <windows.h>
#include <shellapi.h>
#include <array>
#include "app/answer.h"

struct WindowAlphaEntry;
struct MenuTrackState;
struct SkinMetrics;

// Application messages of the main window; every sender uses SendMessage.
enum : UINT {
    APPMSG_TRAY = 0x8000,
    APPMSG_SETTING = 0x8001,
    APPMSG_SETALPHA = 0x8002,
    APPMSG_MENUTRACK = 0x8003,
    APPMSG_FORGETWINDOW = 0x8004,
    APPMSG_GETALPHA = 0x8005,
    APPMSG_TASKBARHOVER = 0x8007,
};

// The settings window, found by these by a second start, the installer and the hook library.
inline constexpr WCHAR mainClassName[] = L"VitreaClass";
inline constexpr WCHAR mainTitle[] = L"Vitrea";

// APPMSG_SETALPHA: this bit of lParam asks for the window's transparency to be removed.
constexpr LPARAM alphaRemoveRequest = 0x10000;

using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
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
    WindowAlphaEntry* alphaTableHead;
    MenuTrackState* menuTrack;
    HWND pressedButton;
    bool buttonHoverTracking;
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
    ATOM alphaMark; // the name of the alpha mark (engine/hook_library.h)
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

// The start-up routine: refuses unsupported systems and second instances, runs the program, returns the exit code.
int VitreaMain(HINSTANCE instance);

// Start-up steps 6 to 17 (messages, classes, fonts and DCs, the settings window and its controls), split out so
// that tests can build the window inside their own process.
void CreateSettingsWindow(HINSTANCE instance);

// A window frame centred on the screen: the given width, and the given height plus the caption and the top
// dialog frame.
struct CentredFrame {
    int left, top, width, height;
};
CentredFrame CentreOnScreen(int width, int heightBelowCaption);

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A warning balloon at the tray icon: at once, or as soon as the icon is added. Nothing on a shell that
// has no balloons.
void ShowTrayBalloon(const WCHAR* title, const WCHAR* text);
