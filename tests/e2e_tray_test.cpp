// The shipped Vitrea.exe handled as a person would: real mouse clicks and key presses through the X server
// on its combo boxes, check buttons and tray icon, checked through the registry, its windows and the screen.
#include <gtest/gtest.h>
#include "support/e2e_support.h"
#include <commctrl.h>
#include <shlwapi.h>
#include <string>

namespace {
using Items = std::vector<std::wstring>;

enum Child { firstKey, secondKey, keySet, shortcutButton, taskbarButton, slider };

class TrayAndControls : public ::testing::Test {
  protected:
    void SetUp() override {
        EndAllVitreas();
        ParkPointer();
    }
    void TearDown() override {
        EndAllVitreas();
        ParkPointer();
    }

    // Starts the program and waits until its window, unless it starts minimized, is shown in front.
    HWND Start(Process& process, bool hidden = false) {
        EXPECT_TRUE(process.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
        HWND window = FindVitreaWindow(process);
        EXPECT_NE(window, nullptr) << "no settings window appeared";
        if (!window) return nullptr;
        EXPECT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
        if (!hidden)
            EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) && GetForegroundWindow() == window; }));
        children = Children(window);
        EXPECT_EQ(children.size(), 7u);
        return window;
    }
    HWND child(Child which) const { return children.at(which); }

    // The drop-down list of one of the program's combo boxes while it is open.
    HWND OpenList(DWORD pid) {
        HWND found = nullptr;
        WaitFor(
            [&] {
                for (HWND w = FindWindowExW(nullptr, nullptr, L"ComboLBox", nullptr); w;
                     w = FindWindowExW(nullptr, w, L"ComboLBox", nullptr)) {
                    DWORD owner = 0;
                    GetWindowThreadProcessId(w, &owner);
                    if (owner == pid && IsWindowVisible(w)) found = w;
                }
                return found != nullptr;
            },
            5000);
        return found;
    }
    // Opens the combo box with a click and clicks the entry in its drop-down list.
    void ChooseWithMouse(Child combo, int entry) {
        HWND box = child(combo);
        DWORD pid = 0;
        GetWindowThreadProcessId(box, &pid);
        ClickAt(CentreOf(ScreenRect(box)));
        HWND list = OpenList(pid);
        ASSERT_TRUE(list) << "the drop-down list did not open";
        RECT client;
        GetClientRect(list, &client);
        MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&client), 2);
        int itemHeight = static_cast<int>(SendMessageW(box, CB_GETITEMHEIGHT, 0, 0));
        ASSERT_GT(itemHeight, 0);
        ClickAt({client.left + 20, client.top + itemHeight * entry + itemHeight / 2});
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(list); }, 5000)) << "the list stayed open";
    }
    // Opens and closes the drop-down list again: the combo box keeps the keyboard focus.
    void FocusWithMouse(Child combo) {
        ClickAt(CentreOf(ScreenRect(child(combo))));
        ASSERT_TRUE(WaitFor([&] { return SendMessageW(child(combo), CB_GETDROPPEDSTATE, 0, 0) != 0; }, 5000));
        ClickAt(CentreOf(ScreenRect(child(combo))));
        ASSERT_TRUE(WaitFor([&] { return SendMessageW(child(combo), CB_GETDROPPEDSTATE, 0, 0) == 0; }, 5000));
        ASSERT_TRUE(WaitFor([&] { return FocusOf(child(combo)) == child(combo); }, 5000));
    }
    // The byte is written before the second combo box is refilled: both are waited for.
    void ExpectShortcut(int stored, const Items& second, int secondSelection) {
        EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Keyboard Shortcut") == stored; }, 5000))
            << std::hex << "stored 0x" << StoredByte(L"Keyboard Shortcut") << ", expected 0x" << stored;
        EXPECT_TRUE(WaitFor([&] {
            return ComboItems(child(secondKey)) == second && Selection(child(secondKey)) == secondSelection;
        }, 5000)) << "second key: selection " << Selection(child(secondKey)) << " of "
                  << ComboItems(child(secondKey)).size() << " items";
    }
    void ClickButton(Child button, const std::wstring& clicks = L"click 1") {
        ClickAt(CentreOf(ScreenRect(child(button))), clicks);
    }
    // Where the shell draws the program's icon: the only icon, so the first one from the right.
    static POINT TrayIconPlace() {
        RECT taskbar = ScreenRect(FindWindowW(L"Shell_TrayWnd", nullptr));
        return {taskbar.right - 10, taskbar.top + 10};
    }

    std::vector<HWND> children;
};

