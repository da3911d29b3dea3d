// The hook library at work: real keys and mouse through the X server, the shipped Vitrea.exe and Vitrea.dll,
// and a window of another program (probe target) in front.
#include <gtest/gtest.h>
#include "support/e2e_support.h"
#include "support/probe_target.h"
#include "engine/hook_library.h"
#include <vector>

namespace {
constexpr UINT APPMSG_SETTING = 0x8001, APPMSG_MENUTRACK = 0x8003, APPMSG_GETALPHA = 0x8005;
constexpr WPARAM settingShortcutOn = 1, settingShortcutByte = 3, settingFadeIn = 19;
constexpr int removed = -1, passes = -2;

void Xdotool(const std::wstring& arguments) { RunUnix(L"/usr/bin/xdotool " + arguments); }
void Keys(const std::wstring& keys) { Xdotool(L"key " + keys); }
void MoveTo(POINT at) { Xdotool(L"mousemove " + std::to_wstring(at.x) + L" " + std::to_wstring(at.y)); }
POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// Held keys, and Num Lock, which xdotool toggles itself to reach a keypad digit.
bool IsModifier(UINT vk) {
    return vk == VK_NUMLOCK || vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU || (vk >= VK_LSHIFT && vk <= VK_RMENU);
}

class Hook : public ::testing::Test {
protected:
    void SetUp() override { EndAllVitreas(); }
    void TearDown() override { EndAllVitreas(); }

    // Vitrea starts minimised, so the target it is given keeps the keyboard.
    void Start(BYTE shortcut = 0x45, BYTE taskbarByte = 0x22) {
        WriteByteValue(L"Keyboard Shortcut", shortcut);
        WriteByteValue(L"Taskbar Transparency", taskbarByte);
        WriteByteValue(L"Taskbar Transparency Alpha", 144);
        WriteByteValue(L"Options", 0x01);
        ASSERT_TRUE(vitrea.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
        window = FindVitreaWindow(vitrea);
        ASSERT_TRUE(window) << "no settings window appeared";
        // The tray icon follows the library's start.
        ASSERT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
    }
    void InFront(Target& target, const std::wstring& title, int x = 200) {
        ASSERT_TRUE(target.Launch(title, x, 120, 300, 220));
        ASSERT_TRUE(target.Ready());
        ASSERT_TRUE(WaitFor([&] {
            if (GetForegroundWindow() != target.window) SetForegroundWindow(target.window);
            return GetForegroundWindow() == target.window;
        })) << "the target did not come to the front";
    }
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const {
        DWORD_PTR result = 0;
        EXPECT_TRUE(SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 20000, &result));
        return static_cast<LRESULT>(result);
    }
    int Recorded(HWND target) const {
        return static_cast<int>(Send(APPMSG_GETALPHA, reinterpret_cast<WPARAM>(target), 0));
    }
    // The alpha Vitrea recorded and the window shows, or `removed` for neither.
    bool Shows(HWND target, int alpha) const {
        return Recorded(target) == alpha && (alpha == removed ? !IsLayered(target) : LayeredAlpha(target) == alpha);
    }
    // Types a plain key and waits for it: everything typed before it has been delivered by then.
    static void Marker(const Target& target) {
        LRESULT before = target.KeyDowns('X');
        Keys(L"x");
        ASSERT_TRUE(WaitFor([&] { return target.KeyDowns('X') == before + 1; })) << "the marker key never arrived";
    }
    // Key presses other than the modifiers and the marker that reached the target.
    // The library's masking key (0xE8, unassigned) may arrive during Alt chords; that is its purpose.
    static int OtherKeys(const Target& target) {
        int count = 0;
        for (UINT vk = 1; vk < 256; ++vk)
            if (!IsModifier(vk) && vk != 'X' && vk != 0xE8) {
                int n = static_cast<int>(target.KeyDowns(vk));
                count += n;
            }
        return count;
    }

    Process vitrea;
    HWND window = nullptr;
};

// Every level key and prefix pair in one table, with the settings changed by another program between rows.
TEST_F(Hook, ChordsSetTheLevelOfTheWindowInFrontAndNeverReachIt) {
    struct Case {
        BYTE shortcut;
        const WCHAR* keys; // as xdotool is told
        int alpha; // `passes`: not a chord, the key reaches the target and nothing changes
    };
    const Case cases[] = {
        {0x45, L"key ctrl+shift+5", 128},          // Ctrl + Shift, digits
        {0x45, L"key shift+ctrl+KP_3", 77},         // keypad, prefix pressed the other way round
        {0x45, L"key Control_R+Shift_R+0", 255},    // right-hand keys; 0 is full opacity, still recorded
        {0x47, L"key ctrl+shift+F3", 64},           // function keys: n/12
        {0x47, L"key ctrl+shift+5", passes},        // digits belong to the program again
        {0x47, L"key ctrl+shift+F12", 255},
        {0x89, L"key alt+ctrl+7", 179},             // Alt + Ctrl
        {0x89, L"key ctrl+shift+4", passes},        // no longer the prefix
        {0x31, L"keydown shift keydown alt key 2 keyup alt keyup shift", 51}, // Shift + Alt, Alt let go first
        {0x51, L"key ctrl+alt+9", 230},             // Ctrl + Alt
        {0x87, L"key alt+shift+F1", 21},            // Alt + Shift, function keys
        {0x29, L"key ctrl+shift+8", 204},           // Shift + Ctrl
    };
    Start();
    Target target;
    InFront(target, L"HookLevels");
    int alpha = removed;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "byte 0x" << int(c.shortcut) << " keys "
                                        << std::string(c.keys, c.keys + lstrlenW(c.keys)));
        Send(APPMSG_SETTING, settingShortcutByte, c.shortcut);
        target.ResetPaints();
        Xdotool(c.keys);
        if (c.alpha != passes) {
            EXPECT_TRUE(WaitFor([&] { return Shows(target.window, c.alpha); })) << "alpha " << Recorded(target.window);
            alpha = c.alpha;
            Marker(target);
            EXPECT_EQ(OtherKeys(target), 0) << "the chord's key reached the target";
            EXPECT_EQ(target.Chars(), 1);
        } else {
            EXPECT_TRUE(WaitFor([&] { return OtherKeys(target) == 1; })) << "the key did not reach the target";
            EXPECT_TRUE(Shows(target.window, alpha));
        }
        EXPECT_EQ(target.MenuModes(), 0) << "releasing the prefix left the target in menu mode";
    }
}

