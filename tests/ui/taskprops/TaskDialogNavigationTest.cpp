// The task dialog's navigation: navigator images and their failure, link captions (hover, clicks,
// double clicks, focus), F1 and Help on every page, the hot-key probe, the localised "[none]" of
// the dial list and the program choosers of the Run Programs page.
#include "ui/taskprops/ProjectPropertiesForm.h"

#include "components/AlphaImageList.h"
#include "components/MessageBox.h"
#include "core/settings/Settings.h"
#include "core/runs/BackupData.h"
#include "core/runs/Task.h"
#include "core/task/TaskStorage.h"
#include "core/text/Language.h"
#include "platform/Registry.h"
#include "platform/fake/FakeDialer.h"
#include "platform/fake/FakeHotKeys.h"
#include "ui/Help.h"
#include "ui/HelpWindow.h"
#include "ui/taskprops/HotKeyEdit.h"
#include "ui/taskprops/LinkLabel.h"
#include "ui/taskprops/TaskGroupPage.h"

#include "support/DialogTestSupport.h"
#include "TaskDialogFixture.h"
#include "support/FakeFileDialogs.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace qv;
using qvtest::child;

namespace {

class TaskDialogNavigation : public taskdialogtest::TaskDialogFixture
{
protected:
    TaskDialogNavigation() : TaskDialogFixture("tasknav") { m_dialer.entries = {"Home DSL", "Mobile"}; }
    void SetUp() override
    {
        TaskDialogFixture::SetUp();
        help::setApplicationHelpFile(QString::fromStdString(std::string(std::getenv("QV_SOURCE_DIR")) +
                                                            "/resources/help"));
    }
    void TearDown() override
    {
        TProjectPropertiesForm::setNavigatorImageResource({});
        SetLanguageFile(nullptr);
        delete HelpWindow::existing();
        TaskDialogFixture::TearDown();
    }
    // The page (the sheet named `name`) and its index in the dialog.
    static int indexOf(TProjectPropertiesForm &form, const char *sheet)
    {
        const int i = form.pageIndexOf(QString::fromLatin1(sheet));
        EXPECT_GE(i, 0) << sheet;
        return i;
    }
    // The navigator node at an absolute index.
    static QTreeWidgetItem *nodeAt(TProjectPropertiesForm &form, int index)
    {
        QTreeWidgetItemIterator it(form.NavigatorTree);
        for (int i = 0; *it != nullptr; ++it, ++i) {
            if (i == index) {
                return *it;
            }
        }
        return nullptr;
    }
    static void showActive(TProjectPropertiesForm &form)
    {
        form.show();
        QApplication::setActiveWindow(&form);
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
};

TEST_F(TaskDialogNavigation, EveryNodeShowsAnImageFromTheProgramsResources)
{
    TTask task;
    TProjectPropertiesForm form(task);
    EXPECT_EQ(form.NavigatorImages->objectName(), "NavigatorImages");
    EXPECT_EQ(form.NavigatorImages->Count(), 10);
    QTreeWidgetItemIterator it(form.NavigatorTree);
    int nodes = 0;
    for (; *it != nullptr; ++it, ++nodes) {
        EXPECT_FALSE((*it)->icon(0).isNull()) << (*it)->text(0).toStdString();
    }
    EXPECT_EQ(nodes, TProjectPropertiesForm::kPageCount);
}

TEST_F(TaskDialogNavigation, MissingImagesRefuseTheDialogWithTheirMessageAndChangeNothing)
{
    TTask task;
    task.Name = "Images";
    task.Editing = false;
    const TaskSettings before = task.settings();
    TProjectPropertiesForm::setNavigatorImageResource(QStringLiteral("ICON_NoSuchImageList_"));
    // Should a dialog open after all, close it so that the test reports instead of waiting.
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            opened = true;
            d->reject();
        }
    });
    EXPECT_FALSE(EditTask(nullptr, task, 0));
    QApplication::processEvents();
    EXPECT_FALSE(opened);
    EXPECT_FALSE(task.Editing);
    EXPECT_TRUE(task.settings() == before);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].text, "Application images were not loaded.");
    EXPECT_EQ(MessageBoxSeam::shown()[0].title, "Error");

    TProjectPropertiesForm::setNavigatorImageResource({});
    EXPECT_THROW(
        {
            TProjectPropertiesForm::setNavigatorImageResource(QStringLiteral("ICON_NoSuchImageList_"));
            TProjectPropertiesForm form(task);
        },
        std::runtime_error);
}

