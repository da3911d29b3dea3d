#include "app/tray_commands.h"
#include "app/main.h"

LRESULT OnFrameClick(HWND window, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, WM_NCLBUTTONDOWN, wParam, lParam);
}
LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
}
LRESULT OnTrayNotify(HWND, WPARAM, LPARAM) { return 0; }
