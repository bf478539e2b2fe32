// Progress of a run goes one way: the backup thread records it in its run, the run's host asks the
// status bar to refresh, and the status bar reads it through the task. A run of several files reaches 100 %, and the task
// shows nothing once the run has ended.
#include "RunsTestSupport.h"

namespace {

using namespace runstest;

// Renders what the status bar would show each time it is asked to.
class ProgressWindow : public RecordingWindow
{
public:
    const qv::TTask *task = nullptr;
    std::vector<int> percents;
    std::vector<std::string> captions;
    void UpdateStatusBar() override
    {
        RecordingWindow::UpdateStatusBar();
        if (task != nullptr && task->Running) {
            percents.push_back(task->GetProgressPercent());
            captions.push_back(task->GetProgressCaption());
        }
    }
};

class TaskProgress : public RunsFixture
{
};

TEST_F(TaskProgress, PushedThroughTheHostAndRenderedFromTheTask)
{
    ProgressWindow shown;
    qv::setMainWindow(&shown);
    const std::string src = qvtest::makeTempDir("progress-src");
    const std::string dst = qvtest::makeTempDir("progress-dst");
    for (int i = 0; i < 5; ++i) {
        qvtest::writeFile(src + "/f" + std::to_string(i), std::string(200000, static_cast<char>('a' + i)));
    }
    auto task = makeTask("progress", src, dst);
    shown.task = task.get();
    task->Run(qv::kStartByHand);
    ASSERT_TRUE(task->Running);
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
    qv::setMainWindow(&window);

    ASSERT_FALSE(shown.percents.empty());
    // Within one phase (one caption) the value only grows; the last phase ends at 100 %.
    for (std::size_t i = 1; i < shown.percents.size(); ++i) {
        if (shown.captions[i] == shown.captions[i - 1]) {
            EXPECT_GE(shown.percents[i], shown.percents[i - 1]) << shown.captions[i];
        }
    }
    EXPECT_EQ(shown.percents.back(), 100);
    EXPECT_FALSE(shown.captions.back().empty());
    // Ended: nothing is shown any more.
    EXPECT_EQ(task->GetProgressPercent(), 0);
    EXPECT_EQ(task->GetProgressCaption(), "");
}

// Before a run names its first step its caption says where it stands: a run waiting for its turn
// (one backup at a time) reads "waiting", never an empty caption.
TEST_F(TaskProgress, ACaptionNotYetNamedSaysWaiting)
{
    qv::DisallowSimultaneousBackup = true;
    const std::string src = qvtest::makeTempDir("queued-src");
    qvtest::writeFile(src + "/f", std::string(100000, 'q'));
    auto first = makeTask("first", src, qvtest::makeTempDir("queued-dst1"));
    auto second = makeTask("second", src, qvtest::makeTempDir("queued-dst2"));
    first->Run(qv::kStartByHand);
    first->SetSuspended(true); // holds the queue
    second->Run(qv::kStartByHand);
    ASSERT_TRUE(second->Running);
    EXPECT_EQ(second->GetProgressCaption(), "waiting");
    EXPECT_NE(first->GetProgressCaption(), "waiting"); // control: the active run is not waiting
    EXPECT_FALSE(first->GetProgressCaption().empty());
    first->SetSuspended(false);
    ASSERT_TRUE(waitFor([&] { return !first->Running && !second->Running; }));
    EXPECT_EQ(second->GetProgressCaption(), "");
}

} // namespace
