#pragma once
#include <windows.h>
#include "core/answer.h"

// The alpha slider runs from opaque at its left end: a position is 255 minus the alpha, and the alpha of a
// position is 255 minus the position.
constexpr int SliderMirror(int value) { return 255 - value; }

// Gives the combo boxes, the check buttons and the trackbar their own procedures, keeping the old ones.
void SubclassControls();

// What the second prefix key's combo box offers for the first key named in a "Keyboard Shortcut" byte.
struct SecondKeyChoices {
    int firstEntry; // entry of the first key's combo box, -1 when the byte names no first key
    const WCHAR* items[2];
    int selected;
};
SecondKeyChoices SecondKeyChoicesFor(BYTE shortcut);
// Empties the second key's combo box and refills it for the byte; it stays empty without a first key.
void FillSecondKeyCombo(BYTE shortcut);
// Fills the three key combo boxes, once, for the stored byte.
void FillKeyCombos(BYTE shortcut);

Answer OnHScroll(HWND window, WPARAM wParam, LPARAM lParam);
