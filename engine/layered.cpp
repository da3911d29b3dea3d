#include "engine/layered.h"

void ApplyWindowAlpha(HWND, BYTE) {}
void RemoveWindowAlpha(HWND) {}

LRESULT CALLBACK CurtainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT OnSetAlpha(HWND window, WPARAM target, LPARAM request) {
    return DefWindowProcW(window, 0x8002, target, request);
}
