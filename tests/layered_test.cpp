// Applying and removing transparency inside the test process: the snapshot curtain and its hand-over,
// the repaint walk, removal on Windows 2000 and XP, requests that change nothing, and the drop shadow.
// The target windows carry out VITREA_SETLAYEREDSTYLE themselves, so every step is seen in order.
#include "support/app_fixture.h"
#include "engine/alpha_table.h"
#include "engine/layered.h"
#include "support/skin_files.h"
#include "support/target_tree.h"

namespace {
constexpr DWORD curtainExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST;

struct CurtainSighting {
    HWND curtain = nullptr;
    RECT place = {};
    DWORD exStyle = 0;
    bool visible = false;
    bool otherThread = false;
    DWORD threadId = 0;
    int count = 0;
};

// The curtains of this process on the screen right now.
CurtainSighting LookForCurtain() {
    CurtainSighting seen;
    for (HWND w = FindWindowExW(nullptr, nullptr, L"VitreaFakeClass", nullptr); w;
         w = FindWindowExW(nullptr, w, L"VitreaFakeClass", nullptr)) {
        if (++seen.count > 1) continue;
        seen.curtain = w;
        GetWindowRect(w, &seen.place);
        seen.exStyle = GetWindowLongW(w, GWL_EXSTYLE);
        seen.visible = IsWindowVisible(w) != FALSE;
        seen.threadId = GetWindowThreadProcessId(w, nullptr);
        seen.otherThread = seen.threadId != GetCurrentThreadId();
    }
    return seen;
}

bool ThreadEnds(DWORD threadId) {
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    if (!thread) return true;
    bool ended = WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended;
}

bool SameRect(const RECT& r, LONG left, LONG top, LONG right, LONG bottom) {
    return r.left == left && r.top == top && r.right == right && r.bottom == bottom;
}

std::vector<HWND> Painted() {
    std::vector<HWND> painted;
    for (const TargetEvent& event : TargetLog())
        if (event.message == WM_PAINT) painted.push_back(event.window);
    return painted;
}

std::vector<TargetEvent> StyleRequests() {
    std::vector<TargetEvent> requests;
    for (const TargetEvent& event : TargetLog())
        if (event.message != WM_PAINT) requests.push_back(event);
    return requests;
}

class Layered : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        StartEngine();
        HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
        screenWidth = GetDeviceCaps(display, HORZRES);
        screenHeight = GetDeviceCaps(display, VERTRES);
        DeleteDC(display);
    }
    static LRESULT SetAlpha(HWND window, LPARAM request) {
        return SendMessageW(app.mainWindow, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(window), request);
    }
    int screenWidth = 0, screenHeight = 0;
};

TEST_F(Layered, ApplyCoversTheOnScreenPartWithACurtainWhileTheStyleChanges) {
    // Reaches off the left and the bottom edge of the screen.
    TargetTree target(-100, screenHeight - 268, 400, 400);
    CurtainSighting seen;
    bool layeredBefore = true;
    target.onStyle = [&](WPARAM) {
        seen = LookForCurtain();
        layeredBefore = IsLayered(target.Top());
    };
    {
        Watchdog guard(20000, "apply with a curtain");
        EXPECT_EQ(SetAlpha(target.Top(), 0x7E0000 | 0x8000 | 128), 0) << "bits 8 to 15 and above 16 are not read";
    }
    ASSERT_TRUE(seen.curtain) << "no curtain while the style changed";
    EXPECT_EQ(seen.count, 1);
    EXPECT_FALSE(layeredBefore);
    EXPECT_TRUE(seen.visible);
    EXPECT_TRUE(seen.otherThread) << "the curtain runs on a thread of its own";
    EXPECT_EQ(seen.exStyle & curtainExStyle, curtainExStyle) << std::hex << seen.exStyle;
    EXPECT_TRUE(SameRect(seen.place, 0, screenHeight - 268, 300, screenHeight))
        << seen.place.left << "," << seen.place.top << "," << seen.place.right << "," << seen.place.bottom;
    EXPECT_FALSE(IsWindow(seen.curtain)) << "closed before the apply returns";
    EXPECT_TRUE(ThreadEnds(seen.threadId)) << "the curtain thread ends with its curtain";

    EXPECT_EQ(LayeredAlpha(target.Top()), 128);
    ASSERT_EQ(StyleRequests().size(), 1u);
    EXPECT_EQ(StyleRequests()[0].wParam, 1u);
    EXPECT_EQ(TargetLog().front().message, StyleRequests()[0].message) << "the style changes before any repaint";
    EXPECT_EQ(Painted(), (std::vector<HWND>{target[TargetTree::top], target[TargetTree::a], target[TargetTree::a1],
                                            target[TargetTree::c]}));
    EXPECT_EQ(AlphaTableQuery(target.Top()), 128);
}

