// The list rules of the task properties dialog's list pages: which buttons a selection enables, and
// which row is selected after a removal or a move. Pure functions over (selected row, row count).
#pragma once

namespace qv {

// -1 stands for no selection.
struct ListButtons {
    bool modify = false;
    bool remove = false;
    bool moveUp = false;
    bool moveDown = false;
};

// Modify and Remove with a selection; Move Up unless the first row; Move Down unless the last.
ListButtons filterListButtons(int selected, int count);

// The filter list after removing row `removed`: the row above it, none when it was the first.
int selectionAfterFilterRemove(int removed);

// The source list after removing row `removed` of a list that now has `remaining` rows: the row
// before it when it was not the first; else the first row when rows remain; else none.
int selectionAfterSourceRemove(int removed, int remaining);

// The row that `selected` becomes after moving it by `delta` (-1 up, +1 down) in `count` rows, or
// -1 when that move is not possible.
int rowAfterMove(int selected, int delta, int count);

} // namespace qv
