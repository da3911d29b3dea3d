#pragma once
#include <windows.h>

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
// Records the windows whose alpha marks a Vitrea ended by force left behind, with the alpha they carry.
void AlphaTableAdopt();
