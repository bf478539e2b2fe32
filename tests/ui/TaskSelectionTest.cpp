// The task the window's commands act on: the one selected when they are invoked, whichever way it
// was selected (a click, the arrow keys, the program) and in either view; the commands' states and
// the log follow the selection at once.
// qv-test-labels: gui
// qv-test-timeout: 240
#include "MainFormCommandFixture.h"

#include "ui/ActivityLogView.h"

#include "support/TestEnv.h"

#include <QApplication>
#include <QListView>
#include <QStackedWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <filesystem>
#include <functional>

namespace {

class TaskSelection : public qvtest::MainFormCommandFixture
{
protected:
    enum Way { Click, Keys, Program };

    void showWindow()
    {
        form->resize(900, 600);
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 5000));
    }
    QAbstractItemView *shownView() const
    {
        return qobject_cast<QAbstractItemView *>(form->taskViews()->currentWidget());
    }
    int rowOf(const std::string &name) const
    {
        const std::vector<std::string> names = listedNames();
        const auto at = std::find(names.begin(), names.end(), name);
        return at == names.end() ? -1 : static_cast<int>(at - names.begin());
    }
    // The name in the row selected in the view shown, read from the view itself.
    std::string selectedRowName() const
    {
        const QModelIndexList rows = shownView()->selectionModel()->selectedRows(0);
        return rows.isEmpty() ? std::string("<none>") : rows.first().data().toString().toStdString();
    }
    // Selects `name` the way a user (or the program) does; nothing else is called on the window.
    void select(const std::string &name, Way way)
    {
        QAbstractItemView *view = shownView();
        const int row = rowOf(name);
        ASSERT_GE(row, 0) << name;
        const QModelIndex index = form->taskList()->index(row, 0);
        switch (way) {
        case Click:
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
            break;
        case Keys: {
            view->setFocus();
            ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == view; }, 5000));
            // In the icon views the next row is the next item: Right, not Down.
            const bool icons = qobject_cast<QListView *>(view) != nullptr;
            for (int i = 0; i < 10 && selectedRowName() != name; ++i) {
                const int at = view->currentIndex().isValid() ? view->currentIndex().row() : -1;
                const bool down = at < row;
                QTest::keyClick(view, icons ? (down ? Qt::Key_Right : Qt::Key_Left) : (down ? Qt::Key_Down : Qt::Key_Up));
            }
            break;
        }
        case Program:
            view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
            break;
        }
        ASSERT_EQ(selectedRowName(), name);
    }
    // The tasks whose activity list holds events, in list order.
    std::string logged() const
    {
        std::string names;
        for (const std::string &name : listedNames()) {
            if (taskNamed(name)->Logger->Count() > 0) {
                names += (names.empty() ? "" : ",") + name;
            }
        }
        return names;
    }
};

const char *const kWays[] = {"click", "keys", "program"};

TEST_F(TaskSelection, TheStatesAndTheLogFollowTheSelectionAtOnce)
{
    for (const char *style : {"actViewReport", "actViewSmallIcons"}) {
        for (int way = Click; way <= Program; ++way) {
            SCOPED_TRACE(std::string(style) + " " + kWays[way]);
            restart();
            act(style)->trigger();
            taskNamed("Reports")->Logger->Add(qv::kLogInformation, "one line of Reports");
            showWindow();
            ASSERT_EQ(form->CurrentTask(), nullptr);
            ASSERT_FALSE(act("actTaskStart")->isEnabled()) << "nothing is selected yet";
            select("Reports", static_cast<Way>(way));
            for (const char *a : {"actTaskStart", "actTaskProperties", "actTaskDelete", "actTaskDuplicate",
                                  "actTaskViewSource", "actToolsCreateShortcut"}) {
                EXPECT_TRUE(act(a)->isEnabled()) << a;
            }
            ASSERT_NE(form->CurrentTask(), nullptr);
            EXPECT_EQ(form->CurrentTask()->Name, "Reports");
            EXPECT_EQ(form->logView()->task(), taskNamed("Reports"));
            EXPECT_EQ(form->logView()->logModel()->rowCount(), 1);
            select("Dotfiles", static_cast<Way>(way));
            EXPECT_EQ(form->logView()->task(), taskNamed("Dotfiles"));
            EXPECT_EQ(form->logView()->logModel()->rowCount(), 0);
            // The other view style shows the same task.
            act(std::string(style) == "actViewReport" ? "actViewList" : "actViewReport")->trigger();
            EXPECT_EQ(selectedRowName(), "Dotfiles");
            EXPECT_EQ(form->CurrentTask(), taskNamed("Dotfiles"));
            // Nothing selected: nothing current, no log, the task commands off.
            shownView()->selectionModel()->clearSelection();
            EXPECT_EQ(form->CurrentTask(), nullptr);
            EXPECT_EQ(form->logView()->task(), nullptr);
            EXPECT_FALSE(act("actTaskStart")->isEnabled());
            EXPECT_FALSE(act("actTaskDelete")->isEnabled());
        }
    }
}

