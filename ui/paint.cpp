#include "ui/paint.h"

void RepaintCheckLabel(HWND button) { InvalidateRect(button, nullptr, TRUE); }
