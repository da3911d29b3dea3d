#pragma once
#include <windows.h>

// One id space for every menu; every separator has the same id. The hook library reads the ids of the rows
// under the mouse, so these numbers are shared with Vitrea.dll.
enum MenuItemId : UINT {
    idSeparator = 100,
    idTrayShortcut = 101,
    idTrayTaskbar = 102,
    idTrayOptions = 103,
    idExit = 104,
    idFirstAlt = 121,
    idFirstCtrl = 122,
    idFirstShift = 123,
    idSecondAlt = 124,
    idSecondCtrl = 125,
    idSecondShift = 126,
    idDigitKeys = 127,
    idFunctionKeys = 128,
    idFadeIn = 181,
    idFastest = 182,
    idFast = 183,
    idMedium = 184,
    idSlow = 185,
    idSlowest = 186,
    idHelp = 301,
    idAbout = 302,
    idHomePage = 303,
    idStartMinimized = 304,
    idStartWithWindows = 305,
    idSkinless = 306,
    idEddyMini = 307,
    idPewterMini = 308,
};

// Rows whose command opens another window: a release on one ends the menu first; settings leave it open.
constexpr bool RowOpensWindow(UINT id) { return id == idHelp || id == idAbout || id == idHomePage; }