TEST_F(Layered, AlreadyLayeredWindowOnlyGetsItsNewAlpha) {
    TargetTree target(100, 100, 300, 200, true);
    EXPECT_EQ(SetAlpha(target.Top(), 90), 0);
    EXPECT_TRUE(TargetLog().empty()) << "no style request and no repaint";
    EXPECT_EQ(LayeredAlpha(target.Top()), 90);
    EXPECT_EQ(AlphaTableQuery(target.Top()), 90);

    // A second apply to a window this program layered itself takes the same short road.
    TargetTree other(420, 100, 300, 200);
    EXPECT_EQ(SetAlpha(other.Top(), 30), 0);
    TargetLog().clear();
    EXPECT_EQ(SetAlpha(other.Top(), 31), 0);
    EXPECT_TRUE(TargetLog().empty());
    EXPECT_EQ(LayeredAlpha(other.Top()), 31);
    EXPECT_EQ(LookForCurtain().count, 0);
}

TEST_F(Layered, WindowWhollyOffTheScreenGetsNoCurtainAndTheApplyReturns) {
    for (RECT place : {RECT{-700, 100, 400, 300}, RECT{100, screenHeight + 50, 300, 200},
                       RECT{screenWidth + 10, 10, 200, 200}}) {
        TargetTree target(place.left, place.top, place.right, place.bottom);
        int curtains = -1;
        target.onStyle = [&](WPARAM) { curtains = LookForCurtain().count; };
        {
            Watchdog guard(20000, "apply to a window off the screen");
            EXPECT_EQ(SetAlpha(target.Top(), 200), 0);
        }
        EXPECT_EQ(curtains, 0) << place.left << "," << place.top;
        EXPECT_EQ(LayeredAlpha(target.Top()), 200);
        EXPECT_EQ(Painted().size(), 4u);
    }
}

int ThreadsOfThisProcess() { return static_cast<int>(ThreadsOf(GetCurrentProcessId()).size()); }

TEST_F(Layered, CurtainThatCannotBeCreatedDoesNotHoldTheApplyUp) {
    ASSERT_TRUE(UnregisterClassW(L"VitreaFakeClass", app.instance));
    TargetTree target(100, 100, 300, 200);
    // The runtime makes a few objects of its own for the first layered window; counts are taken after it.
    SetAlpha(target.Top(), 70);
    SetAlpha(target.Top(), alphaRemoveRequest);
    TargetLog().clear();
    int threads = ThreadsOfThisProcess();
    DWORD objects = GdiObjectCount();
    int curtains = -1;
    target.onStyle = [&](WPARAM) { curtains = LookForCurtain().count; };
    {
        Watchdog guard(20000, "apply without a curtain class");
        EXPECT_EQ(SetAlpha(target.Top(), 70), 0);
    }
    EXPECT_EQ(curtains, 0);
    EXPECT_EQ(LayeredAlpha(target.Top()), 70);
    EXPECT_EQ(Painted().size(), 4u) << "the other steps still run";
    for (int cycle = 0; cycle < 5; ++cycle) {
        SetAlpha(target.Top(), alphaRemoveRequest);
        SetAlpha(target.Top(), 70);
    }
    EXPECT_TRUE(WaitFor([&] { return ThreadsOfThisProcess() == threads; })) << "the curtain threads ended";
    EXPECT_EQ(GdiObjectCount(), objects) << "the screen captures were released";
}

