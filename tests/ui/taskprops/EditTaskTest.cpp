// The task properties dialog's edit cycle over a stored task: OK keeps every value, Cancel and every
// refusal leave the task as it was, the editing flag is always cleared, the remembered page.
#include "ui/taskprops/ProjectPropertiesForm.h"

#include "components/MessageBox.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "core/task/TaskStorage.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"
#include "core/schedule/TaskSchedulerControl.h"
#include "platform/fake/FakeDialer.h"
#include "platform/fake/FakeSystemScheduler.h"
#include "ui/PasswordForm.h"
#include "ui/taskprops/TaskPropertiesPage.h"
#include "ui/taskprops/TaskSourcesPage.h"

#include "core/TaskFillSupport.h"
#include "support/DialogTestSupport.h"
#include "TaskDialogFixture.h"
#include "support/ScriptedSmtpServer.h"
#include "components/RangedField.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

using namespace qv;
using qvtest::child;
using qvtest::NextModal;

namespace {

class ThrowingDialer : public FakeDialer
{
public:
    std::vector<std::string> phonebookEntries() override { throw std::runtime_error("phone book unreadable"); }
};

class EditTaskCycle : public taskdialogtest::TaskDialogFixture
{
protected:
    EditTaskCycle() : TaskDialogFixture("edittask") { m_dialer.entries = {"Home DSL", "Mobile"}; }
    // A task with every field away from its default, as the edit cycle must keep it.
    static void fillForDialog(TTask &t)
    {
        qvtest::fillNonDefault(t);
        t.DestFTP.Port = 2121;
        t.EmailSettings.SmtpServerPort = 50000;
        t.Bandwidth.Value = 40000;          // beyond what the number box shows
        t.Dial.DialEntry = "Office VPN";    // not in the phone book
        t.HardwareProfile.SkipList = "Laptop,Docked"; // profiles this machine does not have
        t.PowerManagement.BatteryMode = "S";
        t.Protection.UseDefault = true;     // the password asked for is then the program-wide one (none)
        t.Protection.Password = "task secret";
    }
};

TEST_F(EditTaskCycle, OkKeepsEveryStoredValueByteForByte)
{
    TTask task;
    fillForDialog(task);
    ASSERT_EQ(task.Filters.Count(), 12);
    const std::string before = exportOf(task);
    ASSERT_TRUE(runDialog(task, "OkButton"));
    EXPECT_EQ(exportOf(task), before);
    EXPECT_FALSE(task.Editing);
    // The filled task's folders do not exist here: the task check warns once, and Yes keeps it.
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].title, "Warning!");
}

TEST_F(EditTaskCycle, OkCommitsEditsAndClearsTheFailedFlag)
{
    TTask task;
    task.ValidationFailed = true;
    ASSERT_TRUE(runDialog(task, "OkButton", [](TProjectPropertiesForm *f) {
        child<QLineEdit>(f, "TaskNameEdit")->setText("Edited name");
        child<QLineEdit>(f, "DestLocalFolderEdit")->setText("/srv/backup");
    }));
    EXPECT_EQ(task.Name, "Edited name");
    EXPECT_EQ(task.DestLocal, "/srv/backup");
    EXPECT_FALSE(task.ValidationFailed);
}

TEST_F(EditTaskCycle, CancelLeavesTheTaskAsItWas)
{
    TTask task;
    fillForDialog(task);
    const std::string before = exportOf(task);
    EXPECT_FALSE(runDialog(task, "CancelButton", [](TProjectPropertiesForm *f) {
        // What the list and events pages write into the draft at once, and a typed destination.
        f->draft().Filters.Clear();
        f->draft().EventAlerts.ManualErrorEmail = "changed@example.org";
        child<QLineEdit>(f, "DestLocalFolderEdit")->setText("/elsewhere");
        child<QLineEdit>(f, "TaskNameEdit")->setText("changed");
    }));
    EXPECT_EQ(exportOf(task), before);
    EXPECT_FALSE(task.Editing);
}

TEST_F(EditTaskCycle, UndoCopyIsWrittenBeforeTheDialogOpens)
{
    TTask task;
    fillForDialog(task);
    runDialog(task, "CancelButton");
    TTask copy;
    ASSERT_TRUE(copy.LoadFromRegistry(tempKeyPath("EditTask")));
    EXPECT_EQ(copy.ID, task.ID);
    EXPECT_TRUE(copy.settings() == task.settings());
}

