// Taskbar transparency steps and the hover fade: the tick arithmetic on its own, then real fades driven by
// the multimedia timer on a layered window of this process.
#include "support/app_fixture.h"
#include <commctrl.h>
#include <algorithm>
#include <cmath>
#include "engine/alpha_table.h"
#include "engine/taskbar_fade.h"

namespace {
constexpr LONG durations[] = {100, 150, 200, 300, 400};

// Runs ticks until the fade finishes (or 1000 ticks pass) and returns every alpha shown.
std::vector<int> RunTicks(FadeRun run, BYTE chosen) {
    std::vector<int> shown;
    for (int tick = 0; tick < 1000; ++tick) {
        FadeAlpha next = FadeAdvance(run, chosen);
        shown.push_back(next.alpha);
        if (next.finished) break;
    }
    return shown;
}

TEST(FadeArithmetic, WorkedTimingFadesInFrom135InEightTicksOf15) {
    const LONGLONG frequency = 3579545; // 3579 counts a millisecond
    EXPECT_EQ(FadePeriod(2 * 3579, frequency), 12u);
    EXPECT_EQ(FadePeriod(2 * 3579 - 1, frequency), 11u) << "whole milliseconds, truncated";
    EXPECT_EQ(FadePeriod(0, frequency), 10u);
    EXPECT_EQ(FadePeriod(5000, 0), 10u) << "no performance counter";
    EXPECT_EQ(FadePeriod(-7158, frequency), 10u) << "a counter that went backwards";
    EXPECT_EQ(FadeTickCount(100, 12), 8);

    FadeRun run = FadeStart(true, 135, 135, 8);
    EXPECT_EQ(run.step, 15.0f);
    EXPECT_EQ(RunTicks(run, 135), (std::vector<int>{150, 165, 180, 195, 210, 225, 240, 255}));
}

TEST(FadeArithmetic, FadeOutStartsFromTheAlphaReachedWithTheFullRangeStep) {
    const BYTE chosen = 100;
    FadeRun in = FadeStart(true, chosen, chosen, 8);
    EXPECT_EQ(in.step, 19.375f);
    std::vector<int> partial;
    for (int tick = 0; tick < 3; ++tick) partial.push_back(FadeAdvance(in, chosen).alpha);
    EXPECT_EQ(partial, (std::vector<int>{119, 138, 158}));

    FadeRun out = FadeStart(false, 158, chosen, 8);
    EXPECT_EQ(out.current, 158.0f);
    EXPECT_EQ(out.step, -19.375f) << "the step of 255 down to the chosen alpha, not of 158 down to it";
    EXPECT_EQ(RunTicks(out, chosen), (std::vector<int>{138, 119, 100})) << "fewer ticks than a whole fade";
}

// Every speed, any chosen alpha, periods around the usual 10 to 13 ms: the alpha stays between the chosen one
// and 255, moves one way only, and the planned last tick (no later) shows exactly the target.
TEST(FadeArithmetic, EveryFadeStaysInRangeAndEndsExactlyOnItsLastTick) {
    for (UINT period = 10; period <= 13; ++period)
        for (LONG duration : durations)
            for (int chosen = 0; chosen <= 255; chosen += 3) {
                SCOPED_TRACE(testing::Message()
                             << "period " << period << " duration " << duration << " chosen " << chosen);
                LONG ticks = FadeTickCount(duration, period);
                BYTE c = static_cast<BYTE>(chosen);
                std::vector<int> in = RunTicks(FadeStart(true, c, c, ticks), c);
                ASSERT_EQ(in.size(), static_cast<size_t>(chosen < 255 ? ticks : 1));
                EXPECT_EQ(in.back(), 255);
                EXPECT_TRUE(Monotonic(in, true));
                EXPECT_GE(in.front(), chosen);

                std::vector<int> out = RunTicks(FadeStart(false, 255, c, ticks), c);
                ASSERT_LE(out.size(), static_cast<size_t>(ticks));
                EXPECT_EQ(out.back(), chosen);
                EXPECT_TRUE(Monotonic(out, false));
                EXPECT_LE(out.front(), 255);
                for (int alpha : out) EXPECT_GE(alpha, chosen);
            }
}

TEST(FadeArithmetic, NoTicksFinishOnTheFirstTickWithoutNonFiniteSteps) {
    EXPECT_EQ(FadeTickCount(100, 112), 0) << "period longer than the duration";
    EXPECT_EQ(FadeTickCount(0, 10), 0);
    EXPECT_EQ(FadeTickCount(-300, 10), 0);
    struct Case {
        bool fadeIn;
        BYTE current, chosen;
        int shown;
    };
    const Case cases[] = {
        {true, 135, 135, 255},  // a distance to cover
        {false, 255, 90, 90},   //
        {false, 170, 90, 90},   // from part-way
        {true, 255, 90, 255},   // no distance: 0 / 0 ticks
        {false, 255, 255, 255}, //
        {false, 200, 255, 255}, // below a chosen alpha that was raised meanwhile
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "fadeIn " << c.fadeIn << " from " << int(c.current) << " chosen "
                                        << int(c.chosen));
        FadeRun run = FadeStart(c.fadeIn, c.current, c.chosen, 0);
        EXPECT_TRUE(std::isfinite(run.step));
        FadeAlpha first = FadeAdvance(run, c.chosen);
        EXPECT_EQ(first.alpha, c.shown);
        EXPECT_TRUE(first.finished);
    }
    // Whatever the running value becomes, no NaN or infinity reaches the conversion to an alpha.
    for (float step : {INFINITY, -INFINITY, NAN}) {
        FadeRun in = {200.0f, step, 5, true};
        FadeRun out = {200.0f, step, 5, false};
        FadeAlpha shownIn = FadeAdvance(in, 80);
        FadeAlpha shownOut = FadeAdvance(out, 80);
        EXPECT_TRUE(shownIn.alpha == 80 || shownIn.alpha == 255);
        EXPECT_TRUE(shownOut.alpha == 80 || shownOut.alpha == 255);
        if (std::isnan(step)) EXPECT_TRUE(shownIn.finished && shownOut.finished);
    }
}