// Each command acts on the task selected just before it, not on the one current before that.
TEST_F(TaskSelection, EveryCommandActsOnTheTaskSelectedWhenItIsInvoked)
{
    const std::string root = qvtest::makeTempDir("selection");
    struct Command {
        const char *what;
        std::function<void()> invoke;
        std::function<std::string()> actedOn;
        bool selectionStays;
        std::function<void()> before = [] {}; // while the task before is still selected
    };
    auto key = [this](Qt::Key k, Qt::KeyboardModifiers m = {}) {
        return [this, k, m] {
            shownView()->setFocus(); // the list's own keys act while it has the focus
            QTest::keyClick(shownView(), k, m);
        };
    };
    auto trigger = [this](const char *name) { return [this, name] { act(name)->trigger(); }; };
    auto dialogTask = [this] { return dialogs.lastTaskName; };
    auto loggedTasks = [this] { return logged(); };
    auto opened = [this] { return desktop.opened.empty() ? std::string() : desktop.opened.back(); };
    auto boxText = [] {
        const auto &shown = qv::MessageBoxSeam::shown();
        return shown.empty() ? std::string() : shown.back().text.toStdString();
    };
    const std::vector<Command> commands = {
        {"Start", trigger("actTaskStart"), loggedTasks, true},
        {"toolbar Start", [this] {
             QTest::mouseClick(form->mainToolBar()->widgetForAction(act("actTaskStart")), Qt::LeftButton);
         }, loggedTasks, true},
        {"Return", key(Qt::Key_Return), loggedTasks, true},
        {"keypad Enter", key(Qt::Key_Enter, Qt::KeypadModifier), loggedTasks, true},
        {"Properties", trigger("actTaskProperties"), dialogTask, true},
        {"Alt+Return", key(Qt::Key_Return, Qt::AltModifier), dialogTask, true},
        {"Delete", trigger("actTaskDelete"), dialogTask, true},
        {"Del", key(Qt::Key_Delete), dialogTask, true},
        {"Duplicate", trigger("actTaskDuplicate"), [this] { return selectedRowName(); }, false},
        {"View Source", trigger("actTaskViewSource"), opened, true},
        {"View Destination", trigger("actTaskViewDestination"), opened, true},
        {"Create Shortcut", trigger("actToolsCreateShortcut"), dialogTask, true},
        // Two runs: Stop asks about the selected one.
        {"Stop", [this] {
             qv::MessageBoxSeam::presetAnswers({qv::IDNO});
             act("actTaskStop")->trigger();
             for (const char *n : {"Camera roll", "Reports"}) {
                 taskNamed(n)->Running = false;
             }
         }, boxText, true, [this] {
             for (const char *n : {"Camera roll", "Reports"}) {
                 taskNamed(n)->Running = true;
             }
             form->CheckState(); // as the start of a run does
         }},
        // The hot key of a task that runs already only brings the window forward; Start then runs
        // the selected task.
        {"hot key, then Start", [this] {
             hotKeys.press(qv::MOD_CONTROL, 0x51);
             taskNamed("Scans")->Running = false;
             act("actTaskStart")->trigger();
         }, loggedTasks, true, [this] { taskNamed("Scans")->Running = true; }},
    };
    const std::vector<std::pair<Way, const char *>> ways = {{Click, "click"}, {Keys, "keys"}, {Program, "program"}};
    for (const Command &c : commands) {
        for (const auto &[way, wayName] : ways) {
            SCOPED_TRACE(std::string(c.what) + " after " + wayName);
            restart();
            for (int i = 0; i < data->Tasks.Count(); ++i) {
                qv::TTask &task = *data->Tasks[i];
                task.Source = root + "/" + task.Name + " source";
                task.DestLocal = root + "/" + task.Name + " destination";
                std::filesystem::create_directories(task.Source);
                std::filesystem::create_directories(task.DestLocal);
            }
            qv::TTask *scans = taskNamed("Scans");
            scans->HotKey = 0x4000 | 0x51; // Ctrl+Q
            scans->HotKeyBringToFront = true;
            data->RegisterHotKeys();
            dialogs.editAnswers = {false};
            dialogs.passwordAnswers = {false};
            showWindow();
            ASSERT_TRUE(selectByName("Camera roll")); // current before
            c.before();
            select("Reports", way);
            c.invoke();
            const std::string acted = c.actedOn();
            const std::string expected = std::string(c.what) == "Duplicate" ? "Reports duplicate"
                                                                           : "Reports";
            if (std::string(c.what).starts_with("View") || std::string(c.what) == "Stop") {
                EXPECT_NE(acted.find("Reports"), std::string::npos) << acted;
                EXPECT_EQ(acted.find("Camera roll"), std::string::npos) << acted;
            } else {
                EXPECT_EQ(acted, expected);
            }
            if (c.selectionStays) {
                EXPECT_EQ(selectedRowName(), "Reports") << "the selection moved";
                EXPECT_EQ(form->CurrentTask(), taskNamed("Reports"));
            }
        }
    }
}