// A store that cannot take the undo copy (damaged while the program runs) never keeps the dialog
// from opening nor ends the program: the task is edited in memory, the store left as it was.
TEST_F(EditTaskCycle, AStoreThatCannotTakeTheUndoCopyStillEdits)
{
    const std::string damaged = qvtest::makeTempDir("damagedstore") + "/registry.db";
    const std::string bytes = "SQLite format 3" + std::string(8192, '#');
    qvtest::writeFile(damaged, bytes);
    qv::RegistryStore::setStorePath(damaged);
    TTask task;
    bool edited = false;
    EXPECT_NO_THROW(edited = runDialog(task, "OkButton", [](TProjectPropertiesForm *f) {
        child<QLineEdit>(f, "TaskNameEdit")->setText("Edited name");
    }));
    EXPECT_TRUE(edited);
    EXPECT_EQ(task.Name, "Edited name");
    EXPECT_FALSE(task.Editing);
    EXPECT_EQ(qvtest::readFile(damaged), bytes);
}

TEST_F(EditTaskCycle, EditingFlagIsClearedOnEveryWayOut)
{
    TTask running;
    running.Running = true;
    EXPECT_FALSE(EditTask(nullptr, running, 0));
    EXPECT_FALSE(running.Editing);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_TRUE(MessageBoxSeam::shown()[0].text.contains("running task"));

    TTask locked;
    locked.Protection = {false, "right", ""};
    NextModal wrong([](QDialog *d) {
        auto *form = qobject_cast<PasswordForm *>(d);
        ASSERT_NE(form, nullptr);
        form->PasswordEdit->setText("wrong");
        form->accept();
    });
    EXPECT_FALSE(EditTask(nullptr, locked, 0));
    EXPECT_TRUE(wrong.ran);
    EXPECT_FALSE(locked.Editing);

    // A fill that throws says why in an error box; the error never reaches the caller's event loop.
    ThrowingDialer broken;
    setDialer(&broken);
    TTask task;
    MessageBoxSeam::clear();
    EXPECT_FALSE(EditTask(nullptr, task, 0));
    EXPECT_FALSE(task.Editing);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].text, "phone book unreadable");
}

TEST_F(EditTaskCycle, RemembersThePageOfTheLastOk)
{
    TTask task;
    runDialog(task, "OkButton", [](TProjectPropertiesForm *f) { f->showPage(5); });
    EXPECT_EQ(LastTaskPageIndex(), 5);
    runDialog(task, "CancelButton", [](TProjectPropertiesForm *f) {
        EXPECT_EQ(f->currentPageIndex(), 5) << "opens on the remembered page";
        f->showPage(9);
    });
    EXPECT_EQ(LastTaskPageIndex(), 5);
}

TEST_F(EditTaskCycle, NavigatorNodesFollowThePageOrder)
{
    TTask task;
    TProjectPropertiesForm form(task);
    form.loadDraft();
    QStringList sheets;
    for (int i = 0; i < TProjectPropertiesForm::kPageCount; ++i) {
        form.showPage(i);
        EXPECT_EQ(form.currentPageIndex(), i);
        sheets << form.page(i)->objectName();
        EXPECT_EQ(form.pageIndexOf(form.page(i)->objectName()), i);
    }
    EXPECT_EQ(sheets.removeDuplicates(), 0);
    EXPECT_EQ(form.objectName(), "ProjectPropertiesForm");
    child<QLineEdit>(&form, "TaskNameEdit")->setText("Photos");
    EXPECT_EQ(form.windowTitle(), "Quorvellant Task Properties - [Photos]");
}

TEST_F(EditTaskCycle, PageListLabelsAreWholeInALargerFont)
{
    const QFont before = QApplication::font();
    for (int points : {9, 14, 20}) {
        QFont font = before;
        font.setPointSize(points);
        QApplication::setFont(font);
        TTask task;
        TProjectPropertiesForm form(task);
        form.loadDraft();
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 5000));
        auto *tree = child<QTreeWidget>(&form, "NavigatorTree");
        const QFontMetrics metrics(tree->font());
        for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it) {
            // The label, its icon and the cell's margins lie inside the list's visible width,
            // from where the cell starts at its depth in the tree.
            const QRect cell = tree->visualItemRect(*it);
            const int needed = cell.x() + std::max(16, tree->iconSize().width()) + 8 +
                               metrics.horizontalAdvance((*it)->text(0));
            EXPECT_LE(needed, tree->viewport()->width())
                << points << " pt: \"" << (*it)->text(0).toStdString() << "\" in a cell at " << cell.x();
        }
    }
    QApplication::setFont(before);
}

