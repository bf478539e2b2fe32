// Starting, refusing, stopping and suspending runs of a task, with the recording window and
// alerter and real backup threads over temporary folders.
#include "RunsTestSupport.h"

#include "core/runs/BackupData.h"
#include "core/util/Utils.h"
#include "platform/fake/FakeDesktop.h"

#include <filesystem>

namespace {

using namespace runstest;
using qv::TTask;

class TaskRun : public RunsFixture
{
};

std::string folderWithFile(const std::string &hint)
{
    const std::string dir = qvtest::makeTempDir(hint);
    qvtest::writeFile(dir + "/a.txt", "alpha");
    return dir;
}

TEST_F(TaskRun, ByHandCopiesAndEndsIdleWithStartAndFinishLines)
{
    const std::string src = folderWithFile("src");
    const std::string dst = qvtest::makeTempDir("dst");
    auto task = makeTask("copy", src, dst);
    task->Run(qv::kStartByHand);
    EXPECT_TRUE(task->Running);
    EXPECT_EQ(task->StartMode, qv::kStartByHand);
    ASSERT_NE(task->Thread(), nullptr);
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
    EXPECT_EQ(task->Thread(), nullptr);
    EXPECT_EQ(qvtest::readFile(dst + "/a.txt"), "alpha");
    const auto lines = events(*task);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "0 Backup started.");
    EXPECT_EQ(lines.back(), "1 Backup finished.") << joined(lines);
    ASSERT_GE(alerter.alerts.size(), 1u);
    EXPECT_EQ(alerter.alerts[0].event, qv::akStart);
    EXPECT_EQ(alerter.alerts[0].buttons, "CS");
    EXPECT_EQ(alerter.alerts[0].text, "Backup started.");
    EXPECT_GT(window.listView, 0);
    EXPECT_GT(window.checkState, 0);
}

TEST_F(TaskRun, StartingARunningTaskDoesNothingByHandOrBySchedule)
{
    qv::Suspend = true; // the first run waits at its gate, so it is surely still running
    const std::string src = folderWithFile("src");
    auto task = makeTask("busy", src, qvtest::makeTempDir("dst"));
    task->Run(qv::kStartByHand);
    ASSERT_TRUE(task->Running);
    qv::TCustomBackup *first = task->Thread();
    const std::size_t alerts = alerter.alerts.size();
    const std::size_t lines = task->Logger->Count();
    task->Run(qv::kStartByHand);
    task->Run(qv::kStartAutomatic);
    task->ScheduledStart();
    EXPECT_EQ(task->Thread(), first);
    EXPECT_EQ(alerter.alerts.size(), alerts);
    EXPECT_EQ(task->Logger->Count(), lines);
    EXPECT_EQ(qv::RunningTaskCount(), 1);
    task->Stop();
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
}

TEST_F(TaskRun, HardwareProfileSkipsScheduledRunsOnly)
{
    const std::string profile = qv::GetCurrentHardwareProfile();
    ASSERT_FALSE(profile.empty());
    qv::FixedClock fixed(QDateTime(QDate(2026, 5, 1), QTime(12, 0, 0)));
    qv::setClock(&fixed);
    auto task = makeTask("profile", folderWithFile("src"), qvtest::makeTempDir("dst"));
    task->LastRun = 0;
    task->HardwareProfile.UseDefault = false;
    // Listed among others, with different letter case.
    task->HardwareProfile.SkipList = "Office," + QString::fromStdString(profile).toUpper().toStdString() + ",Home";
    task->Run(qv::kStartAutomatic);
    EXPECT_FALSE(task->Running);
    EXPECT_DOUBLE_EQ(task->LastRun, qv::Now());
    EXPECT_EQ(events(*task),
              std::vector<std::string>{"6 WARNING: Skipping scheduled Task run because current hardware profile is \"" +
                                       profile + "\"!"});
    EXPECT_TRUE(alerter.alerts.empty());

    task->Run(qv::kStartByHand);
    EXPECT_TRUE(task->Running);
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
    EXPECT_EQ(events(*task).back(), "1 Backup finished.");
}