// The link captions and where they lead. `bold`: a destination link, bold at rest.
struct LinkRow {
    const char *label;
    const char *from;
    const char *to;
    bool bold;
    bool focusesTarget;
};

const LinkRow kLinks[] = {
    {"DestLocalSettingsLabel", "DestTabSheet", "DestLocalTabSheet", true, true},
    {"DestFtpSettingsLabel", "DestTabSheet", "DestFtpTabSheet", true, false},
    {"DestCdDvdSettingsLabel", "DestTabSheet", "TabSheet1", true, false},
    {"DestEmailSettingsLabel", "DestTabSheet", "DestEmailTabSheet", true, false},
    {"AutoRunFolderMonitorSettingsLabel", "AutoRunTabSheet", "FolderMonitorTabSheet", false, true},
    {"AutoRunInternalSchedulerSettingsLabel", "AutoRunTabSheet", "InternalScheduleTabSheet", false, true},
    {"AutoRunTaskSchedulerSettingsLabel", "AutoRunTabSheet", "MSScheduleTabSheet", false, true},
    {"AdvancedRunLabel", "AdvancedTabSheet", "RunTabSheet", false, true},
    {"AdvancedBandwidthLabel", "AdvancedTabSheet", "TabSheet8", false, true},
    {"AdvancedEmailLabel", "AdvancedTabSheet", "EmailTabSheet", false, true},
};

TEST_F(TaskDialogNavigation, LinksUnderlineUnderTheMouseAndTurnPlainWhenItLeaves)
{
    TTask task;
    TProjectPropertiesForm form(task);
    form.loadDraft();
    showActive(form);
    std::vector<std::pair<const char *, bool>> links;
    for (const LinkRow &row : kLinks) {
        links.emplace_back(row.label, row.bold);
    }
    links.emplace_back("SourceMultiSwitchLabel", false);
    for (const auto &[name, bold] : links) {
        auto *link = child<LinkLabel>(&form, name);
        ASSERT_NE(link, nullptr);
        form.showPage(form.pageIndexOf(link->parentWidget()->objectName()) >= 0
                          ? form.pageIndexOf(link->parentWidget()->objectName())
                          : indexOf(form, "DestTabSheet"));
        link->setEnabled(true);
        EXPECT_EQ(link->font().bold(), bold) << name;
        EXPECT_FALSE(link->font().underline()) << name;
        const QPointF inside(2, 2);
        QEnterEvent enter(inside, link->mapTo(&form, inside), link->mapToGlobal(inside));
        QApplication::sendEvent(link, &enter);
        EXPECT_TRUE(link->font().underline()) << name;
        EXPECT_EQ(link->font().bold(), bold) << name;
        if (std::string(name) == "DestLocalSettingsLabel") {
            const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
            QDir().mkpath(dir);
            form.grab().save(dir + QStringLiteral("/taskprops-link-hover.png"));
        }
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        EXPECT_FALSE(link->font().underline()) << name;
        EXPECT_EQ(link->font().bold(), bold) << name;
    }
}

