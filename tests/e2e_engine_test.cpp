// The transparency engine of the shipped Vitrea.exe, driven from this second process the way the hook
// library drives it, on windows of a third program (probe target).
#include <gtest/gtest.h>
#include "support/e2e_support.h"
#include "support/probe_target.h"
#include <algorithm>

namespace {
constexpr DWORD curtainExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST;

bool CurtainsLeft() { return FindWindowW(L"VitreaFakeClass", nullptr) != nullptr; }

// Looks for curtains from a thread of its own while the test's main thread waits in SendMessage. It may miss
// a curtain that lives for a moment, so it only backs up checks that no curtain was raised at all.
class CurtainWatcher {
public:
    CurtainWatcher()
        : stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          thread(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {}
    ~CurtainWatcher() { Stop(); }
    CurtainWatcher(const CurtainWatcher&) = delete;
    CurtainWatcher& operator=(const CurtainWatcher&) = delete;
    void Stop() {
        if (!thread) return;
        SetEvent(stop);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CloseHandle(stop);
        thread = nullptr;
    }
    std::vector<HWND> sightings;

private:
    static DWORD WINAPI Run(LPVOID self) {
        auto* watcher = static_cast<CurtainWatcher*>(self);
        while (WaitForSingleObject(watcher->stop, 0) == WAIT_TIMEOUT) watcher->Look();
        return 0;
    }
    void Look() {
        for (HWND w = FindWindowExW(nullptr, nullptr, L"VitreaFakeClass", nullptr); w;
             w = FindWindowExW(nullptr, w, L"VitreaFakeClass", nullptr))
            if (std::find(sightings.begin(), sightings.end(), w) == sightings.end()) sightings.push_back(w);
    }
    HANDLE stop;
    HANDLE thread;
};

class Engine : public ::testing::Test {
protected:
    void SetUp() override { EndAllVitreas(); }
    void TearDown() override {
        EndAllVitreas();
        SetProgramWindowsVersion(L"Vitrea.exe", nullptr);
    }
    // Starts Vitrea beside the targets (each already launched) and waits for all of them.
    void StartVitreaWith(std::initializer_list<Target*> targets) {
        ASSERT_TRUE(vitrea.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
        for (Target* target : targets) ASSERT_TRUE(target->Ready()) << "target " << std::string(target->title.begin(), target->title.end());
        window = FindVitreaWindow(vitrea);
        ASSERT_TRUE(window) << "no settings window appeared";
    }
    LRESULT Send(UINT message, HWND target, LPARAM lParam = 0) const {
        DWORD_PTR result = 0xDEAD;
        if (!SendMessageTimeoutW(window, message, reinterpret_cast<WPARAM>(target), lParam, SMTO_NORMAL, 30000,
                                 &result))
            ADD_FAILURE() << "Vitrea did not answer";
        return static_cast<LRESULT>(result);
    }
    LRESULT SetAlpha(HWND target, LPARAM request) const { return Send(APPMSG_SETALPHA, target, request); }
    static int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }
    Process vitrea;
    HWND window = nullptr;
};

// A top-level window of this process with a class the shell uses; the runtime's desktop has none of them.
HWND StandIn(const WCHAR* className, const RECT& place, DWORD exStyle = 0) {
    WNDCLASSW cls = {};
    cls.lpfnWndProc = PlainProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = className;
    RegisterClassW(&cls);
    return CreateWindowExW(exStyle, className, nullptr, WS_POPUP | WS_VISIBLE, place.left, place.top,
                           place.right - place.left, place.bottom - place.top, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

TEST_F(Engine, ApplyRaisesACurtainOnlyForAWindowNotLayeredYetAndRemovalOnXPRaisesNone) {
    Target target, layered;
    // Reaches off the left and the bottom edge of the screen.
    ASSERT_TRUE(target.Launch(L"EngineApply", -100, ScreenHeight() - 268, 500, 500));
    ASSERT_TRUE(layered.Launch(L"EngineLayered", 500, 100, 400, 300, L"layered"));
    StartVitreaWith({&target, &layered});
    RECT place = target.Place();
    ASSERT_LT(place.left, 0);
    ASSERT_GT(place.bottom, ScreenHeight());

    EXPECT_EQ(SetAlpha(target.window, 128), 0);
    std::vector<Sighting> sightings = target.Sightings();
    ASSERT_EQ(sightings.size(), 1u) << "one change of the layered style";
    const Sighting& seen = sightings[0];
    EXPECT_EQ(seen.what, becameLayered);
    ASSERT_EQ(seen.curtains, 1) << "one curtain while the style changed";
    EXPECT_EQ(seen.processId, vitrea.info.dwProcessId);
    EXPECT_EQ(seen.exStyle & curtainExStyle, curtainExStyle) << std::hex << seen.exStyle;
    EXPECT_EQ(seen.place.left, 0);
    EXPECT_EQ(seen.place.top, place.top);
    EXPECT_EQ(seen.place.right, place.right);
    EXPECT_EQ(seen.place.bottom, ScreenHeight()) << "only the part on the screen is covered";
    EXPECT_FALSE(IsWindow(seen.curtain)) << "the curtain closes before the answer";
    EXPECT_EQ(LayeredAlpha(target.window), 128);
    for (TargetIndex painted : {top, a, a1, c}) EXPECT_GE(target.Paints(painted), 1) << "window " << painted;
    EXPECT_EQ(target.Paints(b), 0);
    EXPECT_EQ(target.Paints(b1), 0) << "a visible child of a hidden window is not painted";
    EXPECT_EQ(Send(APPMSG_GETALPHA, target.window), 128);

    // Layered windows, whether layered by this program or by their own, only get the new alpha.
    target.ResetPaints();
    ASSERT_EQ(LayeredAlpha(layered.window), 255);
    CurtainWatcher again;
    EXPECT_EQ(SetAlpha(target.window, 60), 0);
    EXPECT_EQ(SetAlpha(layered.window, 77), 0);
    again.Stop();
    EXPECT_TRUE(again.sightings.empty());
    EXPECT_EQ(LayeredAlpha(target.window), 60);
    EXPECT_EQ(LayeredAlpha(layered.window), 77);
    for (const Target* t : {&target, &layered}) {
        EXPECT_TRUE(t->Sightings().empty()) << "the layered style changed";
        for (TargetIndex index : {top, a, a1, b, b1, c}) EXPECT_EQ(t->PaintsSettled(index), 0) << "window " << index;
    }
    EXPECT_EQ(Send(APPMSG_GETALPHA, target.window), 60);
    EXPECT_EQ(Send(APPMSG_GETALPHA, layered.window), 77);

    // On XP removal clears the style in place, even for a window reaching off the screen.
    target.ResetPaints();
    CurtainWatcher removal;
    EXPECT_EQ(SetAlpha(target.window, alphaRemoveRequest | 90), 0);
    removal.Stop();
    EXPECT_TRUE(removal.sightings.empty());
    sightings = target.Sightings();
    ASSERT_EQ(sightings.size(), 1u) << "cleared, never hidden";
    EXPECT_EQ(sightings[0].what, noLongerLayered);
    EXPECT_EQ(sightings[0].curtains, 0);
    EXPECT_FALSE(IsLayered(target.window));
    EXPECT_TRUE(IsWindowVisible(target.window));
    EXPECT_EQ(Send(APPMSG_GETALPHA, target.window), -1);
}

TEST_F(Engine, RequestsForWindowsItDidNotMakeTranslucentChangeNothing) {
    Target foreign, forgotten;
    ASSERT_TRUE(foreign.Launch(L"EngineForeign", 100, 100, 300, 200, L"layered"));
    ASSERT_TRUE(forgotten.Launch(L"EngineForgotten", 450, 100, 300, 200));
    StartVitreaWith({&foreign, &forgotten});

    HWND desktop = FindWindowW(L"Progman", nullptr);
    bool standIn = desktop == nullptr;
    if (standIn) desktop = StandIn(L"Progman", {0, 0, 200, 200});
    ASSERT_TRUE(desktop);
    ASSERT_FALSE(IsLayered(desktop));
    CurtainWatcher watcher;
    EXPECT_EQ(SetAlpha(desktop, 100), 0);
    EXPECT_EQ(SetAlpha(nullptr, 100), 0);
    EXPECT_EQ(SetAlpha(nullptr, alphaRemoveRequest), 0);
    watcher.Stop();
    EXPECT_TRUE(watcher.sightings.empty());
    EXPECT_FALSE(IsLayered(desktop)) << "the desktop is never made translucent";
    EXPECT_EQ(Send(APPMSG_GETALPHA, desktop), -1);
    EXPECT_EQ(Send(APPMSG_GETALPHA, nullptr), -1);
    if (standIn) DestroyWindow(desktop);
    CurtainWatcher root;
    EXPECT_EQ(SetAlpha(GetDesktopWindow(), 100), 0);
    root.Stop();
    EXPECT_TRUE(root.sightings.empty()) << "no curtain over the whole screen";
    EXPECT_FALSE(IsLayered(GetDesktopWindow())) << "the root window is the desktop too";
    EXPECT_EQ(Send(APPMSG_GETALPHA, GetDesktopWindow()), -1);

    EXPECT_EQ(SetAlpha(foreign.window, alphaRemoveRequest), 0);
    EXPECT_EQ(LayeredAlpha(foreign.window), 255) << "a window layered by its own program is left alone";

    EXPECT_EQ(SetAlpha(forgotten.window, 0), 0);
    EXPECT_EQ(LayeredAlpha(forgotten.window), 0);
    EXPECT_EQ(Send(APPMSG_GETALPHA, forgotten.window), 0) << "alpha 0 is recorded like any other";
    EXPECT_EQ(Send(APPMSG_FORGETWINDOW, forgotten.window, 77), 0);
    EXPECT_EQ(Send(APPMSG_GETALPHA, forgotten.window), -1);
    EXPECT_EQ(LayeredAlpha(forgotten.window), 0) << "forgetting leaves the window as it is";
    EXPECT_EQ(SetAlpha(forgotten.window, alphaRemoveRequest), 0);
    EXPECT_EQ(LayeredAlpha(forgotten.window), 0);
    EXPECT_EQ(Send(APPMSG_FORGETWINDOW, forgotten.window), 0) << "forgetting an unknown window answers 0 too";
}

TEST_F(Engine, RemovalOnWindows2000HidesAWindowReachingOffTheScreenUnderACurtain) {
    SetProgramWindowsVersion(L"Vitrea.exe", L"win2k");
    Target onScreen, offScreen;
    ASSERT_TRUE(onScreen.Launch(L"EngineOn2000", 0, 0, 300, 200));
    ASSERT_TRUE(offScreen.Launch(L"EngineOff2000", -80, 300, 400, 300));
    StartVitreaWith({&onScreen, &offScreen});
    for (Target* target : {&onScreen, &offScreen}) ASSERT_EQ(SetAlpha(target->window, 120), 0);

    onScreen.ResetPaints();
    CurtainWatcher quiet;
    EXPECT_EQ(SetAlpha(onScreen.window, alphaRemoveRequest), 0);
    quiet.Stop();
    EXPECT_TRUE(quiet.sightings.empty()) << "left and top at 0 are on the screen";
    std::vector<Sighting> cleared = onScreen.Sightings();
    ASSERT_EQ(cleared.size(), 1u) << "cleared, never hidden";
    EXPECT_EQ(cleared[0].what, noLongerLayered);
    EXPECT_EQ(cleared[0].curtains, 0);
    EXPECT_FALSE(IsLayered(onScreen.window));

    RECT place = offScreen.Place();
    offScreen.ResetPaints();
    EXPECT_EQ(SetAlpha(offScreen.window, alphaRemoveRequest), 0);
    std::vector<Sighting> seen = offScreen.Sightings();
    ASSERT_EQ(seen.size(), 2u) << "hidden, then cleared";
    EXPECT_EQ(seen[0].what, hidden);
    EXPECT_EQ(seen[1].what, noLongerLayered);
    for (const Sighting& sighting : seen) {
        ASSERT_EQ(sighting.curtains, 1) << "hidden and cleared under one curtain";
        EXPECT_EQ(sighting.curtain, seen[0].curtain);
        EXPECT_EQ(sighting.place.left, 0);
        EXPECT_EQ(sighting.place.top, place.top);
        EXPECT_EQ(sighting.place.right, place.right);
    }
    EXPECT_FALSE(IsLayered(offScreen.window));
    EXPECT_TRUE(IsWindowVisible(offScreen.window));
    EXPECT_FALSE(CurtainsLeft());
    for (TargetIndex painted : {a, a1, c}) EXPECT_GE(offScreen.Paints(painted), 1) << "window " << painted;
    EXPECT_EQ(offScreen.Paints(b), 0);
    EXPECT_EQ(offScreen.Paints(b1), 0);
}

TEST_F(Engine, DropShadowGetsTheWindowsAlphaAnd255ArrivesAs254) {
    Target target;
    ASSERT_TRUE(target.Launch(L"EngineShadow", 200, 150, 300, 200, L"shadow"));
    StartVitreaWith({&target});
    RECT r = target.Place();
    // The runtime draws no shadows: stand-ins take their place, one of them a pixel off.
    HWND shadow = StandIn(L"SysShadow", {r.left, r.top, r.right + 5, r.bottom + 5}, WS_EX_LAYERED | WS_EX_TRANSPARENT);
    HWND decoy = StandIn(L"SysShadow", {r.left + 1, r.top, r.right + 5, r.bottom + 5}, WS_EX_LAYERED | WS_EX_TRANSPARENT);
    ASSERT_TRUE(shadow && decoy);
    for (HWND w : {shadow, decoy}) SetLayeredWindowAttributes(w, 0, 100, LWA_ALPHA);

    EXPECT_EQ(SetAlpha(target.window, 200), 0);
    EXPECT_EQ(LayeredAlpha(shadow), 200);
    EXPECT_EQ(SetAlpha(target.window, 255), 0);
    EXPECT_EQ(LayeredAlpha(shadow), 254);
    EXPECT_EQ(SetAlpha(target.window, 10), 0);
    EXPECT_EQ(LayeredAlpha(shadow), 10);
    EXPECT_EQ(SetAlpha(target.window, alphaRemoveRequest), 0);
    EXPECT_EQ(LayeredAlpha(shadow), 254) << "removal gives the shadow 255, which arrives as 254";
    EXPECT_EQ(LayeredAlpha(decoy), 100);
    DestroyWindow(shadow);
    DestroyWindow(decoy);
}

TEST_F(Engine, ClosingRestoresEveryRecordedWindowAndLeavesForgottenOnesAlone) {
    Target plain, layered, forgotten;
    ASSERT_TRUE(plain.Launch(L"EngineClose1", 50, 50, 300, 200));
    ASSERT_TRUE(layered.Launch(L"EngineClose2", 400, 50, 300, 200, L"layered"));
    ASSERT_TRUE(forgotten.Launch(L"EngineClose3", 50, 300, 300, 200));
    StartVitreaWith({&plain, &layered, &forgotten});
    EXPECT_EQ(SetAlpha(plain.window, 100), 0);
    EXPECT_EQ(SetAlpha(layered.window, 0), 0);
    EXPECT_EQ(SetAlpha(forgotten.window, 30), 0);
    EXPECT_EQ(SetAlpha(plain.window, 120), 0);
    EXPECT_EQ(Send(APPMSG_FORGETWINDOW, forgotten.window), 0);
    for (Target* target : {&plain, &layered, &forgotten}) ASSERT_TRUE(IsLayered(target->window));

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(vitrea.Wait(), 0u);
    for (Target* target : {&plain, &layered}) EXPECT_FALSE(IsLayered(target->window));
    EXPECT_EQ(LayeredAlpha(forgotten.window), 30);
    EXPECT_FALSE(CurtainsLeft());
}

// Any program can create "VitreaFakeWinEvent" and leave it set; the curtain must still be closed.
TEST_F(Engine, CurtainEventLeftSetByAnotherProgramLeavesNoCurtainBehind) {
    HANDLE hostile = CreateEventW(nullptr, TRUE, TRUE, L"VitreaFakeWinEvent");
    ASSERT_TRUE(hostile);
    Target target;
    ASSERT_TRUE(target.Launch(L"EngineHostile", 100, 100, 300, 200));
    StartVitreaWith({&target});
    for (int round = 0; round < 2; ++round) {
        target.ResetPaints();
        EXPECT_EQ(SetAlpha(target.window, 140), 0);
        std::vector<Sighting> seen = target.Sightings();
        ASSERT_EQ(seen.size(), 1u) << "round " << round;
        EXPECT_EQ(seen[0].curtains, 1) << "round " << round << ": the style changed with no curtain up";
        EXPECT_EQ(LayeredAlpha(target.window), 140);
        // The curtain is closed before the answer, whatever the event said.
        EXPECT_FALSE(CurtainsLeft()) << "round " << round;
        EXPECT_EQ(SetAlpha(target.window, alphaRemoveRequest), 0);
    }
    EXPECT_TRUE(vitrea.Running());
    CloseHandle(hostile);
}
} // namespace
