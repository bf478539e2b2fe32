// Runs on their own threads: the queue's order, the running count and the queue's records, the
// pause gate, stop during a copy, and an alert that throws.
#include "EngineTestSupport.h"

#include "core/engine/LocalBackup.h"
#include "core/runs/RunQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <dirent.h>
#include <stdexcept>
#include <thread>

namespace {

using namespace enginetest;

// Processes events until `done` holds or the time runs out.
bool waitFor(const std::function<bool()> &done, int ms = 20000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // Let the deferred deletes of finished runs happen.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

TEST(EngineRunQueue, ThreeQueuedRunsStartFirstInFirstOut)
{
    const std::string base = qvtest::makeTempDir("queue");
    std::vector<std::string> events;
    std::vector<std::unique_ptr<RecordingHost>> hosts;
    ASSERT_EQ(qv::RunningTaskCount(), 0);
    for (int i = 0; i < 3; ++i) {
        const std::string src = base + "/src" + std::to_string(i) + "/";
        for (int f = 0; f < 20; ++f) {
            put(src + "f" + std::to_string(f), std::string(20000, static_cast<char>('a' + i)));
        }
        auto host = std::make_unique<RecordingHost>();
        RecordingHost *h = host.get();
        host->answer = [&events, i](int kind, const std::string &, const std::string &) {
            if (kind == qv::akFile) {
                events.push_back("copy" + std::to_string(i));
            }
            return 0;
        };
        host->onFinished = [&events, i] { events.push_back("end" + std::to_string(i)); };
        auto snapshot = makeSnapshot({src}, base + "/dst" + std::to_string(i));
        qv::RunQueue::instance().submit(new qv::TLocalBackup(snapshot, h), true);
        hosts.push_back(std::move(host));
    }
    EXPECT_EQ(qv::RunningTaskCount(), 3);
    EXPECT_EQ(qv::RunQueue::instance().waitingCount(), 2);
    EXPECT_TRUE(hosts[1]->logged(qv::kLogInformation, "Waiting for the queue."));
    ASSERT_TRUE(waitFor([&] { return hosts[2]->ended; }));
    EXPECT_EQ(qv::RunningTaskCount(), 0);
    // Each run copies only after the one before it has ended.
    std::vector<std::string> compact;
    for (const auto &e : events) {
        if (compact.empty() || compact.back() != e) {
            compact.push_back(e);
        }
    }
    EXPECT_EQ(compact, (std::vector<std::string>{"copy0", "end0", "copy1", "end1", "copy2", "end2"}));
    EXPECT_TRUE(hosts[2]->logged(qv::kLogInformation, "Queue OK."));
    EXPECT_FALSE(hosts[0]->logged(qv::kLogInformation, "Waiting for the queue."));
}

TEST(EngineRunQueue, ThrowingAlertAbortsAndTheCountGoesBack)
{
    const std::string base = qvtest::makeTempDir("throw");
    put(base + "/src/a", "a");
    put(base + "/src/b", "b");
    RecordingHost host;
    host.answer = [](int kind, const std::string &, const std::string &) -> int {
        if (kind == qv::akFile || kind == qv::akError) {
            throw std::runtime_error("the mail server refused the alert");
        }
        return 0;
    };
    qv::RunQueue::instance().submit(new qv::TLocalBackup(makeSnapshot({base + "/src"}, base + "/dst"), &host), false);
    ASSERT_TRUE(waitFor([&] { return host.ended; }));
    EXPECT_TRUE(host.aborted);
    EXPECT_TRUE(host.loggedContaining(qv::kLogError, "the mail server refused the alert"));
    EXPECT_TRUE(host.logged(qv::kLogAborted, "Backup ABORTED!"));
    EXPECT_FALSE(host.logged(qv::kLogFinished, "Backup finished."));
    EXPECT_EQ(qv::RunningTaskCount(), 0);
}

TEST(EngineRunQueue, PauseGateHoldsTheRunAndStopOpensIt)
{
    const std::string base = qvtest::makeTempDir("pause");
    put(base + "/src/a", "a");
    RecordingHost host;
    auto *run = new qv::TLocalBackup(makeSnapshot({base + "/src"}, base + "/dst"), &host);
    run->setSuspended(true);
    qv::RunQueue::instance().submit(run, false);
    waitFor([] { return false; }, 300);
    EXPECT_FALSE(exists(base + "/dst/a"));
    EXPECT_FALSE(host.ended);
    run->setSuspended(false);
    ASSERT_TRUE(waitFor([&] { return host.ended; }));
    EXPECT_FALSE(host.aborted);
    EXPECT_EQ(qvtest::readFile(base + "/dst/a"), "a");

    RecordingHost host2;
    auto *paused = new qv::TLocalBackup(makeSnapshot({base + "/src"}, base + "/dst2"), &host2);
    paused->setSuspended(true);
    qv::RunQueue::instance().submit(paused, false);
    waitFor([] { return false; }, 100);
    paused->Stop();
    ASSERT_TRUE(waitFor([&] { return host2.ended; }));
    EXPECT_TRUE(host2.aborted);
    EXPECT_EQ(qv::RunningTaskCount(), 0);
}

TEST(EngineRunQueue, StopDuringAThrottledCopyIsNoCopyError)
{
    const std::string base = qvtest::makeTempDir("throttle");
    put(base + "/dst/big", "the old backup", 1600000000);
    put(base + "/src/big", std::string(20000, 'n'), 1700000000);
    RecordingHost host;
    auto snapshot = makeSnapshot({base + "/src"}, base + "/dst");
    snapshot->bandwidthBytesPerSecond = qv::RunSnapshot::bandwidthLimit(true, 1, 0); // 128 bytes a second
    auto *run = new qv::TLocalBackup(snapshot, &host);
    qv::RunQueue::instance().submit(run, false);
    ASSERT_TRUE(waitFor([&] { return host.loggedContaining(qv::kLogFile, "Copying"); }));
    waitFor([] { return false; }, 300);
    run->Stop();
    ASSERT_TRUE(waitFor([&] { return host.ended; }, 5000));
    EXPECT_TRUE(host.aborted);
    EXPECT_EQ(host.count(qv::kLogError), 0) << host.dump();
    EXPECT_EQ(qvtest::readFile(base + "/dst/big"), "the old backup");
    int entries = 0;
    if (DIR *d = ::opendir((base + "/dst").c_str())) {
        while (auto *e = ::readdir(d)) {
            entries += e->d_name[0] == '.' && (e->d_name[1] == 0 || e->d_name[1] == '.') ? 0 : 1;
        }
        ::closedir(d);
    }
    EXPECT_EQ(entries, 1);
}

TEST(EngineRunQueue, StoppingAWaitingRunEndsItWithoutStarting)
{
    const std::string base = qvtest::makeTempDir("waitstop");
    put(base + "/src/a", std::string(100000, 'a'));
    RecordingHost first, second;
    auto s1 = makeSnapshot({base + "/src"}, base + "/dst1");
    s1->bandwidthBytesPerSecond = 20000;
    auto *r1 = new qv::TLocalBackup(s1, &first);
    auto *r2 = new qv::TLocalBackup(makeSnapshot({base + "/src"}, base + "/dst2"), &second);
    qv::RunQueue::instance().submit(r1, true);
    qv::RunQueue::instance().submit(r2, true);
    EXPECT_EQ(qv::RunningTaskCount(), 2);
    r2->Stop();
    EXPECT_TRUE(second.ended);
    EXPECT_TRUE(second.aborted);
    EXPECT_EQ(qv::RunningTaskCount(), 1);
    r1->Stop();
    ASSERT_TRUE(waitFor([&] { return first.ended; }));
    EXPECT_EQ(qv::RunningTaskCount(), 0);
    EXPECT_FALSE(exists(base + "/dst2/a"));
}

// One step of the queue table: what happens to run `run`, then the counts the queue must show.
enum class Step { Submit, SubmitAlone, Resume, Stop };
struct QueueRow {
    Step step;
    int run;
    bool waitsForEnd; // the step ends a started run: wait for its end before checking
    int count, active, waiting;
};

TEST(EngineRunQueue, CountsAreTheQueueRecordsAtEveryStep)
{
    const QueueRow rows[] = {
        {Step::Submit, 0, false, 1, 1, 0},
        {Step::Submit, 1, false, 2, 1, 1},
        {Step::Submit, 2, false, 3, 1, 2},
        {Step::Stop, 1, false, 2, 1, 1},        // a waiting run ends at once, never started
        {Step::SubmitAlone, 3, false, 3, 2, 1}, // "one at a time" off: starts beside run 0
        {Step::Resume, 0, true, 2, 1, 1},       // run 3 still runs: run 2 keeps waiting
        {Step::Stop, 3, true, 1, 1, 0},         // nothing runs now: run 2 starts
        {Step::Resume, 2, true, 0, 0, 0},
    };
    const std::string base = qvtest::makeTempDir("table");
    const int runs = 4;
    std::vector<std::unique_ptr<RecordingHost>> hosts;
    std::vector<qv::TLocalBackup *> objects(runs, nullptr);
    auto &queue = qv::RunQueue::instance();
    // What a host saw when told of its run's end: the queue must have let go of the run already,
    // so that whatever the end refreshes (the window's buttons, the tray) sees it gone.
    std::vector<int> heldAtEnd(runs, -1);
    for (int i = 0; i < runs; ++i) {
        put(base + "/src" + std::to_string(i) + "/f", "file " + std::to_string(i));
        hosts.push_back(std::make_unique<RecordingHost>());
        RecordingHost *h = hosts.back().get();
        h->onFinished = [&queue, &heldAtEnd, h, i] {
            heldAtEnd[static_cast<std::size_t>(i)] = queue.serves(h) ? 1 : 0;
        };
    }
    ASSERT_EQ(qv::RunningTaskCount(), 0);
    int row = 0;
    for (const QueueRow &r : rows) {
        SCOPED_TRACE("row " + std::to_string(row++));
        RecordingHost &host = *hosts[static_cast<std::size_t>(r.run)];
        switch (r.step) {
        case Step::Submit:
        case Step::SubmitAlone: {
            const std::string i = std::to_string(r.run);
            auto *run = new qv::TLocalBackup(makeSnapshot({base + "/src" + i}, base + "/dst" + i), &host);
            run->setSuspended(true); // holds at its gate once started, until resumed or stopped
            objects[static_cast<std::size_t>(r.run)] = run;
            queue.submit(run, r.step == Step::Submit);
            break;
        }
        case Step::Resume:
            objects[static_cast<std::size_t>(r.run)]->setSuspended(false);
            break;
        case Step::Stop:
            objects[static_cast<std::size_t>(r.run)]->Stop();
            break;
        }
        if (r.waitsForEnd) {
            ASSERT_TRUE(waitFor([&] { return host.ended; }));
        }
        EXPECT_EQ(qv::RunningTaskCount(), r.count);
        EXPECT_EQ(queue.activeCount(), r.active);
        EXPECT_EQ(queue.waitingCount(), r.waiting);
        // The counts are the records, and the records are exactly the runs whose end was not told.
        const auto records = queue.records();
        ASSERT_EQ(static_cast<int>(records.size()), qv::RunningTaskCount());
        int started = 0;
        for (const auto &rec : records) {
            started += rec.started ? 1 : 0;
        }
        EXPECT_EQ(started, queue.activeCount());
        for (int i = 0; i < runs; ++i) {
            const RecordingHost &h = *hosts[static_cast<std::size_t>(i)];
            const qv::TLocalBackup *run = objects[static_cast<std::size_t>(i)];
            const bool held = run != nullptr && std::any_of(records.begin(), records.end(),
                                                            [run](const auto &rec) { return rec.run == run; });
            EXPECT_EQ(held, run != nullptr && !h.ended) << "run " << i;
            EXPECT_EQ(queue.serves(&h), held) << "run " << i;
        }
    }
    EXPECT_EQ(heldAtEnd, std::vector<int>(runs, 0));
    EXPECT_TRUE(hosts[1]->aborted);
    EXPECT_FALSE(exists(base + "/dst1/f")) << "a run stopped while waiting never copies";
    EXPECT_TRUE(hosts[2]->logged(qv::kLogInformation, "Queue OK."));
    EXPECT_EQ(qvtest::readFile(base + "/dst0/f"), "file 0");
    EXPECT_EQ(qvtest::readFile(base + "/dst2/f"), "file 2");
    EXPECT_TRUE(hosts[3]->aborted);
}

} // namespace
