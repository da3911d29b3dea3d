// The four menus, built from their trees each time one opens and destroyed when it closes.
#include "menus/build.h"
#include "core/app_state.h"
#include "core/protocol.h"

namespace {
static_assert(sizeof(MENUITEMINFOW) == 48, "the record Windows 2000 knows");

constexpr UINT itemMask = MIIM_FTYPE | MIIM_DATA | MIIM_ID;
constexpr UINT separatorMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE;

// Only one menu can be tracked at a time; a second request while one is open would replace its record.
bool tracking = false;

void FillMenu(HMENU menu, MenuTree tree, const HMENU (&submenus)[4]) {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fType = MFT_OWNERDRAW;
    item.fState = MFS_GRAYED; // only the separators apply it
    UINT position = 0;
    for (const MenuRow& row : TreeRows(tree)) {
        item.wID = row.id;
        if (row.id == idSeparator) {
            item.fMask = separatorMask;
        } else {
            item.fMask = itemMask;
            // The captions are constants, so they outlive every menu that points at them.
            item.dwItemData = reinterpret_cast<ULONG_PTR>(row.caption);
            item.hSubMenu = nullptr;
            if (row.submenu != MenuTree::none) {
                item.fMask |= MIIM_SUBMENU;
                item.hSubMenu = submenus[static_cast<int>(row.submenu)];
            }
        }
        InsertMenuItemW(menu, position++, TRUE, &item);
    }
}

void Track(HMENU menu, UINT flags, POINT at) {
    tracking = true;
    SendMessageW(app.mainWindow, APPMSG_MENUTRACK, menuTrackCreate, 0);
    TrackPopupMenu(menu, flags, at.x, at.y, 0, app.mainWindow, nullptr);
    DestroyMenu(menu);
    // Without the hook library's reports nothing else would free the record of a closed menu.
    if (app.menuTrack) SendMessageW(app.mainWindow, APPMSG_MENUTRACK, menuTrackFree, 0);
    tracking = false;
}
} // namespace

HMENU BuildMenu(MenuTree tree) {
    HMENU submenus[4] = {};
    HMENU top = CreatePopupMenu();
    submenus[static_cast<int>(tree)] = top;
    for (const MenuRow& row : TreeRows(tree))
        if (row.submenu != MenuTree::none) submenus[static_cast<int>(row.submenu)] = CreatePopupMenu();
    for (const MenuRow& row : TreeRows(tree))
        if (row.submenu != MenuTree::none) FillMenu(submenus[static_cast<int>(row.submenu)], row.submenu, submenus);
    FillMenu(top, tree, submenus);
    return top;
}

void OpenTrayMenu() {
    if (tracking) return;
    HMENU menu = BuildMenu(MenuTree::tray);
    SetForegroundWindow(app.mainWindow);
    POINT cursor = {};
    GetCursorPos(&cursor);
    Track(menu, TPM_RIGHTALIGN, cursor);
}

void OpenOptionsMenu() {
    if (tracking) return;
    HMENU menu = BuildMenu(MenuTree::options);
    POINT cursor = {};
    GetCursorPos(&cursor);
    Track(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, cursor);
}

void OpenMenuAt(MenuTree tree, POINT at) {
    if (!tracking) Track(BuildMenu(tree), 0, at);
}