TEST_F(TaskRun, TwoInvalidSourcesGiveOneErrorLineAndOneAlertInOrder)
{
    const std::string base = qvtest::makeTempDir("invalid");
    const std::string a = base + "/missingA";
    const std::string b = base + "/missingB";
    auto task = makeTask("two", "", qvtest::makeTempDir("dst"));
    task->Source = qv::encodeSourceList({{a, true}, {b, true}});
    task->Run(qv::kStartByHand);
    EXPECT_FALSE(task->Running);
    EXPECT_TRUE(task->ValidationFailed);
    const std::string expected = "Invalid source folder (" + a + "/)!; Invalid source folder (" + b + "/)!";
    EXPECT_EQ(events(*task), (std::vector<std::string>{"0 Backup started.", "7 ERROR: " + expected,
                                                       "2 Backup ABORTED!"}));
    ASSERT_EQ(alerter.count(qv::akError), 1);
    EXPECT_EQ(alerter.alerts.back().text, expected);
    EXPECT_EQ(alerter.alerts.back().buttons, "S");
}

TEST_F(TaskRun, TheLogFileHoldsEveryEarlierLineWhenAnAlertShows)
{
    // Lines wait in the logger's buffer during a run; an alert writes them first, so a user who
    // opens the log from the alert sees what led to it.
    const std::string logDir = qvtest::makeTempDir("alertlog");
    auto task = makeTask("alert-log", qvtest::makeTempDir("empty-src"), qvtest::makeTempDir("dst"));
    task->Log.UseDefault = false;
    task->Log.FileName = logDir + "/task.log";
    std::vector<std::string> fileAtAlert;
    alerter.answer = [&](const RaisedAlert &alert) {
        if (alert.event == qv::akError) {
            fileAtAlert.push_back(qvtest::readFile(logDir + "/task.log"));
        }
        return 0;
    };
    task->Run(qv::kStartByHand);
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
    ASSERT_EQ(fileAtAlert.size(), 1u) << joined(events(*task));
    std::string logged;
    for (std::size_t i = 0; i < task->Logger->Count(); ++i) {
        const qv::TLogItem &item = task->Logger->Item(i);
        logged += task->Logger->GetEventText(i) + "\n";
        if (item.Kind == qv::kLogError) {
            break; // the alert follows the line of its error
        }
    }
    EXPECT_NE(logged.find("ERROR: "), std::string::npos) << joined(events(*task));
    EXPECT_EQ(fileAtAlert[0], logged);
    // And the whole log is in the file once the run has ended.
    std::string all;
    for (std::size_t i = 0; i < task->Logger->Count(); ++i) {
        all += task->Logger->GetEventText(i) + "\n";
    }
    EXPECT_EQ(qvtest::readFile(logDir + "/task.log"), all);
}

TEST_F(TaskRun, AutomaticFailureAlertsOnceAndAManualStartAlertsAgain)
{
    auto task = makeTask("failing", qvtest::makeTempDir("gone") + "/nothing", qvtest::makeTempDir("dst"));
    task->Run(qv::kStartAutomatic);
    EXPECT_EQ(alerter.count(qv::akError), 1);
    EXPECT_TRUE(task->ValidationFailed);
    for (int i = 0; i < 5; ++i) {
        task->Run(qv::kStartAutomatic);
    }
    EXPECT_EQ(alerter.count(qv::akError), 1);
    EXPECT_EQ(alerter.count(qv::akStart), 1);
    EXPECT_EQ(countKind(*task, qv::kLogStarted), 1);

    task->Run(qv::kStartByHand);
    EXPECT_EQ(alerter.count(qv::akError), 2);
    EXPECT_TRUE(task->ValidationFailed);

    // Once the folder exists, an automatic start runs again.
    std::filesystem::create_directories(task->Source);
    task->Run(qv::kStartAutomatic);
    EXPECT_FALSE(task->ValidationFailed);
    EXPECT_TRUE(task->Running);
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
}

TEST_F(TaskRun, EditingBlocksEveryStartSilently)
{
    auto task = makeTask("editing", folderWithFile("src"), qvtest::makeTempDir("dst"));
    task->Editing = true;
    task->Run(qv::kStartByHand);
    EXPECT_FALSE(task->Running);
    EXPECT_EQ(task->Logger->Count(), 0u);
    EXPECT_TRUE(alerter.alerts.empty());
}

TEST_F(TaskRun, StopAnswerToTheStartAlertAbortsAndMovesLastRun)
{
    qv::FixedClock fixed(QDateTime(QDate(2026, 5, 2), QTime(8, 0, 0)));
    qv::setClock(&fixed);
    alerter.answer = [](const RaisedAlert &a) { return a.event == qv::akStart ? qv::aaStop : 0; };
    auto task = makeTask("stopped", folderWithFile("src"), qvtest::makeTempDir("dst"));
    task->LastRun = 0;
    task->Run(qv::kStartByHand);
    EXPECT_FALSE(task->Running);
    EXPECT_EQ(task->Thread(), nullptr);
    EXPECT_DOUBLE_EQ(task->LastRun, qv::Now());
    EXPECT_EQ(events(*task), (std::vector<std::string>{"0 Backup started.", "2 Backup ABORTED!"}));
    EXPECT_EQ(qv::RunningTaskCount(), 0);
}

