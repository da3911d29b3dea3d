// The settings window's controls and tray icon inside this process: composing the "Keyboard Shortcut" byte
// from the combo boxes, the two check buttons, a click on the frame and the tray icon's notifications.
#include "support/app_fixture.h"
#include "app/tray_commands.h"
#include <commctrl.h>

namespace {
using Items = std::vector<std::wstring>;

constexpr int alt = 0, ctrl = 1, shift = 2; // entries of the first key's combo box

// One named key among bits 5-7 and one among bits 2-4, as Alt/Ctrl/Shift, or "" when the bits are not one
// key.
std::wstring KeyOf(BYTE bits, BYTE altBit, BYTE ctrlBit, BYTE shiftBit) {
    if (bits == altBit) return L"Alt";
    if (bits == ctrlBit) return L"Ctrl";
    if (bits == shiftBit) return L"Shift";
    return L"";
}
std::wstring FirstKey(BYTE shortcut) {
    return KeyOf(shortcut & 0xE0, 0x80, 0x40, 0x20);
}
std::wstring SecondKey(BYTE shortcut) {
    return KeyOf(shortcut & 0x1C, 0x10, 0x08, 0x04);
}

TEST(ShortcutByte, FirstKeyKeepsTheSecondKeyWhileItIsStillOffered) {
    struct Case {
        BYTE before;
        int entry;
        BYTE after;
    };
    const Case cases[] = {
        {0x45, alt, 0x85},   // Ctrl + Shift: Shift stays
        {0x85, shift, 0x31}, // Alt + Shift: Shift cannot follow Shift, Alt is offered first
        {0x89, ctrl, 0x51},  // Alt + Ctrl: Ctrl + Alt
        {0x89, shift, 0x29}, // Alt + Ctrl: Shift + Ctrl keeps Ctrl
        {0x51, alt, 0x89},   // Ctrl + Alt: Alt + Ctrl
        {0x2B, alt, 0x8B},   // bits 0 and 1 ride along
        {0x91, ctrl, 0x51},  // a stored Alt + Alt becomes Ctrl + Alt
        {0x00, shift, 0x30}, // nothing chosen before: Shift + Alt, still switched off
        {0x45, -1, 0x05},    // no first key chosen: the byte keeps no prefix key
        {0xFF, -1, 0x1F},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComposeFirstKey(c.before, c.entry), c.after)
            << std::hex << "0x" << int(c.before) << " entry " << c.entry;
}

// From any byte with at most one second key, a chosen first key leaves two different keys and the other
// bits alone, and the second key changes only when it is not offered after the new first key.
TEST(ShortcutByte, EveryFirstKeyChoiceNamesTwoDifferentKeys) {
    const std::wstring names[] = {L"Alt", L"Ctrl", L"Shift"};
    for (int before = 0; before < 256; ++before) {
        if (int second = before & 0x1C; second != 0 && second != 0x04 && second != 0x08 && second != 0x10)
            continue;
        for (int entry = alt; entry <= shift; ++entry) {
            SCOPED_TRACE(testing::Message() << std::hex << "0x" << before << " entry " << entry);
            BYTE after = ComposeFirstKey(static_cast<BYTE>(before), entry);
            EXPECT_EQ(FirstKey(after), names[entry]);
            EXPECT_NE(SecondKey(after), L"");
            EXPECT_NE(SecondKey(after), FirstKey(after));
            EXPECT_EQ(after & 0x03, before & 0x03);
            std::wstring oldSecond = SecondKey(static_cast<BYTE>(before));
            // Shift is kept after Alt or Ctrl, Ctrl after Shift; Alt as second key is never "kept", it is
            // what the box falls back to.
            bool offeredAndKept =
                (entry != shift && oldSecond == L"Shift") || (entry == shift && oldSecond == L"Ctrl");
            if (offeredAndKept) EXPECT_EQ(SecondKey(after), oldSecond);
        }
    }
}

TEST(ShortcutByte, SecondKeyFollowsTheFirstKeysList) {
    struct Case {
        BYTE before;
        int entry;
        BYTE after;
    };
    const Case cases[] = {
        {0x85, 0, 0x89}, {0x89, 1, 0x85}, // Alt first: Ctrl, Shift
        {0x45, 0, 0x51}, {0x51, 1, 0x45}, // Ctrl first: Alt, Shift
        {0x29, 0, 0x31}, {0x31, 1, 0x29}, // Shift first: Alt, Ctrl
        {0xA7, 0, 0xAB},                  // Alt wins over the other first-key bits
        {0x1F, 0, 0x03}, {0x1F, 1, 0x03}, // no first key: no second key either
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComposeSecondKey(c.before, c.entry), c.after)
            << std::hex << "0x" << int(c.before) << " entry " << c.entry;
}

TEST(ShortcutByte, KeySetTouchesOnlyBitOne) {
    for (int before = 0; before < 256; ++before) {
        EXPECT_EQ(ComposeKeySet(static_cast<BYTE>(before), 1), before | 0x02) << before;
        EXPECT_EQ(ComposeKeySet(static_cast<BYTE>(before), 0), before & ~0x02) << before;
    }
}

class ControlCommands : public AppFixture {
  protected:
    // What the combo box sends its parent after the user picked an entry.
    static LRESULT Choose(HWND combo, int entry) {
        SendMessageW(combo, CB_SETCURSEL, entry, 0);
        return SendMessageW(app.mainWindow, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                            reinterpret_cast<LPARAM>(combo));
    }
    static LRESULT Click(HWND button, WORD notification = BN_CLICKED) {
        return SendMessageW(app.mainWindow, WM_COMMAND, MAKEWPARAM(0, notification),
                            reinterpret_cast<LPARAM>(button));
    }
    static LRESULT Tray(LPARAM mouseMessage) {
        return SendMessageW(app.mainWindow, APPMSG_TRAY, 0, mouseMessage);
    }
    void ShowInFront() {
        ShowWindow(app.mainWindow, SW_SHOW);
        SetForegroundWindow(app.mainWindow);
        UpdateWindow(app.mainWindow);
    }
    // The inside of a check box drawn at {1,1,14,14}: white where the box is empty, dark under the check
    // mark; the window's background shows if no box was drawn at all.
    struct BoxInside {
        int white = 0, dark = 0, other = 0;
    };
    static BoxInside InsideOfBox(HWND button) {
        BoxInside inside;
        HDC dc = GetDC(button);
        for (int y = 4; y < 11; ++y)
            for (int x = 4; x < 11; ++x) {
                COLORREF c = GetPixel(dc, x, y);
                int sum = GetRValue(c) + GetGValue(c) + GetBValue(c);
                if (c == RGB(255, 255, 255))
                    ++inside.white;
                else if (c != CLR_INVALID && sum < 200)
                    ++inside.dark;
                else
                    ++inside.other;
            }
        ReleaseDC(button, dc);
        return inside;
    }
    static void ExpectBox(HWND button, bool checked) {
        BoxInside inside = InsideOfBox(button);
        EXPECT_EQ(inside.other, 0) << "no box was drawn";
        if (checked)
            EXPECT_GT(inside.dark, 5) << "no check mark";
        else
            EXPECT_EQ(inside.dark, 0) << "a check mark in an empty box";
    }
};

TEST_F(ControlCommands, ComboChoicesComposeTheByteAndRefillTheSecondBox) {
    Start();
    struct Step {
        HWND AppState::*combo;
        int entry;
        BYTE stored;
        Items second;
        int secondSelection;
    };
    const Step steps[] = {
        {&AppState::firstKeyCombo, alt, 0x85, {L"Ctrl", L"Shift"}, 1},
        {&AppState::firstKeyCombo, shift, 0x31, {L"Alt", L"Ctrl"}, 0},
        {&AppState::secondKeyCombo, 1, 0x29, {L"Alt", L"Ctrl"}, 1},
        {&AppState::firstKeyCombo, ctrl, 0x51, {L"Alt", L"Shift"}, 0},
        {&AppState::keySetCombo, 1, 0x53, {L"Alt", L"Shift"}, 0},
        {&AppState::secondKeyCombo, 1, 0x47, {L"Alt", L"Shift"}, 1},
        {&AppState::firstKeyCombo, alt, 0x87, {L"Ctrl", L"Shift"}, 1},
        {&AppState::keySetCombo, 0, 0x85, {L"Ctrl", L"Shift"}, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "to 0x" << std::hex << int(step.stored));
        EXPECT_EQ(Choose(app.*step.combo, step.entry), 0);
        EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), step.stored);
        EXPECT_EQ(app.shortcutByte, step.stored);
        EXPECT_EQ(ComboItems(app.secondKeyCombo), step.second);
        EXPECT_EQ(Selection(app.secondKeyCombo), step.secondSelection);
    }
}

