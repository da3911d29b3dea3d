// Vitrea.dll: the hook library. Inside Vitrea's process it watches the keyboard and the mouse (low-level
// hooks on a thread of its own), Vitrea's menus and settings (hooks on Vitrea's main thread), and reports
// to the settings window. Inside every other GUI process it only sets the layered style on request and
// tells Vitrea, without waiting, that a top-level window is going away.
#include <windows.h>
#include <atomic>
#include "core/desktop.h"
#include "core/menu_ids.h"
#include "core/protocol.h"
#include "hook/keys.h"

// One copy for all processes: written by the process that owns the library (Vitrea) only.
__attribute__((section(".shared"), shared)) DWORD ownerProcess = 0;
__attribute__((section(".shared"), shared)) HHOOK callWndProcHook = nullptr;
__attribute__((section(".shared"), shared)) HHOOK cbtHook = nullptr;

namespace {
HINSTANCE moduleInstance;
UINT msgSetLayeredStyle;

// Thread messages of the library's worker thread.
enum : UINT {
    workChord = WM_APP + 1,     // wParam keys::Action, lParam alpha
    workMouseMoved = WM_APP + 2, // the latest point is in latestPoint
    workWindowGone = WM_APP + 3, // wParam a top-level window being destroyed, from any process
    workHoverOff = WM_APP + 4,   // wParam 1: fade-in went off (leave the taskbar), 0: transparency went off
    workWheel = WM_APP + 5,      // wParam the wheel's signed delta, lParam the point (Packed)
};

// Vitrea's side, set by InitializeDll; zero in every other process.
HWND mainWindow;
DWORD mainThread;
HHOOK msgFilterHook;
HANDLE hookThread, workerThread;
DWORD hookThreadId, workerThreadId;

// The settings the hooks act on, copied from each APPMSG_SETTING once it has been handled.
std::atomic<bool> shortcutOn, taskbarOn, fadeInOn;
std::atomic<BYTE> shortcutByte;

// Menus: Vitrea's own are those tracked between its APPMSG_MENUTRACK create and free.
bool menusTracked;
int openMenuWindows;

// A screen point in one message parameter or atomic word.
LONG Packed(POINT at) { return static_cast<LONG>(MAKELONG(at.x, at.y)); }
POINT Unpacked(LONG packed) { return {static_cast<SHORT>(LOWORD(packed)), static_cast<SHORT>(HIWORD(packed))}; }

std::atomic<LONG> latestPoint;
std::atomic<bool> movePending;
// Where the worker last saw the taskbar, and whether the mouse is over it: moves far from it are handed on
// only a few times a second, so the rectangle is kept fresh without a message per move.
std::atomic<LONG> barLeft, barTop, barRight, barBottom;
std::atomic<bool> overTaskbar;
constexpr DWORD barRefreshMs = 250;

constexpr WORD maskKey = 0xE8; // unassigned: a press and release between Alt's keeps its release from the menu bar
constexpr ULONG_PTR ownInput = 0x56495452; // marks the keys this library sends itself
constexpr UINT replyTimeoutMs = 2000;
constexpr UINT applyTimeoutMs = 5000; // applying alpha raises a curtain and repaints the window

bool ProcessAlive(DWORD id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process) return false;
    bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
}

// The worker of the Vitrea running now, or 0. A copy of the library serves that Vitrea, whichever loaded the
// copy: an upgrade leaves the old copy loaded in running programs under the library's name, and the new
// Vitrea's hooks then run in it. A Vitrea that has ended serves no one, even where a runtime keeps a killed
// program's hooks or window in place.
DWORD LiveWorker() {
    for (HWND window = FindWindowW(mainClassName, mainTitle); window;
         window = FindWindowExW(nullptr, window, mainClassName, mainTitle)) {
        auto worker = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(GetPropW(window, workerProperty)));
        DWORD process = 0;
        if (worker && GetWindowThreadProcessId(window, &process) &&
            (process == GetCurrentProcessId() || ProcessAlive(process)))
            return worker;
    }
    return 0;
}

// The look-up is made for this rare message only.
LRESULT CALLBACK CallWndProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (message && msgSetLayeredStyle && message->message == msgSetLayeredStyle && LiveWorker())
            SetLayeredStyle(message->hwnd, message->wParam != 0);
    }
    return CallNextHookEx(callWndProcHook, code, wParam, lParam);
}

// ---- Menus, on Vitrea's main thread

