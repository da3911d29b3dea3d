// The hook library at work: real keys and mouse through the X server, the shipped Vitrea.exe and Vitrea.dll,
// and a window of another program (probe target) in front.
#include <gtest/gtest.h>
#include "support/e2e_support.h"
#include "support/probe_target.h"
#include "engine/hook_library.h"
#include <vector>

namespace {
constexpr int removed = -1, passes = -2;

void Keys(const std::wstring& keys) { Xdotool(L"key " + keys); }

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
        const WCHAR* keys; // as xdotool is told
        int alpha;
    };
    const Step steps[] = {
        {L"key ctrl+shift+minus", 239},                               // not recorded counts as opaque
        {L"key ctrl+shift+5", 128},      {L"key ctrl+shift+equal", 144},  {L"key ctrl+shift+KP_Subtract", 128},
        {L"key ctrl+shift+KP_Subtract", 112},
        {L"key ctrl+shift+1", 26},       {L"key ctrl+shift+minus", 26},   // the floor holds...
        {L"key ctrl+shift+KP_Add", 42},                               // ...proved by the step up from it
        {L"key ctrl+shift+0", 255},      {L"key ctrl+shift+equal", 255},  {L"key ctrl+shift+minus", 239},
        {L"key ctrl+shift+grave", removed},
        {L"key ctrl+shift+3", 77},       {L"key ctrl+shift+BackSpace", removed},
        {L"key ctrl+shift+3", 77},       {L"key ctrl+shift+Return", removed},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.keys, step.keys + lstrlenW(step.keys)));
        Xdotool(step.keys);
        EXPECT_TRUE(WaitFor([&] { return Shows(w, step.alpha); }))
            << "alpha " << Recorded(w) << "; keys that reached the target so far: " << OtherKeys(target);
    }
    // Held, minus repeats with the X server's auto-repeat and steps again each time.
    Xdotool(L"keydown ctrl+shift keydown minus sleep 1.5 keyup minus keyup ctrl+shift");
    EXPECT_TRUE(WaitFor([&] { return Recorded(w) >= 26 && Recorded(w) <= 255 - 2 * 16; })) << "alpha " << Recorded(w);
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

