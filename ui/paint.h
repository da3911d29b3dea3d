#pragma once
#include <windows.h>

// Redraws a check button's caption in its enabled or disabled look.
void RepaintCheckLabel(HWND button);
// Draws a check box at once on a window's own DC, checked or empty, without waiting for its next paint.
void DrawCheckBox(HWND window, RECT box, bool checked);
