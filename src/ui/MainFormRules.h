// The main window's rules as pure functions: which action is enabled or checked, how the task
// list sorts, when an idle program exits, how the log panel keeps its share of the window.
//
// The window reads its state into the small input structs below and applies the results; the
// tests check the rules from tables without a window.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace qv {

struct MainFormStateInput {
    // The selected task.
    bool hasTask = false;
    bool taskRunning = false;
    bool taskHasThread = false;
    bool taskSuspended = false;
    // The selected group node.
    bool hasGroup = false;
    bool groupIsRoot = false;
    int groupTaskCount = 0;
    bool groupHasIdleTask = false;
    bool groupRunning = false;
    // Program-wide state.
    bool suspend = false;
    bool disableScheduler = false;
    bool toolBarVisible = true;
    bool groupsVisible = true;
    bool logVisible = true;
    bool tipsVisible = false;
    bool statusBarVisible = true;
    int viewStyle = 3;
    int sortColumn = 0;
    bool sortAZ = true;
    bool logSearchTextEmpty = true;
    bool tipTopicEmpty = true; // the tip shown names no help topic
    // Which dialogs the program has (an action whose dialog is absent is disabled).
    bool hasEditTask = true;
    bool hasCheckTaskPassword = true;
    bool hasGroupProperties = true;
    bool hasGroupsOrder = true;
    bool hasShortcutDialog = true;
    bool hasAbout = true;
    bool hasPreferencesPage = true;
    bool hasMaintenanceWizard = true;
};

struct ActionState {
    bool enabled = true;
    bool checked = false;
    bool operator==(const ActionState &o) const { return enabled == o.enabled && checked == o.checked; }
};

// Every action the rules govern, by its name; actions not listed are always enabled.
std::map<std::string, ActionState> computeActionStates(const MainFormStateInput &in);

// Sorting of the task list. A column click flips the order of the sorted column; another column
// always starts ascending.
struct SortState {
    int column = 0;
    bool ascending = true;
};
SortState clickColumn(SortState state, int column);

// One task list row as the sort sees it: the six column texts and the two dates (day counts;
// no next run sorts after every date).
struct TaskRowKey {
    std::string texts[6];
    double lastRun = 0;
    std::optional<double> nextRun;
};
// < 0, 0, > 0 in ascending order of `column`: dates by their value (ties by text), the other
// columns by their text without regard to case.
int compareTaskRows(const TaskRowKey &a, const TaskRowKey &b, int column);

// ExitWhenIdle: counts the timer's ticks on which no task runs; the 31st idle tick in a row exits.
class IdleExitCounter
{
public:
    explicit IdleExitCounter(int idleTicks = 31) : m_limit(idleTicks) {}
    // True when the program should exit now.
    bool tick(bool anyTaskRunning);
    int count() const { return m_count; }

private:
    int m_limit;
    int m_count = 0;
};

// The idle ticks before ExitWhenIdle ends the program: 31, or the whole number of seconds 1 to 31
// in `testSeconds` (the environment's QV_TEST_IDLE_EXIT_SECONDS), with which the tests of the whole
// program wait a few seconds for its end instead of half a minute.
int idleExitTicks(const char *testSeconds);

// The log panel keeps its share of the window when the window's height changes: the new height is
// old panel height * new / old, rounded, at least 10 (a window height below 1 counts as 1).
int scaledLogPanelHeight(int panelHeight, int oldWindowHeight, int newWindowHeight);

// The bottom panel's height: 61 with the tips panel, plus 22 with the status bar.
int bottomPanelHeight(bool tipsVisible, bool statusBarVisible);

} // namespace qv
