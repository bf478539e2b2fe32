// The main window's rules, from tables: action states, sorting, the idle exit, panel sizes.
#include "ui/MainFormRules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using qv::ActionState;
using qv::MainFormStateInput;

struct StateCase {
    const char *what;
    MainFormStateInput in;
    std::vector<std::pair<const char *, ActionState>> expect;
};

MainFormStateInput task(bool running, bool suspended)
{
    MainFormStateInput in;
    in.hasTask = true;
    in.taskRunning = running;
    in.taskHasThread = running;
    in.taskSuspended = suspended;
    return in;
}

MainFormStateInput group(MainFormStateInput in, bool root, int count, bool idle, bool running)
{
    in.hasGroup = true;
    in.groupIsRoot = root;
    in.groupTaskCount = count;
    in.groupHasIdleTask = idle;
    in.groupRunning = running;
    return in;
}

TEST(MainFormActionRules, TaskAndGroupMatrix)
{
    const StateCase cases[] = {
        {"no task, no group", MainFormStateInput{},
         {{"actTaskNew", {true, false}}, {"actTaskProperties", {false, false}}, {"actTaskStart", {false, false}},
          {"actTaskPause", {false, false}}, {"actTaskStop", {false, false}}, {"actToolsCreateShortcut", {false, false}},
          {"actTaskGroupStart", {false, false}}, {"actTaskGroupNew", {false, false}},
          {"actTaskGroupRename", {false, false}}}},
        {"idle task in the root", group(task(false, false), true, 3, true, false),
         {{"actTaskStart", {true, false}}, {"actTaskPause", {false, false}}, {"actTaskStop", {false, false}},
          {"actTaskDelete", {true, false}}, {"actTaskViewSource", {true, false}}, {"actTaskGroupStart", {true, false}},
          {"actTaskGroupPause", {false, false}}, {"actTaskGroupRename", {false, false}},
          {"actTaskGroupDelete", {false, false}}, {"actTaskGroupNew", {true, false}},
          {"actTaskGroupReorder", {true, false}}}},
        {"running task in a group", group(task(true, false), false, 2, false, true),
         {{"actTaskStart", {false, false}}, {"actTaskPause", {true, false}}, {"actTaskStop", {true, false}},
          {"actTaskGroupStart", {false, false}}, {"actTaskGroupPause", {true, false}},
          {"actTaskGroupStop", {true, false}}, {"actTaskGroupRename", {true, false}},
          {"actTaskGroupDelete", {true, false}}}},
        {"suspended task", group(task(true, true), false, 1, false, true),
         {{"actTaskPause", {true, true}}, {"actTaskStop", {true, false}}, {"actTaskStart", {false, false}}}},
        {"empty group", group(MainFormStateInput{}, false, 0, false, false),
         {{"actTaskGroupStart", {false, false}}, {"actTaskGroupRename", {true, false}},
          {"actTaskProperties", {false, false}}}},
    };
    for (const auto &c : cases) {
        auto states = qv::computeActionStates(c.in);
        for (const auto &[name, want] : c.expect) {
            ASSERT_TRUE(states.count(name)) << c.what << ": " << name;
            EXPECT_EQ(states[name].enabled, want.enabled) << c.what << ": " << name << " enabled";
            EXPECT_EQ(states[name].checked, want.checked) << c.what << ": " << name << " checked";
        }
    }
}

TEST(MainFormActionRules, ChecksFollowTheProgramState)
{
    MainFormStateInput in;
    in.suspend = true;
    in.disableScheduler = true;
    in.logVisible = false;
    in.viewStyle = 1;
    in.sortColumn = 4;
    in.sortAZ = false;
    in.logSearchTextEmpty = false;
    auto s = qv::computeActionStates(in);
    EXPECT_TRUE(s["actToolsGlobalSuspend"].checked);
    EXPECT_TRUE(s["actOtherTrayPauseAllTasks"].checked);
    EXPECT_TRUE(s["actToolsDisableScheduler"].checked);
    EXPECT_FALSE(s["actViewLog"].checked);
    EXPECT_TRUE(s["actViewToolBar"].checked);
    EXPECT_TRUE(s["actViewSmallIcons"].checked);
    EXPECT_FALSE(s["actViewReport"].checked);
    EXPECT_TRUE(s["actViewArrangeIconsBySource"].checked);
    EXPECT_FALSE(s["actViewArrangeIconsByName"].checked);
    EXPECT_TRUE(s["actViewArrangeIconsByZA"].checked);
    EXPECT_FALSE(s["actViewArrangeIconsByAZ"].checked);
    EXPECT_TRUE(s["actOtherLogSearchAgain"].enabled);
    EXPECT_TRUE(s["actViewMenuBar"].checked);
    EXPECT_FALSE(s["actViewMenuBar"].enabled);
}