// Another program can create "VitreaFakeWinEvent" first and leave it set; the hand-over must still wait for
// the curtain thread, or the curtain is never closed.
TEST_F(Layered, CurtainEventLeftSetByAnotherProgramDoesNotCutTheHandOverShort) {
    HANDLE hostile = CreateEventW(nullptr, TRUE, TRUE, L"VitreaFakeWinEvent");
    ASSERT_TRUE(hostile);
    for (int round = 0; round < 3; ++round) {
        TargetTree target(100 + 40 * round, 100, 300, 200);
        CurtainSighting seen;
        target.onStyle = [&](WPARAM) { seen = LookForCurtain(); };
        {
            Watchdog guard(20000, "apply with a signalled curtain event");
            EXPECT_EQ(SetAlpha(target.Top(), 150), 0);
        }
        EXPECT_TRUE(seen.curtain && seen.visible) << "round " << round;
        EXPECT_EQ(LookForCurtain().count, 0) << "a curtain was left on the screen in round " << round;
        EXPECT_EQ(LayeredAlpha(target.Top()), 150);
    }
    EXPECT_EQ(WaitForSingleObject(hostile, 0), WAIT_OBJECT_0) << "the program does not fight over the event";
    CloseHandle(hostile);
}

TEST_F(Layered, RepaintWalkVisitsVisibleWindowsTopOfTheOrderFirstAndSkipsHiddenSubtrees) {
    TargetTree host(100, 100, 400, 300);
    HWND w = host[TargetTree::c];
    HWND p = TargetTree::Child(w, true), q = TargetTree::Child(w, false), r = TargetTree::Child(w, true);
    HWND p1 = TargetTree::Child(p, true), p2 = TargetTree::Child(p, false), p3 = TargetTree::Child(p, true);
    HWND p1a = TargetTree::Child(p1, true), p2a = TargetTree::Child(p2, true), q1 = TargetTree::Child(q, true);
    HWND r1 = TargetTree::Child(r, true);
    (void)p2a;
    (void)q1;
    ASSERT_EQ(Children(w), (std::vector<HWND>{p, q, r})) << "children are listed in creation order here";
    host.Settle();
    RepaintDescendants(w);
    EXPECT_EQ(Painted(), (std::vector<HWND>{p, p1, p1a, p3, r, r1}));

    TargetLog().clear();
    RepaintDescendants(r1);
    EXPECT_TRUE(TargetLog().empty()) << "a window without children";
    RepaintDescendants(host.Top());
    EXPECT_EQ(Painted(), (std::vector<HWND>{host[TargetTree::a], host[TargetTree::a1], w, p, p1, p1a, p3, r, r1}))
        << "the walk never leaves the window's subtree";
}

