// layered_bench [cycles]: times the engine's apply and removal on an 800 x 600 window of another program
// against the same steps done bare in the same run, then checks that apply/remove cycles leak nothing.
//
// An apply to a window that is not yet layered is split into its steps: the screen capture, the curtain's
// thread and window, showing the curtain, the cross-process style change through VITREA_SETLAYEREDSTYLE,
// the alpha, the repaint of the window and its visible descendants, and closing the curtain. The bench does
// each of them itself with a curtain of its own, times them one by one, and compares the sum with the
// engine's whole apply. The engine's own functions for the same steps are timed beside them. A change on a
// window already layered is timed against the bare call and against the least any request costs, the
// message and the call, the three in turn. Each figure is a median.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "app/main.h"
#include "tools/bench/timing.h"
#include "engine/alpha_table.h"
#include "engine/hook_library.h"
#include "engine/layered.h"

namespace {
constexpr int timedRounds = 42; // a multiple of three: the changes on a layered window take turns at first
constexpr int warmUpRounds = 5;
constexpr WCHAR targetTitle[] = L"VitreaLayeredBench";


std::wstring Folder() {
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}


HWND StartTarget(PROCESS_INFORMATION& process) {
    std::wstring exe = Folder() + L"tools\\probe\\probe.exe";
    std::wstring line = L"\"" + exe + L"\" target " + targetTitle + L" 100 80 800 600";
    // The target prints its window handle; that line does not belong in the table.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (nul != INVALID_HANDLE_VALUE) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = startup.hStdError = nul;
    }
    BOOL started = CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, nul != INVALID_HANDLE_VALUE, 0, nullptr,
                                  nullptr, &startup, &process);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!started) return nullptr;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 30000; Sleep(20)) {
        if (HWND window = FindWindowW(nullptr, targetTitle)) return window;
    }
    return nullptr;
}

LRESULT SetAlpha(HWND target, LPARAM request) {
    return SendMessageW(app.mainWindow, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(target), request);
}

// Each timed operation starts with the target idle, its repaints from the previous one done.
void Idle() {
    Pump();
    Sleep(30);
}

void SetStyle(HWND target, bool layered) { SendMessageW(target, app.msgSetLayeredStyle, layered ? 1 : 0, 0); }

// The steps of an apply to a window that is not yet layered, in the order they run.
enum Step { capture, curtainThread, curtainShow, styleChange, alphaStep, repaint, curtainClose, stepCount };
constexpr const char* stepNames[stepCount] = {"screen capture",    "curtain thread and window", "showing the curtain",
                                              "style change",      "alpha",                     "repaint",
                                              "closing the curtain"};

// The bench's own curtain: the same window, shown the same way, by a thread of its own.
constexpr WCHAR bareCurtainClass[] = L"VitreaBenchCurtain";
struct BareCurtain {
    RECT area;
    HDC capture;
    HANDLE shown;
    HWND window;
    double created; // when the thread had its window, on the same clock as the starter
};

LRESULT CALLBACK BareCurtainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI BareCurtainThread(LPVOID parameter) {
    auto* curtain = static_cast<BareCurtain*>(parameter);
    SIZE size = {curtain->area.right - curtain->area.left, curtain->area.bottom - curtain->area.top};
    curtain->window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST,
                                      bareCurtainClass, nullptr, WS_POPUP, curtain->area.left, curtain->area.top,
                                      size.cx, size.cy, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    curtain->created = NowMs();
    SetWindowPos(curtain->window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, 0};
    app.updateLayeredWindow(curtain->window, nullptr, nullptr, &size, curtain->capture, &source, 0, &blend, ULW_ALPHA);
    SetEvent(curtain->shown);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

void BareRepaint(HWND window) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        SendMessageW(child, WM_PAINT, 0, 0);
        BareRepaint(child);
    }
}

// The steps once the curtain is up, each timed into `at`: done bare, or by the engine's own functions.
void StepsUnderCurtain(HWND target, BYTE alpha, HWND curtain, bool bare, double (&at)[stepCount + 1]) {
    at[styleChange] = NowMs();
    if (bare)
        SetStyle(target, true);
    else
        SetStyleLayered(target, true);
    at[alphaStep] = NowMs();
    app.setLayeredWindowAttributes(target, 0, alpha, LWA_ALPHA);
    at[repaint] = NowMs();
    if (bare) {
        SendMessageW(target, WM_PAINT, 0, 0);
        BareRepaint(target);
    } else {
        SendToWindow(target, WM_PAINT, 0, 0);
        RepaintDescendants(target);
    }
    at[curtainClose] = NowMs();
    SendMessageW(curtain, WM_CLOSE, 0, 0);
    at[stepCount] = NowMs();
}

