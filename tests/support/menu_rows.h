#pragma once
// The rows of a menu as the tests spell them, one letter a row, with `separator` for a separator: checked
// against the program's trees while compiling, and measured with the program's row heights.
#include "menus/track.h"
#include "menus/trees.h"

constexpr bool RowsAre(const char* rows, MenuTree tree, char separator) {
    size_t i = 0;
    for (const MenuRow& row : TreeRows(tree))
        if (!rows[i] || (rows[i++] == separator) != (row.caption == nullptr)) return false;
    return rows[i] == '\0';
}

inline int RowHeightOf(const char* rows, size_t index, char separator) {
    return rows[index] == separator ? menuSeparatorHeight : MenuRowHeight();
}
