#pragma once
#include <windows.h>
#include <array>
#include "core/app_state.h"
#include "ui/layout.h"

// The width record a skin library carries as RT_RCDATA 300: five little-endian 16-bit fields of which only
// the low byte is a width, so a skin can never ask for more than 255 pixels.
struct SkinMetrics {
    WORD shortcutLabelWidth;   // images 153 and 154
    WORD taskbarLabelWidth;    // images 165 and 166
    WORD shortcutCaptionWidth; // images 120 and 121
    WORD optionsCaptionWidth;  // image 122
    WORD taskbarCaptionWidth;  // images 128 and 129
};
static_assert(sizeof(SkinMetrics) == 10, "the record is read byte for byte from the skin library");

constexpr WORD skinMetricsId = 300;
inline int MetricWidth(WORD field) { return LOBYTE(field); }

// The check buttons' sizes in the plain look, where their labels are text.
constexpr SIZE plainShortcutButton = {shortcutButtonPlace.width, shortcutButtonPlace.height};
constexpr SIZE plainTaskbarButton = {taskbarButtonPlace.width, taskbarButtonPlace.height};

// Slot N of AppState's image DCs holds the bitmap with the N-th id; everything that names an image goes
// through this one table.
constexpr std::array<WORD, imageSlotCount> imageSlotIds = {101, 102, 103, 111, 112, 120, 121, 122, 123, 128,
                                                           129, 140, 141, 142, 147, 148, 153, 154, 165, 166};

constexpr int ImageSlot(WORD id) {
    for (int slot = 0; slot < imageSlotCount; ++slot)
        if (imageSlotIds[slot] == id) return slot;
    return -1;
}

// The memory DC that holds image `id`; an id missing from the table does not compile.
template <WORD id> HDC ImageDC() {
    static_assert(ImageSlot(id) >= 0, "no such image slot");
    return app.imageDCs[ImageSlot(id)];
}


// One of the program's own bitmaps, as a DIB section like every image the window paints from.
HBITMAP LoadOwnImage(WORD id);

// Why a skin library was refused, in the order the checks run.
enum class SkinFault : BYTE { none, missing, notLibrary, badRecord, badBitmap };

// LoadSkin's answer: true when the skin is loaded; otherwise the fault and, for an image, its id.
struct SkinCheck {
    SkinFault fault;
    WORD bitmapId;
    explicit operator bool() const { return fault == SkinFault::none; }
};

// Loads a skin library as data (its code never runs) after checking every image and the width record;
// on success the images are in their slots and the check buttons fit the skin's labels. Paints nothing.
SkinCheck LoadSkin(const WCHAR* name);
// Loads the skin named by app.skinName. One that cannot be used is told in a balloon at the tray icon and
// forgotten: "Skinless" is stored in its place, so the next start does not try it again.
bool LoadNamedSkin();
// Back to the plain look's images and button sizes; paints nothing. The program itself changes looks through
// SwitchSkin: this is for the tests and the benchmarks, which go back to the plain look between cases.
void UnloadSkin();
// Repaints the window and every control after a change of look, leaving the focus on the window.
void RefreshWindowLook();
// A change of look asked for at run time: stores the name, swaps the images and repaints. A skin that
// cannot be used leaves the plain look, with "Skinless" stored in its place.
void SwitchSkin(const WCHAR* name);
