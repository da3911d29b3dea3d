// Where the program's windows go on the screen.
#include "ui/layout.h"

CentredFrame CentreOnScreen(int width, int heightBelowCaption) {
    HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    int screenWidth = GetDeviceCaps(display, HORZRES);
    int screenHeight = GetDeviceCaps(display, VERTRES);
    DeleteDC(display);
    int height = GetSystemMetrics(SM_CYDLGFRAME) + GetSystemMetrics(SM_CYCAPTION) + heightBelowCaption;
    return {(screenWidth - width) / 2, (screenHeight - height) / 2, width, height};
}