TEST_F(TaskRun, DestinationsThatAreNotCarriedOutEndIdleWithAnAbortedLine)
{
    const struct {
        std::uint8_t destType;
        std::vector<std::string> lines;
        std::size_t messages;
    } cases[] = {
        {qv::kDestCdDvd, {"0 Backup started.", "2 Backup ABORTED!"}, 1},
        {qv::kDestFtp, {"0 Backup started.", "7 ERROR: FTP backup is not implemented yet.", "2 Backup ABORTED!"}, 0},
        {7, {"0 Backup started.", "7 ERROR: FTP backup is not implemented yet.", "2 Backup ABORTED!"}, 0},
    };
    for (const auto &c : cases) {
        window.messages.clear();
        auto task = makeTask("dest", folderWithFile("src"), qvtest::makeTempDir("dst"));
        task->DestType = c.destType;
        task->Run(qv::kStartByHand);
        EXPECT_FALSE(task->Running);
        EXPECT_EQ(task->Thread(), nullptr);
        EXPECT_EQ(events(*task), c.lines) << int(c.destType);
        ASSERT_EQ(window.messages.size(), c.messages);
        if (c.messages == 1) {
            EXPECT_EQ(window.messages[0].second, "CD/DVD backup is not implemented yet.");
            EXPECT_EQ(window.messages[0].first, qv::CoreMessageKind::Information);
        }
    }
    EXPECT_EQ(qv::RunningTaskCount(), 0);
}

TEST_F(TaskRun, GlobalSuspendStartsSuspendedBeforeTheBeforeProgram)
{
    qv::Suspend = true;
    auto task = makeTask("suspended", folderWithFile("src"), qvtest::makeTempDir("dst"));
    task->RunPrograms.UseDefault = false;
    task->RunPrograms.Before = true;
    task->RunPrograms.BeforeProgramName = "before-program";
    task->Run(qv::kStartByHand);
    ASSERT_TRUE(task->Running);
    EXPECT_TRUE(task->GetSuspended());
    EXPECT_EQ(events(*task).back(),
              "6 WARNING: Starting Task in Suspended Mode! Click \"Global Suspend\" on the toolbar to resume "
              "suspended operations.");
    // Give the thread every chance to go past its gate: it must not.
    waitFor([] { return false; }, 300);
    EXPECT_TRUE(programs.snapshot().empty());

    // Lifting the global suspend lets it run to its end, programs included.
    qv::Suspend = false;
    task->ApplyGlobalSuspend();
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
    EXPECT_EQ(programs.snapshot(), std::vector<std::string>{"before-program"});
    EXPECT_EQ(events(*task).back(), "1 Backup finished.");
}

TEST_F(TaskRun, StoppingAPausedRunEndsItAsAborted)
{
    qv::Suspend = true;
    auto task = makeTask("paused", folderWithFile("src"), qvtest::makeTempDir("dst"));
    task->Run(qv::kStartByHand);
    ASSERT_TRUE(task->Running);
    task->Stop();
    EXPECT_TRUE(waitFor([&] { return !task->Running; }, 2000)) << "a stopped, suspended run must end promptly";
    EXPECT_EQ(events(*task).back(), "2 Backup ABORTED!");
    EXPECT_EQ(qv::RunningTaskCount(), 0);
}

TEST_F(TaskRun, SuspendAndResumeLogOnlyOnChange)
{
    qv::Suspend = true;
    auto task = makeTask("toggle", folderWithFile("src"), qvtest::makeTempDir("dst"));
    task->Run(qv::kStartByHand);
    ASSERT_TRUE(task->GetSuspended());
    const std::size_t before = task->Logger->Count();
    task->SetSuspended(true); // already suspended: nothing
    EXPECT_EQ(task->Logger->Count(), before);
    task->SetSuspended(false);
    EXPECT_EQ(events(*task).back(), "6 WARNING: The Task is unsuspended!");
    EXPECT_FALSE(task->GetSuspended());
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
    // An idle task ignores both.
    const std::size_t after = task->Logger->Count();
    task->SetSuspended(true);
    task->SetSuspended(false);
    EXPECT_EQ(task->Logger->Count(), after);
}

