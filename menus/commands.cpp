// The commands of the menu rows, run on the button release inside an open menu. The menu stays open, so every
// change is shown at once: the marks are repainted in place and the settings window follows.
#include "menus/commands.h"
#include <shlwapi.h>
#include "core/app_state.h"
#include "core/program_path.h"
#include "core/protocol.h"
#include "core/settings.h"
#include "menus/about_help.h"
#include "menus/trees.h"
#include "menus/draw.h"
#include "menus/track.h"
#include "ui/controls.h"
#include "ui/skin.h"

namespace {
constexpr WCHAR runKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr WCHAR runValue[] = L"Vitrea";

// Alt, Ctrl and Shift, in the order of their rows.
struct KeyBits {
    BYTE first, second; // this key's bit as the first and as the second prefix key
    BYTE partner;       // the second key it pairs with when it was the second key itself
};
constexpr KeyBits keys[] = {
    {firstAltBit, secondAltBit, secondCtrlBit},   // Alt with Ctrl
    {firstCtrlBit, secondCtrlBit, secondAltBit},  // Ctrl with Alt
    {firstShiftBit, secondShiftBit, secondAltBit}, // Shift with Alt
};

LRESULT Setting(HWND window, SettingCode code, LPARAM value) {
    return SendMessageW(window, APPMSG_SETTING, code, value);
}

// The combo boxes show what a choice in them would have shown.
void FollowKeyCombos(BYTE shortcut) {
    SecondKeyChoices choices = SecondKeyChoicesFor(shortcut);
    if (choices.firstEntry >= 0) SendMessageW(app.firstKeyCombo, CB_SETCURSEL, choices.firstEntry, 0);
    FillSecondKeyCombo(shortcut);
    SendMessageW(app.keySetCombo, CB_SETCURSEL, (shortcut & functionKeysBit) ? 1 : 0, 0);
}

void SendShortcutByte(HWND window, BYTE shortcut) {
    Setting(window, settingShortcutByte, shortcut);
    FollowKeyCombos(app.shortcutByte);
}

// The chosen key becomes the first prefix key; if it was the second one, it gets its fixed partner instead.
void ChooseFirstKey(HWND window, UINT id) {
    const KeyBits& key = keys[id - idFirstAlt];
    BYTE old = app.shortcutByte;
    if (old & key.first) return;
    BYTE pair = (old & key.second) ? static_cast<BYTE>(key.first | key.partner)
                                   : static_cast<BYTE>((old & secondKeyBits) | key.first);
    SendShortcutByte(window, static_cast<BYTE>(pair | (old & keySetBits)));
}

void ChooseSecondKey(HWND window, UINT id) {
    BYTE bit = keys[id - idSecondAlt].second;
    if (app.shortcutByte & bit) return;
    SendShortcutByte(window, static_cast<BYTE>((app.shortcutByte & ~secondKeyBits) | bit));
}

void ChooseKeySet(HWND window, UINT id) {
    bool functions = id == idFunctionKeys;
    if (((app.shortcutByte & functionKeysBit) != 0) == functions) return;
    SendShortcutByte(window,
                     functions ? (app.shortcutByte | functionKeysBit) : (app.shortcutByte & ~functionKeysBit));
}

void ToggleShortcut(HWND window, UINT) { Setting(window, settingShortcutOn, app.shortcutEnabled ? 0 : 1); }
void ToggleTaskbar(HWND window, UINT) { Setting(window, settingTaskbarOn, app.taskbarEnabled ? 0 : 1); }
void ToggleFadeIn(HWND window, UINT) { Setting(window, settingFadeIn, app.fadeInEnabled ? 0 : 1); }

void ChooseDuration(HWND window, UINT id) {
    LONG duration = FadeDurationOfRow(static_cast<int>(id - idFastest));
    if (app.fadeDuration != duration) Setting(window, settingFadeDuration, duration);
}

void ToggleOption(HWND window, BYTE bit) {
    Setting(window, settingOptions, (app.options & bit) ? bit : (optionsSet | bit));
}

void ToggleStartMinimized(HWND window, UINT) { ToggleOption(window, optionStartMinimized); }

// The Run value holds the program's full path in quotes; the mark follows the options byte, not this value.
void ToggleStartWithWindows(HWND window, UINT) {
    ToggleOption(window, optionStartWithWindows);
    if (app.options & optionStartWithWindows) {
        WCHAR command[modulePathCapacity + 3];
        DWORD length = GetModuleFileNameW(nullptr, command + 1, modulePathCapacity);
        if (length == 0 || length >= modulePathCapacity) return; // a cut path would start nothing
        command[0] = L'"';
        command[length + 1] = L'"';
        command[length + 2] = L'\0';
        SHRegSetUSValueW(runKey, runValue, REG_SZ, command, (length + 3) * sizeof(WCHAR), SHREGSET_FORCE_HKCU);
        return;
    }
    // Deleted from the per-user key directly: this runtime's SHRegDeleteUSValueW answers success and deletes
    // nothing, which would leave the program starting with the system after the user switched it off.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, runKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, runValue);
    RegCloseKey(key);
}

// Under this runtime a window that takes the keyboard focus is shown over the open menus, though the system
// still keeps them on top. Only a real change of place shows a menu on top again, so each one leaves the
// topmost band and comes back to its top, outermost first so that a submenu stays over its parent.
void RestackOpenMenus() {
    const MenuTrackState* track = app.menuTrack;
    if (!track) return;
    constexpr UINT placeOnly = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    for (const MenuLevel& level : track->levels) {
        if (!level.window) continue;
        SetWindowPos(level.window, HWND_NOTOPMOST, 0, 0, 0, 0, placeOnly);
        SetWindowPos(level.window, HWND_TOPMOST, 0, 0, 0, 0, placeOnly);
    }
}

// The skin shown already is left alone; a skin that cannot be used falls back to the plain look with
// "Skinless" stored, as at start-up, so the window is never left half skinned. The new look passes the
// focus through the trackbar to the window, which lies under the menu the choice was made in.
void ChooseSkin(HWND, UINT id) {
    const WCHAR* name = SkinNameOfRow(id);
    if (!name || StrCmpW(app.skinName, name) == 0) return;
    SwitchSkin(name);
    RestackOpenMenus();
}

void ShowHelp(HWND, UINT) { StartWorker(HelpThreadProc); }
void ShowHomePage(HWND, UINT) { StartWorker(HomePageThreadProc); }
void ShowAbout(HWND, UINT) {
    if (HWND about = app.aboutWindow)
        SetForegroundWindow(about);
    else
        StartWorker(AboutThreadProc);
}
// The menu ends whether or not the hook library asked; the close that follows waits for its loop to return.
void Exit(HWND, UINT) {
    EndMenu();
    StartWorker(QuitThreadProc);
}

struct MenuCommand {
    UINT first, last;
    void (*run)(HWND window, UINT id);
};
constexpr MenuCommand commands[] = {
    {idTrayShortcut, idTrayShortcut, ToggleShortcut},
    {idTrayTaskbar, idTrayTaskbar, ToggleTaskbar},
    {idExit, idExit, Exit},
    {idFirstAlt, idFirstShift, ChooseFirstKey},
    {idSecondAlt, idSecondShift, ChooseSecondKey},
    {idDigitKeys, idFunctionKeys, ChooseKeySet},
    {idFadeIn, idFadeIn, ToggleFadeIn},
    {idFastest, idSlowest, ChooseDuration},
    {idHelp, idHelp, ShowHelp},
    {idAbout, idAbout, ShowAbout},
    {idHomePage, idHomePage, ShowHomePage},
    {idStartMinimized, idStartMinimized, ToggleStartMinimized},
    {idStartWithWindows, idStartWithWindows, ToggleStartWithWindows},
    {idSkinless, idPewterMini, ChooseSkin},
};
// Every row that can be acted on has a command; a separator or a row that only opens its submenu has none.
constexpr bool CommandsMatchTrees() {
    for (MenuTree tree : allTrees)
        for (const MenuRow& row : TreeRows(tree)) {
            bool found = false;
            for (const MenuCommand& command : commands)
                found = found || (row.id >= command.first && row.id <= command.last);
            if (found != (row.id != idSeparator && !row.onlyOpens)) return false;
        }
    return true;
}
static_assert(CommandsMatchTrees());
static_assert(fadeSpeedCount == idSlowest - idFastest + 1);
static_assert(std::size(keys) == idFirstShift - idFirstAlt + 1);

// The system's menu font, which the menu's own rows are drawn with.
struct MenuFontDC {
    HWND window;
    HDC dc;
    HFONT font;
    HGDIOBJ previous;
    explicit MenuFontDC(HWND menuWindow) : window(menuWindow), dc(GetDC(menuWindow)) {
        font = CreateMenuFont();
        previous = SelectObject(dc, font);
    }
    ~MenuFontDC() {
        SelectObject(dc, previous);
        DeleteObject(font);
        ReleaseDC(window, dc);
    }
    MenuFontDC(const MenuFontDC&) = delete;
    MenuFontDC& operator=(const MenuFontDC&) = delete;
};

// Every row with a mark is drawn again by the menu's own row painter, in its new state and never pushed:
// radios that lost their check, second-key rows turned inactive or active again, and the clicked row.
void RepaintMarkedRows(HWND menuWindow, HMENU menu) {
    MenuFontDC paint(menuWindow);
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_DATA | MIIM_STATE;
        if (!GetMenuItemInfoW(menu, position, TRUE, &info)) continue;
        std::optional<UINT> state = MarkState(info.wID);
        if (!state) continue;
        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_MENU;
        item.itemID = info.wID;
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = (info.fState & MFS_HILITE) ? ODS_SELECTED : 0;
        item.hwndItem = reinterpret_cast<HWND>(menu);
        item.hDC = paint.dc;
        item.itemData = info.dwItemData;
        if (!RowRectInWindow(menuWindow, menu, position, item.rcItem)) continue;
        // An embossed caption is drawn without a background of its own: clear the caption it replaces.
        if (*state & DFCS_INACTIVE) FillRect(paint.dc, &item.rcItem, GetSysColorBrush(COLOR_MENU));
        DrawRow(item);
    }
}
} // namespace

LRESULT RunMenuCommand(HWND window, LPARAM closeMenu) {
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
    for (const MenuCommand& command : commands)
        if (at.id >= command.first && at.id <= command.last) command.run(window, at.id);
    // The command may have ended the menu's tracking (Exit); the open window is painted only while tracked.
    if (app.menuTrack && MarkState(at.id)) RepaintMarkedRows(at.window, at.menu);
    return 0;
}
