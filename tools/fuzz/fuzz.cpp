// fuzz: sends the shipped Vitrea.exe, from this second process, a seeded stream of its application messages
// with hostile parameters and reports what that did to it: crashes, the slowest answer, its handles, windows,
// threads and memory before and after, and the windows it left translucent or topmost once it has exited.
//
// Usage: fuzz <Vitrea.exe> <probe.exe> [--seed N] [--messages N] [--real-every N] [--leak-check]
//        fuzz <Vitrea.exe> <probe.exe> --idle SECONDS [--fades N]   (Vitrea left alone after N taskbar fades)
//        fuzz <Vitrea.exe> <probe.exe> --load N   (N menu openings, skin switches and About windows)
// Every `--real-every` messages (200) the stream opens one of Vitrea's menus the way a user does, lets the
// messages run into it and closes it, or presses a shortcut chord over another program's window; counts.dll,
// loaded into Vitrea, reads its GDI and USER objects. The same seed gives the same stream of messages. Every figure is printed as a line
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
#include <array>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "app/main.h"
#include "tests/support/menu_rows.h"
#include "app/settings.h"
#include "tools/bench/timing.h"
#include "tests/support/x_input.h"

namespace {
constexpr WCHAR settingsKey[] = L"Software\\Tarnwick Software\\Vitrea";
constexpr WCHAR runKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr DWORD answerWait = 5000; // a message not answered in this time counts as unanswered
constexpr UINT_PTR dcCacheBound = 64; // the device contexts the runtime's cache lends to windows at the most
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
    DWORD gdiSlots, userObjects; // read inside Vitrea's process through counts.dll
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

// counts.dll loaded into Vitrea's process: its exports are called there with CreateRemoteThread, and each
// thread's exit code is the answer.
struct Inside {
    HANDLE process = nullptr;
    BYTE* remoteBase = nullptr; // counts.dll in Vitrea's process
    HMODULE localBase = nullptr; // the same library here, to find the exports' offsets

    bool Load(HANDLE target, const std::wstring& path);
    LPTHREAD_START_ROUTINE Export(const char* name) const {
        FARPROC local = localBase ? GetProcAddress(localBase, name) : nullptr;
        if (!local || !remoteBase) return nullptr;
        return reinterpret_cast<LPTHREAD_START_ROUTINE>(
            remoteBase + (reinterpret_cast<BYTE*>(local) - reinterpret_cast<BYTE*>(localBase)));
    }
    // Starts an export in Vitrea's process; with wait, returns its exit code (or -1 when it did not end).
    DWORD Call(const char* name, UINT_PTR parameter = 0, bool wait = true) const {
        LPTHREAD_START_ROUTINE routine = Export(name);
        if (!routine) return static_cast<DWORD>(-1);
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, routine, reinterpret_cast<LPVOID>(parameter), 0,
                                           nullptr);
        if (!thread) return static_cast<DWORD>(-1);
        DWORD code = static_cast<DWORD>(-1);
        if (!wait || WaitForSingleObject(thread, 20000) != WAIT_OBJECT_0 || !GetExitCodeThread(thread, &code))
            code = wait ? static_cast<DWORD>(-1) : 0;
        CloseHandle(thread);
        return code;
    }
    bool Ready() const { return remoteBase != nullptr; }
};

// Vitrea's own copy of kernel32 sits where this process has it, so LoadLibraryW has the same address there.
bool Inside::Load(HANDLE target, const std::wstring& path) {
    process = target;
    localBase = LoadLibraryW(path.c_str());
    if (!localBase) return false;
    SIZE_T bytes = (path.size() + 1) * sizeof(WCHAR);
    void* remotePath = VirtualAllocEx(target, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remotePath || !WriteProcessMemory(target, remotePath, path.c_str(), bytes, nullptr)) return false;
    auto loader = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    HANDLE thread = CreateRemoteThread(target, nullptr, 0, loader, remotePath, 0, nullptr);
    DWORD module = 0;
    if (thread && WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0) GetExitCodeThread(thread, &module);
    if (thread) CloseHandle(thread);
    VirtualFreeEx(target, remotePath, 0, MEM_RELEASE);
    remoteBase = reinterpret_cast<BYTE*>(static_cast<UINT_PTR>(module));
    return remoteBase != nullptr;
}

Inside inside; // loaded once Vitrea runs; without it the GDI and USER counts read as 0

// Vitrea's GDI objects by type: where a count that grew has grown.
constexpr struct { DWORD type; const char* name; } gdiTypes[] = {
    {OBJ_PEN, "pen"}, {OBJ_BRUSH, "brush"}, {OBJ_DC, "DC"}, {OBJ_PAL, "palette"}, {OBJ_FONT, "font"},
    {OBJ_BITMAP, "bitmap"}, {OBJ_REGION, "region"}, {OBJ_MEMDC, "memory DC"}, {OBJ_EXTPEN, "ext pen"}};
using GdiTypes = std::array<DWORD, std::size(gdiTypes)>;

