// The table of windows made translucent, kept in the order they were first recorded.
#include "engine/alpha_table.h"
#include <new>
#include "core/app_state.h"
#include "core/protocol.h"

namespace {
// The alpha a marked window shows now, which the system tells where it can; else the one its mark carries.
BOOL CALLBACK AdoptMarked(HWND window, LPARAM) {
    int alpha = TakeOverMark(window, app.alphaMark, WS_EX_LAYERED);
    BYTE shown = 0;
    DWORD flags = 0;
    if (alpha >= 0 && app.getLayeredWindowAttributes &&
        app.getLayeredWindowAttributes(window, nullptr, &shown, &flags) && (flags & LWA_ALPHA))
        alpha = shown;
    if (alpha >= 0) AlphaTableSet(window, static_cast<BYTE>(alpha));
    return TRUE;
}
} // namespace

// Every recorded window carries the alpha mark, so that what this program changed outlives it. Writing a
// property of another program's window costs as much as a change of alpha itself, so the mark is written
// once, when the window is recorded, wherever the system can tell a later Vitrea the alpha it shows.
void AlphaTableSet(HWND window, BYTE alpha) {
    WindowAlphaEntry** link = &app.alphaTableHead;
    while (*link && (*link)->window != window) link = &(*link)->next;
    bool known = *link != nullptr;
    if (known)
        (*link)->alpha = alpha;
    else if (!(*link = new (std::nothrow) WindowAlphaEntry{window, alpha, nullptr}))
        return; // out of memory the window is simply not recorded: the tail link stays null
    if (!known || !app.getLayeredWindowAttributes) SetPropW(window, MAKEINTATOM(app.alphaMark), MarkValue(alpha));
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
