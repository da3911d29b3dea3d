// Applying and removing layered transparency on other programs' windows, under a snapshot curtain that
// hides the repaint, and keeping their drop shadows in step.
#include "engine/layered.h"
#include <array>
#include <new>
#include "core/app_state.h"
#include "core/protocol.h"
#include "engine/alpha_table.h"

namespace {
constexpr UINT classDropShadow = 0x00020000; // CS_DROPSHADOW, an XP class style
constexpr DWORD curtainExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST;
constexpr WCHAR curtainClass[] = L"VitreaFakeClass";
constexpr WCHAR curtainEventName[] = L"VitreaFakeWinEvent";
constexpr UINT hideQuietly = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE |
                             SWP_HIDEWINDOW | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING;
constexpr UINT showQuietly =
    SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING;
static_assert(hideQuietly == 0x069F && showQuietly == 0x0657);

// Handed from RaiseCurtain to the curtain thread; the thread gives it back by setting `shown`.
struct CurtainRequest {
    HWND curtain;
    LONG left, top, right, bottom;
    HDC capture;
    HANDLE shown;
};

// How long the main thread waits for another program's window to take a message. A program that lets this
// pass is hung or badly busy; waiting on it longer would freeze Vitrea's window, tray icon and menus too.
constexpr UINT otherProgramWait = 400;
// How long the exit waits in all for programs slow to take their windows' last clear.
constexpr DWORD lateClearWait = 1500;
// One apply sends a window several messages: once its thread has let one time out, each next one is
// preceded by a short look, long enough for a program that answers again, until it does or this long has
// passed.
constexpr UINT recheckWait = 50;
constexpr DWORD unresponsiveSpell = 5000;
DWORD unresponsiveThread;
DWORD unresponsiveSince;

bool InUnresponsiveSpell() { return unresponsiveThread && GetTickCount() - unresponsiveSince < unresponsiveSpell; }

bool HasDropShadow(HWND window) { return (GetClassLongW(window, GCL_STYLE) & classDropShadow) != 0; }

DWORD WINAPI CurtainThread(LPVOID parameter) {
    auto* request = static_cast<CurtainRequest*>(parameter);
    int width = request->right - request->left;
    int height = request->bottom - request->top;
    HWND curtain = CreateWindowExW(curtainExStyle, curtainClass, nullptr, WS_POPUP, request->left, request->top,
                                   width, height, nullptr, nullptr, app.instance, nullptr);
    request->curtain = curtain;
    if (curtain) {
        SetWindowPos(curtain, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        SIZE size = {width, height};
        POINT source = {0, 0};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, 0};
        app.updateLayeredWindow(curtain, nullptr, nullptr, &size, request->capture, &source, 0, &blend, ULW_ALPHA);
    }
    if (HANDLE named = OpenEventW(EVENT_ALL_ACCESS, TRUE, curtainEventName)) {
        SetEvent(named);
        CloseHandle(named);
    }
    HANDLE shown = request->shown;
    SetEvent(shown); // from here on the request belongs to the starter again
    // Without a curtain no WM_CLOSE will come, so there is no loop to wait in.
    if (!curtain) return 0;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<DWORD>(message.wParam);
}

// Starts the curtain thread and waits until it has shown the curtain (or given up); returns the curtain.
HWND ShowCurtain(CurtainRequest* request) {
    request->shown = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!request->shown) return nullptr;
    HANDLE named = CreateEventW(nullptr, FALSE, FALSE, curtainEventName);
    HANDLE thread = CreateThread(nullptr, 0, CurtainThread, request, 0, nullptr);
    if (thread) {
        // Any program can open and set the named event, so the hand-over waits on the private one, which only
        // the curtain thread sets once it is done with the request; the thread handle covers a thread that died.
        HANDLE waits[] = {request->shown, thread};
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        CloseHandle(thread);
    }
    if (named) CloseHandle(named);
    CloseHandle(request->shown);
    return request->curtain;
}

// The window's rectangle clipped to the primary screen; empty when none of it is on that screen.
RECT ClipToScreen(const RECT& window, int screenWidth, int screenHeight) {
    LONG x = window.left, y = window.top;
    LONG width = window.right - window.left, height = window.bottom - window.top;
    if (window.left < 0) {
        width += window.left;
        x = 0;
    }
    if (window.top < 0) {
        height += window.top;
        y = 0;
    }
    if (window.right > screenWidth) width = screenWidth - x;
    if (window.bottom > screenHeight) height = screenHeight - y;
    return {x, y, x + width, y + height};
}
} // namespace

void FindLayeredFunctions() {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    app.setLayeredWindowAttributes = ProcAddress<SetLayeredWindowAttributesFn>(user32, "SetLayeredWindowAttributes");
    app.updateLayeredWindow = ProcAddress<UpdateLayeredWindowFn>(user32, "UpdateLayeredWindow");
    app.getLayeredWindowAttributes = ProcAddress<GetLayeredWindowAttributesFn>(user32, "GetLayeredWindowAttributes");
}

