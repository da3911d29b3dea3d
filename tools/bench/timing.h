#pragma once
// Timing helpers shared by the benchmarks: a millisecond clock, medians, and a drained message queue.
#include <windows.h>
#include <algorithm>
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
