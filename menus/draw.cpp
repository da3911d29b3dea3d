// Measuring and painting the owner-drawn menu rows, with their marks taken from the settings of the moment.
#include "menus/draw.h"
#include <shlwapi.h>
#include "core/app_state.h"
#include "core/settings.h"
#include "menus/trees.h"
#include "menus/track.h"
#include "ui/layout.h"

namespace {
// What a row's mark follows. Every painter of marks (rows being drawn, pressed marks, marks repainted after a
// command) reads this one table.
enum class Source : BYTE { shortcutOn, taskbarOn, shortcutBit, shortcutBitClear, fadeIn, duration, optionBit, skin };

struct MarkRule {
    UINT id;
    UINT kind; // DFCS_BUTTONCHECK or DFCS_BUTTONRADIO
    Source source;
    LONG value;       // the bit, the duration
    BYTE inactiveBit; // the row is inactive while the shortcut byte has this bit
    const WCHAR* skin = nullptr;
};

constexpr UINT check = DFCS_BUTTONCHECK, radio = DFCS_BUTTONRADIO;
constexpr MarkRule markRules[] = {
    {idTrayShortcut, check, Source::shortcutOn, 0, 0},
    {idTrayTaskbar, check, Source::taskbarOn, 0, 0},
    {idFirstAlt, radio, Source::shortcutBit, firstAltBit, 0},
    {idFirstCtrl, radio, Source::shortcutBit, firstCtrlBit, 0},
    {idFirstShift, radio, Source::shortcutBit, firstShiftBit, 0},
    {idSecondAlt, radio, Source::shortcutBit, secondAltBit, firstAltBit},
    {idSecondCtrl, radio, Source::shortcutBit, secondCtrlBit, firstCtrlBit},
    {idSecondShift, radio, Source::shortcutBit, secondShiftBit, firstShiftBit},
    {idDigitKeys, radio, Source::shortcutBitClear, functionKeysBit, 0},
    {idFunctionKeys, radio, Source::shortcutBit, functionKeysBit, 0},
    {idFadeIn, check, Source::fadeIn, 0, 0},
    {idFastest, radio, Source::duration, FadeDurationOfRow(0), 0},
    {idFast, radio, Source::duration, FadeDurationOfRow(1), 0},
    {idMedium, radio, Source::duration, FadeDurationOfRow(2), 0},
    {idSlow, radio, Source::duration, FadeDurationOfRow(3), 0},
    {idSlowest, radio, Source::duration, FadeDurationOfRow(4), 0},
    {idStartMinimized, check, Source::optionBit, optionStartMinimized, 0},
    {idStartWithWindows, check, Source::optionBit, optionStartWithWindows, 0},
    {idSkinless, radio, Source::skin, 0, 0, skinless},
    {idEddyMini, radio, Source::skin, 0, 0, L"EddyMini"},
    {idPewterMini, radio, Source::skin, 0, 0, L"PewterMini"},
};

bool IsOn(const MarkRule& rule) {
    switch (rule.source) {
    case Source::shortcutOn: return app.shortcutEnabled;
    case Source::taskbarOn: return app.taskbarEnabled;
    case Source::shortcutBit: return (app.shortcutByte & rule.value) != 0;
    case Source::shortcutBitClear: return (app.shortcutByte & rule.value) == 0;
    case Source::fadeIn: return app.fadeInEnabled;
    case Source::duration: return app.fadeDuration == rule.value;
    case Source::optionBit: return (app.options & rule.value) != 0;
    case Source::skin: return app.skinName && StrCmpW(app.skinName, rule.skin) == 0;
    }
    return false;
}

constexpr COLORREF grey = RGB(0x80, 0x80, 0x80), white = RGB(0xFF, 0xFF, 0xFF);

bool IsPressed(UINT id, const DRAWITEMSTRUCT& item) {
    const MenuTrackState* track = app.menuTrack;
    if (!track || !(item.itemState & ODS_SELECTED) || track->pressedItem < 0) return false;
    return track->pressedItem == SelectionOfId(id);
}

void DrawSeparator(const DRAWITEMSTRUCT& item) {
    const RECT& r = item.rcItem;
    HPEN greyPen = CreatePen(PS_SOLID, 0, grey);
    HGDIOBJ previous = SelectObject(item.hDC, greyPen);
    MoveToEx(item.hDC, r.left + 1, r.top + 3, nullptr);
    LineTo(item.hDC, r.right - 1, r.top + 3);
    SelectObject(item.hDC, GetStockObject(WHITE_PEN));
    MoveToEx(item.hDC, r.left + 1, r.top + 4, nullptr);
    LineTo(item.hDC, r.right - 1, r.top + 4);
    SelectObject(item.hDC, previous);
    DeleteObject(greyPen);
}

void DrawCaption(const DRAWITEMSTRUCT& item, const WCHAR* caption, bool inactive) {
    HDC dc = item.hDC;
    bool selected = (item.itemState & ODS_SELECTED) != 0;
    COLORREF oldText = SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    COLORREF oldBack = SetBkColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
    UINT length = static_cast<UINT>(lstrlenW(caption));
    POINT origin = CaptionOrigin(item.rcItem);
    if (inactive) {
        // Embossed, and never highlighted: the row cannot be chosen.
        POINT copy = InactiveCopyOrigin(item.rcItem);
        int oldMode = SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, white);
        ExtTextOutW(dc, copy.x, copy.y, 0, nullptr, caption, length, nullptr);
        SetTextColor(dc, grey);
        ExtTextOutW(dc, origin.x, origin.y, 0, nullptr, caption, length, nullptr);
        SetBkMode(dc, oldMode);
    } else {
        ExtTextOutW(dc, origin.x, origin.y, ETO_OPAQUE, &item.rcItem, caption, length, nullptr);
    }
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
}