bool SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The window's thread costs a look-up in the system each time, so it is only read while some thread is
    // known to have let a message time out, or once a message has.
    DWORD thread = InUnresponsiveSpell() ? GetWindowThreadProcessId(window, nullptr) : 0;
    DWORD_PTR result = 0;
    // A thread that let a message time out a moment ago first gets a short look with an empty message: one
    // still stuck costs little, one that has woken is served with the usual wait, however much work the
    // message itself asks of it.
    bool awake = !thread || thread != unresponsiveThread ||
                 SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, recheckWait, &result);
    if (awake && thread == unresponsiveThread) unresponsiveThread = 0;
    if (awake && SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                     otherProgramWait, &result))
        return true;
    if (!thread) thread = GetWindowThreadProcessId(window, nullptr);
    // A window destroyed meanwhile says nothing about its thread.
    if (thread && IsWindow(window)) {
        unresponsiveThread = thread;
        unresponsiveSince = GetTickCount();
    }
    return false;
}

bool SetStyleLayered(HWND window, bool layered) {
    if (SendToWindow(window, app.msgSetLayeredStyle, layered ? 1 : 0, 0)) {
        // The program answered, but without the library loaded, or with an older copy that did not act, the
        // style is unchanged: another program's window takes the change from here too.
        SetLayeredStyle(window, layered);
        return true;
    }
    // A send that gave up stays queued for the program, which carries it out once it answers again. A
    // request to clear the style queued behind it makes sure that what it then carries out leaves it
    // unlayered: neither an apply without its alpha nor a removal that was never sent.
    SendNotifyMessageW(window, app.msgSetLayeredStyle, 0, 0);
    return false;
}

HWND RaiseCurtain(HWND window) {
    RECT bounds;
    if (!GetWindowRect(window, &bounds)) return nullptr;
    HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    RECT area = ClipToScreen(bounds, GetDeviceCaps(display, HORZRES), GetDeviceCaps(display, VERTRES));
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) { // wholly off the primary screen: nothing to cover
        DeleteDC(display);
        return nullptr;
    }
    HDC capture = CreateCompatibleDC(display);
    HBITMAP bitmap = CreateCompatibleBitmap(display, width, height);
    HGDIOBJ previous = SelectObject(capture, bitmap);
    // CAPTUREBLT takes layered windows on the screen into the snapshot too.
    BitBlt(capture, 0, 0, width, height, display, area.left, area.top, SRCCOPY | CAPTUREBLT);
    DeleteDC(display);

    HWND curtain = nullptr;
    if (auto* request = new (std::nothrow) CurtainRequest{nullptr, area.left, area.top, area.right, area.bottom,
                                                          capture, nullptr}) {
        curtain = ShowCurtain(request);
        delete request;
    }
    SelectObject(capture, previous);
    DeleteObject(bitmap);
    DeleteDC(capture);
    return curtain;
}

LRESULT CALLBACK CurtainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

void RepaintDescendants(HWND window) {
    HWND current = GetWindow(window, GW_CHILD);
    while (current) {
        if (IsWindowVisible(current)) {
            // A program that stopped answering gets no more waits: the rest of the walk is left out.
            if (!SendToWindow(current, WM_PAINT, 0, 0) && IsWindow(current)) return;
            if (HWND child = GetWindow(current, GW_CHILD)) {
                current = child;
                continue;
            }
        }
        // Next sibling, else climb until an ancestor below the window has one. A window destroyed meanwhile
        // has neither sibling nor parent, which ends the walk.
        for (;;) {
            if (HWND next = GetWindow(current, GW_HWNDNEXT)) {
                current = next;
                break;
            }
            current = GetAncestor(current, GA_PARENT);
            if (!current || current == window || current == GetDesktopWindow()) return;
        }
    }
}

void SyncDropShadow(HWND window, BYTE alpha) {
    RECT bounds;
    GetWindowRect(window, &bounds);
    HWND shadow = nullptr;
    for (HWND candidate = FindWindowExW(nullptr, nullptr, L"SysShadow", nullptr); candidate;
         candidate = FindWindowExW(nullptr, candidate, L"SysShadow", nullptr)) {
        RECT place;
        if (GetWindowRect(candidate, &place) && place.left == bounds.left && place.top == bounds.top &&
            place.right == bounds.right + 5 && place.bottom == bounds.bottom + 5) {
            shadow = candidate;
            break;
        }
    }
    if (!shadow) return;
    BYTE shadowAlpha = alpha == 255 ? 254 : alpha;
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, shadowAlpha, 0};
    // A shadow layered through SetLayeredWindowAttributes refuses UpdateLayeredWindow by design.
    if (!app.updateLayeredWindow(shadow, nullptr, nullptr, nullptr, nullptr, nullptr, 0, &blend, ULW_ALPHA))
        app.setLayeredWindowAttributes(shadow, 0, shadowAlpha, LWA_ALPHA);
}

