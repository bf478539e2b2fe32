// The main window offscreen, over fake tray, hot keys and session: lists, groups, sorting, the
// stored layout, closing to the tray and the one way out.
// qv-test-labels: gui
// qv-test-timeout: 180
#include "components/MessageBox.h"
#include "components/TrayIcon.h"
#include "core/runs/BackupData.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakeSessionEvents.h"
#include "platform/gui/FakeTrayService.h"
#include "ui/Help.h"
#include "ui/HelpWindow.h"
#include "platform/RegistryStore.h"
#include "ui/MainForm.h"
#include "ui/TaskListModel.h"

#include "support/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QStackedWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

using qv::TMainForm;

std::unique_ptr<qv::TTask> makeTask(const std::string &name, const std::string &group, double lastRun)
{
    auto t = std::make_unique<qv::TTask>();
    t->Name = name;
    t->BelongToGroup = group;
    t->LastRun = lastRun;
    return t;
}

class MainFormFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qv::ResetSettingsToDefaults();
        qv::FirstStart = false;
        qv::StartupRunMinimized = false;
        qv::ExitWhenIdle = false;
        qv::MessageBoxSeam::clear();
        data = std::make_unique<qv::TBackupData>();
        qv::BackupData = data.get();
        data->Groups = {"Photos", "Work"};
        data->Tasks.Add(makeTask("Camera roll", "Photos", 46376.5));   // 20 Dec 2026
        data->Tasks.Add(makeTask("Reports", "Work", 46392.4));         // 5 Jan 2027
        data->Tasks.Add(makeTask("Dotfiles", "", 46000.0));
        makeForm();
    }
    void TearDown() override
    {
        form.reset();
        qv::BackupData = nullptr;
        data.reset();
    }
    void makeForm()
    {
        form.reset();
        auto t = std::make_unique<qv::FakeTrayService>();
        tray = t.get();
        TMainForm::Services s;
        s.tray = std::move(t);
        s.hotKeys = &hotKeys;
        s.sessionEvents = &session;
        s.exitDrainMs = 10000;
        s.hardExit = [this] { hardExited = true; };
        form = std::make_unique<TMainForm>(data.get(), std::move(s));
    }
    int listed() const { return form->taskList()->rowCount(); }
    std::string listedName(int row) const
    {
        return form->taskList()->index(row, 0).data().toString().toStdString();
    }

    std::unique_ptr<qv::TBackupData> data;
    std::unique_ptr<TMainForm> form;
    qv::FakeTrayService *tray = nullptr;
    qv::FakeHotKeys hotKeys;
    qv::FakeSessionEvents session;
    bool hardExited = false;
};