TEST_F(Hook, PlusAndMinusFineTuneBetweenTheFloorAndOpaqueAndTheRemoveKeysRestore) {
    Start();
    Target target;
    InFront(target, L"HookFine");
    HWND w = target.window;
    struct Step {
        const WCHAR* keys;
        int alpha;
    };
    const Step steps[] = {
        {L"ctrl+shift+minus", 239},                               // not recorded counts as opaque
        {L"ctrl+shift+5", 128},      {L"ctrl+shift+equal", 144},  {L"ctrl+shift+KP_Subtract", 128},
        {L"ctrl+shift+KP_Subtract", 112},
        {L"ctrl+shift+1", 26},       {L"ctrl+shift+minus", 26},   // the floor holds...
        {L"ctrl+shift+KP_Add", 42},                               // ...proved by the step up from it
        {L"ctrl+shift+0", 255},      {L"ctrl+shift+equal", 255},  {L"ctrl+shift+minus", 239},
        {L"ctrl+shift+grave", removed},
        {L"ctrl+shift+3", 77},       {L"ctrl+shift+BackSpace", removed},
        {L"ctrl+shift+3", 77},       {L"ctrl+shift+Return", removed},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.keys, step.keys + lstrlenW(step.keys)));
        Keys(step.keys);
        EXPECT_TRUE(WaitFor([&] { return Shows(w, step.alpha); })) << "alpha " << Recorded(w);
    }
    target.ResetPaints();
    Marker(target);
    EXPECT_EQ(OtherKeys(target), 0);
}

bool Topmost(HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

TEST_F(Hook, TopmostTogglesAndIsUndoneWhenVitreaExits) {
    Start();
    Target target, other;
    InFront(target, L"HookPinned");
    Keys(L"ctrl+shift+Tab");
    EXPECT_TRUE(WaitFor([&] { return Topmost(target.window); }));
    Keys(L"ctrl+shift+space");
    EXPECT_TRUE(WaitFor([&] { return !Topmost(target.window); }));
    Keys(L"ctrl+shift+KP_Decimal");
    EXPECT_TRUE(WaitFor([&] { return Topmost(target.window); }));
    InFront(other, L"HookPinnedToo", 560);
    Keys(L"ctrl+shift+Tab");
    EXPECT_TRUE(WaitFor([&] { return Topmost(other.window); }));
    Keys(L"ctrl+shift+Tab");
    EXPECT_TRUE(WaitFor([&] { return !Topmost(other.window); }));
    Keys(L"ctrl+shift+Tab");
    EXPECT_TRUE(WaitFor([&] { return Topmost(other.window); }));
    SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, nullptr);
    EXPECT_EQ(vitrea.Wait(), 0u);
    EXPECT_TRUE(WaitFor([&] { return !Topmost(target.window) && !Topmost(other.window); }))
        << "a window stayed pinned on top after Vitrea exited";
}

// Switched off by another program, the shortcut lets the keys through; switched on again it works at once.
TEST_F(Hook, ShortcutSwitchedOffLetsTheKeysThrough) {
    Start();
    Target target;
    InFront(target, L"HookOff");
    Send(APPMSG_SETTING, settingShortcutOn, 0);
    Keys(L"ctrl+shift+5");
    EXPECT_TRUE(WaitFor([&] { return target.KeyDowns('5') == 1; }));
    Send(APPMSG_SETTING, settingShortcutOn, 1);
    Keys(L"ctrl+shift+6");
    EXPECT_TRUE(WaitFor([&] { return Shows(target.window, 153); }));
    Marker(target);
    EXPECT_EQ(target.KeyDowns('6'), 0);
    EXPECT_EQ(Recorded(target.window), 153) << "the key let through while off still acted";
}

TEST_F(Hook, ADestroyedWindowIsForgotten) {
    Start();
    Target target;
    InFront(target, L"HookGone");
    HWND gone = target.window;
    Keys(L"ctrl+shift+4");
    ASSERT_TRUE(WaitFor([&] { return Shows(gone, 102); }));
    SendMessageTimeoutW(gone, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, nullptr);
    EXPECT_TRUE(WaitFor([&] { return Recorded(gone) == removed; })) << "the destroyed window is still recorded";
}
} // namespace