// A save stores the selected group and task, and leaves nothing behind that the next refresh of the
// tree or the list would select again.
TEST_F(TaskSelection, ARefreshAfterASaveKeepsWhatIsSelected)
{
    showWindow();
    ASSERT_TRUE(selectByName("Camera roll"));
    form->SaveAllSettings(); // as every command does
    select("Reports", Click);
    act("actTaskStart")->trigger(); // the run's start refreshes the list
    EXPECT_EQ(logged(), "Reports");
    EXPECT_EQ(selectedRowName(), "Reports");

    ASSERT_TRUE(form->selectGroup("Work"));
    form->SaveAllSettings();
    QTreeWidget *tree = form->groupsTree();
    const QList<QTreeWidgetItem *> photos = tree->findItems("Photos", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(photos.size(), 1);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(photos.first()).center());
    ASSERT_EQ(tree->currentItem(), photos.first());
    form->UpdateAll(); // as after the options dialog
    ASSERT_NE(tree->currentItem(), nullptr);
    EXPECT_EQ(tree->currentItem()->text(0).toStdString(), "Photos");
}

// Pause acts on a run: two tasks run, the selected one is paused and the other goes on.
TEST_F(TaskSelection, PauseActsOnTheSelectedRun)
{
    QV_REQUIRE_TOOL("sleep");
    const std::string root = qvtest::makeTempDir("pause");
    for (const char *name : {"Camera roll", "Reports"}) {
        qv::TTask &task = *taskNamed(name);
        task.Source = root + "/" + name + " source";
        task.DestLocal = root + "/" + name + " destination";
        qvtest::writeFile(task.Source + "/a.txt", "a");
        std::filesystem::create_directories(task.DestLocal);
        task.RunPrograms.UseDefault = false;
        task.RunPrograms.Before = true;
        task.RunPrograms.BeforeProgramName = "exec sleep 20 >/dev/null 2>&1";
        task.RunPrograms.BeforeWaitProgram = true;
        qv::TTaskFilterItem all;
        all.FilterType = qv::fitInclude;
        all.fnWildcard = "*.*";
        task.Filters.Add(all);
    }
    showWindow();
    for (const char *name : {"Camera roll", "Reports"}) {
        taskNamed(name)->Run(qv::kStartByHand);
        ASSERT_TRUE(QTest::qWaitFor([&] { return taskNamed(name)->Thread() != nullptr; }, 10000)) << name;
    }
    ASSERT_TRUE(selectByName("Camera roll"));
    select("Reports", Click);
    act("actTaskPause")->trigger();
    EXPECT_TRUE(taskNamed("Reports")->GetSuspended());
    EXPECT_FALSE(taskNamed("Camera roll")->GetSuspended());
    EXPECT_TRUE(act("actTaskPause")->isChecked());
    for (const char *name : {"Camera roll", "Reports"}) {
        taskNamed(name)->SetSuspended(false);
        taskNamed(name)->Stop();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return data->RunningCount() == 0; }, 20000));
}

} // namespace
