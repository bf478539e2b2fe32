// The settings maintenance wizard offscreen over a fake host: its moves and buttons, the checks of
// Next, the pickers, the backup file by part, and the failures of backup and restore.
// qv-test-labels: gui
#include "ui/maintenance/MaintenanceForm.h"
#include "ui/maintenance/MaintenanceSteps.h"

#include "components/MessageBox.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"
#include "core/settings/SettingsParts.h"
#include "core/text/Language.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/RegistryFile.h"

#include "support/DialogTestSupport.h"
#include "support/FakeFileDialogs.h"
#include "support/TestEnv.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using namespace qv;
using qvtest::child;

namespace {

const std::string kRoot = RegKeyRoot;

// What the wizard asked of its host.
struct HostLog {
    int saves = 0;
    int reloads = 0;
    bool running = false;
    std::function<void()> duringSave;
};

MaintenanceHost hostFor(HostLog &log)
{
    MaintenanceHost host;
    host.saveAll = [&log] {
        ++log.saves;
        if (log.duringSave) {
            log.duringSave();
        }
    };
    host.runsExist = [&log] { return log.running; };
    host.reload = [&log] {
        ++log.reloads;
        return std::vector<std::string>{};
    };
    return host;
}

// A store with one value of each part and one scratch value.
void seedStore()
{
    TSafeRegistry reg;
    reg.DeleteKey(kRoot);
    ASSERT_TRUE(reg.OpenKey(kRoot + "\\Main", true));
    reg.WriteInteger("WindowNormalPositionLeft", 40);
    reg.WriteInteger("ViewSizeName", 222);
    reg.WriteBool("StartupShowSplash", false);
    ASSERT_TRUE(reg.OpenKey(kRoot + "\\Tasks\\T1", true));
    reg.WriteString("Name", "Photos");
    ASSERT_TRUE(reg.OpenKey(kRoot + "\\Groups", true));
    reg.WriteString("Work", "");
    ASSERT_TRUE(reg.OpenKey(kRoot + "\\Temp\\Task", true));
    reg.WriteString("Name", "scratch");
}

class MaintenanceForm : public ::testing::Test
{
protected:
    void SetUp() override
    {
        MessageBoxSeam::clear();
        seedStore();
        dir = QString::fromStdString(qvtest::makeTempDir("maint"));
        form = std::make_unique<TMaintenanceForm>(hostFor(log));
    }
    void TearDown() override
    {
        form.reset();
        MessageBoxSeam::clear();
        SetLanguageFile(nullptr);
    }
    QPushButton *button(const char *name) { return child<QPushButton>(form.get(), name); }
    int page() const { return form->findChild<QStackedWidget *>("PageControl")->currentIndex(); }
    void choose(const char *radio) { child<QRadioButton>(form.get(), radio)->click(); }
    void next() { button("NextButton")->click(); }
    void back() { button("BackButton")->click(); }
    std::string buttons()
    {
        std::string s;
        s += button("BackButton")->isEnabled() ? 'B' : '-';
        s += button("NextButton")->isEnabled() ? 'N' : '-';
        s += button("CloseButton")->isEnabled() ? 'C' : '-';
        return s;
    }
    bool shows(const char *label) { return !child<QLabel>(form.get(), label)->isHidden(); }