bool IsOwnMenuWindow(HWND window) {
    WCHAR name[8] = {};
    return window && GetWindowThreadProcessId(window, nullptr) == mainThread && GetClassNameW(window, name, 8) &&
           lstrcmpW(name, L"#32768") == 0;
}

LRESULT ReportMenu(WPARAM event, LPARAM detail) { return SendMessageW(mainWindow, APPMSG_MENUTRACK, event, detail); }

// Commands that open another window close the menu first; settings leave it open for the next click.
LPARAM ReleaseClosesMenu(HWND menuWindow, POINT at) {
    auto menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    if (!menu) return 0;
    int position = MenuItemFromPoint(nullptr, menu, at);
    if (position < 0) return 0;
    UINT id = GetMenuItemID(menu, position);
    return RowOpensWindow(id);
}

// A press is reported and passed on, so the menu selects and opens as usual; a release on Vitrea's own
// menus is reported and then swallowed, so the system never runs the item or closes the menu itself.
bool FilterMenuButton(const MSG& message) {
    bool press;
    switch (message.message) {
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN: case WM_NCRBUTTONDOWN: case WM_NCLBUTTONDBLCLK: case WM_NCRBUTTONDBLCLK:
        press = true;
        break;
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_NCLBUTTONUP: case WM_NCRBUTTONUP: press = false; break;
    default: return false;
    }
    HWND menuWindow = WindowFromPoint(message.pt);
    if (!IsOwnMenuWindow(menuWindow)) return false;
    if (press) {
        ReportMenu(menuButtonPressed, 0);
        return false;
    }
    ReportMenu(menuButtonReleased, ReleaseClosesMenu(menuWindow, message.pt));
    return menusTracked;
}

LRESULT CALLBACK MessageFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_MENU && lParam && FilterMenuButton(*reinterpret_cast<const MSG*>(lParam))) return 1;
    return CallNextHookEx(msgFilterHook, code, wParam, lParam);
}

// Main thread only: a killed Vitrea's copies of this hook can stay in the chain under some runtimes, and
// each would report the same menu window again.
bool inCbtChain;

// Runs in every process: menu windows of Vitrea's main thread are reported at once; any other top-level
// window going away is only posted to Vitrea's worker, never waited for.
LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
    bool onMainThread = GetCurrentThreadId() == mainThread;
    if ((code == HCBT_CREATEWND || code == HCBT_DESTROYWND) && !(onMainThread && inCbtChain)) {
        auto window = reinterpret_cast<HWND>(wParam);
        bool created = code == HCBT_CREATEWND;
        if (onMainThread && IsOwnMenuWindow(window)) {
            openMenuWindows += created ? 1 : -1;
            ReportMenu(created ? menuWindowShown : menuWindowGone, wParam);
            if (openMenuWindows <= 0) {
                openMenuWindows = 0;
                menusTracked = false; // whatever opens next without Vitrea's announcement is not its own
            }
        }
        if (!created && !(GetWindowLongW(window, GWL_STYLE) & WS_CHILD))
            if (DWORD worker = LiveWorker()) PostThreadMessageW(worker, workWindowGone, wParam, 0);
    }
    if (!onMainThread) return CallNextHookEx(cbtHook, code, wParam, lParam);
    bool outer = !inCbtChain;
    inCbtChain = true;
    LRESULT result = CallNextHookEx(cbtHook, code, wParam, lParam);
    if (outer) inCbtChain = false;
    return result;
}

void FollowSetting(WPARAM code, LPARAM value) {
    switch (code) {
    case settingShortcutOn: shortcutOn = value != 0; break;
    case settingShortcutByte: shortcutByte = LOBYTE(value); break;
    case settingTaskbarOn:
        taskbarOn = value != 0;
        if (!value) PostThreadMessageW(workerThreadId, workHoverOff, 0, 0);
        break;
    case settingFadeIn:
        fadeInOn = value != 0;
        if (!value) PostThreadMessageW(workerThreadId, workHoverOff, 1, 0);
        break;
    }
}

// ---- The worker thread: everything that waits for Vitrea or for another program

bool Ask(UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs, LRESULT& result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(mainWindow, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG, timeoutMs,
                             &answer))
        return false;
    result = static_cast<LRESULT>(answer);
    return true;
}
void Tell(UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs = replyTimeoutMs) {
    LRESULT ignored;
    Ask(message, wParam, lParam, timeoutMs, ignored);
}
WPARAM Handle(HWND window) { return reinterpret_cast<WPARAM>(window); }