TEST_F(TaskDialogNavigation, LinkClicksJumpAndFocusTheTargetPageWhereTheyShould)
{
    TTask task;
    TProjectPropertiesForm form(task);
    form.loadDraft();
    showActive(form);
    for (const LinkRow &row : kLinks) {
        form.showPage(indexOf(form, row.from));
        form.NavigatorTree->setFocus();
        QApplication::processEvents();
        auto *link = child<LinkLabel>(&form, row.label);
        ASSERT_NE(link, nullptr);
        link->setEnabled(true); // the rules enable only the chosen destination's link
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
        const int target = indexOf(form, row.to);
        EXPECT_EQ(form.currentPageIndex(), target) << row.label;
        EXPECT_EQ(form.PageControl->currentIndex(), target) << row.label;
        EXPECT_EQ(form.NavigatorTree->currentItem(), nodeAt(form, target)) << row.label;
        QWidget *focus = QApplication::focusWidget();
        if (row.focusesTarget) {
            ASSERT_NE(focus, nullptr) << row.label;
            EXPECT_TRUE(form.page(target)->isAncestorOf(focus))
                << row.label << " focus on " << focus->objectName().toStdString();
        } else {
            EXPECT_EQ(focus, form.NavigatorTree) << row.label;
        }
    }
    // The e-mail settings links jump to their page wherever they are.
    for (const char *name : {"DestEmailSendingSettingsLabel"}) {
        form.showPage(indexOf(form, "DestEmailTabSheet"));
        auto *link = child<LinkLabel>(&form, name);
        link->setEnabled(true);
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
        EXPECT_EQ(form.currentPageIndex(), indexOf(form, "EmailTabSheet"));
    }
}

TEST_F(TaskDialogNavigation, KeyboardActivatesAFocusedLink)
{
    TTask task;
    TProjectPropertiesForm form(task);
    form.loadDraft();
    showActive(form);
    form.showPage(indexOf(form, "AutoRunTabSheet"));
    auto *link = child<LinkLabel>(&form, "AutoRunInternalSchedulerSettingsLabel");
    link->setFocus();
    QTest::keyClick(link, Qt::Key_Space);
    EXPECT_EQ(form.currentPageIndex(), indexOf(form, "InternalScheduleTabSheet"));
}

TEST_F(TaskDialogNavigation, DoubleClickOnTheLocalDestinationOpensItsPage)
{
    TTask task;
    TProjectPropertiesForm form(task);
    form.loadDraft();
    showActive(form);
    form.showPage(indexOf(form, "DestTabSheet"));
    auto *local = child<QRadioButton>(&form, "DestLocalRadioButton");
    QTest::mouseDClick(local, Qt::LeftButton, {}, QPoint(4, local->height() / 2));
    EXPECT_EQ(form.currentPageIndex(), indexOf(form, "DestLocalTabSheet"));
    EXPECT_TRUE(local->isChecked());
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_TRUE(form.page(indexOf(form, "DestLocalTabSheet"))->isAncestorOf(QApplication::focusWidget()));
    // A single click only chooses.
    form.showPage(indexOf(form, "DestTabSheet"));
    QTest::mouseClick(local, Qt::LeftButton, {}, QPoint(4, local->height() / 2));
    EXPECT_EQ(form.currentPageIndex(), indexOf(form, "DestTabSheet"));
    // The other kinds cannot be chosen, so their buttons take no double click either.
    for (const char *name : {"DestFtpRadioButton", "DestCdDvdRadioButton", "DestEmailRadioButton"}) {
        auto *radio = child<QRadioButton>(&form, name);
        EXPECT_FALSE(radio->isEnabled()) << name;
        QTest::mouseDClick(radio, Qt::LeftButton, {}, QPoint(4, radio->height() / 2));
        EXPECT_EQ(form.currentPageIndex(), indexOf(form, "DestTabSheet")) << name;
    }
}

// The help keyword of each page, in page order; "" is the dialog's own topic. A page without a
// topic of its own gives its parent's: the destination's pages the destination's, the schedule's
// pages the schedule's.
const char *const kPageHelp[TProjectPropertiesForm::kPageCount] = {
    "/files/task.name.html", "/files/task.backuptype.html", "/files/task.source.html", "/files/task.destination.html",
    "/files/task.destination.html", "/files/task.destination.html", "/files/task.destination.html",
    "/files/task.destination.html", "", "/files/task.filefilter.html", "/files/task.schedule.html",
    "/files/task.schedule.html", "/files/task.schedule.html", "/files/task.systemtimer.html",
    "", "", "", "",
    "", "", "", "", "/files/task.additionaloptions.html", "", "", "", "", "",
};

