#pragma once
#include <windows.h>
#include "core/answer.h"

// The settings window's whole face, drawn while its background is erased; returns 1.
Answer OnEraseBackground(HWND window, WPARAM wParam, LPARAM lParam);
// Draws the options button or a check button; false for any other owner-drawn button.
bool DrawOwnerButton(const DRAWITEMSTRUCT& item);
// The skinned trackbar's channel and thumb; everything else goes to the default procedure.
Answer OnNotify(HWND window, WPARAM wParam, LPARAM lParam);
// The Keyboard Shortcut caption after its switch changed.
void RepaintShortcutCaption();
// The Taskbar Transparency caption and the check mark seen from the window, after its switch changed.
void RepaintTaskbarCaption();
// A check button's box drawn at once after a click, before the button's next paint.
void DrawClickedCheckBox(HWND button, bool checked);
