// The main window's task and dialog commands offscreen, over fake dialogs, message boxes and desktop:
// which commands a missing dialog disables, delete, new, duplicate and the folder commands.
// qv-test-labels: gui
// qv-test-timeout: 180
#include "MainFormCommandFixture.h"

#include "core/task/TaskStorage.h"
#include "core/util/Product.h"
#include "platform/RegistryFile.h"
#include "platform/RegistryStore.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QTest>
#include <QTreeWidget>

#include <sstream>

namespace {

using qvtest::MainFormCommandFixture;

// Each dialog entry and the commands that need it.
struct DialogNeed {
    const char *entry;
    void (*clear)(qv::MainFormDialogs &);
    std::vector<const char *> actions;
};

const std::vector<DialogNeed> kNeeds = {
    {"editTask", [](qv::MainFormDialogs &d) { d.editTask = nullptr; }, {"actTaskNew", "actTaskProperties"}},
    {"checkTaskPassword", [](qv::MainFormDialogs &d) { d.checkTaskPassword = nullptr; }, {"actTaskDelete"}},
    {"groupProperties", [](qv::MainFormDialogs &d) { d.groupProperties = nullptr; },
     {"actTaskGroupNew", "actTaskGroupRename"}},
    {"groupsOrder", [](qv::MainFormDialogs &d) { d.groupsOrder = nullptr; }, {"actTaskGroupReorder"}},
    {"shortcutDialog", [](qv::MainFormDialogs &d) { d.shortcutDialog = nullptr; }, {"actToolsCreateShortcut"}},
    {"about", [](qv::MainFormDialogs &d) { d.about = nullptr; }, {"actHelpAbout", "actOtherTrayAboutQuorvellant"}},
    {"preferencesPage", [](qv::MainFormDialogs &d) { d.preferencesPage = nullptr; },
     {"actOptionsPreferences", "actOptionsStartupAndShutdown", "actOptionsGlobalPerformance", "actOptionsLogDisplay",
      "actOptionsInterfaceLanguage", "actOptionsTasksDefaults"}},
    {"maintenanceWizard", [](qv::MainFormDialogs &d) { d.maintenanceWizard = nullptr; }, {"actToolsTasksMaintenance"}},
};

// Commands that need no dialog and stay enabled with none installed.
const char *const kWithoutDialog[] = {"actTaskDuplicate",      "actTaskGroupDelete",
                                      "actTaskViewSource",     "actTaskViewDestination",
                                      "actTaskViewDestinationVersions", "actTaskViewDestinationDeleted",
                                      "actHelpHomepage"};

TEST_F(MainFormCommandFixture, AMissingDialogDisablesExactlyItsCommands)
{
    ASSERT_TRUE(form->selectGroup("Work"));
    ASSERT_TRUE(selectByName("Reports"));
    for (const DialogNeed &need : kNeeds) {
        SCOPED_TRACE(need.entry);
        qv::MainFormDialogs d = dialogs.make();
        need.clear(d);
        form->setDialogs(d);
        for (const char *a : need.actions) {
            EXPECT_FALSE(act(a)->isEnabled()) << a;
        }
        for (const DialogNeed &other : kNeeds) {
            if (&other != &need) {
                for (const char *a : other.actions) {
                    EXPECT_TRUE(act(a)->isEnabled()) << a;
                }
            }
        }
        // A disabled command triggered anyway (a stale shortcut) does nothing.
        for (const char *a : need.actions) {
            act(a)->trigger();
        }
        EXPECT_TRUE(qv::MessageBoxSeam::shown().empty());
    }
    form->setDialogs({});
    for (const char *a : kWithoutDialog) {
        EXPECT_TRUE(act(a)->isEnabled()) << a;
    }
    form->setDialogs(dialogs.make());
    for (const DialogNeed &need : kNeeds) {
        for (const char *a : need.actions) {
            EXPECT_TRUE(act(a)->isEnabled()) << a;
        }
    }
}

TEST_F(MainFormCommandFixture, DialogCommandsReachTheirEntries)
{
    ASSERT_TRUE(selectByName("Reports"));
    const char *pages[] = {"actOptionsPreferences",       "actOptionsStartupAndShutdown", "actOptionsGlobalPerformance",
                           "actOptionsLogDisplay",        "actOptionsInterfaceLanguage",  "actOptionsTasksDefaults"};
    for (int i = 0; i < 6; ++i) {
        act(pages[i])->trigger();
        EXPECT_EQ(dialogs.lastPrefsPage, i - 1) << pages[i];
    }
    EXPECT_EQ(dialogs.prefsCalls, 6);
    act("actHelpAbout")->trigger();
    act("actOtherTrayAboutQuorvellant")->trigger();
    EXPECT_EQ(dialogs.aboutCalls, 2);
    act("actToolsCreateShortcut")->trigger();
    EXPECT_EQ(dialogs.shortcutCalls, 1);
    act("actToolsTasksMaintenance")->trigger();
    EXPECT_EQ(dialogs.wizardCalls, 1);
    // The exit confirmation comes from its entry (it says No here: the program stays).
    qv::StartupConfirmShutdown = true;
    form->trayExit();
    EXPECT_EQ(dialogs.exitCalls, 1);
    EXPECT_FALSE(form->isExiting());
    EXPECT_TRUE(qv::MessageBoxSeam::shown().empty());
}

TEST_F(MainFormCommandFixture, DeleteFlowsAndTheSelectionAfterwards)
{
    struct Case {
        const char *what;
        std::deque<bool> password;
        std::deque<int> answers;
        const char *deleted; // task gone afterwards, or nullptr
        int boxes;
    };
    const Case cases[] = {
        {"wrong password", {false}, {}, nullptr, 0},
        {"No", {true}, {qv::IDNO}, nullptr, 1},
        {"Yes", {true}, {qv::IDYES}, "Dotfiles", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        restart();
        ASSERT_TRUE(selectByName("Dotfiles"));
        dialogs.passwordAnswers = c.password;
        qv::MessageBoxSeam::presetAnswers(c.answers);
        act("actTaskDelete")->trigger();
        EXPECT_EQ(static_cast<int>(qv::MessageBoxSeam::shown().size()), c.boxes);
        if (c.boxes > 0) {
            EXPECT_EQ(qv::MessageBoxSeam::shown()[0].title, "Confirmation");
            EXPECT_EQ(qv::MessageBoxSeam::shown()[0].text,
                      "Do you really want to delete this task (Dotfiles) from the list?");
        }
        EXPECT_EQ(taskNamed("Dotfiles") == nullptr, c.deleted != nullptr);
        if (qv::TTask *t = taskNamed("Dotfiles")) {
            EXPECT_FALSE(t->Editing); // the guard is put back
        }
        // Yes and No both store the tasks at once.
        qv::TSafeRegistry reg;
        const bool stored = reg.OpenKeyReadOnly(qv::tasksKeyPath());
        EXPECT_EQ(stored, c.boxes > 0);
        if (stored) {
            const std::vector<std::string> keys = reg.GetKeyNames();
            EXPECT_EQ(static_cast<int>(keys.size()), c.deleted ? 3 : 4);
        }
    }

    // The selection afterwards: first -> the next one, others -> the one before, the only one -> none.
    struct After {
        const char *group;
        const char *victim;
        const char *selected;
    };
    const After after[] = {
        {"All Tasks", "Camera roll", "Dotfiles"},
        {"All Tasks", "Reports", "Dotfiles"},
        {"All Tasks", "Scans", "Reports"},
        {"Work", "Reports", "<none>"},
    };
    for (const After &a : after) {
        SCOPED_TRACE(a.victim);
        restart();
        ASSERT_TRUE(form->selectGroup(a.group));
        ASSERT_TRUE(selectByName(a.victim));
        qv::MessageBoxSeam::presetAnswers({qv::IDYES});
        act("actTaskDelete")->trigger();
        EXPECT_EQ(taskNamed(a.victim), nullptr);
        EXPECT_EQ(currentName(), a.selected);
    }
}

TEST_F(MainFormCommandFixture, ARunningTaskIsNotDeletedAndNoStartSlipsInWhileAsking)
{
    // A run that begins while the password is asked is refused; so is one after the question.
    ASSERT_TRUE(selectByName("Dotfiles"));
    qv::TTask *task = taskNamed("Dotfiles");
    bool wasEditing = false;
    dialogs.whileAskingPassword = [&] {
        wasEditing = task->Editing;
        task->Run(qv::kStartAutomatic); // what a due schedule entry would do
    };
    qv::MessageBoxSeam::presetAnswers({qv::IDYES});
    act("actTaskDelete")->trigger();
    EXPECT_TRUE(wasEditing);
    EXPECT_EQ(taskNamed("Dotfiles"), nullptr) << "the start was refused, so Yes deleted the task";

    // A task that runs is refused with the running-task error, before and after the questions.
    restart();
    ASSERT_TRUE(selectByName("Reports"));
    taskNamed("Reports")->Running = true;
    act("actTaskDelete")->trigger();
    ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(qv::MessageBoxSeam::shown()[0].title, "Error");
    EXPECT_EQ(qv::MessageBoxSeam::shown()[0].text,
              "You can't delete running Task. Please wait while Task done working and then try again.");
    EXPECT_EQ(dialogs.passwordCalls, 0);
    taskNamed("Reports")->Running = false;

    qv::MessageBoxSeam::clear();
    dialogs.whileAskingPassword = [&] { taskNamed("Reports")->Running = true; };
    qv::MessageBoxSeam::presetAnswers({qv::IDYES});
    act("actTaskDelete")->trigger();
    ASSERT_NE(taskNamed("Reports"), nullptr);
    ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 2u);
    EXPECT_EQ(qv::MessageBoxSeam::shown()[1].title, "Error");
    taskNamed("Reports")->Running = false;
}

TEST_F(MainFormCommandFixture, ExitDuringARunAsksAboutThatRunWhateverTheUsualQuestionSays)
{
    const struct
    {
        bool usualQuestion; // "Don't show this message again" not ticked
        std::vector<const char *> running;
        const char *named; // "": no question about runs
        int usualAsked;
    } rows[] = {
        {true, {"Reports"}, "Task \"Reports\" is running.", 0},
        {false, {"Reports"}, "Task \"Reports\" is running.", 0},
        {false, {"Reports", "Scans"}, "Tasks \"Reports\", \"Scans\" are running.", 0},
        {true, {}, "", 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.named);
        restart();
        qv::StartupConfirmShutdown = row.usualQuestion;
        for (const char *name : row.running) {
            taskNamed(name)->Running = true;
        }
        qv::MessageBoxSeam::presetAnswers({qv::IDNO});
        form->trayExit();
        EXPECT_FALSE(form->isExiting()) << "No keeps the program and its runs";
        EXPECT_EQ(dialogs.exitCalls, row.usualAsked);
        if (*row.named == '\0') {
            EXPECT_TRUE(qv::MessageBoxSeam::shown().empty());
            continue;
        }
        ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
        const auto &box = qv::MessageBoxSeam::shown()[0];
        EXPECT_EQ(box.title, "Quorvellant Shutdown");
        EXPECT_TRUE(box.text.startsWith(QString::fromUtf8(row.named))) << box.text.toStdString();
        EXPECT_EQ(box.flags, unsigned(qv::MB_YESNO | qv::MB_ICONWARNING | qv::MB_DEFBUTTON2));
        for (const char *name : row.running) {
            EXPECT_TRUE(taskNamed(name)->Running);
            taskNamed(name)->Running = false;
        }
    }
}

TEST_F(MainFormCommandFixture, NewTaskTakesTheSelectedGroupAndOneIncludeFilter)
{
    struct Case {
        const char *group; // node selected, or nullptr for none
        bool ok;
        const char *expectedGroup;
    };
    const Case cases[] = {{"All Tasks", true, ""}, {"Work", true, "Work"}, {nullptr, true, ""}, {"Work", false, ""}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.group ? c.group : "no node");
        restart();
        if (c.group) {
            ASSERT_TRUE(form->selectGroup(c.group));
        } else {
            form->groupsTree()->clearSelection();
        }
        dialogs.editAnswers = {c.ok};
        qv::TTask *seen = nullptr;
        dialogs.whileEditing = [&](qv::TTask &t) {
            seen = &t;
            ASSERT_EQ(t.Filters.Count(), 1);
            EXPECT_TRUE(t.Filters[0].Enabled);
            EXPECT_EQ(t.Filters[0].FilterType, qv::fitInclude);
            EXPECT_EQ(t.Filters[0].FilterKind, qv::fikFileName);
            EXPECT_EQ(t.Filters[0].fnWildcard, "*.*");
            t.Name = "Fresh";
        };
        act("actTaskNew")->trigger();
        EXPECT_EQ(dialogs.lastStartPage, 0);
        EXPECT_EQ(dialogs.lastNewTask, std::optional<bool>(true)) << "the dialog knows the task is new";
        ASSERT_NE(seen, nullptr);
        qv::TTask *made = taskNamed("Fresh");
        if (!c.ok) {
            EXPECT_EQ(made, nullptr);
            EXPECT_EQ(data->Tasks.Count(), 4);
            continue;
        }
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->BelongToGroup, c.expectedGroup);
        EXPECT_EQ(made->ID.size(), 21u);
        EXPECT_EQ(currentName(), "Fresh");
        qv::TSafeRegistry reg;
        EXPECT_TRUE(reg.OpenKeyReadOnly(qv::taskKeyPath(made->ID))) << "stored at once";
    }
}