    HostLog log;
    QString dir;
    std::unique_ptr<TMaintenanceForm> form;
};

TEST(MaintenanceSteps, PageOfEveryActionAndStep)
{
    struct Row {
        int action;
        int pages[6]; // steps 0..5; -1 for none
    };
    const Row rows[] = {
        {kMaintenanceNone, {-1, -1, -1, -1, -1, -1}},
        {kMaintenanceBackup, {-1, 0, 1, 2, 3, -1}},
        {kMaintenanceRestore, {-1, 0, 4, 5, 6, -1}},
        {7, {-1, -1, -1, -1, -1, -1}},
    };
    for (const Row &r : rows) {
        for (int step = 0; step <= 5; ++step) {
            const std::optional<int> p = maintenancePage(r.action, step);
            EXPECT_EQ(p.value_or(-1), r.pages[step]) << "action " << r.action << " step " << step;
        }
    }
}

TEST(MaintenanceSteps, ButtonsAndMoves)
{
    struct Row {
        int action, step;
        bool busy, inputOk;
        const char *buttons; // Back, Next, Close
        int next, back;
    };
    const Row rows[] = {
        {kMaintenanceNone, 1, false, true, "--C", 1, 1},    {kMaintenanceBackup, 1, false, true, "-NC", 2, 1},
        {kMaintenanceBackup, 2, false, true, "BNC", 3, 1},  {kMaintenanceBackup, 2, false, false, "B-C", 3, 1},
        {kMaintenanceBackup, 3, true, true, "---", 4, 2},   {kMaintenanceBackup, 4, false, true, "B-C", 4, 1},
        {kMaintenanceRestore, 1, false, true, "-NC", 2, 1}, {kMaintenanceRestore, 2, false, true, "BNC", 3, 1},
        {kMaintenanceRestore, 4, false, true, "B-C", 4, 1}, {kMaintenanceRestore, 4, true, true, "---", 4, 1},
    };
    for (const Row &r : rows) {
        const MaintenanceButtons b = maintenanceButtons(r.action, r.step, r.busy, r.inputOk);
        const std::string got = std::string(1, b.back ? 'B' : '-') + (b.next ? 'N' : '-') + (b.close ? 'C' : '-');
        EXPECT_EQ(got, r.buttons) << r.action << "/" << r.step;
        EXPECT_EQ(maintenanceNextStep(r.action, r.step), r.next) << r.action << "/" << r.step;
        EXPECT_EQ(maintenanceBackStep(r.action, r.step), r.back) << r.action << "/" << r.step;
    }
}

TEST_F(MaintenanceForm, NamesTextsAndFirstState)
{
    EXPECT_EQ(form->objectName(), "MaintenanceForm");
    EXPECT_EQ(form->windowTitle(), "Quorvellant Settings Maintenance Wizard");
    const char *pages[] = {"WelcomeTabSheet",        "BackupOptionsTabSheet", "BackupActionTabSheet",
                           "BackupDoneTabSheet",     "RestoreOptionsTabSheet", "RestoreActionTabSheet",
                           "RestoreDoneTabSheet"};
    auto *stack = form->findChild<QStackedWidget *>("PageControl");
    ASSERT_EQ(stack->count(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(stack->widget(i)->objectName(), pages[i]);
    }
    EXPECT_EQ(child<QLabel>(form.get(), "BackupDoneLabel")->text(), "Backup successfully finished!");
    EXPECT_EQ(child<QLabel>(form.get(), "RestoreDoneFailedLabel")->text(), "Restore failed!");
    // The proposal is a full path in the documents folder, never the working folder.
    const QString documents = QDir::homePath() + "/Documents";
    QDir().mkpath(documents);
    TMaintenanceForm fresh(hostFor(log));
    EXPECT_EQ(child<QLineEdit>(&fresh, "BackupOptionsFilenameEdit")->text(),
              documents + "/Quorvellant Settings Backup.reg");
    QDir(documents).removeRecursively();
    TMaintenanceForm noDocuments(hostFor(log));
    EXPECT_EQ(child<QLineEdit>(&noDocuments, "BackupOptionsFilenameEdit")->text(),
              QDir::homePath() + "/Quorvellant Settings Backup.reg");
    EXPECT_EQ(child<QLineEdit>(form.get(), "RestoreOptionsFilenameEdit")->text(), "");
    for (const char *box : {"BackupOptionsSettingsCheckBox", "BackupOptionsTasksCheckBox",
                            "BackupOptionsWindowPositionCheckBox", "RestoreOptionsSettingsCheckBox",
                            "RestoreOptionsTasksCheckBox", "RestoreOptionsWindowPositionCheckBox"}) {
        EXPECT_TRUE(child<QCheckBox>(form.get(), box)->isChecked()) << box;
    }
    EXPECT_EQ(page(), kPageWelcome);
    EXPECT_FALSE(child<QRadioButton>(form.get(), "WelcomeBackupRadioButton")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(form.get(), "WelcomeRestoreRadioButton")->isChecked());
    EXPECT_EQ(buttons(), "--C");
    next(); // nothing while no action is chosen
    EXPECT_EQ(page(), kPageWelcome);
    choose("WelcomeRestoreRadioButton");
    EXPECT_EQ(buttons(), "-NC");
}

TEST_F(MaintenanceForm, TranslatedWhenCreated)
{
    SetLanguageFile(LanguageTable::parse("[MaintenanceForm]\nMaintenanceForm.Caption=Einstellungen\n"
                                         "MaintenanceForm.NextButton.Caption=Weiter\n"
                                         "MaintenanceForm.BackupDoneFailedLabel.Caption=Gescheitert\n",
                                         "de.lng"));
    TMaintenanceForm translated(hostFor(log));
    EXPECT_EQ(translated.windowTitle(), "Einstellungen");
    EXPECT_EQ(child<QPushButton>(&translated, "NextButton")->text(), "Weiter");
    EXPECT_EQ(child<QLabel>(&translated, "BackupDoneFailedLabel")->text(), "Gescheitert");
}

TEST_F(MaintenanceForm, BackupMovesChecksAndBackToWelcomeKeepingTheChoice)
{
    choose("WelcomeBackupRadioButton");
    next();
    EXPECT_EQ(page(), kPageBackupOptions);
    EXPECT_EQ(buttons(), "BNC");
    // No part chosen: Next waits.
    for (const char *box :
         {"BackupOptionsSettingsCheckBox", "BackupOptionsTasksCheckBox", "BackupOptionsWindowPositionCheckBox"}) {
        child<QCheckBox>(form.get(), box)->setChecked(false);
    }
    EXPECT_EQ(buttons(), "B-C");
    child<QCheckBox>(form.get(), "BackupOptionsTasksCheckBox")->setChecked(true);
    EXPECT_EQ(buttons(), "BNC");

    // An empty name is refused with its box.
    auto *edit = child<QLineEdit>(form.get(), "BackupOptionsFilenameEdit");
    edit->setText("   ");
    next();
    EXPECT_EQ(page(), kPageBackupOptions);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].text, "Please enter valid file name!");
    EXPECT_EQ(MessageBoxSeam::shown()[0].title, "Error");
    EXPECT_EQ(MessageBoxSeam::shown()[0].flags, unsigned(MB_OK));