// A record of every SetLayeredWindowAttributes call the fade makes, from whichever thread.
struct LayeredCall {
    DWORD thread;
    BYTE alpha;
};
constexpr LONG maxCalls = 8192;
LayeredCall calls[maxCalls];
LONG volatile callCount;

// Calls can be made slow, which widens every window in which two fades could overlap.
DWORD volatile callDelayMs;
LONG volatile callsInFlight;
LONG volatile overlappingCalls;

BOOL WINAPI RecordLayered(HWND window, COLORREF key, BYTE alpha, DWORD flags) {
    if (InterlockedIncrement(&callsInFlight) > 1) InterlockedIncrement(&overlappingCalls);
    LONG at = InterlockedIncrement(&callCount) - 1;
    if (at < maxCalls) calls[at] = {GetCurrentThreadId(), alpha};
    if (callDelayMs) Sleep(callDelayMs);
    BOOL done = SetLayeredWindowAttributes(window, key, alpha, flags);
    InterlockedDecrement(&callsInFlight);
    return done;
}

LONG CallsSoFar() { return InterlockedCompareExchange(&callCount, 0, 0); }

// Live threads of this process that were started at a function of this program rather than of a system
// library. Of those that appear after `known`, the only ones the code under test starts here are fade
// threads.
std::vector<DWORD> ThreadsStartedHere(const std::vector<DWORD>& known = {}) {
    auto* image = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
    const BYTE* imageEnd = image + nt->OptionalHeader.SizeOfImage;

    std::vector<DWORD> found;
    for (DWORD id : ThreadsOf(GetCurrentProcessId()))
        if (id != GetCurrentThreadId() && std::find(known.begin(), known.end(), id) == known.end() &&
            StartsWithin(id, image, imageEnd))
            found.push_back(id);
    return found;
}

void SetStopEventFromOutside() {
    HANDLE event = OpenEventW(EVENT_ALL_ACCESS, TRUE, L"VitreaActiveTaskbar");
    ASSERT_NE(event, nullptr);
    SetEvent(event);
    CloseHandle(event);
}

std::vector<WPARAM> layeredStyleRequests;
// When set, the stand-in changes its layered style as asked, the way the hook library does it in the taskbar's
// process, and notes for each request whether a curtain was up.
bool standInTakesStyle;
std::vector<bool> curtainUpAtRequest;

