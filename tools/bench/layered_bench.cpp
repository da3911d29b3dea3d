// layered_bench [cycles]: times the engine's apply and removal on an 800 x 600 window of another program
// against the bare operations in the same run, then checks that apply/remove cycles leak nothing.
//
// Bare operations: the cross-process style change through VITREA_SETLAYEREDSTYLE plus one
// SetLayeredWindowAttributes (for an apply to a window that is not layered), one SetLayeredWindowAttributes
// (for an already layered one), and the style change back (for a removal). Each figure is a median.
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

namespace {
constexpr int timedRounds = 40;
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
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return nullptr;
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
    HMODULE user32 = GetModuleHandleW(L"User32.dll");
    app.setLayeredWindowAttributes = ProcAddress<SetLayeredWindowAttributesFn>(user32, "SetLayeredWindowAttributes");
    app.updateLayeredWindow = ProcAddress<UpdateLayeredWindowFn>(user32, "UpdateLayeredWindow");
    app.isXP = version.dwMinorVersion != 0;
    SetHooks hooks = {};
    hooks.mainWindow = app.mainWindow;
    hooks.msgSetLayeredStyle = app.msgSetLayeredStyle;
    hooks.msgTaskbarCreated = app.msgTaskbarCreated;
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

    std::vector<double> apply, applyLayered, removal, bareApply, bareLayered, bareRemoval;
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
        timed(applyLayered, keep, [&] { SetAlpha(target, alpha + 1); });
        timed(removal, keep, [&] { SetAlpha(target, 0x10000); });
        timed(bareApply, keep, [&] {
            SetStyle(target, true);
            app.setLayeredWindowAttributes(target, 0, alpha, LWA_ALPHA);
        });
        timed(bareLayered, keep, [&] { app.setLayeredWindowAttributes(target, 0, alpha + 1, LWA_ALPHA); });
        timed(bareRemoval, keep, [&] { SetStyle(target, false); });
    }

    auto row = [](const char* what, const std::vector<double>& engine, const std::vector<double>& bare,
                  const char* goal) {
        double m = Median(engine), b = Median(bare);
        printf("  %-34s %9.3f ms  bare %8.3f ms  ratio %6.2fx  %s\n", what, m, b, m / b, goal);
    };
    printf("layered_bench: %d rounds on an 800 x 600 window of another program (medians)\n", timedRounds);
    row("apply to a window not yet layered", apply, bareApply, "(goal <= 3x)");
    row("apply to an already layered window", applyLayered, bareLayered, "(goal <= 1.5x)");
    row("removal", removal, bareRemoval, "");

    Counts before = Measure();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        SetAlpha(target, static_cast<BYTE>(cycle));
        SetAlpha(target, 0x10000);
        Pump();
    }
    Counts after = Measure();
    printf("after %d apply/remove cycles:\n", cycles);
    bool fine = NoGrowth("handles (GetProcessHandleCount)", before.handlesReported, after.handlesReported);
    fine &= NoGrowth("handles (open handle values)", before.handlesFound, after.handlesFound);
    fine &= NoGrowth("GDI objects (GetGuiResources)", before.gdiReported, after.gdiReported);
    fine &= NoGrowth("GDI objects (occupied table slots)", before.gdiFound, after.gdiFound);

    PostMessageW(target, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    DestroyWindow(app.mainWindow);
    HookLibraryUninitialize();
    return fine ? 0 : 1;
}