    // An existing file answered No stays, and the file is untouched.
    const QString file = dir + "/old.reg";
    qvtest::writeFile(file.toStdString(), "keep me");
    edit->setText(file);
    MessageBoxSeam::clear();
    MessageBoxSeam::presetAnswers({IDNO});
    next();
    EXPECT_EQ(page(), kPageBackupOptions);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].text, "File \"" + file + "\" already exists. Do you want to overwrite it?");
    EXPECT_EQ(MessageBoxSeam::shown()[0].title, "Confirmation");
    EXPECT_EQ(qvtest::readFile(file.toStdString()), "keep me");
    EXPECT_EQ(log.saves, 0);

    // Yes: the backup is written at once and the done page shows.
    MessageBoxSeam::presetAnswers({IDYES});
    next();
    EXPECT_EQ(page(), kPageBackupDone);
    EXPECT_EQ(log.saves, 1);
    EXPECT_TRUE(form->finished());
    EXPECT_TRUE(shows("BackupDoneLabel"));
    EXPECT_FALSE(shows("BackupDoneFailedLabel"));
    EXPECT_EQ(buttons(), "B-C");
    EXPECT_NE(qvtest::readFile(file.toStdString()), "keep me");

    back();
    EXPECT_EQ(page(), kPageWelcome);
    EXPECT_EQ(form->step(), 1);
    EXPECT_FALSE(form->finished());
    EXPECT_TRUE(child<QRadioButton>(form.get(), "WelcomeBackupRadioButton")->isChecked());
    EXPECT_EQ(buttons(), "-NC");
}

TEST_F(MaintenanceForm, BackupOfOnePartHoldsExactlyThatPartAndNeverTheScratchKey)
{
    struct Case {
        const char *box; // the one part checked; nullptr: all three
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"BackupOptionsSettingsCheckBox", {"\"StartupShowSplash\"=dword:00000000"}},
        {"BackupOptionsTasksCheckBox", {"\"Name\"=\"Photos\"", "\"Work\"=\"\""}},
        {"BackupOptionsWindowPositionCheckBox",
         {"\"WindowNormalPositionLeft\"=dword:00000028", "\"ViewSizeName\"=dword:000000de"}},
        {nullptr,
         {"\"StartupShowSplash\"=dword:00000000", "\"Name\"=\"Photos\"", "\"Work\"=\"\"",
          "\"WindowNormalPositionLeft\"=dword:00000028", "\"ViewSizeName\"=dword:000000de"}},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.box ? c.box : "all");
        form = std::make_unique<TMaintenanceForm>(hostFor(log));
        choose("WelcomeBackupRadioButton");
        next();
        if (c.box != nullptr) {
            for (const char *box : {"BackupOptionsSettingsCheckBox", "BackupOptionsTasksCheckBox",
                                    "BackupOptionsWindowPositionCheckBox"}) {
                child<QCheckBox>(form.get(), box)->setChecked(std::string(box) == c.box);
            }
        }
        const std::string file = dir.toStdString() + "/part" + std::to_string(n++) + ".reg";
        child<QLineEdit>(form.get(), "BackupOptionsFilenameEdit")->setText(QString::fromStdString(file));
        next();
        ASSERT_EQ(page(), kPageBackupDone);
        const std::string text = qvtest::readFile(file);
        ASSERT_EQ(text.rfind("REGEDIT4\r\n", 0), 0u);
        std::vector<std::string> values;
        std::size_t pos = 0;
        while ((pos = text.find("\r\n\"", pos)) != std::string::npos) {
            pos += 2;
            values.push_back(text.substr(pos, text.find("\r\n", pos) - pos));
        }
        std::vector<std::string> want = c.want;
        std::sort(values.begin(), values.end());
        std::sort(want.begin(), want.end());
        // dword digits are written in upper case.
        for (std::string &w : want) {
            if (auto d = w.find("dword:"); d != std::string::npos) {
                std::transform(w.begin() + d + 6, w.end(), w.begin() + d + 6, ::toupper);
            }
        }
        EXPECT_EQ(values, want);
        EXPECT_EQ(text.find("\\Temp"), std::string::npos);
    }
}

