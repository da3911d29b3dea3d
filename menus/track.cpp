// The record of open menus, and where the selected row of an open menu lies.
#include "menus/track.h"
#include <new>
#include "core/app_state.h"
#include "menus/trees.h"

namespace {
// Which level a selection names. A row of a submenu tree lives in the second level when the tray menu shows
// it and in the first when its menu was opened alone.
enum class LevelRule : BYTE { none, outermost, innerMost, secondIfThird };

// A tree that a row opens is shown both as a submenu and alone; one that no row opens is always outermost.
constexpr bool OpenedByARow(MenuTree tree) {
    for (MenuTree parent : allTrees)
        for (const MenuRow& row : TreeRows(parent))
            if (row.submenu == tree) return true;
    return false;
}

// A selection that names a row of the trees, or a row never acted on: its position and level.
struct NamedRow {
    WORD selected;
    BYTE position;
    LevelRule level;
};

// The selection is a row's id, or its position when the row opens a submenu. Separators share one id, so
// theirs names no row.
constexpr bool NameInTrees(LONG selected, NamedRow& named) {
    named = {static_cast<WORD>(selected), 0, LevelRule::none};
    if (selected == idSeparator) return true;
    for (MenuTree tree : allTrees) {
        std::span<const MenuRow> rows = TreeRows(tree);
        for (size_t position = 0; position < rows.size(); ++position) {
            const MenuRow& row = rows[position];
            if (row.submenu == MenuTree::none && static_cast<LONG>(row.id) == selected) {
                named.position = static_cast<BYTE>(position);
                named.level = OpenedByARow(tree) ? LevelRule::innerMost : LevelRule::outermost;
                return true;
            }
            if (row.submenu != MenuTree::none && row.onlyOpens && static_cast<LONG>(position) == selected)
                return true;
        }
    }
    return false;
}

// Every selection the trees name, worked out while compiling; ids and positions all lie below the bound.
constexpr LONG selectionBound = 0x400;
constexpr size_t namedCount = [] {
    size_t count = 0;
    NamedRow named{};
    for (LONG selected = 0; selected < selectionBound; ++selected) count += NameInTrees(selected, named);
    return count;
}();
constexpr auto namedRows = [] {
    std::array<NamedRow, namedCount> table{};
    size_t next = 0;
    NamedRow named{};
    for (LONG selected = 0; selected < selectionBound; ++selected)
        if (NameInTrees(selected, named)) table[next++] = named;
    return table;
}();
static_assert([] {
    for (MenuTree tree : allTrees)
        for (const MenuRow& row : TreeRows(tree))
            if (row.id >= selectionBound || TreeRows(tree).size() > 255) return false;
    return true;
}());
} // namespace

bool SelectedRowPlace(const MenuTrackState& track, int& level, int& position) {
    // A selection the trees do not name is a position in the outermost menu; with a third menu open, 0 is
    // taken as the first row of the second.
    LONG selected = track.selectedItem;
    NamedRow place = {0, 0, selected == 0 ? LevelRule::secondIfThird : LevelRule::outermost};
    position = selected;
    for (const NamedRow& named : namedRows)
        if (named.selected == selected) {
            place = named;
            position = named.position;
            break;
        }
    switch (place.level) {
    case LevelRule::none: return false;
    case LevelRule::outermost: level = 0; break;
    case LevelRule::innerMost: level = track.levels[1].window ? 1 : 0; break;
    case LevelRule::secondIfThird: level = track.levels[2].window ? 1 : 0; break;
    }
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
