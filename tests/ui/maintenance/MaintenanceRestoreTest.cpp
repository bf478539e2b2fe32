// The settings maintenance wizard from the main window's Tools command, over a real store: back up,
// change tasks, options and layout, restore by part; the window, the tasks and the hot keys follow.
// Restores are refused while a run, a queued run or a filter test exists.
// qv-test-labels: gui
#include "../MainFormCommandFixture.h"

#include "core/runs/RunQueue.h"
#include "core/settings/SettingsParts.h"
#include "core/text/Language.h"
#include "core/util/Utils.h"
#include "ui/maintenance/MaintenanceForm.h"
#include "ui/maintenance/MaintenanceSteps.h"

#include "support/DialogTestSupport.h"
#include "support/TestEnv.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>

#include <algorithm>

namespace {

using namespace qvtest;

constexpr std::uint16_t kKeyJ = qv::kShortCutCtrl | qv::kShortCutAlt | 'J';
constexpr std::uint16_t kKeyK = qv::kShortCutCtrl | qv::kShortCutAlt | 'K';

// The filter list as "+mask" and "-mask" lines, for readable failures.
std::vector<std::string> masks(const std::vector<qv::TTaskFilterItem> &items)
{
    std::vector<std::string> out;
    for (const qv::TTaskFilterItem &i : items) {
        out.push_back((i.FilterType == qv::fitInclude ? "+" : "-") + i.fnWildcard);
    }
    return out;
}

struct Parts {
    bool settings = true, tasks = true, window = true;
};

class MaintenanceRestore : public MainFormCommandFixture
{
protected:
    void SetUp() override
    {
        MainFormCommandFixture::SetUp();
        qv::MainFormDialogs d = dialogs.make();
        qv::installMaintenanceWizard(d);
        form->setDialogs(d);
        form->resize(760, 590); // within the 800 x 600 screen of the tests
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        dir = qvtest::makeTempDir("restore");
        qv::TTask *camera = taskNamed("Camera roll");
        camera->Filters.Clear();
        for (const char *mask : {"*.jpg;*.png", "*.tmp"}) {
            qv::TTaskFilterItem item;
            item.FilterType = mask[2] == 't' ? qv::fitExclude : qv::fitInclude;
            item.fnWildcard = mask;
            camera->Filters.Add(item);
        }
        camera->HotKey = kKeyJ;
        data->RegisterHotKeys();
        form->SaveAllSettings();
    }
    void TearDown() override
    {
        qv::Suspend = false;
        qv::DisallowSimultaneousBackup = false;
        MainFormCommandFixture::TearDown();
    }

    // Opens the wizard through the Tools command and lets `act` drive it; the wizard is closed after.
    void throughWizard(const std::function<void(qv::TMaintenanceForm &)> &drive)
    {
        NextModal modal([&](QDialog *dialog) {
            auto *wizard = qobject_cast<qv::TMaintenanceForm *>(dialog);
            ASSERT_NE(wizard, nullptr);
            drive(*wizard);
            child<QPushButton>(wizard, "CloseButton")->click();
        });
        act("actToolsTasksMaintenance")->trigger();
        ASSERT_TRUE(modal.ran);
    }
    static int page(qv::TMaintenanceForm &w) { return w.findChild<QStackedWidget *>("PageControl")->currentIndex(); }
    void backup(const Parts &parts = {})
    {
        throughWizard([&](qv::TMaintenanceForm &w) {
            child<QRadioButton>(&w, "WelcomeBackupRadioButton")->click();
            child<QPushButton>(&w, "NextButton")->click();
            setParts(w, "BackupOptions", parts);
            child<QLineEdit>(&w, "BackupOptionsFilenameEdit")->setText(QString::fromStdString(file()));
            child<QPushButton>(&w, "NextButton")->click();
            EXPECT_EQ(page(w), qv::kPageBackupDone);
            EXPECT_FALSE(w.failed());
        });
    }
    // Restores and returns the page reached; `beforeNext` runs just before the last Next.
    int restore(const Parts &parts = {}, const std::function<void()> &beforeNext = {}, bool *failed = nullptr)
    {
        int reached = -1;
        throughWizard([&](qv::TMaintenanceForm &w) {
            child<QRadioButton>(&w, "WelcomeRestoreRadioButton")->click();
            child<QPushButton>(&w, "NextButton")->click();
            setParts(w, "RestoreOptions", parts);
            child<QLineEdit>(&w, "RestoreOptionsFilenameEdit")->setText(QString::fromStdString(file()));
            if (beforeNext) {
                beforeNext();
            }
            child<QPushButton>(&w, "NextButton")->click();
            reached = page(w);
            if (failed != nullptr) {
                *failed = w.failed();
            }
        });
        return reached;
    }
    static void setParts(qv::TMaintenanceForm &w, const QString &prefix, const Parts &p)
    {
        child<QCheckBox>(&w, (prefix + "SettingsCheckBox").toLatin1())->setChecked(p.settings);
        child<QCheckBox>(&w, (prefix + "TasksCheckBox").toLatin1())->setChecked(p.tasks);
        child<QCheckBox>(&w, (prefix + "WindowPositionCheckBox").toLatin1())->setChecked(p.window);
    }
    std::string file() const { return dir + "/backup.reg"; }

