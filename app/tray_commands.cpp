// The user's direct handling of the settings window: check buttons, the options button, the shortcut combo
// boxes, a click on the frame, and the tray icon.
#include "app/tray_commands.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "app/settings.h"
#include "menus/build.h"
#include "ui/controls.h"
#include "ui/paint.h"

namespace {
constexpr BYTE firstAlt = firstAltBit, firstCtrl = firstCtrlBit, firstShift = firstShiftBit;
constexpr BYTE secondAlt = secondAltBit, secondCtrl = secondCtrlBit, secondShift = secondShiftBit;
constexpr BYTE functionKeys = functionKeysBit;

int Selection(HWND combo) {
    return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

void SendShortcutByte(HWND window) {
    SendMessageW(window, APPMSG_SETTING, settingShortcutByte, app.shortcutByte);
}

// The new state goes onto the button at once instead of waiting for its next paint.
void ToggleCheckButton(HWND window, HWND button, SettingCode code, const bool* enabled) {
    SendMessageW(window, APPMSG_SETTING, code, *enabled ? 0 : 1);
    DrawClickedCheckBox(button, *enabled);
}

Answer OnFirstKeyChanged(HWND window, WPARAM, LPARAM) {
    int entry = Selection(app.firstKeyCombo);
    app.shortcutByte = ComposeFirstKey(app.shortcutByte, entry);
    FillSecondKeyCombo(app.shortcutByte);
    if (entry < 0) return passOn;
    SendShortcutByte(window);
    return 0;
}

Answer OnComboChanged(HWND window, WPARAM, LPARAM, HWND combo,
                       BYTE (*compose)(BYTE shortcut, int entry)) {
    int entry = Selection(combo);
    if (entry < 0) return passOn;
    app.shortcutByte = compose(app.shortcutByte, entry);
    SendShortcutByte(window);
    return 0;
}

void RestoreFromTray(HWND window) {
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    SendMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    SetForegroundWindow(window);
    // Passing the focus through the slider leaves no control holding it; a disabled slider cannot take it.
    EnableWindow(app.alphaSlider, TRUE);
    SetFocus(app.alphaSlider);
    SetFocus(window);
    if (!app.taskbarEnabled) EnableWindow(app.alphaSlider, FALSE);
    FLASHWINFO flash = {};
    flash.cbSize = 20;
    flash.hwnd = window;
    flash.dwFlags = FLASHW_STOP;
    FlashWindowEx(&flash);
}
} // namespace

BYTE ComposeFirstKey(BYTE shortcut, int entry) {
    BYTE cleared = shortcut & ~firstKeyBits;
    switch (entry) {
    case 0:
        if (shortcut & secondShift) return cleared | firstAlt;
        return (cleared & ~(secondShift | secondAlt)) | firstAlt | secondCtrl;
    case 1:
        if (shortcut & secondShift) return cleared | firstCtrl;
        return (cleared & ~(secondShift | secondCtrl)) | firstCtrl | secondAlt;
    case 2:
        if (shortcut & secondCtrl) return cleared | firstShift;
        return (cleared & ~(secondShift | secondCtrl)) | firstShift | secondAlt;
    }
    return cleared;
}

BYTE ComposeSecondKey(BYTE shortcut, int entry) {
    BYTE cleared = shortcut & ~secondKeyBits;
    if (entry == 0) {
        if (shortcut & firstAlt) return cleared | secondCtrl;
        if (shortcut & (firstCtrl | firstShift)) return cleared | secondAlt;
    } else {
        if (shortcut & (firstAlt | firstCtrl)) return cleared | secondShift;
        if (shortcut & firstShift) return cleared | secondCtrl;
    }
    return cleared;
}

BYTE ComposeKeySet(BYTE shortcut, int entry) {
    return entry == 0 ? (shortcut & ~functionKeys) : (shortcut | functionKeys);
}

// A click on the frame takes the keyboard focus away from whichever control holds it.
Answer OnFrameClick(HWND window, WPARAM, LPARAM) {
    SetFocus(window);
    return passOn;
}

// Every control has identifier 0: the sender is told apart by its handle.
Answer OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    WORD notification = HIWORD(wParam);
    if (control && notification == BN_CLICKED) {
        if (control == app.shortcutButton) {
            ToggleCheckButton(window, control, settingShortcutOn, &app.shortcutEnabled);
            return 0;
        }
        if (control == app.taskbarButton) {
            ToggleCheckButton(window, control, settingTaskbarOn, &app.taskbarEnabled);
            return 0;
        }
        if (control == app.optionsButton) {
            OpenOptionsMenu();
            return 0;
        }
    } else if (control && notification == CBN_SELCHANGE) {
        if (control == app.firstKeyCombo) return OnFirstKeyChanged(window, wParam, lParam);
        if (control == app.secondKeyCombo)
            return OnComboChanged(window, wParam, lParam, control, ComposeSecondKey);
        if (control == app.keySetCombo) return OnComboChanged(window, wParam, lParam, control, ComposeKeySet);
    }
    return passOn;
}

Answer OnTrayNotify(HWND window, WPARAM, LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONUP)
        RestoreFromTray(window);
    else if (mouseMessage == WM_RBUTTONUP)
        OpenTrayMenu();
    return 0;
}
