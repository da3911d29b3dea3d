#pragma once
#include <windows.h>
#include <array>
#include <cstddef>

struct MenuLevel {
    HWND window;
    HMENU menu;
};

// The open menus, from just before a menu is tracked until its outermost window goes away. Its form stays
// fixed, nine 32-bit fields in this order with the row height last, though no code reads it by offset: the
// hook library only reports through APPMSG_MENUTRACK, and the program takes the row height from MenuRowHeight.
struct MenuTrackState {
    std::array<MenuLevel, 3> levels; // outermost first
    LONG selectedItem;               // id of the last selected row, or its position when it opens a submenu
    LONG pressedItem;                // selectedItem at the last accepted press, -1 when none
    LONG rowHeight;
};
static_assert(sizeof(MenuTrackState) == 9 * 4, "nine 32-bit fields");
static_assert(offsetof(MenuTrackState, selectedItem) == 6 * 4 && offsetof(MenuTrackState, rowHeight) == 8 * 4);

// The selected row of an open menu, in the coordinates of its menu window's client area.
struct RowLocation {
    int level; // 0 outermost
    HWND window;
    HMENU menu;
    int position;
    UINT id; // the row's own id, read from the menu
    RECT row;
    RECT markBox;
};
// The level (0 outermost) and position that the selection names; false for rows never acted on.
bool SelectedRowPlace(const MenuTrackState& track, int& level, int& position);
enum class RowLookup { found, noRow, outside };
// noRow: the selection names a row that is never acted on (a separator, the tray menu's "Options");
// outside: the cursor is not on the row (or the menu is gone).
RowLookup LocateSelectedRow(const MenuTrackState& track, RowLocation& location);

// The height of every row but the separators: the rows are measured with it and the record keeps it.
inline int MenuRowHeight() { return GetSystemMetrics(SM_CYMENUCHECK) + 4; }
constexpr int menuSeparatorHeight = 9;
// A row's rectangle inside its menu window, taken from the system: the border may lie inside the client area.
bool RowRectInWindow(HWND window, HMENU menu, int position, RECT& row);
// The check box or radio square of a row, from the row's rectangle.
RECT MarkBoxOfRow(const RECT& row);

// A new, empty record in app.menuTrack (replacing one left over), and its end.
void MenuTrackBegin();
void MenuTrackEnd();
// A menu window shown takes the next free level; one gone empties its level and those inside it. True when
// the outermost window went, which ends the whole record.
void NoteWindowShown(MenuTrackState& track, HWND shown);
bool NoteWindowGone(MenuTrackState& track, HWND gone);