// One apply done bare, each step timed into its own list.
void BareApply(HWND target, BYTE alpha, std::vector<double> (&steps)[stepCount], bool keep) {
    double at[stepCount + 1];
    at[capture] = NowMs();
    RECT area;
    GetWindowRect(target, &area);
    int width = area.right - area.left, height = area.bottom - area.top;
    HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    HDC memory = CreateCompatibleDC(display);
    HBITMAP bitmap = CreateCompatibleBitmap(display, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, display, area.left, area.top, SRCCOPY | CAPTUREBLT);
    DeleteDC(display);

    at[curtainThread] = NowMs();
    BareCurtain curtain = {area, memory, CreateEventW(nullptr, FALSE, FALSE, nullptr), nullptr, 0};
    HANDLE thread = CreateThread(nullptr, 0, BareCurtainThread, &curtain, 0, nullptr);
    WaitForSingleObject(curtain.shown, INFINITE);
    CloseHandle(curtain.shown);
    CloseHandle(thread);
    at[curtainShow] = curtain.created;
    // Releasing the capture is counted with showing the curtain, as the engine does it at that point.
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    StepsUnderCurtain(target, alpha, curtain.window, true, at);
    if (keep)
        for (int step = 0; step < stepCount; ++step) steps[step].push_back(at[step + 1] - at[step]);
}

struct Counts {
    DWORD handlesReported, handlesFound, gdiReported, gdiFound;
};

// The system's own counts, and counts found by probing, for runtimes that report 0 (Wine does): every
// handle value that has handle information, every GDI table slot that holds an object.
Counts Measure() {
    using HandleCountFn = BOOL(WINAPI*)(HANDLE, DWORD*);
    static auto handleCount = ProcAddress<HandleCountFn>(GetModuleHandleW(L"kernel32.dll"), "GetProcessHandleCount");
    Counts counts = {};
    if (handleCount) handleCount(GetCurrentProcess(), &counts.handlesReported);
    for (UINT_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++counts.handlesFound;
    }
    counts.gdiReported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) ++counts.gdiFound;
    return counts;
}

bool NoGrowth(const char* what, DWORD before, DWORD after) {
    bool fine = after <= before;
    printf("  %-34s %6lu -> %6lu  %s\n", what, before, after, fine ? "ok" : "GREW");
    return fine;
}
} // namespace