TEST_F(TaskDialogNavigation, F1AndHelpOpenTheTopicOfThePageShown)
{
    TTask task;
    TProjectPropertiesForm form(task);
    form.loadDraft();
    help::installHelpKeyHandler();
    showActive(form);
    for (int i = 0; i < TProjectPropertiesForm::kPageCount; ++i) {
        const QString expected =
            QString::fromLatin1(*kPageHelp[i] != '\0' ? kPageHelp[i] : "/files/taskproperties.html").mid(1);
        const std::string page = form.page(i)->objectName().toStdString();
        form.showPage(i);
        delete HelpWindow::existing();

        form.HelpButton->click();
        ASSERT_NE(HelpWindow::existing(), nullptr) << page;
        EXPECT_TRUE(HelpWindow::existing()->currentTopicPath().endsWith(expected))
            << page << ": Help shows " << HelpWindow::existing()->currentTopicPath().toStdString();
        delete HelpWindow::existing();

        form.NavigatorTree->setFocus();
        QTest::keyClick(form.NavigatorTree, Qt::Key_F1);
        ASSERT_NE(HelpWindow::existing(), nullptr) << page;
        EXPECT_TRUE(HelpWindow::existing()->currentTopicPath().endsWith(expected)) << page << " from the navigator";
        delete HelpWindow::existing();

        form.OkButton->setFocus();
        QTest::keyClick(form.OkButton, Qt::Key_F1);
        ASSERT_NE(HelpWindow::existing(), nullptr) << page;
        EXPECT_TRUE(HelpWindow::existing()->currentTopicPath().endsWith(expected)) << page << " from the OK button";
        delete HelpWindow::existing();

        form.showPageFocused(i);
        QWidget *focus = QApplication::focusWidget();
        if (focus != nullptr && form.page(i)->isAncestorOf(focus)) {
            QTest::keyClick(focus, Qt::Key_F1);
            ASSERT_NE(HelpWindow::existing(), nullptr) << page;
            EXPECT_TRUE(HelpWindow::existing()->currentTopicPath().endsWith(expected))
                << page << " from " << focus->objectName().toStdString();
            delete HelpWindow::existing();
        }
    }
}

TEST_F(TaskDialogNavigation, HotKeyProbeLeavesTheShowWindowKeyHeld)
{
    constexpr std::uint16_t kShiftF8 = 0x2000 | 0x77;
    FakeHotKeys keys;
    TBackupData data;
    data.SetHotKeyLayer(&keys);
    ASSERT_TRUE(data.RegisterShowWindowHotKey(true, kShiftF8));
    BackupData = &data;
    const auto held = keys.registered.at(kShowWindowHotKeyId);

    TTask task;
    TProjectPropertiesForm form(task);
    form.loadDraft();
    auto *edit = child<HotKeyEdit>(&form, "TaskNameHotKey");
    auto *label = child<QLabel>(&form, "TaskNameHotKeyValidLabel");
    struct {
        int key;
        Qt::KeyboardModifiers mods;
        const char *shown;
    } rows[] = {
        {Qt::Key_L, Qt::ControlModifier, "Hot key valid!"},
        {Qt::Key_F8, Qt::ShiftModifier, "Hot key invalid or already used by another action!"},
        {Qt::Key_B, Qt::ControlModifier | Qt::AltModifier, "Hot key valid!"},
    };
    for (const auto &row : rows) {
        QTest::keyClick(edit, static_cast<Qt::Key>(row.key), row.mods);
        EXPECT_EQ(label->text(), row.shown);
        ASSERT_TRUE(keys.isRegistered(kShowWindowHotKeyId)) << "the probe dropped the show-window key";
        EXPECT_EQ(keys.registered.at(kShowWindowHotKeyId), held);
        EXPECT_FALSE(keys.isRegistered(kTrialHotKeyId)) << "the probe's own grab is released";
    }
    BackupData = nullptr;
}

