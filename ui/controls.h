#pragma once
#include <windows.h>
#include "app/answer.h"

// Gives the combo boxes, the check buttons and the trackbar their own procedures, keeping the old ones.
void SubclassControls();

Answer OnHScroll(HWND window, WPARAM wParam, LPARAM lParam);
