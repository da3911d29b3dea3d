#pragma once
#include <windows.h>

// Adds the tray icon (and shows a balloon that waited for it); app.trayIcon points at its record from then on.
void AddTrayIcon();
// A warning balloon at the tray icon: at once, or as soon as the icon is added. Nothing on a shell that
// has no balloons.
void ShowTrayBalloon(const WCHAR* title, const WCHAR* text);
