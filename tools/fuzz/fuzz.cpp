// fuzz: sends the shipped Vitrea.exe, from this second process, a seeded stream of its application messages
// with hostile parameters and reports what that did to it: crashes, the slowest answer, its handles, windows,
// threads and memory before and after, and the windows it left translucent or topmost once it has exited.
//
// Usage: fuzz <Vitrea.exe> <probe.exe> [--seed N] [--messages N] [--leak-check]
//        fuzz <Vitrea.exe> <probe.exe> --idle SECONDS [--fades N]   (Vitrea left alone after N taskbar fades)
// The same seed gives the same stream of messages. Every figure is printed as a line
//   ROW|fuzz|<figure>|<value>|<goal>|ok or MISSED
// for tools/reliability.sh, which gathers the rows of every item into one table. The exit code is 1 when a
// goal that no timing can excuse is missed (a crash, a message left unanswered, a window left translucent,
// settings not restored), else 0.
//
// The user's settings and the "start with Windows" entry are saved before the run and put back after it.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "app/main.h"
#include "app/settings.h"
#include "tools/bench/timing.h"

namespace {
constexpr WCHAR settingsKey[] = L"Software\\Tarnwick Software\\Vitrea";
constexpr WCHAR runKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr DWORD answerWait = 5000; // a message not answered in this time counts as unanswered
constexpr DWORD answerGoalMs = 1000;

// ---- a small, fully determined random source: the seed alone decides the stream

struct Random {
    unsigned long long state;
    DWORD Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<DWORD>(state >> 11);
    }
    DWORD Below(DWORD n) { return n ? Next() % n : 0; }
    template <typename T, size_t N> T Pick(const T (&table)[N]) { return table[Below(N)]; }
};

// ---- the figures

struct Figures {
    LONG sent = 0, unanswered = 0;
    double slowestMs = 0;
    DWORD slowestMessage = 0;
    WPARAM slowestWParam = 0;
    LPARAM slowestLParam = 0;
    std::map<UINT, double> msByMessage; // where the run's time went
};

const char* item = "fuzz"; // the suite's item the rows belong to

void Row(const char* figure, const std::string& value, const char* goal, bool ok) {
    printf("ROW|%s|%s|%s|%s|%s\n", item, figure, value.c_str(), goal, ok ? "ok" : "MISSED");
    fflush(stdout);
}

std::string Number(double value, const char* format = "%.0f") {
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

// ---- what can be read of another process under the runtime, which answers 0 to GetGuiResources and
// GetProcessHandleCount: handle values that can be duplicated out of it, its windows, threads and memory

struct Usage {
    DWORD handles, windows, threads, gdiReported;
    SIZE_T privateBytes;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM parameter) {
    auto* count = reinterpret_cast<std::pair<DWORD, DWORD>*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == count->first) {
        ++count->second;
        EnumChildWindows(window, CountWindow, parameter);
    }
    return TRUE;
}

Usage Measure(HANDLE process, DWORD pid) {
    Usage usage = {};
    for (UINT_PTR value = 4; value < 0x10000; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
            ++usage.handles;
            CloseHandle(copy);
        }
    }
    std::pair<DWORD, DWORD> windows = {pid, 0};
    EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&windows));
    usage.windows = windows.second;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 thread = {};
    thread.dwSize = sizeof thread;
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread))
        if (thread.th32OwnerProcessID == pid) ++usage.threads;
    CloseHandle(snapshot);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process, &memory, sizeof memory)) usage.privateBytes = memory.PagefileUsage;
    usage.gdiReported = GetGuiResources(process, GR_GDIOBJECTS);
    return usage;
}

// ---- the settings, saved before the run and put back after it

struct SavedValue {
    DWORD type;
    std::vector<BYTE> data;
};
using SavedKey = std::map<std::wstring, SavedValue>;

bool SaveValues(const WCHAR* path, SavedKey& saved) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD nameLength = 256, type = 0, size = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        SavedValue value = {type, std::vector<BYTE>(size)};
        nameLength = 256;
        RegEnumValueW(key, index, name, &nameLength, nullptr, &type, value.data.data(), &size);
        value.data.resize(size);
        saved[name] = value;
    }
    RegCloseKey(key);
    return true;
}

struct SettingsGuard {
    bool hadKey;
    SavedKey settings;
    bool hadRun;
    SavedValue run;

