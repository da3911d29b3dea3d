#pragma once
#include <windows.h>

LRESULT OnTaskbarHover(HWND window, WPARAM taskbar, LPARAM hover);