// Windows the shortcut pinned on top, so that Vitrea never leaves one pinned after it exits. Each carries the
// pin mark, so that a Vitrea started after one ended by force takes it over.
HWND pinned[64];
ATOM pinMark;

void Unpin(HWND window) {
    for (HWND& slot : pinned)
        if (slot == window) {
            slot = nullptr;
            RemovePropW(window, MAKEINTATOM(pinMark));
        }
}
bool RememberPinned(HWND window) {
    for (HWND& slot : pinned)
        if (slot && !IsWindow(slot)) slot = nullptr;
    for (HWND& slot : pinned) {
        if (slot) continue;
        slot = window;
        SetPropW(window, MAKEINTATOM(pinMark), MarkValue(0));
        return true;
    }
    return false; // full: better not to pin than to leave a window pinned after exit
}
// Asynchronous, so a hung program in front never holds up the worker.
void SetTopmost(HWND window, bool on) {
    SetWindowPos(window, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
}
void ToggleTopmost(HWND window) {
    if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) {
        SetTopmost(window, false);
        Unpin(window);
    } else if (RememberPinned(window)) {
        SetTopmost(window, true);
    }
}

// A top-level window the shortcut may change: never the desktop (the shell's windows behind the icons, or
// the root window under every window), and the taskbar only when `taskbarToo`.
bool Changeable(HWND root, bool taskbarToo) {
    WCHAR name[16] = {};
    if (!root || root == GetDesktopWindow() || !IsWindow(root) || !GetClassNameW(root, name, 16)) return false;
    if (IsDesktopClass(name)) return false;
    return taskbarToo || lstrcmpW(name, L"Shell_TrayWnd") != 0;
}

// The top-level window the user works in.
HWND ChordTarget() {
    HWND foreground = GetForegroundWindow();
    HWND root = foreground ? GetAncestor(foreground, GA_ROOT) : nullptr;
    return Changeable(root, true) ? root : nullptr;
}

// + and - pressed `steps` times (negative for -), from the alpha Vitrea recorded.
void StepAlpha(HWND target, int steps) {
    LRESULT recorded;
    if (!Ask(APPMSG_GETALPHA, Handle(target), 0, replyTimeoutMs, recorded)) return;
    int current = recorded < 0 ? 255 : static_cast<int>(recorded);
    int next = keys::FineTunedBy(static_cast<int>(recorded), steps);
    if (next != current) Tell(APPMSG_SETALPHA, Handle(target), next, applyTimeoutMs);
}

void RunChord(keys::Action action, BYTE alpha) {
    HWND target = ChordTarget();
    if (!target) return;
    switch (action) {
    case keys::Action::level: Tell(APPMSG_SETALPHA, Handle(target), alpha, applyTimeoutMs); break;
    case keys::Action::raise: StepAlpha(target, 1); break;
    case keys::Action::lower: StepAlpha(target, -1); break;
    case keys::Action::remove: Tell(APPMSG_SETALPHA, Handle(target), alphaRemoveRequest, applyTimeoutMs); break;
    case keys::Action::topmost: ToggleTopmost(target); break;
    case keys::Action::none: break;
    }
}

HWND taskbar;

// Found again once the shell has made a new one.
HWND Taskbar() {
    if (!taskbar || !IsWindow(taskbar)) taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    return taskbar;
}

void FollowMouse() {
    movePending = false;
    if (!taskbarOn || !fadeInOn) return;
    POINT at = Unpacked(latestPoint);
    HWND bar = Taskbar();
    RECT place = {};
    if (bar) GetWindowRect(bar, &place);
    barLeft = place.left;
    barTop = place.top;
    barRight = place.right;
    barBottom = place.bottom;
    HWND under = WindowFromPoint(at);
    bool over = bar && under && GetAncestor(under, GA_ROOT) == bar;
    if (over == overTaskbar) return;
    overTaskbar = over;
    Tell(APPMSG_TASKBARHOVER, Handle(bar), over ? hoverEntered : hoverLeft);
}

// Fade-in switched off over the taskbar: fade back now, or the taskbar would stay opaque. Transparency
// switched off: the settings window has already restored the taskbar.
void HoverOff(bool fadeInWentOff) {
    if (overTaskbar && fadeInWentOff && taskbarOn) Tell(APPMSG_TASKBARHOVER, Handle(Taskbar()), hoverLeft);
    overTaskbar = false;
}