TEST_F(MainFormFixture, GroupTreeFiltersTheListAndKeepsTheSelectionById)
{
    ASSERT_EQ(form->groupsTree()->topLevelItemCount(), 1);
    EXPECT_EQ(form->groupsTree()->topLevelItem(0)->text(0), "All Tasks");
    EXPECT_EQ(form->groupsTree()->topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(listed(), 3);
    ASSERT_TRUE(form->selectGroup("Work"));
    EXPECT_EQ(listed(), 1);
    EXPECT_EQ(listedName(0), "Reports");
    ASSERT_TRUE(form->selectGroup("All Tasks"));
    ASSERT_EQ(listed(), 3);
    const std::string id = data->Tasks[2]->ID;
    ASSERT_TRUE(form->selectTask(id));
    ASSERT_NE(form->CurrentTask(), nullptr);
    EXPECT_EQ(form->CurrentTask()->ID, id);
    form->UpdateListView(); // rebuilding the list keeps the selected task
    form->CheckState();
    ASSERT_NE(form->CurrentTask(), nullptr);
    EXPECT_EQ(form->CurrentTask()->ID, id);
    EXPECT_TRUE(form->action("actTaskStart")->isEnabled());
    EXPECT_FALSE(form->action("actTaskStop")->isEnabled());
    EXPECT_FALSE(form->action("actTaskGroupRename")->isEnabled()); // the root cannot be renamed
}

TEST_F(MainFormFixture, StatusBarCountsTheSelectedGroup)
{
    ASSERT_TRUE(form->selectGroup("Photos"));
    form->CheckState();
    EXPECT_EQ(form->statusPanel(0)->text(), "1 Task(s)");
    EXPECT_EQ(form->statusPanel(1)->text(), "0 Task(s) Running");
    ASSERT_TRUE(form->selectGroup("All Tasks"));
    form->CheckState();
    EXPECT_EQ(form->statusPanel(0)->text(), "3 Task(s)");
}

TEST_F(MainFormFixture, DroppingATaskOnAGroupMovesIt)
{
    const std::string id = data->Tasks[0]->ID;
    QTreeWidgetItem *root = form->groupsTree()->topLevelItem(0);
    form->dropTaskOnGroup(id, root->child(1)); // "Work"
    EXPECT_EQ(data->Tasks[0]->BelongToGroup, "Work");
    form->dropTaskOnGroup(id, root); // the root clears the group
    EXPECT_EQ(data->Tasks[0]->BelongToGroup, "");
    // The drag carries the task's ID.
    auto *model = qobject_cast<qv::TaskItemModel *>(form->taskList()->sourceModel());
    ASSERT_NE(model, nullptr);
    std::unique_ptr<QMimeData> mime(model->mimeData({model->index(1, 0)}));
    EXPECT_EQ(mime->data(qv::kTaskMimeType).toStdString(), data->Tasks[1]->ID);
}

TEST_F(MainFormFixture, SortToggleAndDateColumns)
{
    form->columnClicked(0);
    EXPECT_EQ(qv::SortColumn, 0);
    EXPECT_FALSE(qv::SortOrderAZ); // the same column again: descending
    EXPECT_EQ(listedName(0), "Reports");
    form->columnClicked(2); // another column starts ascending, by date
    EXPECT_EQ(qv::SortColumn, 2);
    EXPECT_TRUE(qv::SortOrderAZ);
    EXPECT_EQ(listedName(0), "Dotfiles");
    EXPECT_EQ(listedName(1), "Camera roll");
    EXPECT_EQ(listedName(2), "Reports");
    form->columnClicked(2);
    EXPECT_EQ(listedName(0), "Reports");
    EXPECT_TRUE(form->action("actViewArrangeIconsByLastRun")->isChecked());
    EXPECT_TRUE(form->action("actViewArrangeIconsByZA")->isChecked());
}

TEST_F(MainFormFixture, ViewStylesShareOneModel)
{
    const struct {
        const char *action;
        int style;
        bool report;
    } cases[] = {{"actViewLargeIcons", 0, false}, {"actViewSmallIcons", 1, false}, {"actViewList", 2, false},
                 {"actViewReport", 3, true}};
    for (const auto &c : cases) {
        form->action(c.action)->trigger();
        EXPECT_EQ(form->viewStyle(), c.style);
        EXPECT_EQ(qv::ViewStyle, c.style);
        EXPECT_EQ(form->taskViews()->currentWidget() == form->reportView(), c.report);
        EXPECT_TRUE(form->action(c.action)->isChecked());
    }
    EXPECT_EQ(form->iconView()->model(), form->reportView()->model());
}

TEST_F(MainFormFixture, KeypadMovesLastRunByOneDay)
{
    ASSERT_TRUE(form->selectTask(data->Tasks[1]->ID));
    const double before = data->Tasks[1]->LastRun;
    form->show();
    form->reportView()->setFocus();
    QTest::keyClick(form->reportView(), Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_DOUBLE_EQ(data->Tasks[1]->LastRun, before - 1);
    QTest::keyClick(form->reportView(), Qt::Key_Plus, Qt::KeypadModifier);
    QTest::keyClick(form->reportView(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_DOUBLE_EQ(data->Tasks[1]->LastRun, before + 1);
}

TEST_F(MainFormFixture, LayoutRoundTripAndFirstStartDefaults)
{
    // No stored layout: everything shows.
    form->LoadWindowSettings();
    EXPECT_FALSE(form->groupsPanel()->isHidden());
    EXPECT_FALSE(form->logPanel()->isHidden());
    EXPECT_FALSE(form->mainToolBar()->isHidden());
    form->action("actViewTaskGroups")->trigger();
    form->action("actViewToolBar")->trigger();
    form->setGeometry(40, 50, 800, 600);
    form->SaveWindowSettings();
    {
        qv::TSafeRegistry reg;
        ASSERT_TRUE(reg.OpenKeyReadOnly(std::string(qv::RegKeyRoot) + qv::RegKeyMain));
        ASSERT_TRUE(reg.ValueExists("WindowNormalPositionLeft"));
        ASSERT_FALSE(reg.ReadBool("GroupsPanelVisible", true));
    }
    makeForm();
    EXPECT_FALSE(form->groupsPanel()->isHidden());
    form->LoadWindowSettings();
    EXPECT_TRUE(form->groupsPanel()->isHidden());
    EXPECT_TRUE(form->mainToolBar()->isHidden());
    EXPECT_FALSE(form->logPanel()->isHidden());
    EXPECT_EQ(form->geometry().size(), QSize(800, 600));
    form->CheckState();
    EXPECT_FALSE(form->action("actViewTaskGroups")->isChecked());
    EXPECT_TRUE(form->action("actViewLog")->isChecked());
}

// At start the window shows on the first start and with "/SHOW" whatever "Run minimized" says;
// otherwise as that setting says (into the tray). The first start opens the quick start too.
TEST_F(MainFormFixture, StartShowsTheWindowOnTheFirstStartOrWithShow)
{
    qv::help::setApplicationHelpFile(QString::fromStdString(std::string(std::getenv("QV_SOURCE_DIR")) + "/resources/help"));
    struct Case {
        bool firstStart, showSwitch, runMinimized, shown;
    };
    for (const Case c : {Case{true, false, true, true}, Case{false, true, true, true}, Case{false, false, false, true},
                         Case{false, false, true, false}}) {
        SCOPED_TRACE(testing::Message() << "first start " << c.firstStart << ", /SHOW " << c.showSwitch
                                        << ", run minimized " << c.runMinimized);
        qv::FirstStart = c.firstStart;
        qv::StartupRunMinimized = c.runMinimized;
        makeForm();
        if (c.showSwitch) {
            form->showAtStart();
        }
        if (c.shown) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return form->isVisible(); }, 3000));
        } else {
            QTest::qWait(400);
            EXPECT_FALSE(form->isVisible());
            form->showAtStart(); // shows at once only when the start has been decided: the wait was long enough
            EXPECT_TRUE(form->isVisible());
        }
        EXPECT_FALSE(qv::FirstStart);
        qv::HelpWindow *help = qv::HelpWindow::existing();
        EXPECT_EQ(help != nullptr, c.firstStart);
        if (help != nullptr) {
            EXPECT_TRUE(help->currentTopicPath().endsWith("files/quickstart.html"));
            delete help;
        }
    }
}

