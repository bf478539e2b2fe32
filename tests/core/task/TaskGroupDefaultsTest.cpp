// The group values moved to and from the program-wide defaults, checked through the task's getters.
#include "core/task/TaskGroupDefaults.h"

#include "core/settings/Settings.h"
#include "core/runs/Task.h"

#include "core/TaskFillSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace qv;

class TaskGroupDefaults : public ::testing::Test
{
protected:
    void SetUp() override { ResetSettingsToDefaults(); }
    void TearDown() override { ResetSettingsToDefaults(); }
};

// A task that follows the defaults in every group.
void useDefaults(TTask &t)
{
    t.RunPrograms.UseDefault = t.Dial.UseDefault = t.HardwareProfile.UseDefault = true;
    t.Bandwidth.UseDefault = t.Protection.UseDefault = t.Log.UseDefault = true;
    t.EventAlerts.UseDefault = t.Performance.UseDefault = t.PowerManagement.UseDefault = true;
    t.EmailSettings.UseDefault = true;
}

TEST_F(TaskGroupDefaults, WrittenGroupsAreWhatADefaultFollowingTaskReads)
{
    TTask custom;
    qvtest::fillNonDefault(custom);
    writeTaskDefaults(custom);
    TTask follower;
    useDefaults(follower);
#define QV_EXPECT_SAME(GROUP, FIELD, TYPE, PROG)                                                               \
    EXPECT_EQ(follower.Get##PROG(), custom.GROUP.FIELD) << #PROG;                                              \
    EXPECT_FALSE(TTask().GROUP.FIELD == custom.GROUP.FIELD)                                                    \
        << #PROG << " must differ from a new task's value for this test to mean anything";
    QV_TASK_GROUP_GETTERS(QV_EXPECT_SAME)
#undef QV_EXPECT_SAME
#define QV_EXPECT_SAME_ALERT(M, E, I, T, NEW, ABS, PROG)                                                       \
    EXPECT_EQ(follower.GetEvents##M##E##I(), custom.EventAlerts.M##E##I) << #M #E #I;
    QV_TASK_ALERTS(QV_EXPECT_SAME_ALERT)
#undef QV_EXPECT_SAME_ALERT
    EXPECT_EQ(follower.GetBandwidthMeasure(), custom.Bandwidth.MeasureKind);
}

TEST_F(TaskGroupDefaults, ReadBackGivesTheWrittenGroupsAndKeepsTheFlags)
{
    TTask custom;
    qvtest::fillNonDefault(custom);
    writeTaskDefaults(custom);
    TaskSettingsFields read;
    read.Log.UseDefault = true;
    read.Name = "kept";
    readTaskDefaults(read);
    EXPECT_TRUE(read.Log.UseDefault);
    EXPECT_EQ(read.Name, "kept");
    read.Log.UseDefault = custom.Log.UseDefault;
    EXPECT_TRUE(read.Log == custom.Log);
    EXPECT_TRUE(static_cast<const TEventAlertValues &>(read.EventAlerts) == custom.EventAlerts);
    EXPECT_EQ(read.EmailSettings.To, custom.EmailSettings.To);
    EXPECT_EQ(read.Performance.CpuPerformance, custom.Performance.CpuPerformance);
    EXPECT_EQ(read.PowerManagement.BatteryMode, custom.PowerManagement.BatteryMode);
    EXPECT_EQ(read.PowerManagement.WakeToRun, custom.PowerManagement.WakeToRun);
    EXPECT_EQ(read.PowerManagement.DontStartOnBatteries, custom.PowerManagement.DontStartOnBatteries);
}

TEST_F(TaskGroupDefaults, BandwidthUnitIsStoredAsItsText)
{
    const struct {
        TBandwidthMeasureKind kind;
        const char *text;
    } rows[] = {{bmkKBits, "KBits"}, {bmkMBits, "MBits"}};
    for (const auto &row : rows) {
        TaskSettingsFields s;
        s.Bandwidth.MeasureKind = row.kind;
        writeTaskDefaults(s);
        EXPECT_EQ(BandwidthMeasure, row.text);
        TaskSettingsFields back;
        back.Bandwidth.MeasureKind = row.kind == bmkKBits ? bmkMBits : bmkKBits;
        readTaskDefaults(back);
        EXPECT_EQ(back.Bandwidth.MeasureKind, row.kind) << row.text;
    }
    BandwidthMeasure = "something else";
    TaskSettingsFields other;
    readTaskDefaults(other);
    EXPECT_EQ(other.Bandwidth.MeasureKind, bmkMBits);
}

} // namespace
