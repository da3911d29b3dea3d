#pragma once
// The four menu trees as data: their rows, the ids in them and where each id sits. Building a menu and
// locating a selected row both read these.
#include <windows.h>
#include <array>
#include <span>
#include "core/menu_ids.h"

// The maker's home page, opened from the Options menu; its host name is that row's caption.
inline constexpr WCHAR homePageAddress[] = L"http://www.vitrea.example/";

constexpr auto HostOf(const WCHAR (&address)[std::size(homePageAddress)]) {
    std::array<WCHAR, std::size(homePageAddress)> host{};
    size_t from = 0;
    while (address[from] && !(address[from] == L'/' && address[from + 1] == L'/')) ++from;
    from = address[from] ? from + 2 : 0;
    for (size_t to = 0; address[from] && address[from] != L'/'; ++from, ++to) host[to] = address[from];
    return host;
}
inline constexpr auto homePageHost = HostOf(homePageAddress);

enum class MenuTree : BYTE { tray, shortcut, taskbar, options, none };

struct MenuRow {
    UINT id;
    const WCHAR* caption; // null for a separator
    MenuTree submenu;     // the tree this row opens, or none
    // A row that opens a submenu may also act on a click of its own, as the tray's two feature rows switch
    // their features; one that only opens its submenu is never acted on.
    bool onlyOpens = false;
};

namespace menu_trees {
constexpr MenuRow separator{idSeparator, nullptr, MenuTree::none};
inline constexpr MenuRow shortcut[] = {
    {idFirstAlt, L"Alt", MenuTree::none},     {idFirstCtrl, L"Ctrl", MenuTree::none},
    {idFirstShift, L"Shift", MenuTree::none}, separator,
    {idSecondAlt, L"Alt", MenuTree::none},    {idSecondCtrl, L"Ctrl", MenuTree::none},
    {idSecondShift, L"Shift", MenuTree::none}, separator,
    {idDigitKeys, L"0-9", MenuTree::none},    {idFunctionKeys, L"F1-F12", MenuTree::none},
};
inline constexpr MenuRow taskbar[] = {
    {idFadeIn, L"Fade In", MenuTree::none}, separator,
    {idFastest, L"Fastest", MenuTree::none}, {idFast, L"Fast", MenuTree::none},
    {idMedium, L"Medium", MenuTree::none},   {idSlow, L"Slow", MenuTree::none},
    {idSlowest, L"Slowest", MenuTree::none},
};
inline constexpr MenuRow options[] = {
    {idHelp, L"Help", MenuTree::none},
    {idAbout, L"About Vitrea...", MenuTree::none},
    {idHomePage, homePageHost.data(), MenuTree::none},
    separator,
    {idStartMinimized, L"Start Minimized", MenuTree::none},
    {idStartWithWindows, L"Start With Windows", MenuTree::none},
    separator,
    {idSkinless, L"Skinless", MenuTree::none},
    {idEddyMini, L"Eddy Mini", MenuTree::none},
    {idPewterMini, L"Pewter Mini", MenuTree::none},
};
inline constexpr MenuRow tray[] = {
    {idTrayShortcut, L"Keyboard Shortcut", MenuTree::shortcut},
    {idTrayTaskbar, L"Taskbar Transparency", MenuTree::taskbar},
    separator,
    {idTrayOptions, L"Options", MenuTree::options, true},
    {idExit, L"Exit", MenuTree::none},
};
} // namespace menu_trees

constexpr MenuTree allTrees[] = {MenuTree::tray, MenuTree::shortcut, MenuTree::taskbar, MenuTree::options};

// The rows of a tree, position by position.
constexpr std::span<const MenuRow> TreeRows(MenuTree tree) {
    switch (tree) {
    case MenuTree::tray: return menu_trees::tray;
    case MenuTree::shortcut: return menu_trees::shortcut;
    case MenuTree::taskbar: return menu_trees::taskbar;
    case MenuTree::options: return menu_trees::options;
    case MenuTree::none: break;
    }
    return {};
}

// Where an id sits: its tree and position; tree none for the separator and for unknown ids.
struct RowPlace {
    MenuTree tree;
    int position;
};
constexpr RowPlace PlaceOfId(UINT id) {
    if (id == idSeparator) return {MenuTree::none, -1};
    for (MenuTree tree : allTrees) {
        std::span<const MenuRow> rows = TreeRows(tree);
        for (size_t position = 0; position < rows.size(); ++position)
            if (rows[position].id == id) return {tree, static_cast<int>(position)};
    }
    return {MenuTree::none, -1};
}

// The rows that open a submenu, with the positions WM_MENUSELECT reports them by, worked out while compiling.
struct SubmenuRow {
    UINT id;
    LONG position;
};
constexpr size_t submenuRowCount = [] {
    size_t count = 0;
    for (MenuTree tree : allTrees)
        for (const MenuRow& row : TreeRows(tree)) count += row.submenu != MenuTree::none;
    return count;
}();
constexpr auto submenuRows = [] {
    std::array<SubmenuRow, submenuRowCount> found{};
    size_t next = 0;
    for (MenuTree tree : allTrees) {
        std::span<const MenuRow> rows = TreeRows(tree);
        for (size_t position = 0; position < rows.size(); ++position)
            if (rows[position].submenu != MenuTree::none) found[next++] = {rows[position].id, LONG(position)};
    }
    return found;
}();

// What WM_MENUSELECT reports for a row, and so what the record of open menus knows it by: its id, or its
// position when it opens a submenu.
inline LONG SelectionOfId(UINT id) {
    for (const SubmenuRow& row : submenuRows)
        if (row.id == id) return row.position;
    return static_cast<LONG>(id);
}
