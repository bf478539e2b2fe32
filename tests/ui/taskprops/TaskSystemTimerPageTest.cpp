// The systemd timer page over a fake scheduler: one entry however often Add is pressed, Cancel of a
// new task removes the entry made in the dialog, errors in a box.
// qv-test-labels: gui
#include "TaskPageTestSupport.h"

#include "components/MessageBox.h"
#include "core/schedule/TaskSchedulerControl.h"
#include "platform/fake/FakeSystemScheduler.h"
#include "ui/taskprops/TaskSystemTimerPage.h"

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace qv;
using taskpagetest::FakeTaskContext;

namespace {

struct Fixture {
    FakeSystemScheduler scheduler;
    TTask task;
    std::unique_ptr<FakeTaskContext> context;
    QDialog dialog;
    TaskSystemTimerPage *page = nullptr;
    int edits = 0;

    Fixture()
    {
        setSystemScheduler(&scheduler);
        SetSystemTimerEditor([this](const std::string &, std::vector<std::string> &calendars) {
            ++edits;
            calendars = {"Mon *-*-* 08:00:00"};
            return true;
        });
        task.Name = "Nightly";
        context = std::make_unique<FakeTaskContext>(&task);
        page = new TaskSystemTimerPage(&dialog);
        new QVBoxLayout(&dialog);
        dialog.layout()->addWidget(page);
        page->setContext(context.get());
        page->load(context->draft());
        MessageBoxSeam::clear();
    }
    ~Fixture()
    {
        MessageBoxSeam::clear();
        SetSystemTimerEditor(nullptr);
        setSystemScheduler(nullptr);
    }
};

} // namespace

TEST(TaskSystemTimerPage, AddTwiceGivesOneEntryAndTheMemoShowsItsTriggers)
{
    Fixture f;
    ASSERT_TRUE(f.page->MSScheduleAddButton->isEnabled());
    QTest::mouseClick(f.page->MSScheduleAddButton, Qt::LeftButton);
    QTest::mouseClick(f.page->MSScheduleAddButton, Qt::LeftButton);
    EXPECT_EQ(f.edits, 2);
    EXPECT_EQ(f.scheduler.entries.size(), 1u);
    EXPECT_EQ(f.page->MSScheduleMemo->toPlainText(), "Mon *-*-* 08:00:00");
    QTest::mouseClick(f.page->MSScheduleRemoveButton, Qt::LeftButton);
    EXPECT_TRUE(f.scheduler.entries.empty());
    EXPECT_EQ(f.page->MSScheduleMemo->toPlainText(), "Not scheduled.");
}

TEST(TaskSystemTimerPage, CancelRemovesTheEntryOfANewTaskOnly)
{
    for (bool isNew : {true, false}) {
        Fixture f;
        f.page->setNewTask(isNew);
        QTest::mouseClick(f.page->MSScheduleAddButton, Qt::LeftButton);
        ASSERT_EQ(f.scheduler.entries.size(), 1u);
        f.dialog.reject();
        EXPECT_EQ(f.scheduler.entries.size(), isNew ? 0u : 1u) << (isNew ? "new task" : "existing task");
    }
    Fixture ok;
    ok.page->setNewTask(true);
    QTest::mouseClick(ok.page->MSScheduleAddButton, Qt::LeftButton);
    ok.dialog.accept();
    EXPECT_EQ(ok.scheduler.entries.size(), 1u) << "OK keeps the entry of the new task";
}

TEST(TaskSystemTimerPage, AnEntryMadeBeforeTheDialogSurvivesItsCancel)
{
    Fixture f;
    QTest::mouseClick(f.page->MSScheduleAddButton, Qt::LeftButton); // an earlier dialog made it
    Fixture again;
    again.scheduler.entries = f.scheduler.entries;
    again.page->attach("Nightly", f.task.ID);
    again.page->setNewTask(true);
    QTest::mouseClick(again.page->MSScheduleAddButton, Qt::LeftButton);
    again.dialog.reject();
    EXPECT_EQ(again.scheduler.entries.size(), 1u) << "only an entry this dialog created is removed";
}

TEST(TaskSystemTimerPage, AFailingCallShowsItsMessage)
{
    Fixture f;
    f.scheduler.failWith = "systemctl --user daemon-reload failed: Access denied";
    MessageBoxSeam::presetAnswers({});
    QTest::mouseClick(f.page->MSScheduleAddButton, Qt::LeftButton);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].flags & 0xF0, unsigned(MB_ICONERROR));
    EXPECT_TRUE(MessageBoxSeam::shown()[0].text.contains("Access denied")) << MessageBoxSeam::shown()[0].text.toStdString();
}

// Without a user manager the buttons are disabled and the page says why; with one, no such note.
TEST(TaskSystemTimerPage, WithoutAUserManagerThePageSaysWhyItsButtonsAreDisabled)
{
    for (bool available : {true, false}) {
        Fixture f;
        f.scheduler.isAvailable = available;
        auto *page = new TaskSystemTimerPage(&f.dialog);
        page->setContext(f.context.get());
        page->load(f.context->draft());
        EXPECT_EQ(page->MSScheduleAddButton->isEnabled(), available);
        EXPECT_EQ(page->MSScheduleNoteLabel->isVisibleTo(&f.dialog), !available);
        if (!available) {
            EXPECT_TRUE(page->MSScheduleNoteLabel->text().contains("no systemd user manager"));
        }
    }
}
