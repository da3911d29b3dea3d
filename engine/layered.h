#pragma once
#include <windows.h>

void ApplyWindowAlpha(HWND window, BYTE alpha);
void RemoveWindowAlpha(HWND window);
// Covers the on-screen part of the window with a topmost snapshot of it, run by a thread of its own.
// Returns the curtain, or null when there is nothing to cover or it could not be shown; close it with WM_CLOSE.
HWND RaiseCurtain(HWND window);
// Sends WM_PAINT to every visible descendant of the window, top of the z-order first.
void RepaintDescendants(HWND window);
// Gives the system drop shadow of the window the alpha (255 arrives as 254).
void SyncDropShadow(HWND window, BYTE alpha);
LRESULT CALLBACK CurtainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

LRESULT OnSetAlpha(HWND window, WPARAM target, LPARAM request);