TEST_F(MainFormCommandFixture, PropertiesFindsItsTaskAgainAfterTheDialog)
{
    ASSERT_TRUE(selectByName("Reports"));
    dialogs.whileEditing = [](qv::TTask &t) { t.Name = "Quarterly reports"; };
    act("actTaskProperties")->trigger();
    EXPECT_EQ(dialogs.lastNewTask, std::optional<bool>(false)) << "an existing task is not new";
    EXPECT_EQ(currentName(), "Quarterly reports");
    EXPECT_EQ(form->taskList()->index(2, 0).data().toString(), "Quarterly reports");
}

// The task's stored key as REGEDIT4 text with its own key name taken out, split into lines.
std::vector<std::string> exportedLines(const std::string &id)
{
    std::string text = qv::exportRegistryText(qv::RegistryStore::forThisThread(), qv::RegRoot::CurrentUser,
                                              qv::taskKeyPath(id));
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        for (std::size_t at; (at = line.find(id)) != std::string::npos;) {
            line.replace(at, id.size(), "<ID>");
        }
        lines.push_back(line);
    }
    return lines;
}

TEST_F(MainFormCommandFixture, DuplicateCopiesEverythingButIdNameAndHotKey)
{
    qv::TTask *source = taskNamed("Reports");
    source->HotKey = 0x4000 | 'R';
    source->Source = "!>/data/reports,|/data/old reports";
    source->DestLocal = "/backup/reports";
    source->CompressUse = true;
    source->CompressLevel = 3;
    source->Filters.Items.clear();
    for (int i = 0; i < 12; ++i) {
        qv::TTaskFilterItem f;
        f.FilterType = i % 2 ? qv::fitInclude : qv::fitExclude;
        f.fnWildcard = "*.k" + std::to_string(i);
        source->Filters.Add(f);
    }
    ASSERT_TRUE(selectByName("Reports"));
    act("actTaskDuplicate")->trigger();
    qv::TTask *copy = taskNamed("Reports duplicate");
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->ID, source->ID);
    EXPECT_EQ(copy->ID.size(), 21u);
    EXPECT_EQ(copy->HotKey, 0);
    EXPECT_EQ(currentName(), "Reports duplicate");
    ASSERT_EQ(copy->Filters.Count(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(copy->Filters[i].fnWildcard, "*.k" + std::to_string(i));
    }
    // Both were stored by the command: their keys differ in the name and hot key lines only.
    std::vector<std::string> a = exportedLines(source->ID);
    std::vector<std::string> b = exportedLines(copy->ID);
    ASSERT_GT(a.size(), 40u);
    ASSERT_EQ(a.size(), b.size());
    std::vector<std::string> differ;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            differ.push_back(a[i].substr(0, a[i].find('=')));
        }
    }
    std::sort(differ.begin(), differ.end());
    EXPECT_EQ(differ, (std::vector<std::string>{"\"HotKey\"", "\"Name\""}));
    // The scratch key is not left behind.
    EXPECT_FALSE(qv::TSafeRegistry().OpenKeyReadOnly(qv::tempKeyPath("EditTask")));
}

