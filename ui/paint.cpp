// The settings window's face in the plain and the skinned look, its owner-drawn buttons, the skinned
// trackbar, and the partial repaints that follow a change of the two feature switches.
#include "ui/paint.h"
#include <commctrl.h>
#include "core/app_state.h"
#include "ui/layout.h"
#include "ui/skin.h"

namespace {
constexpr COLORREF frameGrey = 0x848484, white = 0xFFFFFF, black = 0x000000, disabledGrey = 0x808080;
constexpr WCHAR shortcutText[] = L"Keyboard Shortcut";
constexpr WCHAR optionsText[] = L"Options";
constexpr WCHAR taskbarText[] = L"Taskbar Transparency";
constexpr RECT taskbarSquareInWindow = {taskbarButtonPlace.x + checkSquare.left, taskbarButtonPlace.y + checkSquare.top,
                                         taskbarButtonPlace.x + checkSquare.right,
                                         taskbarButtonPlace.y + checkSquare.bottom};

// Restores what the DC held before, when the scope ends.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object) : dc(dc), previous(SelectObject(dc, object)) {}
    ~Selection() { SelectObject(dc, previous); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

  private:
    HDC dc;
    HGDIOBJ previous;
};

// One solid one-pixel pen for one paint.
class Pen {
  public:
    explicit Pen(COLORREF colour) : pen(CreatePen(PS_SOLID, 0, colour)) {}
    ~Pen() { DeleteObject(pen); }
    Pen(const Pen&) = delete;
    Pen& operator=(const Pen&) = delete;
    operator HGDIOBJ() const { return pen; }

