// hook_bench [events]: what the hook library costs the desktop.
//
// 1. The time from SendInput to the message in a window of this program, for an ordinary key (press and
//    release of A) and a mouse move, each over `events` events (5,000 by default, fewer when a slow host
//    spends its time budget first): first with no hook, then with Vitrea.dll initialised for this program's
//    window (shortcut, taskbar transparency and fade-in on, so every hook path is live). The difference is
//    what the hooks add; median and 99th percentile. A run of events that never arrive stops the benchmark.
// 2. The processor time Vitrea.exe (beside this program, with its library) uses over 10 idle seconds.
#include <windows.h>
#include <windowsx.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "app/main.h"
#include "engine/hook_library.h"

namespace {
// Below what anyone could notice: a millisecond typically, one frame (60 Hz) at worst.
constexpr double addedMedianGoalMs = 1.0;
constexpr double addedP99GoalMs = 16.0;
constexpr DWORD idleMs = 10000;
// 50 samples above the 99th percentile; a slow host stops each phase at its time budget instead.
constexpr int defaultEvents = 5000;
constexpr double phaseBudgetMs = 15000;
constexpr int minimumEvents = 1000; // fewer leave the 99th percentile to a handful of samples
// An event that has not arrived after this long is lost: a move now and then, whose message the runtime merged
// with a late report of an earlier one. A run of them means the window no longer gets the input (another
// window took the foreground or the pointer), and waiting on would only add up the time.
constexpr double eventWaitMs = 250;
constexpr int lostRunLimit = 5;

LARGE_INTEGER frequency;
HWND window;
// Written by this thread's window procedure only, one count per kind of message, so that an event arriving
// late is never taken for the next one of another kind.
LONG keysDown, keysUp, moves;
// The runtime's display can report a warp of the pointer late, as a move back to where it was: only a move to
// where the benchmark sent the pointer counts, and the pointer visits several points in turn, so that a late
// report never leaves it where the next event sends it (which would make no move at all).
POINT moveTarget; // in the window's client area
constexpr int movePoints = 6, moveSpacing = 25;

double NowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Percentile(std::vector<double> samples, double p) {
    std::sort(samples.begin(), samples.end());
    size_t index = static_cast<size_t>(p * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[index];
}

std::wstring Folder() {
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

LRESULT CALLBACK BenchProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN) ++keysDown;
    if (message == WM_KEYUP) ++keysUp;
    if (message == WM_MOUSEMOVE && abs(GET_X_LPARAM(lParam) - moveTarget.x) <= 2 &&
        abs(GET_Y_LPARAM(lParam) - moveTarget.y) <= 2)
        ++moves;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// One event from SendInput until its message has been dispatched here; negative when it never came.
double TimeOne(INPUT input, const LONG& arrived) {
    LONG before = arrived;
    double start = NowMs();
    SendInput(1, &input, sizeof input);
    while (arrived == before) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        if (NowMs() - start > eventWaitMs) return -1;
    }
    return NowMs() - start;
}

INPUT KeyA(bool up) {
    INPUT key = {};
    key.type = INPUT_KEYBOARD;
    key.ki.wVk = 'A';
    key.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return key;
}

struct Samples {
    std::vector<double> key, move;
    int lost = 0;
    bool cut = false;     // stopped by a run of lost events
    bool timedOut = false; // stopped by the time budget
};

// Each event's time goes into `into`; false once the run of lost events is long enough to stop.
bool Take(Samples& samples, std::vector<double>& into, INPUT input, const LONG& arrived, int& lostInARow) {
    double ms = TimeOne(input, arrived);
    if (ms >= 0) {
        into.push_back(ms);
        lostInARow = 0;
        return true;
    }
    ++samples.lost;
    return ++lostInARow < lostRunLimit;
}

Samples Measure(int events, const char* phase) {
    Samples samples;
    RECT place;
    GetWindowRect(window, &place);
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    double start = NowMs();
    int lostInARow = 0;
    bool keyHeld = false;
    for (int i = 0; i < events && !samples.cut; ++i) {
        if (NowMs() - start > phaseBudgetMs) {
            samples.timedOut = true;
            break;
        }
        keyHeld = i % 2 == 0;
        samples.cut = !Take(samples, samples.key, KeyA(!keyHeld), keyHeld ? keysDown : keysUp, lostInARow);
        if (samples.cut) break;

        INPUT move = {};
        move.type = INPUT_MOUSE;
        moveTarget = {20 + (i % movePoints) * moveSpacing, 40};
        int x = place.left + moveTarget.x, y = place.top + moveTarget.y;
        move.mi.dx = (x * 65535 + width / 2) / (width - 1);
        move.mi.dy = (y * 65535 + height / 2) / (height - 1);
        move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        samples.cut = !Take(samples, samples.move, move, moves, lostInARow);
    }
    if (keyHeld) TimeOne(KeyA(true), keysUp); // A is never left down
    if (samples.cut)
        printf("hook_bench: %d events in a row never reached the benchmark's window %s (%d lost in all); another "
               "window has its input, so the benchmark stops here\n",
               lostRunLimit, phase, samples.lost);
    return samples;
}

bool Row(const char* what, const std::vector<double>& bare, const std::vector<double>& hooked) {
    bool met = true;
    struct Statistic {
        const char* label;
        double p, goal;
    };
    for (Statistic s : {Statistic{"median", 0.5, addedMedianGoalMs}, Statistic{"p99", 0.99, addedP99GoalMs}}) {
        auto [label, p, goal] = s;
        double b = Percentile(bare, p), h = Percentile(hooked, p), added = h - b;
        printf("  %-11s %-6s %9.4f ms %11.4f ms %+10.4f ms   <= %.1f ms  %s\n", what, label, b, h, added, goal,
               added <= goal ? "ok" : "MISSED");
        met &= added <= goal;
        what = "";
    }
    return met;
}

ULONGLONG CpuMs(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    auto ticks = [](FILETIME t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return (ticks(kernel) + ticks(user)) / 10000;
}

std::string ReadAll(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text(4096, '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
    return text;
}

// The runtime keeps another program's process times at their first value; its Linux process has the real
// ones. The Linux process of a program shows the program's Windows path as its command line.
std::wstring UnixProcessOf(const std::wstring& exe) {
    std::string wanted(exe.begin(), exe.end());
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (find == INVALID_HANDLE_VALUE) return {};
    std::wstring result;
    do {
        std::wstring name = found.cFileName;
        if (name.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
        std::string line = ReadAll(L"Z:\\proc\\" + name + L"\\cmdline");
        if (lstrcmpiA(line.c_str(), wanted.c_str()) == 0) result = name;
    } while (result.empty() && FindNextFileW(find, &found));
    FindClose(find);
    return result;
}

// User and system time of a Linux process, in milliseconds (clock ticks of 10 ms).
ULONGLONG UnixCpuMs(const std::wstring& pid) {
    std::string stat = ReadAll(L"Z:\\proc\\" + pid + L"\\stat");
    size_t at = stat.rfind(')');
    if (at == std::string::npos) return 0;
    unsigned long long utime = 0, stime = 0;
    if (sscanf(stat.c_str() + at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2)
        return 0;
    return (utime + stime) * 10;
}

// Vitrea.exe beside this program, left alone for the idle time; false when it used the processor or never
// showed its window.
bool IdleCpu() {
    std::wstring exe = Folder() + L"Vitrea.exe";
    std::wstring line = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, Folder().c_str(), &startup,
                        &process)) {
        printf("idle CPU: Vitrea.exe could not be started\n");
        return false;
    }
    HWND vitrea = nullptr;
    bool idle = false;
    for (DWORD start = GetTickCount(); !vitrea && GetTickCount() - start < 30000; Sleep(50)) {
        for (HWND w = FindWindowW(L"VitreaClass", L"Vitrea"); w; w = FindWindowExW(nullptr, w, L"VitreaClass", L"Vitrea")) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == process.dwProcessId) vitrea = w;
        }
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
    }
    if (!vitrea) {
        printf("idle CPU: Vitrea.exe showed no window (is another Vitrea running?)\n");
    } else {
        Sleep(2000); // start-up is over
        std::wstring unixPid = UnixProcessOf(exe);
        auto cpu = [&] { return unixPid.empty() ? CpuMs(process.hProcess) : UnixCpuMs(unixPid); };
        ULONGLONG before = cpu();
        Sleep(idleMs);
        ULONGLONG used = cpu() - before;
        printf("idle CPU over %lu s: Vitrea.exe with its library %llu ms (start-up took %llu ms; %s)   goal 0  %s\n",
               idleMs / 1000, used, before, unixPid.empty() ? "process times" : "Linux process times",
               used == 0 ? "ok" : "MISSED");
        idle = used == 0;
        DWORD_PTR ignored;
        SendMessageTimeoutW(vitrea, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &ignored);
    }
    if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return idle;
}
} // namespace

