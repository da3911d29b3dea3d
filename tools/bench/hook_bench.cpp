// hook_bench [events]: what the hook library costs the desktop.
//
// 1. The time from SendInput to the message in a window of this program, for an ordinary key (press and
//    release of A) and a mouse move, each over `events` events (10,000 by default): first with no hook, then
//    with Vitrea.dll initialised for this program's window (shortcut, taskbar transparency and fade-in on, so
//    every hook path is live). The difference is what the hooks add; median and 99th percentile.
// 2. The processor time Vitrea.exe (beside this program, with its library) uses over 10 idle seconds.
#include <windows.h>
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

LARGE_INTEGER frequency;
HWND window;
LONG received; // written by this thread's window procedure only

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
    if (message == WM_KEYDOWN || message == WM_KEYUP || message == WM_MOUSEMOVE) ++received;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// One event from SendInput until its message has been dispatched here; negative when it never came.
double TimeOne(INPUT& input) {
    LONG before = received;
    double start = NowMs();
    SendInput(1, &input, sizeof input);
    while (received == before) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        if (NowMs() - start > 1000) return -1;
    }
    return NowMs() - start;
}

struct Samples {
    std::vector<double> key, move;
    int lost = 0;
};

Samples Measure(int events) {
    Samples samples;
    RECT place;
    GetWindowRect(window, &place);
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    for (int i = 0; i < events; ++i) {
        INPUT key = {};
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = 'A';
        key.ki.dwFlags = (i % 2) ? KEYEVENTF_KEYUP : 0;
        double ms = TimeOne(key);
        if (ms < 0) ++samples.lost;
        else samples.key.push_back(ms);

        INPUT move = {};
        move.type = INPUT_MOUSE;
        int x = place.left + 20 + (i % 2) * 40, y = place.top + 40;
        move.mi.dx = (x * 65535 + width / 2) / (width - 1);
        move.mi.dy = (y * 65535 + height / 2) / (height - 1);
        move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        ms = TimeOne(move);
        if (ms < 0) ++samples.lost;
        else samples.move.push_back(ms);
    }
    return samples;
}

void Row(const char* what, const std::vector<double>& bare, const std::vector<double>& hooked) {
    struct Statistic {
        const char* label;
        double p, goal;
    };
    for (Statistic s : {Statistic{"median", 0.5, addedMedianGoalMs}, Statistic{"p99", 0.99, addedP99GoalMs}}) {
        auto [label, p, goal] = s;
        double b = Percentile(bare, p), h = Percentile(hooked, p), added = h - b;
        printf("  %-11s %-6s %9.4f ms %11.4f ms %+10.4f ms   <= %.1f ms  %s\n", what, label, b, h, added, goal,
               added <= goal ? "ok" : "MISSED");
        what = "";
    }
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

// Vitrea.exe beside this program, left alone for the idle time.
void IdleCpu() {
    std::wstring exe = Folder() + L"Vitrea.exe";
    std::wstring line = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, Folder().c_str(), &startup,
                        &process)) {
        printf("idle CPU: Vitrea.exe could not be started\n");
        return;
    }
    HWND vitrea = nullptr;
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
        DWORD_PTR ignored;
        SendMessageTimeoutW(vitrea, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &ignored);
    }
    if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}
} // namespace

int main(int argc, char** argv) {
    int events = argc > 1 ? atoi(argv[1]) : 10000;
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

    Samples bare = Measure(events);
    SetHooks hooks = {window, RegisterWindowMessageW(setLayeredStyleMessage), RegisterWindowMessageW(L"TaskbarCreated"),
                      1, 1, 0x45, 144, 1, {}};
    if (!HookLibraryInitialize(hooks)) {
        fprintf(stderr, "hook_bench: Vitrea.dll not found beside the program\n");
        return 1;
    }
    Samples hooked = Measure(events);
    HookLibraryUninitialize();
    DestroyWindow(window);

    printf("hook_bench: %d events of each kind through SendInput to a window of this program\n", events);
    printf("  %-18s %12s %14s %13s   %-9s\n", "", "no hook", "with hooks", "added", "goal");
    Row("key", bare.key, hooked.key);
    Row("mouse move", bare.move, hooked.move);
    if (bare.lost || hooked.lost) printf("  events that never arrived: %d without, %d with hooks\n", bare.lost, hooked.lost);
    IdleCpu();
    return 0;
}