  private:
    HPEN pen;
};

// A window DC for one repaint.
class WindowDC {
  public:
    explicit WindowDC(HWND window) : window(window), dc(GetDC(window)) {}
    ~WindowDC() { ReleaseDC(window, dc); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    operator HDC() const { return dc; }

  private:
    HWND window;
    HDC dc;
};

struct Line {
    int count;
    POINT points[5];
};
// The three group frames, then their white highlights, as polylines.
constexpr Line frames[] = {{5, {{0, 6}, {272, 6}, {272, 46}, {0, 46}, {0, 6}}},
                           {5, {{0, 54}, {361, 54}, {361, 84}, {0, 84}, {0, 54}}},
                           {5, {{0, 92}, {361, 92}, {361, 132}, {0, 132}, {0, 92}}}};
constexpr Line highlights[] = {{3, {{1, 45}, {1, 7}, {272, 7}}},   {3, {{273, 6}, {273, 47}, {-1, 47}}},
                               {3, {{1, 83}, {1, 55}, {361, 55}}}, {3, {{362, 54}, {362, 85}, {-1, 85}}},
                               {3, {{1, 131}, {1, 93}, {361, 93}}}, {3, {{362, 92}, {362, 133}, {-1, 133}}}};
constexpr Line plusSigns[] = {{2, {{92, 24}, {92, 33}}},
                              {2, {{88, 28}, {97, 28}}},
                              {2, {{182, 24}, {182, 33}}},
                              {2, {{178, 28}, {187, 28}}}};
// Face-coloured gaps in the frame lines behind the three captions.
constexpr Line captionGaps[] = {{2, {{7, 6}, {100, 6}}},  {2, {{7, 7}, {100, 7}}},  {2, {{7, 54}, {47, 54}}},
                                {2, {{7, 55}, {47, 55}}}, {2, {{7, 92}, {117, 92}}}, {2, {{7, 93}, {117, 93}}}};

template <size_t count> void DrawLines(HDC dc, HGDIOBJ pen, const Line (&lines)[count]) {
    SelectObject(dc, pen);
    for (const Line& line : lines) {
        MoveToEx(dc, line.points[0].x, line.points[0].y, nullptr);
        for (int i = 1; i < line.count; ++i) LineTo(dc, line.points[i].x, line.points[i].y);
    }
}

void Copy(HDC dc, int x, int y, int width, int height, HDC image, int fromX = 0, int fromY = 0) {
    BitBlt(dc, x, y, width, height, image, fromX, fromY, SRCCOPY);
}

void Copy(HDC dc, const Place& place, HDC image) {
    Copy(dc, place.x, place.y, place.width, place.height, image);
}

void SkinnedCaption(HDC dc, const CaptionPlace& caption, WORD width, HDC image) {
    Copy(dc, caption.image.x, caption.image.y, MetricWidth(width), captionImageHeight, image);
}

void SkinnedShortcutCaption(HDC dc) {
    SkinnedCaption(dc, shortcutCaption, app.skinMetrics->shortcutCaptionWidth,
                   app.shortcutEnabled ? ImageDC<120>() : ImageDC<121>());
}

void SkinnedTaskbarCaption(HDC dc) {
    SkinnedCaption(dc, taskbarCaption, app.skinMetrics->taskbarCaptionWidth,
                   app.taskbarEnabled ? ImageDC<128>() : ImageDC<129>());
}

template <size_t length> void Text(HDC dc, int x, int y, COLORREF colour, const WCHAR (&text)[length]) {
    SetTextColor(dc, colour);
    TextOutW(dc, x, y, text, length - 1);
}

// A caption in the plain look: black when its feature is on, engraved (white under grey) when off. Turning
// on first overwrites the white of the engraving in the face colour, so no ghost of it stays behind.
template <size_t length>
void PlainCaption(HDC dc, POINT at, bool on, bool eraseEngraving, const WCHAR (&text)[length]) {
    Selection font(dc, app.uiFont);
    SetBkMode(dc, TRANSPARENT);
    if (on) {
        if (eraseEngraving) Text(dc, at.x + 1, at.y + 1, GetSysColor(COLOR_BTNFACE), text);
        Text(dc, at.x, at.y, black, text);
    } else {
        Text(dc, at.x + 1, at.y + 1, white, text);
        Text(dc, at.x, at.y, disabledGrey, text);
    }
}

void PaintPlainFace(HDC dc) {
    {
        Selection brush(dc, GetSysColorBrush(COLOR_BTNFACE));
        BitBlt(dc, 0, 0, clientSize.cx, clientSize.cy, nullptr, 0, 0, PATCOPY);
    }
    {
        Pen grey(frameGrey), light(white), dark(black), face(GetSysColor(COLOR_BTNFACE));
        Selection pen(dc, grey);
        DrawLines(dc, grey, frames);
        DrawLines(dc, light, highlights);
        DrawLines(dc, dark, plusSigns);
        DrawLines(dc, face, captionGaps);
    }
    PlainCaption(dc, shortcutCaption.text, app.shortcutEnabled, false, shortcutText);
    PlainCaption(dc, optionsCaption.text, true, false, optionsText);
    PlainCaption(dc, taskbarCaption.text, app.taskbarEnabled, false, taskbarText);
}

void PaintSkinnedFace(HDC dc) {
    Copy(dc, 0, 0, clientSize.cx, clientSize.cy, ImageDC<103>());
    {
        Pen grey(frameGrey), light(white);
        Selection pen(dc, grey);
        DrawLines(dc, grey, frames);
        DrawLines(dc, light, highlights);
    }
    Copy(dc, firstJoinerPlace, ImageDC<111>());
    Copy(dc, secondJoinerPlace, ImageDC<112>());
    SkinnedShortcutCaption(dc);
    SkinnedCaption(dc, optionsCaption, app.skinMetrics->optionsCaptionWidth, ImageDC<122>());
    SkinnedTaskbarCaption(dc);
}

struct CheckButtonLook {
    bool on;
    POINT background; // where the button sits over image 103
    HDC label, focusLabel;
    int labelWidth;
    const WCHAR* text;
    int textLength;
};

CheckButtonLook LookOf(HWND button) {
    if (button == app.shortcutButton)
        return {app.shortcutEnabled, Corner(shortcutButtonPlace), ImageDC<153>(), ImageDC<154>(),
                app.skinMetrics ? MetricWidth(app.skinMetrics->shortcutLabelWidth) : 0, shortcutText,
                ARRAYSIZE(shortcutText) - 1};
    return {app.taskbarEnabled, Corner(taskbarButtonPlace), ImageDC<165>(), ImageDC<166>(),
            app.skinMetrics ? MetricWidth(app.skinMetrics->taskbarLabelWidth) : 0, taskbarText,
            ARRAYSIZE(taskbarText) - 1};
}

void DrawCheckButton(const DRAWITEMSTRUCT& item) {
    CheckButtonLook look = LookOf(item.hwndItem);
    UINT flags = DFCS_BUTTONCHECK;
    if (item.itemState & ODS_SELECTED) {
        flags |= DFCS_PUSHED;
        app.pressedButton = item.hwndItem;
    } else {
        app.pressedButton = nullptr;
    }
    if (app.skinModule) {
        if (item.itemAction & ODA_DRAWENTIRE) Copy(item.hDC, 0, 0, 15, 15, ImageDC<103>(), look.background.x, look.background.y);
        Copy(item.hDC, 15, 0, look.labelWidth, 15, (item.itemState & ODS_FOCUS) ? look.focusLabel : look.label);
    } else {
        if (item.itemAction & ODA_DRAWENTIRE) TextOutW(item.hDC, 19, 1, look.text, look.textLength);
        if (item.itemAction & ODA_FOCUS) {
            RECT focus = {18, 0, item.rcItem.right, 15};
            DrawFocusRect(item.hDC, &focus);
        }
    }
    if (look.on) flags |= DFCS_CHECKED;
    RECT square = checkSquare;
    DrawFrameControl(item.hDC, &square, DFC_BUTTON, flags);
}

LRESULT DrawSkinnedSlider(const NMCUSTOMDRAW& draw) {
    if (draw.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw.dwDrawStage != CDDS_ITEMPREPAINT) return -1;
    bool changing = app.sliderDragging == app.alphaSlider;
    if (draw.dwItemSpec == TBCD_CHANNEL) {
        Copy(draw.hdc, 0, 0, sliderPlace.width, sliderPlace.height, ImageDC<103>(), sliderPlace.x, sliderPlace.y);
        Copy(draw.hdc, sliderChannel, changing ? ImageDC<148>() : ImageDC<147>());
        return CDRF_SKIPDEFAULT;
    }
    if (draw.dwItemSpec == TBCD_THUMB) {
        HDC thumb = changing ? ImageDC<141>() : app.taskbarEnabled ? ImageDC<140>() : ImageDC<142>();
        Copy(draw.hdc, draw.rc.left, draw.rc.top, sliderThumb.cx, sliderThumb.cy, thumb);
        return CDRF_SKIPDEFAULT;
    }
    return -1;
}
} // namespace

Answer OnEraseBackground(HWND, WPARAM wParam, LPARAM) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    if (app.skinModule)
        PaintSkinnedFace(dc);
    else
        PaintPlainFace(dc);
    return 1;
}

