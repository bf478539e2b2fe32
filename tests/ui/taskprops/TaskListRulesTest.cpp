// The list rules of the task properties pages, from tables.
// qv-test-labels: gui
#include "ui/taskprops/TaskListRules.h"

#include <gtest/gtest.h>

using namespace qv;

TEST(TaskListRules, FilterButtons)
{
    struct Case {
        int selected, count;
        bool modify, up, down;
    };
    const Case cases[] = {
        {-1, 0, false, false, false}, {-1, 3, false, false, false}, {0, 1, true, false, false},
        {0, 3, true, false, true},    {1, 3, true, true, true},     {2, 3, true, true, false},
        {3, 3, false, false, false},
    };
    for (const Case &c : cases) {
        const ListButtons b = filterListButtons(c.selected, c.count);
        EXPECT_EQ(b.modify, c.modify) << c.selected << "/" << c.count;
        EXPECT_EQ(b.remove, c.modify) << c.selected << "/" << c.count;
        EXPECT_EQ(b.moveUp, c.up) << c.selected << "/" << c.count;
        EXPECT_EQ(b.moveDown, c.down) << c.selected << "/" << c.count;
    }
}

TEST(TaskListRules, SelectionAfterRemovalAndMove)
{
    EXPECT_EQ(selectionAfterFilterRemove(0), -1);
    EXPECT_EQ(selectionAfterFilterRemove(1), 0);
    EXPECT_EQ(selectionAfterFilterRemove(5), 4);
    struct Source {
        int removed, remaining, expected;
    };
    for (const Source &c : {Source{0, 0, -1}, Source{0, 2, 0}, Source{2, 2, 1}, Source{1, 1, 0}, Source{1, 3, 0}}) {
        EXPECT_EQ(selectionAfterSourceRemove(c.removed, c.remaining), c.expected) << c.removed << "/" << c.remaining;
    }
    struct Move {
        int selected, delta, count, expected;
    };
    for (const Move &c : {Move{1, -1, 3, 0}, Move{0, -1, 3, -1}, Move{2, 1, 3, -1}, Move{1, 1, 3, 2}, Move{-1, 1, 3, -1}}) {
        EXPECT_EQ(rowAfterMove(c.selected, c.delta, c.count), c.expected) << c.selected << "+" << c.delta;
    }
}
