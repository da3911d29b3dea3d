#pragma once
#include <windows.h>

void ApplyWindowAlpha(HWND window, BYTE alpha);
void RemoveWindowAlpha(HWND window);
LRESULT CALLBACK CurtainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

LRESULT OnSetAlpha(HWND window, WPARAM target, LPARAM request);