// Real wheel notches, with and without the prefix, over a window behind the one in front and over the
// windows the wheel must never change. Rows over the window behind check where its notches went: a notch
// the other way, without the prefix, follows each taken one, so it has come through once the marker has.
TEST_F(Hook, WheelWithThePrefixStepsTheWindowUnderTheMouseAndIsTakenOnlyThen) {
    enum Over { behind, desktop, startButton, taskbarMiddle, vitreaWindow };
    struct Case { // `held` as xdotool is told, empty for none; `alpha` of the window behind after the row
        Over over; BYTE shortcut; bool on; const WCHAR* held; bool up; int notches; bool taken; int alpha;
    };
    const Case cases[] = {
        {behind, 0x45, true, L"ctrl+shift", false, 1, true, 239},  // not recorded counts as opaque
        {behind, 0x45, true, L"shift+ctrl", false, 3, true, 191},  // several notches step several times
        {behind, 0x45, true, L"ctrl+shift", true, 2, true, 223},
        {behind, 0x45, true, L"Control_R+Shift_R", true, 3, true, 255}, // right-hand keys; opaque is the ceiling
        {behind, 0x45, true, L"", false, 2, false, 255},           // no prefix: the window's own wheel
        {behind, 0x45, true, L"ctrl", false, 1, false, 255},       // one prefix key is not the prefix
        {desktop, 0x45, true, L"ctrl+shift", false, 1, true, 255},
        {startButton, 0x45, true, L"ctrl+shift", false, 1, true, 255},
        {taskbarMiddle, 0x45, true, L"ctrl+shift", false, 1, true, 255},
        {vitreaWindow, 0x45, true, L"ctrl+shift", false, 1, true, 255},
        {behind, 0x45, true, L"ctrl+shift", false, 16, true, 26},  // the floor holds...
        {behind, 0x45, true, L"ctrl+shift", true, 1, true, 42},    // ...proved by the step up from it
        {behind, 0x45, false, L"ctrl+shift", false, 1, false, 42}, // shortcut off
        {behind, 0x89, true, L"alt+ctrl", false, 1, true, 26},     // Alt + Ctrl
        {behind, 0x89, true, L"ctrl+shift", false, 1, false, 26},  // no longer the prefix
    };
    Start();
    // Vitrea's window shown beside the targets, as a user may leave it.
    ShowWindow(window, SW_SHOWNOACTIVATE);
    SetWindowPos(window, nullptr, 40, 400, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Target front, back;
    ASSERT_TRUE(back.Launch(L"WheelBehind", 420, 120, 300, 220));
    ASSERT_TRUE(back.Ready());
    InFront(front, L"WheelFront", 40);
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    ASSERT_TRUE(taskbar);
    RECT bar = ScreenRect(taskbar);
    const POINT at[] = {CentreOf(back.Place()), {900, 500}, {bar.left + 5, (bar.top + bar.bottom) / 2},
                        CentreOf(bar), {ScreenRect(window).left + 20, ScreenRect(window).top + 10}};
    HWND underDesktop = GetAncestor(WindowFromPoint(at[desktop]), GA_ROOT);
    ASSERT_EQ(GetAncestor(WindowFromPoint(at[vitreaWindow]), GA_ROOT), window) << "Vitrea's window is not there";
    ASSERT_EQ(GetAncestor(WindowFromPoint(at[startButton]), GA_ROOT), taskbar);
    ASSERT_TRUE(underDesktop != front.window && underDesktop != back.window && underDesktop != window);
    // Notches that reached either target: a wheel goes to the window under the mouse or to the one in front.
    auto reached = [&](bool up) { return front.WheelNotches(up) + back.WheelNotches(up); };
    auto wheel = [&](POINT where, const std::wstring& held, bool up, int notches) {
        std::wstring clicks = L"click --repeat " + std::to_wstring(notches) + (up ? L" 4" : L" 5");
        ClickAt(where, held.empty() ? clicks : L"keydown " + held + L" " + clicks + L" keyup " + held);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << (&c - cases) << " byte 0x" << std::hex << int(c.shortcut));
        Send(APPMSG_SETTING, settingShortcutOn, c.on);
        Send(APPMSG_SETTING, settingShortcutByte, c.shortcut);
        LRESULT before = reached(c.up), otherWay = reached(!c.up);
        wheel(at[c.over], c.held, c.up, c.notches);
        // Elsewhere nothing shows until the next row over the window behind has changed it.
        if (c.over != behind) continue;
        EXPECT_TRUE(WaitFor([&] { return Shows(back.window, c.alpha); })) << "alpha " << Recorded(back.window);
        if (c.taken) {
            wheel(at[c.over], L"", !c.up, 1);
            EXPECT_TRUE(WaitFor([&] { return reached(!c.up) == otherWay + 1; })) << "the marker notch never came";
            EXPECT_EQ(reached(c.up), before) << "a notch the shortcut took reached a window";
        } else {
            EXPECT_TRUE(WaitFor([&] { return reached(c.up) == before + c.notches; })) << "notches " << reached(c.up);
        }
        EXPECT_EQ(GetForegroundWindow(), front.window) << "the window under the mouse came in front";
    }
    EXPECT_EQ(front.MenuModes(), 0) << "releasing Alt after a wheel notch left the window in front in menu mode";
    EXPECT_TRUE(Recorded(taskbar) == removed && !IsLayered(taskbar)) << "the taskbar changed";
    EXPECT_TRUE(Recorded(window) == removed && !IsLayered(window)) << "Vitrea's own window changed";
    EXPECT_TRUE(Recorded(underDesktop) == removed && !IsLayered(underDesktop)) << "the desktop changed";
}

struct Report {
    WPARAM event;
    LPARAM detail;
};
CRITICAL_SECTION reportLock;
std::vector<Report> reports;
FollowVitreaFn followVitrea;

