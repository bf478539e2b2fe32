// The main window's rules.
#include "ui/MainFormRules.h"

#include <QString>

#include <cmath>

namespace qv {

std::map<std::string, ActionState> computeActionStates(const MainFormStateInput &in)
{
    std::map<std::string, ActionState> s;
    auto set = [&s](const char *name, bool enabled, bool checked = false) { s[name] = {enabled, checked}; };

    // The selected task.
    const bool start = in.hasTask && !in.taskRunning;
    const bool pause = in.hasTask && !start;
    set("actTaskNew", in.hasEditTask);
    set("actTaskProperties", in.hasTask && in.hasEditTask);
    set("actTaskDelete", in.hasTask && in.hasCheckTaskPassword);
    set("actTaskDuplicate", in.hasTask);
    set("actTaskStart", start);
    set("actTaskPause", pause, in.hasTask && in.taskHasThread && in.taskSuspended);
    set("actTaskStop", pause);
    for (const char *name : {"actTaskViewSource", "actTaskViewDestination", "actTaskViewDestinationVersions",
                             "actTaskViewDestinationDeleted"}) {
        set(name, in.hasTask);
    }
    set("actToolsCreateShortcut", in.hasTask && in.hasShortcutDialog);

    // The selected group node.
    set("actTaskGroupStart", in.hasGroup && in.groupTaskCount > 0 && in.groupHasIdleTask);
    set("actTaskGroupPause", in.hasGroup && in.groupRunning);
    set("actTaskGroupStop", in.hasGroup && in.groupRunning);
    set("actTaskGroupNew", in.hasGroup && in.hasGroupProperties);
    set("actTaskGroupReorder", in.hasGroup && in.hasGroupsOrder);
    set("actTaskGroupRename", in.hasGroup && !in.groupIsRoot && in.hasGroupProperties);
    set("actTaskGroupDelete", in.hasGroup && !in.groupIsRoot);

    // Commands that only open a dialog.
    for (const char *name : {"actOptionsPreferences", "actOptionsStartupAndShutdown", "actOptionsGlobalPerformance",
                             "actOptionsLogDisplay", "actOptionsInterfaceLanguage", "actOptionsTasksDefaults"}) {
        set(name, in.hasPreferencesPage);
    }
    set("actToolsTasksMaintenance", in.hasMaintenanceWizard);
    set("actHelpAbout", in.hasAbout);
    set("actOtherTrayAboutQuorvellant", in.hasAbout);

    // Checks.
    set("actOtherTrayPauseAllTasks", true, in.suspend);
    set("actToolsGlobalSuspend", true, in.suspend);
    set("actToolsDisableScheduler", true, in.disableScheduler);
    // The menu bar always stays: its item shows it checked and greyed, not as a switch that does nothing.
    set("actViewMenuBar", false, true);
    set("actViewToolBar", true, in.toolBarVisible);
    set("actViewTaskGroups", true, in.groupsVisible);
    set("actViewLog", true, in.logVisible);
    set("actViewTips", true, in.tipsVisible);
    set("actViewStatusBar", true, in.statusBarVisible);
    const char *styles[] = {"actViewLargeIcons", "actViewSmallIcons", "actViewList", "actViewReport"};
    for (int i = 0; i < 4; ++i) {
        set(styles[i], true, in.viewStyle == i);
    }
    const char *arrange[] = {"actViewArrangeIconsByName",    "actViewArrangeIconsByType",
                             "actViewArrangeIconsByLastRun", "actViewArrangeIconsByNextRun",
                             "actViewArrangeIconsBySource",  "actViewArrangeIconsByDestination"};
    for (int i = 0; i < 6; ++i) {
        set(arrange[i], true, in.sortColumn == i);
    }
    set("actViewArrangeIconsByAZ", true, in.sortAZ);
    set("actViewArrangeIconsByZA", true, !in.sortAZ);
    set("actOtherLogSearchAgain", !in.logSearchTextEmpty);
    set("actOtherTipsMoreHelp", !in.tipTopicEmpty);
    return s;
}

SortState clickColumn(SortState state, int column)
{
    SortState next = state;
    next.ascending = !state.ascending;
    next.column = column;
    if (column != state.column) {
        next.ascending = true;
    }
    return next;
}

int compareTaskRows(const TaskRowKey &a, const TaskRowKey &b, int column)
{
    if (column < 0 || column > 5) {
        column = 0;
    }
    auto byText = [&] {
        return QString::compare(QString::fromStdString(a.texts[column]), QString::fromStdString(b.texts[column]),
                                Qt::CaseInsensitive);
    };
    if (column == 2 && a.lastRun != b.lastRun) {
        return a.lastRun < b.lastRun ? -1 : 1;
    }
    if (column == 3) {
        if (a.nextRun.has_value() != b.nextRun.has_value()) {
            return a.nextRun.has_value() ? -1 : 1; // no next run sorts after every date
        }
        if (a.nextRun && *a.nextRun != *b.nextRun) {
            return *a.nextRun < *b.nextRun ? -1 : 1;
        }
    }
    return byText();
}

bool IdleExitCounter::tick(bool anyTaskRunning)
{
    m_count = anyTaskRunning ? 0 : m_count + 1;
    return m_count >= m_limit;
}

int idleExitTicks(const char *testSeconds)
{
    constexpr int kTicks = 31;
    if (testSeconds == nullptr || *testSeconds == '\0') {
        return kTicks;
    }
    int n = 0;
    for (const char *p = testSeconds; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || n > kTicks) {
            return kTicks;
        }
        n = n * 10 + (*p - '0');
    }
    return n >= 1 && n <= kTicks ? n : kTicks;
}

int scaledLogPanelHeight(int panelHeight, int oldWindowHeight, int newWindowHeight)
{
    const double oldH = oldWindowHeight < 1 ? 1.0 : oldWindowHeight;
    const double newH = newWindowHeight < 1 ? 1.0 : newWindowHeight;
    int h = static_cast<int>(std::lround(panelHeight * newH / oldH));
    return h < 10 ? 10 : h;
}

int bottomPanelHeight(bool tipsVisible, bool statusBarVisible)
{
    return (tipsVisible ? 61 : 0) + (statusBarVisible ? 22 : 0);
}

} // namespace qv