TEST_F(MainFormCommandFixture, FolderCommandsOpenEachFolderWholeAndReportMissingOnes)
{
    const std::string base = qvtest::makeTempDir("view");
    const std::string withBlank = base + "/My Documents";
    const std::string second = base + "/second";
    QDir().mkpath(QString::fromStdString(withBlank));
    QDir().mkpath(QString::fromStdString(second));
    QDir().mkpath(QString::fromStdString(base + "/dest/Deleted Files Archive"));
    qv::TTask *t = taskNamed("Reports");
    t->Source = qv::encodeSourceList({{withBlank, true}, {second, false}});
    t->DestLocal = base + "/dest";
    ASSERT_TRUE(selectByName("Reports"));
    act("actTaskViewSource")->trigger();
    EXPECT_EQ(desktop.opened, (std::vector<std::string>{withBlank + "/", second + "/"}));
    EXPECT_TRUE(desktop.launched.empty());
    desktop.opened.clear();
    act("actTaskViewDestination")->trigger();
    act("actTaskViewDestinationDeleted")->trigger();
    EXPECT_EQ(desktop.opened, (std::vector<std::string>{base + "/dest/", base + "/dest/Deleted Files Archive/"}));
    EXPECT_TRUE(qv::MessageBoxSeam::shown().empty());
    // The versions folder was never made: an error naming it, nothing handed to the desktop.
    desktop.opened.clear();
    act("actTaskViewDestinationVersions")->trigger();
    EXPECT_TRUE(desktop.opened.empty());
    ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(qv::MessageBoxSeam::shown()[0].title, "Error");
    EXPECT_NE(qv::MessageBoxSeam::shown()[0].text.indexOf(QString::fromStdString(base + "/dest/File Versions Archive")),
              -1);
}