LRESULT CALLBACK MenuOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != APPMSG_MENUTRACK) return DefWindowProcW(window, message, wParam, lParam);
    EnterCriticalSection(&reportLock);
    reports.push_back({wParam, lParam});
    LeaveCriticalSection(&reportLock);
    if (wParam == 32 && lParam) EndMenu(); // as the settings window does when asked to close
    followVitrea(message, wParam, lParam); // and, as it does, the library hears of it once it is handled
    return 0;
}
std::vector<Report> Seen() {
    EnterCriticalSection(&reportLock);
    std::vector<Report> copy = reports;
    LeaveCriticalSection(&reportLock);
    return copy;
}
// Polled from the thread that drives the mouse while the test's thread runs the menu.
bool WaitCount(WPARAM event, size_t n) {
    DWORD start = GetTickCount();
    for (;;) {
        size_t count = 0;
        for (const Report& r : Seen()) count += r.event == event;
        if (count >= n) return true;
        if (GetTickCount() - start > 10000) return false;
        SwitchToThread();
    }
}

// Fade-in at its fastest (100 ms), taskbar transparency on at 144.
constexpr BYTE taskbarFading = 0x83;

TEST_F(Hook, TaskbarFadesInUnderTheMouseAndBackAsItLeaves) {
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    ASSERT_TRUE(taskbar);
    RECT bar = {};
    GetWindowRect(taskbar, &bar);
    const POINT away = {bar.right / 2, bar.top / 2}, over = {bar.left + 5, (bar.top + bar.bottom) / 2},
                alsoOver = {bar.right - 5, (bar.top + bar.bottom) / 2};
    MoveTo(away);
    Start(0x45, taskbarFading);
    ASSERT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 144; }));
    MoveTo(over);
    EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 255; })) << "no fade in under the mouse";
    MoveTo(alsoOver); // from the Start button to the notification area: still over
    MoveTo(away);
    EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 144; })) << "no fade back as the mouse left";

    // Fade-in switched off with the mouse over the taskbar: back to the chosen alpha at once.
    MoveTo(over);
    ASSERT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 255; }));
    Send(APPMSG_SETTING, settingFadeIn, 0);
    EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 144; })) << "the taskbar stayed faded in";

    // Off, the mouse moving over the taskbar changes nothing; a chord typed after the moves is applied
    // only once the library has seen them.
    Target target;
    InFront(target, L"HookTaskbar");
    MoveTo(away);
    MoveTo(over);
    Keys(L"ctrl+shift+5");
    ASSERT_TRUE(WaitFor([&] { return Shows(target.window, 128); }));
    EXPECT_EQ(LayeredAlpha(taskbar), 144);
    MoveTo(away);
}

// Stops or resumes this run's Vitrea.exe at the Unix level; the runtime shows it by its Windows path, which
// names this build's binary and no other.
void SignalVitrea(const char* signal) {
    std::wstring pattern = L"^";
    for (WCHAR ch : Built().vitreaExe) pattern += iswalnum(ch) ? std::wstring(1, ch) : std::wstring(L".");
    RunHost(L"kill -" + std::wstring(signal, signal + strlen(signal)) + L" $(pgrep -f '" + pattern + L"$')");
}

TEST_F(Hook, AStoppedVitreaDoesNotKeepTypingFrozen) {
    Start();
    Target target;
    InFront(target, L"HookStopped");
    struct Resume {
        HWND window;
        ~Resume() {
            SignalVitrea("CONT");
            WaitFor([&] { return Answers(window); });
        }
    } resume{window};
    SignalVitrea("STOP");
    ASSERT_TRUE(WaitFor([&] { return !Answers(window); })) << "Vitrea was not stopped";
    DWORD start = GetTickCount();
    Keys(L"x");
    EXPECT_TRUE(WaitFor([&] { return target.KeyDowns('X') == 1; }, 15000)) << "typing stayed frozen";
    printf("a key reached the target %lu ms after it was typed, with Vitrea stopped\n", GetTickCount() - start);
    SignalVitrea("CONT");
    ASSERT_TRUE(WaitFor([&] { return Answers(window); }));
    Keys(L"ctrl+shift+5");
    EXPECT_TRUE(WaitFor([&] { return Shows(target.window, 128); })) << "the shortcut did not work after resuming";
}

