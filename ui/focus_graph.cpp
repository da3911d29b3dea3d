// Where Tab and the arrow keys move the keyboard focus among the settings window's controls, as data that
// the control procedures and the tests read alike.
#include "ui/focus_graph.h"
#include <array>

namespace {
enum Condition : BYTE { always, ifShortcut, ifTaskbar, ifHighAlpha };

struct FocusChoice {
    Condition when;
    int target; // focusStays where the cell has no more choices
};

// One cell of the graph: the first choice whose condition holds wins; none holding means the focus stays.
struct FocusCell {
    int from;
    FocusKey key;
    std::array<FocusChoice, 3> choices;
};

constexpr FocusChoice none = {always, focusStays};
constexpr FocusChoice to(int target) { return {always, target}; }
constexpr FocusChoice when(Condition condition, int target) { return {condition, target}; }

// Up and Down in a combo box and Left and Right on the trackbar are not focus moves and have no cell.
constexpr FocusCell focusGraph[] = {
    {focusFirstKey, keyTab, {to(focusSecondKey), none, none}},
    {focusFirstKey, keyLeft, {to(focusShortcut), none, none}},
    {focusFirstKey, keyRight, {to(focusSecondKey), none, none}},
    {focusSecondKey, keyTab, {to(focusKeySet), none, none}},
    {focusSecondKey, keyLeft, {to(focusFirstKey), none, none}},
    {focusSecondKey, keyRight, {to(focusKeySet), none, none}},
    {focusKeySet, keyTab, {to(focusShortcut), none, none}},
    {focusKeySet, keyLeft, {to(focusSecondKey), none, none}},
    {focusKeySet, keyRight, {to(focusTaskbar), none, none}},
    {focusShortcut, keyTab, {to(focusTaskbar), none, none}},
    {focusShortcut, keyLeft, {when(ifShortcut, focusFirstKey), none, none}},
    {focusShortcut, keyRight, {to(focusTaskbar), none, none}},
    {focusShortcut, keyUp, {when(ifShortcut, focusFirstKey), none, none}},
    {focusShortcut, keyDown, {when(ifTaskbar, focusSlider), none, none}},
    {focusTaskbar, keyTab, {when(ifTaskbar, focusSlider), when(ifShortcut, focusFirstKey), to(focusShortcut)}},
    {focusTaskbar, keyLeft, {to(focusShortcut), none, none}},
    {focusTaskbar, keyRight, {when(ifShortcut, focusKeySet), none, none}},
    {focusTaskbar, keyUp, {when(ifShortcut, focusKeySet), none, none}},
    {focusTaskbar, keyDown, {when(ifTaskbar, focusSlider), none, none}},
    {focusSlider, keyTab, {when(ifShortcut, focusFirstKey), to(focusShortcut), none}},
    {focusSlider, keyUp, {when(ifHighAlpha, focusShortcut), to(focusTaskbar), none}},
    {focusSlider, keyDown, {none, none, none}},
};

const FocusCell* FindCell(int control, FocusKey key) {
    if (key == keyShiftTab) key = keyTab; // Shift+Tab is taken wherever Tab is
    for (const FocusCell& cell : focusGraph)
        if (cell.from == control && cell.key == key) return &cell;
    return nullptr;
}

bool Holds(Condition condition, FocusSwitches switches) {
    switch (condition) {
    case ifShortcut: return switches.shortcut;
    case ifTaskbar: return switches.taskbar;
    case ifHighAlpha: return switches.highAlpha;
    default: return true;
    }
}

// A control can hold the focus only while its feature is on: the others are disabled.
bool Reachable(int control, FocusSwitches switches) {
    if (control <= focusKeySet) return switches.shortcut;
    if (control == focusSlider) return switches.taskbar;
    return true;
}

int ForwardTarget(const FocusCell& cell, FocusSwitches switches) {
    for (const FocusChoice& choice : cell.choices)
        if (choice.target != focusStays && Holds(choice.when, switches)) return choice.target;
    return focusStays;
}
} // namespace

bool FocusKeyHandled(int control, FocusKey key) { return FindCell(control, key) != nullptr; }

// Shift+Tab retraces Tab: the control whose Tab leads here under the same switches. Among the controls that
// can hold the focus Tab is one cycle, so there is exactly one.
int FocusTarget(int control, FocusKey key, FocusSwitches switches) {
    const FocusCell* cell = FindCell(control, key);
    if (!cell) return focusStays;
    if (key != keyShiftTab) return ForwardTarget(*cell, switches);
    for (int from = 0; from < focusControlCount; ++from) {
        const FocusCell* tab = FindCell(from, keyTab);
        if (tab && Reachable(from, switches) && ForwardTarget(*tab, switches) == control) return from;
    }
    return focusStays;
}