TEST_F(TaskRun, EndOfAFilterTestLeavesTheRealRunRunning)
{
    qv::Suspend = true;
    const std::string src = folderWithFile("src");
    auto task = makeTask("tested", src, qvtest::makeTempDir("dst"));
    task->Run(qv::kStartByHand);
    ASSERT_TRUE(task->Running);
    qv::TCustomBackup *run = task->Thread();

    qv::FakeDesktop desktop; // the report opens through the desktop, on this (the main) thread
    qv::setTestThreadFactory([](std::shared_ptr<qv::RunSnapshot> snapshot, qv::BackupHost *host,
                                 const std::string &report) {
        return new qv::TTestBackup(std::move(snapshot), host, report, qv::BackupServices{});
    });
    const std::string report = qvtest::makeTempDir("report") + "/report.txt";
    ASSERT_TRUE(task->RunTest(report));
    EXPECT_TRUE(task->TestRunning());
    EXPECT_FALSE(task->RunTest(report)) << "one filter test of a task at a time";
    ASSERT_TRUE(waitFor([&] { return !task->TestRunning(); }));
    EXPECT_NE(qvtest::readFile(report).find("a.txt"), std::string::npos);
    EXPECT_EQ(desktop.opened, std::vector<std::string>{report});

    EXPECT_TRUE(task->Running);
    EXPECT_EQ(task->Thread(), run);
    EXPECT_TRUE(task->GetSuspended());
    task->Stop();
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
}

TEST_F(TaskRun, AFilterTestOfADraftUsesItsFiltersAndDestinationOnly)
{
    const std::string src = qvtest::makeTempDir("draftsrc");
    qvtest::writeFile(src + "/keep.txt", "k");
    qvtest::writeFile(src + "/drop.log", "d");
    auto task = makeTask("draft", src, qvtest::makeTempDir("stored"));
    const std::string edited = qvtest::makeTempDir("edited");
    qv::FilterTestDraft draft;
    draft.destLocal = edited;
    qv::TTaskFilterItem txt;
    txt.FilterType = qv::fitInclude;
    txt.fnWildcard = "*.txt";
    draft.filters.Add(txt);

    qv::FakeDesktop desktop;
    const std::string report = qvtest::makeTempDir("draftreport") + "/report.txt";
    ASSERT_TRUE(task->RunTest(report, draft));
    draft.filters.Clear(); // the test made its own copy at the start
    ASSERT_TRUE(waitFor([&] { return !task->TestRunning(); }));
    const std::string text = qvtest::readFile(report);
    EXPECT_NE(text.find(src + "/keep.txt - " + edited + "/keep.txt"), std::string::npos) << text;
    EXPECT_EQ(text.find("drop.log"), std::string::npos) << text;
    EXPECT_EQ(desktop.opened, std::vector<std::string>{report});
    EXPECT_EQ(task->Filters.Count(), 1) << "the stored filters are untouched";
}

TEST_F(TaskRun, AReportTheDesktopCannotOpenLeavesAWarningNamingIt)
{
    const std::string src = folderWithFile("unopened");
    auto task = makeTask("unopened", src, qvtest::makeTempDir("unopeneddst"));
    qv::FakeDesktop desktop;
    desktop.answer = false;
    qv::SetShellOpenErrorHandler([](const std::string &) {});
    const std::string report = qvtest::makeTempDir("unopenedreport") + "/report.txt";
    ASSERT_TRUE(task->RunTest(report));
    ASSERT_TRUE(waitFor([&] { return !task->TestRunning(); }));
    ASSERT_TRUE(waitFor([&] { return !desktop.opened.empty(); }));
    qv::SetShellOpenErrorHandler(nullptr);
    const std::string log = joined(events(*task));
    EXPECT_NE(log.find(std::to_string(qv::kLogWarning) + " WARNING: The filter test report " + report +
                       " could not be opened."),
              std::string::npos)
        << log;
}

TEST_F(TaskRun, AFreedTaskStopsItsRunAndNothingReportsToIt)
{
    qv::Suspend = true;
    qv::TBackupData data;
    data.Tasks.Add(makeTask("doomed", folderWithFile("src"), qvtest::makeTempDir("dst")));
    data.Tasks[0]->Run(qv::kStartByHand);
    ASSERT_TRUE(data.Tasks[0]->Running);
    EXPECT_FALSE(data.DeleteTask(0)) << "a running task is not deleted";
    EXPECT_EQ(data.Tasks.Count(), 1);
    // Freed anyway (as at exit): its run is told to stop and ends without touching it.
    std::unique_ptr<TTask> gone = data.Tasks.Extract(0);
    gone.reset();
    EXPECT_TRUE(waitFor([] { return qv::RunningTaskCount() == 0; }));
}