TEST_F(ControlCommands, FirstKeyChosenWhileSwitchedOffStaysOff) {
    WriteByteValue(L"Keyboard Shortcut", 0x00);
    Start();
    ASSERT_EQ(ComboItems(app.secondKeyCombo), Items{});
    Choose(app.firstKeyCombo, shift);
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x30);
    EXPECT_FALSE(app.shortcutEnabled);
    EXPECT_EQ(ComboItems(app.secondKeyCombo), (Items{L"Alt", L"Ctrl"}));
    EXPECT_EQ(Selection(app.secondKeyCombo), 0);
}

TEST_F(ControlCommands, NoSelectionAndForeignNotificationsSendNoSetting) {
    Start();
    // The entry changes without its notification: nothing below may act on it.
    SendMessageW(app.firstKeyCombo, CB_SETCURSEL, alt, 0);
    SendMessageW(app.keySetCombo, CB_SETCURSEL, 1, 0);
    const WPARAM command = MAKEWPARAM(0, CBN_SELCHANGE);
    for (HWND other : {app.alphaSlider, app.shortcutButton, app.optionsButton, HWND(nullptr)})
        SendMessageW(app.mainWindow, WM_COMMAND, command, reinterpret_cast<LPARAM>(other));
    for (WORD notification : {CBN_DROPDOWN, CBN_CLOSEUP, CBN_SETFOCUS, CBN_SELENDOK})
        SendMessageW(app.mainWindow, WM_COMMAND, MAKEWPARAM(0, notification),
                     reinterpret_cast<LPARAM>(app.firstKeyCombo));
    EXPECT_EQ(SendMessageW(app.mainWindow, WM_COMMAND, MAKEWPARAM(0, 0), 0), 0) << "a menu command";
    WithMenusEnded([] { Click(app.optionsButton); }); // its menu changes nothing by opening
    Click(app.shortcutButton, BN_DOUBLECLICKED);
    Click(app.taskbarButton, BN_SETFOCUS);
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x45);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x22);
    EXPECT_TRUE(app.shortcutEnabled);

    // A first-key box without a selection empties the second box and stores nothing.
    EXPECT_EQ(Choose(app.firstKeyCombo, -1), 0);
    EXPECT_EQ(ComboItems(app.secondKeyCombo), Items{});
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x45);
    EXPECT_EQ(Choose(app.keySetCombo, -1), 0);
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x45);
}