// The wheel acts on the top-level window under the mouse, wherever it is in the order of windows, but
// never on the taskbar (its buttons are inside it), the desktop or a window of Vitrea.
HWND WheelTarget(POINT at) {
    HWND under = WindowFromPoint(at);
    HWND root = under ? GetAncestor(under, GA_ROOT) : nullptr;
    DWORD process = 0;
    if (!Changeable(root, false) || !GetWindowThreadProcessId(root, &process) || process == GetCurrentProcessId())
        return nullptr;
    return root;
}

HWND wheelWindow; // where the part of a notch in wheelRest was turned
int wheelRest;

void Wheel(int delta, POINT at) {
    HWND target = WheelTarget(at);
    if (target != wheelWindow) wheelRest = 0;
    wheelWindow = target;
    keys::Notches notches = keys::WheelNotches(wheelRest, delta);
    wheelRest = notches.rest;
    if (target && notches.whole) StepAlpha(target, notches.whole);
}

void WindowGone(HWND window) {
    Unpin(window);
    LRESULT recorded;
    if (Ask(APPMSG_GETALPHA, Handle(window), 0, replyTimeoutMs, recorded) && recorded != -1)
        Tell(APPMSG_FORGETWINDOW, Handle(window), 0);
}

DWORD WINAPI WorkerMain(LPVOID ready) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE); // the queue exists before anyone posts to it
    SetEvent(static_cast<HANDLE>(ready));
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        switch (message.message) {
        case workChord:
            RunChord(static_cast<keys::Action>(message.wParam), LOBYTE(message.lParam));
            break;
        case workMouseMoved: FollowMouse(); break;
        case workWindowGone: WindowGone(reinterpret_cast<HWND>(message.wParam)); break;
        case workHoverOff: HoverOff(message.wParam != 0); break;
        case workWheel: Wheel(static_cast<int>(message.wParam), Unpacked(static_cast<LONG>(message.lParam))); break;
        }
    }
    return 0;
}

// ---- The hook thread: low-level hooks whose callbacks decide at once and hand the work on

HHOOK keyboardHook, mouseHook;
bool heldLeft[8], heldRight[8]; // by modifier bit
bool swallowed[256];            // chord keys taken on their press, so their release is taken too

BYTE HeldModifiers() {
    BYTE held = 0;
    for (BYTE bit : {keys::alt, keys::ctrl, keys::shift})
        if (heldLeft[bit] || heldRight[bit]) held |= bit;
    return held;
}

bool maskAltRelease; // a chord was completed while Alt was held

// The user's Alt release is taken and sent again behind a masking press and release, all in one SendInput,
// so the program in front sees another key between Alt's press and release in every case and its menu bar
// stays inactive.
void ReleaseAltMasked(const KBDLLHOOKSTRUCT& alt) {
    INPUT input[3] = {};
    for (INPUT& key : input) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = maskKey;
        key.ki.dwFlags = KEYEVENTF_KEYUP;
        key.ki.dwExtraInfo = ownInput;
    }
    input[0].ki.dwFlags = 0;
    input[2].ki.wVk = static_cast<WORD>(alt.vkCode);
    input[2].ki.wScan = static_cast<WORD>(alt.scanCode);
    if (alt.flags & LLKHF_EXTENDED) input[2].ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    SendInput(3, input, sizeof(INPUT));
}

bool PrefixHeld(BYTE shortcut) {
    BYTE prefix = keys::PrefixMask(shortcut);
    return shortcutOn && prefix && (HeldModifiers() & prefix) == prefix;
}

