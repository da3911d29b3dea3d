// fade_bench: how long the taskbar fade takes against the duration asked for, at each of the five speeds.
// Drives real fades on a layered window of its own process through the settings window's hover message and
// prints, per speed and direction, the time from the message to the final tick, the ticks and the final
// alpha.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <vector>
#include "app/main.h"
#include "engine/taskbar_fade.h"

namespace {
constexpr LONG durations[] = {100, 150, 200, 300, 400};
constexpr BYTE chosen = 144;
constexpr int runs = 10;

struct Call {
    LONGLONG at;
    BYTE alpha;
};
constexpr LONG maxCalls = 4096;
Call calls[maxCalls];
LONG volatile callCount;

BOOL WINAPI RecordLayered(HWND window, COLORREF key, BYTE alpha, DWORD flags) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    LONG at = InterlockedIncrement(&callCount) - 1;
    if (at < maxCalls) calls[at] = {now.QuadPart, alpha};
    return SetLayeredWindowAttributes(window, key, alpha, flags);
}

LONG Calls() { return InterlockedCompareExchange(&callCount, 0, 0); }

void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(1);
    } while (GetTickCount() - start < ms);
}

struct Run {
    double elapsedMs;
    double periodMs;
    int ticks;
    int finalAlpha;
};

Run FadeOnce(HWND taskbar, bool fadeIn, double countsPerMs) {
    BYTE from = fadeIn ? chosen : 255;
    BYTE target = fadeIn ? 255 : chosen;
    app.taskbarCurrentAlpha = from;
    SetLayeredWindowAttributes(taskbar, 0, from, LWA_ALPHA);
    callCount = 0;
    LARGE_INTEGER sent;
    QueryPerformanceCounter(&sent);
    SendMessageW(app.mainWindow, APPMSG_TASKBARHOVER, reinterpret_cast<WPARAM>(taskbar), fadeIn ? 4 : 5);
    DWORD start = GetTickCount();
    while (!(Calls() > 1 && calls[Calls() - 1].alpha == target) && GetTickCount() - start < 3000) Pump(1);
    Pump(60); // a tick after the final one would show here
    LONG count = std::min(Calls(), maxCalls);
    Run run = {0, 0, static_cast<int>(count) - 1, count ? calls[count - 1].alpha : -1};
    if (count > 0) run.elapsedMs = (calls[count - 1].at - sent.QuadPart) / countsPerMs;
    if (count > 2) run.periodMs = (calls[count - 1].at - calls[1].at) / countsPerMs / (count - 2);
    return run;
}
} // namespace

int main() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    CreateSettingsWindow(instance);
    app.setLayeredWindowAttributes = RecordLayered;
    app.taskbarAlpha = chosen;
    WNDCLASSW cls = {};
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = instance;
    cls.lpszClassName = L"FadeBenchTaskbar";
    RegisterClassW(&cls);
    HWND taskbar = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, cls.lpszClassName, L"taskbar", WS_POPUP,
                                   0, 738, 1024, 30, nullptr, nullptr, instance, nullptr);
    ShowWindow(taskbar, SW_SHOWNOACTIVATE);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double countsPerMs = frequency.QuadPart / 1000.0;

    printf("fade_bench: hover message to final tick, chosen alpha %d, %d runs per row\n", chosen, runs);
    printf("goal per row: every fade ends on exactly its target, its final tick no later than the duration plus\n"
           "one period after the hover message (0 runs late)\n");
    printf("%8s %4s %9s %6s %14s %15s %11s %17s %s\n", "duration", "way", "period", "ticks", "elapsed ms",
           "ratio to asked", "final alpha", "runs later than", "goal");
    printf("%8s %4s %9s %6s %14s %15s %11s %17s %s\n", "ms", "", "ms (mean)", "", "mean / max", "mean / max", "",
           "duration + period", "");
    int misses = 0;
    for (LONG duration : durations) {
        app.fadeDuration = duration;
        for (bool fadeIn : {true, false}) {
            double sum = 0, worst = 0, period = 0;
            int minTicks = 1 << 30, maxTicks = 0, wrongFinal = 0, late = 0;
            for (int i = 0; i < runs; ++i) {
                Run run = FadeOnce(taskbar, fadeIn, countsPerMs);
                sum += run.elapsedMs;
                worst = std::max(worst, run.elapsedMs);
                period += run.periodMs;
                minTicks = std::min(minTicks, run.ticks);
                maxTicks = std::max(maxTicks, run.ticks);
                wrongFinal += run.finalAlpha != (fadeIn ? 255 : chosen);
                late += run.elapsedMs > duration + run.periodMs;
            }
            char ticks[32];
            snprintf(ticks, sizeof ticks, minTicks == maxTicks ? "%d" : "%d-%d", minTicks, maxTicks);
            printf("%8ld %4s %9.2f %6s %6.1f / %5.1f %7.3f / %5.3f %11s %10d of %d %s\n", duration,
                   fadeIn ? "in" : "out", period / runs, ticks, sum / runs, worst, sum / runs / duration,
                   worst / duration, wrongFinal ? "WRONG" : (fadeIn ? "255" : "144"), late, runs,
                   wrongFinal + late ? "MISSED" : "met");
            misses += wrongFinal + late;
        }
    }
    EndTaskbarFade();
    DestroyWindow(taskbar);
    DestroySettingsWindow();
    printf("%d of %d fades missed the goal (exact target, final tick within one period of the duration)\n",
           misses, runs * 2 * static_cast<int>(sizeof durations / sizeof *durations));
    return misses ? 1 : 0;
}
