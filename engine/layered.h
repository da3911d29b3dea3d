#pragma once
#include <windows.h>

// Looks up the layering functions user32 has (Windows 2000 lacks GetLayeredWindowAttributes).
void FindLayeredFunctions();
// False when the window's program did not take the style change in time: nothing was applied then.
bool ApplyWindowAlpha(HWND window, BYTE alpha);
void RemoveWindowAlpha(HWND window);
// Covers the on-screen part of the window with a topmost snapshot of it, run by a thread of its own.
// Returns the curtain, or null when there is nothing to cover or it could not be shown; close it with WM_CLOSE.
HWND RaiseCurtain(HWND window);
// Sends WM_PAINT to every visible descendant of the window, top of the z-order first.
void RepaintDescendants(HWND window);
// Gives the system drop shadow of the window the alpha (255 arrives as 254).
void SyncDropShadow(HWND window, BYTE alpha);
// SendMessage to another program's window that gives up after a short time-out instead of waiting on a
// hung program; false when the message was not taken (time-out, hung program, or no such window).
bool SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Asks the hook library to set or clear WS_EX_LAYERED inside the window's own process; false when the
// program did not take the request in time, and then a request to clear the style is left queued for it.
bool SetStyleLayered(HWND window, bool layered);
// A new alpha for a window this program already made translucent, in one call while it is still layered;
// false, with nothing changed, when the window needs the whole apply (the taskbar always does).
bool ChangeRecordedAlpha(HWND window, BYTE alpha);
// Restores every recorded window in table order and empties the table; at exit only: it waits a moment
// for programs slow to take their last clear.
void AlphaTableClear();
LRESULT CALLBACK CurtainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