bool TakeKey(const KBDLLHOOKSTRUCT& key, bool down) {
    DWORD vk = key.vkCode & 0xFF;
    bool extended = (key.flags & LLKHF_EXTENDED) != 0;
    if ((key.flags & LLKHF_INJECTED) && key.dwExtraInfo == ownInput) return false;
    if (BYTE modifier = keys::ModifierOf(vk)) {
        // An extended Shift is the keyboard's own stand-in around keypad keys, not the user's hand.
        if (modifier == keys::shift && extended && vk != VK_RSHIFT) return false;
        (keys::RightHand(vk, extended) ? heldRight : heldLeft)[modifier] = down;
        if (modifier != keys::alt || down || !maskAltRelease) return false;
        maskAltRelease = (HeldModifiers() & keys::alt) != 0; // the other Alt is still down
        ReleaseAltMasked(key);
        return true;
    }
    if (!down) {
        bool taken = swallowed[vk];
        swallowed[vk] = false;
        return taken;
    }
    BYTE shortcut = shortcutByte;
    if (!PrefixHeld(shortcut)) return false;
    keys::Chord chord = keys::ChordOf(vk, extended, keys::FunctionKeySet(shortcut));
    if (chord.action == keys::Action::none) return false;
    bool repeat = swallowed[vk];
    swallowed[vk] = true;
    bool steps = chord.action == keys::Action::raise || chord.action == keys::Action::lower;
    if (HeldModifiers() & keys::alt) maskAltRelease = true;
    if (!repeat || steps)
        PostThreadMessageW(workerThreadId, workChord, static_cast<WPARAM>(chord.action), chord.alpha);
    return true;
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && lParam &&
        TakeKey(*reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam), wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN))
        return 1;
    return CallNextHookEx(keyboardHook, code, wParam, lParam);
}

// With the prefix held the wheel belongs to the shortcut wherever the mouse is, as a chord key does with the
// desktop in front: the notch is taken and the worker finds the window under the point. Telling the
// desktop, the taskbar or Vitrea apart here would mean window look-ups on the thread every mouse event of
// the desktop waits for; a notch turned over them with the prefix held is simply used up.
bool TakeWheel(const MSLLHOOKSTRUCT& mouse) {
    if (!PrefixHeld(shortcutByte)) return false;
    if (HeldModifiers() & keys::alt) maskAltRelease = true;
    auto delta = static_cast<SHORT>(HIWORD(mouse.mouseData));
    PostThreadMessageW(workerThreadId, workWheel, static_cast<WPARAM>(static_cast<int>(delta)), Packed(mouse.pt));
    return true;
}

void FollowMove(const MSLLHOOKSTRUCT& mouse) {
    latestPoint = Packed(mouse.pt);
    static DWORD lastHandedOn;
    DWORD now = GetTickCount();
    bool nearBar = mouse.pt.x >= barLeft && mouse.pt.x < barRight && mouse.pt.y >= barTop && mouse.pt.y < barBottom;
    // One message in flight at most: the worker reads the latest point when it gets to it.
    if ((nearBar || overTaskbar || now - lastHandedOn >= barRefreshMs) && !movePending.exchange(true)) {
        lastHandedOn = now;
        PostThreadMessageW(workerThreadId, workMouseMoved, 0, 0);
    }
}

LRESULT CALLBACK MouseProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && lParam) {
        const auto& mouse = *reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        if (wParam == WM_MOUSEWHEEL && TakeWheel(mouse)) return 1;
        if (wParam == WM_MOUSEMOVE && taskbarOn && fadeInOn) FollowMove(mouse);
    }
    return CallNextHookEx(mouseHook, code, wParam, lParam);
}

DWORD WINAPI HookThreadMain(LPVOID ready) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    // Every key and mouse move of the desktop waits for this thread's answer: it must win the processor.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    keyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardProc, moduleInstance, 0);
    mouseHook = SetWindowsHookExW(WH_MOUSE_LL, MouseProc, moduleInstance, 0);
    SetEvent(static_cast<HANDLE>(ready));
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    if (keyboardHook) UnhookWindowsHookEx(keyboardHook);
    if (mouseHook) UnhookWindowsHookEx(mouseHook);
    keyboardHook = mouseHook = nullptr;
    return 0;
}

BOOL CALLBACK AdoptPinned(HWND window, LPARAM) {
    if (TakeOverMark(window, pinMark, WS_EX_TOPMOST) >= 0) RememberPinned(window);
    return TRUE;
}

HANDLE StartThread(LPTHREAD_START_ROUTINE routine, DWORD& id) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, routine, ready, 0, &id);
    if (thread) WaitForMultipleObjects(2, std::array<HANDLE, 2>{ready, thread}.data(), FALSE, INFINITE);
    CloseHandle(ready);
    return thread;
}

void StopThread(HANDLE& thread, DWORD id) {
    if (!thread) return;
    PostThreadMessageW(id, WM_QUIT, 0, 0);
    // Every wait of these threads is bounded; if one still runs, the library stays loaded under it.
    if (WaitForSingleObject(thread, 10000) != WAIT_OBJECT_0) {
        WCHAR path[MAX_PATH];
        if (GetModuleFileNameW(moduleInstance, path, MAX_PATH)) LoadLibraryW(path);
    }
    CloseHandle(thread);
    thread = nullptr;
}