    // The user's changes after the backup: filters, an option, the size, a deleted and an added task,
    // another hot key; the changed task is the current one.
    void changeEverything()
    {
        qv::TTask *camera = taskNamed("Camera roll");
        // More items than backed up: a restored task must not keep the surplus.
        camera->Filters.Clear();
        for (const char *mask : {"*.raw", "*.cr2", "*.nef"}) {
            qv::TTaskFilterItem item;
            item.fnWildcard = mask;
            camera->Filters.Add(item);
        }
        camera->HotKey = kKeyK;
        qv::StartupConfirmShutdown = !qv::StartupConfirmShutdown;
        form->resize(700, 500);
        ASSERT_TRUE(form->selectGroup("All Tasks"));
        ASSERT_TRUE(selectByName("Reports"));
        qv::MessageBoxSeam::presetAnswers({qv::IDYES});
        act("actTaskDelete")->trigger();
        ASSERT_EQ(taskNamed("Reports"), nullptr);
        auto added = std::make_unique<qv::TTask>();
        added->Name = "Added later";
        added->GenerateID(&data->Tasks);
        data->Tasks.Add(std::move(added));
        data->RegisterHotKeys();
        form->UpdateAll();
        form->SaveAllSettings();
        ASSERT_TRUE(selectByName("Camera roll"));
        ASSERT_EQ(currentName(), "Camera roll");
    }
    // The task a press of `shortCut` starts, or "" when nothing is registered for it.
    std::string hotKeyTask(std::uint16_t shortCut)
    {
        std::uint16_t key = 0, mods = 0;
        qv::ShortCutToHotKey(shortCut, key, mods);
        for (const auto &[id, combo] : hotKeys.registered) {
            if (combo == std::pair<unsigned, unsigned>(mods, key) && id >= 0 && id < qv::kHotKeySlotCount) {
                qv::TTask *t = data->FindTaskByID(data->HotKeys[static_cast<std::size_t>(id)].TaskID);
                return t == nullptr ? "<gone>" : t->Name;
            }
        }
        return "";
    }
    static void waitNoRuns()
    {
        QElapsedTimer clock;
        clock.start();
        while (qv::RunningTaskCount() > 0 && clock.elapsed() < 20000) {
            QTest::qWait(20);
        }
    }