TEST_F(EditTaskCycle, FolderLabelsAndTheDraftFollowTheEdits)
{
    TTask task;
    task.VersionsFolder = "%destination%File Versions Archive";
    TProjectPropertiesForm form(task);
    form.loadDraft();
    child<QLineEdit>(&form, "DestLocalFolderEdit")->setText("/srv/b");
    EXPECT_EQ(form.draft().DestLocal, "/srv/b");
    EXPECT_EQ(child<QLabel>(&form, "VersionsFolderExpandTestLabel")->text(), "/srv/b/File Versions Archive/");
    EXPECT_EQ(child<QLabel>(&form, "DestLocalFolderLabelExpandTest")->text(), "/srv/b/");
    child<QLineEdit>(&form, "ObsoleteFolderEdit")->setText("/plain/");
    EXPECT_EQ(form.draft().ArchiveFolder, "/plain/");
    EXPECT_TRUE(child<QLabel>(&form, "ObsoleteFolderExpandTestLabel")->text().isEmpty()) << "nothing to expand";
    EXPECT_EQ(task.DestLocal, "") << "the task itself changes only on OK";
}

// OK runs the run's task check on the edited task: its messages in a warning whose No (the default
// button, what Enter answers) goes back to the dialog and whose Yes keeps the task; nothing is
// created to check it.
TEST_F(EditTaskCycle, OkWarnsOfATaskThatCannotRunAndCanGoBack)
{
    const std::string base = qvtest::makeTempDir("check");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(base + "/src/sub")));
    const struct {
        std::string source, dest;
        const char *message; // empty: the task may run, no warning
    } cases[] = {
        {"", base + "/dest", "No source folder(s) defined!"},
        {base + "/src", "", "Invalid destination folder ("},
        {base + "/src", base + "/src/sub/backup", "Destination folder can't be placed under Source folder path!"},
        {base + "/missing", base + "/dest", "Invalid source folder ("},
        {base + "/src", base + "/dest/new/level", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.dest);
        auto fill = [&c](TProjectPropertiesForm *f) {
            child<QLineEdit>(f, "SourceFolderEdit")->setText(QString::fromStdString(c.source));
            child<QLineEdit>(f, "DestLocalFolderEdit")->setText(QString::fromStdString(c.dest));
        };
        // The default answer (no preset: the box takes its default button): back in the dialog,
        // which Cancel then closes.
        TTask task;
        MessageBoxSeam::clear();
        bool stayedOpen = false;
        EXPECT_FALSE(runDialog(task, "CancelButton", [&](TProjectPropertiesForm *f) {
            fill(f);
            child<QPushButton>(f, "OkButton")->click();
            stayedOpen = f->isVisible() && f->result() == 0;
        }));
        EXPECT_EQ(stayedOpen, *c.message != '\0');
        if (*c.message == '\0') {
            EXPECT_TRUE(MessageBoxSeam::shown().empty());
            EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(base + "/dest"))) << "the check created a folder";
            continue;
        }
        ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
        EXPECT_EQ(MessageBoxSeam::shown()[0].flags, unsigned(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
        EXPECT_EQ(MessageBoxSeam::shown()[0].answer, IDNO);
        EXPECT_TRUE(MessageBoxSeam::shown()[0].text.contains(QString::fromUtf8(c.message)))
            << MessageBoxSeam::shown()[0].text.toStdString();
        // Yes: the task is kept as edited.
        MessageBoxSeam::clear();
        MessageBoxSeam::presetAnswers({IDYES});
        EXPECT_TRUE(runDialog(task, "OkButton", fill));
        EXPECT_EQ(task.DestLocal, c.dest);
        EXPECT_EQ(MessageBoxSeam::shown().size(), 1u);
    }
}

