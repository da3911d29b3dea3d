// The table of windows made translucent, kept in the order they were first recorded, and its two
// application messages.
#include "engine/alpha_table.h"
#include <new>
#include "app/main.h"
#include "engine/layered.h"

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
    while (WindowAlphaEntry* head = app.alphaTableHead) {
        // Unlinked before the restore: its SendMessage lets other programs' requests in, and a nested
        // APPMSG_FORGETWINDOW must not free the entry under this loop.
        app.alphaTableHead = head->next;
        RemoveWindowAlpha(head->window);
        delete head;
    }
}

Answer OnForgetWindow(HWND, WPARAM target, LPARAM) {
    AlphaTableRemove(reinterpret_cast<HWND>(target));
    return 0;
}

Answer OnGetAlpha(HWND, WPARAM target, LPARAM) { return AlphaTableQuery(reinterpret_cast<HWND>(target)); }
