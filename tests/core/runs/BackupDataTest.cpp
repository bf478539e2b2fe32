// TBackupData: groups, runs by group, name and ID, and the task hot keys over the fake hot-key layer.
#include "RunsTestSupport.h"

#include "core/runs/BackupData.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakeSystemScheduler.h"

#include <QSignalSpy>

namespace {

using namespace runstest;
using qv::TTask;

class BackupDataGroups : public RunsFixture
{
protected:
    TTask *add(const std::string &name, const std::string &group)
    {
        auto task = makeTask(name, qvtest::makeTempDir("src"), qvtest::makeTempDir("dst"));
        task->BelongToGroup = group;
        return data.Tasks.Add(std::move(task));
    }
    qv::TBackupData data;
};

TEST_F(BackupDataGroups, MembershipAndCountsIncludingAllTasksAndTheEmptyGroup)
{
    TTask *a = add("a", "Work");
    add("b", "Work");
    add("c", "");
    add("d", "work"); // names compare exactly
    const std::string all = qv::TBackupData::AllTasksGroupName();
    EXPECT_EQ(all, "All Tasks");
    const struct {
        std::string group;
        int tasks;
    } cases[] = {{"Work", 2}, {"work", 1}, {"", 1}, {all, 4}, {"Home", 0}};
    for (const auto &c : cases) {
        EXPECT_EQ(data.GetGroupTaskCount(c.group), c.tasks) << c.group;
        EXPECT_EQ(data.GetGroupRunningCount(c.group), 0) << c.group;
        EXPECT_FALSE(data.IsGroupRunning(c.group));
        EXPECT_EQ(data.HasIdleTaskInGroup(c.group), c.tasks > 0) << c.group;
    }
    a->Running = true; // as a run in progress shows it
    EXPECT_EQ(data.GetGroupRunningCount("Work"), 1);
    EXPECT_TRUE(data.IsGroupRunning(all));
    EXPECT_FALSE(data.IsGroupRunning(""));
    EXPECT_TRUE(data.HasIdleTaskInGroup("Work"));
    EXPECT_EQ(data.RunningUngroupedCount(), 0);
    a->Running = false;
}

TEST_F(BackupDataGroups, RunGroupPauseTwiceAndStop)
{
    qv::Suspend = false;
    TTask *a = add("a", "Work");
    TTask *b = add("b", "Work");
    TTask *c = add("c", "");
    // Keep the runs going: each waits at its gate once paused; start them suspended to be sure.
    qv::Suspend = true;
    data.RunGroup("Work", qv::kStartByHand);
    EXPECT_TRUE(a->Running);
    EXPECT_TRUE(b->Running);
    EXPECT_FALSE(c->Running);
    EXPECT_EQ(a->StartMode, qv::kStartByHand);
    // Resume them, then pause the group twice: they stay suspended.
    qv::Suspend = false;
    data.ApplyGlobalSuspend();
    a->SetSuspended(false);
    a->SetSuspended(true);
    b->SetSuspended(true);
    data.PauseGroup("Work");
    EXPECT_TRUE(a->GetSuspended());
    EXPECT_TRUE(b->GetSuspended());
    data.PauseGroup("Work");
    EXPECT_TRUE(a->GetSuspended());
    EXPECT_TRUE(b->GetSuspended());
    data.StopGroup("Work");
    ASSERT_TRUE(waitFor([&] { return !a->Running && !b->Running; }, 5000));
    EXPECT_EQ(events(*a).back(), "2 Backup ABORTED!");
}

TEST_F(BackupDataGroups, PauseOfAnIdleGroupResumesNothingAndSuspendsNothing)
{
    qv::Suspend = true;
    TTask *a = add("a", "Work");
    add("b", "Home");
    data.RunGroup("Work", qv::kStartByHand);
    ASSERT_TRUE(a->GetSuspended());
    // "Home" runs nothing and "All Tasks" runs a: the pause flag is true, so a stays suspended.
    data.PauseGroup("Home");
    EXPECT_TRUE(a->GetSuspended());
    data.StopGroup(qv::TBackupData::AllTasksGroupName());
    ASSERT_TRUE(waitFor([&] { return !a->Running; }));
}

TEST_F(BackupDataGroups, ByNameAndByIdWithDuplicates)
{
    qv::Suspend = true;
    TTask *a = add("same", "");
    TTask *b = add("same", "");
    TTask *c = add("other", "");
    data.RunTaskByName("Same", qv::kStartAutomatic); // exact names only
    EXPECT_FALSE(a->Running);
    data.RunTaskByName("same", qv::kStartAutomatic);
    EXPECT_TRUE(a->Running);
    EXPECT_TRUE(b->Running);
    EXPECT_FALSE(c->Running);
    EXPECT_EQ(data.FindTaskByID(c->ID), c);
    EXPECT_EQ(data.FindTaskByID(qv::TTask::newRandomID()), nullptr);
    data.RunTaskByID(c->ID, qv::kStartByHand);
    EXPECT_TRUE(c->Running);
    EXPECT_EQ(c->StartMode, qv::kStartByHand);
    EXPECT_EQ(data.RunningCount(), 3);
    EXPECT_EQ(data.RunningUngroupedCount(), 3);
    data.StopGroup(qv::TBackupData::AllTasksGroupName());
    ASSERT_TRUE(waitFor([&] { return data.RunningCount() == 0; }));
}

TEST_F(BackupDataGroups, AStartAlertThatDeletesATaskDoesNotDisturbTheGroupRun)
{
    TTask *a = add("a", "G");
    add("b", "G");
    TTask *c = add("c", "G");
    // The start alert of a runs a nested loop in which the user deletes b.
    alerter.answer = [&](const RaisedAlert &alert) {
        if (alert.task == "a" && alert.event == qv::akStart) {
            data.DeleteTask(1);
        }
        return 0;
    };
    data.RunGroup("G", qv::kStartByHand);
    EXPECT_EQ(data.Tasks.Count(), 2);
    EXPECT_EQ(alerter.count(qv::akStart), 2);
    ASSERT_TRUE(waitFor([&] { return !a->Running && !c->Running; }));
}

TEST_F(BackupDataGroups, DeletingATaskRemovesItsSystemTimer)
{
    qv::FakeSystemScheduler scheduler;
    qv::setSystemScheduler(&scheduler);
    TTask *a = add("a", "");
    TTask *b = add("b", "");
    const std::string entryA = qv::SystemScheduler::entryNameFor(a->ID);
    scheduler.entries[entryA].calendars = std::vector<std::string>{"daily"};
    scheduler.entries[qv::SystemScheduler::entryNameFor(b->ID)];
    ASSERT_TRUE(data.DeleteTask(data.Tasks.IndexOf(a)));
    EXPECT_EQ(scheduler.calls, std::vector<std::string>{"remove:" + entryA});
    EXPECT_EQ(scheduler.entries.size(), 1u);
    // A timer that cannot be removed is reported; the task goes all the same.
    scheduler.failWith = "systemctl --user daemon-reload failed: Access denied";
    ASSERT_TRUE(data.DeleteTask(data.Tasks.IndexOf(b)));
    EXPECT_EQ(data.Tasks.Count(), 0);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].first, qv::CoreMessageKind::Error);
    EXPECT_EQ(window.messages[0].second, "The system timer of the task could not be removed: "
                                         "systemctl --user daemon-reload failed: Access denied");
    qv::setSystemScheduler(nullptr);
}

