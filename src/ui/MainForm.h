// TMainForm: the program's main window: the task list of the selected group, the group tree, the
// activity log, the status bar, the tray icon, the schedule timer and the one way out.
//
// The task core calls back through MainWindowCallbacks. Every way of leaving the program (tray
// Exit, a permitted close, /EXITNOW, ExitWhenIdle, the end of the session, SIGTERM) goes through
// exitProgram(): stop every run, keep processing events until every backup thread has ended (at
// most 30 s), save, quit. A thread still running at the bound is never destroyed: the settings
// are saved and the process ends.
#pragma once

#include "core/runs/MainWindowCallbacks.h"
#include "ui/MainFormDialogs.h"
#include "ui/MainFormRules.h"

#include <QMainWindow>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QAbstractItemView;
class QAction;
class QLabel;
class QListView;
class QMenu;
class QSplitter;
class QStackedWidget;
class QStandardItemModel;
class QToolBar;
class QTreeView;

namespace qv {
class ActivityLogView;
}
class QTreeWidget;
class QTreeWidgetItem;

namespace qv {

class LastColumnFill;
class ShutdownStarts;

class HotKeys;
class SessionEvents;
class TAlphaImageList;
class TBackupData;
class TTask;
class TTrayIcon;
class TaskListProxy;
class TaskItemModel;
class TrayService;
class TipsPanel;

class TMainForm : public QMainWindow, public MainWindowCallbacks
{
    Q_OBJECT
public:
    // The desktop services the window uses; null members are created for the real desktop.
    struct Services {
        std::unique_ptr<TrayService> tray;
        HotKeys *hotKeys = nullptr;          // not owned
        SessionEvents *sessionEvents = nullptr; // not owned
        // Ends the process when threads outlive the exit bound (tests replace it).
        std::function<void()> hardExit;
        int exitDrainMs = 30000;
        // The dialogs the commands open; an absent entry disables its commands.
        MainFormDialogs dialogs;
    };

    TMainForm(TBackupData *data, Services services, QWidget *parent = nullptr);
    ~TMainForm() override;

    // MainWindowCallbacks.
    void CheckState() override;
    void UpdateListView() override;
    void UpdateStatusBar() override;
    void ActivityLogAddEvent(const TTaskLogger &logger, LogChange change) override;
    void ShowAndRaise() override;
    // "/SHOW" on the program's own command line: the window shows at start even when "Run
    // minimized" is set.
    void showAtStart();
    void ShowMessage(CoreMessageKind kind, const std::string &text) override;

    void UpdateTreeView();
    void UpdateAll();
    void SaveAllSettings();
    // The window, the tasks and the program-wide settings into this thread's store; each failure
    // goes to `report`.
    void saveAllInto(const std::function<void(const std::string &)> &report);
    void ApplyWindowSettings();
    void LoadWindowSettings();
    void SaveWindowSettings();
    // After a settings restore committed: the program-wide settings, the groups and tasks, the hot
    // keys, the layout and the language are read again, on the main thread and without events in
    // between; returns the problems found while loading the tasks.
    std::vector<std::string> ReloadAfterRestore();

    // The one way out. Safe to call more than once; returns at once.
    void exitProgram();
    bool isExiting() const { return m_exiting; }
    // The tray's Exit: an explicit exit, then a close (with the exit confirmation).
    void trayExit();
    // The schedule timer's work (the tests call it with their own clock).
    void scheduleTick();
    // The end of the desktop session.
    void sessionEnding(int deadlineMs);

    TTask *CurrentTask() const { return m_currentTask; }
    bool ExplicitExit() const { return m_explicitExit; }
    QAction *action(const char *name) const;
    QTreeWidget *groupsTree() const { return m_groupsTree; }
    QTreeView *reportView() const { return m_reportView; }
    QListView *iconView() const { return m_iconView; }
    QStackedWidget *taskViews() const { return m_taskViews; }
    TaskListProxy *taskList() const { return m_proxy; }
    QLabel *statusPanel(int i) const { return m_status[i]; }
    TTrayIcon *trayIcon() const { return m_tray; }
    QWidget *groupsPanel() const { return m_groupsPanel; }
    QWidget *logPanel() const { return m_logPanel; }
    ActivityLogView *logView() const { return m_logView; }
    QSplitter *groupsSplitter() const { return m_horizontal; }
    QSplitter *logSplitter() const { return m_vertical; }
    QToolBar *mainToolBar() const { return m_toolBar; }
    TipsPanel *tipsPanel() const { return m_tips; }
    QWidget *bottomPanel() const { return m_bottomPanel; }
    int viewStyle() const;
    void setViewStyle(int style);
    // Selects the task with `id` in the list (false when it is not listed).
    bool selectTask(const std::string &id);
    // Selects the group node named `name` ("All Tasks" is the root).
    bool selectGroup(const std::string &name);
    // A task dropped on a group node (the root clears its group).
    void dropTaskOnGroup(const std::string &taskId, QTreeWidgetItem *node);
    // A column click (column 0 to 5).
    void columnClicked(int column);
    IdleExitCounter &idleCounter() { return m_idle; }
    const MainFormDialogs &dialogs() const { return m_services.dialogs; }
    // Replaces the dialogs (the program installs its set; tests install fakes) and refreshes the
    // actions' states.
    void setDialogs(MainFormDialogs dialogs);
    // The program options dialog on `page` (-1: the remembered page); saves everything on OK.
    void ShowPreferencesPage(int page);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void endTrayReturn();
    void putBackTrayReturnPanes();
    void createActions();
    void createMenus();
    void createWidgets();
    void createTray();
    // The pop-up menus of the task list, the group tree, the tips and the bars; the task list's
    // own keys (MainFormMenus.cpp).
    void createPopupMenus();
    void nameToolButtons();
    // The tips panel in the bottom panel, its actions and its visibility (MainFormTips.cpp).
    void createTipsPanel();
    void connectTipsActions();
    void setTipsVisible(bool visible);
    // Log column widths and splitter limits (MainFormLayout.cpp).
    void createLayoutRules();
    void applyLogColumnWidths();
    // The stored widths of the group panel and height of the log panel, into the splitters.
    void applyStoredSplit();
    // The stored normal rectangle and maximised state; false when none is stored.
    bool applyStoredPlacement();
    // Before the first show: the stored placement, else the middle of the pointer's screen.
    void placeAtStart();
    void loadImages();
    void connectActions();
    void applyActionStates(const std::map<std::string, ActionState> &states);
    void refreshLogView();
    // A task view's selection changed (a click, a key, a program's change): the other view shows
    // the same task, and the current task, the commands and the log follow at once.
    void taskSelectionChanged(QAbstractItemView *from);
    // The ID of the task selected in the view shown (empty: none).
    std::string selectedTaskId() const;
    void moveLastRun(int days);
    void startSelectedTask();
    bool confirmExit();
    std::vector<std::string> runningTaskNames() const;
    // The commands that change tasks and groups or open dialogs (MainFormCommands.cpp).
    void connectCommands();
    void taskNew();
    void taskProperties();
    void taskDelete();
    void taskDuplicate();
    void viewTaskFolders(int kind);
    void groupNew();
    void groupRename();
    void groupDelete();
    void groupReorder();
    void showAbout();
    void toggleGlobalSuspend();
    void toggleVisibility(QWidget *w, bool alsoSplitter);
    QString selectedGroupText() const;
    bool rootSelected() const;