LRESULT CALLBACK TaskbarStandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == app.msgSetLayeredStyle && message != 0) {
        layeredStyleRequests.push_back(wParam);
        curtainUpAtRequest.push_back(FindWindowW(L"VitreaFakeClass", nullptr) != nullptr);
        if (standInTakesStyle) {
            LONG style = GetWindowLongW(window, GWL_EXSTYLE);
            SetWindowLongW(window, GWL_EXSTYLE, wParam ? style | WS_EX_LAYERED : style & ~WS_EX_LAYERED);
            return 0;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The settings window of this process plus a layered top-level window that plays the taskbar.
class TaskbarFade : public AppFixture {
protected:
    HWND taskbar = nullptr;

    void SetUp() override {
        AppFixture::SetUp();
        Start();
        WNDCLASSW cls = {};
        cls.lpfnWndProc = TaskbarStandInProc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = L"FadeTestTaskbar";
        RegisterClassW(&cls);
        taskbar = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, L"FadeTestTaskbar", L"taskbar", WS_POPUP,
                                  0, 738, 1024, 30, nullptr, nullptr, cls.hInstance, nullptr);
        ASSERT_TRUE(taskbar);
        ShowWindow(taskbar, SW_SHOWNOACTIVATE);
        ownThreads = ThreadsStartedHere(); // such as the test framework's own
        layeredStyleRequests.clear();
        curtainUpAtRequest.clear();
        standInTakesStyle = false;
        callCount = 0;
        callDelayMs = 0;
        overlappingCalls = 0;
        app.taskbarWindow = taskbar;
        app.setLayeredWindowAttributes = RecordLayered;
        Choose(100, 200);
    }
    void TearDown() override {
        EndTaskbarFade();
        if (taskbar) DestroyWindow(taskbar);
        AppFixture::TearDown();
    }
    // The chosen alpha, shown on the window as where the fades start, and the fade time.
    void Choose(BYTE alpha, LONG duration) {
        app.taskbarAlpha = alpha;
        ShowNow(alpha);
        app.fadeDuration = duration;
    }
    void ShowNow(BYTE alpha) {
        app.taskbarCurrentAlpha = alpha;
        SetLayeredWindowAttributes(taskbar, 0, alpha, LWA_ALPHA);
    }
    LRESULT Hover(LPARAM lowWord) {
        return SendMessageW(app.mainWindow, APPMSG_TASKBARHOVER, reinterpret_cast<WPARAM>(taskbar), lowWord);
    }
    std::vector<int> Watch(const std::function<bool(int)>& done) { return WatchAlpha(taskbar, done); }
    // The fade threads alive now; once none is left, every call a fade makes has been made.
    size_t FadeThreads() const { return ThreadsStartedHere(ownThreads).size(); }
    bool FadeOver() const { return WaitFor([&] { return FadeThreads() == 0; }, 5000); }
    std::vector<DWORD> ownThreads;
    // The alphas of the calls from index `from` on, those of one fade when nothing else ran meanwhile.
    static std::vector<int> CalledAlphas(LONG from) {
        std::vector<int> alphas;
        for (LONG i = from; i < CallsSoFar() && i < maxCalls; ++i) alphas.push_back(calls[i].alpha);
        return alphas;
    }
};

// The steps are read from the recorded calls, which a busy machine cannot hide the way it can from a watcher;
// the slowest speed leaves room for several ticks even when the fade's thread starts late.
TEST_F(TaskbarFade, FadesToOpaqueAndBackToExactlyTheChosenAlpha) {
    Choose(100, 400);
    LONG first = CallsSoFar();
    EXPECT_EQ(Hover(MAKELPARAM(4, 0x1234)), 0) << "the high word is not read";
    std::vector<int> up = Watch([](int alpha) { return alpha == 255; });
    EXPECT_EQ(up.back(), 255);
    EXPECT_TRUE(Monotonic(up, true));
    ASSERT_TRUE(FadeOver());
    std::vector<int> upCalls = CalledAlphas(first);
    ASSERT_FALSE(upCalls.empty());
    EXPECT_EQ(upCalls.front(), 100);
    EXPECT_TRUE(Monotonic(upCalls, true));
    EXPECT_GE(upCalls.size(), 4u) << "a fade, not a jump";
    EXPECT_EQ(app.taskbarCurrentAlpha, 255);

    first = CallsSoFar();
    EXPECT_EQ(Hover(5), 0);
    std::vector<int> down = Watch([](int alpha) { return alpha <= 100; });
    EXPECT_EQ(down.back(), 100);
    EXPECT_TRUE(Monotonic(down, false));
    ASSERT_TRUE(FadeOver());
    std::vector<int> downCalls = CalledAlphas(first);
    EXPECT_TRUE(Monotonic(downCalls, false));
    EXPECT_GE(downCalls.size(), 4u);
    EXPECT_EQ(LayeredAlpha(taskbar), 100);
    EXPECT_EQ(app.taskbarCurrentAlpha, 100);
}

TEST_F(TaskbarFade, HoverMidFadeStartsFromTheAlphaReached) {
    Choose(100, 400);
    ShowNow(255);
    LONG first = CallsSoFar();
    Hover(5);
    ASSERT_EQ(Watch([](int alpha) { return alpha == 100; }).back(), 100);
    ASSERT_TRUE(FadeOver());
    size_t wholeFadeOut = CalledAlphas(first).size();

    // A slow fade in, so that it is still under way however late this thread wakes up after seeing 170.
    app.fadeDuration = 4000;
    Hover(4);
    Watch([](int alpha) { return alpha >= 170; });
    app.fadeDuration = 400;
    LONG before = CallsSoFar();
    ASSERT_GT(before, 0);
    Hover(5);
    ASSERT_EQ(Watch([](int alpha) { return alpha == 100; }).back(), 100);
    ASSERT_TRUE(FadeOver());

    // The fade out's first call (on its own thread, not the timer's) re-applies the alpha the fade in
    // reached.
    DWORD timerThread = calls[before - 1].thread;
    LONG start = before;
    while (start < CallsSoFar() && calls[start].thread == timerThread) ++start;
    ASSERT_LT(start, CallsSoFar());
    int reached = calls[start - 1].alpha;
    EXPECT_GT(reached, 100);
    EXPECT_LT(reached, 255);
    std::vector<int> out = CalledAlphas(start);
    EXPECT_EQ(out.front(), reached);
    EXPECT_TRUE(Monotonic(out, false)) << "no jump back up to 255";
    EXPECT_EQ(out.back(), 100);
    EXPECT_LT(out.size(), wholeFadeOut) << "the full-range step gets there in fewer ticks";
}

TEST_F(TaskbarFade, OnlyOneFadeRunsAtATimeThroughABurstOfHovers) {
    // A fade far too slow to end by itself: its thread is seen, so none seen later means none runs.
    Choose(100, 100000);
    Hover(4);
    ASSERT_EQ(FadeThreads(), 1u) << "the hover starts one fade thread before it answers";
    EndTaskbarFade();
    Choose(100, 100);
    Hover(4);
    ASSERT_EQ(Watch([](int alpha) { return alpha == 255; }).back(), 255);
    ASSERT_TRUE(FadeOver()) << "a finished fade's thread ends";

    // Slow calls: each hover now lands while the fade before is still timing its first call or mid-tick.
    callDelayMs = 15;
    for (int i = 0; i < 16; ++i) {
        Hover(i % 2 ? 5 : 4);
        EXPECT_LE(FadeThreads(), 1u) << "hover " << i << ": the fade before is still alive";
        Sleep(i % 4 * 10); // varies where in the fade before the next hover lands; nothing waits on it
    }
    callDelayMs = 0;
    LONG before = CallsSoFar();
    Hover(5);
    ASSERT_EQ(Watch([](int alpha) { return alpha == 100; }).back(), 100);
    ASSERT_TRUE(FadeOver());
    EXPECT_EQ(LayeredAlpha(taskbar), 100) << "a fade from the burst is still driving the window";
    std::vector<int> last = CalledAlphas(before);
    EXPECT_TRUE(Monotonic(last, false));
    EXPECT_EQ(overlappingCalls, 0) << "two fades drove the window at the same time";
}

TEST_F(TaskbarFade, OtherLowWordsNeitherStartNorStopAFade) {
    Choose(100, 400);
    Hover(4);
    for (LPARAM other : {3, 6, 0, 0x50000}) EXPECT_EQ(Hover(other), 0);
    EXPECT_EQ(Watch([](int alpha) { return alpha == 255; }).back(), 255) << "the running fade was stopped";
    ASSERT_TRUE(FadeOver());

    // A fade started now would make its first call before its thread could end.
    LONG before = CallsSoFar();
    for (LPARAM other : {3, 6}) EXPECT_EQ(Hover(other), 0);
    ASSERT_TRUE(FadeOver());
    EXPECT_EQ(CallsSoFar(), before) << "a fade was started";
    EXPECT_EQ(LayeredAlpha(taskbar), 255);
}

TEST_F(TaskbarFade, StopSignalFromOutsideEndsOnlyTheFadeItReaches) {
    // Fades slow enough that no late wake-up of this thread lets one end by itself before the stop.
    Choose(100, 4000);
    // Sent while the fade is still starting up, before it waits for a stop: it must not get lost.
    Hover(4);
    SetStopEventFromOutside();
    ASSERT_TRUE(FadeOver());
    EXPECT_LT(LayeredAlpha(taskbar), 255) << "the fade ran to its end";

    // Left in the event while no fade runs, it must not end the next one at once.
    app.fadeDuration = 400;
    SetStopEventFromOutside();
    Hover(4);
    EXPECT_EQ(Watch([](int alpha) { return alpha == 255; }).back(), 255);

    app.fadeDuration = 4000;
    Hover(5);
    Watch([](int alpha) { return alpha < 200; });
    SetStopEventFromOutside();
    ASSERT_TRUE(FadeOver());
    EXPECT_GT(LayeredAlpha(taskbar), 100) << "the fade ran to its end";
    EXPECT_EQ(app.taskbarCurrentAlpha, LayeredAlpha(taskbar));
}

using TaskbarSteps = TaskbarFade;

TEST_F(TaskbarSteps, ApplyStepsSwitchTransparencyOnAndAdoptTheAlpha) {
    ASSERT_FALSE(app.taskbarEnabled);
    ShowNow(255);
    TaskbarApplySteps(77);
    EXPECT_TRUE(app.taskbarEnabled);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x43); // on, fade-in on, 200 ms
    EXPECT_EQ(app.taskbarAlpha, 77);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency Alpha"), 77);
    EXPECT_TRUE(IsWindowEnabled(app.alphaSlider));
    EXPECT_EQ(SendMessageW(app.alphaSlider, TBM_GETPOS, 0, 0), 255 - 77);
    EXPECT_EQ(app.taskbarCurrentAlpha, 77);

    app.taskbarCurrentAlpha = 255;
    TaskbarApplySteps(77);
    EXPECT_TRUE(app.taskbarEnabled);
    EXPECT_EQ(app.taskbarAlpha, 77);
    EXPECT_EQ(app.taskbarCurrentAlpha, 77);
}