int main(int argc, char** argv) {
    int events = argc > 1 ? atoi(argv[1]) : defaultEvents;
    if (events < 2) events = 2;
    QueryPerformanceFrequency(&frequency);
    WNDCLASSW cls = {};
    cls.lpfnWndProc = BenchProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.lpszClassName = L"VitreaHookBench";
    RegisterClassW(&cls);
    window = CreateWindowExW(WS_EX_TOPMOST, cls.lpszClassName, L"hook_bench", WS_POPUP | WS_VISIBLE, 100, 100, 200, 120,
                             nullptr, nullptr, cls.hInstance, nullptr);
    SetForegroundWindow(window);
    SetFocus(window);

    Samples bare = Measure(events, "without hooks");
    if (bare.cut) return 1;
    SetHooks hooks = {window, RegisterWindowMessageW(setLayeredStyleMessage), RegisterWindowMessageW(L"TaskbarCreated"),
                      1, 1, 0x45, 144, 1, {}};
    if (!HookLibraryInitialize(hooks)) {
        fprintf(stderr, "hook_bench: Vitrea.dll not found beside the program\n");
        return 1;
    }
    Samples hooked = Measure(events, "with hooks");
    HookLibraryUninitialize();
    DestroyWindow(window);
    if (hooked.cut) return 1;

    size_t fewest = std::min({bare.key.size(), bare.move.size(), hooked.key.size(), hooked.move.size()});
    printf("hook_bench: %zu to %zu events of each kind through SendInput to a window of this program%s\n", fewest,
           std::max({bare.key.size(), bare.move.size(), hooked.key.size(), hooked.move.size()}),
           bare.timedOut || hooked.timedOut ? " (the time budget ran out first)" : "");
    printf("  %-18s %12s %14s %13s   %-9s\n", "", "no hook", "with hooks", "added", "goal");
    bool met = Row("key", bare.key, hooked.key);
    met &= Row("mouse move", bare.move, hooked.move);
    if (bare.lost || hooked.lost) printf("  events that never arrived: %d without, %d with hooks\n", bare.lost, hooked.lost);
    bool enough = fewest >= static_cast<size_t>(minimumEvents);
    if (!enough) printf("  too few events for a stable 99th percentile (at least %d of each kind)  MISSED\n", minimumEvents);
    met &= IdleCpu();
    return met && enough ? 0 : 1;
}
