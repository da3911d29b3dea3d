// The record of open menus, and where the selected row of an open menu lies.
#include "menus/track.h"
#include <new>
#include "core/app_state.h"
#include "menus/trees.h"

namespace {
// Which level a selection names. A row of a submenu tree lives in the second level when the tray menu shows
// it and in the first when its menu was opened alone.
enum class LevelRule { none, outermost, innerMost, secondIfThird };

struct LocationRule {
    LONG offset; // position = selected - offset
    LevelRule level;
};

constexpr MenuTree allTrees[] = {MenuTree::tray, MenuTree::shortcut, MenuTree::taskbar, MenuTree::options};

// A tree that a row opens is shown both as a submenu and alone; one that no row opens is always outermost.
constexpr bool OpenedByARow(MenuTree tree) {
    for (MenuTree parent : allTrees)
        for (const MenuRow& row : TreeRows(parent))
            if (row.submenu == tree) return true;
    return false;
}

// The selection is a row's id, or its position when the row opens a submenu. Separators share one id, so
// theirs names no row.
constexpr LocationRule RuleFor(LONG selected) {
    if (selected == idSeparator) return {0, LevelRule::none};
    for (MenuTree tree : allTrees) {
        std::span<const MenuRow> rows = TreeRows(tree);
        for (size_t position = 0; position < rows.size(); ++position) {
            const MenuRow& row = rows[position];
            LONG at = static_cast<LONG>(position);
            if (row.submenu == MenuTree::none && static_cast<LONG>(row.id) == selected)
                return {selected - at, OpenedByARow(tree) ? LevelRule::innerMost : LevelRule::outermost};
            if (row.submenu != MenuTree::none && row.onlyOpens && at == selected) return {0, LevelRule::none};
        }
    }
    // Any other selection is a position in the outermost menu; with a third menu open, 0 is taken as the
    // first row of the second.
    return {0, selected == 0 ? LevelRule::secondIfThird : LevelRule::outermost};
}
} // namespace

bool SelectedRowPlace(const MenuTrackState& track, int& level, int& position) {
    LocationRule rule = RuleFor(track.selectedItem);
    switch (rule.level) {
    case LevelRule::none: return false;
    case LevelRule::outermost: level = 0; break;
    case LevelRule::innerMost: level = track.levels[1].window ? 1 : 0; break;
    case LevelRule::secondIfThird: level = track.levels[2].window ? 1 : 0; break;
    }
    position = track.selectedItem - rule.offset;
    return true;
}

bool RowRectInWindow(HWND window, HMENU menu, int position, RECT& row) {
    row = {};
    if (!window || !menu || !GetMenuItemRect(nullptr, menu, position, &row)) return false;
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&row), 2);
    return true;
}

RECT MarkBoxOfRow(const RECT& row) {
    int width = GetSystemMetrics(SM_CXMENUCHECK), height = GetSystemMetrics(SM_CYMENUCHECK);
    return {row.left + 2, row.top + 2, row.left + 2 + width, row.top + 2 + height};
}

RowLookup LocateSelectedRow(const MenuTrackState& track, RowLocation& at) {
    at = {};
    if (!SelectedRowPlace(track, at.level, at.position)) return RowLookup::noRow;
    at.window = track.levels[at.level].window;
    at.menu = track.levels[at.level].menu;
    if (!RowRectInWindow(at.window, at.menu, at.position, at.row)) return RowLookup::outside;
    POINT cursor = {};
    GetCursorPos(&cursor);
    ScreenToClient(at.window, &cursor);
    if (cursor.x < at.row.left || cursor.x >= at.row.right || cursor.y < at.row.top || cursor.y >= at.row.bottom)
        return RowLookup::outside;
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID;
    if (GetMenuItemInfoW(at.menu, at.position, TRUE, &item)) at.id = item.wID;
    at.markBox = MarkBoxOfRow(at.row);
    return RowLookup::found;
}

void MenuTrackBegin() {
    MenuTrackEnd(); // a record left over from an earlier menu
    auto* track = new (std::nothrow) MenuTrackState{};
    if (!track) return;
    track->selectedItem = -1;
    track->pressedItem = -1;
    track->rowHeight = MenuRowHeight();
    app.menuTrack = track;
}

void MenuTrackEnd() {
    delete app.menuTrack;
    app.menuTrack = nullptr;
}

void NoteWindowShown(MenuTrackState& track, HWND shown) {
    // A window reported twice keeps its level.
    for (const MenuLevel& level : track.levels)
        if (shown && level.window == shown) return;
    for (size_t i = 0; i < track.levels.size(); ++i) {
        if (track.levels[i].window) continue;
        track.levels[i].window = shown;
        // A submenu opens from a row that reports its position as the selection.
        if (i > 0) track.levels[i].menu = GetSubMenu(track.levels[i - 1].menu, track.selectedItem);
        return;
    }
}

bool NoteWindowGone(MenuTrackState& track, HWND gone) {
    if (!gone) return false; // a null handle would match every empty level
    if (gone == track.levels[0].window) return true;
    for (size_t i = 1; i < track.levels.size(); ++i)
        if (gone == track.levels[i].window) {
            for (size_t inner = i; inner < track.levels.size(); ++inner) track.levels[inner] = {};
            break;
        }
    return false;
}