template <typename Function> Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Another program loads the library and calls it with nonsense while Vitrea runs: Vitrea keeps it, and
// still hears of a translucent window going away.
TEST_F(Hook, NonsenseFromAnotherProgramChangesNothingAndDestroyedWindowsAreForgotten) {
    Start();
    Target target;
    InFront(target, L"HookNonsense");
    HMODULE library = LoadLibraryW(Built().vitreaDll.c_str());
    ASSERT_TRUE(library);
    auto initialize = Export<InitializeDllFn>(library, "InitializeDll");
    auto uninitialize = Export<UninitializeDllFn>(library, "UninitializeDll");
    ASSERT_TRUE(initialize && uninitialize);
    HWND own = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    uninitialize(); // never initialised here
    const HWND owners[] = {nullptr, reinterpret_cast<HWND>(0x1234), window, target.window, GetDesktopWindow(), own};
    for (HWND owner : owners) {
        SetHooks nonsense = {owner, 0xFFFFFFFF, 0, 7, 9, 0xFF, 0, 3, {}};
        initialize(nonsense);
        uninitialize();
    }
    DestroyWindow(own);
    FreeLibrary(library);

    Keys(L"ctrl+shift+5");
    EXPECT_TRUE(WaitFor([&] { return Shows(target.window, 128); })) << "Vitrea's shortcut stopped working";
    HWND gone = target.window;
    SendMessageTimeoutW(gone, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, nullptr);
    EXPECT_TRUE(WaitFor([&] { return Recorded(gone) == removed; })) << "Vitrea no longer hears of destroyed windows";
}

// The menu reports, received by a window of this process that stands in for the settings window: the
// shipped library is loaded here and initialised with it, as Vitrea does.
class MenuReports : public ::testing::Test {
protected:
    void SetUp() override {
        EndAllVitreas();
        InitializeCriticalSection(&reportLock);
        reports.clear();
        WNDCLASSW cls = {};
        cls.lpfnWndProc = MenuOwnerProc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = L"HookMenuOwner";
        RegisterClassW(&cls);
        owner = CreateWindowExW(0, cls.lpszClassName, L"HookMenuOwner", WS_POPUP | WS_VISIBLE, 40, 40, 60, 40,
                                nullptr, nullptr, cls.hInstance, nullptr);
        library = LoadLibraryW(Built().vitreaDll.c_str());
        ASSERT_TRUE(owner && library);
        auto initialize = reinterpret_cast<InitializeDllFn>(reinterpret_cast<void*>(GetProcAddress(library, "InitializeDll")));
        followVitrea = reinterpret_cast<FollowVitreaFn>(reinterpret_cast<void*>(GetProcAddress(library, "FollowVitrea")));
        ASSERT_TRUE(initialize && followVitrea);
        SetHooks hooks = {owner, RegisterWindowMessageW(setLayeredStyleMessage), RegisterWindowMessageW(L"TaskbarCreated"),
                          0, 0, 0x45, 144, 0, {}};
        initialize(hooks);
    }
    void TearDown() override {
        if (library) {
            auto uninitialize = reinterpret_cast<UninitializeDllFn>(reinterpret_cast<void*>(GetProcAddress(library, "UninitializeDll")));
            if (uninitialize) uninitialize();
            FreeLibrary(library);
        }
        if (owner) DestroyWindow(owner);
        DeleteCriticalSection(&reportLock);
    }
    HWND owner = nullptr;
    HMODULE library = nullptr;
};

