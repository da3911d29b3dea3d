#include "ui/paint.h"

// No erase: until the buttons paint themselves, an erase would wipe the check box drawn right after a click.
void RepaintCheckLabel(HWND button) { InvalidateRect(button, nullptr, FALSE); }

void DrawCheckBox(HWND window, RECT box, bool checked) {
    HDC dc = GetDC(window);
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | (checked ? DFCS_CHECKED : 0));
    ReleaseDC(window, dc);
}
