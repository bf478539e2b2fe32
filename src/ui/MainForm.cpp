// TMainForm: construction, actions, menus, widgets and the tray.
#include "ui/MainForm.h"

#include "ui/ActivityLogView.h"

#include "components/LangText.h"
#include "components/AlphaImageList.h"
#include "components/MessageBox.h"
#include "components/TranslateForm.h"
#include "components/TrayIcon.h"
#include "core/runs/ShutdownStarts.h"
#include "core/runs/BackupData.h"
#include "core/text/Language.h"
#include "core/settings/Settings.h"
#include "core/util/Utils.h"
#include "platform/HotKeys.h"
#include "platform/SessionEvents.h"
#include "platform/gui/DesktopLayers.h"
#include "platform/gui/TrayService.h"
#include "ui/Help.h"
#include "ui/HelpTopics.h"
#include "ui/TaskListModel.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdlib>

namespace qv {

TMainForm *MainForm = nullptr;
bool ExitWhenIdle = false;

namespace {

struct ActionDef {
    const char *name;
    const char *caption;
    const char *shortcut;
    bool checkable;
    int image; // index in the tool images, -1 for none
};

// Every action of the window, in menu order.
const ActionDef kActions[] = {
    {"actTaskNew", "&New...", "Ctrl+N", false, 0},
    {"actTaskProperties", "&Properties...", "Alt+Return", false, 1},
    {"actTaskDelete", "&Delete...", "Del", false, 2},
    {"actTaskDuplicate", "D&uplicate", "", false, -1},
    {"actTaskGroupStart", "Start Group", "", false, 3},
    {"actTaskGroupPause", "Pause Group", "", false, 4},
    {"actTaskGroupStop", "Stop Group", "", false, 5},
    {"actTaskGroupNew", "New Group...", "", false, -1},
    {"actTaskGroupRename", "Ren&ame Group...", "", false, -1},
    {"actTaskGroupDelete", "Delete Group...", "", false, -1},
    {"actTaskGroupReorder", "Reorder...", "", false, -1},
    {"actTaskGroupHide", "Hide", "", false, -1},
    {"actTaskStart", "&Start", "Return", false, 3},
    {"actTaskPause", "P&ause", "", true, 4},
    {"actTaskStop", "St&op", "", false, 5},
    {"actTaskExit", "E&xit", "Alt+F4", false, -1},
    {"actTaskViewSource", "View Source Folder", "", false, -1},
    {"actTaskViewDestination", "View Destination Folder", "", false, -1},
    {"actTaskViewDestinationVersions", "View Destination Versions Folder", "", false, -1},
    {"actTaskViewDestinationDeleted", "View Destination Deleted Folder", "", false, -1},
    {"actViewMenuBar", "&Menu Bar", "", true, -1},
    {"actViewToolBar", "&Tool Bar", "", true, -1},
    {"actViewTaskGroups", "Task &Groups", "", true, -1},
    {"actViewLog", "&Log", "", true, -1},
    {"actViewTips", "Program T&ips", "", true, -1},
    {"actViewStatusBar", "&Status Bar", "", true, -1},
    {"actViewLargeIcons", "Lar&ge Icons", "", true, -1},
    {"actViewSmallIcons", "S&mall Icons", "", true, -1},
    {"actViewList", "&List", "", true, -1},
    {"actViewReport", "&Details", "", true, -1},
    {"actViewArrangeIconsByName", "&Name", "", true, -1},
    {"actViewArrangeIconsByType", "&Type", "", true, -1},
    {"actViewArrangeIconsByLastRun", "&Last Run", "", true, -1},
    {"actViewArrangeIconsByNextRun", "Ne&xt Run", "", true, -1},
    {"actViewArrangeIconsBySource", "&Source", "", true, -1},
    {"actViewArrangeIconsByDestination", "&Destination", "", true, -1},
    {"actViewArrangeIconsByAZ", "Sort Order &A..Z", "", true, -1},
    {"actViewArrangeIconsByZA", "Sort Order &Z..A", "", true, -1},
    {"actOptionsPreferences", "Program &Options...", "", false, 6},
    {"actOptionsStartupAndShutdown", "&Startup and Shutdown...", "", false, -1},
    {"actOptionsGlobalPerformance", "Global &Performance...", "", false, -1},
    {"actOptionsLogDisplay", "&Log Display...", "", false, -1},
    {"actOptionsInterfaceLanguage", "&Interface Language...", "", false, -1},
    {"actOptionsTasksDefaults", "&Task's Defaults", "", false, -1},
    {"actToolsGlobalSuspend", "Global &Suspend", "", true, 10},
    {"actToolsDisableScheduler", "&Disable Scheduler", "", true, 11},
    {"actToolsCreateShortcut", "Create Task &Shortcut...", "", false, -1},
    {"actToolsTasksMaintenance", "Settings &Maintenance...", "", false, -1},
    {"actHelpContents", "&Contents", "F1", false, 8},
    {"actHelpSearchForHelpOn", "&Search for Help on...", "", false, -1},
    {"actHelpProgramGuide", "Program &Guide", "", false, -1},
    {"actHelpHomepage", "&Home Page", "", false, 7},
    {"actHelpAbout", "&About...", "", false, 9},
    {"actOtherTrayShow", "Show", "", false, -1},
    {"actOtherTrayHide", "Hide", "", false, -1},
    {"actOtherTrayPauseAllTasks", "Pause all Tasks", "", true, -1},
    {"actOtherTrayHelpContents", "Help Contents", "", false, -1},
    {"actOtherTrayAboutQuorvellant", "About Quorvellant...", "", false, -1},
    {"actOtherTrayExit", "Exit", "", false, -1},
    {"actOtherLogSearchAgain", "Search Again", "F3", false, -1},
    {"actOtherTipsNext", "Next Tip", "", false, -1},
    {"actOtherTipsPrev", "Previous Tip", "", false, -1},
    {"actOtherTipsMoreHelp", "More Help...", "", false, -1},
    {"actOtherTipsHelpContents", "Help Contents", "", false, -1},
    {"actOtherTipsHide", "Hide", "", false, -1},
};

// The group tree accepts a task dragged from the list onto one of its nodes.
class GroupsTree : public QTreeWidget
{
public:
    explicit GroupsTree(TMainForm *form) : QTreeWidget(form), m_form(form)
    {
        setAcceptDrops(true);
        viewport()->setAcceptDrops(true);
        setDropIndicatorShown(true);
    }

protected:
    void dragEnterEvent(QDragEnterEvent *e) override { accept(e, e->position().toPoint()); }
    void dragMoveEvent(QDragMoveEvent *e) override { accept(e, e->position().toPoint()); }
    void dropEvent(QDropEvent *e) override
    {
        QTreeWidgetItem *node = itemAt(e->position().toPoint());
        if (node == nullptr || !e->mimeData()->hasFormat(QString::fromLatin1(kTaskMimeType))) {
            e->ignore();
            return;
        }
        e->acceptProposedAction();
        m_form->dropTaskOnGroup(e->mimeData()->data(QString::fromLatin1(kTaskMimeType)).toStdString(), node);
    }

private:
    void accept(QDropEvent *e, QPoint pos)
    {
        if (e->mimeData()->hasFormat(QString::fromLatin1(kTaskMimeType)) && itemAt(pos) != nullptr) {
            e->acceptProposedAction();
        } else {
            e->ignore();
        }
    }
    TMainForm *m_form;
};

} // namespace

TMainForm::TMainForm(TBackupData *data, Services services, QWidget *parent)
    : QMainWindow(parent), m_data(data), m_services(std::move(services))
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Quorvellant"));
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kContents));
    resize(712, 473);
    MainForm = this;
    m_idle = IdleExitCounter(idleExitTicks(std::getenv("QV_TEST_IDLE_EXIT_SECONDS")));

    createActions();
    createWidgets();
    createTipsPanel();
    createLayoutRules();
    createMenus();
    loadImages();
    createTray();
    connectActions();

    if (m_services.hotKeys == nullptr) {
        m_ownHotKeys = createDesktopHotKeys(this);
        m_services.hotKeys = m_ownHotKeys.get();
    }
    if (m_services.sessionEvents == nullptr) {
        m_ownSessionEvents = createSessionEvents(this);
        m_services.sessionEvents = m_ownSessionEvents.get();
    }
    connect(m_services.sessionEvents, &SessionEvents::sessionEnding, this, &TMainForm::sessionEnding);
    if (m_data != nullptr) {
        // Connected after the window's own slot, which saves the settings first.
        m_shutdownStarts = std::make_unique<ShutdownStarts>(*m_data, *m_services.sessionEvents);
        connect(m_shutdownStarts.get(), &ShutdownStarts::done, this, [this] {
            m_explicitExit = true;
            exitProgram();
        });
    }
    connect(m_services.sessionEvents, &SessionEvents::terminateRequested, this, [this] { exitProgram(); });
    // A document, folder or address the desktop could not open is reported to the user.
    SetShellOpenErrorHandler([this](const std::string &fileName) {
        ShowMessageBox(this,
                       QString::fromStdString(formatLangString("Unable to execute external program %s.",
                                                               "strUtilsExecuteProgramError", {FormatArg(fileName)})),
                       langText("Error", "strError"), MB_OK | MB_ICONERROR);
    });

    setMainWindow(this);
    if (m_data != nullptr) {
        m_data->SetHotKeyLayer(m_services.hotKeys);
        m_data->RegisterHotKeys();
        m_data->RegisterShowWindowHotKey(StartupHotKeyUse, StartupHotKey);
    }
    help::setApplicationHelpFile(help::applicationHelpFile());
    help::installHelpKeyHandler();
    // The loaded language file (if any) replaces the texts above; later refreshes keep them.
    TranslateForm(this);
    ApplyWindowSettings();
    placeAtStart();
    m_currentTask = nullptr;
    UpdateTreeView();
    UpdateListView();
    // The first start shows the window whatever "Run minimized" says, then the quick start over it.
    if (FirstStart) {
        m_showAtStart = true;
        m_quickStartPending = true;
        FirstStart = false;
    }

    m_scheduleTimer.setInterval(1000);
    connect(&m_scheduleTimer, &QTimer::timeout, this, &TMainForm::scheduleTick);
    m_scheduleTimer.start();
    m_trayTimer.setSingleShot(true);
    m_trayTimer.setInterval(100);
    connect(&m_trayTimer, &QTimer::timeout, this, [this] {
        if (m_showAtStart || !StartupRunMinimized) {
            ShowAndRaise();
        } else if (!m_tray->canHideToTray()) {
            // Without a tray to start in, a minimised start shows the window minimised.
            showMinimized();
        }
        m_shownByTrayTimer = true;
        if (m_quickStartPending) {
            m_quickStartPending = false;
            help::ShowHelpTopic(QString::fromLatin1(HelpTopics::kQuickStart));
        }
    });
    m_trayTimer.start();
    m_tray->Loaded();
    m_trayReturnTimer.setSingleShot(true);
    m_trayReturnTimer.setInterval(TTrayIcon::kReturnMs);
    connect(&m_trayReturnTimer, &QTimer::timeout, this, [this] { endTrayReturn(); });
    m_focusTimer.setSingleShot(true);
    m_focusTimer.setInterval(10);
    connect(&m_focusTimer, &QTimer::timeout, this, [this] { CheckState(); });
    CheckState();
}

