// TMainForm: the pop-up menus (task list, group tree, tips, tool and menu bars), the tool buttons'
// names and the keys that act on the task list only.
//
// Every menu holds the window's own actions, so a command has one handler and one enabled state
// wherever it is offered. Enter starts a task and Del deletes one only while the task list has the
// focus: the same keys in the group tree, the log or a dialog keep their own meaning.
#include "ui/MainForm.h"

#include "components/LangText.h"

#include <QAction>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

namespace qv {
namespace {

QMenu *makeMenu(QWidget *parent, const char *name)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

} // namespace

void TMainForm::createPopupMenus()
{
    auto fill = [this](QMenu *menu, std::initializer_list<const char *> names) {
        for (const char *n : names) {
            if (n == nullptr) {
                menu->addSeparator();
            } else {
                menu->addAction(action(n));
            }
        }
    };
    m_tasksMenu = makeMenu(this, "TasksPopupMenu");
    fill(m_tasksMenu, {"actTaskStart", "actTaskPause", "actTaskStop", nullptr, "actTaskNew", "actTaskProperties",
                       "actTaskDelete", "actTaskDuplicate", nullptr, "actTaskViewSource", "actTaskViewDestination",
                       "actTaskViewDestinationDeleted", "actTaskViewDestinationVersions"});
    m_groupsMenu = makeMenu(this, "GroupsPopupMenu");
    fill(m_groupsMenu, {"actTaskGroupStart", "actTaskGroupPause", "actTaskGroupStop", nullptr, "actTaskGroupNew",
                        "actTaskGroupRename", "actTaskGroupDelete", nullptr, "actTaskGroupReorder", nullptr,
                        "actTaskGroupHide"});
    m_tipsMenu = makeMenu(this, "TipsPopupMenu");
    fill(m_tipsMenu, {"actOtherTipsNext", "actOtherTipsPrev", nullptr, "actOtherTipsMoreHelp",
                      "actOtherTipsHelpContents", nullptr, "actOtherTipsHide"});
    m_topBarsMenu = makeMenu(this, "TopBarsPopupMenu");
    fill(m_topBarsMenu, {"actViewMenuBar", "actViewToolBar", "actViewTaskGroups", "actViewLog", "actViewTips",
                         "actViewStatusBar"});
    // Each menu shows the states of the moment it opens (the checks of the bars included).
    for (QMenu *menu : {m_tasksMenu, m_groupsMenu, m_tipsMenu, m_topBarsMenu}) {
        connect(menu, &QMenu::aboutToShow, this, [this] { CheckState(); });
    }

    for (QAbstractItemView *v : std::initializer_list<QAbstractItemView *>{m_iconView, m_reportView}) {
        connect(v, &QWidget::customContextMenuRequested, this, [this, v](QPoint pos) {
            m_tasksMenu->popup(v->viewport()->mapToGlobal(pos));
        });
        // The list's own keys: a shortcut that acts only while this view has the focus.
        for (const char *n : {"actTaskStart", "actTaskDelete"}) {
            v->addAction(action(n));
        }
    }
    action("actTaskStart")->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    action("actTaskStart")->setShortcutContext(Qt::WidgetShortcut);
    action("actTaskDelete")->setShortcutContext(Qt::WidgetShortcut);

    connect(m_groupsTree, &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
        if (QTreeWidgetItem *item = m_groupsTree->itemAt(pos)) {
            m_groupsTree->setCurrentItem(item); // a right-button press selects the node
        }
        m_groupsMenu->popup(m_groupsTree->viewport()->mapToGlobal(pos));
    });
    for (QWidget *bar : std::initializer_list<QWidget *>{m_toolBar, menuBar()}) {
        bar->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(bar, &QWidget::customContextMenuRequested, this,
                [this, bar](QPoint pos) { m_topBarsMenu->popup(bar->mapToGlobal(pos)); });
    }
    nameToolButtons();
}

void TMainForm::nameToolButtons()
{
    const std::pair<const char *, const char *> buttons[] = {
        {"actTaskNew", "ToolbarTbTaskNew"},
        {"actTaskProperties", "ToolbarTbTaskProperties"},
        {"actTaskDelete", "ToolbarTbTaskDelete"},
        {"actTaskStart", "ToolbarTbTaskStart"},
        {"actTaskPause", "ToolbarTbTaskPause"},
        {"actTaskStop", "ToolbarTbTaskStop"},
        {"actOptionsPreferences", "ToolbarTbOptions"},
        {"actHelpHomepage", "ToolbarTbHomepage"},
        {"actHelpContents", "ToolbarTbHelp"},
        {"actHelpAbout", "ToolbarTbAbout"},
        {"actToolsGlobalSuspend", "ToolbarTbGlobalSuspend"},
        {"actToolsDisableScheduler", "ToolbarTbDisableScheduler"},
    };
    for (const auto &[act, name] : buttons) {
        if (QWidget *button = m_toolBar->widgetForAction(action(act))) {
            button->setObjectName(QString::fromLatin1(name));
        }
    }
}

} // namespace qv
