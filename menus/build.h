#pragma once
#include <windows.h>
#include "menus/trees.h"

// Builds a tree (with its submenus) as owner-drawn popup menus; the caller destroys the returned menu.
HMENU BuildMenu(MenuTree tree);

// The four ways a menu opens.
void OpenTrayMenu();
void OpenOptionsMenu();
// A feature's menu at a point, unless a menu is open already.
void OpenMenuAt(MenuTree tree, POINT at);