TMainForm::~TMainForm()
{
    m_scheduleTimer.stop();
    SetShellOpenErrorHandler(nullptr);
    if (m_data != nullptr) {
        m_data->SetHotKeyLayer(nullptr);
    }
    setMainWindow(nullptr);
    if (MainForm == this) {
        MainForm = nullptr;
    }
}

QAction *TMainForm::action(const char *name) const
{
    auto it = m_actions.find(name);
    return it == m_actions.end() ? nullptr : it->second;
}

void TMainForm::createActions()
{
    for (const ActionDef &d : kActions) {
        auto *a = new QAction(langText(d.caption, d.name), this);
        a->setObjectName(QString::fromLatin1(d.name));
        a->setCheckable(d.checkable);
        if (*d.shortcut != '\0') {
            a->setShortcut(QKeySequence(QString::fromLatin1(d.shortcut)));
            a->setShortcutContext(Qt::WindowShortcut);
        }
        m_actions[d.name] = a;
    }
    auto *styles = new QActionGroup(this);
    for (const char *n : std::initializer_list<const char *>{"actViewLargeIcons", "actViewSmallIcons", "actViewList", "actViewReport"}) {
        styles->addAction(action(n));
    }
}

void TMainForm::createWidgets()
{
    m_vertical = new QSplitter(Qt::Vertical, this);
    m_vertical->setObjectName(QStringLiteral("LogSplitter"));
    m_horizontal = new QSplitter(Qt::Horizontal, m_vertical);
    m_horizontal->setObjectName(QStringLiteral("GroupsSplitter"));

    m_groupsPanel = new QWidget(m_horizontal);
    m_groupsPanel->setObjectName(QStringLiteral("GroupsPanel"));
    auto *gl = new QVBoxLayout(m_groupsPanel);
    gl->setContentsMargins(0, 0, 0, 0);
    m_groupsTree = new GroupsTree(this);
    m_groupsTree->setParent(m_groupsPanel);
    m_groupsTree->setObjectName(QStringLiteral("GroupsTreeView"));
    m_groupsTree->setHeaderHidden(true);
    m_groupsTree->setRootIsDecorated(false);
    m_groupsTree->setItemsExpandable(false);
    m_groupsTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_groupsTree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_groupsTree->setContextMenuPolicy(Qt::CustomContextMenu);
    gl->addWidget(m_groupsTree);

    m_model = new TaskItemModel(this);
    m_proxy = new TaskListProxy(this);
    m_model->setColumnCount(6);
    m_model->setHorizontalHeaderLabels({langText("Task Name", "strMainColumnName"), langText("Type", "strMainColumnType"),
                                        langText("Last Run", "strMainColumnLastRun"),
                                        langText("Next Run", "strMainColumnNextRun"),
                                        langText("Source", "strMainColumnSource"),
                                        langText("Destination", "strMainColumnDestination")});
    m_proxy->setSourceModel(m_model);
    m_taskViews = new QStackedWidget(m_horizontal);
    m_taskViews->setObjectName(QStringLiteral("TasksListViewPages"));
    m_taskViews->setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kTaskList));
    m_iconView = new QListView(m_taskViews);
    m_reportView = new QTreeView(m_taskViews);
    m_reportView->setObjectName(QStringLiteral("TasksListView")); // its columns are the translated ones
    for (QAbstractItemView *v : std::initializer_list<QAbstractItemView *>{m_iconView, m_reportView}) {
        v->setModel(m_proxy);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setDragEnabled(true);
        v->setDragDropMode(QAbstractItemView::DragOnly);
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        v->installEventFilter(this);
        connect(v, &QAbstractItemView::doubleClicked, this, [this] { startSelectedTask(); });
        connect(v->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, v] { taskSelectionChanged(v); });
    }
    m_reportView->setRootIsDecorated(false);
    m_reportView->setUniformRowHeights(true);
    m_reportView->setSortingEnabled(false);
    m_reportView->header()->setSectionsClickable(true);
    m_reportView->header()->setSortIndicatorShown(true);
    connect(m_reportView->header(), &QHeaderView::sectionClicked, this, &TMainForm::columnClicked);
    m_iconView->setModelColumn(0);
    m_iconView->setUniformItemSizes(true);
    m_taskViews->addWidget(m_iconView);
    m_taskViews->addWidget(m_reportView);
    m_horizontal->setStretchFactor(1, 1);

    m_logPanel = new QWidget(m_vertical);
    m_logPanel->setObjectName(QStringLiteral("LogPanel"));
    auto *ll = new QVBoxLayout(m_logPanel);
    ll->setContentsMargins(0, 0, 0, 0);
    m_logView = new ActivityLogView(m_logPanel);
    ll->addWidget(m_logView);
    m_vertical->setStretchFactor(0, 3);
    m_vertical->setStretchFactor(1, 1);
    setCentralWidget(m_vertical);
    m_groupsPanel->resize(185, m_groupsPanel->height());
    m_horizontal->setSizes({185, 527});

    m_toolBar = addToolBar(QStringLiteral("MainToolBar"));
    m_toolBar->setObjectName(QStringLiteral("MainToolBar"));
    m_toolBar->setIconSize(QSize(32, 32));
    for (const char *n : std::initializer_list<const char *>{"actTaskNew", "actTaskProperties", "actTaskDelete", nullptr, "actTaskStart",
                          "actTaskPause", "actTaskStop", nullptr, "actOptionsPreferences", "actToolsGlobalSuspend",
                          "actToolsDisableScheduler", nullptr, "actHelpHomepage", "actHelpContents",
                          "actHelpAbout"}) {
        if (n == nullptr) {
            m_toolBar->addSeparator();
        } else {
            m_toolBar->addAction(action(n));
        }
    }

    auto *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    for (int i = 0; i < 3; ++i) {
        m_status[i] = new QLabel(bar);
        m_status[i]->setMinimumWidth(50);
        bar->addWidget(m_status[i], i == 2 ? 1 : 0);
    }

    connect(m_groupsTree, &QTreeWidget::itemSelectionChanged, this, [this] {
        UpdateListView();
        CheckState();
    });
    connect(m_groupsTree, &QTreeWidget::itemDoubleClicked, this, [this] {
        CheckState();
        if (QAction *a = action("actTaskGroupStart"); a->isEnabled()) {
            a->trigger();
        }
    });
    connect(m_groupsTree, &QTreeWidget::itemCollapsed, this, [](QTreeWidgetItem *item) { item->setExpanded(true); });
}

