// The yardstick of the start-up benchmark: the least a Win32 program does to show a window of the settings
// window's size. It registers a class, creates and shows the window, and runs a message loop until closed.
#include <windows.h>
#include "tools/bench/yardstick_window.h"

namespace {
LRESULT CALLBACK MinimalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    HWND window = CreateYardstickWindow(instance, L"VitreaMinimalWindow", MinimalProc,
                                        WS_POPUP | WS_CAPTION | WS_SYSMENU);
    ShowWindow(window, SW_SHOW);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
