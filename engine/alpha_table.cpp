#include "engine/alpha_table.h"

void AlphaTableSet(HWND, BYTE) {}
void AlphaTableRemove(HWND) {}
bool AlphaTableFind(HWND, BYTE*) { return false; }
int AlphaTableQuery(HWND) { return -1; }
void AlphaTableClear() {}

LRESULT OnForgetWindow(HWND window, WPARAM target, LPARAM lParam) {
    return DefWindowProcW(window, 0x8004, target, lParam);
}
LRESULT OnGetAlpha(HWND window, WPARAM target, LPARAM lParam) {
    return DefWindowProcW(window, 0x8005, target, lParam);
}