void TMainForm::createMenus()
{
    auto add = [this](QMenu *menu, std::initializer_list<const char *> names) {
        for (const char *n : names) {
            if (n == nullptr) {
                menu->addSeparator();
            } else {
                menu->addAction(action(n));
            }
        }
    };
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("ActionMainMenuBar"));
    QMenu *task = bar->addMenu(langText("&Task", "mnuTask"));
    task->setObjectName(QStringLiteral("mnuTask"));
    add(task, {"actTaskNew", "actTaskProperties", "actTaskDelete", "actTaskDuplicate", nullptr});
    QMenu *groups = task->addMenu(langText("&Task Groups", "mnuTaskGroups"));
    groups->setObjectName(QStringLiteral("mnuTaskGroups"));
    add(groups, {"actTaskGroupStart", "actTaskGroupPause", "actTaskGroupStop", nullptr, "actTaskGroupNew",
                 "actTaskGroupRename", "actTaskGroupDelete", nullptr, "actTaskGroupReorder"});
    add(task, {nullptr, "actTaskStart", "actTaskPause", "actTaskStop", nullptr, "actTaskExit"});
    QMenu *view = bar->addMenu(langText("&View", "mnuView"));
    view->setObjectName(QStringLiteral("mnuView"));
    add(view, {"actViewMenuBar", "actViewToolBar", "actViewTaskGroups", "actViewLog", "actViewTips",
               "actViewStatusBar", nullptr, "actViewLargeIcons", "actViewSmallIcons", "actViewList",
               "actViewReport", nullptr});
    QMenu *arrange = view->addMenu(langText("A&rrange Icons by", "mnuArrangeIcons"));
    arrange->setObjectName(QStringLiteral("mnuArrangeIcons"));
    add(arrange, {"actViewArrangeIconsByName", "actViewArrangeIconsByType", "actViewArrangeIconsByLastRun",
                  "actViewArrangeIconsByNextRun", "actViewArrangeIconsBySource", "actViewArrangeIconsByDestination",
                  nullptr, "actViewArrangeIconsByAZ", "actViewArrangeIconsByZA"});
    QMenu *options = bar->addMenu(langText("&Options", "mnuOptions"));
    options->setObjectName(QStringLiteral("mnuOptions"));
    add(options, {"actOptionsPreferences", nullptr, "actOptionsStartupAndShutdown", "actOptionsGlobalPerformance",
                  "actOptionsLogDisplay", "actOptionsInterfaceLanguage", "actOptionsTasksDefaults"});
    QMenu *tools = bar->addMenu(langText("Too&ls", "mnuTools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    add(tools, {"actToolsGlobalSuspend", "actToolsDisableScheduler", nullptr, "actToolsCreateShortcut", nullptr,
                "actToolsTasksMaintenance"});
    QMenu *helpMenu = bar->addMenu(langText("&Help", "mnuHelp"));
    helpMenu->setObjectName(QStringLiteral("mnuHelp"));
    add(helpMenu, {"actHelpContents", "actHelpSearchForHelpOn", "actHelpProgramGuide", nullptr, "actHelpHomepage",
                   nullptr, "actHelpAbout"});

    createPopupMenus();
}

