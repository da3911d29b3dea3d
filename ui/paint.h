#pragma once
#include <windows.h>

// Redraws a check button's caption in its enabled or disabled look.
void RepaintCheckLabel(HWND button);
