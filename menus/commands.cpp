// The release inside an open menu. The rows' own commands come with their own work; until then a release
// completes the press on its row and does nothing more.
#include "menus/commands.h"
#include "app/main.h"
#include "menus/track.h"

LRESULT RunMenuCommand(HWND, LPARAM closeMenu) {
    MenuTrackState* track = app.menuTrack;
    if (!track || !track->levels[0].menu) return 0;
    LONG pressed = track->pressedItem;
    track->pressedItem = -1;
    if (pressed != track->selectedItem) return 1;
    RowLocation at;
    RowLookup found = LocateSelectedRow(*track, at);
    if (found == RowLookup::noRow) return 1;
    if (found == RowLookup::outside) return 0;
    if (closeMenu) EndMenu();
    return 0;
}