TEST_F(TaskDialogNavigation, LocalisedNoneMeansNoneAndIsStoredEmpty)
{
    SetLanguageFile(LanguageTable::parse("[Misc]\nstrRasNoneSelected=[keine]\n"));
    for (const char *stored : {"", "[none]", "[keine]"}) {
        TaskSettings s;
        s.Dial.UseDefault = false;
        s.Dial.DialEntry = stored;
        TaskGroupPage page(TaskGroup::Dial, GroupFlavour::Task);
        page.load(s);
        auto *combo = page.control<QComboBox>("DialComboBox");
        EXPECT_EQ(combo->currentIndex(), 0) << stored;
        EXPECT_EQ(combo->currentText(), "[keine]") << stored;
        EXPECT_EQ(combo->count(), 3) << stored << ": none and the two phone-book entries, nothing extra";
        EXPECT_FALSE(page.control<QCheckBox>("DialDisconnectAfterCheckBox")->isEnabled()) << stored;
        TaskSettings out;
        page.store(out);
        EXPECT_EQ(out.Dial.DialEntry, "") << stored;
        combo->setCurrentIndex(2);
        EXPECT_TRUE(page.control<QCheckBox>("DialDisconnectAfterCheckBox")->isEnabled()) << stored;
        page.store(out);
        EXPECT_EQ(out.Dial.DialEntry, "Mobile");
    }
}

TEST_F(TaskDialogNavigation, ProgramChoosersTakeOnlyPrograms)
{
    const std::string dir = qvtest::makeTempDir("programs");
    const QString program = QString::fromStdString(dir + "/before.sh");
    const QString text = QString::fromStdString(dir + "/notes.txt");
    for (const QString &path : {program, text}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nexit 0\n");
    }
    QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);
    QFile::setPermissions(text, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    TTask task;
    task.RunPrograms.UseDefault = false;
    task.RunPrograms.Before = true;
    task.RunPrograms.After = true;
    task.RunPrograms.AfterProgramName = "/usr/local/bin/old-after";
    TProjectPropertiesForm form(task);
    form.loadDraft();
    struct {
        const char *button;
        const char *edit;
        QString answer;
        bool taken;
    } rows[] = {
        {"RunBeforeBrowseButton", "RunBeforeEdit", program, true},
        {"RunAfterBrowseButton", "RunAfterEdit", text, false},
        {"RunAfterBrowseButton", "RunAfterEdit", QString::fromStdString(dir + "/missing"), false},
        {"RunAfterBrowseButton", "RunAfterEdit", QString(), false}, // cancelled
        {"RunAfterBrowseButton", "RunAfterEdit", dir.c_str(), false}, // a folder
    };
    for (const auto &row : rows) {
        qvtest::FakeFileDialogs dialogs;
        dialogs.answers = {row.answer};
        MessageBoxSeam::clear();
        auto *edit = child<QLineEdit>(&form, row.edit);
        const QString before = edit->text();
        child<QPushButton>(&form, row.button)->click();
        ASSERT_EQ(dialogs.asked.size(), 1u) << row.button;
        const FileDialogRequest &asked = dialogs.asked[0].request;
        EXPECT_FALSE(dialogs.asked[0].save);
        EXPECT_EQ(asked.caption, "Select program");
        ASSERT_FALSE(asked.filters.isEmpty());
        EXPECT_EQ(asked.filters.front(), "Programs (*)");
        EXPECT_EQ(asked.fileName, before) << "the chooser starts on the edit's program";
        EXPECT_EQ(edit->text(), row.taken ? row.answer : before) << row.answer.toStdString();
        const bool refused = !row.taken && !row.answer.isEmpty();
        ASSERT_EQ(MessageBoxSeam::shown().size(), refused ? 1u : 0u) << row.answer.toStdString();
        if (refused) {
            EXPECT_TRUE(MessageBoxSeam::shown()[0].text.contains(row.answer));
            EXPECT_TRUE(MessageBoxSeam::shown()[0].text.contains("not a program"));
        }
    }
}

} // namespace