TEST_F(ControlCommands, ShortcutButtonTogglesAndDrawsItsBoxAtOnce) {
    Start();
    ShowInFront();
    EXPECT_EQ(Click(app.shortcutButton), 0);
    ExpectBox(app.shortcutButton, false); // drawn before any repaint could
    EXPECT_FALSE(app.shortcutEnabled);
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x44);
    for (HWND combo : {app.firstKeyCombo, app.secondKeyCombo, app.keySetCombo})
        EXPECT_FALSE(IsWindowEnabled(combo));

    Click(app.shortcutButton);
    ExpectBox(app.shortcutButton, true);
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x45);
    for (HWND combo : {app.firstKeyCombo, app.secondKeyCombo, app.keySetCombo})
        EXPECT_TRUE(IsWindowEnabled(combo));
}

TEST_F(ControlCommands, TaskbarButtonTogglesTheSliderAndDrawsItsBox) {
    Start();
    ShowInFront();
    Click(app.taskbarButton);
    ExpectBox(app.taskbarButton, true);
    EXPECT_TRUE(app.taskbarEnabled);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x23);
    EXPECT_TRUE(IsWindowEnabled(app.alphaSlider));
    Click(app.taskbarButton);
    ExpectBox(app.taskbarButton, false);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x22);
    EXPECT_FALSE(IsWindowEnabled(app.alphaSlider));
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x45) << "the other switch is left alone";
}

TEST_F(ControlCommands, FrameClickTakesTheFocusFromTheControls) {
    Start();
    ShowInFront();
    SetFocus(app.keySetCombo);
    ASSERT_EQ(GetFocus(), app.keySetCombo);
    // HTNOWHERE: default processing starts no move or menu loop, so only the focus change shows.
    SendMessageW(app.mainWindow, WM_NCLBUTTONDOWN, HTNOWHERE, 0);
    EXPECT_EQ(GetFocus(), app.mainWindow);
}

TEST_F(ControlCommands, OnlyALeftButtonReleaseOnTheIconRestoresTheWindow) {
    Start();
    // The right button's release opens the tray menu, which does not restore the window either.
    for (LPARAM other :
         {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MBUTTONUP}) {
        WithMenusEnded([&] { EXPECT_EQ(Tray(other), 0); });
        EXPECT_FALSE(IsWindowVisible(app.mainWindow)) << "mouse message 0x" << std::hex << other;
    }
    EXPECT_EQ(Tray(WM_LBUTTONUP), 0);
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    EXPECT_FALSE(IsIconic(app.mainWindow));
    EXPECT_FALSE(IsWindowEnabled(app.alphaSlider)) << "taskbar transparency is off";
    EXPECT_EQ(GetFocus(), app.mainWindow) << "no control keeps the focus";
}

TEST_F(ControlCommands, RestoringAMinimisedWindowEnablesTheSliderOnlyWithTaskbarTransparency) {
    WriteByteValue(L"Taskbar Transparency", 0x23);
    Start();
    for (bool taskbarOn : {true, false}) {
        SCOPED_TRACE(taskbarOn ? "taskbar transparency on" : "off");
        if (!taskbarOn) Click(app.taskbarButton);
        ShowWindow(app.mainWindow, SW_SHOW);
        ShowWindow(app.mainWindow, SW_MINIMIZE);
        ASSERT_FALSE(IsWindowVisible(app.mainWindow)) << "a minimised window hides";
        Tray(WM_LBUTTONUP);
        EXPECT_TRUE(IsWindowVisible(app.mainWindow));
        EXPECT_FALSE(IsIconic(app.mainWindow));
        EXPECT_EQ(IsWindowEnabled(app.alphaSlider) != FALSE, taskbarOn);
        EXPECT_EQ(GetFocus(), app.mainWindow) << "the focus stayed on the slider";
    }
}
} // namespace
