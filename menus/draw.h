#pragma once
#include <windows.h>
#include <optional>

// The DrawFrameControl state of a row's check box or radio from the current settings, never pushed; none for
// rows without a mark. Inactive rows carry DFCS_INACTIVE.
std::optional<UINT> MarkState(UINT id);
// The skin a skin row chooses, as stored in "Skin"; null for other rows.
const WCHAR* SkinNameOfRow(UINT id);
// The font the system draws menus with; the caller deletes it.
HFONT CreateMenuFont();
// Draws a row's mark; rows 101 and 102 show the same state on their check button in the settings window.
void PaintRowMark(HDC dc, const RECT& box, UINT id, UINT state);
void PaintRowMark(HWND menuWindow, const RECT& box, UINT id, UINT state);
// Where a row's caption starts, and where the white copy of an inactive caption goes.
POINT CaptionOrigin(const RECT& row);
POINT InactiveCopyOrigin(const RECT& row);

// A menu row's size, and the row painted; false for a row the system measures or paints itself.
bool MeasureRow(MEASUREITEMSTRUCT& row);
bool DrawRow(const DRAWITEMSTRUCT& row);