TEST_F(MainFormFixture, CloseHidesIntoTheTrayAndTrayExitAsks)
{
    form->show();
    tray->available = true;
    form->trayIcon()->ShowIcon();
    form->close();
    EXPECT_TRUE(form->isHidden());
    EXPECT_FALSE(form->isExiting());
    // Tray Exit, refused at the confirmation: the program stays and is no longer "exiting".
    qv::MessageBoxSeam::presetAnswers({qv::IDNO});
    form->trayExit();
    EXPECT_FALSE(form->isExiting());
    EXPECT_FALSE(form->ExplicitExit());
    ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(qv::MessageBoxSeam::shown()[0].title, "Quorvellant Shutdown");
    // Accepted: the way out.
    qv::MessageBoxSeam::presetAnswers({qv::IDYES});
    form->trayExit();
    EXPECT_TRUE(form->isExiting());
}

TEST_F(MainFormFixture, ExitWhenIdleLeavesOnTheThirtyFirstIdleTick)
{
    qv::ExitWhenIdle = true;
    for (int i = 0; i < 30; ++i) {
        form->scheduleTick();
    }
    EXPECT_FALSE(form->isExiting());
    form->scheduleTick();
    EXPECT_TRUE(form->isExiting());
    qv::ExitWhenIdle = false;
}