TEST(ZipNameForTaskName, ExtensionOfTheLastPartBecomesZip)
{
    const struct {
        const char *name;
        const char *zip;
    } rows[] = {{"Daily.backup", "Daily.zip"}, {"Daily", "Daily.zip"}, {"a.b/c", "a.b/c.zip"},
                {"x/y.tar.gz", "x/y.tar.zip"}, {"", ".zip"}};
    for (const auto &row : rows) {
        EXPECT_EQ(zipNameForTaskName(row.name).toStdString(), row.zip) << row.name;
    }
}

TEST_F(EditTaskCycle, NewTaskArchiveIsNamedAfterTheTypedNameOnWhicheverPageTheDialogOpens)
{
    const struct
    {
        int openOn;      // the remembered page the dialog opens on
        const char *zip; // typed into the archive field before the name ("": left as given)
        const char *stored;
    } rows[] = {{0, "", "Photos zip.zip"}, {5, "", "Photos zip.zip"}, {5, "mine.zip", "mine.zip"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.openOn);
        LastTaskPageIndex() = row.openOn;
        TTask task;
        ASSERT_TRUE(runDialog(
            task, "OkButton",
            [&](TProjectPropertiesForm *f) {
                EXPECT_EQ(f->currentPageIndex(), row.openOn);
                if (*row.zip != '\0') {
                    child<QLineEdit>(f, "CompressFilenameEdit")->setText(QString::fromLatin1(row.zip));
                }
                f->showPage(0);
                child<QLineEdit>(f, "TaskNameEdit")->setText(QStringLiteral("Photos zip"));
                f->showPage(f->pageIndexOf(QStringLiteral("CompressTabSheet")));
                child<QCheckBox>(f, "CompressUseCheckBox")->setChecked(true);
            },
            true));
        EXPECT_EQ(task.CompressFilename, row.stored);
    }
}

TEST_F(EditTaskCycle, AnEmptyTaskNameIsRefusedAtOk)
{
    TTask task;
    LastTaskPageIndex() = 5;
    EXPECT_TRUE(runDialog(task, "OkButton", [](TProjectPropertiesForm *f) {
        auto *name = child<QLineEdit>(f, "TaskNameEdit");
        for (const char *empty : {"", "  \t"}) {
            MessageBoxSeam::clear();
            f->showPage(5);
            name->setText(QString::fromLatin1(empty));
            child<QPushButton>(f, "OkButton")->click();
            EXPECT_TRUE(f->isVisible() && f->result() == 0) << "accepted \"" << empty << '"';
            EXPECT_EQ(f->currentPageIndex(), 0) << "the name page is shown";
            ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
            EXPECT_EQ(MessageBoxSeam::shown()[0].text, "Please enter a name for the task.");
        }
        MessageBoxSeam::clear();
        name->setText(QStringLiteral("Named"));
    }));
    EXPECT_EQ(task.Name, "Named");
}

TEST_F(EditTaskCycle, CancelOfANewTaskRemovesTheTimerEntryMadeInTheDialog)
{
    FakeSystemScheduler scheduler;
    setSystemScheduler(&scheduler);
    SetSystemTimerEditor([](const std::string &, std::vector<std::string> &calendars) {
        calendars = {"Mon *-*-* 08:00:00"};
        return true;
    });
    struct Case {
        bool newTask;
        const char *button;
        std::size_t entriesAfter;
    };
    for (const Case &c : {Case{true, "CancelButton", 0}, Case{false, "CancelButton", 1}, Case{true, "OkButton", 1}}) {
        scheduler.entries.clear();
        TTask task;
        task.Name = "Nightly";
        task.GenerateID(nullptr);
        runDialog(
            task, c.button,
            [](TProjectPropertiesForm *f) {
                f->showPage(f->pageIndexOf("MSScheduleTabSheet"));
                auto *add = child<QPushButton>(f, "MSScheduleAddButton");
                ASSERT_TRUE(add->isEnabled());
                add->click();
            },
            c.newTask);
        EXPECT_EQ(scheduler.entries.size(), c.entriesAfter)
            << (c.newTask ? "new task, " : "existing task, ") << c.button;
    }
    SetSystemTimerEditor(nullptr);
    setSystemScheduler(nullptr);
}