TEST_F(MainFormCommandFixture, HomePageOpensTheProjectAddressAndFailuresAreShown)
{
    act("actHelpHomepage")->trigger();
    EXPECT_EQ(desktop.opened, (std::vector<std::string>{qv::kProjectUrl}));
    EXPECT_TRUE(qv::MessageBoxSeam::shown().empty());
    desktop.answer = false;
    act("actHelpHomepage")->trigger();
    ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(qv::MessageBoxSeam::shown()[0].title, "Error");
    EXPECT_EQ(qv::MessageBoxSeam::shown()[0].text,
              QStringLiteral("Unable to execute external program %1.").arg(QString::fromLatin1(qv::kProjectUrl)));
}

// The real desktop layer over a PATH whose xdg-open fails for one folder: the failure xdg-open
// reports after it started reaches the user as the error box; the folder it opened shows none.
TEST_F(MainFormCommandFixture, AFailingXdgOpenIsReportedAsUnableToExecute)
{
    const std::string base = qvtest::makeTempDir("xdg");
    const std::string bin = base + "/bin";
    QDir().mkpath(QString::fromStdString(bin));
    QDir().mkpath(QString::fromStdString(base + "/good"));
    QDir().mkpath(QString::fromStdString(base + "/broken"));
    // The failing call ends after the good one, so a report of the good one would come first.
    qvtest::writeFile(bin + "/xdg-open", "#!/bin/sh\necho \"$1\" >> '" + base + "/opened'\n"
                                         "case \"$1\" in *broken*) sleep 0.3; exit 3;; esac\nexit 0\n");
    ASSERT_EQ(qvtest::runShell("chmod +x '" + bin + "/xdg-open'").exitCode, 0);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin) + ':' + oldPath);
    qv::Desktop::setInstance(nullptr);
    qv::TTask *t = taskNamed("Reports");
    ASSERT_TRUE(selectByName("Reports"));
    for (const char *dest : {"/good", "/broken"}) {
        t->DestLocal = base + dest;
        act("actTaskViewDestination")->trigger();
    }
    const bool reported = QTest::qWaitFor([] { return !qv::MessageBoxSeam::shown().empty(); }, 10000);
    qv::Desktop::setInstance(&desktop);
    qputenv("PATH", oldPath);
    ASSERT_TRUE(reported);
    // Both were handed over; the two openers run side by side, so either may write first.
    const std::string opened = qvtest::readFile(base + "/opened");
    const std::string good = base + "/good/\n", broken = base + "/broken/\n";
    EXPECT_TRUE(opened == good + broken || opened == broken + good) << opened;
    ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(qv::MessageBoxSeam::shown()[0].title, "Error");
    EXPECT_EQ(qv::MessageBoxSeam::shown()[0].text,
              QStringLiteral("Unable to execute external program %1.").arg(QString::fromStdString(base + "/broken/")));
}

} // namespace