TEST_F(MaintenanceForm, RelativeNameTakesTheCurrentFolderAndOpenExplorerOpensIt)
{
    FakeDesktop desktop;
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir));
    choose("WelcomeBackupRadioButton");
    next();
    child<QLineEdit>(form.get(), "BackupOptionsFilenameEdit")->setText("Quorvellant Settings Backup.reg");
    next(); // a relative name
    QDir::setCurrent(old);
    ASSERT_EQ(page(), kPageBackupDone);
    EXPECT_TRUE(QFileInfo::exists(dir + "/Quorvellant Settings Backup.reg"));
    EXPECT_EQ(form->backupFolder(), QFileInfo(dir).absoluteFilePath());
    button("BackupDoneExplorerButton")->click();
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(desktop.opened[0], QFileInfo(dir).absoluteFilePath().toStdString());
}

TEST_F(MaintenanceForm, BackupThatCannotBeWrittenFailsAndWritesNothing)
{
    qvtest::writeFile(dir.toStdString() + "/plain", "x");
    const QString targets[] = {dir + "/missing/folder/b.reg", dir + "/plain/b.reg"};
    for (const QString &target : targets) {
        SCOPED_TRACE(target.toStdString());
        form = std::make_unique<TMaintenanceForm>(hostFor(log));
        choose("WelcomeBackupRadioButton");
        next();
        child<QLineEdit>(form.get(), "BackupOptionsFilenameEdit")->setText(target);
        next();
        ASSERT_EQ(page(), kPageBackupDone);
        EXPECT_TRUE(form->failed());
        EXPECT_FALSE(shows("BackupDoneLabel"));
        EXPECT_TRUE(shows("BackupDoneFailedLabel"));
        EXPECT_TRUE(button("BackupDoneExplorerButton")->isHidden());
        auto *details = child<QPlainTextEdit>(form.get(), "BackupDoneDetailsMemo");
        EXPECT_FALSE(details->isHidden());
        EXPECT_FALSE(details->toPlainText().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(target));
    }
    EXPECT_EQ(QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"plain"});
}

TEST_F(MaintenanceForm, RestoreChecksTheFileAndRefusesWhileRunsExist)
{
    choose("WelcomeRestoreRadioButton");
    next();
    EXPECT_EQ(page(), kPageRestoreOptions);
    const QString missing = dir + "/none.reg";
    child<QLineEdit>(form.get(), "RestoreOptionsFilenameEdit")->setText(missing);
    next();
    EXPECT_EQ(page(), kPageRestoreOptions);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].text, "File \"" + missing + "\" not found!");
    EXPECT_EQ(MessageBoxSeam::shown()[0].title, "Error");

    // A backup of the store, then a run exists: refused at Next, and again when a run starts while
    // the settings are saved.
    const std::string file = dir.toStdString() + "/b.reg";
    exportRegistryKey(RegistryStore::forThisThread(), RegRoot::CurrentUser, kRoot, file);
    TSafeRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot + "\\Tasks\\T1", false));
    reg.WriteString("Name", "Changed");
    child<QLineEdit>(form.get(), "RestoreOptionsFilenameEdit")->setText(QString::fromStdString(file));
    MessageBoxSeam::clear();
    log.running = true;
    next();
    EXPECT_EQ(page(), kPageRestoreOptions);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].text, "Settings can't be restored while a task is running. Please wait "
                                               "until all tasks finish and try again.");
    log.running = false;
    log.duringSave = [&] { log.running = true; };
    next();
    EXPECT_EQ(page(), kPageRestoreOptions);
    EXPECT_EQ(MessageBoxSeam::shown().size(), 2u);
    EXPECT_EQ(log.reloads, 0);
    EXPECT_EQ(reg.ReadString("Name", ""), "Changed");
    EXPECT_EQ(buttons(), "BNC");

    log.running = false;
    log.duringSave = nullptr;
    next();
    EXPECT_EQ(page(), kPageRestoreDone);
    EXPECT_EQ(log.reloads, 1);
    EXPECT_TRUE(shows("RestoreDoneLabel"));
    EXPECT_FALSE(shows("RestoreDoneFailedLabel"));
    ASSERT_TRUE(reg.OpenKeyReadOnly(kRoot + "\\Tasks\\T1"));
    EXPECT_EQ(reg.ReadString("Name", ""), "Photos");
}

