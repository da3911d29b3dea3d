// The table of windows made translucent, kept in the order they were first recorded, and its two
// application messages.
#include "engine/alpha_table.h"
#include <array>
#include <new>
#include "app/main.h"
#include "engine/hook_library.h"
#include "engine/layered.h"

namespace {
// How long the exit waits in all for programs slow to take their windows' last clear.
constexpr DWORD lateClearWait = 1500;

BOOL CALLBACK AdoptMarked(HWND window, LPARAM) {
    int alpha = TakeOverMark(window, app.alphaMark, WS_EX_LAYERED);
    if (alpha >= 0) AlphaTableSet(window, static_cast<BYTE>(alpha));
    return TRUE;
}
} // namespace

// Every recorded window carries the alpha mark, so that what this program changed outlives it.
void AlphaTableSet(HWND window, BYTE alpha) {
    WindowAlphaEntry** link = &app.alphaTableHead;
    while (*link && (*link)->window != window) link = &(*link)->next;
    if (*link)
        (*link)->alpha = alpha;
    else if (!(*link = new (std::nothrow) WindowAlphaEntry{window, alpha, nullptr}))
        return; // out of memory the window is simply not recorded: the tail link stays null
    SetPropW(window, MAKEINTATOM(app.alphaMark), MarkValue(alpha));
}

void AlphaTableAdopt() { EnumWindows(AdoptMarked, 0); }

void AlphaTableRemove(HWND window) {
    for (WindowAlphaEntry** link = &app.alphaTableHead; *link; link = &(*link)->next) {
        WindowAlphaEntry* entry = *link;
        if (entry->window == window) {
            RemovePropW(window, MAKEINTATOM(app.alphaMark));
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

Answer OnForgetWindow(HWND, WPARAM target, LPARAM) {
    AlphaTableRemove(reinterpret_cast<HWND>(target));
    return 0;
}

Answer OnGetAlpha(HWND, WPARAM target, LPARAM) { return AlphaTableQuery(reinterpret_cast<HWND>(target)); }