TEST_F(TrayAndControls, ComboBoxesChosenWithTheMouseComposeTheShortcut) {
    Process vitrea;
    ASSERT_TRUE(Start(vitrea));
    ChooseWithMouse(firstKey, 0); // Alt: the second key Shift is kept
    ExpectShortcut(0x85, {L"Ctrl", L"Shift"}, 1);
    ChooseWithMouse(firstKey, 2); // Shift: Shift cannot follow, Alt does
    ExpectShortcut(0x31, {L"Alt", L"Ctrl"}, 0);
    ChooseWithMouse(secondKey, 1); // Ctrl
    ExpectShortcut(0x29, {L"Alt", L"Ctrl"}, 1);
    ChooseWithMouse(keySet, 1); // F1-F12
    ExpectShortcut(0x2B, {L"Alt", L"Ctrl"}, 1);
    EXPECT_EQ(Selection(child(firstKey)), 2);
}

TEST_F(TrayAndControls, ComboBoxesChosenWithTheKeyboardComposeTheShortcut) {
    Process vitrea;
    HWND window = Start(vitrea);
    ASSERT_TRUE(window);
    FocusWithMouse(firstKey);
    Xdotool(L"key Up"); // Ctrl to Alt
    ExpectShortcut(0x85, {L"Ctrl", L"Shift"}, 1);
    Xdotool(L"key Down"); // back to Ctrl
    ExpectShortcut(0x45, {L"Alt", L"Shift"}, 1);
    Xdotool(L"type s"); // typing picks Shift
    ExpectShortcut(0x31, {L"Alt", L"Ctrl"}, 0);

    FocusWithMouse(secondKey);
    Xdotool(L"key Down");
    ExpectShortcut(0x29, {L"Alt", L"Ctrl"}, 1);
    FocusWithMouse(keySet);
    Xdotool(L"key Down");
    ExpectShortcut(0x2B, {L"Alt", L"Ctrl"}, 1);
    Xdotool(L"key Up");
    ExpectShortcut(0x29, {L"Alt", L"Ctrl"}, 1);

    // A click on the caption takes the focus away from the combo box.
    RECT frame = ScreenRect(window);
    ClickAt({frame.left + 60, frame.top + 8});
    EXPECT_TRUE(WaitFor([&] { return FocusOf(window) == window; }, 5000));
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x29);
}

TEST_F(TrayAndControls, ShortcutButtonSwitchesOffAndOnAndDrawsItsBoxAtOnce) {
    Process vitrea;
    ASSERT_TRUE(Start(vitrea));
    auto combosEnabled = [&](bool enabled) {
        for (Child combo : {firstKey, secondKey, keySet})
            if ((IsWindowEnabled(child(combo)) != FALSE) != enabled) return false;
        return true;
    };
    ClickButton(shortcutButton);
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Keyboard Shortcut") == 0x44; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return combosEnabled(false); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return BoxOnScreen(child(shortcutButton)).Empty(); }, 3000));

    ClickButton(shortcutButton);
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Keyboard Shortcut") == 0x45; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return combosEnabled(true); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return BoxOnScreen(child(shortcutButton)).Checked(); }, 3000));

    // Two clicks within the double-click time are two toggles: the switch ends where it was, and the value,
    // deleted first, is written again.
    ASSERT_LT(160u, GetDoubleClickTime());
    SHDeleteValueW(HKEY_CURRENT_USER, settingsKey, L"Keyboard Shortcut");
    ClickButton(shortcutButton, L"click --repeat 2 --delay 80 1");
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Keyboard Shortcut") == 0x45; }, 5000))
        << "stored " << StoredByte(L"Keyboard Shortcut") << ": the second click was taken for a double click";
    // The byte is written before the combo boxes are enabled again.
    EXPECT_TRUE(WaitFor([&] { return combosEnabled(true); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return BoxOnScreen(child(shortcutButton)).Checked(); }, 3000));
}

