// Taskbar transparency: the steps that keep the taskbar settings in step with what is applied to it, and the
// fade to opaque and back that follows the mouse over the taskbar.
#include "engine/taskbar_fade.h"
#include <mmsystem.h>
#include <cmath>
#include <new>
#include "core/app_state.h"
#include "core/protocol.h"
#include "engine/alpha_table.h"
#include "engine/layered.h"

namespace {
constexpr WCHAR stopEventName[] = L"VitreaActiveTaskbar";
constexpr UINT periodSlack = 10;
// Anything slower than this still makes a fade of at most one tick; it only bounds the timer period.
constexpr LONGLONG slowestMs = 1000;

struct FadeRequest {
    HWND volatile window; // null once the fade has reached its target
    FadeRun run;
    HANDLE stop;
    LONGLONG hoverCount; // performance counter when the hover message came
};

// The multimedia timer, looked up when the first fade starts: the library is loaded only by a run that fades,
// which keeps its loading out of every start-up. Written by the main thread before it starts a fade thread.
struct TimerFunctions {
    decltype(&timeBeginPeriod) beginPeriod;
    decltype(&timeEndPeriod) endPeriod;
    decltype(&timeSetEvent) setEvent;
    decltype(&timeKillEvent) killEvent;
};
TimerFunctions timer;

bool LoadTimer() {
    if (timer.setEvent) return true;
    HMODULE library = LoadLibraryW(L"winmm.dll");
    if (!library) return false;
    TimerFunctions found = {ProcAddress<decltype(&timeBeginPeriod)>(library, "timeBeginPeriod"),
                            ProcAddress<decltype(&timeEndPeriod)>(library, "timeEndPeriod"),
                            ProcAddress<decltype(&timeSetEvent)>(library, "timeSetEvent"),
                            ProcAddress<decltype(&timeKillEvent)>(library, "timeKillEvent")};
    if (!found.beginPeriod || !found.endPeriod || !found.setEvent || !found.killEvent) return false;
    timer = found; // the library stays loaded for the rest of the run
    return true;
}

// Main thread only. The stop event stays open for the rest of the run once the first fade has started, so
// that a stop sent while a fade is still starting up is kept for it rather than lost.
HANDLE fadeStop;
HANDLE fadeThread;

// Whole milliseconds, truncated; nothing is measured without a performance counter or when it went backwards.
LONG CountsToMs(LONGLONG counts, LONGLONG countsPerSecond) {
    LONGLONG countsPerMs = countsPerSecond / 1000;
    LONGLONG elapsed = countsPerMs > 0 ? counts / countsPerMs : 0;
    if (elapsed < 0) elapsed = 0;
    return static_cast<LONG>(elapsed < slowestMs ? elapsed : slowestMs);
}

void CALLBACK FadeTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* request = reinterpret_cast<FadeRequest*>(user);
    HWND window = request->window;
    if (!window) return; // ticks that come between the end and the timer's death
    FadeAlpha next = FadeAdvance(request->run, app.taskbarAlpha);
    app.taskbarCurrentAlpha = next.alpha;
    app.setLayeredWindowAttributes(window, 0, next.alpha, LWA_ALPHA);
    if (next.finished) {
        request->window = nullptr;
        SetEvent(request->stop);
    }
}

void CALLBACK SignalEvent(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    SetEvent(reinterpret_cast<HANDLE>(user));
}

// Multimedia timer callbacks run one after another on the system's one timer thread: once a one-shot timer
// set now has fired, no callback of a timer killed before it can still be running.
void WaitForTimerCallbacks(UINT period) {
    HANDLE passed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    MMRESULT marker =
        passed ? timer.setEvent(1, 0, SignalEvent, reinterpret_cast<DWORD_PTR>(passed), TIME_ONESHOT) : 0;
    if (marker)
        WaitForSingleObject(passed, INFINITE);
    else
        Sleep(period); // no timer to spare: one period is as long as a tick can be late
    if (passed) CloseHandle(passed);
}

