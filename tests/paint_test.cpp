// The owner-drawn check buttons and the skinned trackbar, drawn into a memory DC through the window's own
// messages: which image lands where for each state, and what is left untouched.
#include <commctrl.h>
#include "support/app_fixture.h"
#include "support/skin_files.h"
#include "ui/skin.h"

namespace {
constexpr COLORREF marker = RGB(1, 2, 3);

// A 400 x 40 canvas filled with a colour no skin image uses.
struct Canvas {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap;
    HGDIOBJ old;
    Canvas() {
        HDC screen = GetDC(nullptr);
        bitmap = CreateCompatibleBitmap(screen, 400, 40);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bitmap);
        RECT all = {0, 0, 400, 40};
        HBRUSH brush = CreateSolidBrush(marker);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

// Whether the canvas shows image `id` (its top-left width x height) at (x, y).
bool Shows(const Canvas& canvas, WORD id, int x, int y, int width, int height, int fromX = 0, int fromY = 0) {
    HDC image = app.imageDCs[ImageSlot(id)];
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            if (GetPixel(canvas.dc, x + column, y + row) != GetPixel(image, fromX + column, fromY + row)) return false;
    return true;
}

using SkinnedControls = AppFixture;

TEST_F(SkinnedControls, CheckButtonDrawsTheLabelOfItsStateAndTheBackgroundOnlyWhenWhole) {
    Start();
    ASSERT_TRUE(LoadSkin(BuiltSkin(L"EddyMini").c_str()));
    int labelWidth = MetricWidth(app.skinMetrics->shortcutLabelWidth);
    struct Case {
        UINT action, state;
        WORD label;
        bool background, pressed;
    };
    const Case cases[] = {
        {ODA_DRAWENTIRE, 0, 153, true, false},
        {ODA_FOCUS, ODS_FOCUS, 154, false, false},              // the hover and focus look
        {ODA_FOCUS, ODS_FOCUS | ODS_SELECTED, 154, false, true}, // held while hovered
        {ODA_SELECT, ODS_SELECTED, 153, false, true},
        {ODA_FOCUS, 0, 153, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "action " << c.action << " state " << c.state);
        Canvas canvas;
        app.pressedButton = reinterpret_cast<HWND>(1);
        DRAWITEMSTRUCT item = {ODT_BUTTON, 0, 0, c.action, c.state, app.shortcutButton, canvas.dc,
                               {0, 0, labelWidth + 15, 15}, 0};
        EXPECT_EQ(SendMessageW(app.mainWindow, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item)), TRUE);
        EXPECT_TRUE(Shows(canvas, c.label, 15, 0, labelWidth, 15)) << "label " << c.label;
        EXPECT_EQ(GetPixel(canvas.dc, 0, 0) != marker, c.background);
        if (c.background) EXPECT_TRUE(Shows(canvas, 103, 0, 0, 15, 1, 5, 66)) << "background from (5,66)";
        EXPECT_EQ(GetPixel(canvas.dc, labelWidth + 15, 0), marker) << "nothing beyond the button";
        EXPECT_EQ(app.pressedButton, c.pressed ? app.shortcutButton : nullptr);
    }
}

TEST_F(SkinnedControls, TrackbarShowsTheThumbAndChannelOfItsState) {
    WriteByteValue(L"Taskbar Transparency", 0x23);
    Start();
    struct Case {
        const char* what;
        bool skinned, taskbarOn, changing;
        DWORD_PTR part;
        LRESULT result;
        WORD image; // 0: nothing drawn
    };
    const Case cases[] = {
        {"thumb, on", true, true, false, TBCD_THUMB, CDRF_SKIPDEFAULT, 140},
        {"thumb, off", true, false, false, TBCD_THUMB, CDRF_SKIPDEFAULT, 142},
        {"thumb, being changed", true, false, true, TBCD_THUMB, CDRF_SKIPDEFAULT, 141},
        {"channel", true, true, false, TBCD_CHANNEL, CDRF_SKIPDEFAULT, 147},
        {"channel, being changed", true, true, true, TBCD_CHANNEL, CDRF_SKIPDEFAULT, 148},
        {"tics", true, true, false, TBCD_TICS, CDRF_DODEFAULT, 0},
        {"plain look", false, true, false, TBCD_THUMB, CDRF_DODEFAULT, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.skinned != (app.skinModule != nullptr)) {
            if (c.skinned) ASSERT_TRUE(LoadSkin(BuiltSkin(L"PewterMini").c_str()));
            else UnloadSkin();
        }
        app.taskbarEnabled = c.taskbarOn;
        app.sliderDragging = c.changing ? app.alphaSlider : nullptr;
        Canvas canvas;
        NMCUSTOMDRAW draw = {{app.alphaSlider, 0, static_cast<UINT>(NM_CUSTOMDRAW)}, CDDS_PREPAINT, canvas.dc,
                             {30, 3, 39, 22}, 0, 0, 0};
        auto send = [&] { return SendMessageW(app.mainWindow, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&draw)); };
        EXPECT_EQ(send(), c.skinned ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT);
        draw.dwDrawStage = CDDS_ITEMPREPAINT;
        draw.dwItemSpec = c.part;
        EXPECT_EQ(send(), c.result);
        if (!c.image) EXPECT_EQ(GetPixel(canvas.dc, 33, 8), marker) << "nothing drawn";
        else if (c.part == TBCD_THUMB) EXPECT_TRUE(Shows(canvas, c.image, 30, 3, 9, 19)) << "image " << c.image;
        else {
            EXPECT_TRUE(Shows(canvas, 103, 0, 0, 349, 10, 7, 102)) << "the window's background under the trackbar";
            EXPECT_TRUE(Shows(canvas, c.image, 7, 10, 335, 5)) << "image " << c.image;
        }
    }
    UnloadSkin();
}
} // namespace