namespace {
// Whether a window's class carries a drop shadow, as its latest apply found: reading the class of another
// program's window costs more than an alpha change itself. Each apply reads its window's class again, so a
// handle that comes back for a new window is never answered from its old note.
struct ShadowNote {
    HWND window;
    bool shadow;
};
constexpr unsigned shadowNoteCount = 32;
ShadowNote shadowNotes[shadowNoteCount];
unsigned nextShadowNote;

bool NoteDropShadow(HWND window) {
    ShadowNote* slot = &shadowNotes[nextShadowNote % shadowNoteCount];
    for (ShadowNote& note : shadowNotes)
        if (note.window == window) slot = &note;
    if (slot->window != window) ++nextShadowNote;
    *slot = {window, HasDropShadow(window)};
    return slot->shadow;
}

bool NotedDropShadow(HWND window) {
    for (const ShadowNote& note : shadowNotes)
        if (note.window == window) return note.shadow;
    return NoteDropShadow(window);
}
} // namespace

// A window recorded here passed the checks of a first apply under the same handle, so while it is still
// layered a new alpha is the one call, which fails for a window that has gone or lost its layering: that
// one takes the whole road. The taskbar always does, for its settings' sake.
bool ChangeRecordedAlpha(HWND window, BYTE alpha) {
    if (window == app.taskbarWindow || !AlphaTableFind(window, nullptr) ||
        !app.setLayeredWindowAttributes(window, 0, alpha, LWA_ALPHA))
        return false;
    AlphaTableSet(window, alpha);
    if (NotedDropShadow(window)) SyncDropShadow(window, alpha);
    return true;
}

bool ApplyWindowAlpha(HWND window, BYTE alpha) {
    bool applied = true;
    if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) {
        app.setLayeredWindowAttributes(window, 0, alpha, LWA_ALPHA);
    } else {
        HWND curtain = RaiseCurtain(window);
        applied = SetStyleLayered(window, true);
        if (applied) {
            app.setLayeredWindowAttributes(window, 0, alpha, LWA_ALPHA);
            if (SendToWindow(window, WM_PAINT, 0, 0)) RepaintDescendants(window);
        }
        if (curtain) SendMessageW(curtain, WM_CLOSE, 0, 0); // the curtain is this program's own
    }
    if (applied && NoteDropShadow(window)) SyncDropShadow(window, alpha);
    return applied;
}

void RemoveWindowAlpha(HWND window) {
    // Only Windows 2000 needs this, and only for a window reaching off the left or top edge: it is hidden
    // under a curtain while its layering is cleared.
    RECT bounds;
    // Hiding and showing another program's window waits for that program, so only one that answers is hidden.
    bool hidden = !app.isXP && GetWindowRect(window, &bounds) && (bounds.left < 0 || bounds.top < 0) &&
                  SendToWindow(window, WM_NULL, 0, 0);
    HWND curtain = nullptr;
    if (hidden) {
        curtain = RaiseCurtain(window);
        SetWindowPos(window, nullptr, 0, 0, 0, 0, hideQuietly);
    }
    bool cleared = SetStyleLayered(window, false);
    // Until its program clears the style, the window is at least opaque again.
    if (!cleared) app.setLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
    if (hidden) {
        SetWindowPos(window, nullptr, 0, 0, 0, 0, showQuietly | (cleared ? 0 : SWP_ASYNCWINDOWPOS));
        RepaintDescendants(window);
        if (curtain) SendMessageW(curtain, WM_CLOSE, 0, 0);
    }
    if (HasDropShadow(window)) SyncDropShadow(window, 255);
}

void AlphaTableClear() {
    // A clear that timed out stays queued for its program, and only the hook library, still loaded until this
    // program ends, can carry it out: windows of slow programs get a last short wait before it goes.
    std::array<HWND, 32> late = {};
    size_t lateCount = 0;
    while (WindowAlphaEntry* head = app.alphaTableHead) {
        // Unlinked before the restore: its SendMessage lets other programs' requests in, and a nested
        // APPMSG_FORGETWINDOW must not free the entry under this loop.
        app.alphaTableHead = head->next;
        RemovePropW(head->window, MAKEINTATOM(app.alphaMark));
        RemoveWindowAlpha(head->window);
        if (lateCount < late.size() && (GetWindowLongW(head->window, GWL_EXSTYLE) & WS_EX_LAYERED))
            late[lateCount++] = head->window;
        delete head;
    }
    DWORD start = GetTickCount();
    for (size_t i = 0; i < lateCount; ++i) {
        DWORD spent = GetTickCount() - start;
        if (spent >= lateClearWait) break;
        // Sent messages are taken in order: once this one is answered, the queued clears were carried out.
        DWORD_PTR result;
        SendMessageTimeoutW(late[i], WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, lateClearWait - spent, &result);
    }
}

