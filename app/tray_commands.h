#pragma once
#include <windows.h>
#include "core/answer.h"

// The "Keyboard Shortcut" byte after a choice in one of the three combo boxes; entry is the chosen entry.
// A first key changes the second one only when the second is no longer offered; with no first key chosen
// (entry -1) the byte keeps no prefix key at all.
BYTE ComposeFirstKey(BYTE shortcut, int entry);
BYTE ComposeSecondKey(BYTE shortcut, int entry);
BYTE ComposeKeySet(BYTE shortcut, int entry);

Answer OnFrameClick(HWND window, WPARAM wParam, LPARAM lParam);
Answer OnCommand(HWND window, WPARAM wParam, LPARAM lParam);
Answer OnTrayNotify(HWND window, WPARAM wParam, LPARAM lParam);
