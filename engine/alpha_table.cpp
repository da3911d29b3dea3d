// The table of windows made translucent, kept in the order they were first recorded.
#include "engine/alpha_table.h"
#include <new>
#include "core/app_state.h"

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