int main(int argc, char** argv) {
    int cycles = argc > 1 ? std::atoi(argv[1]) : 1000;

    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(&version);
    CreateSettingsWindow(GetModuleHandleW(nullptr));
    FindLayeredFunctions();
    app.isXP = version.dwMinorVersion != 0;
    SetHooks hooks = {};
    hooks.mainWindow = app.mainWindow;
    hooks.msgSetLayeredStyle = app.msgSetLayeredStyle;
    hooks.msgTaskbarCreated = app.msgTaskbarCreated;
    WNDCLASSW curtainClass = {0, BareCurtainProc, 0, 0, GetModuleHandleW(nullptr), nullptr,
                              LoadCursorW(nullptr, IDC_ARROW), nullptr, nullptr, bareCurtainClass};
    RegisterClassW(&curtainClass);
    if (!HookLibraryInitialize(hooks)) {
        fprintf(stderr, "layered_bench: Vitrea.dll not found beside the program\n");
        return 2;
    }
    PROCESS_INFORMATION process = {};
    HWND target = StartTarget(process);
    if (!target) {
        fprintf(stderr, "layered_bench: the probe target did not start\n");
        return 2;
    }
    Sleep(500);
    Pump();

    // Every round brings the target back to not layered, untimed, before the next apply.
    std::vector<double> apply, applyLayered, removal, bareLayered, bareRemoval, messageAndBare;
    std::vector<double> bareSteps[stepCount], engineSteps[stepCount];
    for (int round = -warmUpRounds; round < timedRounds; ++round) {
        BYTE alpha = static_cast<BYTE>(100 + round % 50);
        auto timed = [](std::vector<double>& samples, bool keep, auto operation) {
            Idle();
            double start = NowMs();
            operation();
            double elapsed = NowMs() - start;
            if (keep) samples.push_back(elapsed);
        };
        bool keep = round >= 0;
        timed(apply, keep, [&] { SetAlpha(target, alpha); });
        // A change on the now layered window three ways, three times each, taking turns so that none always
        // comes first, each to an alpha the window does not show yet: by the engine; bare; and the floor of a request,
        // the message to the settings window (which the runtime also hands to each global message hook of
        // the desktop) then the bare call.
        auto byEngine = [&] { timed(applyLayered, keep, [&] { SetAlpha(target, alpha + 1); }); };
        auto bare = [&] {
            timed(bareLayered, keep, [&] { app.setLayeredWindowAttributes(target, 0, alpha + 2, LWA_ALPHA); });
        };
        auto floor = [&] {
            timed(messageAndBare, keep, [&] {
                SendMessageW(app.mainWindow, WM_NULL, 0, 0);
                app.setLayeredWindowAttributes(target, 0, alpha + 3, LWA_ALPHA);
            });
        };
        for (int turn = 0; turn < 9; ++turn) {
            int which = (round + warmUpRounds + turn) % 3;
            if (which == 0) byEngine();
            if (which == 1) bare();
            if (which == 2) floor();
        }
        timed(removal, keep, [&] { SetAlpha(target, 0x10000); });
        Idle();
        BareApply(target, alpha, bareSteps, keep);
        timed(bareRemoval, keep, [&] { SetStyle(target, false); });
        // The engine's own function for each step, called one by one.
        Idle();
        double at[stepCount + 1];
        at[capture] = NowMs();
        StepsUnderCurtain(target, alpha, RaiseCurtain(target), false, at);
        if (keep) {
            engineSteps[capture].push_back(at[styleChange] - at[capture]);
            for (int step = styleChange; step < stepCount; ++step) engineSteps[step].push_back(at[step + 1] - at[step]);
        }
        Idle();
        SetStyle(target, false);
    }

    auto row = [](const char* what, double engine, double bare, double goal) {
        return RatioRow(what, engine, bare, goal, 3);
    };
    printf("layered_bench: %d rounds on an 800 x 600 window of another program (medians)\n", timedRounds);
    printf("  the apply to a window not yet layered, step by step:\n");
    printf("    %-30s %12s %16s\n", "step", "bare", "engine's own");
    double sum = 0;
    for (int step = 0; step < stepCount; ++step) {
        double bare = Median(bareSteps[step]);
        sum += bare;
        // The engine raises its curtain in one call: capture, thread, window and show are one figure.
        if (step < styleChange)
            printf("    %-30s %9.3f ms %16s\n", stepNames[step], bare, step == capture ? "(below)" : "");
        else
            printf("    %-30s %9.3f ms %13.3f ms\n", stepNames[step], bare, Median(engineSteps[step]));
        if (step == curtainShow)
            printf("    %-30s %9.3f ms %13.3f ms\n", "  (curtain up, all three)",
                   Median(bareSteps[capture]) + Median(bareSteps[curtainThread]) + Median(bareSteps[curtainShow]),
                   Median(engineSteps[capture]));
    }
    bool fast = row("apply to a window not yet layered", Median(apply), sum, 1.2);
    fast &= row("apply to an already layered window", Median(applyLayered), Median(bareLayered), 1.5);
    row("message + bare call, no engine", Median(messageAndBare), Median(bareLayered), 0);
    row("removal", Median(removal), Median(bareRemoval), 0);

    Counts before = Measure();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        SetAlpha(target, static_cast<BYTE>(cycle));
        SetAlpha(target, 0x10000);
        Pump();
    }
    Counts after = Measure();
    printf("after %d apply/remove cycles (goal: no count grows):\n", cycles);
    bool fine = NoGrowth("handles (GetProcessHandleCount)", before.handlesReported, after.handlesReported);
    fine &= NoGrowth("handles (open handle values)", before.handlesFound, after.handlesFound);
    fine &= NoGrowth("GDI objects (GetGuiResources)", before.gdiReported, after.gdiReported);
    fine &= NoGrowth("GDI objects (occupied table slots)", before.gdiFound, after.gdiFound);

    PostMessageW(target, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    DestroySettingsWindow();
    HookLibraryUninitialize();
    return fine && fast ? 0 : 1;
}
