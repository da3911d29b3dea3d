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

// The settings window's client area and where each control sits in it: creation places the controls here,
// and painting copies each control's part of the skin's background from the same place.
struct Place {
    int x, y, width, height;
};
constexpr SIZE clientSize = {363, 134};
constexpr Place firstKeyComboPlace = {10, 18, 75, 80}; // the height includes the dropped list
constexpr Place secondKeyComboPlace = {100, 18, 75, 80};
constexpr Place keySetComboPlace = {190, 18, 75, 80};
// The check buttons' widths are those of the plain look, where their labels are text; a skin sizes them to
// its labels.
constexpr Place shortcutButtonPlace = {5, 66, 110, 15};
constexpr Place taskbarButtonPlace = {194, 66, 127, 15};
constexpr Place sliderPlace = {7, 102, 349, 25};
constexpr Place optionsButtonPlace = {277, 4, 84, 46};
constexpr POINT Corner(const Place& place) { return {place.x, place.y}; }
