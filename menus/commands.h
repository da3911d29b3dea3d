#pragma once
#include <windows.h>

// A release of the mouse button inside an open menu; closeMenu non-zero asks for the menu to end.
LRESULT RunMenuCommand(HWND window, LPARAM closeMenu);
