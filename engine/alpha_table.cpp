// The table of windows made translucent, kept in the order they were first recorded, and its two
// application messages.
#include "engine/alpha_table.h"
#include <array>
#include <new>
#include "core/app_state.h"
#include "core/protocol.h"
#include "engine/layered.h"

namespace {
// How long the exit waits in all for programs slow to take their windows' last clear.
constexpr DWORD lateClearWait = 1500;
} // namespace

void AlphaTableSet(HWND window, BYTE alpha) {
    WindowAlphaEntry** link = &app.alphaTableHead;
    for (; *link; link = &(*link)->next) {
        if ((*link)->window == window) {
            (*link)->alpha = alpha;
            return;
        }
    }
    // Out of memory the window is simply not recorded: the tail link stays null.
    *link = new (std::nothrow) WindowAlphaEntry{window, alpha, nullptr};
}

void AlphaTableRemove(HWND window) {
    for (WindowAlphaEntry** link = &app.alphaTableHead; *link; link = &(*link)->next) {
        WindowAlphaEntry* entry = *link;
        if (entry->window == window) {
            *link = entry->next;
            delete entry;
            return;
        }
    }
}

bool AlphaTableFind(HWND window, BYTE* alpha) {
    for (const WindowAlphaEntry* entry = app.alphaTableHead; entry; entry = entry->next) {
        if (entry->window == window) {
            if (alpha) *alpha = entry->alpha;
            return true;
        }
    }
    return false;
}

int AlphaTableQuery(HWND window) {
    BYTE alpha = 0;
    return AlphaTableFind(window, &alpha) ? static_cast<int>(alpha) : -1;
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

Answer OnForgetWindow(HWND, WPARAM target, LPARAM) {
    AlphaTableRemove(reinterpret_cast<HWND>(target));
    return 0;
}

Answer OnGetAlpha(HWND, WPARAM target, LPARAM) { return AlphaTableQuery(reinterpret_cast<HWND>(target)); }
