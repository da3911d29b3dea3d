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
// The window's size below its caption: the client area in a 3-pixel dialog frame at either side and below.
constexpr int dialogFrame = 3;
constexpr SIZE windowBelowCaption = {clientSize.cx + 2 * dialogFrame, clientSize.cy + dialogFrame};
constexpr Place firstKeyComboPlace = {10, 18, 75, 80}; // the height includes the dropped list
constexpr Place secondKeyComboPlace = {100, 18, 75, 80};
constexpr Place keySetComboPlace = {190, 18, 75, 80};
// The check buttons' widths are those of the plain look, where their labels are text; a skin sizes them to
// its labels.
constexpr Place shortcutButtonPlace = {5, 66, 110, 15};
constexpr Place taskbarButtonPlace = {194, 66, 127, 15};
constexpr Place sliderPlace = {7, 102, 349, 25};
constexpr Place optionsButtonPlace = {277, 4, 84, 46};
// Inside the trackbar: a skin's channel image, and the thumb, whose row a press anywhere along the channel
// takes as a jump of the thumb to the cursor.
constexpr Place sliderChannel = {7, 10, 335, 5};
constexpr SIZE sliderThumb = {9, 19};
constexpr int sliderThumbTop = 2;
constexpr POINT Corner(const Place& place) { return {place.x, place.y}; }

// A skin's joiners fill the gaps between the key combo boxes, from the boxes' top, 21 pixels high.
constexpr Place JoinerBetween(const Place& left, const Place& right) {
    return {left.x + left.width, left.y, right.x - (left.x + left.width), 21};
}
constexpr Place firstJoinerPlace = JoinerBetween(firstKeyComboPlace, secondKeyComboPlace);
constexpr Place secondJoinerPlace = JoinerBetween(secondKeyComboPlace, keySetComboPlace);

// The three group captions over the frame lines: where the plain look writes its text, and where a skin's
// caption image goes, as wide as the skin's record says.
struct CaptionPlace {
    POINT text, image;
};
constexpr int captionImageHeight = 14;
constexpr CaptionPlace shortcutCaption = {{9, 1}, {6, 1}};
constexpr CaptionPlace optionsCaption = {{9, 49}, {6, 49}};
constexpr CaptionPlace taskbarCaption = {{9, 86}, {6, 87}};