GdiTypes GdiTypesNow() {
    GdiTypes counts = {};
    for (size_t i = 0; i < counts.size(); ++i) counts[i] = inside.Call("GdiObjectsOfType", gdiTypes[i].type);
    return counts;
}

// " (DC +2, region +2)" for the types whose count changed, or nothing.
std::string GdiChange(const GdiTypes& before, const GdiTypes& after) {
    std::string text;
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i] == after[i]) continue;
        long change = static_cast<long>(after[i]) - static_cast<long>(before[i]);
        text += text.empty() ? " (" : ", ";
        text += gdiTypes[i].name;
        text += change > 0 ? " +" : " ";
        text += std::to_string(change);
    }
    return text.empty() ? text : text + ")";
}

SIZE_T PrivateBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    return GetProcessMemoryInfo(process, &memory, sizeof memory) ? memory.PagefileUsage : 0;
}

// counts.dll lies beside this program.
std::wstring CountsLibrary() {
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"counts.dll";
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
    usage.privateBytes = PrivateBytes(process);
    usage.gdiReported = GetGuiResources(process, GR_GDIOBJECTS);
    if (inside.Ready() && inside.process == process) {
        usage.gdiSlots = inside.Call("GdiObjects");
        usage.userObjects = inside.Call("UserObjects");
    }
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
    DWORD pid = 0;
    HWND foreign = nullptr;    // the probe target, another program's window for the key chords
    long menusAsked = 0, menusShown = 0, menusLeftOpen = 0, rowClicks = 0;
    long chords = 0, levelChords = 0, levelChordsApplied = 0;
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

// ---- real input: the pointer through the X server, as a mouse moves it; keys through the system's input queue

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    for (DWORD start = GetTickCount();; Sleep(5)) {
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Pump();
    }
}

bool Xdotool(const std::wstring& arguments) {
    std::wstring done = StartXdotool(arguments);
    return WaitUntil([&] { return XdotoolFinished(done); }, 20000);
}

// The pointer moved as a mouse moves it, so that the window under it (an open menu) sees the move. A move
// made inside the runtime alone leaves the X server's pointer behind, and the runtime takes that one back
// when a menu's pointer grab ends: a click that follows would land where the X pointer was.
bool MoveTo(POINT at) {
    Xdotool(L"mousemove " + std::to_wstring(at.x) + L" " + std::to_wstring(at.y));
    return WaitUntil([&] {
        POINT cursor = {};
        return GetCursorPos(&cursor) && cursor.x == at.x && cursor.y == at.y;
    }, 2000);
}

void Click(POINT at, bool right) {
    MoveTo(at);
    Xdotool(right ? L"click 3" : L"click 1");
}

// Presses the keys in order and releases them in the reverse order.
void Keys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> events;
    for (WORD vk : keys) {
        INPUT event = {};
        event.type = INPUT_KEYBOARD;
        event.ki.wVk = vk;
        events.push_back(event);
    }
    for (size_t i = keys.size(); i-- > 0;) {
        INPUT event = events[i];
        event.ki.dwFlags = KEYEVENTF_KEYUP;
        events.push_back(event);
    }
    SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
}

// ---- Vitrea's menus, opened and closed as the user does

// Top-level windows of a class that belong to Vitrea's process.
std::vector<HWND> WindowsOf(const WCHAR* cls, DWORD pid, bool visibleOnly) {
    std::vector<HWND> found;
    for (HWND w = FindWindowExW(nullptr, nullptr, cls, nullptr); w; w = FindWindowExW(nullptr, w, cls, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && (!visibleOnly || IsWindowVisible(w))) found.push_back(w);
    }
    return found;
}

std::vector<HWND> MenuWindows(DWORD pid, bool visibleOnly) { return WindowsOf(L"#32768", pid, visibleOnly); }

// Escape for each open level; a menu that does not hold the keyboard is ended by a cancel to its owner. True
// once no menu window of Vitrea's is left at all, so that its menu loop has returned.
bool CloseMenus(HWND vitrea, DWORD pid) {
    for (int attempt = 0; attempt < 4 && !MenuWindows(pid, true).empty(); ++attempt) {
        size_t open = MenuWindows(pid, true).size();
        for (size_t i = 0; i < open; ++i) Keys({VK_ESCAPE});
        if (WaitUntil([&] { return MenuWindows(pid, true).empty(); }, 1000)) break;
        DWORD_PTR result;
        SendMessageTimeoutW(vitrea, WM_CANCELMODE, 0, 0, SMTO_NORMAL, answerWait, &result);
        WaitUntil([&] { return MenuWindows(pid, true).empty(); }, 1000);
    }
    return WaitUntil([&] { return MenuWindows(pid, false).empty(); }, 3000) || MenuWindows(pid, true).empty();
}

// The four ways a user opens a menu: a right click on the tray icon (the shell passes it on as Vitrea's tray
// message), a click on the options button, a right click on either check button.
enum MenuRoad { trayRoad, optionsRoad, shortcutRoad, taskbarRoad };
constexpr const WCHAR* roadControls[] = {nullptr, L"Vitrea", L"Keyboard Shortcut", L"Taskbar Transparency"};
bool OpenMenuOnce(HWND vitrea, DWORD pid, MenuRoad road, DWORD timeoutMs);

