// The list rules of the task properties dialog's list pages.
#include "ui/taskprops/TaskListRules.h"

namespace qv {

ListButtons filterListButtons(int selected, int count)
{
    ListButtons b;
    const bool any = selected >= 0 && selected < count;
    b.modify = any;
    b.remove = any;
    b.moveUp = any && selected > 0;
    b.moveDown = any && selected < count - 1;
    return b;
}

int selectionAfterFilterRemove(int removed)
{
    return removed > 0 ? removed - 1 : -1;
}

int selectionAfterSourceRemove(int removed, int remaining)
{
    if (removed > 0 && removed - 1 < remaining) {
        return removed - 1;
    }
    return remaining > 0 ? 0 : -1;
}

int rowAfterMove(int selected, int delta, int count)
{
    const int target = selected + delta;
    if (selected < 0 || selected >= count || target < 0 || target >= count) {
        return -1;
    }
    return target;
}

} // namespace qv
