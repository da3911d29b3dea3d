#pragma once
#include <windows.h>

// A window frame centred on the screen: the given width, and the given height plus the caption and the top
// dialog frame.
struct CentredFrame {
    int left, top, width, height;
};
CentredFrame CentreOnScreen(int width, int heightBelowCaption);