void TMainForm::loadImages()
{
    auto make = [this](int size, const char *name) {
        auto *list = new TAlphaImageList(size, size, this);
        list->setObjectName(QString::fromLatin1(name));
        list->Initialize();
        return list;
    };
    m_toolbarImages = make(32, "ToolbarImages");
    m_toolbarImages->LoadFromResource(QStringLiteral("ICON_MainImageList_"));
    m_toolbarDisabled = make(32, "ToolbarImagesDisabled");
    m_toolbarDisabled->CopyImagesFrom(m_toolbarImages);
    m_toolbarDisabled->MakeAllImagesDisabled();
    m_toolbarHot = make(32, "ToolbarImagesHot");
    m_toolbarHot->CopyImagesFrom(m_toolbarImages);
    m_toolbarHot->DarkenAllImages();
    m_toolbarImages->setDisabledImages(m_toolbarDisabled);
    m_groupsImages = make(16, "GroupsImages");
    m_groupsImages->LoadFromResource(QStringLiteral("ICON_GroupsImageList_"));
    m_tasksSmall = make(16, "TasksImagesSmall");
    m_tasksSmall->LoadFromResource(QStringLiteral("ICON_TasksImageList_"));
    m_tasksLarge = make(32, "TasksImagesLarge");
    m_tasksLarge->LoadFromResource(QStringLiteral("ICON_TasksImageList_"));
    for (TAlphaImageList *l : {m_toolbarImages, m_toolbarDisabled, m_toolbarHot, m_groupsImages, m_tasksSmall,
                               m_tasksLarge}) {
        Q_ASSERT_X(l->Count() > 0, "TMainForm", "Application images were not loaded.");
        if (l->Count() == 0) {
            qFatal("Application images were not loaded.");
        }
    }
    m_menuImages = make(16, "MenusImages");
    m_menuImages->LoadFromResource(QStringLiteral("ICON_MainMenuImageList_"));
    m_menuDisabled = make(16, "MenusImagesDisabled");
    m_menuDisabled->CopyImagesFrom(m_menuImages);
    m_menuDisabled->MakeAllImagesDisabled();
    for (TAlphaImageList *l : {m_menuImages, m_menuDisabled}) {
        if (l->Count() == 0) {
            qFatal("Application images were not loaded.");
        }
    }
    // One icon per action: 32 px for the tool bar (darker under the mouse), 16 px for the menus,
    // each with its grey form for a disabled command.
    for (const ActionDef &d : kActions) {
        if (d.image >= 0) {
            QIcon icon;
            icon.addPixmap(QPixmap::fromImage(m_toolbarImages->image(d.image)));
            icon.addPixmap(QPixmap::fromImage(m_toolbarHot->image(d.image)), QIcon::Active);
            icon.addPixmap(QPixmap::fromImage(m_toolbarDisabled->image(d.image)), QIcon::Disabled);
            if (d.image < m_menuImages->Count()) {
                icon.addPixmap(QPixmap::fromImage(m_menuImages->image(d.image)));
                icon.addPixmap(QPixmap::fromImage(m_menuDisabled->image(d.image)), QIcon::Disabled);
            }
            action(d.name)->setIcon(icon);
        }
    }
    QIcon appIcon(QStringLiteral(":/icons/32/ICON_Quorvellant.png"));
    appIcon.addFile(QStringLiteral(":/icons/16/ICON_Quorvellant.png"));
    setWindowIcon(appIcon);
}

