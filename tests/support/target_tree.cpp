#include "support/target_tree.h"
#include <cstdio>
#include <string>

namespace {
constexpr WCHAR plainClass[] = L"VitreaTestTarget";
constexpr WCHAR shadowClass[] = L"VitreaTestShadowTarget";
constexpr UINT classDropShadow = 0x00020000;

UINT StyleMessage() {
    static UINT message = RegisterWindowMessageW(L"VITREA_SETLAYEREDSTYLE");
    return message;
}

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        TargetLog().push_back({window, message, 0});
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == StyleMessage()) {
        TargetLog().push_back({window, message, wParam});
        if (auto* tree = reinterpret_cast<TargetTree*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
            if (tree->onStyle) tree->onStyle(wParam);
        }
        LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
        SetWindowLongW(window, GWL_EXSTYLE, wParam ? exStyle | WS_EX_LAYERED : exStyle & ~WS_EX_LAYERED);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterTargetClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    WNDCLASSW cls = {};
    cls.lpfnWndProc = TargetProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.lpszClassName = plainClass;
    RegisterClassW(&cls);
    cls.style = classDropShadow;
    cls.lpszClassName = shadowClass;
    RegisterClassW(&cls);
}

} // namespace

std::vector<TargetEvent>& TargetLog() {
    static std::vector<TargetEvent> log;
    return log;
}

void PrintTo(const TargetEvent& event, std::ostream* out) {
    *out << "{window " << static_cast<const void*>(event.window) << (event.message == WM_PAINT ? " WM_PAINT" : " style ")
         << (event.message == WM_PAINT ? "" : std::to_string(event.wParam)) << "}";
}

HWND TargetTree::Child(HWND parent, bool visible) {
    RegisterTargetClasses();
    return CreateWindowExW(0, plainClass, nullptr, WS_CHILD | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0), 4, 4,
                           40, 30, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TargetTree::TargetTree(int x, int y, int width, int height, bool layered, bool dropShadow) {
    RegisterTargetClasses();
    windows[top] = CreateWindowExW(layered ? WS_EX_LAYERED : 0, dropShadow ? shadowClass : plainClass, L"Target",
                                   WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, x, y, width, height, nullptr,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(windows[top], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (layered) SetLayeredWindowAttributes(windows[top], 0, 255, LWA_ALPHA);
    windows[a] = Child(windows[top], true);
    windows[a1] = Child(windows[a], true);
    windows[b] = Child(windows[top], false);
    windows[b1] = Child(windows[b], true);
    windows[c] = Child(windows[top], true);
    Settle();
}

TargetTree::~TargetTree() {
    if (IsWindow(windows[top])) DestroyWindow(windows[top]);
}

void TargetTree::Settle() {
    RedrawWindow(windows[top], nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    TargetLog().clear();
}


Watchdog::Watchdog(DWORD timeoutMs, const char* what)
    : done(CreateEventW(nullptr, TRUE, FALSE, nullptr)), thread(nullptr), timeoutMs(timeoutMs), what(what) {
    thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

Watchdog::~Watchdog() {
    SetEvent(done);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(done);
}

DWORD WINAPI Watchdog::Run(LPVOID self) {
    auto* dog = static_cast<Watchdog*>(self);
    if (WaitForSingleObject(dog->done, dog->timeoutMs) == WAIT_TIMEOUT) {
        fprintf(stderr, "FATAL: %s did not finish within %lu ms\n", dog->what, dog->timeoutMs);
        fflush(stderr);
        ExitProcess(3);
    }
    return 0;
}
