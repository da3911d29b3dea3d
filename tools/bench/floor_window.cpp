// The start-up benchmark's floor: what any program showing the settings window must do before its window is
// up, done bare. It loads the same system libraries, creates the same controls in the same places (three
// drop-down combo boxes, three owner-drawn buttons, a trackbar and a tooltip with three tools), adds a tray
// icon and shows the window; nothing else: no settings, no hooks, no painting of its own.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <initializer_list>
#include "tools/bench/yardstick_window.h"

namespace {
NOTIFYICONDATAW icon;

LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) Shell_NotifyIconW(NIM_DELETE, &icon);
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND Child(HWND parent, const WCHAR* cls, DWORD style, const Place& place) {
    return CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, place.x, place.y, place.width,
                           place.height, parent, nullptr, nullptr, nullptr);
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    HWND window = CreateYardstickWindow(instance, L"VitreaFloorWindow", FloorProc,
                                        WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    HFONT font =
        CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
    HWND controlsMade[] = {
        Child(window, WC_COMBOBOXW, CBS_DROPDOWNLIST, firstKeyComboPlace),
        Child(window, WC_COMBOBOXW, CBS_DROPDOWNLIST, secondKeyComboPlace),
        Child(window, WC_COMBOBOXW, CBS_DROPDOWNLIST, keySetComboPlace),
        Child(window, L"BUTTON", BS_OWNERDRAW, shortcutButtonPlace),
        Child(window, L"BUTTON", BS_OWNERDRAW, taskbarButtonPlace),
    };
    for (HWND control : controlsMade)
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    Child(window, TRACKBAR_CLASSW, TBS_NOTICKS | TBS_BOTH, sliderPlace);
    HWND tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, instance, nullptr);
    HWND options = Child(window, L"BUTTON", BS_OWNERDRAW, optionsButtonPlace);
    for (HWND tool : {controlsMade[3], controlsMade[4], options}) {
        TOOLINFOW info = {};
        info.cbSize = TTTOOLINFOW_V1_SIZE;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = window;
        info.uId = reinterpret_cast<UINT_PTR>(tool);
        info.lpszText = const_cast<WCHAR*>(L"Tip");
        SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    icon.cbSize = NOTIFYICONDATAW_V2_SIZE;
    icon.hWnd = window;
    icon.uFlags = NIF_ICON | NIF_TIP;
    icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    lstrcpyW(icon.szTip, L"Floor");
    Shell_NotifyIconW(NIM_ADD, &icon);
    ShowWindow(window, SW_SHOW);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    DeleteObject(font);
    return 0;
}