class TaskHotKeys : public RunsFixture
{
protected:
    void SetUp() override
    {
        RunsFixture::SetUp();
        data.SetHotKeyLayer(&keys);
    }
    TTask *add(const std::string &name, std::uint16_t hotKey)
    {
        auto task = makeTask(name, qvtest::makeTempDir("src"), qvtest::makeTempDir("dst"));
        task->HotKey = hotKey;
        return data.Tasks.Add(std::move(task));
    }
    qv::FakeHotKeys keys;
    qv::TBackupData data;
};

constexpr std::uint16_t kCtrlAltK = 0x4000 | 0x8000 | 0x4B;
constexpr std::uint16_t kShiftF8 = 0x2000 | 0x77;
constexpr std::uint16_t kAltQ = 0x8000 | 0x51;

TEST_F(TaskHotKeys, SlotsInListOrderAndARefusedKeyLeavesTheOthers)
{
    EXPECT_EQ(data.HotKeys[0].Id, -1) << "unused slots hold -1";
    add("none", 0);
    TTask *k = add("k", kCtrlAltK);
    add("held", kShiftF8);
    TTask *q = add("q", kAltQ);
    keys.heldElsewhere.insert({qv::MOD_SHIFT, 0x77});
    data.RegisterHotKeys();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].second, "Hot key registering failed!");
    EXPECT_EQ(data.HotKeys[0].Id, 0);
    EXPECT_EQ(data.HotKeys[0].TaskID, k->ID);
    EXPECT_EQ(data.HotKeys[1].Id, 1);
    EXPECT_EQ(data.HotKeys[1].TaskID, q->ID);
    EXPECT_EQ(data.HotKeys[2].Id, -1);
    EXPECT_EQ(keys.registered.at(0), std::make_pair(unsigned(qv::MOD_CONTROL | qv::MOD_ALT), 0x4Bu));
    EXPECT_EQ(keys.registered.at(1), std::make_pair(unsigned(qv::MOD_ALT), 0x51u));

    // Registering again after a task lost its key releases and re-numbers.
    k->HotKey = 0;
    window.messages.clear();
    data.RegisterHotKeys();
    EXPECT_EQ(data.HotKeys[0].TaskID, q->ID);
    EXPECT_EQ(data.HotKeys[1].Id, -1);
    EXPECT_EQ(keys.registered.size(), 1u);
}