TEST_F(TaskbarSteps, RemovalStepsSwitchOffAndLeaveTheTaskbarOpaque) {
    TaskbarApplySteps(100);
    ASSERT_TRUE(app.taskbarEnabled);
    app.fadeDuration = 400;
    ShowNow(255);
    Hover(5); // a fade out under way must not carry on after the removal
    Watch([](int alpha) { return alpha < 240; });
    TaskbarRemoveSteps();
    EXPECT_FALSE(app.taskbarEnabled);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x02); // off, fade-in on, 400 ms
    EXPECT_FALSE(IsWindowEnabled(app.alphaSlider));
    EXPECT_NE(std::find(layeredStyleRequests.begin(), layeredStyleRequests.end(), 0u),
              layeredStyleRequests.end())
        << "the taskbar was not asked to drop its layered style";
    EXPECT_EQ(app.taskbarCurrentAlpha, 255);
    EXPECT_EQ(FadeThreads(), 0u) << "the removal returned with the fade still running";
    EXPECT_EQ(LayeredAlpha(taskbar), 255);
}

// With the setting on, switching it off already runs the whole removal, nested: the request that did the
// switching must not raise a second curtain and repaint the taskbar all over again.
TEST_F(TaskbarSteps, RemovalRequestWithTheSettingOnRestoresTheTaskbarUnderOneCurtain) {
    standInTakesStyle = true;
    app.updateLayeredWindow = ProcAddress<UpdateLayeredWindowFn>(GetModuleHandleW(L"user32.dll"), "UpdateLayeredWindow");
    auto setAlpha = [&](LPARAM request) {
        return SendMessageW(app.mainWindow, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(taskbar), request);
    };
    setAlpha(120);
    ASSERT_TRUE(app.taskbarEnabled);
    ASSERT_TRUE(AlphaTableFind(taskbar, nullptr));
    layeredStyleRequests.clear();
    curtainUpAtRequest.clear();

    setAlpha(alphaRemoveRequest);
    EXPECT_FALSE(app.taskbarEnabled);
    EXPECT_FALSE(AlphaTableFind(taskbar, nullptr));
    EXPECT_FALSE(GetWindowLongW(taskbar, GWL_EXSTYLE) & WS_EX_LAYERED) << "the taskbar was left layered";
    // Cleared, layered again at 255 under the curtain that hides the repaint, cleared for good.
    EXPECT_EQ(layeredStyleRequests, (std::vector<WPARAM>{0, 1, 0}));
    EXPECT_EQ(curtainUpAtRequest, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(app.taskbarCurrentAlpha, 255);
}
} // namespace