TEST_F(MainFormFixture, SessionEndSavesStartsShutdownTasksAndLeaves)
{
    session.endSession(5000);
    EXPECT_TRUE(form->isExiting());
    EXPECT_EQ(session.releases, 1);
    EXPECT_FALSE(hardExited);
}

// A save that fails while the session ends (or a signal asks the program to leave) goes to standard
// error: no dialog holds the exit. The same failure at another time is shown (the control). The
// store cannot be opened (a folder has its name); a damaged store is tested with the real program.
TEST_F(MainFormFixture, ASessionEndNeverWaitsOnAFailedSave)
{
    const std::string broken = qvtest::makeTempDir("brokenstore") + "/registry.db";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(broken)));
    qv::RegistryStore::setStorePath(broken);
    form->SaveAllSettings();
    ASSERT_FALSE(qv::MessageBoxSeam::shown().empty()) << "the failed save is shown while the program runs";
    EXPECT_TRUE(qv::MessageBoxSeam::shown()[0].text.contains(QStringLiteral("could not be saved")));
    qv::MessageBoxSeam::clear();
    session.endSession(5000);
    EXPECT_TRUE(form->isExiting());
    EXPECT_TRUE(qv::MessageBoxSeam::shown().empty()) << qv::MessageBoxSeam::shown()[0].text.toStdString();
    qv::RegistryStore::setStorePath({});
    EXPECT_TRUE(QDir(QString::fromStdString(broken)).isEmpty());
}

TEST_F(MainFormFixture, ExitStopsASlowRunAndDrainsIt)
{
    QV_REQUIRE_TOOL("sleep");
    const std::string src = qvtest::makeTempDir("src");
    const std::string dst = qvtest::makeTempDir("dst");
    qvtest::writeFile(src + "/a.txt", "a");
    qv::TTask &task = *data->Tasks[2];
    task.Source = src;
    task.DestLocal = dst;
    task.RunPrograms.UseDefault = false;
    task.RunPrograms.Before = true;
    task.RunPrograms.BeforeProgramName = "exec sleep 20 >/dev/null 2>&1";
    task.RunPrograms.BeforeWaitProgram = true;
    qv::TTaskFilterItem all;
    all.FilterType = qv::fitInclude;
    all.fnWildcard = "*.*";
    task.Filters.Add(all);
    task.Run(qv::kStartByHand);
    ASSERT_TRUE(task.Running) << task.Validate();
    QTest::qWait(300);
    QElapsedTimer clock;
    clock.start();
    form->exitProgram();
    EXPECT_LT(clock.elapsed(), 15000);
    EXPECT_FALSE(task.Running);
    EXPECT_EQ(data->RunningCount(), 0);
    EXPECT_FALSE(hardExited);
    EXPECT_TRUE(form->isExiting());
}

TEST_F(MainFormFixture, ShowWindowHotKeyFollowsTheSetting)
{
    qv::StartupHotKeyUse = true;
    qv::StartupHotKey = 0x4000 | 0x51; // Ctrl+Q
    makeForm();
    EXPECT_TRUE(hotKeys.isRegistered(qv::kShowWindowHotKeyId));
    hotKeys.press(qv::MOD_CONTROL, 0x51);
    QTest::qWait(50);
    EXPECT_TRUE(form->isVisible());
}

} // namespace