// The settings window in front, as a left click on the tray icon brings it.
bool BringToFront(HWND vitrea) {
    if (IsWindowVisible(vitrea) && !IsIconic(vitrea) && GetForegroundWindow() == vitrea) return true;
    DWORD_PTR result;
    SendMessageTimeoutW(vitrea, APPMSG_TRAY, 0, WM_LBUTTONUP, SMTO_NORMAL, answerWait, &result);
    return WaitUntil([&] { return GetForegroundWindow() == vitrea && IsWindowVisible(vitrea); }, 2000);
}

// The pointer rested on the options button until its tooltip shows. The tooltip's first showing makes what
// the runtime then keeps (the brush of the tooltip colour, cached DCs), so it comes before any counting.
bool ShowTooltip(HWND vitrea, DWORD pid) {
    HWND control = FindWindowExW(vitrea, nullptr, L"VitreaButton", roadControls[optionsRoad]);
    if (!control || !BringToFront(vitrea)) return false;
    RECT r = {};
    GetWindowRect(control, &r);
    MoveTo({(r.left + r.right) / 2 - 5, (r.top + r.bottom) / 2 - 5});
    MoveTo({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    bool shown = WaitUntil([&] { return !WindowsOf(L"tooltips_class32", pid, true).empty(); }, 5000);
    MoveTo({r.left - 40, r.top - 40});
    return shown && WaitUntil([&] { return WindowsOf(L"tooltips_class32", pid, true).empty(); }, 5000);
}

// A user's click works the first time: one that needed a second is a miss of the step it belongs to. It is
// given once more all the same, so that the run goes on and shows how often it happens.
long secondClicks = 0; // clicks given once more, shown beside the steps they belong to

bool OpenMenu(HWND vitrea, DWORD pid, MenuRoad road) {
    if (OpenMenuOnce(vitrea, pid, road, 2000)) return true;
    ++secondClicks;
    fprintf(stderr, "fuzz: no menu by road %d after the first click; clicked once more\n", static_cast<int>(road));
    return OpenMenuOnce(vitrea, pid, road, 5000);
}

bool OpenMenuOnce(HWND vitrea, DWORD pid, MenuRoad road, DWORD timeoutMs) {
    if (road == trayRoad) {
        PostMessageW(vitrea, APPMSG_TRAY, 0, WM_RBUTTONUP);
    } else {
        HWND control = FindWindowExW(vitrea, nullptr, L"VitreaButton", roadControls[road]);
        if (!control || !BringToFront(vitrea)) return false;
        RECT r = {};
        GetWindowRect(control, &r);
        POINT at = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        if (WindowFromPoint(at) != control) return false;
        Click(at, road != optionsRoad);
    }
    return WaitUntil([&] { return !MenuWindows(pid, true).empty(); }, timeoutMs);
}

// A row of the open options menu on screen, from its menu window and the rows' heights (items and
// separators, top to bottom); the frame is whatever the client area leaves around the rows.
constexpr char optionsRows[] = "iii-ii-iii";
static_assert(RowsAre(optionsRows, MenuTree::options, '-'));
enum OptionsRow { aboutRow = 1, skinlessRow = 7, eddyRow = 8, pewterRow = 9 };

POINT OptionsRowCentre(HWND menu, int index) {
    auto height = [&](int rows) {
        int total = 0;
        for (int i = 0; i < rows; ++i) total += RowHeightOf(optionsRows, i, '-');
        return total;
    };
    RECT client = {};
    GetClientRect(menu, &client);
    POINT origin = {0, 0};
    ClientToScreen(menu, &origin);
    int inset = (client.bottom - height(static_cast<int>(sizeof optionsRows - 1))) / 2;
    return {origin.x + client.right / 2, origin.y + inset + height(index) + MenuRowHeight() / 2};
}

// The pointer onto a row of the open options menu, which selects it (the row shows highlighted), then a
// click: the hook library reports the press and release on the selected row to Vitrea, which runs it.
bool ClickRow(HWND menu, int row) {
    POINT at = OptionsRowCentre(menu, row);
    RECT client = {};
    GetClientRect(menu, &client);
    POINT side = {client.right - 6, 0};
    ClientToScreen(menu, &side);
    side.y = at.y;
    MoveTo(at);
    HDC screen = GetDC(nullptr);
    bool selected = WaitUntil([&] { return GetPixel(screen, side.x, side.y) == GetSysColor(COLOR_HIGHLIGHT); }, 2000);
    ReleaseDC(nullptr, screen);
    Click(at, false);
    return selected;
}

constexpr struct SkinRow {
    int row;
    const WCHAR* name; // as stored
} skins[] = {{eddyRow, L"EddyMini"}, {pewterRow, L"PewterMini"}, {skinlessRow, L"Skinless"}};

std::wstring StoredSkin();

// The skin chosen as the user chooses it: the options menu opened, its row clicked, the menu closed.
bool ChooseSkin(HWND vitrea, DWORD pid, const std::wstring& name) {
    for (const SkinRow& skin : skins) {
        if (name != skin.name) continue;
        if (StoredSkin() == name) return true;
        std::vector<HWND> open;
        if (OpenMenu(vitrea, pid, optionsRoad) && (open = MenuWindows(pid, true)).size() == 1)
            ClickRow(open[0], skin.row);
        bool chosen = WaitUntil([&] { return StoredSkin() == name; }, 5000);
        CloseMenus(vitrea, pid);
        return chosen;
    }
    return false;
}

// ---- real menus and real key chords in the message stream

// A menu opened by one of the user's roads takes part of the stream into its own loop, sometimes gets a
// real click on a skin row (a setting: the menu stays open), and is closed again.
void MenuInStream(Run& run, Random& random) {
    auto road = static_cast<MenuRoad>(random.Below(4));
    DWORD inside = 5 + random.Below(20);
    bool clickRow = road == optionsRoad && random.Below(2);
    int row = skinlessRow + static_cast<int>(random.Below(3));
    ++run.menusAsked;
    if (OpenMenu(run.vitrea, run.pid, road)) {
        ++run.menusShown;
        for (DWORD i = 0; i < inside; ++i) OneMessage(run, random);
        std::vector<HWND> open = MenuWindows(run.pid, true);
        if (clickRow && open.size() == 1) {
            ClickRow(open[0], row);
            ++run.rowClicks;
        }
    } else {
        fprintf(stderr, "fuzz: no menu by road %d after %ld messages (settings window %s)\n", static_cast<int>(road),
                run.figures.sent, IsWindowVisible(run.vitrea) ? "shown" : "hidden");
        for (DWORD i = 0; i < inside; ++i) OneMessage(run, random);
    }
    if (!CloseMenus(run.vitrea, run.pid)) ++run.menusLeftOpen;
}

// The shortcut as the settings window sets it (Ctrl + Shift with the digits, on), then a chord pressed over
// the other program's window, which the hook library in that program reports. A level chord must show.
void ChordInStream(Run& run, Random& random) {
    static constexpr WORD chordKeys[] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9',
                                         VK_OEM_PLUS, VK_OEM_MINUS, VK_BACK, VK_SPACE};
    WORD key = random.Pick(chordKeys);
    Send(run, APPMSG_SETTING, settingShortcutByte, 0x45);
    Send(run, APPMSG_SETTING, settingShortcutOn, 1);
    CloseMenus(run.vitrea, run.pid);
    SetForegroundWindow(run.foreign);
    if (!WaitUntil([&] { return GetForegroundWindow() == run.foreign; }, 2000)) return;
    ++run.chords;
    Keys({VK_CONTROL, VK_SHIFT, key});
    if (key < '0' || key > '9') return;
    int digit = key - '0';
    int level = digit ? (2 * 255 * digit + 10) / 20 : 255;
    ++run.levelChords;
    if (WaitUntil([&] { return AlphaOf(run.foreign) == level; }, 3000)) {
        ++run.levelChordsApplied;
        return;
    }
    // What was in front and what Vitrea recorded tell a lost key from a lost request.
    HWND front = GetForegroundWindow();
    WCHAR name[64] = {};
    GetClassNameW(front, name, 64);
    DWORD_PTR recorded = 0;
    SendMessageTimeoutW(run.vitrea, APPMSG_GETALPHA, reinterpret_cast<WPARAM>(run.foreign), 0, SMTO_NORMAL,
                        answerWait, &recorded);
    fprintf(stderr, "fuzz: level chord %d (key %c) did not show: alpha %d, recorded %d; in front %ls, alpha %d\n",
            level, key, AlphaOf(run.foreign), static_cast<int>(recorded), name, AlphaOf(front));
}

// What one step of the run does, picked by weight; the real menus and chords come in every `realEvery`
// messages, chosen by the same seed.
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
// thread beyond those it started with (a fade's timer lives on its fade thread).
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
    // The main thread and the hook library's two waiting threads; every fade thread must be gone again.
    DWORD startThreads = Measure(vitrea.hProcess, vitrea.dwProcessId).threads;
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
        if ((threads = Measure(vitrea.hProcess, vitrea.dwProcessId).threads) <= startThreads) break;
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
    std::string asAtStart = "as at start-up (" + std::to_string(startThreads) + ")";
    Row("Vitrea threads while idle (timers live on fade threads)",
        std::to_string(threadsBefore) + " -> " + std::to_string(threadsAfter), asAtStart.c_str(),
        ok && threadsBefore == startThreads && threadsAfter == startThreads);
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    if (vitrea.hProcess) {
        if (WaitForSingleObject(vitrea.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(vitrea.hProcess, 99);
        CloseHandle(vitrea.hProcess);
        CloseHandle(vitrea.hThread);
    }
    int left = taskbar ? AlphaOf(taskbar) : 255;
    Row("taskbar alpha after exit", std::to_string(left), "255", left == 255);
    settings.Restore();
    bool idle = cpu == 0 && threadsBefore == startThreads && threadsAfter == startThreads;
    return ok && faded == asked && idle && left == 255 ? 0 : 1;
}
// ---- load: menus opened, skins switched and About windows opened, each many times over

std::wstring StoredSkin() {
    WCHAR value[64] = {};
    DWORD size = sizeof value - sizeof(WCHAR), type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, settingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
    if (RegQueryValueExW(key, L"Skin", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
        value[0] = 0;
    RegCloseKey(key);
    return value;
}

HWND AboutWindowOf(DWORD pid) {
    std::vector<HWND> found = WindowsOf(L"VitreaAboutClass", pid, false);
    return found.empty() ? nullptr : found[0];
}

struct Load {
    HWND vitrea = nullptr;
    HANDLE process = nullptr;
    DWORD pid = 0;
    long failed = 0; // steps whose effect never showed
    bool held = true; // every step showed and no count grew
    long count = 0;
    std::vector<SIZE_T> tenths; // private memory after each tenth of the steps
    Usage half = {};            // everything, once half the steps are done

    // Called between steps, with no menu open.
    void Step(long done) {
        if (tenths.size() < 10 && done * 10 >= count * static_cast<long>(tenths.size() + 1))
            tenths.push_back(PrivateBytes(process));
        if (!half.handles && done * 2 >= count) half = Measure(process, pid);
    }
};

// No menu open, no About window, the thread count held still: what the next measurement needs.
Usage SettledUsage(Load& load) {
    CloseMenus(load.vitrea, load.pid);
    DWORD last = 0, steady = 0;
    Usage usage = {};
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000 && steady < 3; Sleep(50)) {
        Pump();
        usage = Measure(load.process, load.pid);
        steady = usage.threads == last && !AboutWindowOf(load.pid) ? steady + 1 : 0;
        last = usage.threads;
    }
    return usage;
}

void Failed(Load& load, const char* what, long i) {
    ++load.failed;
    fprintf(stderr, "fuzz: load step %ld: %s\n", i, what);
}

void OneMenuOpening(Load& load, long i) {
    if (!OpenMenu(load.vitrea, load.pid, static_cast<MenuRoad>(i % 4))) Failed(load, "no menu showed", i);
    if (!CloseMenus(load.vitrea, load.pid)) Failed(load, "a menu stayed open", i);
}

// Real clicks on the skin rows of an open options menu, which stays open for the next click; every click
// names another skin than the one shown, and the switch shows in the stored setting.
void SkinSwitches(Load& load, long count) {
    for (long i = 0; i < count;) {
        if (!OpenMenu(load.vitrea, load.pid, optionsRoad)) {
            Failed(load, "no options menu for the skins", i++);
            continue;
        }
        // A menu session ends at the half, where the counts are read with no menu open.
        for (int inMenu = 0; inMenu < 50 && i < count && (i != count / 2 || inMenu == 0); ++inMenu, ++i) {
            std::vector<HWND> open = MenuWindows(load.pid, true);
            if (open.size() != 1) break;
            std::wstring now = StoredSkin(), next;
            int row = skins[0].row;
            for (size_t k = 0; k < std::size(skins); ++k)
                if (now == skins[k].name) {
                    row = skins[(k + 1) % std::size(skins)].row;
                    next = skins[(k + 1) % std::size(skins)].name;
                }
            if (next.empty()) next = skins[0].name;
            ClickRow(open[0], row);
            if (!WaitUntil([&] { return StoredSkin() == next; }, 5000)) Failed(load, "the skin did not switch", i);
        }
        CloseMenus(load.vitrea, load.pid);
        load.Step(i);
    }
}

// "About Vitrea..." clicked in the options menu, which closes it; the window is closed as by its close box.
void OneAboutWindow(Load& load, long i) {
    if (!OpenMenu(load.vitrea, load.pid, optionsRoad)) {
        Failed(load, "no options menu for About", i);
        return;
    }
    std::vector<HWND> open = MenuWindows(load.pid, true);
    bool selected = open.size() == 1 && ClickRow(open[0], aboutRow);
    HWND about = nullptr;
    auto shown = [&] { return (about = AboutWindowOf(load.pid)) != nullptr; };
    // A click the menu did not take (it leaves the menu open) is given once more, as a user would.
    if (!WaitUntil(shown, 3000) && (open = MenuWindows(load.pid, true)).size() == 1) {
        ++secondClicks;
        fprintf(stderr, "fuzz: load step %ld: About clicked once more (the row %s selected)\n", i,
                selected ? "showed" : "never showed");
        selected = ClickRow(open[0], aboutRow);
    }
    if (!WaitUntil(shown, 5000)) {
        bool menuOpen = !MenuWindows(load.pid, true).empty();
        Failed(load, selected ? (menuOpen ? "no About window (row selected, menu still open)"
                                          : "no About window (row selected, menu closed)")
                              : "no About window (row never showed selected)", i);
        CloseMenus(load.vitrea, load.pid);
        return;
    }
    CloseMenus(load.vitrea, load.pid);
    PostMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (!WaitUntil([&] { return !IsWindow(about); }, 5000)) Failed(load, "the About window stayed", i);
}

// Runs `count` steps between two settled measurements and prints their rows. The runtime's heap and caches
// grow for a while after the first uses (a window's cached DC, the heap's next block); a leak keeps growing
// with every step, so each count is judged over the second half of the steps.
template <typename Steps> void LoadPart(Load& load, const char* what, long count, Steps steps) {
    Usage before = SettledUsage(load);
    GdiTypes gdiBefore = GdiTypesNow();
    load.failed = 0;
    load.count = count;
    load.tenths.clear();
    load.half = {};
    secondClicks = 0;
    steps();
    Usage after = SettledUsage(load);
    std::string gdiChange = GdiChange(gdiBefore, GdiTypesNow());
    std::string name = std::to_string(count) + " " + what;
    Row((name + ": steps whose effect showed").c_str(),
        std::to_string(count - load.failed) + " of " + std::to_string(count) + ", " +
            std::to_string(secondClicks) + " clicks given twice",
        "all, each at the first click", load.failed == 0 && secondClicks == 0);
    load.held &= load.failed == 0;
    const Usage& half = load.half.handles ? load.half : before;
    auto flat = [&](const char* figure, DWORD Usage::*count) {
        bool ok = after.*count <= half.*count;
        Row((name + ": " + figure + " at start, half, end").c_str(),
            std::to_string(before.*count) + " -> " + std::to_string(half.*count) + " -> " +
                std::to_string(after.*count) + (count == &Usage::gdiSlots ? gdiChange : ""),
            "second half flat", ok);
        load.held &= ok;
    };
    flat("handles", &Usage::handles);
    flat("GDI objects (table slots)", &Usage::gdiSlots);
    flat("USER objects (windows + menus)", &Usage::userObjects);
    Row((name + ": private memory at start, half, end (KB)").c_str(),
        std::to_string(before.privateBytes / 1024) + " -> " + std::to_string(half.privateBytes / 1024) + " -> " +
            std::to_string(after.privateBytes / 1024),
        "second half flat (+256 KB)", after.privateBytes <= half.privateBytes + 256 * 1024);
}

// Each count is shown to see what Vitrea's process leaks: objects made there on purpose by counts.dll (never
// by Vitrea itself) must raise it by their number, and their release must bring it back.
bool LeaksShow(HANDLE process, DWORD pid) {
    bool ok = true;
    struct Kind {
        const char* figure;
        UINT_PTR kind;
        DWORD Usage::*count;
        long expected; // at least this much more
    } kinds[] = {{"GDI count sees 25 brushes leaked in Vitrea", 1, &Usage::gdiSlots, 25},
                 {"USER count sees 25 menus leaked in Vitrea", 2, &Usage::userObjects, 25},
                 {"USER count sees 25 windows leaked in Vitrea", 3, &Usage::userObjects, 25}};
    for (const Kind& kind : kinds) {
        Usage before = Measure(process, pid);
        inside.Call("Leak", (kind.kind << 16) | 25, kind.kind != 3);
        Usage leaked = {};
        WaitUntil([&] {
            leaked = Measure(process, pid);
            return leaked.*kind.count >= before.*kind.count + kind.expected;
        }, 5000);
        inside.Call("Release");
        Usage after = {};
        WaitUntil([&] {
            after = Measure(process, pid);
            return after.*kind.count <= before.*kind.count;
        }, 5000);
        bool seen = leaked.*kind.count >= before.*kind.count + kind.expected && after.*kind.count <= before.*kind.count;
        Row(kind.figure, std::to_string(before.*kind.count) + " -> " + std::to_string(leaked.*kind.count) + " -> " +
            std::to_string(after.*kind.count), "+25 then back", seen);
        ok &= seen;
    }
    SIZE_T before = PrivateBytes(process);
    inside.Call("Leak", (4u << 16) | 25);
    SIZE_T leaked = PrivateBytes(process);
    inside.Call("Release");
    SIZE_T after = PrivateBytes(process);
    // The heap moves by a few KB of its own meanwhile.
    bool seen = leaked >= before + 24 * 64 * 1024 && after <= before + 64 * 1024;
    Row("private memory sees 1600 KB leaked in Vitrea (KB)", std::to_string(before / 1024) + " -> " +
        std::to_string(leaked / 1024) + " -> " + std::to_string(after / 1024), "+1600 then back", seen);
    return ok && seen && CountSeesALeak(process, pid);
}

int RunLoad(const std::wstring& vitreaExe, long count) {
    item = "load";
    SettingsGuard settings;
    RegDeleteKeyW(HKEY_CURRENT_USER, settingsKey);
    PROCESS_INFORMATION vitrea = {};
    Load load;
    load.vitrea = StartProcess(vitreaExe, L"", vitrea, L"VitreaClass", L"Vitrea");
    load.process = vitrea.hProcess;
    load.pid = vitrea.dwProcessId;
    bool ok = load.vitrea && WaitUntil([&] { return IsWindowVisible(load.vitrea); }, 20000) &&
              inside.Load(vitrea.hProcess, CountsLibrary());
    if (!ok) fprintf(stderr, "fuzz: Vitrea did not start, or counts.dll could not be loaded into it\n");
    // Every road once before the first measurement, and the tooltip: first uses fill the runtime's caches.
    if (ok && !ShowTooltip(load.vitrea, load.pid)) fprintf(stderr, "fuzz: the options button's tooltip never showed\n");
    for (long i = 0; ok && i < 4; ++i) OneMenuOpening(load, i);
    if (ok) SkinSwitches(load, 3);
    if (ok) OneAboutWindow(load, -1);
    if (ok) inside.Call("FillDcCache", dcCacheBound);
    if (ok) {
        LoadPart(load, "menu openings", count, [&] {
            for (long i = 0; i < count; ++i) {
                OneMenuOpening(load, i);
                load.Step(i + 1);
            }
        });
        // The skins differ in what they hold, so the switches end on the skin they started from.
        long switches = count + (3 - count % 3) % 3;
        LoadPart(load, "skin switches", switches, [&] { SkinSwitches(load, switches); });
        LoadPart(load, "About windows", count, [&] {
            for (long i = 0; i < count; ++i) {
                OneAboutWindow(load, i);
                load.Step(i + 1);
            }
        });
        ok = LeaksShow(load.process, load.pid) && load.held;
    }
    if (load.vitrea) PostMessageW(load.vitrea, WM_CLOSE, 0, 0);
    DWORD exited = vitrea.hProcess ? WaitForSingleObject(vitrea.hProcess, 20000) : WAIT_FAILED;
    DWORD code = STILL_ACTIVE;
    if (vitrea.hProcess) GetExitCodeProcess(vitrea.hProcess, &code);
    Row("exit after the load", exited == WAIT_OBJECT_0 ? "code " + std::to_string(code) : "still running", "code 0",
        exited == WAIT_OBJECT_0 && code == 0);
    if (exited != WAIT_OBJECT_0 && vitrea.hProcess) TerminateProcess(vitrea.hProcess, 99);
    for (HANDLE handle : {vitrea.hProcess, vitrea.hThread})
        if (handle) CloseHandle(handle);
    settings.Restore();
    return ok && exited == WAIT_OBJECT_0 && code == 0 ? 0 : 1;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: fuzz <Vitrea.exe> <probe.exe> [--seed N] [--messages N] [--real-every N] [--leak-check]\n"
                        "       fuzz <Vitrea.exe> <probe.exe> --idle SECONDS [--fades N]\n"
                        "       fuzz <Vitrea.exe> <probe.exe> --load N\n");
        return 2;
    }
    unsigned long long seed = GetTickCount() ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 20);
    long messages = 100000;
    bool leakCheck = false;
    long idleSeconds = -1, fades = 10, realEvery = 200, load = -1;
    for (int i = 3; i < argc; ++i) {
        std::wstring option = argv[i];
        if (option == L"--seed" && i + 1 < argc) seed = wcstoull(argv[++i], nullptr, 10);
        else if (option == L"--messages" && i + 1 < argc) messages = wcstol(argv[++i], nullptr, 10);
        else if (option == L"--leak-check") leakCheck = true;
        else if (option == L"--idle" && i + 1 < argc) idleSeconds = wcstol(argv[++i], nullptr, 10);
        else if (option == L"--fades" && i + 1 < argc) fades = wcstol(argv[++i], nullptr, 10);
        else if (option == L"--real-every" && i + 1 < argc) realEvery = wcstol(argv[++i], nullptr, 10);
        else if (option == L"--load" && i + 1 < argc) load = wcstol(argv[++i], nullptr, 10);
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
    if (load >= 0) return RunLoad(WindowsPath(argv[1]), load);
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
    // Below the settings window: once a chord has pinned it on top it must not cover the buttons a user clicks.
    HWND foreign = StartProcess(WindowsPath(argv[2]), L"target VitreaFuzzTarget 520 470 480 250", target, nullptr,
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
    fprintf(stderr, "fuzz: Vitrea and the windows it is sent messages about are up\n");
    run.victims = victims.windows;
    run.handles = run.victims;
    for (HWND w : {foreign, run.vitrea, GetDesktopWindow(), FindWindowW(L"Shell_TrayWnd", nullptr),
                   FindWindowW(L"Progman", nullptr)})
        if (w) run.handles.push_back(w);
    EnumChildWindows(foreign, AddChild, reinterpret_cast<LPARAM>(&run.handles));
    EnumChildWindows(run.vitrea, AddChild, reinterpret_cast<LPARAM>(&run.handles));
    if (HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr))
        EnumChildWindows(taskbar, AddChild, reinterpret_cast<LPARAM>(&run.handles));

    run.pid = vitreaProcess.dwProcessId;
    run.foreign = foreign;
    if (!inside.Load(run.process, CountsLibrary()))
        fprintf(stderr, "fuzz: counts.dll could not be loaded into Vitrea; GDI and USER objects read as 0\n");
    Random random = {seed};
    DWORD totalWeight = 0;
    for (const Action& action : actions) totalWeight += action.weight;
    // A first stretch warms Vitrea up (first curtain, first fade) before its usage is taken.
    long warmUp = messages / 20 < 50 ? 50 : messages / 20;
    Usage before = {}, middle = {};
    GdiTypes gdiBefore = {};
    std::wstring startSkin; // the skins differ in what they hold: the counts are compared in the same skin
    std::vector<SIZE_T> tenths; // private memory after each tenth of the measured stretch
    bool crashed = false;
    double started = NowMs();
    long nextReal = realEvery;
    while (run.figures.sent < messages + warmUp) {
        if (!before.handles && run.figures.sent >= warmUp) {
            startSkin = StoredSkin();
            if (!ShowTooltip(run.vitrea, run.pid)) fprintf(stderr, "fuzz: the options button's tooltip never showed\n");
            inside.Call("FillDcCache", dcCacheBound);
            Settle(run, vitreaProcess.dwProcessId);
            before = Measure(run.process, vitreaProcess.dwProcessId);
            gdiBefore = GdiTypesNow();
            inside.Call("RememberBrushes");
        }
        if (!middle.handles && run.figures.sent >= warmUp + messages / 2) {
            ChooseSkin(run.vitrea, run.pid, startSkin);
            Settle(run, vitreaProcess.dwProcessId);
            middle = Measure(run.process, vitreaProcess.dwProcessId);
        }
        if (before.handles && tenths.size() < 10 &&
            run.figures.sent >= warmUp + messages * static_cast<long>(tenths.size() + 1) / 10)
            tenths.push_back(PrivateBytes(run.process));
        if (realEvery > 0 && run.figures.sent >= nextReal) {
            nextReal = run.figures.sent + realEvery;
            // Named as it starts: a run cut short by a time-out then tells which real step it was in.
            bool menu = random.Below(2);
            fprintf(stderr, "fuzz: real %s at %ld messages, %.0f s\n", menu ? "menu" : "chord", run.figures.sent,
                    (NowMs() - started) / 1000);
            if (menu)
                MenuInStream(run, random);
            else
                ChordInStream(run, random);
            continue;
        }
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
    if (!crashed && before.handles && tenths.size() < 10) tenths.push_back(PrivateBytes(run.process));

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
        if (!startSkin.empty() && !ChooseSkin(run.vitrea, run.pid, startSkin))
            fprintf(stderr, "fuzz: the skin of the start could not be chosen again\n");
        Settle(run, vitreaProcess.dwProcessId);
        Usage after = Measure(run.process, vitreaProcess.dwProcessId);
        std::string gdiChange = GdiChange(gdiBefore, GdiTypesNow());
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
        std::string series;
        for (SIZE_T bytes : tenths) {
            if (!series.empty()) series += ' ';
            series += std::to_string(bytes / 1024);
        }
        Row("Vitrea private memory after each tenth (KB)", series, "-", true);
        // Judged like memory, over the second half: the runtime makes some objects on their first use (a
        // window's cached DC and its region, the brush of a system colour) and keeps them.
        for (auto [figure, count] : {std::pair{"Vitrea GDI objects (table slots, read inside)", &Usage::gdiSlots},
                                     std::pair{"Vitrea USER objects (windows + menus, read inside)", &Usage::userObjects}})
            Row(figure, std::to_string(before.*count) + " -> " + std::to_string(middle.*count) + " -> " +
                std::to_string(after.*count) + (count == &Usage::gdiSlots ? gdiChange : ""),
                "second half flat", after.*count <= middle.*count);
        DWORD newBrush = inside.Call("NewBrushColour");
        if (newBrush != CLR_INVALID) {
            int systemColour = -1;
            for (int index = 0; index <= COLOR_MENUBAR && systemColour < 0; ++index)
                if (GetSysColor(index) == newBrush) systemColour = index;
            fprintf(stderr, "fuzz: a brush made after the first measurement: colour %06lX, system colour %d\n",
                    newBrush, systemColour);
        }
        Row("real menu openings shown",
            std::to_string(run.menusShown) + " of " + std::to_string(run.menusAsked) + ", " +
                std::to_string(run.rowClicks) + " row clicks, " + std::to_string(run.menusLeftOpen) + " left open, " +
                std::to_string(secondClicks) + " clicks given twice",
            "all at the first click, none left open",
            run.menusShown == run.menusAsked && run.menusLeftOpen == 0 && secondClicks == 0);
        Row("real key chords: level chords that showed",
            std::to_string(run.levelChordsApplied) + " of " + std::to_string(run.levelChords) + " (" +
                std::to_string(run.chords) + " chords)",
            "all", run.levelChordsApplied == run.levelChords);
        Row("Vitrea GDI objects (GetGuiResources)",
            std::to_string(before.gdiReported) + " -> " + std::to_string(after.gdiReported),
            before.gdiReported ? "flat" : "flat (runtime answers 0)", after.gdiReported <= before.gdiReported);
        if (leakCheck) hardGoals &= LeaksShow(run.process, run.pid);
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
    hardGoals &= run.menusShown == run.menusAsked && run.menusLeftOpen == 0;

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