// The caller must be the thread of a window of its own, and no other live process may own the library.
bool AcceptOwner(HWND window) {
    DWORD process = 0;
    if (mainWindow || !window || !IsWindow(window)) return false;
    if (GetWindowThreadProcessId(window, &process) != GetCurrentThreadId() || process != GetCurrentProcessId())
        return false;
    DWORD owner = ownerProcess;
    return !owner || owner == process || !ProcessAlive(owner);
}

void Unhook(HHOOK& hook) {
    if (hook) UnhookWindowsHookEx(hook);
    hook = nullptr;
}
} // namespace

// A global hook reaches another program as the library's path and an offset into it. A program that ran
// through an upgrade still holds the older copy under that path, and is handed the newer build's offsets: so
// the entries sit first in the code, a jump each at the same offset in every build, and lead into whichever
// copy's own procedures they are in.
extern "C" {
LRESULT CALLBACK CbtEntry(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK CallWndProcEntry(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK CopysCbtProc(int code, WPARAM wParam, LPARAM lParam) { return CbtProc(code, wParam, lParam); }
LRESULT CALLBACK CopysCallWndProc(int code, WPARAM wParam, LPARAM lParam) {
    return CallWndProc(code, wParam, lParam);
}
__attribute__((naked, section(".text$"))) void HookEntries() {
    asm("_CbtEntry@12: jmp _CopysCbtProc@12\n"
        "_CallWndProcEntry@12: jmp _CopysCallWndProc@12\n");
}
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        DisableThreadLibraryCalls(instance);
        // Registered names map to the same number in every process, so each copy learns it on its own.
        msgSetLayeredStyle = RegisterWindowMessageW(setLayeredStyleMessage);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) void InitializeDll(SetHooks hooks) {
    if (!AcceptOwner(hooks.mainWindow)) return;
    mainWindow = hooks.mainWindow;
    mainThread = GetCurrentThreadId();
    shortcutOn = hooks.shortcutEnabled != 0;
    taskbarOn = hooks.taskbarEnabled != 0;
    fadeInOn = hooks.fadeInEnabled != 0;
    shortcutByte = hooks.shortcutByte;
    ownerProcess = GetCurrentProcessId();
    // Before the worker starts, which owns the pinned list from then on.
    pinMark = GlobalAddAtomW(pinMarkName);
    EnumWindows(AdoptPinned, 0);
    workerThread = StartThread(WorkerMain, workerThreadId);
    if (workerThread)
        SetPropW(mainWindow, workerProperty, reinterpret_cast<HANDLE>(ULONG_PTR{workerThreadId}));
    hookThread = StartThread(HookThreadMain, hookThreadId);
    msgFilterHook = SetWindowsHookExW(WH_MSGFILTER, MessageFilter, nullptr, mainThread);
    cbtHook = SetWindowsHookExW(WH_CBT, CbtEntry, moduleInstance, 0);
    callWndProcHook = SetWindowsHookExW(WH_CALLWNDPROC, CallWndProcEntry, moduleInstance, 0);
}

extern "C" __declspec(dllexport) void UninitializeDll() {
    if (!mainWindow || GetCurrentThreadId() != mainThread) return;
    Unhook(callWndProcHook);
    Unhook(cbtHook);
    Unhook(msgFilterHook);
    RemovePropW(mainWindow, workerProperty); // nothing left to remove once the window is destroyed
    StopThread(hookThread, hookThreadId);
    StopThread(workerThread, workerThreadId);
    for (HWND window : pinned) {
        if (!window) continue;
        if (IsWindow(window) && (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST)) SetTopmost(window, false);
        Unpin(window);
    }
    ownerProcess = 0;
    mainWindow = nullptr;
    mainThread = 0;
}

// Vitrea's settings window hands on every settings change and every start and end of its own menus once it
// has handled them, whoever sent them: a hook on its thread to watch for them would tax each of its messages.
extern "C" __declspec(dllexport) void FollowVitrea(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!mainWindow || GetCurrentThreadId() != mainThread) return;
    if (message == APPMSG_SETTING) FollowSetting(wParam, lParam);
    if (message == APPMSG_MENUTRACK && (wParam == menuTrackCreate || wParam == menuTrackFree))
        menusTracked = wParam == menuTrackCreate;
}