TEST_F(TaskHotKeys, APressStartsItsTaskByHandAndBringsTheWindowForward)
{
    qv::Suspend = true;
    TTask *k = add("k", kCtrlAltK);
    TTask *q = add("q", kAltQ);
    q->HotKeyBringToFront = true;
    data.RegisterHotKeys();
    keys.press(qv::MOD_CONTROL | qv::MOD_ALT, 0x4B);
    EXPECT_TRUE(k->Running);
    EXPECT_EQ(k->StartMode, qv::kStartByHand);
    EXPECT_FALSE(q->Running);
    EXPECT_EQ(window.raised, 0);
    keys.press(qv::MOD_ALT, 0x51);
    EXPECT_TRUE(q->Running);
    EXPECT_EQ(window.raised, 1);
    EXPECT_FALSE(data.RunHotKeyTask(-1)) << "no unused slot matches any id";
    EXPECT_FALSE(data.RunHotKeyTask(57));
    EXPECT_TRUE(data.RunHotKeyTask(0)) << "a running task is found, though not started again";
    // The show-window hot key only raises the window.
    ASSERT_TRUE(data.RegisterShowWindowHotKey(true, kShiftF8));
    keys.press(qv::MOD_SHIFT, 0x77);
    EXPECT_EQ(window.raised, 2);
    data.StopGroup(qv::TBackupData::AllTasksGroupName());
    ASSERT_TRUE(waitFor([&] { return data.RunningCount() == 0; }));
}

TEST_F(TaskHotKeys, CanRegisterKnowsOurKeysTheShowKeyAndOtherPrograms)
{
    TTask *k = add("k", kCtrlAltK);
    data.RegisterHotKeys();
    ASSERT_TRUE(data.RegisterShowWindowHotKey(true, kShiftF8));
    keys.heldElsewhere.insert({qv::MOD_ALT, 0x51});
    const struct {
        std::uint16_t shortCut;
        std::string except;
        bool can;
    } cases[] = {
        {kCtrlAltK, "", false},        // a task's key
        {kCtrlAltK, k->ID, true},      // ... which that task may keep
        {kShiftF8, "", false},         // the show-window key
        {kShiftF8, k->ID, false},
        {kAltQ, "", false},            // another program's
        {0x4000 | 0x4C, "", true},     // Ctrl+L is free
        {0x4000 | 0x88, "", false},    // a key without an equivalent
    };
    for (const auto &c : cases) {
        EXPECT_EQ(data.CanRegisterHotKey(c.shortCut, c.except), c.can) << std::hex << c.shortCut;
    }
    // Testing never drops what is registered.
    EXPECT_TRUE(keys.isRegistered(0));
    EXPECT_TRUE(keys.isRegistered(qv::kShowWindowHotKeyId));
    EXPECT_FALSE(keys.isRegistered(qv::kTrialHotKeyId));
    // Releasing the show-window key frees its combination.
    ASSERT_TRUE(data.RegisterShowWindowHotKey(false, kShiftF8));
    EXPECT_TRUE(data.CanRegisterHotKey(kShiftF8));
}

TEST_F(TaskHotKeys, UnavailableLayerIsReportedOnceAndNoFailureBoxes)
{
    keys.available = false;
    add("a", kCtrlAltK);
    add("b", kAltQ);
    data.RegisterHotKeys();
    data.RegisterHotKeys();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].first, qv::CoreMessageKind::Information);
    EXPECT_EQ(window.messages[0].second, "Global hot keys are not available on this desktop.");
    EXPECT_FALSE(data.CanRegisterHotKey(kCtrlAltK));
    EXPECT_EQ(data.HotKeys[0].Id, -1);
}

TEST_F(TaskHotKeys, AtMostOneHundredSlots)
{
    for (int i = 0; i < 105; ++i) {
        // Ctrl, Alt or Ctrl+Alt with letters and digits: 105 distinct combinations.
        const std::uint16_t mods = std::array<std::uint16_t, 3>{0x4000, 0x8000, 0xC000}[i / 36];
        const std::uint16_t key = i % 36 < 26 ? 0x41 + i % 36 : 0x30 + (i % 36 - 26);
        add("t" + std::to_string(i), static_cast<std::uint16_t>(mods | key));
    }
    data.RegisterHotKeys();
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(keys.registered.size(), 100u);
    EXPECT_EQ(data.HotKeys[99].Id, 99);
    EXPECT_EQ(data.HotKeys[99].TaskID, data.Tasks[99]->ID);
}

} // namespace
