// The menus' messages: the hook library's reports on open menus, the selection, the rows' measuring and
// painting, and the right click that opens a feature's menu.
#include "menus/handlers.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "menus/build.h"
#include "menus/commands.h"
#include "menus/draw.h"
#include "menus/track.h"

namespace {
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

// The outermost window gone ends the record, told as the end of tracking so that the hook library follows.
LRESULT OnMenuWindowGone(HWND window, MenuTrackState& track, HWND gone) {
    return NoteWindowGone(track, gone) ? SendMessageW(window, APPMSG_MENUTRACK, menuTrackFree, 0) : 0;
}
} // namespace

Answer OnMenuTrack(HWND window, WPARAM event, LPARAM lParam) {
    if (event == menuTrackCreate) {
        MenuTrackBegin();
        return 0;
    }
    if (!app.menuTrack) return 0;
    MenuTrackState& track = *app.menuTrack;
    switch (event) {
    case menuTrackFree: MenuTrackEnd(); return 0;
    case menuWindowShown: NoteWindowShown(track, reinterpret_cast<HWND>(lParam)); return 0;
    case menuWindowGone: return OnMenuWindowGone(window, track, reinterpret_cast<HWND>(lParam));
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

// A right click on either check button opens that feature's menu at the click.
Answer OnContextMenu(HWND, WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(wParam);
    MenuTree tree = control == app.shortcutButton  ? MenuTree::shortcut
                    : control == app.taskbarButton ? MenuTree::taskbar
                                                   : MenuTree::none;
    if (tree != MenuTree::none) {
        // Screen points may be negative on a second monitor; -1, -1 means the keyboard asked for the menu,
        // which then opens under the button instead of at the screen's corner.
        POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (lParam == -1) {
            RECT button = {};
            GetWindowRect(control, &button);
            at = {button.left, button.bottom};
        }
        OpenMenuAt(tree, at);
    }
    return passOn;
}

Answer OnMeasureItem(HWND, WPARAM, LPARAM lParam) {
    auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (!item || item->CtlType != ODT_MENU || !MeasureRow(*item)) return passOn;
    return TRUE;
}

Answer OnDrawItem(HWND, WPARAM, LPARAM lParam) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (!item || item->CtlType != ODT_MENU || !DrawRow(*item)) return passOn;
    return TRUE;
}
