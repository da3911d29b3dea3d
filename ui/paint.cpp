#include "ui/paint.h"

// No erase: until the buttons paint themselves, an erase would wipe the check box drawn right after a click.
void RepaintCheckLabel(HWND button) { InvalidateRect(button, nullptr, FALSE); }