// The run queue holds exactly the runs in progress: a stopped run, a deleted task and a run that
// waited behind it leave no record, no thread and no host behind (the sanitizer builds catch any
// use of a freed run, host or task), and the next task runs as if nothing had happened.
TEST_F(TaskRun, StoppedRunsAndDeletedTasksLeaveNothingBehind)
{
    qv::Suspend = true;
    qv::DisallowSimultaneousBackup = true;
    auto &queue = qv::RunQueue::instance();
    qv::TBackupData data;
    data.Tasks.Add(makeTask("first", folderWithFile("src1"), qvtest::makeTempDir("dst1")));
    data.Tasks.Add(makeTask("second", folderWithFile("src2"), qvtest::makeTempDir("dst2")));
    TTask *first = data.Tasks[0];
    TTask *second = data.Tasks[1];
    first->Run(qv::kStartByHand);
    second->Run(qv::kStartByHand);
    ASSERT_NE(first->Thread(), nullptr);
    ASSERT_NE(second->Thread(), nullptr);
    EXPECT_NE(first->Thread(), second->Thread());
    EXPECT_EQ(qv::RunningTaskCount(), 2);
    EXPECT_EQ(queue.waitingCount(), 1) << "the second run waits for the first";

    // Stop, then delete: the task's thread is gone before the task is.
    first->Stop();
    ASSERT_TRUE(waitFor([&] { return !first->Running; }));
    EXPECT_EQ(first->Thread(), nullptr);
    EXPECT_EQ(qv::RunningTaskCount(), 1);
    EXPECT_EQ(second->Thread(), queue.records().at(0).run) << "the waiting run started";
    ASSERT_TRUE(data.DeleteTask(0));

    // Freed while its run is in progress (as at exit): the run is stopped and ends unseen.
    std::unique_ptr<TTask> gone = data.Tasks.Extract(0);
    gone.reset();
    ASSERT_TRUE(waitFor([] { return qv::RunningTaskCount() == 0; }));
    EXPECT_TRUE(queue.records().empty());

    // A new task runs to its end with nothing of the old runs in its way.
    qv::Suspend = false;
    const std::string dst = qvtest::makeTempDir("dst3");
    data.Tasks.Add(makeTask("third", folderWithFile("src3"), dst));
    TTask *third = data.Tasks[0];
    third->Run(qv::kStartByHand);
    ASSERT_NE(third->Thread(), nullptr);
    EXPECT_EQ(queue.waitingCount(), 0);
    ASSERT_TRUE(waitFor([&] { return !third->Running; }));
    EXPECT_EQ(third->Thread(), nullptr);
    EXPECT_EQ(qvtest::readFile(dst + "/a.txt"), "alpha");
    EXPECT_EQ(events(*third).back(), "1 Backup finished.");
    EXPECT_EQ(qv::RunningTaskCount(), 0);
}

TEST_F(TaskRun, SourceInsideTheDestinationStaysByteIdentical)
{
    const std::string base = qvtest::makeTempDir("backup");
    const std::string src = base + "/src";
    std::filesystem::create_directories(src + "/sub");
    qvtest::writeFile(src + "/one.txt", "one");
    qvtest::writeFile(src + "/sub/two.txt", std::string(100000, 'x'));
    qvtest::writeFile(base + "/old.txt", "obsolete");
    const std::string pristine = qvtest::makeTempDir("pristine");
    ASSERT_EQ(qvtest::runCommand({"cp", "-a", src + "/.", pristine}).exitCode, 0);

    for (qv::TTaskType type : {qv::ttExactCopy, qv::ttSynchronize}) {
        auto task = makeTask("inside", src, base);
        task->TaskType = type;
        task->DeleteKind = qv::adkNormal;
        task->Run(qv::kStartByHand);
        ASSERT_TRUE(waitFor([&] { return !task->Running; })) << int(type);
        const auto diff = qvtest::runCommand({"diff", "-r", pristine, src});
        EXPECT_EQ(diff.exitCode, 0) << int(type) << "\n" << diff.output << joined(events(*task));
        EXPECT_EQ(qvtest::readFile(base + "/one.txt"), "one");
    }
}

} // namespace
