// The internal schedule page: lines bound to Enabled, add appends, remove asks, all into the draft.
// qv-test-labels: gui
#include "TaskPageTestSupport.h"

#include "components/MessageBox.h"
#include "ui/taskprops/TaskSchedulesPage.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;
using taskpagetest::FakeTaskContext;

namespace {

TTaskScheduleItem entryAt(int hour)
{
    TTaskScheduleItem item;
    item.HourlyValue = hour;
    return item;
}

struct Fixture {
    TTask task;
    std::unique_ptr<FakeTaskContext> context;
    TaskSchedulesPage page;
    explicit Fixture(int count)
    {
        for (int i = 0; i < count; ++i) {
            task.Schedules.Add(entryAt(i + 1));
        }
        context = std::make_unique<FakeTaskContext>(&task);
        page.setContext(context.get());
        page.load(context->draft());
    }
};

} // namespace

TEST(TaskSchedulesPage, CheckBoxesAddModifyAndRemoveReachTheDraft)
{
    Fixture f(2);
    ASSERT_EQ(f.page.InternalScheduleListBox->count(), 2);
    EXPECT_EQ(f.page.InternalScheduleListBox->item(0)->text().toStdString(), f.task.Schedules[0].GetStrCaption());
    f.page.InternalScheduleListBox->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(f.context->draft().Schedules[1].Enabled);
    EXPECT_TRUE(f.task.Schedules[1].Enabled) << "the stored task is untouched until OK";

    f.page.setScheduleEditor([](TTaskScheduleItem &item) {
        item.HourlyValue = 20;
        return true;
    });
    QTest::mouseClick(f.page.InternalScheduleAddButton, Qt::LeftButton);
    ASSERT_EQ(f.context->draft().Schedules.Count(), 3);
    EXPECT_EQ(f.context->draft().Schedules[2].HourlyValue, 20) << "appended at the end";

    f.page.setScheduleEditor([](TTaskScheduleItem &item) {
        item.HourlyValue = 0;
        return false;
    });
    f.page.selectRow(0);
    QTest::mouseClick(f.page.InternalScheduleModifyButton, Qt::LeftButton);
    EXPECT_EQ(f.context->draft().Schedules[0].HourlyValue, 1) << "a cancelled edit changes nothing";

    MessageBoxSeam::presetAnswers({IDNO, IDYES});
    QTest::mouseClick(f.page.InternalScheduleRemoveButton, Qt::LeftButton);
    EXPECT_EQ(f.context->draft().Schedules.Count(), 3);
    f.page.selectRow(0);
    QTest::mouseClick(f.page.InternalScheduleRemoveButton, Qt::LeftButton);
    EXPECT_EQ(f.context->draft().Schedules.Count(), 2);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 2u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].text.toStdString(),
              "Remove this Schedule (" + f.task.Schedules[0].GetStrCaption() + ") from the list?");
    MessageBoxSeam::clear();
}

TEST(TaskSchedulesPage, ButtonsFollowTheSelectionAndTheCaption)
{
    Fixture f(3);
    EXPECT_FALSE(f.page.InternalScheduleModifyButton->isEnabled());
    EXPECT_FALSE(f.page.InternalScheduleRemoveButton->isEnabled());
    f.page.selectRow(2);
    EXPECT_TRUE(f.page.InternalScheduleModifyButton->isEnabled());
    EXPECT_TRUE(f.page.InternalScheduleRemoveButton->isEnabled());
    f.page.selectRow(-1);
    f.page.captionClicked();
    EXPECT_FALSE(f.page.InternalScheduleModifyButton->isEnabled());
    EXPECT_TRUE(f.page.InternalScheduleAddButton->isEnabled());
}