// The row's extent in the menu font, which is what the system draws menus with.
SIZE CaptionExtent(const WCHAR* caption) {
    HFONT font = CreateMenuFont();
    HDC dc = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE extent = {};
    GetTextExtentPoint32W(dc, caption, lstrlenW(caption), &extent);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(font);
    return extent;
}

const WCHAR* CaptionOf(ULONG_PTR itemData) {
    return itemData ? reinterpret_cast<const WCHAR*>(itemData) : L"";
}
} // namespace

HFONT CreateMenuFont() {
    NONCLIENTMETRICSW metrics = {};
    static_assert(sizeof metrics == 500, "the record Windows 2000 knows");
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return CreateFontIndirectW(&metrics.lfMenuFont);
}

const WCHAR* SkinNameOfRow(UINT id) {
    for (const MarkRule& rule : markRules)
        if (rule.id == id) return rule.skin;
    return nullptr;
}

std::optional<UINT> MarkState(UINT id) {
    for (const MarkRule& rule : markRules) {
        if (rule.id != id) continue;
        if (rule.inactiveBit && (app.shortcutByte & rule.inactiveBit)) return rule.kind | DFCS_INACTIVE;
        return rule.kind | (IsOn(rule) ? DFCS_CHECKED : 0);
    }
    return std::nullopt;
}

void PaintRowMark(HDC dc, const RECT& box, UINT id, UINT state) {
    RECT square = box;
    DrawFrameControl(dc, &square, DFC_BUTTON, state);
    HWND button = id == idTrayShortcut ? app.shortcutButton : id == idTrayTaskbar ? app.taskbarButton : nullptr;
    if (!button) return;
    RECT onButton = checkSquare;
    HDC buttonDC = GetDC(button);
    DrawFrameControl(buttonDC, &onButton, DFC_BUTTON, state);
    ReleaseDC(button, buttonDC);
}

void PaintRowMark(HWND menuWindow, const RECT& box, UINT id, UINT state) {
    HDC dc = GetDC(menuWindow);
    PaintRowMark(dc, box, id, state);
    ReleaseDC(menuWindow, dc);
}

POINT CaptionOrigin(const RECT& row) {
    return {row.left + GetSystemMetrics(SM_CXMENUCHECK) + 7, row.top + 1};
}

POINT InactiveCopyOrigin(const RECT& row) {
    return {row.left + GetSystemMetrics(SM_CXMENUCHECK) + 8, row.top + 2};
}

bool MeasureRow(MEASUREITEMSTRUCT& item) {
    if (item.itemID == idSeparator) {
        item.itemWidth = 0;
        item.itemHeight = menuSeparatorHeight;
        return true;
    }
    SIZE extent = CaptionExtent(CaptionOf(item.itemData));
    item.itemWidth = GetSystemMetrics(SM_CXMENUCHECK) + extent.cx + 14;
    item.itemHeight = MenuRowHeight();
    return true;
}

bool DrawRow(const DRAWITEMSTRUCT& item) {
    if (item.itemID == idSeparator) {
        DrawSeparator(item);
        return true;
    }
    std::optional<UINT> state = MarkState(item.itemID);
    DrawCaption(item, CaptionOf(item.itemData), state && (*state & DFCS_INACTIVE));
    if (state) {
        PaintRowMark(item.hDC, MarkBoxOfRow(item.rcItem), item.itemID,
                     *state | (IsPressed(item.itemID, item) ? DFCS_PUSHED : 0));
        return true;
    }
    if (item.itemID >= idHelp && item.itemID <= idHomePage) return true;
    return false;
}
