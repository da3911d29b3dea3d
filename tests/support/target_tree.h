#pragma once
#include "support/test_support.h"
#include <windows.h>
#include <functional>
#include <ostream>
#include <vector>

// What reached the windows of every TargetTree, in order: a WM_PAINT or a VITREA_SETLAYEREDSTYLE request.
struct TargetEvent {
    HWND window;
    UINT message;
    WPARAM wParam;
    bool operator==(const TargetEvent&) const = default;
};
std::vector<TargetEvent>& TargetLog();
void PrintTo(const TargetEvent& event, std::ostream* out);

// A top-level window of this process with the probe's tree below it: A (visible, with visible A1),
// B (hidden, with visible B1) and C. The top window carries out VITREA_SETLAYEREDSTYLE itself, standing in
// for the hook library, after running onStyle; every window logs its WM_PAINTs and then validates itself.
class TargetTree {
public:
    enum Index { top, a, a1, b, b1, c, count };
    TargetTree(int x, int y, int width, int height, bool layered = false, bool dropShadow = false);
    ~TargetTree();
    TargetTree(const TargetTree&) = delete;
    TargetTree& operator=(const TargetTree&) = delete;
    HWND operator[](int index) const { return windows[index]; }
    HWND Top() const { return windows[top]; }
    // Paints that were queued on creation are done now, and the log starts empty.
    void Settle();
    std::function<void(WPARAM)> onStyle;

    // A window of the same logging class below any parent, for trees of other shapes.
    static HWND Child(HWND parent, bool visible);

private:
    HWND windows[count] = {};
};


// Ends the process with a message when the guarded scope does not finish in time: a walk or hand-over that
// never returns would otherwise hang the whole run.
class Watchdog {
public:
    Watchdog(DWORD timeoutMs, const char* what);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    HANDLE done;
    HANDLE thread;
    DWORD timeoutMs;
    const char* what;
    static DWORD WINAPI Run(LPVOID self);
};
