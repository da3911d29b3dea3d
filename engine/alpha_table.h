#pragma once
#include <windows.h>
#include "core/answer.h"

// The windows whose transparency the program applied, in the order they were first recorded.
struct WindowAlphaEntry {
    HWND window;
    BYTE alpha;
    WindowAlphaEntry* next;
};

void AlphaTableSet(HWND window, BYTE alpha);
void AlphaTableRemove(HWND window);
bool AlphaTableFind(HWND window, BYTE* alpha);
int AlphaTableQuery(HWND window);
// Restores every recorded window in table order and empties the table; at exit only: it waits a moment
// for programs slow to take their last clear.
void AlphaTableClear();

Answer OnForgetWindow(HWND window, WPARAM target, LPARAM lParam);
Answer OnGetAlpha(HWND window, WPARAM target, LPARAM lParam);