    SettingsGuard() {
        hadKey = SaveValues(settingsKey, settings);
        SavedKey runValues;
        SaveValues(runKey, runValues);
        hadRun = runValues.count(L"Vitrea") != 0;
        if (hadRun) run = runValues[L"Vitrea"];
    }
    void Restore() const {
        RegDeleteKeyW(HKEY_CURRENT_USER, settingsKey);
        HKEY key;
        if (hadKey && RegCreateKeyExW(HKEY_CURRENT_USER, settingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                      nullptr) == ERROR_SUCCESS) {
            for (const auto& [name, value] : settings)
                RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(),
                               static_cast<DWORD>(value.data.size()));
            RegCloseKey(key);
        }
        if (RegOpenKeyExW(HKEY_CURRENT_USER, runKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
            if (hadRun)
                RegSetValueExW(key, L"Vitrea", 0, run.type, run.data.data(), static_cast<DWORD>(run.data.size()));
            else
                RegDeleteValueW(key, L"Vitrea");
            RegCloseKey(key);
        }
    }
    bool Restored() const {
        SavedKey now;
        bool hasKey = SaveValues(settingsKey, now);
        SavedKey runValues;
        SaveValues(runKey, runValues);
        auto same = [](const SavedKey& a, const SavedKey& b) {
            if (a.size() != b.size()) return false;
            for (const auto& [name, value] : a) {
                auto other = b.find(name);
                if (other == b.end() || other->second.type != value.type || other->second.data != value.data)
                    return false;
            }
            return true;
        };
        bool runSame = hadRun ? runValues.count(L"Vitrea") && runValues[L"Vitrea"].data == run.data
                              : runValues.count(L"Vitrea") == 0;
        return hasKey == hadKey && same(now, settings) && runSame;
    }
};

// ---- the desktop's windows, to tell what Vitrea left translucent or topmost

struct WindowState {
    bool layered, topmost;
    int alpha;
};

int AlphaOf(HWND window) {
    using GetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF*, BYTE*, DWORD*);
    static auto get = ProcAddress<GetLayeredFn>(GetModuleHandleW(L"user32.dll"), "GetLayeredWindowAttributes");
    COLORREF key;
    BYTE alpha = 255;
    DWORD flags = 0;
    if (!(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) || !get || !get(window, &key, &alpha, &flags) ||
        !(flags & LWA_ALPHA))
        return 255;
    return alpha;
}

BOOL CALLBACK NoteWindow(HWND window, LPARAM parameter) {
    DWORD exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    (*reinterpret_cast<std::map<HWND, WindowState>*>(parameter))[window] = {
        (exStyle & WS_EX_LAYERED) != 0, (exStyle & WS_EX_TOPMOST) != 0, AlphaOf(window)};
    return TRUE;
}

