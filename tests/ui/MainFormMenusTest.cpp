// The main window's menus, pop-up menus, list keys and tips offscreen: where each command is offered,
// Enter and Del only in the task list, the tips' stepping and their help topics.
// qv-test-labels: gui
// qv-test-timeout: 180
#include "MainFormCommandFixture.h"

#include "ui/Help.h"
#include "ui/TipsPanel.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdlib>
#include <set>

namespace {

using qvtest::MainFormCommandFixture;

// Every action reachable from `menu` and its sub-menus.
void collect(const QMenu *menu, std::set<std::string> &names)
{
    for (QAction *a : menu->actions()) {
        if (a->menu() != nullptr) {
            collect(a->menu(), names);
        } else if (!a->isSeparator()) {
            names.insert(a->objectName().toStdString());
        }
    }
}

std::vector<std::string> menuNames(const QMenu *menu)
{
    std::vector<std::string> names;
    for (QAction *a : menu->actions()) {
        names.push_back(a->isSeparator() ? "-" : a->objectName().toStdString());
    }
    return names;
}

// Where each command is offered: the menu bar, the tool bar, and the pop-up menu named.
struct Place {
    const char *action;
    bool menuBar;
    bool toolBar;
    const char *popup; // nullptr: none
};

const Place kPlaces[] = {
    {"actTaskNew", true, true, "TasksPopupMenu"},
    {"actTaskProperties", true, true, "TasksPopupMenu"},
    {"actTaskDelete", true, true, "TasksPopupMenu"},
    {"actTaskDuplicate", true, false, "TasksPopupMenu"},
    {"actTaskGroupStart", true, false, "GroupsPopupMenu"},
    {"actTaskGroupPause", true, false, "GroupsPopupMenu"},
    {"actTaskGroupStop", true, false, "GroupsPopupMenu"},
    {"actTaskGroupNew", true, false, "GroupsPopupMenu"},
    {"actTaskGroupRename", true, false, "GroupsPopupMenu"},
    {"actTaskGroupDelete", true, false, "GroupsPopupMenu"},
    {"actTaskGroupReorder", true, false, "GroupsPopupMenu"},
    {"actTaskGroupHide", false, false, "GroupsPopupMenu"},
    {"actTaskStart", true, true, "TasksPopupMenu"},
    {"actTaskPause", true, true, "TasksPopupMenu"},
    {"actTaskStop", true, true, "TasksPopupMenu"},
    {"actTaskExit", true, false, nullptr},
    {"actTaskViewSource", false, false, "TasksPopupMenu"},
    {"actTaskViewDestination", false, false, "TasksPopupMenu"},
    {"actTaskViewDestinationVersions", false, false, "TasksPopupMenu"},
    {"actTaskViewDestinationDeleted", false, false, "TasksPopupMenu"},
    {"actViewMenuBar", true, false, "TopBarsPopupMenu"},
    {"actViewToolBar", true, false, "TopBarsPopupMenu"},
    {"actViewTaskGroups", true, false, "TopBarsPopupMenu"},
    {"actViewLog", true, false, "TopBarsPopupMenu"},
    {"actViewTips", true, false, "TopBarsPopupMenu"},
    {"actViewStatusBar", true, false, "TopBarsPopupMenu"},
    {"actViewLargeIcons", true, false, nullptr},
    {"actViewSmallIcons", true, false, nullptr},
    {"actViewList", true, false, nullptr},
    {"actViewReport", true, false, nullptr},
    {"actViewArrangeIconsByName", true, false, nullptr},
    {"actViewArrangeIconsByType", true, false, nullptr},
    {"actViewArrangeIconsByLastRun", true, false, nullptr},
    {"actViewArrangeIconsByNextRun", true, false, nullptr},
    {"actViewArrangeIconsBySource", true, false, nullptr},
    {"actViewArrangeIconsByAZ", true, false, nullptr},
    {"actViewArrangeIconsByZA", true, false, nullptr},
    {"actOptionsPreferences", true, true, nullptr},
    {"actOptionsStartupAndShutdown", true, false, nullptr},
    {"actOptionsGlobalPerformance", true, false, nullptr},
    {"actOptionsLogDisplay", true, false, nullptr},
    {"actOptionsInterfaceLanguage", true, false, nullptr},
    {"actOptionsTasksDefaults", true, false, nullptr},
    {"actToolsGlobalSuspend", true, true, nullptr},
    {"actToolsDisableScheduler", true, true, nullptr},
    {"actToolsCreateShortcut", true, false, nullptr},
    {"actToolsTasksMaintenance", true, false, nullptr},
    {"actHelpContents", true, true, nullptr},
    {"actHelpSearchForHelpOn", true, false, nullptr},
    {"actHelpProgramGuide", true, false, nullptr},
    {"actHelpHomepage", true, true, nullptr},
    {"actHelpAbout", true, true, nullptr},
    {"actOtherTrayShow", false, false, "TrayPopupMenu"},
    {"actOtherTrayHide", false, false, "TrayPopupMenu"},
    {"actOtherTrayPauseAllTasks", false, false, "TrayPopupMenu"},
    {"actOtherTrayHelpContents", false, false, "TrayPopupMenu"},
    {"actOtherTrayAboutQuorvellant", false, false, "TrayPopupMenu"},
    {"actOtherTrayExit", false, false, "TrayPopupMenu"},
    {"actOtherTipsNext", false, false, "TipsPopupMenu"},
    {"actOtherTipsPrev", false, false, "TipsPopupMenu"},
    {"actOtherTipsMoreHelp", false, false, "TipsPopupMenu"},
    {"actOtherTipsHelpContents", false, false, "TipsPopupMenu"},
    {"actOtherTipsHide", false, false, "TipsPopupMenu"},
};

TEST_F(MainFormCommandFixture, EveryCommandIsOfferedWhereItBelongs)
{
    std::set<std::string> inMenuBar;
    for (QAction *top : form->menuBar()->actions()) {
        ASSERT_NE(top->menu(), nullptr);
        collect(top->menu(), inMenuBar);
    }
    std::set<std::string> inToolBar;
    for (QAction *a : form->mainToolBar()->actions()) {
        inToolBar.insert(a->objectName().toStdString());
    }
    for (const Place &p : kPlaces) {
        SCOPED_TRACE(p.action);
        QAction *a = act(p.action);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(inMenuBar.count(p.action), p.menuBar ? 1u : 0u);
        EXPECT_EQ(inToolBar.count(p.action), p.toolBar ? 1u : 0u);
        if (p.popup != nullptr) {
            auto *menu = form->findChild<QMenu *>(p.popup);
            ASSERT_NE(menu, nullptr) << p.popup;
            std::set<std::string> names;
            collect(menu, names);
            EXPECT_EQ(names.count(p.action), 1u) << p.popup;
        }
    }
    // The tool buttons carry their own names and the window's actions.
    const std::pair<const char *, const char *> buttons[] = {
        {"ToolbarTbTaskNew", "actTaskNew"},        {"ToolbarTbTaskStart", "actTaskStart"},
        {"ToolbarTbOptions", "actOptionsPreferences"}, {"ToolbarTbHomepage", "actHelpHomepage"},
        {"ToolbarTbHelp", "actHelpContents"},      {"ToolbarTbDisableScheduler", "actToolsDisableScheduler"}};
    for (const auto &[button, action] : buttons) {
        auto *b = form->mainToolBar()->findChild<QToolButton *>(button);
        ASSERT_NE(b, nullptr) << button;
        EXPECT_EQ(b->defaultAction(), act(action)) << button;
    }
}

TEST_F(MainFormCommandFixture, PopupMenusHoldTheirItemsInOrder)
{
    const std::pair<const char *, std::vector<std::string>> menus[] = {
        {"TasksPopupMenu",
         {"actTaskStart", "actTaskPause", "actTaskStop", "-", "actTaskNew", "actTaskProperties", "actTaskDelete",
          "actTaskDuplicate", "-", "actTaskViewSource", "actTaskViewDestination", "actTaskViewDestinationDeleted",
          "actTaskViewDestinationVersions"}},
        {"GroupsPopupMenu",
         {"actTaskGroupStart", "actTaskGroupPause", "actTaskGroupStop", "-", "actTaskGroupNew", "actTaskGroupRename",
          "actTaskGroupDelete", "-", "actTaskGroupReorder", "-", "actTaskGroupHide"}},
        {"TipsPopupMenu",
         {"actOtherTipsNext", "actOtherTipsPrev", "-", "actOtherTipsMoreHelp", "actOtherTipsHelpContents", "-",
          "actOtherTipsHide"}},
        {"TopBarsPopupMenu",
         {"actViewMenuBar", "actViewToolBar", "actViewTaskGroups", "actViewLog", "actViewTips", "actViewStatusBar"}},
        {"TrayPopupMenu",
         {"actOtherTrayShow", "actOtherTrayHide", "-", "actOtherTrayPauseAllTasks", "-", "actOtherTrayHelpContents",
          "actOtherTrayAboutQuorvellant", "-", "actOtherTrayExit"}},
    };
    for (const auto &[name, items] : menus) {
        auto *menu = form->findChild<QMenu *>(name);
        ASSERT_NE(menu, nullptr) << name;
        EXPECT_EQ(menuNames(menu), items) << name;
    }
    EXPECT_EQ(form->findChild<QMenu *>("TrayPopupMenu")->defaultAction(), act("actOtherTrayShow"));
    // The task list no longer carries its own action menu.
    EXPECT_EQ(form->reportView()->contextMenuPolicy(), Qt::CustomContextMenu);

    // Opening the bars' menu reads the bars' visibility of the moment.
    auto *bars = form->findChild<QMenu *>("TopBarsPopupMenu");
    form->mainToolBar()->hide();
    form->statusBar()->hide();
    emit bars->aboutToShow();
    EXPECT_FALSE(act("actViewToolBar")->isChecked());
    EXPECT_FALSE(act("actViewStatusBar")->isChecked());
    EXPECT_TRUE(act("actViewMenuBar")->isChecked());
    EXPECT_TRUE(act("actViewLog")->isChecked());
}

TEST_F(MainFormCommandFixture, EnterAndDelActOnlyWhileTheTaskListHasTheFocus)
{
    for (int i = 0; i < data->Tasks.Count(); ++i) {
        data->Tasks[i]->Editing = true; // a start is then refused: only the command's trigger is counted
    }
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 5000));
    ASSERT_TRUE(selectByName("Reports"));
    QSignalSpy starts(act("actTaskStart"), &QAction::triggered);
    QSignalSpy deletes(act("actTaskDelete"), &QAction::triggered);
    struct Case {
        const char *where;
        QWidget *widget;
        int startsAfter;
        int deletesAfter;
    };
    auto *log = form->findChild<QTreeView *>("LogView");
    ASSERT_NE(log, nullptr);
    const Case cases[] = {
        {"task list", form->reportView(), 2, 1},
        {"group tree", form->groupsTree(), 2, 1},
        {"log", log, 2, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.where);
        starts.clear();
        deletes.clear();
        qv::MessageBoxSeam::presetAnswers({qv::IDNO});
        c.widget->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == c.widget; }, 5000));
        QTest::keyClick(c.widget, Qt::Key_Return);
        QTest::keyClick(c.widget, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(c.widget, Qt::Key_Delete);
        const bool list = c.widget == form->reportView();
        EXPECT_EQ(starts.count(), list ? c.startsAfter : 0);
        EXPECT_EQ(deletes.count(), list ? c.deletesAfter : 0);
    }
    ASSERT_NE(taskNamed("Reports"), nullptr); // Del asked, No kept it
    // Ctrl+N works from anywhere in the window.
    QSignalSpy news(act("actTaskNew"), &QAction::triggered);
    dialogs.editAnswers = {false};
    QTest::keyClick(form->groupsTree(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(news.count(), 1);
    EXPECT_EQ(act("actTaskExit")->shortcut(), QKeySequence("Alt+F4"));
}

TEST(TipsRules, LinesAndStepping)
{
    const std::tuple<const char *, const char *, const char *> lines[] = {
        {"/files/tasklist.html Double-click a task.", "/files/tasklist.html", "Double-click a task."},
        {"Plain tip without a topic.", "", "Plain tip without a topic."},
        {"/files/a.html two  blanks", "/files/a.html", "two  blanks"},
        {"", "", ""},
    };
    for (const auto &[line, topic, text] : lines) {
        const qv::TipLine t = qv::parseTipLine(QString::fromUtf8(line));
        EXPECT_EQ(t.topic, topic) << line;
        EXPECT_EQ(t.text, text) << line;
    }
    const std::tuple<int, int, int> steps[] = {
        // index, step, expected (36 tips)
        {0, 1, 1}, {34, 1, 35}, {35, 1, 0}, {0, -1, 35}, {1, -1, 0}, {99, 1, 0}, {-4, -1, 35}, {-4, 1, 0}, {40, -1, 0},
    };
    for (const auto &[index, step, expected] : steps) {
        EXPECT_EQ(qv::stepTipIndex(index, 36, step), expected) << index << " " << step;
    }
    EXPECT_EQ(qv::stepTipIndex(3, 0, 1), 0);
}

TEST_F(MainFormCommandFixture, TipsStepWrapAndFollowTheirTopics)
{
    qv::TipsPanel *tips = form->tipsPanel();
    ASSERT_NE(tips, nullptr);
    ASSERT_EQ(tips->tipCount(), 36);
    // Every tip names a help page that exists.
    const QString helpFolder = QString::fromStdString(std::string(std::getenv("QV_SOURCE_DIR")) + "/resources/help");
    for (int i = 0; i < tips->tipCount(); ++i) {
        const qv::TipLine t = qv::parseTipLine(tips->tipLine(i));
        EXPECT_FALSE(t.topic.isEmpty()) << i;
        EXPECT_FALSE(t.text.isEmpty()) << i;
        EXPECT_FALSE(qv::help::topicPath(helpFolder, t.topic).isEmpty()) << t.topic.toStdString();
    }
    qv::LastTip = 35;
    act("actOtherTipsNext")->trigger();
    EXPECT_EQ(qv::LastTip, 0);
    EXPECT_EQ(tips->shownText(), qv::parseTipLine(tips->tipLine(0)).text);
    act("actOtherTipsPrev")->trigger();
    EXPECT_EQ(qv::LastTip, 35);
    // The labels step too.
    QTest::mouseClick(form->findChild<QLabel *>("TipsLabelNext"), Qt::LeftButton);
    EXPECT_EQ(qv::LastTip, 0);
    QTest::mouseClick(form->findChild<QLabel *>("TipsLabelPrev"), Qt::LeftButton);
    EXPECT_EQ(qv::LastTip, 35);

    // A translated line without a topic disables More Help; one with a topic enables it.
    tips->memo()->setPlainText("/files/tasklist.html With topic\nWithout topic");
    qv::LastTip = 0;
    tips->UpdateTips();
    form->CheckState();
    EXPECT_TRUE(act("actOtherTipsMoreHelp")->isEnabled());
    act("actOtherTipsNext")->trigger();
    EXPECT_EQ(tips->shownText(), "Without topic");
    EXPECT_FALSE(act("actOtherTipsMoreHelp")->isEnabled());
    act("actOtherTipsNext")->trigger();
    EXPECT_EQ(qv::LastTip, 0);
    EXPECT_TRUE(act("actOtherTipsMoreHelp")->isEnabled());
}

TEST_F(MainFormCommandFixture, TipsPanelShowsHidesAndIsStored)
{
    form->LoadWindowSettings(); // the window as the user has it: its stored layout taken (none here)
    QWidget *bottom = form->bottomPanel();
    ASSERT_NE(bottom, nullptr);
    EXPECT_EQ(bottom->objectName(), "CentralBottomPanel");
    EXPECT_EQ(bottom->height(), 61);
    EXPECT_EQ(form->statusBar()->height(), 22);
    EXPECT_FALSE(bottom->isHidden());
    EXPECT_TRUE(act("actViewTips")->isChecked());
    // The close button and the tips menu's Hide both hide it; the view command shows it again.
    QTest::mouseClick(form->findChild<QToolButton *>("TipsCloseButton"), Qt::LeftButton);
    EXPECT_TRUE(bottom->isHidden());
    EXPECT_FALSE(act("actViewTips")->isChecked());
    act("actViewTips")->trigger();
    EXPECT_FALSE(bottom->isHidden());
    act("actOtherTipsHide")->trigger();
    EXPECT_TRUE(bottom->isHidden());
    // Stored, and applied at the next start.
    form->SaveWindowSettings();
    makeForm();
    EXPECT_FALSE(form->bottomPanel()->isHidden());
    form->LoadWindowSettings();
    EXPECT_TRUE(form->bottomPanel()->isHidden());
    EXPECT_FALSE(act("actViewTips")->isChecked());
}

TEST_F(MainFormCommandFixture, EachActivationShowsTheNextTip)
{
    qv::LastTip = 4;
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 5000));
    QApplication::processEvents();
    EXPECT_EQ(qv::LastTip, 5);
    EXPECT_EQ(form->tipsPanel()->shownText(), qv::parseTipLine(form->tipsPanel()->tipLine(5)).text);
}

} // namespace