TEST_F(MaintenanceForm, MalformedFileFailsWithItsLineAndChangesNothing)
{
    const std::string file = dir.toStdString() + "/bad.reg";
    qvtest::writeFile(file, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER" + kRoot +
                                "\\Tasks\\T1]\r\n\"Name\"=\"Other\"\r\n\"Broken\"=dword:xyz\r\n");
    choose("WelcomeRestoreRadioButton");
    next();
    child<QLineEdit>(form.get(), "RestoreOptionsFilenameEdit")->setText(QString::fromStdString(file));
    next();
    ASSERT_EQ(page(), kPageRestoreDone);
    EXPECT_TRUE(form->failed());
    EXPECT_FALSE(shows("RestoreDoneLabel"));
    EXPECT_TRUE(shows("RestoreDoneFailedLabel"));
    EXPECT_EQ(log.reloads, 0);
    const QString details = child<QPlainTextEdit>(form.get(), "RestoreDoneDetailsMemo")->toPlainText();
    EXPECT_TRUE(details.contains("line 5")) << details.toStdString();
    TSafeRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kRoot + "\\Tasks\\T1"));
    EXPECT_EQ(reg.ReadString("Name", ""), "Photos");
}

TEST_F(MaintenanceForm, ForeignKeysAreListedOnTheDonePage)
{
    const std::string file = dir.toStdString() + "/foreign.reg";
    qvtest::writeFile(file, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"X\"=\"1\"\r\n\r\n"
                            "[HKEY_CURRENT_USER" +
                                kRoot + "\\Tasks\\T1]\r\n\"Name\"=\"Again\"\r\n");
    choose("WelcomeRestoreRadioButton");
    next();
    child<QLineEdit>(form.get(), "RestoreOptionsFilenameEdit")->setText(QString::fromStdString(file));
    next();
    ASSERT_EQ(page(), kPageRestoreDone);
    EXPECT_FALSE(form->failed());
    const QString details = child<QPlainTextEdit>(form.get(), "RestoreDoneDetailsMemo")->toPlainText();
    EXPECT_TRUE(details.contains("Software\\Other")) << details.toStdString();
    TSafeRegistry reg;
    EXPECT_FALSE(reg.KeyExists("\\Software\\Other"));
}

TEST_F(MaintenanceForm, PickersStartFromTheEditAndFillIt)
{
    qvtest::FakeFileDialogs pickers;
    pickers.answers = {dir + "/picked.reg", "", dir + "/open.reg"};
    choose("WelcomeBackupRadioButton");
    next();
    auto *edit = child<QLineEdit>(form.get(), "BackupOptionsFilenameEdit");
    edit->setText(dir + "/typed.reg");
    button("BackupOptionsBrowseButton")->click();
    EXPECT_EQ(edit->text(), dir + "/picked.reg");
    button("BackupOptionsBrowseButton")->click(); // cancelled: the name stays
    EXPECT_EQ(edit->text(), dir + "/picked.reg");
    button("RestoreOptionsBrowseButton")->click();
    EXPECT_EQ(child<QLineEdit>(form.get(), "RestoreOptionsFilenameEdit")->text(), dir + "/open.reg");
    ASSERT_EQ(pickers.asked.size(), 3u);
    EXPECT_TRUE(pickers.asked[0].save);
    EXPECT_FALSE(pickers.asked[2].save);
    EXPECT_EQ(pickers.asked[0].request.folder, QFileInfo(dir).absoluteFilePath());
    EXPECT_EQ(pickers.asked[0].request.fileName, "typed.reg");
    EXPECT_EQ(pickers.asked[0].request.filters, (QStringList{"Registration Files (*.reg)", "All files (*)"}));
    EXPECT_EQ(pickers.asked[0].request.defaultSuffix, "reg");
}

} // namespace