std::map<HWND, WindowState> DesktopWindows() {
    std::map<HWND, WindowState> windows;
    EnumWindows(NoteWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// ---- the messages

LRESULT CALLBACK VictimProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateVictim(int index) {
    return CreateWindowExW(0, L"VitreaFuzzVictim", L"fuzz victim", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                           40 + (index % 5) * 60, 40 + (index % 4) * 50, 320, 220, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// The windows that live through the run belong to a thread that does nothing but take their messages, so
// that Vitrea's requests to them are answered at once and every slow answer is Vitrea's own.
struct VictimThread {
    HANDLE ready;
    std::vector<HWND> windows;
    DWORD id;
    HANDLE thread;
};

DWORD WINAPI RunVictims(LPVOID parameter) {
    auto* victims = static_cast<VictimThread*>(parameter);
    for (int i = 0; i < 3; ++i) victims->windows.push_back(CreateVictim(i));
    SetEvent(victims->ready);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    for (HWND window : victims->windows) DestroyWindow(window);
    return 0;
}

struct Run {
    HWND vitrea;
    HANDLE process;
    UINT msgSetLayeredStyle, msgTaskbarCreated;
    std::vector<HWND> handles; // every handle worth sending, hostile ones included
    std::vector<HWND> victims; // windows of this process that live through the run
    std::set<HWND> forgotten;  // windows Vitrea was told to forget: they may stay translucent by design
    Figures figures;
};

void Send(Run& run, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == APPMSG_FORGETWINDOW) run.forgotten.insert(reinterpret_cast<HWND>(wParam));
    DWORD_PTR result;
    double start = NowMs();
    BOOL answered = SendMessageTimeoutW(run.vitrea, message, wParam, lParam, SMTO_NORMAL, answerWait, &result);
    double elapsed = NowMs() - start;
    ++run.figures.sent;
    run.figures.msByMessage[message] += elapsed;
    if (!answered) ++run.figures.unanswered;
    if (elapsed > run.figures.slowestMs) {
        run.figures.slowestMs = elapsed;
        run.figures.slowestMessage = message;
        run.figures.slowestWParam = wParam;
        run.figures.slowestLParam = lParam;
    }
}

WPARAM HostileHandle(Run& run, Random& random) {
    static constexpr UINT_PTR numbers[] = {0, 1, 4, 0xFFFF, 0x10000, 0x12345678, 0x7FFFFFFF, 0x80000000,
                                           0xFFFFFFFF};
    switch (random.Below(4)) {
    case 0: return random.Pick(numbers);
    case 1: return random.Next();
    default: return reinterpret_cast<WPARAM>(run.handles[random.Below(static_cast<DWORD>(run.handles.size()))]);
    }
}

LPARAM HostileValue(Random& random) {
    static constexpr LPARAM values[] = {0, 1, 2, 3, 4, 5, 6, 8, 16, 32, 100, 255, 256, 0x10000, 0x100FF, 0x1FFFF,
                                        -1, 0x7FFFFFFF, static_cast<LPARAM>(0x80000000),
                                        static_cast<LPARAM>(0xFF000001),
                                        WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEMOVE, WM_RBUTTONDOWN};
    return random.Below(3) ? random.Pick(values) : static_cast<LPARAM>(random.Next());
}

// One message of the stream: an application message with a sub-code of its own, or one of the two
// registered messages Vitrea listens to.
void OneMessage(Run& run, Random& random) {
    static constexpr WPARAM settingCodes[] = {settingShortcutOn, settingTaskbarOn, settingShortcutByte,
                                              settingTaskbarAlpha, settingFadeIn, settingFadeDuration,
                                              settingOptions, 0, 5, 18, 21, 22, 24, 0xFFFFFFFF};
    static constexpr WPARAM trackEvents[] = {1, 2, 4, 8, 16, 32, 0, 3, 64, 0xFFFFFFFF};
    static constexpr LPARAM fadeDurations[] = {0, 1, 100, 150, 200, 300, 400, -1, 0x7FFFFFFF};
    DWORD kind = random.Below(10);
    switch (kind) {
    case 0: Send(run, APPMSG_TRAY, random.Below(3) ? 0 : random.Next(), HostileValue(random)); break;
    case 1: {
        WPARAM code = random.Pick(settingCodes);
        bool duration = code == settingFadeDuration && random.Below(2);
        LPARAM value = duration ? random.Pick(fadeDurations) : HostileValue(random);
        Send(run, APPMSG_SETTING, code, value);
        break;
    }
    case 2:
    case 3: Send(run, APPMSG_SETALPHA, HostileHandle(run, random), HostileValue(random)); break;
    case 4: Send(run, APPMSG_MENUTRACK, random.Pick(trackEvents), HostileValue(random)); break;
    case 5: Send(run, APPMSG_FORGETWINDOW + random.Below(3), HostileHandle(run, random), HostileValue(random)); break;
    case 6: {
        WPARAM window = HostileHandle(run, random);
        Send(run, APPMSG_TASKBARHOVER, window, random.Below(2) ? 4 + random.Below(2) : HostileValue(random));
        break;
    }
    case 7: Send(run, run.msgSetLayeredStyle, random.Below(2), HostileValue(random)); break;
    case 8: Send(run, run.msgTaskbarCreated, HostileHandle(run, random), HostileValue(random)); break;
    default: {
        // A window destroyed a moment before its handle arrives.
        HWND gone = CreateVictim(static_cast<int>(random.Below(20)));
        DestroyWindow(gone);
        Send(run, random.Below(2) ? APPMSG_SETALPHA : APPMSG_TASKBARHOVER, reinterpret_cast<WPARAM>(gone),
             random.Below(2) ? 4 : HostileValue(random));
    }
    }
}

// A burst: a second thread sends its own seeded run of messages while this one goes on, so that requests
// from two senders interleave on Vitrea's main thread.
struct Burst {
    Run local; // a copy made by the starter; its figures are merged once the burst has ended
    unsigned long long seed;
    int count;
};

DWORD WINAPI BurstThread(LPVOID parameter) {
    auto* burst = static_cast<Burst*>(parameter);
    Run& local = burst->local;
    Random random = {burst->seed};
    for (int i = 0; i < burst->count; ++i) {
        // Messages whose handling sends nothing to this thread's own windows, which it has none of.
        static constexpr UINT messages[] = {APPMSG_SETALPHA, APPMSG_GETALPHA, APPMSG_TASKBARHOVER, APPMSG_SETTING};
        UINT message = random.Pick(messages);
        WPARAM wParam = message == APPMSG_SETTING ? settingTaskbarAlpha : HostileHandle(local, random);
        Send(local, message, wParam, HostileValue(random));
    }
    return 0;
}

void Merge(Figures& into, const Figures& from) {
    into.sent += from.sent;
    into.unanswered += from.unanswered;
    for (const auto& [message, ms] : from.msByMessage) into.msByMessage[message] += ms;
    if (from.slowestMs > into.slowestMs) {
        into.slowestMs = from.slowestMs;
        into.slowestMessage = from.slowestMessage;
        into.slowestWParam = from.slowestWParam;
        into.slowestLParam = from.slowestLParam;
    }
}

// What one step of the run does, picked by weight. Real menus and real key chords join this table once the
// menus and the hook library's shortcut keys exist: one action opens a menu with a real click on the tray
// icon or the options button (xdotool, through the X server), lets the message stream run into the open
// menu and closes it with Escape; another presses a prefix chord with a digit, a sign or Backspace over a
// window of `handles`. Both must keep Vitrea's figures as they are.
struct Action {
    DWORD weight;
    void (*run)(Run&, Random&);
};

void SendBurst(Run& run, Random& random) {
    Burst burst = {run, (static_cast<unsigned long long>(random.Next()) << 32) | random.Next() | 1, 20};
    burst.local.figures = {};
    HANDLE thread = CreateThread(nullptr, 0, BurstThread, &burst, 0, nullptr);
    for (int i = 0; i < 20; ++i) OneMessage(run, random);
    while (thread && MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) Pump();
    if (thread) CloseHandle(thread);
    Merge(run.figures, burst.local.figures);
}

constexpr Action actions[] = {
    {40, [](Run& run, Random& random) { OneMessage(run, random); }},
    {1, SendBurst},
};

// ctest hands over Unix paths; the runtime maps the root to drive Z:.
std::wstring WindowsPath(const WCHAR* path) {
    std::wstring converted = path[0] == L'/' ? std::wstring(L"Z:") + path : path;
    for (WCHAR& c : converted)
        if (c == L'/') c = L'\\';
    return converted;
}

HWND StartProcess(const std::wstring& exe, const std::wstring& arguments, PROCESS_INFORMATION& process,
                  const WCHAR* cls, const WCHAR* title) {
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/"));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return nullptr;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 30000; Sleep(20)) {
        Pump();
        for (HWND w = FindWindowW(cls, title); w; w = FindWindowExW(nullptr, w, cls, title)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == process.dwProcessId) return w;
        }
    }
    return nullptr;
}

BOOL CALLBACK AddChild(HWND window, LPARAM parameter) {
    reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

// Ends whatever fade runs (a fade asked to last for weeks included) with one of no duration, then waits
// until Vitrea's thread count has held still for a while, or 10 s have passed.
void Settle(Run& run, DWORD pid) {
    DWORD_PTR result;
    SendMessageTimeoutW(run.vitrea, APPMSG_SETTING, settingFadeDuration, 0, SMTO_NORMAL, answerWait, &result);
    SendMessageTimeoutW(run.vitrea, APPMSG_TASKBARHOVER, reinterpret_cast<WPARAM>(run.victims[0]), 5, SMTO_NORMAL,
                        answerWait, &result);
    DWORD last = 0, steady = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000 && steady < 5; Sleep(50)) {
        Pump();
        DWORD threads = Measure(run.process, pid).threads;
        steady = threads == last ? steady + 1 : 0;
        last = threads;
    }
}

bool RowFlat(const char* figure, DWORD before, DWORD after) {
    bool ok = after <= before;
    Row(figure, std::to_string(before) + " -> " + std::to_string(after), "flat", ok);
    return ok;
}

// Handles put into Vitrea's process by this program must show in the count: the count is proven to see them.
bool CountSeesALeak(HANDLE process, DWORD pid) {
    constexpr int planted = 25;
    DWORD before = Measure(process, pid).handles;
    HANDLE remote[planted] = {};
    for (HANDLE& handle : remote) {
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        DuplicateHandle(GetCurrentProcess(), event, process, &handle, 0, FALSE, DUPLICATE_SAME_ACCESS);
        CloseHandle(event);
    }
    DWORD leaked = Measure(process, pid).handles;
    for (HANDLE handle : remote) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, handle, GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE))
            CloseHandle(copy);
    }
    DWORD after = Measure(process, pid).handles;
    bool ok = leaked >= before + planted && after <= before;
    Row("handle count sees 25 planted handles", std::to_string(before) + " -> " + std::to_string(leaked) + " -> " +
        std::to_string(after), "+25 then back", ok);
    return ok;
}