    std::string dir;
};

TEST_F(MaintenanceRestore, EverythingComesBackAndTheAddedTaskStays)
{
    const std::vector<qv::TTaskFilterItem> filters = taskNamed("Camera roll")->Filters.Items;
    const std::string reportsId = taskNamed("Reports")->ID;
    const QSize size = form->size();
    const bool option = qv::StartupConfirmShutdown;
    backup();
    ASSERT_EQ(hotKeyTask(kKeyJ), "Camera roll");
    changeEverything();
    ASSERT_EQ(hotKeyTask(kKeyK), "Camera roll");

    EXPECT_EQ(restore(), qv::kPageRestoreDone);
    ASSERT_NE(taskNamed("Camera roll"), nullptr);
    EXPECT_EQ(masks(taskNamed("Camera roll")->Filters.Items), masks(filters));
    EXPECT_TRUE(taskNamed("Camera roll")->Filters.Items == filters);
    ASSERT_NE(taskNamed("Reports"), nullptr);
    EXPECT_EQ(taskNamed("Reports")->ID, reportsId);
    EXPECT_NE(taskNamed("Added later"), nullptr);
    EXPECT_EQ(qv::StartupConfirmShutdown, option);
    EXPECT_EQ(form->size(), size);
    std::vector<std::string> names = listedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Added later", "Camera roll", "Dotfiles", "Reports", "Scans"}));
    EXPECT_EQ(hotKeyTask(kKeyJ), "Camera roll");
    EXPECT_EQ(hotKeyTask(kKeyK), "");
    // The current task is one of the reloaded ones (a stale pointer shows under the address checker).
    form->CheckState();
    if (form->CurrentTask() != nullptr) {
        EXPECT_GE(data->Tasks.IndexOf(form->CurrentTask()), 0);
    }
    act("actTaskProperties")->trigger();

    // The exit save writes the restored state.
    form->SaveAllSettings();
    qv::TBackupData reread;
    reread.LoadFromRegistry();
    EXPECT_NE(reread.FindTaskByID(reportsId), nullptr);
}

TEST_F(MaintenanceRestore, UncheckedPartsStayAsTheyAre)
{
    struct Case {
        const char *name;
        Parts parts;
        bool tasksBack, optionBack, sizeBack;
    };
    const Case cases[] = {
        {"settings and window", {true, false, true}, false, true, true},
        {"window only", {false, false, true}, false, false, true},
        {"tasks only", {false, true, false}, true, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        const QSize size = form->size();
        const bool option = qv::StartupConfirmShutdown;
        backup();
        changeEverything();
        const QSize changedSize = form->size();
        EXPECT_EQ(restore(c.parts), qv::kPageRestoreDone);
        EXPECT_EQ(taskNamed("Reports") != nullptr, c.tasksBack);
        ASSERT_NE(taskNamed("Camera roll"), nullptr);
        EXPECT_EQ(taskNamed("Camera roll")->Filters.Count(), c.tasksBack ? 2 : 3);
        EXPECT_EQ(hotKeyTask(c.tasksBack ? kKeyJ : kKeyK), "Camera roll");
        EXPECT_NE(taskNamed("Added later"), nullptr);
        EXPECT_EQ(qv::StartupConfirmShutdown, c.optionBack ? option : !option);
        EXPECT_EQ(form->size(), c.sizeBack ? size : changedSize);
    }
}

TEST_F(MaintenanceRestore, RefusedWhileARunAQueuedRunOrAFilterTestExists)
{
    const std::string src = qvtest::makeTempDir("src");
    qvtest::writeFile(src + "/a.txt", "alpha");
    for (const char *name : {"Camera roll", "Scans"}) {
        qv::TTask *t = taskNamed(name);
        t->Source = src;
        t->DestLocal = qvtest::makeTempDir("dst");
    }
    form->SaveAllSettings();
    backup();
    taskNamed("Scans")->Name = "Renamed";
    form->SaveAllSettings();
    std::string scansKey(qv::RegKeyRoot);
    scansKey.append("\\Tasks\\").append(taskNamed("Renamed")->ID);

    struct Case {
        const char *name;
        std::function<void()> start;
    };
    const Case cases[] = {
        {"a run",
         [this] {
             qv::Suspend = true; // held at its gate
             taskNamed("Camera roll")->Run(qv::kStartByHand);
         }},
        {"a queued run",
         [this] {
             qv::Suspend = true;
             qv::DisallowSimultaneousBackup = true;
             taskNamed("Camera roll")->Run(qv::kStartByHand);
             taskNamed("Renamed")->Run(qv::kStartByHand);
             ASSERT_EQ(qv::RunQueue::instance().waitingCount(), 1);
         }},
        {"a filter test", [this] { ASSERT_TRUE(taskNamed("Camera roll")->RunTest(dir + "/test.txt")); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        qv::MessageBoxSeam::clear();
        EXPECT_EQ(restore({}, c.start), qv::kPageRestoreOptions);
        ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
        EXPECT_EQ(qv::MessageBoxSeam::shown()[0].text.toStdString(),
                  "Settings can't be restored while a task is running. Please wait until all tasks finish and try "
                  "again.");
        EXPECT_NE(taskNamed("Renamed"), nullptr) << "nothing was restored";
        qv::TSafeRegistry stored;
        ASSERT_TRUE(stored.OpenKeyReadOnly(scansKey));
        EXPECT_EQ(stored.ReadString("Name", ""), "Renamed") << "the store is unchanged";
        qv::Suspend = false;
        data->StopGroup(qv::TBackupData::AllTasksGroupName());
        waitNoRuns();
        ASSERT_EQ(qv::RunningTaskCount(), 0);
        qv::DisallowSimultaneousBackup = false;
    }
    // With no run left the same restore goes through.
    qv::MessageBoxSeam::clear();
    EXPECT_EQ(restore(), qv::kPageRestoreDone);
    EXPECT_EQ(taskNamed("Renamed"), nullptr);
    EXPECT_NE(taskNamed("Scans"), nullptr);
}

TEST_F(MaintenanceRestore, MalformedFileLeavesTheWindowAsItWas)
{
    changeEverything();
    qvtest::writeFile(file(), "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Groups]\r\n"
                              "\"Work\"=\"\"\r\n\"Photos\"=hex:zz\r\n");
    const std::vector<std::string> before = listedNames();
    qv::TTask *current = form->CurrentTask();
    const QSize size = form->size();
    bool failed = false;
    EXPECT_EQ(restore({}, {}, &failed), qv::kPageRestoreDone);
    EXPECT_TRUE(failed);
    EXPECT_EQ(listedNames(), before);
    EXPECT_EQ(form->CurrentTask(), current) << "the tasks were not reloaded";
    EXPECT_EQ(form->size(), size);
    EXPECT_NE(taskNamed("Added later"), nullptr);
    EXPECT_EQ(taskNamed("Reports"), nullptr);
}

TEST_F(MaintenanceRestore, TheWindowPartIsWhatTheWindowSaves)
{
    std::string mainKey(qv::RegKeyRoot);
    mainKey.append(qv::RegKeyMain);
    qv::TSafeRegistry reg;
    ASSERT_TRUE(reg.DeleteKey(mainKey));
    form->SaveWindowSettings();
    ASSERT_TRUE(reg.OpenKeyReadOnly(mainKey));
    const std::vector<std::string> written = reg.GetValueNames();
    for (const char *name : qv::windowSettingsValueNames()) {
        EXPECT_NE(std::find(written.begin(), written.end(), name), written.end())
            << name << " belongs to the window part but the window does not save it";
    }
    for (const std::string &name : written) {
        EXPECT_EQ(qv::settingsPartOf(mainKey, name), qv::SettingsPart::WindowPosition) << name;
    }
}

TEST_F(MaintenanceRestore, ARestoredLanguageIsLoadedAndARestoredEnglishUnloadsIt)
{
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    ASSERT_FALSE(data.isEmpty());
    const std::string lang = data.toStdString() + "/quorvellant/lang/Deutsch.lng";
    qvtest::runShell("mkdir -p '" + data.toStdString() + "/quorvellant/lang'");
    qvtest::writeFile(lang, "[Misc]\nstrMaintenanceNotRestored=Nicht wiederhergestellt:\n");
    struct Guard {
        ~Guard()
        {
            qv::SetLanguageFile(nullptr);
            qv::Language.clear();
        }
    } guard;

    qv::Language = "Deutsch.lng";
    form->SaveAllSettings();
    backup();
    qv::Language.clear();
    form->SaveAllSettings();
    EXPECT_EQ(restore(), qv::kPageRestoreDone);
    EXPECT_EQ(qv::Language, "Deutsch.lng");
    ASSERT_NE(qv::LanguageFile(), nullptr);
    EXPECT_EQ(qv::LanguageFile()->fileName(), "Deutsch.lng");
    EXPECT_EQ(qv::GetLangString("Not restored:", "strMaintenanceNotRestored"), "Nicht wiederhergestellt:");

    qv::Language.clear();
    form->SaveAllSettings();
    backup();
    qv::Language = "Deutsch.lng";
    form->SaveAllSettings();
    EXPECT_EQ(restore(), qv::kPageRestoreDone);
    EXPECT_EQ(qv::Language, "");
    EXPECT_EQ(qv::LanguageFile(), nullptr);
}

} // namespace