DWORD WINAPI FadeThread(void* parameter) {
    auto* request = static_cast<FadeRequest*>(parameter);
    BYTE start = app.taskbarCurrentAlpha;
    LARGE_INTEGER frequency = {}, before = {}, after = {};
    QueryPerformanceFrequency(&frequency);
    // This call re-applies the alpha the fade starts from and tells how long such a call takes here.
    QueryPerformanceCounter(&before);
    app.setLayeredWindowAttributes(request->window, 0, start, LWA_ALPHA);
    QueryPerformanceCounter(&after);
    UINT period = FadePeriod(after.QuadPart - before.QuadPart, frequency.QuadPart);
    // The time since the hover (thread start, the call above) is taken off the duration, so that the last
    // tick comes no later than the duration after the mouse moved.
    LONG startUp = CountsToMs(after.QuadPart - request->hoverCount, frequency.QuadPart);
    LONG duration = app.fadeDuration;
    LONG ticks = FadeTickCount(duration > startUp ? duration - startUp : 0, period);
    request->run = FadeStart(request->run.fadeIn, start, app.taskbarAlpha, ticks);

    bool finerTimer = timer.beginPeriod(period) == TIMERR_NOERROR;
    MMRESULT ticking =
        timer.setEvent(period, period, FadeTick, reinterpret_cast<DWORD_PTR>(request), TIME_PERIODIC);
    if (ticking) {
        WaitForSingleObject(request->stop, INFINITE);
        timer.killEvent(ticking);
        WaitForTimerCallbacks(period);
    }
    if (finerTimer) timer.endPeriod(period);
    delete request;
    return 0;
}
} // namespace

UINT FadePeriod(LONGLONG callCounts, LONGLONG countsPerSecond) {
    return static_cast<UINT>(CountsToMs(callCounts, countsPerSecond)) + periodSlack;
}

LONG FadeTickCount(LONG duration, UINT period) {
    return duration > 0 && period > 0 ? duration / static_cast<LONG>(period) : 0;
}

FadeRun FadeStart(bool fadeIn, BYTE current, BYTE chosen, LONG ticks) {
    FadeRun run = {static_cast<float>(current), 0.0f, ticks > 0 ? ticks : 1, fadeIn};
    float distance = static_cast<float>(fadeIn ? 255 - current : 255 - chosen);
    // With no ticks the first tick covers the whole way; dividing by zero ticks would give an infinite step,
    // or NaN when there is no distance either.
    run.step = ticks > 0 ? distance / static_cast<float>(ticks) : distance;
    if (!fadeIn) run.step = -run.step;
    return run;
}

FadeAlpha FadeAdvance(FadeRun& run, BYTE chosen) {
    BYTE target = run.fadeIn ? 255 : chosen;
    float a = run.current + run.step;
    run.current = a;
    BYTE alpha;
    // The planned last tick shows the target even when the float sum has come up a hair short of it.
    if (--run.ticksLeft <= 0 || std::isnan(a))
        alpha = target;
    else if (a >= 255.0f)
        alpha = 255;
    else if (a <= chosen)
        alpha = chosen;
    else
        alpha = static_cast<BYTE>(a); // chosen < a < 255 here: finite and in range, truncated toward zero
    return {alpha, alpha == target};
}

void TaskbarApplySteps(BYTE alpha) {
    EndTaskbarFade(); // what is applied now is what the taskbar keeps
    if (!app.taskbarEnabled) SendMessageW(app.mainWindow, APPMSG_SETTING, settingTaskbarOn, 1);
    if (alpha != app.taskbarAlpha) SendMessageW(app.mainWindow, APPMSG_SETTING, settingTaskbarAlpha, alpha);
    app.taskbarCurrentAlpha = app.taskbarAlpha;
}

void TaskbarRemoveSteps() {
    EndTaskbarFade();
    if (app.taskbarEnabled) SendMessageW(app.mainWindow, APPMSG_SETTING, settingTaskbarOn, 0);
    // Switching the setting off runs this whole removal once, nested, for a recorded taskbar: it comes back
    // restored and unrecorded, and a second round would only raise a second curtain and repaint again.
    if (AlphaTableFind(app.taskbarWindow, nullptr)) {
        SetStyleLayered(app.taskbarWindow, false);
        ApplyWindowAlpha(app.taskbarWindow, 255);
    }
    app.taskbarCurrentAlpha = 255;
}

void EndTaskbarFade() {
    if (!fadeThread) return;
    SetEvent(fadeStop);
    WaitForSingleObject(fadeThread, INFINITE);
    CloseHandle(fadeThread);
    fadeThread = nullptr;
}

void StartTaskbarFade(HWND window, bool fadeIn, LONGLONG hoverCount) {
    EndTaskbarFade();
    if (!LoadTimer()) return; // no timer, no fade: the taskbar keeps the alpha it shows
    if (!fadeStop) fadeStop = CreateEventW(nullptr, FALSE, FALSE, stopEventName);
    // The name is held by an object of another kind: fades still run, only the stop from outside is lost.
    if (!fadeStop) fadeStop = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!fadeStop) return;
    // Nobody waits on the event now; a stop left in it from the fade before is not meant for the next one.
    ResetEvent(fadeStop);
    auto* request = new (std::nothrow) FadeRequest{window, {0.0f, 0.0f, 0, fadeIn}, fadeStop, hoverCount};
    if (!request) return;
    fadeThread = CreateThread(nullptr, 0, FadeThread, request, 0, nullptr);
    if (!fadeThread) delete request;
}
