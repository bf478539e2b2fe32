// The effective settings of an alert over start mode, event and the task's use of the defaults,
// and which alerts a run asks the main thread for.
#include "core/runs/AlertSettings.h"

#include "core/engine/BackupTypes.h"
#include "core/runs/AlertDispatcher.h"
#include "core/runs/TaskRunFlags.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"

#include <gtest/gtest.h>

namespace {

using namespace qv;

// Restores the flags and program-wide values a test changes.
class AlertSettingsTest : public testing::Test
{
protected:
    // Every alert of the task off, so that each case sets only what it checks.
    void SetUp() override
    {
        for (const TaskAlertSetting &row : taskAlertTable()) {
            if (!row.isString()) {
                task.EventAlerts.*row.boolField = false;
            }
        }
        task.EventAlerts.UseDefault = false;
    }
    void TearDown() override
    {
        SilentMode = false;
        EventsScheduledFinishEmailUse = false;
        EventsScheduledFinishEmail.clear();
    }
    TTask task;
};

TEST_F(AlertSettingsTest, ModeSilentWinsOverManual)
{
    struct Case {
        bool silent;
        std::uint8_t start;
        AlertMode mode;
    };
    const Case cases[] = {{false, kStartAutomatic, AlertMode::Scheduled},
                          {false, kStartByHand, AlertMode::Manual},
                          {true, kStartAutomatic, AlertMode::Silent},
                          {true, kStartByHand, AlertMode::Silent}};
    task.EventAlerts.UseDefault = false;
    task.EventAlerts.ScheduledFinishDialog = true;
    task.EventAlerts.ManualFinishBalloon = true;
    task.EventAlerts.SilentFinishSound = true;
    task.EventAlerts.SilentFinishSoundFile = "/s.wav";
    for (const Case &c : cases) {
        SilentMode = c.silent;
        task.StartMode = c.start;
        EXPECT_EQ(alertModeOf(task), c.mode);
        const AlertSettings s = GetAlertSettings(task, akFinish);
        EXPECT_EQ(s.dialog, c.mode == AlertMode::Scheduled);
        EXPECT_EQ(s.balloon, c.mode == AlertMode::Manual);
        EXPECT_EQ(s.sound, c.mode == AlertMode::Silent);
        EXPECT_EQ(s.soundFile, c.mode == AlertMode::Silent ? "/s.wav" : "");
    }
}

TEST_F(AlertSettingsTest, EventsReadTheirOwnSettingsFileAndFolderNeverMail)
{
    task.EventAlerts.UseDefault = false;
    task.StartMode = kStartByHand;
    task.EventAlerts.ManualStartEmailUse = true;
    task.EventAlerts.ManualStartEmail = "start@x.org";
    task.EventAlerts.ManualFileDialog = true;
    task.EventAlerts.ManualDiskSpanDialog = false;
    task.EventAlerts.ManualErrorEmailUse = true;
    task.EventAlerts.ManualErrorEmail = "err@x.org";
    task.EventAlerts.ManualWarningBalloon = true;
    task.EventAlerts.ManualFinishEmailUse = true;
    task.EventAlerts.ManualFinishEmail = "fin@x.org";
    task.EventAlerts.ManualFinishEmailSendLog = true;
    struct Case {
        int event;
        AlertSettings expected;
    };
    const Case cases[] = {
        {akStart, {false, false, false, "", true, "start@x.org", false}},
        {akFile, {true, false, false, "", false, "", false}},
        {akFolder, {true, false, false, "", false, "", false}},
        {akDiskSpan, {false, false, false, "", false, "", false}},
        {akError, {false, false, false, "", true, "err@x.org", false}},
        {akWarning, {false, true, false, "", false, "", false}},
        {akFinish, {false, false, false, "", true, "fin@x.org", true}},
        {7, {}},
        {-1, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.event);
        EXPECT_EQ(GetAlertSettings(task, c.event), c.expected);
    }
}

TEST_F(AlertSettingsTest, UseDefaultReadsTheProgramWideValues)
{
    task.StartMode = kStartAutomatic;
    task.EventAlerts.ScheduledFinishEmailUse = false; // ignored while the defaults apply
    EventsScheduledFinishEmailUse = true;
    EventsScheduledFinishEmail = "all@x.org";
    task.EventAlerts.UseDefault = true;
    AlertSettings s = GetAlertSettings(task, akFinish);
    EXPECT_TRUE(s.email);
    EXPECT_EQ(s.recipient, "all@x.org");
    task.EventAlerts.UseDefault = false;
    s = GetAlertSettings(task, akFinish);
    EXPECT_FALSE(s.email);
    EXPECT_EQ(s.recipient, "");
}

TEST_F(AlertSettingsTest, WantsOnlyWhatDoesSomething)
{
    struct Dispatcher : AlertDispatcher {
        int Alert(TTask &, int, const std::string &, const std::string &) override { return 0; }
    } dispatcher;
    task.EventAlerts.UseDefault = false;
    task.StartMode = kStartByHand;
    task.EventAlerts.ManualFileDialog = false;
    task.EventAlerts.ManualFileBalloon = false;
    task.EventAlerts.ManualFileSound = true; // a sound without a file plays nothing
    EXPECT_FALSE(dispatcher.Wants(task, akFile));
    task.EventAlerts.ManualFileSoundFile = "/a.wav";
    EXPECT_TRUE(dispatcher.Wants(task, akFolder));
    task.EventAlerts.ManualErrorEmailUse = true;
    EXPECT_TRUE(dispatcher.Wants(task, akError));
    task.EventAlerts.ManualWarningDialog = false;
    task.EventAlerts.ManualWarningBalloon = false;
    EXPECT_FALSE(dispatcher.Wants(task, akWarning));
    task.EventAlerts.ManualDiskSpanDialog = true;
    EXPECT_TRUE(dispatcher.Wants(task, akDiskSpan));
}

} // namespace
