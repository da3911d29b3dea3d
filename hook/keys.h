#pragma once
// What the keyboard shortcut makes of a key: the prefix keys named by the "Keyboard Shortcut" byte, the
// action of each chord key and the alpha it asks for. Pure arithmetic, shared with the tests.
#include <windows.h>
#include <array>
#include "core/settings.h"

namespace keys {

// The three keys that can be prefix keys, as bits of one mask.
enum Modifier : BYTE { alt = 0x1, ctrl = 0x2, shift = 0x4 };

// The prefix keys named by bits 5-7 (first) and 2-4 (second). A byte that names no pair of two different
// keys, which the settings window never writes, gives 0: no chord can be completed, so no key of the
// program in front is ever taken by mistake.
constexpr BYTE PrefixMask(BYTE shortcut) {
    BYTE first = (shortcut & firstAltBit)    ? alt
                 : (shortcut & firstCtrlBit) ? ctrl
                 : (shortcut & firstShiftBit) ? shift
                                              : 0;
    BYTE second = (shortcut & secondAltBit)    ? alt
                  : (shortcut & secondCtrlBit) ? ctrl
                  : (shortcut & secondShiftBit) ? shift
                                                : 0;
    return (first && second && first != second) ? static_cast<BYTE>(first | second) : 0;
}
constexpr bool FunctionKeySet(BYTE shortcut) { return (shortcut & functionKeysBit) != 0; }

// Which prefix key a virtual key is, left or right alike; 0 for any other key.
constexpr BYTE ModifierOf(DWORD vk) {
    switch (vk) {
    case VK_MENU: case VK_LMENU: case VK_RMENU: return alt;
    case VK_CONTROL: case VK_LCONTROL: case VK_RCONTROL: return ctrl;
    case VK_SHIFT: case VK_LSHIFT: case VK_RSHIFT: return shift;
    default: return 0;
    }
}
// The right-hand key of a pair: the generic codes tell the side by the extended flag.
constexpr bool RightHand(DWORD vk, bool extended) {
    return vk == VK_RMENU || vk == VK_RCONTROL || vk == VK_RSHIFT ||
           ((vk == VK_MENU || vk == VK_CONTROL) && extended);
}

// round(255 x n / d), in integers.
constexpr BYTE Level(int n, int d) { return static_cast<BYTE>((2 * 255 * n + d) / (2 * d)); }

enum class Action : BYTE { none, level, raise, lower, remove, topmost };
struct Chord {
    Action action;
    BYTE alpha; // for Action::level
};

// Keypad keys as they arrive with Num Lock off (or Shift held): not extended, unlike the arrow block.
constexpr std::array<DWORD, 10> keypadWithoutNumLock = {VK_INSERT, VK_END, VK_DOWN, VK_NEXT, VK_LEFT,
                                                        VK_CLEAR,  VK_RIGHT, VK_HOME, VK_UP,  VK_PRIOR};

constexpr int KeypadDigit(DWORD vk, bool extended) {
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return static_cast<int>(vk - VK_NUMPAD0);
    if (extended) return -1;
    for (size_t digit = 0; digit < keypadWithoutNumLock.size(); ++digit)
        if (keypadWithoutNumLock[digit] == vk) return static_cast<int>(digit);
    return -1;
}

// The chord a key completes while both prefix keys are held; Action::none leaves the key alone.
constexpr Chord ChordOf(DWORD vk, bool extended, bool functionKeys) {
    if (functionKeys) {
        if (vk >= VK_F1 && vk <= VK_F12) return {Action::level, Level(static_cast<int>(vk - VK_F1) + 1, 12)};
    } else {
        int digit = (vk >= '0' && vk <= '9') ? static_cast<int>(vk - '0') : KeypadDigit(vk, extended);
        if (digit == 0) return {Action::level, 255};
        if (digit > 0) return {Action::level, Level(digit, 10)};
    }
    switch (vk) {
    case VK_OEM_PLUS: case VK_ADD: return {Action::raise, 0};
    case VK_OEM_MINUS: case VK_SUBTRACT: return {Action::lower, 0};
    case VK_OEM_3: case VK_BACK: case VK_RETURN: return {Action::remove, 0};
    case VK_TAB: case VK_SPACE: case VK_DECIMAL: return {Action::topmost, 0};
    case VK_DELETE: return extended ? Chord{Action::none, 0} : Chord{Action::topmost, 0}; // keypad decimal
    default: return {Action::none, 0};
    }
}

constexpr int fineStep = 16;
constexpr int fineFloor = 26; // about 10 %: the shortcut never takes a window out of sight

// The alpha after + or - from the recorded one (-1: not recorded, which counts as opaque). Minus never
// raises a window that a level key put below the floor.
constexpr int FineTuned(int recorded, bool raise) {
    int current = recorded < 0 ? 255 : recorded;
    if (raise) return current + fineStep > 255 ? 255 : current + fineStep;
    if (current <= fineFloor) return current;
    return current - fineStep < fineFloor ? fineFloor : current - fineStep;
}

// The alpha after `steps` presses of + (above 0) or - (below 0): one wheel notch is one press.
constexpr int FineTunedBy(int recorded, int steps) {
    int alpha = recorded;
    for (; steps; steps += steps > 0 ? -1 : 1) alpha = FineTuned(alpha, steps > 0);
    return alpha;
}

// Whole notches in the wheel's turn so far. Fine-grained wheels report fractions of a notch: the rest is
// carried to the next event, and dropped when the wheel turns the other way, so a notch back always counts.
struct Notches {
    int whole, rest;
};
constexpr Notches WheelNotches(int rest, int delta) {
    int turned = ((rest < 0) == (delta < 0) ? rest : 0) + delta;
    return {turned / WHEEL_DELTA, turned % WHEEL_DELTA};
}

} // namespace keys