TEST_F(TrayAndControls, TaskbarButtonMakesTheTaskbarTranslucentAndOpaqueAgain) {
    Process vitrea;
    ASSERT_TRUE(Start(vitrea));
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    ASSERT_TRUE(taskbar);
    ASSERT_EQ(TaskbarAlpha(), -1);

    ClickButton(taskbarButton);
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Taskbar Transparency") == 0x23; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(child(slider)) != FALSE; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return BoxOnScreen(child(taskbarButton)).Checked(); }, 3000));
    EXPECT_TRUE(WaitFor([&] { return TaskbarAlpha() == 144; }, 5000));

    ClickButton(taskbarButton);
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Taskbar Transparency") == 0x22; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return !IsWindowEnabled(child(slider)); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return BoxOnScreen(child(taskbarButton)).Empty(); }, 3000));
    EXPECT_TRUE(WaitFor(
        [&] {
            int alpha = TaskbarAlpha();
            return alpha == -1 || alpha == 255;
        },
        5000))
        << "the taskbar stayed translucent";
}

TEST_F(TrayAndControls, LeftClickOnTheIconShowsTheHiddenWindowInFront) {
    WriteByteValue(L"Options", 0x01); // start minimized: only the icon shows
    Process vitrea;
    HWND window = Start(vitrea, true);
    ASSERT_TRUE(window);
    ASSERT_FALSE(IsWindowVisible(window));

    // A move through X has no effect to wait for; the notification it brings, sent directly, has an answer.
    POINT icon = TrayIconPlace();
    ClickAt({icon.x - 3, icon.y - 3},
            L"sleep 0.1 mousemove " + std::to_wstring(icon.x) + L" " + std::to_wstring(icon.y));
    SendMessageW(window, APPMSG_TRAY, 0, WM_MOUSEMOVE);
    EXPECT_FALSE(IsWindowVisible(window)) << "moving the mouse over the icon does something";

    ClickAt(icon);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) && !IsIconic(window); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == window; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return FocusOf(window) == window; }, 5000)) << "a control kept the focus";
    // The restore enables the slider for a moment; it ends disabled while taskbar transparency is off.
    EXPECT_TRUE(WaitFor([&] { return !IsWindowEnabled(child(slider)); }, 5000)) << "taskbar transparency is off";

    // Minimised, the window hides again, and the icon brings it back.
    ShowWindowAsync(window, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }, 5000));
    ClickAt(icon);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) && !IsIconic(window); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == window; }, 5000));
}

// The window is hidden again once the first release has shown it, and only then is the second click made;
// its release must show the window once more, whether the system takes it for the second half of a double
// click (on a machine quick enough to hide the window within the double-click time) or for a click of its own.
// Taskbar transparency is on, so the slider ends enabled.
TEST_F(TrayAndControls, DoubleClickOnTheIconRestoresOncePerRelease) {
    WriteByteValue(L"Options", 0x01);
    WriteByteValue(L"Taskbar Transparency", 0x23);
    Process vitrea;
    HWND window = Start(vitrea, true);
    ASSERT_TRUE(window);
    ClickAt(TrayIconPlace());
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 5000)) << "the first release";
    ShowWindowAsync(window, SW_HIDE);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }, 5000));
    Xdotool(L"click 1");
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) && !IsIconic(window); }, 5000)) << "the second release";
    EXPECT_TRUE(WaitFor([&] { return FocusOf(window) == window; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(child(slider)) != FALSE; }, 5000));
}
} // namespace