void TMainForm::createTray()
{
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("TrayPopupMenu"));
    for (const char *n : std::initializer_list<const char *>{"actOtherTrayShow", "actOtherTrayHide", nullptr, "actOtherTrayPauseAllTasks", nullptr,
                          "actOtherTrayHelpContents", "actOtherTrayAboutQuorvellant", nullptr, "actOtherTrayExit"}) {
        if (n == nullptr) {
            m_trayMenu->addSeparator();
        } else {
            m_trayMenu->addAction(action(n));
        }
    }
    m_trayMenu->setDefaultAction(action("actOtherTrayShow"));
    m_tray = new TTrayIcon(this, std::move(m_services.tray));
    m_tray->setObjectName(QStringLiteral("TrayIcon"));
    m_tray->setIcon(windowIcon());
    m_tray->setHint(QStringLiteral("Quorvellant"));
    m_tray->setPopupMenu(m_trayMenu);
    m_tray->StartMinimized = true;
    m_tray->MinimizeToTray = true;
    m_tray->setIconVisible(false);
}

void TMainForm::startSelectedTask()
{
    if (m_currentTask != nullptr && !m_currentTask->Running) {
        m_currentTask->Run(kStartByHand);
    }
    CheckState();
}

void TMainForm::toggleGlobalSuspend()
{
    if (m_data == nullptr) {
        return;
    }
    Suspend = !Suspend;
    m_data->ApplyGlobalSuspend();
    CheckState();
}