TEST(MainFormSorting, ColumnClicks)
{
    const struct {
        qv::SortState before;
        int column;
        qv::SortState after;
    } cases[] = {
        {{0, true}, 0, {0, false}},
        {{0, false}, 0, {0, true}},
        {{0, false}, 2, {2, true}}, // another column always starts ascending
        {{3, true}, 1, {1, true}},
    };
    for (const auto &c : cases) {
        auto s = qv::clickColumn(c.before, c.column);
        EXPECT_EQ(s.column, c.after.column);
        EXPECT_EQ(s.ascending, c.after.ascending);
    }
}

TEST(MainFormSorting, DatesSortByValueNotByText)
{
    // Day-month texts across a year end: as text "05.01.2027" < "20.12.2026", as dates the other way.
    qv::TaskRowKey dec, jan, none, decTwin;
    dec.texts[2] = "20.12.2026 10:00";
    dec.lastRun = 46376.4;
    jan.texts[2] = "05.01.2027 09:00";
    jan.lastRun = 46392.375;
    dec.texts[3] = "21.12.2026";
    dec.nextRun = 46377.0;
    jan.texts[3] = "06.01.2027";
    jan.nextRun = 46393.0;
    none.texts[3] = "Manually";
    decTwin = dec;
    decTwin.texts[3] = "0 twin";
    EXPECT_LT(qv::compareTaskRows(dec, jan, 2), 0);
    EXPECT_GT(qv::compareTaskRows(jan, dec, 2), 0);
    EXPECT_LT(qv::compareTaskRows(dec, jan, 3), 0);
    EXPECT_GT(qv::compareTaskRows(none, jan, 3), 0); // no next run after every date
    EXPECT_LT(qv::compareTaskRows(jan, none, 3), 0);
    EXPECT_LT(qv::compareTaskRows(decTwin, dec, 3), 0); // equal dates: by text
    // Text columns ignore case.
    qv::TaskRowKey a, b;
    a.texts[0] = "alpha";
    b.texts[0] = "Beta";
    EXPECT_LT(qv::compareTaskRows(a, b, 0), 0);
    EXPECT_LT(qv::compareTaskRows(a, b, 9), 0); // an out-of-range column sorts by name
}

TEST(MainFormIdleExit, ThirtyFirstIdleTickExitsAndABusyTickResets)
{
    qv::IdleExitCounter c;
    for (int i = 1; i <= 30; ++i) {
        ASSERT_FALSE(c.tick(false)) << i;
    }
    EXPECT_FALSE(c.tick(true));
    EXPECT_EQ(c.count(), 0);
    for (int i = 1; i <= 30; ++i) {
        ASSERT_FALSE(c.tick(false)) << i;
    }
    EXPECT_TRUE(c.tick(false));
}

TEST(MainFormIdleExit, TestsMayShortenTheIdleTicksButNotLengthenThem)
{
    const struct {
        const char *text;
        int ticks;
    } cases[] = {{nullptr, 31}, {"", 31}, {"5", 5}, {"1", 1}, {"31", 31}, {"0", 31},
                 {"32", 31}, {"-5", 31}, {"5s", 31}, {"99999999999", 31}};
    for (const auto &c : cases) {
        EXPECT_EQ(qv::idleExitTicks(c.text), c.ticks) << (c.text ? c.text : "(unset)");
    }
    qv::IdleExitCounter counter(qv::idleExitTicks("3"));
    EXPECT_FALSE(counter.tick(false));
    EXPECT_FALSE(counter.tick(false));
    EXPECT_TRUE(counter.tick(false));
}

TEST(MainFormPanels, LogPanelKeepsItsShare)
{
    const struct {
        int panel, oldH, newH, want;
    } cases[] = {
        {100, 400, 800, 200}, {100, 400, 200, 50}, {15, 400, 100, 10}, {100, 0, 50, 5000}, {100, 400, 0, 10},
        {101, 400, 401, 101},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(qv::scaledLogPanelHeight(c.panel, c.oldH, c.newH), c.want) << c.panel << " " << c.oldH << " " << c.newH;
    }
    EXPECT_EQ(qv::bottomPanelHeight(true, true), 83);
    EXPECT_EQ(qv::bottomPanelHeight(false, true), 22);
    EXPECT_EQ(qv::bottomPanelHeight(false, false), 0);
}

} // namespace
