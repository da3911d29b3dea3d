#pragma once
#include <windows.h>

LRESULT OnFrameClick(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT OnTrayNotify(HWND window, WPARAM wParam, LPARAM lParam);