HWND destroyOnPaint = nullptr;
HWND paintedToDestroy = nullptr;
LRESULT CALLBACK DestroyingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        TargetLog().push_back({window, WM_PAINT, 0});
        if (window == paintedToDestroy) DestroyWindow(destroyOnPaint);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(Layered, RepaintWalkEndsWhenAWindowVanishesUnderIt) {
    WNDCLASSW cls = {};
    cls.lpfnWndProc = DestroyingProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"VitreaTestVanishing";
    RegisterClassW(&cls);
    auto child = [](HWND parent) {
        return CreateWindowExW(0, L"VitreaTestVanishing", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, parent,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    };
    TargetTree host(100, 100, 400, 300);
    HWND w = host[TargetTree::c];

    // A window that destroys itself when painted: no child, no sibling, no parent left to climb to.
    HWND x = child(w), z = child(w);
    host.Settle();
    paintedToDestroy = destroyOnPaint = x;
    {
        Watchdog guard(10000, "repaint walk over a window that destroys itself");
        RepaintDescendants(w);
    }
    EXPECT_EQ(Painted(), (std::vector<HWND>{x}));
    DestroyWindow(z);

    // A grandchild whose paint destroys its parent: the walk is climbing out of a subtree that is gone.
    HWND parent = child(w), grandchild = child(parent), after = child(w);
    host.Settle();
    paintedToDestroy = grandchild;
    destroyOnPaint = parent;
    {
        Watchdog guard(10000, "repaint walk climbing out of a destroyed subtree");
        RepaintDescendants(w);
    }
    EXPECT_EQ(Painted(), (std::vector<HWND>{parent, grandchild}));
    EXPECT_TRUE(IsWindow(after));
    paintedToDestroy = destroyOnPaint = nullptr;
}

TEST_F(Layered, RemovalOnWindows2000HidesAWindowReachingOffTheTopOrLeftUnderACurtain) {
    app.isXP = false;
    for (POINT corner : {POINT{-50, 100}, POINT{100, -40}}) {
        TargetTree target(corner.x, corner.y, 400, 300);
        ASSERT_EQ(SetAlpha(target.Top(), 100), 0);
        ASSERT_TRUE(IsLayered(target.Top()));
        target.Settle();
        CurtainSighting seen;
        bool visibleDuring = true;
        target.onStyle = [&](WPARAM) {
            seen = LookForCurtain();
            visibleDuring = IsWindowVisible(target.Top()) != FALSE;
        };
        {
            Watchdog guard(20000, "removal on Windows 2000");
            EXPECT_EQ(SetAlpha(target.Top(), alphaRemoveRequest | 77), 0);
        }
        EXPECT_TRUE(seen.curtain && seen.visible);
        EXPECT_TRUE(SameRect(seen.place, std::max(0L, corner.x), std::max(0L, corner.y), corner.x + 400,
                             corner.y + 300));
        EXPECT_FALSE(visibleDuring) << "hidden while its style is cleared";
        EXPECT_TRUE(IsWindowVisible(target.Top()));
        EXPECT_FALSE(IsLayered(target.Top()));
        EXPECT_FALSE(IsWindow(seen.curtain));
        ASSERT_EQ(StyleRequests().size(), 1u);
        EXPECT_EQ(StyleRequests()[0].wParam, 0u);
        EXPECT_EQ(Painted(), (std::vector<HWND>{target[TargetTree::a], target[TargetTree::a1], target[TargetTree::c]}))
            << "the descendants only, not the window itself";
        EXPECT_EQ(AlphaTableQuery(target.Top()), -1);
    }

    TargetTree onScreen(0, 0, 300, 200);
    ASSERT_EQ(SetAlpha(onScreen.Top(), 100), 0);
    onScreen.Settle();
    int curtains = -1;
    onScreen.onStyle = [&](WPARAM) { curtains = LookForCurtain().count; };
    EXPECT_EQ(SetAlpha(onScreen.Top(), alphaRemoveRequest), 0);
    EXPECT_EQ(curtains, 0) << "edges at 0 are on the screen";
    EXPECT_TRUE(Painted().empty());
    EXPECT_FALSE(IsLayered(onScreen.Top()));
}

TEST_F(Layered, RemovalOnXPOnlyClearsTheStyle) {
    TargetTree target(-50, -40, 400, 300);
    ASSERT_EQ(SetAlpha(target.Top(), 100), 0);
    target.Settle();
    int curtains = -1;
    bool visibleDuring = false;
    target.onStyle = [&](WPARAM) {
        curtains = LookForCurtain().count;
        visibleDuring = IsWindowVisible(target.Top()) != FALSE;
    };
    EXPECT_EQ(SetAlpha(target.Top(), alphaRemoveRequest), 0);
    EXPECT_EQ(curtains, 0);
    EXPECT_TRUE(visibleDuring);
    EXPECT_TRUE(Painted().empty());
    ASSERT_EQ(StyleRequests().size(), 1u);
    EXPECT_FALSE(IsLayered(target.Top()));
}

TEST_F(Layered, RequestsThatChangeNothingAnswerZero) {
    EXPECT_EQ(SetAlpha(nullptr, 100), 0);
    EXPECT_EQ(SetAlpha(nullptr, alphaRemoveRequest), 0);
    EXPECT_EQ(app.alphaTableHead, nullptr);

    // The desktop, by its exact class name.
    WNDCLASSW cls = {};
    cls.lpfnWndProc = PlainProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"Progman";
    RegisterClassW(&cls);
    HWND desktop = CreateWindowExW(0, L"Progman", L"Program Manager", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(desktop);
    EXPECT_EQ(SetAlpha(desktop, 100), 0);
    EXPECT_FALSE(IsLayered(desktop));
    EXPECT_EQ(AlphaTableQuery(desktop), -1);
    DestroyWindow(desktop);

    // A window that is gone.
    HWND gone;
    {
        TargetTree target(100, 100, 300, 200);
        gone = target.Top();
    }
    ASSERT_FALSE(IsWindow(gone));
    EXPECT_EQ(SetAlpha(gone, 100), 0);
    EXPECT_EQ(AlphaTableQuery(gone), -1);

    // A layered window this program did not make translucent.
    TargetTree foreign(100, 100, 300, 200, true);
    EXPECT_EQ(SetAlpha(foreign.Top(), alphaRemoveRequest), 0);
    EXPECT_TRUE(TargetLog().empty());
    EXPECT_EQ(LayeredAlpha(foreign.Top()), 255);
    EXPECT_EQ(app.alphaTableHead, nullptr);
}

LRESULT CALLBACK ShadowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(Layered, DropShadowFollowsTheWindowsAlphaWith255As254) {
    WNDCLASSW cls = {};
    cls.lpfnWndProc = ShadowProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"SysShadow";
    RegisterClassW(&cls);
    TargetTree target(200, 150, 300, 200, false, true);
    RECT r;
    GetWindowRect(target.Top(), &r);
    auto shadowAt = [](LONG left, LONG top, LONG right, LONG bottom) {
        HWND shadow = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT, L"SysShadow", nullptr,
                                      WS_POPUP | WS_VISIBLE, left, top, right - left, bottom - top, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
        SetLayeredWindowAttributes(shadow, 0, 100, LWA_ALPHA);
        return shadow;
    };
    HWND shadow = shadowAt(r.left, r.top, r.right + 5, r.bottom + 5);
    // Found first (newer windows are higher), but one pixel off.
    HWND decoy = shadowAt(r.left, r.top, r.right + 5, r.bottom + 6);
    ASSERT_EQ(FindWindowExW(nullptr, nullptr, L"SysShadow", nullptr), decoy);

    EXPECT_EQ(SetAlpha(target.Top(), 200), 0);
    EXPECT_EQ(LayeredAlpha(shadow), 200);
    EXPECT_EQ(SetAlpha(target.Top(), 255), 0);
    EXPECT_EQ(LayeredAlpha(shadow), 254) << "already layered: the shadow still follows";
    EXPECT_EQ(SetAlpha(target.Top(), 10), 0);
    EXPECT_EQ(LayeredAlpha(shadow), 10);
    EXPECT_EQ(SetAlpha(target.Top(), alphaRemoveRequest), 0);
    EXPECT_EQ(LayeredAlpha(shadow), 254) << "removal gives the shadow back its full alpha";
    EXPECT_EQ(LayeredAlpha(decoy), 100);

    // A window at the same place whose class has no shadow leaves it alone.
    TargetTree plain(200, 150, 300, 200);
    EXPECT_EQ(SetAlpha(plain.Top(), 40), 0);
    EXPECT_EQ(LayeredAlpha(shadow), 254);
    DestroyWindow(shadow);
    DestroyWindow(decoy);
}
} // namespace
