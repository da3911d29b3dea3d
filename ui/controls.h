#pragma once
#include <windows.h>

// Gives the combo boxes, the check buttons and the trackbar their own procedures, keeping the old ones.
void SubclassControls();

LRESULT OnHScroll(HWND window, WPARAM wParam, LPARAM lParam);
