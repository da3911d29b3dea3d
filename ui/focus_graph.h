#pragma once
#include <windows.h>

// The six keyboard-reachable controls, in the order they are created.
enum FocusControl : int { focusFirstKey, focusSecondKey, focusKeySet, focusShortcut, focusTaskbar, focusSlider };
constexpr int focusControlCount = 6;
constexpr int focusStays = -1;
enum FocusKey : int { keyTab, keyLeft, keyRight, keyUp, keyDown, keyShiftTab };
constexpr int focusKeyCount = 6;

// What the focus depends on: the two feature switches and whether the taskbar alpha is 129 or more.
struct FocusSwitches {
    bool shortcut, taskbar, highAlpha;
};

// Whether the control takes the key itself (even when nothing moves).
bool FocusKeyHandled(int control, FocusKey key);
// The control the key moves the focus to, or focusStays.
int FocusTarget(int control, FocusKey key, FocusSwitches switches);