// The runtime keeps GDI objects out of reach of other processes; the load figures count the occupied slots
// of the GDI table in the process that runs the engine. Here that count is shown to see 25 brushes leaked
// and deleted again in this process.
DWORD GdiSlots() {
    DWORD found = 0;
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) ++found;
    return found;
}

bool GdiCountSeesALeak() {
    constexpr int planted = 25;
    DWORD before = GdiSlots();
    HBRUSH brushes[planted];
    for (int i = 0; i < planted; ++i) brushes[i] = CreateSolidBrush(RGB(i, 2 * i, 3 * i));
    DWORD leaked = GdiSlots();
    for (HBRUSH brush : brushes) DeleteObject(brush);
    DWORD after = GdiSlots();
    bool ok = leaked >= before + planted && after <= before;
    Row("GDI slot count sees 25 leaked brushes", std::to_string(before) + " -> " + std::to_string(leaked) + " -> " +
        std::to_string(after), "+25 then back", ok);
    return ok;
}
int AlphaOf(HWND window);

ULONGLONG CpuTime(HANDLE process) {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
    auto value = [](const FILETIME& time) {
        return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

// Vitrea with taskbar transparency and the quickest fade on: `fades` fades in and out on the taskbar, each
// waited for, then `seconds` with nothing happening, in which it must use no processor time and run no
// thread but its main one (a fade's timer lives on its fade thread).
int RunIdle(const std::wstring& vitreaExe, long seconds, long fades) {
    item = "fades+idle";
    SettingsGuard settings;
    RegDeleteKeyW(HKEY_CURRENT_USER, settingsKey);
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, settingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        BYTE taskbar = 0x83, alpha = 144; // on, fade-in on, 100 ms
        RegSetValueExW(key, L"Taskbar Transparency", 0, REG_BINARY, &taskbar, 1);
        RegSetValueExW(key, L"Taskbar Transparency Alpha", 0, REG_BINARY, &alpha, 1);
        RegCloseKey(key);
    }
    PROCESS_INFORMATION vitrea = {};
    HWND window = StartProcess(vitreaExe, L"", vitrea, L"VitreaClass", L"Vitrea");
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    bool ok = window && taskbar;
    for (DWORD start = GetTickCount(); ok && GetTickCount() - start < 20000 && !IsWindowVisible(window); Sleep(20))
        Pump();
    auto reaches = [&](int alpha) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(5))
            if (AlphaOf(taskbar) == alpha) return true;
        return false;
    };
    long faded = 0;
    Usage before = {};
    for (long i = 0; ok && i < fades; i += 2) {
        // The first fade creates what every later one reuses (the stop event, the system's timer thread).
        if (i == 2) before = Measure(vitrea.hProcess, vitrea.dwProcessId);
        DWORD_PTR result;
        WPARAM bar = reinterpret_cast<WPARAM>(taskbar);
        SendMessageTimeoutW(window, APPMSG_TASKBARHOVER, bar, 4, SMTO_NORMAL, answerWait, &result);
        bool in = reaches(255);
        SendMessageTimeoutW(window, APPMSG_TASKBARHOVER, bar, 5, SMTO_NORMAL, answerWait, &result);
        faded += in + reaches(144);
    }
    long asked = fades + fades % 2; // fades come in pairs, in and out
    Row("taskbar fades that reached their target", std::to_string(faded) + " of " + std::to_string(asked), "all",
        faded == asked);
    // The last fade's thread ends one timer period after its last tick.
    DWORD threads = 0;
    for (DWORD start = GetTickCount(); ok && GetTickCount() - start < 5000; Sleep(20))
        if ((threads = Measure(vitrea.hProcess, vitrea.dwProcessId).threads) <= 1) break;
    if (ok && fades > 2) {
        Usage after = Measure(vitrea.hProcess, vitrea.dwProcessId);
        RowFlat("Vitrea handles after the fades", before.handles, after.handles);
        Row("Vitrea private memory after the fades (KB)",
            std::to_string(before.privateBytes / 1024) + " -> " + std::to_string(after.privateBytes / 1024),
            "flat (+256 KB)", after.privateBytes <= before.privateBytes + 256 * 1024);
    }
    DWORD threadsBefore = Measure(vitrea.hProcess, vitrea.dwProcessId).threads;
    ULONGLONG cpuBefore = CpuTime(vitrea.hProcess);
    Sleep(static_cast<DWORD>(seconds) * 1000); // the idle time measured, not a wait for anything
    ULONGLONG cpu = CpuTime(vitrea.hProcess) - cpuBefore;
    DWORD threadsAfter = Measure(vitrea.hProcess, vitrea.dwProcessId).threads;
    Row(("processor time used in " + std::to_string(seconds) + " s idle").c_str(),
        Number(static_cast<double>(cpu) / 10000.0, "%.1f ms"), "0", ok && cpu == 0);
    Row("Vitrea threads while idle (timers live on fade threads)",
        std::to_string(threadsBefore) + " -> " + std::to_string(threadsAfter), "1 (main only)",
        ok && threadsBefore == 1 && threadsAfter == 1);
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    if (vitrea.hProcess) {
        if (WaitForSingleObject(vitrea.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(vitrea.hProcess, 99);
        CloseHandle(vitrea.hProcess);
        CloseHandle(vitrea.hThread);
    }
    int left = taskbar ? AlphaOf(taskbar) : 255;
    Row("taskbar alpha after exit", std::to_string(left), "255", left == 255);
    settings.Restore();
    return ok && faded == asked && left == 255 ? 0 : 1;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: fuzz <Vitrea.exe> <probe.exe> [--seed N] [--messages N] [--leak-check]\n"
                        "       fuzz <Vitrea.exe> <probe.exe> --idle SECONDS [--fades N]\n");
        return 2;
    }
    unsigned long long seed = GetTickCount() ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 20);
    long messages = 100000;
    bool leakCheck = false;
    long idleSeconds = -1, fades = 10;
    for (int i = 3; i < argc; ++i) {
        std::wstring option = argv[i];
        if (option == L"--seed" && i + 1 < argc) seed = wcstoull(argv[++i], nullptr, 10);
        else if (option == L"--messages" && i + 1 < argc) messages = wcstol(argv[++i], nullptr, 10);
        else if (option == L"--leak-check") leakCheck = true;
        else if (option == L"--idle" && i + 1 < argc) idleSeconds = wcstol(argv[++i], nullptr, 10);
        else if (option == L"--fades" && i + 1 < argc) fades = wcstol(argv[++i], nullptr, 10);
        else {
            fprintf(stderr, "fuzz: unknown option\n");
            return 2;
        }
    }
    if (FindWindowW(L"VitreaClass", nullptr)) {
        fprintf(stderr, "fuzz: a Vitrea is running already; close it first\n");
        return 2;
    }
    if (idleSeconds >= 0) return RunIdle(WindowsPath(argv[1]), idleSeconds, fades);
    if (!seed) seed = 1; // the generator stays at zero from a zero state
    printf("fuzz: seed %llu, %ld messages (run again with --seed %llu for the same stream)\n", seed, messages, seed);
    fflush(stdout);

    SettingsGuard settings;
    std::map<HWND, WindowState> beforeRun = DesktopWindows();

    WNDCLASSW cls = {};
    cls.lpfnWndProc = VictimProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszClassName = L"VitreaFuzzVictim";
    RegisterClassW(&cls);

    PROCESS_INFORMATION target = {}, vitreaProcess = {};
    HWND foreign = StartProcess(WindowsPath(argv[2]), L"target VitreaFuzzTarget 500 300 400 300", target, nullptr,
                                L"VitreaFuzzTarget");
    Run run = {};
    run.vitrea = StartProcess(WindowsPath(argv[1]), L"", vitreaProcess, L"VitreaClass", L"Vitrea");
    if (!run.vitrea || !foreign) {
        fprintf(stderr, "fuzz: Vitrea or the probe target did not start\n");
        settings.Restore();
        return 2;
    }
    run.process = vitreaProcess.hProcess;
    run.msgSetLayeredStyle = RegisterWindowMessageW(L"VITREA_SETLAYEREDSTYLE");
    run.msgTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    // Start-up is over once the tray icon has been added and the window shown (or left hidden).
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000 && !IsWindowVisible(run.vitrea); Sleep(20))
        Pump();

    VictimThread victims = {CreateEventW(nullptr, FALSE, FALSE, nullptr), {}, 0, nullptr};
    victims.thread = CreateThread(nullptr, 0, RunVictims, &victims, 0, &victims.id);
    if (!victims.thread || WaitForSingleObject(victims.ready, 10000) != WAIT_OBJECT_0) {
        fprintf(stderr, "fuzz: the victim windows did not come up\n");
        settings.Restore();
        return 2;
    }
    run.victims = victims.windows;
    run.handles = run.victims;
    for (HWND w : {foreign, run.vitrea, GetDesktopWindow(), FindWindowW(L"Shell_TrayWnd", nullptr),
                   FindWindowW(L"Progman", nullptr)})
        if (w) run.handles.push_back(w);
    EnumChildWindows(foreign, AddChild, reinterpret_cast<LPARAM>(&run.handles));
    EnumChildWindows(run.vitrea, AddChild, reinterpret_cast<LPARAM>(&run.handles));
    if (HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr))
        EnumChildWindows(taskbar, AddChild, reinterpret_cast<LPARAM>(&run.handles));

    Random random = {seed};
    DWORD totalWeight = 0;
    for (const Action& action : actions) totalWeight += action.weight;
    // A first stretch warms Vitrea up (first curtain, first fade) before its usage is taken.
    long warmUp = messages / 20 < 50 ? 50 : messages / 20;
    Usage before = {}, middle = {};
    bool crashed = false;
    double started = NowMs();
    while (run.figures.sent < messages + warmUp) {
        if (!before.handles && run.figures.sent >= warmUp) {
            Settle(run, vitreaProcess.dwProcessId);
            before = Measure(run.process, vitreaProcess.dwProcessId);
        }
        if (!middle.handles && run.figures.sent >= warmUp + messages / 2)
            middle = Measure(run.process, vitreaProcess.dwProcessId);
        DWORD pick = random.Below(totalWeight);
        for (const Action& action : actions) {
            if (pick < action.weight) {
                action.run(run, random);
                break;
            }
            pick -= action.weight;
        }
        Pump();
        if (run.figures.sent / 10000 != (run.figures.sent - 1) / 10000)
            fprintf(stderr, "fuzz: %ld sent, %ld unanswered, slowest %.1f ms\n", run.figures.sent,
                    run.figures.unanswered, run.figures.slowestMs);
        if (WaitForSingleObject(run.process, 0) == WAIT_OBJECT_0) {
            crashed = true;
            fprintf(stderr, "fuzz: Vitrea ended after %ld messages (seed %llu)\n", run.figures.sent, seed);
            break;
        }
    }
    double seconds = (NowMs() - started) / 1000.0;

    bool hardGoals = !crashed && run.figures.unanswered == 0;
    Row("messages sent", std::to_string(run.figures.sent) + " in " + Number(seconds, "%.1f") + " s", "-", true);
    Row("crashes", crashed ? "1" : "0", "0", !crashed);
    Row("messages not answered within 5 s", std::to_string(run.figures.unanswered), "0", run.figures.unanswered == 0);
    char slowest[128];
    snprintf(slowest, sizeof slowest, "%.1f ms (0x%lX %08lX %08lX)", run.figures.slowestMs,
             run.figures.slowestMessage, static_cast<unsigned long>(run.figures.slowestWParam),
             static_cast<unsigned long>(run.figures.slowestLParam));
    std::string spent;
    for (const auto& [message, ms] : run.figures.msByMessage) {
        char part[48];
        snprintf(part, sizeof part, "%s0x%X %.1f s", spent.empty() ? "" : ", ", message, ms / 1000.0);
        spent += part;
    }
    Row("time spent by message", spent, "-", true);
    Row("slowest answer", slowest, "< 1000 ms", run.figures.slowestMs < answerGoalMs);
    if (!crashed) {
        Settle(run, vitreaProcess.dwProcessId);
        Usage after = Measure(run.process, vitreaProcess.dwProcessId);
        RowFlat("Vitrea handles (duplicable values)", before.handles, after.handles);
        RowFlat("Vitrea windows", before.windows, after.windows);
        RowFlat("Vitrea threads", before.threads, after.threads);
        // The heap and the runtime's caches grow for a while after the warm-up; a leak keeps growing, so the
        // second half of the run is what is judged.
        bool memoryFlat = after.privateBytes <= middle.privateBytes + 256 * 1024;
        Row("Vitrea private memory (KB)",
            std::to_string(before.privateBytes / 1024) + " -> " + std::to_string(middle.privateBytes / 1024) +
                " -> " + std::to_string(after.privateBytes / 1024),
            "second half flat (+256 KB)", memoryFlat);
        Row("Vitrea GDI objects (GetGuiResources)",
            std::to_string(before.gdiReported) + " -> " + std::to_string(after.gdiReported),
            before.gdiReported ? "flat" : "flat (runtime answers 0)", after.gdiReported <= before.gdiReported);
        if (leakCheck) hardGoals &= CountSeesALeak(run.process, vitreaProcess.dwProcessId) && GdiCountSeesALeak();
        PostMessageW(run.vitrea, WM_CLOSE, 0, 0);
        DWORD exited = WaitForSingleObject(run.process, 20000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(run.process, &code);
        Row("exit after WM_CLOSE", exited == WAIT_OBJECT_0 ? "code " + std::to_string(code) : "still running",
            "code 0", exited == WAIT_OBJECT_0 && code == 0);
        hardGoals &= exited == WAIT_OBJECT_0 && code == 0;
    }
    if (WaitForSingleObject(run.process, 0) != WAIT_OBJECT_0) TerminateProcess(run.process, 99);

    // What the run left on the desktop's windows once Vitrea is gone.
    int leftTranslucent = 0, leftTopmost = 0;
    for (const auto& [window, now] : DesktopWindows()) {
        if (!IsWindow(window)) continue;
        auto was = beforeRun.find(window);
        bool wasTranslucent = was != beforeRun.end() && was->second.alpha < 255;
        bool wasTopmost = was != beforeRun.end() && was->second.topmost;
        if (now.alpha < 255 && !wasTranslucent && !run.forgotten.count(window)) {
            ++leftTranslucent;
            fprintf(stderr, "fuzz: 0x%08lX left at alpha %d\n", static_cast<unsigned long>(
                reinterpret_cast<UINT_PTR>(window)), now.alpha);
        }
        if (now.topmost && !wasTopmost && beforeRun.count(window)) ++leftTopmost;
    }
    Row("windows left translucent after exit", std::to_string(leftTranslucent), "0", leftTranslucent == 0);
    Row("windows left topmost after exit", std::to_string(leftTopmost), "0", leftTopmost == 0);
    hardGoals &= leftTranslucent == 0;

    PostThreadMessageW(victims.id, WM_QUIT, 0, 0);
    WaitForSingleObject(victims.thread, 10000);
    CloseHandle(victims.thread);
    CloseHandle(victims.ready);
    PostMessageW(foreign, WM_CLOSE, 0, 0);
    WaitForSingleObject(target.hProcess, 5000);
    for (HANDLE handle : {target.hProcess, target.hThread, vitreaProcess.hProcess, vitreaProcess.hThread})
        CloseHandle(handle);
    settings.Restore();
    bool restored = settings.Restored();
    Row("settings restored after the run", restored ? "yes" : "no", "yes", restored);
    hardGoals &= restored;
    return hardGoals ? 0 : 1;
}
