// The end of the session through the session layer's fake: shutdown runs start, the end waits for
// the tasks without a group, and the logind delay is released afterwards.
#include "RunsTestSupport.h"

#include "core/runs/BackupData.h"
#include "core/runs/ShutdownStarts.h"
#include "platform/fake/FakeSessionEvents.h"
#include "platform/gui/DesktopLayers.h"

#include <QSignalSpy>

namespace {

using namespace runstest;

class SessionEnd : public RunsFixture
{
protected:
    qv::TTask *add(const std::string &name, const std::string &group, bool atShutdown)
    {
        auto task = makeTask(name, qvtest::makeTempDir("src"), qvtest::makeTempDir("dst"));
        task->BelongToGroup = group;
        if (atShutdown) {
            qv::TTaskScheduleItem item;
            item.Kind = qv::skAtSystemShutdown;
            task->Schedules.Add(item);
        }
        return data.Tasks.Add(std::move(task));
    }
    qv::TBackupData data;
    qv::FakeSessionEvents events;
};

TEST_F(SessionEnd, ShutdownRunsStartAndTheDelayIsReleasedWhenUngroupedOnesEnd)
{
    qv::Suspend = true; // hold the runs until the test lets them go
    qv::TTask *ungrouped = add("ungrouped", "", true);
    qv::TTask *grouped = add("grouped", "Nightly", true);
    qv::TTask *other = add("other", "", false);
    qv::ShutdownStarts starts(data, events);
    QSignalSpy done(&starts, &qv::ShutdownStarts::done);

    events.endSession(5000);
    EXPECT_TRUE(ungrouped->Running);
    EXPECT_TRUE(grouped->Running);
    EXPECT_FALSE(other->Running);
    EXPECT_EQ(ungrouped->StartMode, qv::kStartAutomatic);
    EXPECT_TRUE(starts.waiting());
    events.endSession(5000); // a second request joins the first
    waitFor([] { return false; }, 300);
    EXPECT_EQ(done.count(), 0);
    EXPECT_TRUE(events.delayHeld);

    // The ungrouped run ends: the wait is over even though the grouped one still runs.
    ungrouped->Stop();
    ASSERT_TRUE(waitFor([&] { return done.count() == 1; }, 5000));
    EXPECT_FALSE(events.delayHeld);
    EXPECT_EQ(events.releases, 1);
    EXPECT_TRUE(grouped->Running);
    grouped->Stop();
    ASSERT_TRUE(waitFor([&] { return !grouped->Running; }));
}

TEST_F(SessionEnd, NothingToRunReleasesAtOnce)
{
    add("plain", "", false);
    qv::ShutdownStarts starts(data, events);
    QSignalSpy done(&starts, &qv::ShutdownStarts::done);
    events.endSession(0);
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(events.releases, 1);
    EXPECT_FALSE(starts.waiting());
}

TEST_F(SessionEnd, RealBackendWithoutASystemBusKeepsWorking)
{
    // CI has no system bus: the real layer still comes up (commit-data request and signals only).
    auto real = qv::createSessionEvents();
    ASSERT_NE(real, nullptr);
    qv::ShutdownStarts starts(data, *real);
    QSignalSpy done(&starts, &qv::ShutdownStarts::done);
    emit real->sessionEnding(0);
    EXPECT_EQ(done.count(), 1);
}

} // namespace
