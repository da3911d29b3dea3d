// paint_bench [repaints] [switches]: times a full repaint of the settings window in the plain look and in
// each skin, and a skin switch, against a bare 363 x 134 BitBlt in the same run; then counts GDI objects
// over many repaints and switches, beside a deliberate leak that shows the count does see leaks. A skin
// switch must fit in one 60 Hz frame every time: its slowest round is held to that, not only its median.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>
#include "app/main.h"
#include "tools/bench/timing.h"
#include "app/settings.h"
#include "ui/skin.h"

namespace {
constexpr int timedRounds = 200;
constexpr double frameMs = 1000.0 / 60;

std::vector<double> SamplesMs(int rounds, const std::function<void()>& operation) {
    std::vector<double> samples;
    for (int round = 0; round < rounds; ++round) {
        Pump();
        double start = NowMs();
        operation();
        samples.push_back(NowMs() - start);
    }
    return samples;
}

double MedianMs(int rounds, const std::function<void()>& operation) { return Median(SamplesMs(rounds, operation)); }

// Everything the window shows, drawn at once: its face, every control and the frame.
void Repaint() {
    RedrawWindow(app.mainWindow, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    GdiFlush();
}

// GDI objects of this process: the system's count, and occupied table slots for runtimes that report 0.
struct Counts {
    DWORD reported, found;
};
Counts Measure() {
    Counts counts = {GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), 0};
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) ++counts.found;
    return counts;
}

bool Row(const char* what, Counts before, Counts after, bool shouldGrow = false) {
    bool grew = after.found > before.found || after.reported > before.reported;
    bool fine = grew == shouldGrow;
    printf("  %-40s reported %5lu -> %5lu, table slots %6lu -> %6lu  %s\n", what, before.reported, after.reported,
           before.found, after.found, fine ? (shouldGrow ? "grew, as it must" : "ok") : (grew ? "GREW" : "MISSED"));
    return fine;
}
} // namespace

int main(int argc, char** argv) {
    int repaints = argc > 1 ? std::atoi(argv[1]) : 1000;
    int switches = argc > 2 ? std::atoi(argv[2]) : 100;
    CreateSettingsWindow(GetModuleHandleW(nullptr));
    lstrcpyW(app.skinName, L"Skinless");
    ShowWindow(app.mainWindow, SW_SHOWNORMAL);
    UpdateWindow(app.mainWindow);
    Pump();
    if (!LoadSkin(L"EddyMini")) {
        fprintf(stderr, "paint_bench: EddyMini.dll not found beside the program\n");
        return 2;
    }
    UnloadSkin();

    HDC window = GetDC(app.mainWindow);
    HDC source = CreateCompatibleDC(window);
    HBITMAP picture = CreateCompatibleBitmap(window, clientSize.cx, clientSize.cy);
    HGDIOBJ old = SelectObject(source, picture);
    double bare = MedianMs(timedRounds, [&] {
        BitBlt(window, 0, 0, clientSize.cx, clientSize.cy, source, 0, 0, SRCCOPY);
        GdiFlush();
    });
    SelectObject(source, old);
    DeleteObject(picture);
    DeleteDC(source);
    ReleaseDC(app.mainWindow, window);

    printf("paint_bench: medians of %d rounds; bare BitBlt of 363 x 134: %.3f ms\n", timedRounds, bare);
    bool fast = true;
    auto row = [&](const char* what, double ms) {
        bool met = ms <= frameMs;
        printf("  %-34s %8.3f ms  ratio to bare %7.1fx  (goal: within one 60 Hz frame, %.1f ms) %s\n", what, ms,
               ms / bare, frameMs, met ? "met" : "MISSED");
        fast &= met;
    };
    row("full repaint, plain look", MedianMs(timedRounds, Repaint));
    SwitchSkin(L"EddyMini");
    row("full repaint, Eddy Mini", MedianMs(timedRounds, Repaint));
    SwitchSkin(L"PewterMini");
    row("full repaint, Pewter Mini", MedianMs(timedRounds, Repaint));
    // A switch ends once every paint it caused is done, the trackbar's after its focus round included.
    bool toEddy = true;
    std::vector<double> switchTimes = SamplesMs(timedRounds / 4, [&] {
        SwitchSkin(toEddy ? L"EddyMini" : L"PewterMini");
        toEddy = !toEddy;
        RedrawWindow(app.mainWindow, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        GdiFlush();
    });
    double slowest = *std::max_element(switchTimes.begin(), switchTimes.end());
    bool quick = slowest <= frameMs;
    printf("  %-34s %8.3f ms  slowest of %zu %7.3f ms  (goal: every one within one 60 Hz frame, %.1f ms) %s\n",
           "skin switch (release, load, repaint)", Median(switchTimes), switchTimes.size(), slowest, frameMs,
           quick ? "met" : "MISSED");

    printf("GDI objects:\n");
    bool fine = true;
    for (const WCHAR* look : {L"Skinless", L"EddyMini"}) {
        SwitchSkin(look);
        Repaint();
        Counts before = Measure();
        for (int i = 0; i < repaints; ++i) Repaint();
        char what[64];
        snprintf(what, sizeof what, "%d repaints, %ls", repaints, look);
        fine &= Row(what, before, Measure());
    }
    SwitchSkin(L"Skinless");
    Counts before = Measure();
    for (int i = 0; i < switches; ++i) SwitchSkin(i % 3 == 0 ? L"EddyMini" : i % 3 == 1 ? L"PewterMini" : L"Skinless");
    SwitchSkin(L"Skinless");
    char what[64];
    snprintf(what, sizeof what, "%d skin switches, back to plain", switches);
    fine &= Row(what, before, Measure());
    // The counter itself: one pen left behind per repaint must show.
    before = Measure();
    std::vector<HPEN> leaked;
    for (int i = 0; i < 100; ++i) {
        Repaint();
        leaked.push_back(CreatePen(PS_SOLID, 0, RGB(i, 0, 0)));
    }
    fine &= Row("control: 100 repaints leaking a pen each", before, Measure(), true);
    for (HPEN pen : leaked) DeleteObject(pen);

    UnloadSkin();
    DestroySettingsWindow();
    return fine && fast && quick ? 0 : 1;
}
