#pragma once
// Timing helpers shared by the benchmarks: a millisecond clock, medians, a drained message queue and the
// lines of their ratio tables.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <vector>

// A performance counter reading, of this process or another, in milliseconds.
inline double CountsToMs(LONGLONG counts) {
    static const LONGLONG perSecond = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return frequency.QuadPart;
    }();
    return 1000.0 * static_cast<double>(counts) / static_cast<double>(perSecond);
}

inline double NowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return CountsToMs(now.QuadPart);
}

inline double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

inline void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// One line of a ratio table, the form tools/reliability.sh reads: the figure, its yardstick, their ratio (or
// the given one) and the goal, where a goal of 0 means none is set and the line is for comparison.
inline bool RatioRow(const char* what, double figure, double bare, double goal, int decimals, double ratio = 0) {
    if (ratio == 0) ratio = figure / bare;
    bool met = goal == 0 || ratio <= goal;
    printf("  %-34s %9.*f ms  bare %8.*f ms  ratio %6.2fx  ", what, decimals, figure, decimals, bare, ratio);
    if (goal == 0)
        printf("(no goal, for comparison)\n");
    else
        printf("(goal <= %.1fx) %s\n", goal, met ? "met" : "MISSED");
    return met;
}