    TBackupData *m_data;
    Services m_services;
    std::unique_ptr<HotKeys> m_ownHotKeys;
    std::unique_ptr<SessionEvents> m_ownSessionEvents;
    std::unique_ptr<ShutdownStarts> m_shutdownStarts; // the runs at the end of the session (after the events)
    std::map<std::string, QAction *> m_actions;
    TTask *m_currentTask = nullptr;
    bool m_rebuildingList = false;     // the list's rows are being made again
    bool m_mirroringSelection = false; // one view's selection is being copied to the other
    bool m_explicitExit = false;
    bool m_exiting = false;
    bool m_sessionEnding = false; // the session ends or a signal asked the program to leave
    std::string m_besideStore;    // where the settings go while the store is damaged (said once)
    bool m_layoutLoaded = false;
    bool m_shownOnce = false; // the window has been on the screen, its panes laid out
    bool m_applyingLayout = false;
    LastColumnFill *m_logFill = nullptr;    // the log's event column fills the panel
    LastColumnFill *m_reportFill = nullptr; // the task list's destination column fills the list
    bool m_shownByTrayTimer = false;
    bool m_showAtStart = false;
    bool m_quickStartPending = false;
    IdleExitCounter m_idle;
    int m_lastHeight = 0;
    int m_storedGroupsWidth = 0;
    int m_storedLogHeight = 0;
    bool m_splitPendingMaximize = false; // the stored layout is applied again once maximised
    // A maximised window minimised into the tray comes back as it went: its panes, its height and its
    // normal placement, taken when it was hidden. While it settles (the window system may show it
    // normal for a moment, at another size) its panes do not scale, and each time it has its
    // maximised height again they are put back.
    struct TrayReturn
    {
        QList<int> groups;
        QList<int> log;
        int height = 0;
        QRect normal;
        bool pending = false;  // hidden into the tray, maximised
        bool settling = false; // shown again, not yet settled
    };
    TrayReturn m_trayReturn;
    QTimer m_trayReturnTimer;

    QWidget *m_groupsPanel = nullptr;
    QTreeWidget *m_groupsTree = nullptr;
    QStackedWidget *m_taskViews = nullptr;
    QTreeView *m_reportView = nullptr;
    QListView *m_iconView = nullptr;
    TaskItemModel *m_model = nullptr;
    TaskListProxy *m_proxy = nullptr;
    QWidget *m_logPanel = nullptr;
    ActivityLogView *m_logView = nullptr;
    QSplitter *m_vertical = nullptr;
    QSplitter *m_horizontal = nullptr;
    QToolBar *m_toolBar = nullptr;
    QWidget *m_bottomPanel = nullptr;
    TipsPanel *m_tips = nullptr;
    QLabel *m_status[3] = {nullptr, nullptr, nullptr};
    QMenu *m_trayMenu = nullptr;
    QMenu *m_tasksMenu = nullptr;
    QMenu *m_groupsMenu = nullptr;
    QMenu *m_tipsMenu = nullptr;
    QMenu *m_topBarsMenu = nullptr;
    TTrayIcon *m_tray = nullptr;
    QTimer m_scheduleTimer;
    QTimer m_trayTimer;
    QTimer m_focusTimer;

    TAlphaImageList *m_toolbarImages = nullptr;
    TAlphaImageList *m_toolbarDisabled = nullptr;
    TAlphaImageList *m_toolbarHot = nullptr;
    TAlphaImageList *m_groupsImages = nullptr;
    TAlphaImageList *m_menuImages = nullptr;
    TAlphaImageList *m_menuDisabled = nullptr;
    TAlphaImageList *m_tasksSmall = nullptr;
    TAlphaImageList *m_tasksLarge = nullptr;
};

// The global main window (null before it exists and after it is gone).
extern TMainForm *MainForm;

// "/EXITWHENIDLE": the program ends on the 31st schedule tick in a row without a running task.
extern bool ExitWhenIdle;

} // namespace qv