TEST_F(EditTaskCycle, SourceListKeepsItsBytesAndShowsEachFolderWithItsFlag)
{
    TTask task;
    fillForDialog(task);
    task.Source = R"(!">/srv/My Docs","|/srv/a,b",">/srv/q""x")";
    const std::string before = exportOf(task);
    ASSERT_TRUE(runDialog(task, "OkButton", [](TProjectPropertiesForm *f) {
        auto *page = f->findChild<TaskSourcesPage *>();
        ASSERT_NE(page, nullptr);
        EXPECT_TRUE(page->multiMode());
        const std::vector<SourceFolderItem> expected = {
            {"/srv/My Docs", true}, {"/srv/a,b", false}, {"/srv/q\"x", true}};
        auto *list = page->SourceMultiFoldersList;
        ASSERT_EQ(list->topLevelItemCount(), 3);
        for (int i = 0; i < 3; ++i) {
            const QTreeWidgetItem *row = list->topLevelItem(i);
            EXPECT_EQ(row->text(0).toStdString(), expected[i].folder) << i;
            EXPECT_EQ(row->data(1, Qt::UserRole).toBool(), expected[i].includeSubfolders) << i;
            EXPECT_EQ(row->text(1), expected[i].includeSubfolders ? "Yes" : "No") << i;
        }
    }));
    EXPECT_EQ(task.Source, R"(!">/srv/My Docs","|/srv/a,b",">/srv/q""x")");
    EXPECT_EQ(exportOf(task), before);
}

TEST_F(EditTaskCycle, AOneFolderListOpensInSingleModeWithItsOwnFlag)
{
    struct Case {
        const char *source;
        bool taskFlag;
        bool folderFlag;
    };
    for (const Case &c : {Case{R"(!"|/srv/only one")", true, false}, Case{"!>/srv/one", false, true}}) {
        TTask task;
        task.Source = c.source;
        task.SourceIncludeSubfolders = c.taskFlag;
        const std::string runFolder = task.GetSourceFolder(0);
        ASSERT_TRUE(runDialog(task, "OkButton", [&](TProjectPropertiesForm *f) {
            auto *page = f->findChild<TaskSourcesPage *>();
            ASSERT_NE(page, nullptr);
            EXPECT_FALSE(page->multiMode()) << c.source;
            EXPECT_EQ(page->SourceMultiFoldersList->topLevelItemCount(), 0);
            EXPECT_EQ(page->SourceIncSubfoldersCheckBox->isChecked(), c.folderFlag) << c.source;
        }));
        // A run sees the same folder with the same flag as before.
        EXPECT_EQ(task.GetSourceCount(), 1) << c.source;
        EXPECT_EQ(task.GetSourceFolder(0), runFolder) << c.source;
        EXPECT_EQ(task.GetSourceIncludeSubfolders(0), c.folderFlag) << c.source;
    }
}

} // namespace

// The e-mail page's Send Test tries what is typed on the page, and the test stores nothing.
TEST_F(EditTaskCycle, EmailPageTestsItsOwnEntries)
{
    qvtest::ScriptedSmtpServer server("220 mail.test ESMTP", {"250 mail.test", "250 reset", "250 sender ok",
                                                               "250 ok", "354 go ahead", "250 queued"});
    TTask task;
    task.EmailSettings.UseDefault = false;
    task.EmailSettings.SmtpServer = "stored.invalid";
    task.EmailSettings.From = "stored@example.org";
    const std::string before = exportOf(task);
    EXPECT_FALSE(runDialog(task, "CancelButton", [&](TProjectPropertiesForm *f) {
        child<QLineEdit>(f, "EmailSMTPServerEdit")->setText("127.0.0.1");
        child<RangedField>(f, "EmailSMTPPortUpDown")->setValue(server.port());
        child<QLineEdit>(f, "EmailFromEdit")->setText("page@example.org");
        child<QLineEdit>(f, "EmailToEdit")->setText("to@example.org");
        child<QLineEdit>(f, "EmailSubjectEdit")->setText("Page subject");
        auto *test = child<QPushButton>(f, "EmailTestButton");
        ASSERT_TRUE(test->isEnabled());
        test->click();
    }));
    const std::vector<std::string> lines = server.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "MAIL FROM:<page@example.org>"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "RCPT TO:<to@example.org>"), lines.end());
    EXPECT_NE(server.message().find("Page subject"), std::string::npos);
    EXPECT_EQ(exportOf(task), before);
}
