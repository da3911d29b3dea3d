#pragma once
#include <windows.h>

// A window frame centred on the screen: the given width, and the given height plus the caption and the top
// dialog frame.
struct CentredFrame {
    int left, top, width, height;
};
CentredFrame CentreOnScreen(int width, int heightBelowCaption);

// A check button's box, inside the button: where painting draws it and where a menu row's mark shows it too.
constexpr RECT checkSquare = {1, 1, 14, 14};