void TMainForm::toggleVisibility(QWidget *w, bool)
{
    w->setVisible(w->isHidden());
    CheckState();
}

void TMainForm::connectActions()
{
    auto on = [this](const char *name, auto fn) { connect(action(name), &QAction::triggered, this, fn); };
    ActivityLogView::Hooks logHooks;
    logHooks.searchAgain = action("actOtherLogSearchAgain");
    logHooks.hideLog = [this] { action("actViewLog")->trigger(); };
    if (m_services.dialogs.hasPreferencesPage()) {
        logHooks.openOptions = [this] { ShowPreferencesPage(2); };
    }
    logHooks.stateChanged = [this] { CheckState(); };
    m_logView->setHooks(std::move(logHooks));
    on("actTaskStart", [this] { startSelectedTask(); });
    on("actTaskPause", [this] {
        if (m_currentTask != nullptr && m_currentTask->Thread() != nullptr) {
            m_currentTask->SetSuspended(!m_currentTask->GetSuspended());
        }
        CheckState();
    });
    on("actTaskStop", [this] {
        if (m_currentTask == nullptr) {
            return;
        }
        TTask *task = m_currentTask;
        const std::string id = task->ID;
        const QString text = QString::fromStdString(formatLangString(
            "This may cause some or all of the Source files not be copied to Destination. Do you really want to "
            "abort \"%s\" Task work?",
            "strMainTaskBackupAbortConfirmation", {FormatArg(task->Name)}));
        auto running = [this, id] {
            TTask *t = m_data != nullptr ? m_data->FindTaskByID(id) : nullptr;
            return t != nullptr && t->Running;
        };
        // The question goes when the run it asks about ends.
        if (ShowMessageBoxWhile(this, text, langText("Warning!", "strWarning"), MB_YESNO | MB_ICONWARNING,
                                running) == IDYES) {
            // The dialog ran a nested loop: the task may have ended or gone.
            if (running()) {
                m_data->FindTaskByID(id)->Stop();
            }
        }
        CheckState();
    });
    on("actTaskExit", [this] { close(); });
    on("actTaskGroupStart", [this] {
        if (m_data) {
            m_data->RunGroup(selectedGroupText().toStdString(), kStartByHand);
        }
        CheckState();
    });
    on("actTaskGroupPause", [this] {
        if (m_data) {
            m_data->PauseGroup(selectedGroupText().toStdString());
        }
        CheckState();
    });
    on("actTaskGroupStop", [this] {
        const QString group = selectedGroupText();
        const QString text = QString::fromStdString(formatLangString(
            "This may cause some or all of the Source files not be copied to Destination. Do you really want to "
            "abort work of the whole \"%s\" Tasks Group?",
            "strMainGroupBackupAbortConfirmation", {FormatArg(group.toStdString())}));
        if (m_data && ShowMessageBox(this, text, langText("Warning!", "strWarning"), MB_YESNO | MB_ICONWARNING) == IDYES) {
            m_data->StopGroup(group.toStdString());
        }
        CheckState();
    });
    on("actTaskGroupHide", [this] { action("actViewTaskGroups")->trigger(); });
    on("actViewMenuBar", [this] { CheckState(); });
    on("actViewToolBar", [this] { toggleVisibility(m_toolBar, false); });
    on("actViewTaskGroups", [this] { toggleVisibility(m_groupsPanel, true); });
    on("actViewLog", [this] { toggleVisibility(m_logPanel, true); });
    on("actViewStatusBar", [this] { toggleVisibility(statusBar(), false); });
    const char *styles[] = {"actViewLargeIcons", "actViewSmallIcons", "actViewList", "actViewReport"};
    for (int i = 0; i < 4; ++i) {
        on(styles[i], [this, i] {
            setViewStyle(i);
            CheckState();
        });
    }
    const char *arrange[] = {"actViewArrangeIconsByName",    "actViewArrangeIconsByType",
                             "actViewArrangeIconsByLastRun", "actViewArrangeIconsByNextRun",
                             "actViewArrangeIconsBySource",  "actViewArrangeIconsByDestination"};
    for (int i = 0; i < 6; ++i) {
        on(arrange[i], [this, i] { columnClicked(i); });
    }
    on("actViewArrangeIconsByAZ", [this] {
        SortOrderAZ = false;
        columnClicked(checkedSortColumn());
    });
    on("actViewArrangeIconsByZA", [this] {
        SortOrderAZ = true;
        columnClicked(checkedSortColumn());
    });
    on("actToolsGlobalSuspend", [this] { toggleGlobalSuspend(); });
    on("actOtherTrayPauseAllTasks", [this] { toggleGlobalSuspend(); });
    on("actToolsDisableScheduler", [this] {
        DisableScheduler = !DisableScheduler;
        CheckState();
    });
    on("actHelpContents", [] { help::ShowHelpContents(); });
    on("actOtherTrayHelpContents", [] { help::ShowHelpContents(); });
    on("actHelpSearchForHelpOn", [] { help::ShowHelpIndex(); });
    on("actHelpProgramGuide", [] { help::ShowHelpTopic(QString::fromLatin1(HelpTopics::kQuickStart)); });
    on("actOtherTrayShow", [this] { m_tray->ShowMainForm(); });
    on("actOtherTrayHide", [this] { m_tray->HideMainForm(); });
    on("actOtherTrayExit", [this] { trayExit(); });

    connectCommands();
    connectTipsActions();
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_iconView || watched == m_reportView) && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & Qt::KeypadModifier) {
            if (key->key() == Qt::Key_Minus) {
                moveLastRun(-1);
                return true;
            }
            if (key->key() == Qt::Key_Plus) {
                moveLastRun(1);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace qv