namespace {

using qvtest::MainFormCommandFixture;

TEST_F(MainFormCommandFixture, GroupNewAndRenameRefuseTakenNames)
{
    struct Case {
        const char *command;
        const char *selected;
        const char *typed;
        std::vector<std::string> groups; // afterwards
        const char *box;                 // information text, or nullptr
    };
    const Case cases[] = {
        {"actTaskGroupNew", "All Tasks", "Music", {"Photos", "Work", "Music"}, nullptr},
        // Another case is another group to the list, but one stored name to the settings store.
        {"actTaskGroupNew", "Work", "work", {"Photos", "Work"},
         "Cannot create \"work\": A group with the name you specified already exists. Specify a different group "
         "name."},
        {"actTaskGroupNew", "Work", "Photos", {"Photos", "Work"},
         "Cannot create \"Photos\": A group with the name you specified already exists. Specify a different group "
         "name."},
        {"actTaskGroupNew", "Work", "All Tasks", {"Photos", "Work"},
         "Cannot create \"All Tasks\": A group with the name you specified already exists. Specify a different "
         "group name."},
        {"actTaskGroupRename", "Work", "Office", {"Photos", "Office"}, nullptr},
        {"actTaskGroupRename", "Work", "WORK", {"Photos", "WORK"}, nullptr},
        {"actTaskGroupRename", "Work", "Work", {"Photos", "Work"}, nullptr},
        {"actTaskGroupRename", "Work", "Photos", {"Photos", "Work"},
         "Cannot rename \"Work\": A group with the name you specified already exists. Specify a different group "
         "name."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.typed);
        restart();
        ASSERT_TRUE(form->selectGroup(c.selected));
        dialogs.groupNames = {QString::fromLatin1(c.typed)};
        act(c.command)->trigger();
        EXPECT_EQ(dialogs.groupCalls, 1);
        EXPECT_EQ(dialogs.lastGroupNameIn,
                  std::string(c.command) == "actTaskGroupNew" ? QString("New Group") : QString(c.selected));
        EXPECT_EQ(data->Groups, c.groups);
        if (c.box) {
            ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
            EXPECT_EQ(qv::MessageBoxSeam::shown()[0].title, "Information");
            EXPECT_EQ(qv::MessageBoxSeam::shown()[0].text, c.box);
        } else {
            EXPECT_TRUE(qv::MessageBoxSeam::shown().empty());
        }
        // The tree shows the groups as they are now, and the tasks followed a rename.
        EXPECT_EQ(form->groupsTree()->topLevelItem(0)->childCount(), static_cast<int>(c.groups.size()));
        const std::string workGroup = taskNamed("Reports")->BelongToGroup;
        EXPECT_NE(std::find(c.groups.begin(), c.groups.end(), workGroup), c.groups.end()) << workGroup;
        // Stored at once.
        qv::TSafeRegistry reg;
        ASSERT_TRUE(reg.OpenKeyReadOnly(qv::groupsKeyPath()));
        EXPECT_EQ(reg.GetValueNames(), c.groups);
    }
    // A renamed group stays selected and lists its tasks.
    restart();
    ASSERT_TRUE(form->selectGroup("Photos"));
    dialogs.groupNames = {"Pictures"};
    act("actTaskGroupRename")->trigger();
    EXPECT_EQ(form->groupsTree()->currentItem()->text(0), "Pictures");
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"Camera roll", "Scans"}));
}