struct MenuDriver {
    HMENU menu, submenu;
    bool done = false;
    std::string failure;
    void Click(HMENU in, int position) {
        RECT row = {};
        GetMenuItemRect(nullptr, in, position, &row);
        Xdotool(L"mousemove " + std::to_wstring(CentreOf(row).x) + L" " + std::to_wstring(CentreOf(row).y) +
                L" click 1");
    }
    void Fail(const char* what) {
        if (failure.empty()) failure = what;
    }
    static DWORD WINAPI Run(LPVOID context);
};

DWORD WINAPI MenuDriver::Run(LPVOID context) {
    auto* d = static_cast<MenuDriver*>(context);
    if (!WaitCount(4, 1)) d->Fail("no report of the menu window");
    HWND first = reinterpret_cast<HWND>(Seen().back().detail);
    if (!WaitFor([&] { return IsWindowVisible(first) != FALSE; })) d->Fail("the menu did not show");
    d->Click(d->menu, 0);
    if (!WaitCount(32, 1)) d->Fail("no report of the release on a setting");
    d->Click(d->menu, 1); // opens the submenu and stays open: a release on a submenu row runs nothing
    if (!WaitCount(4, 2)) d->Fail("no report of the submenu window");
    if (!WaitCount(32, 2)) d->Fail("no report of the release on the submenu row");
    d->Click(d->menu, 2);
    if (!WaitCount(32, 3)) d->Fail("no report of the release on Help");
    if (!WaitCount(8, 2)) d->Fail("the menu windows' ends were not reported");
    if (!d->failure.empty()) EndMenu();
    d->done = true;
    return 0;
}

// One road through a menu: a press and release on a setting leaves the menu open, a submenu is reported as
// the next window, a release on Help asks for the menu to close, and the system itself never runs an item.
TEST_F(MenuReports, EveryMenuWindowPressAndReleaseIsReportedAndOnlyHelpAboutAndTheHomePageClose) {
    HMENU submenu = CreatePopupMenu();
    AppendMenuW(submenu, MF_STRING, 121, L"Alt");
    AppendMenuW(submenu, MF_STRING, 302, L"About");
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 181, L"Fade In");
    AppendMenuW(menu, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), L"More");
    AppendMenuW(menu, MF_STRING, 301, L"Help");
    SendMessageW(owner, APPMSG_MENUTRACK, 1, 0); // the settings window announces each menu it tracks
    SetForegroundWindow(owner);

    MenuDriver driver = {menu, submenu};
    HANDLE thread = CreateThread(nullptr, 0, MenuDriver::Run, &driver, 0, nullptr);
    UINT ran = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, 300, 200, 0, owner, nullptr);
    WaitForSingleObject(thread, 60000);
    CloseHandle(thread);
    DestroyMenu(menu);
    EXPECT_TRUE(driver.done);
    EXPECT_EQ(driver.failure, "");
    EXPECT_EQ(ran, 0u) << "the system ran an item itself";

    std::vector<Report> seen = Seen();
    std::vector<WPARAM> events;
    std::vector<LPARAM> closes;
    for (const Report& r : seen) {
        if (r.event != 1) events.push_back(r.event);
        if (r.event == 32) closes.push_back(r.detail);
    }
    // The submenu opens as the mouse comes over its row and closes as it moves on to Help; every release
    // follows its press.
    EXPECT_EQ(events, (std::vector<WPARAM>{4, 16, 32, 4, 16, 32, 8, 16, 32, 8})) << "reports out of order";
    EXPECT_EQ(closes, (std::vector<LPARAM>{0, 0, 1}));
    HWND windows[2] = {};
    for (const Report& r : seen)
        if (r.event == 4 && !windows[0]) windows[0] = reinterpret_cast<HWND>(r.detail);
        else if (r.event == 4) windows[1] = reinterpret_cast<HWND>(r.detail);
    std::vector<HWND> gone;
    for (const Report& r : seen)
        if (r.event == 8) gone.push_back(reinterpret_cast<HWND>(r.detail));
    EXPECT_EQ(gone, (std::vector<HWND>{windows[1], windows[0]}));
}
} // namespace