bool DrawOwnerButton(const DRAWITEMSTRUCT& item) {
    if (item.hwndItem == app.optionsButton) {
        Copy(item.hDC, 0, 0, optionsButtonPlace.width, optionsButtonPlace.height,
             (item.itemState & ODS_SELECTED) ? ImageDC<102>() : ImageDC<101>());
        return true;
    }
    if (item.hwndItem != app.shortcutButton && item.hwndItem != app.taskbarButton) return false;
    DrawCheckButton(item);
    return true;
}

Answer OnNotify(HWND, WPARAM, LPARAM lParam) {
    if (app.skinModule && lParam) {
        const auto& draw = *reinterpret_cast<const NMCUSTOMDRAW*>(lParam);
        if (draw.hdr.hwndFrom == app.alphaSlider && draw.hdr.code == static_cast<UINT>(NM_CUSTOMDRAW)) {
            LRESULT result = DrawSkinnedSlider(draw);
            if (result != -1) return result;
        }
    }
    return passOn;
}

void RepaintShortcutCaption() {
    WindowDC dc(app.mainWindow);
    if (app.skinModule)
        SkinnedShortcutCaption(dc);
    else
        PlainCaption(dc, shortcutCaption.text, app.shortcutEnabled, true, shortcutText);
}

void RepaintTaskbarCaption() {
    WindowDC dc(app.mainWindow);
    RECT square = taskbarSquareInWindow;
    DrawFrameControl(dc, &square, DFC_BUTTON, DFCS_BUTTONCHECK | (app.taskbarEnabled ? DFCS_CHECKED : 0));
    if (app.skinModule)
        SkinnedTaskbarCaption(dc);
    else
        PlainCaption(dc, taskbarCaption.text, app.taskbarEnabled, true, taskbarText);
}

void DrawClickedCheckBox(HWND button, bool checked) {
    WindowDC dc(button);
    RECT square = checkSquare;
    DrawFrameControl(dc, &square, DFC_BUTTON, checked ? DFCS_CHECKED : 0);
}