TEST_F(MainFormCommandFixture, GroupDeleteKeepsTheTasksGroupNamesAndReorderTakesOnlyAnOrder)
{
    struct Case {
        const char *group;
        int answer;
        std::vector<std::string> groups;
        const char *selectedAfter;
    };
    const Case cases[] = {
        {"Photos", qv::IDYES, {"Work"}, "All Tasks"},
        {"Work", qv::IDYES, {"Photos"}, "Photos"},
        {"Work", qv::IDNO, {"Photos", "Work"}, "Work"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.group) + (c.answer == qv::IDYES ? " Yes" : " No"));
        restart();
        ASSERT_TRUE(form->selectGroup(c.group));
        qv::MessageBoxSeam::presetAnswers({c.answer});
        act("actTaskGroupDelete")->trigger();
        ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
        EXPECT_EQ(qv::MessageBoxSeam::shown()[0].text,
                  QStringLiteral("Do you really want to delete group \"%1\"?").arg(c.group));
        EXPECT_EQ(data->Groups, c.groups);
        EXPECT_EQ(form->groupsTree()->currentItem()->text(0), c.selectedAfter);
        EXPECT_EQ(taskNamed("Reports")->BelongToGroup, "Work");
        EXPECT_EQ(taskNamed("Camera roll")->BelongToGroup, "Photos");
    }
    // The root is never deleted.
    restart();
    ASSERT_TRUE(form->selectGroup("All Tasks"));
    EXPECT_FALSE(act("actTaskGroupDelete")->isEnabled());
    act("actTaskGroupDelete")->trigger();
    EXPECT_TRUE(qv::MessageBoxSeam::shown().empty());

    // Reorder: a new order is taken, a list with other names is not.
    data->Groups = {"Photos", "Work", "Music"};
    form->UpdateAll();
    dialogs.orders = {{"Work", "Music", "Photos"}, {"Work", "Photos"}, {"Work", "Work", "Photos"}};
    act("actTaskGroupReorder")->trigger();
    EXPECT_EQ(dialogs.lastOrderIn, (QStringList{"Photos", "Work", "Music"}));
    EXPECT_EQ(data->Groups, (std::vector<std::string>{"Work", "Music", "Photos"}));
    EXPECT_EQ(form->groupsTree()->topLevelItem(0)->child(0)->text(0), "Work");
    act("actTaskGroupReorder")->trigger();
    act("actTaskGroupReorder")->trigger();
    EXPECT_EQ(data->Groups, (std::vector<std::string>{"Work", "Music", "Photos"}));
}

} // namespace

namespace {

using qvtest::MainFormCommandFixture;

TEST_F(MainFormCommandFixture, DroppingOnAGroupAndMovingTheLastRunAreStoredAtOnce)
{
    qv::TTask *task = taskNamed("Dotfiles");
    const std::string key = qv::taskKeyPath(task->ID) + "\\ExtendedData";
    form->dropTaskOnGroup(task->ID, form->groupsTree()->topLevelItem(0)->child(1)); // "Work"
    {
        qv::TSafeRegistry reg;
        ASSERT_TRUE(reg.OpenKeyReadOnly(key));
        EXPECT_EQ(reg.ReadString("BelongToGroup", "?"), "Work");
    }
    ASSERT_TRUE(form->selectGroup("All Tasks"));
    ASSERT_TRUE(selectByName("Dotfiles"));
    task->LastRun = 46000.0;
    form->reportView()->setFocus();
    QTest::keyClick(form->reportView(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(task->LastRun, 46001.0);
    qv::TSafeRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(key));
    EXPECT_EQ(reg.ReadDateTime("LastRun", 0), 46001.0);
}

} // namespace
