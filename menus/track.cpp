// The record of open menus, filled from WM_MENUSELECT and the hook library's reports, and the pressed marks.
#include "menus/track.h"
#include <new>
#include "core/app_state.h"
#include "core/protocol.h"
#include "menus/build.h"
#include "menus/commands.h"
#include "menus/draw.h"

namespace {
// Which level a selection names. A row of a submenu tree lives in the second level when the tray menu shows
// it and in the first when its menu was opened alone.
enum class LevelRule { none, outermost, innerMost, secondIfThird };

struct LocationRule {
    LONG first, last; // the selected values this rule covers
    LONG offset;      // position = selected - offset
    LevelRule level;
};

constexpr LocationRule locationRules[] = {
    {0, 0, 0, LevelRule::secondIfThird},
    {3, 3, 0, LevelRule::none},   // the tray's "Options" row only opens its submenu
    {100, 100, 0, LevelRule::none}, // separators
    {idExit, idExit, idExit - 4, LevelRule::outermost},
    {idFirstAlt, idFirstShift, idFirstAlt, LevelRule::innerMost},
    {idSecondAlt, idSecondShift, idSecondAlt - 4, LevelRule::innerMost},
    {idDigitKeys, idFunctionKeys, idDigitKeys - 8, LevelRule::innerMost},
    {idFadeIn, idFadeIn, idFadeIn, LevelRule::innerMost},
    {idFastest, idSlowest, idFastest - 2, LevelRule::innerMost},
    {idHelp, idHomePage, idHelp, LevelRule::innerMost},
    {idStartMinimized, idStartWithWindows, idStartMinimized - 4, LevelRule::innerMost},
    {idSkinless, idPewterMini, idSkinless - 7, LevelRule::innerMost},
};

// Any other selection is a position in the outermost menu.
constexpr LocationRule RuleFor(LONG selected) {
    for (const LocationRule& rule : locationRules)
        if (selected >= rule.first && selected <= rule.last) return rule;
    return {selected, selected, 0, LevelRule::outermost};
}

// The location table and the trees must agree on every row that can be acted on.
constexpr bool RulesMatchTrees() {
    for (MenuTree tree : {MenuTree::tray, MenuTree::shortcut, MenuTree::taskbar, MenuTree::options})
        for (const MenuRow& row : TreeRows(tree)) {
            if (row.id == idSeparator || row.submenu != MenuTree::none) continue;
            LocationRule rule = RuleFor(static_cast<LONG>(row.id));
            if (rule.level == LevelRule::none) return false;
            if (static_cast<LONG>(row.id) - rule.offset != PlaceOfId(row.id).position) return false;
            if ((tree == MenuTree::tray) != (rule.level == LevelRule::outermost)) return false;
        }
    return true;
}
static_assert(RulesMatchTrees());

MenuTrackState* NewRecord() {
    auto* track = new (std::nothrow) MenuTrackState{};
    if (!track) return nullptr;
    track->selectedItem = -1;
    track->pressedItem = -1;
    track->rowHeight = GetSystemMetrics(SM_CYMENUCHECK) + 4;
    return track;
}

void FreeRecord() {
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

LRESULT NoteWindowGone(HWND window, MenuTrackState& track, HWND gone) {
    if (!gone) return 0; // a null handle would match every empty level
    if (gone == track.levels[0].window) return SendMessageW(window, APPMSG_MENUTRACK, menuTrackFree, 0);
    for (size_t i = 1; i < track.levels.size(); ++i)
        if (gone == track.levels[i].window) {
            for (size_t inner = i; inner < track.levels.size(); ++inner) track.levels[inner] = {};
            break;
        }
    return 0;
}

// The pressed look goes onto the row's mark at once; an inactive row takes no press.
LRESULT NoteButtonPressed(MenuTrackState& track) {
    if (!track.levels[0].menu) return 0;
    RowLocation at;
    if (LocateSelectedRow(track, at) != RowLookup::found) return 0;
    track.pressedItem = track.selectedItem;
    std::optional<UINT> state = MarkState(at.id);
    if (!state) return 0;
    if (*state & DFCS_INACTIVE) {
        track.pressedItem = -1;
        return 1;
    }
    PaintRowMark(at.window, at.markBox, at.id, *state | DFCS_PUSHED);
    return 0;
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

Answer OnMenuTrack(HWND window, WPARAM event, LPARAM lParam) {
    if (event == menuTrackCreate) {
        FreeRecord(); // a record left over from an earlier menu
        app.menuTrack = NewRecord();
        return 0;
    }
    if (!app.menuTrack) return 0;
    MenuTrackState& track = *app.menuTrack;
    switch (event) {
    case menuTrackFree: FreeRecord(); return 0;
    case menuWindowShown: NoteWindowShown(track, reinterpret_cast<HWND>(lParam)); return 0;
    case menuWindowGone: return NoteWindowGone(window, track, reinterpret_cast<HWND>(lParam));
    case menuButtonPressed: return NoteButtonPressed(track);
    case menuButtonReleased: return RunMenuCommand(window, lParam);
    }
    return 0;
}

Answer OnMenuSelect(HWND, WPARAM wParam, LPARAM lParam) {
    if (MenuTrackState* track = app.menuTrack) {
        if (!track->levels[0].menu) track->levels[0].menu = reinterpret_cast<HMENU>(lParam);
        track->selectedItem = LOWORD(wParam);
    }
    return passOn;
}
