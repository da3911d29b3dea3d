// startup_bench [runs]: how long Vitrea.exe takes from its launch to its settings window shown and painted,
// against a minimal window program that only registers a class and shows a window of the same size. Both are
// launched in turn in the same run (after one unmeasured launch each), and the ratio is the median of each
// Vitrea launch against the minimal launch just before it, so it holds on any host.
// Vitrea starts with the settings stored in the prefix; a stored "start minimized" would hide the window.
//
// A third program, launched in turn with them, is the floor: it creates the settings window's controls and
// tray icon bare, as any program showing that window must.
//
// A launch ends when the window is visible, nothing of it waits to be painted and its program has gone idle,
// waiting for input with its queue empty, so the first paint is inside the figure.
//
// Vitrea's launches are also split into its start-up steps: the bench names a shared block in the
// environment, Vitrea writes the time at the end of each step into it, and the medians are printed per step.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "app/startup_split.h"
#include "tools/bench/timing.h"

namespace {
constexpr double goal = 1.3;

struct Program {
    const char* name;
    std::wstring exe;
    const WCHAR* windowClass;
    std::vector<double> visible, idle;
};

// The block Vitrea writes its steps' times into, one performance counter reading per step.
struct Split {
    LONGLONG* marks;
    std::vector<double> steps[startupStepCount + 1]; // the last one: from shown to painted and idle
};

std::wstring Folder() {
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

HWND VisibleWindow(const WCHAR* windowClass, DWORD processId) {
    for (HWND window = FindWindowExW(nullptr, nullptr, windowClass, nullptr); window;
         window = FindWindowExW(nullptr, window, windowClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

// One launch, timed; then the program is closed the way a user closes it and awaited. False on a time-out.
bool Launch(Program& program, bool keep, Split* split) {
    std::wstring line = L"\"" + program.exe + L"\"";
    std::wstring folder = Folder();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (split) ZeroMemory(split->marks, startupStepCount * sizeof(LONGLONG));
    double start = NowMs();
    if (!CreateProcessW(program.exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return false;
    HWND window = nullptr;
    // Polled rather than waited for: no notice reaches another process when a window is shown.
    for (DWORD since = GetTickCount(); !window && GetTickCount() - since < 30000; Sleep(1))
        window = VisibleWindow(program.windowClass, process.dwProcessId);
    double shown = NowMs();
    // Painted once nothing of the window waits to be painted any more.
    for (DWORD since = GetTickCount();
         window && GetUpdateRect(window, nullptr, FALSE) && GetTickCount() - since < 30000; Sleep(1)) {
    }
    bool idle = window && WaitForInputIdle(process.hProcess, 30000) == 0;
    double settled = NowMs();
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (keep && window && idle) {
        program.visible.push_back(shown - start);
        program.idle.push_back(settled - start);
        if (split && std::all_of(split->marks, split->marks + startupStepCount, [](LONGLONG m) { return m != 0; })) {
            double before = start;
            for (int step = 0; step < startupStepCount; ++step) {
                double at = CountsToMs(split->marks[step]);
                split->steps[step].push_back(at - before);
                before = at;
            }
            split->steps[startupStepCount].push_back(settled - before);
        }
    }
    return window && idle && ended;
}
// Each launch of one program against the launch of the other in the same round: a spell of load from
// elsewhere on the host then weighs on both sides of a ratio, where it would tilt a ratio of two medians.
bool Row(const char* what, const Program& program, const Program& yardstick, double goal) {
    std::vector<double> ratios;
    for (size_t i = 0; i < program.idle.size() && i < yardstick.idle.size(); ++i)
        ratios.push_back(program.idle[i] / yardstick.idle[i]);
    return RatioRow(what, Median(program.idle), Median(yardstick.idle), goal, 1, Median(ratios));
}
} // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 15;
    std::wstring folder = Folder();
    Program vitrea = {"Vitrea.exe", folder + L"Vitrea.exe", L"VitreaClass", {}, {}};
    Program minimal = {"minimal window program",
                       folder + L"tools\\bench\\minimal_window.exe",
                       L"VitreaMinimalWindow",
                       {},
                       {}};
    Program floor = {"the same windows and icon, bare", folder + L"tools\\bench\\floor_window.exe",
                     L"VitreaFloorWindow", {}, {}};
    if (FindWindowW(L"VitreaClass", nullptr)) {
        fprintf(stderr, "startup_bench: a Vitrea is already running\n");
        return 2;
    }
    HANDLE block = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      startupStepCount * sizeof(LONGLONG), startupSplitBlock);
    Split split = {block ? static_cast<LONGLONG*>(MapViewOfFile(block, FILE_MAP_WRITE, 0, 0, 0)) : nullptr, {}};
    bool fine = true;
    for (int run = -1; run < runs; ++run) {
        // Vitrea right after the minimal program, which follows a program with a tray icon as before.
        for (Program* program : {&minimal, &vitrea, &floor}) {
            if (!Launch(*program, run >= 0, program == &vitrea && split.marks ? &split : nullptr)) {
                fprintf(stderr, "startup_bench: %s did not show its window, go idle or end\n", program->name);
                fine = false;
            }
        }
    }
    if (split.marks) UnmapViewOfFile(split.marks);
    if (block) CloseHandle(block);
    if (vitrea.idle.empty() || minimal.idle.empty()) return 2;
    printf("startup_bench: %d launches each, from the launch to the window shown and painted (medians)\n",
           runs);
    printf("  %-34s %9.1f ms  (window visible after %.1f ms)\n", minimal.name, Median(minimal.idle),
           Median(minimal.visible));
    printf("  %-34s %9.1f ms  (window visible after %.1f ms)\n", floor.name, Median(floor.idle),
           Median(floor.visible));
    printf("  %-34s %9.1f ms  (window visible after %.1f ms)\n", vitrea.name, Median(vitrea.idle),
           Median(vitrea.visible));
    if (!split.steps[0].empty()) {
        printf("  Vitrea's start-up step by step (medians of %zu launches):\n", split.steps[0].size());
        for (int step = 0; step <= startupStepCount; ++step)
            printf("    %-32s %9.2f ms\n",
                   step < startupStepCount ? startupStepNames[step] : "first paint, until idle",
                   Median(split.steps[step]));
    }
    bool met = Row("start-up to the settings window", vitrea, minimal, goal);
    // What any program pays that shows these windows and this icon under the runtime, and what Vitrea adds.
    Row("same windows and icon, bare", floor, minimal, 0);
    Row("Vitrea against that floor", vitrea, floor, 0);
    return fine && met ? 0 : 1;
}
