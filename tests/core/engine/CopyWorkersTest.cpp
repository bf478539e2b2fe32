// Copying with several workers: the same lines in the same order, the same destination, whatever
// the number of workers; a stop in the middle keeps every file old or new; one bandwidth budget.
// qv-test-timeout: 300
#include "EngineTestSupport.h"

#include "platform/Processors.h"

#include "core/engine/CopyWorkers.h"
#include "core/engine/LocalBackup.h"
#include "platform/fake/FakeFileIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <regex>
#include <sched.h>
#include <set>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace enginetest;
using qv::BackupTaskType;
namespace fs = std::filesystem;

// QV_COPY_WORKERS for the length of a scope.
class WorkersOverride
{
public:
    explicit WorkersOverride(int workers)
    {
        if (const char *old = std::getenv("QV_COPY_WORKERS")) {
            m_old = old;
            m_had = true;
        }
        ::setenv("QV_COPY_WORKERS", std::to_string(workers).c_str(), 1);
    }
    ~WorkersOverride()
    {
        if (m_had) {
            ::setenv("QV_COPY_WORKERS", m_old.c_str(), 1);
        } else {
            ::unsetenv("QV_COPY_WORKERS");
        }
    }

private:
    std::string m_old;
    bool m_had = false;
};

struct FileState {
    std::string data;
    unsigned mode = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileState &) const = default;
};
using Tree = std::map<std::string, FileState>;

// Version names carry the time they were made; two runs agree on everything else.
std::string withoutStamps(const std::string &text)
{
    static const std::regex stamp("\\.[0-9]{17}");
    return std::regex_replace(text, stamp, ".<stamp>");
}

// Every entry below `root` (folders as empty entries), with temporary copies listed apart.
Tree readTree(const std::string &root, std::vector<std::string> *temps = nullptr)
{
    Tree tree;
    if (!fs::exists(root)) {
        return tree;
    }
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
        const std::string rel = withoutStamps(entry.path().string().substr(root.size()));
        if (entry.path().filename().string().find(".qvtmp-") != std::string::npos) {
            if (temps != nullptr) {
                temps->push_back(rel);
            }
            continue;
        }
        struct stat st;
        ::lstat(entry.path().c_str(), &st);
        FileState state;
        state.mode = st.st_mode;
        if (S_ISREG(st.st_mode)) {
            state.data = qvtest::readFile(entry.path().string());
            state.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        }
        tree[rel] = state;
    }
    return tree;
}

std::int64_t bytesBelow(const std::string &root)
{
    std::int64_t total = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_regular_file(ec)) {
            total += static_cast<std::int64_t>(it->file_size(ec));
        }
    }
    return total;
}

std::string content(std::mt19937 &gen, std::size_t size)
{
    std::string s(size, '\0');
    for (char &c : s) {
        c = static_cast<char>('a' + gen() % 26);
    }
    return s;
}

// put() without a shell per file: the scenarios write thousands of files.
void putFast(const std::string &path, const std::string &data, long mtime)
{
    fs::create_directories(fs::path(path).parent_path());
    qvtest::writeFile(path, data);
    struct timeval tv[2] = {{mtime, 0}, {mtime, 0}};
    ::utimes(path.c_str(), tv);
}

enum class Space { Plenty, RunsOut };

struct Scenario {
    const char *name;
    BackupTaskType type;
    bool oldDestination; // a destination from an earlier run: skips, older and newer files
    bool versions;
    Space space;
    bool everyAlert = false; // every kind of alert shows (else errors and the end only)
};

// A host whose user sees alerts of errors and of the end only, as most tasks are set up: file
// and warning lines then need no answer, and the workers may test and plan the files themselves.
class ErrorAlertsHost : public RecordingHost
{
public:
    bool everyAlert = false;
    bool alertsKind(int kind) const override { return everyAlert || kind == qv::akError || kind == qv::akFinish; }
};

// What one run reported and left behind.
struct Outcome {
    std::vector<std::string> lines;
    std::vector<std::string> alerts;
    Tree destination;
    Tree versions;
    std::vector<std::string> temps;
    bool aborted = false;
    int errors = 0;
    int keptVersions = 0;
    bool testedOffThread = false; // a file's in-use test ran on a worker
};

// Builds the scenario's trees afresh under `base` and runs it with `workers` copy workers.
Outcome runScenario(const Scenario &sc, const std::string &base, int workers)
{
    const std::string src = base + "/src/", dst = base + "/dst/", versions = base + "/versions/";
    qvtest::runShell("rm -rf '" + base + "' && mkdir -p '" + src + "' '" + dst + "'");
    std::mt19937 gen(31);
    for (int d = 0; d < 12; ++d) {
        for (int f = 0; f < 25; ++f) {
            const std::string rel = "d" + std::to_string(d) + "/f" + std::to_string(f);
            const std::size_t size = f == 7 ? 300000 : gen() % 20000;
            putFast(src + rel, content(gen, size), 1700000000 + f);
            if (sc.oldDestination && f % 3 != 0) {
                // f%3==1: an older destination (copied again); f%3==2 and f%5==0: a newer one.
                const long when = f % 3 == 1 || f % 5 != 0 ? 1600000000 : 1800000000;
                putFast(dst + rel, content(gen, gen() % 5000), when);
            }
        }
    }
    put(src + "d0/same", "unchanged", 1700000000);
    put(dst + "d0/same", "unchanged", 1700000000);
    qvtest::runShell("mkdir -p '" + dst + "d4/f9'"); // a folder where a file should go
    ::chmod((src + "d3/f6").c_str(), 0);              // unreadable

    qv::BackupServices services;
    // The end of d0/f0, the first file copied, removes d9/f9 and turns d9/f3 into a folder:
    // files that vanish after the scan, at the same point of the run for any number of workers
    // (the last folder is further ahead than the workers ever get).
    services.afterCopy = [src, dst](const std::string &path) {
        if (path == dst + "d0/f0") {
            ::unlink((src + "d9/f9").c_str());
            ::unlink((src + "d9/f3").c_str());
            ::mkdir((src + "d9/f3").c_str(), 0755);
        }
    };
    auto offThread = std::make_shared<std::atomic<bool>>(false);
    const std::thread::id runThread = std::this_thread::get_id();
    services.isInUse = [offThread, runThread](const std::string &, int) {
        if (std::this_thread::get_id() != runThread) {
            offThread->store(true);
        }
        return false;
    };
    if (sc.space == Space::RunsOut) {
        // 2.5 MB more than the destination held. Near a full disk every file is checked against
        // what the file system says after the files before it, so the run goes one file at a time.
        const std::int64_t capacity = 2500000 + bytesBelow(dst);
        services.freeBytes = [dst, capacity](const std::string &) { return capacity - bytesBelow(dst); };
    }
    auto snapshot = makeSnapshot({src}, dst, sc.type);
    if (sc.versions) {
        snapshot->versionsKeep = true;
        snapshot->versionsFolder = versions;
        snapshot->versionsFilesNum = 5;
    }
    Outcome out;
    {
        WorkersOverride override(workers);
        ErrorAlertsHost host;
        host.everyAlert = sc.everyAlert;
        qv::TLocalBackup backup(snapshot, &host, services);
        backup.runInPlace();
        out.testedOffThread = offThread->load();
        for (const auto &l : host.lines) {
            out.lines.push_back(std::to_string(l.kind) + " " + withoutStamps(l.text));
            out.keptVersions += l.text.rfind("Moving file \"", 0) == 0 && l.text.find(versions) != std::string::npos;
        }
        for (const auto &a : host.alerts) {
            out.alerts.push_back(std::to_string(a.kind) + " " + a.buttons + " " + withoutStamps(a.text));
        }
        out.aborted = host.aborted;
        out.errors = host.count(qv::kLogError);
    }
    out.destination = readTree(dst, &out.temps);
    out.versions = readTree(versions, &out.temps);
    return out;
}

TEST(CopyWorkers, OneTwoAndEightWorkersLogAndLeaveTheSame)
{
    std::string why;
    switch (qvtest::rerunCurrentTestAsNobody(&why)) {
    case qvtest::AsNobody::Ran:
        return;
    case qvtest::AsNobody::Unavailable:
        GTEST_SKIP() << why;
    case qvtest::AsNobody::NotRoot:
        break;
    }
    const Scenario scenarios[] = {
        {"first simple copy", BackupTaskType::SimpleCopy, false, false, Space::Plenty},
        {"exact copy over an older destination", BackupTaskType::ExactCopy, true, false, Space::Plenty},
        {"simple copy keeping versions", BackupTaskType::SimpleCopy, true, true, Space::Plenty},
        {"first copy that runs out of space", BackupTaskType::SimpleCopy, false, false, Space::RunsOut},
        {"versions on a disk that fills up", BackupTaskType::SimpleCopy, true, true, Space::RunsOut},
        {"every alert shown", BackupTaskType::ExactCopy, true, true, Space::Plenty, true},
        {"synchronisation over an older destination", BackupTaskType::Synchronize, true, false, Space::Plenty},
        {"synchronisation that runs out of space", BackupTaskType::Synchronize, true, false, Space::RunsOut},
    };
    const std::string base = qvtest::makeTempDir("workers") + "/run";
    for (const Scenario &sc : scenarios) {
        SCOPED_TRACE(sc.name);
        const Outcome one = runScenario(sc, base, 1);
        // The scenario is what it claims: the unreadable, the vanished and the blocked file failed
        // (the file turned into a folder is skipped as in use), space ran out where asked.
        EXPECT_GE(one.errors, sc.space == Space::Plenty ? 3 : 1) << testing::PrintToString(one.lines);
        EXPECT_EQ(one.aborted, sc.space == Space::RunsOut) << testing::PrintToString(one.lines);
        EXPECT_TRUE(one.temps.empty()) << one.temps.front();
        if (sc.versions) {
            // Each version logged is in the archive: a failed copy never takes an earlier file's version.
            int files = 0;
            for (const auto &[rel, state] : one.versions) {
                files += S_ISREG(state.mode) ? 1 : 0;
            }
            EXPECT_GT(one.keptVersions, 0);
            EXPECT_EQ(files, one.keptVersions);
        }
        for (int workers : {2, 8}) {
            SCOPED_TRACE(std::to_string(workers) + " workers");
            const Outcome many = runScenario(sc, base, workers);
            EXPECT_EQ(many.lines, one.lines);
            EXPECT_EQ(many.alerts, one.alerts);
            EXPECT_EQ(many.aborted, one.aborted);
            EXPECT_TRUE(many.destination == one.destination) << "the destinations differ";
            EXPECT_TRUE(many.versions == one.versions) << "the versions differ";
            EXPECT_TRUE(many.temps.empty()) << many.temps.front();
            // Where no line needs an answer and space is plenty, the workers really took part.
            if (!sc.everyAlert && sc.space == Space::Plenty) {
                EXPECT_TRUE(many.testedOffThread) << "every file was tested on the run's own thread";
            }
        }
    }
    qvtest::runShell("chmod -R u+rwx '" + base + "' ; rm -rf '" + base + "'");
}

// An alert answered Stop finds the run where a run of one file after another would be: the files
// before it done, nothing of the files after the one being decided (no folder made, nothing
// written), and the same lines (those of files decided before the stop included), whatever the
// number of workers. The files: a/new (copied), a/old (the destination is newer: a warning), then
// b/x and c/y in folders the run creates.
TEST(CopyWorkers, AnAlertAnsweredStopLeavesTheLaterFilesUntouched)
{
    struct Case {
        const char *name;
        std::set<int> shown; // alert kinds shown besides errors and the end
        int stopAt;          // the alert answered Stop, counted from 1
        std::vector<std::string> lastAlert; // its kind and the start of its text
        std::set<std::string> destination;  // what the destination holds after the run
        const char *failCommit = nullptr;   // the file of a/ whose copy fails at its link or rename
    };
    const Case cases[] = {
        {"a warning", {qv::akWarning}, 1, {"Skipping", "a/old"}, {"/a", "/a/new", "/a/old"}},
        {"a file", {qv::akFile}, 2, {"Copying", "b/x"}, {"/a", "/a/new", "/a/old", "/b"}},
        {"a folder", {qv::akFile, qv::akWarning, qv::akFolder}, 5, {"Creating folder", "/c"},
         {"/a", "/a/new", "/a/old", "/b", "/b/x"}},
        // The copy of a/new fails at its end, when b/x is being decided (its folder made): only
        // errors show.
        {"an error", {}, 1, {"Can't copy", "a/new"}, {"/a", "/a/old", "/b"}, "new"},
    };
    const std::string base = qvtest::makeTempDir("stopanswer");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> firstLines, firstAlerts;
        for (int workers : {1, 2, 8}) {
            SCOPED_TRACE(std::to_string(workers) + " workers");
            const std::string src = base + "/src/", dst = base + "/dst";
            qvtest::runShell("rm -rf '" + base + "' && mkdir -p '" + dst + "'");
            put(src + "a/new", "new", 1700000000);
            put(src + "a/old", "older", 1600000000);
            put(dst + "/a/old", "newer", 1700000000);
            put(src + "b/x", "x", 1700000000);
            put(src + "c/y", "y", 1700000000);
            WorkersOverride override(workers);
            qv::FakeFileIo io;
            if (c.failCommit != nullptr) {
                io.failLink(std::string("a/") + c.failCommit, EIO);
                io.failRename(std::string("a/.") + c.failCommit, EIO); // where it has a temporary name
            }
            class Host : public RecordingHost
            {
            public:
                std::set<int> shown;
                bool alertsKind(int kind) const override
                {
                    return shown.count(kind) != 0 || kind == qv::akError || kind == qv::akFinish;
                }
            } host;
            host.shown = c.shown;
            host.answer = [&host, &c](int, const std::string &, const std::string &) {
                return static_cast<int>(host.alerts.size()) == c.stopAt ? qv::aaStop : qv::aaNone;
            };
            qv::TLocalBackup backup(makeSnapshot({src}, dst + "/"), &host, {});
            backup.runInPlace();
            EXPECT_TRUE(host.aborted);
            ASSERT_EQ(static_cast<int>(host.alerts.size()), c.stopAt) << host.dump();
            const std::string last = host.alerts.back().text;
            EXPECT_NE(last.find(c.lastAlert[0]), std::string::npos) << last;
            EXPECT_NE(last.find(c.lastAlert[1]), std::string::npos) << last;
            std::vector<std::string> temps;
            std::set<std::string> held;
            for (const auto &[rel, state] : readTree(dst, &temps)) {
                held.insert(rel);
            }
            EXPECT_EQ(held, c.destination) << host.dump();
            EXPECT_TRUE(temps.empty()) << temps.front();
            std::vector<std::string> lines, alerts;
            for (const auto &l : host.lines) {
                lines.push_back(std::to_string(l.kind) + " " + l.text);
            }
            for (const auto &a : host.alerts) {
                alerts.push_back(std::to_string(a.kind) + " " + a.text);
            }
            if (workers == 1) {
                firstLines = lines;
                firstAlerts = alerts;
            } else {
                EXPECT_EQ(lines, firstLines);
                EXPECT_EQ(alerts, firstAlerts);
            }
        }
    }
    qvtest::runShell("rm -rf '" + base + "'");
}

// A previous file's version is not removed when a later copy fails before it was written.
TEST(CopyWorkers, AFailedCopyKeepsTheVersionOfTheFileBefore)
{
    const std::string base = qvtest::makeTempDir("lastversion");
    const std::string src = base + "/src/", dst = base + "/dst/", versions = base + "/versions/";
    put(src + "a", "new a", 1700000000);
    put(src + "b", "new b", 1700000000);
    put(dst + "a", "old a", 1600000000);
    put(dst + "b", "old b", 1600000000);
    qv::BackupServices services;
    // b vanishes after the scan, before anything is written (files are written ahead of their
    // turn, so b's write comes before a ends): b's copy fails, at its turn after a's version.
    services.freeBytes = [src](const std::string &) -> std::int64_t {
        ::unlink((src + "b").c_str());
        return INT64_MAX;
    };
    WorkersOverride override(1);
    auto snapshot = makeSnapshot({src}, dst);
    snapshot->versionsKeep = true;
    snapshot->versionsFolder = versions;
    snapshot->versionsFilesNum = 5;
    RecordingHost host;
    qv::TLocalBackup backup(snapshot, &host, services);
    backup.runInPlace();
    EXPECT_EQ(qvtest::readFile(dst + "a"), "new a");
    EXPECT_EQ(qvtest::readFile(dst + "b"), "old b");
    EXPECT_TRUE(host.loggedContaining(qv::kLogError, "Can't copy file \"" + src + "b\"")) << host.dump();
    const Tree kept = readTree(versions);
    ASSERT_EQ(kept.size(), 1u) << host.dump();
    EXPECT_EQ(kept.begin()->second.data, "old a");
}

// A stop while eight workers are writing: the run ends, each destination file is its old or its
// new content (a new file is absent or whole), and no temporary file stays.
TEST(CopyWorkers, StopWhileWorkersWriteKeepsEveryFileOldOrNew)
{
    for (const bool replacing : {true, false}) {
        SCOPED_TRACE(replacing ? "replacing files" : "new files");
        const std::string base = qvtest::makeTempDir("stop");
        const std::string src = base + "/src/", dst = base + "/dst/";
        std::mt19937 gen(5);
        std::map<std::string, std::string> before, after;
        for (int i = 0; i < 120; ++i) {
            const std::string rel = "d" + std::to_string(i % 6) + "/f" + std::to_string(i);
            before[rel] = content(gen, 30000);
            after[rel] = content(gen, 40000);
            if (replacing) {
                put(dst + rel, before[rel], 1600000000);
            }
            put(src + rel, after[rel], 1700000000);
        }
        auto snapshot = makeSnapshot({src}, dst, BackupTaskType::ExactCopy);
        snapshot->bandwidthBytesPerSecond = 4 * 1024 * 1024; // about a second for the whole tree
        qv::BackupServices services;
        int committed = 0;
        qv::TLocalBackup *running = nullptr;
        services.afterCopy = [&](const std::string &) {
            if (++committed == 20) {
                running->Stop();
            }
        };
        WorkersOverride override(8);
        RecordingHost host;
        qv::TLocalBackup backup(snapshot, &host, services);
        running = &backup;
        backup.runInPlace();
        EXPECT_TRUE(host.aborted);
        EXPECT_EQ(committed, 20) << "no file may end after the stop";
        std::vector<std::string> temps;
        const Tree now = readTree(dst, &temps);
        EXPECT_TRUE(temps.empty()) << temps.front();
        int fresh = 0;
        for (const auto &[rel, data] : before) {
            auto it = now.find(rel);
            if (!replacing && it == now.end()) {
                continue;
            }
            ASSERT_NE(it, now.end()) << rel << " is missing";
            const bool isNew = it->second.data == after[rel];
            EXPECT_TRUE(isNew || (replacing && it->second.data == data)) << rel << " is neither old nor new";
            fresh += isNew ? 1 : 0;
        }
        // A replaced file ends at its turn; a new one takes its name once written, so those
        // written while the stop came are there too.
        if (replacing) {
            EXPECT_EQ(fresh, 20);
        } else {
            EXPECT_GE(fresh, 20);
            EXPECT_LT(fresh, 120);
        }
    }
}

// Eight workers share one bandwidth budget. The run's rate (all bytes over the whole run, scan
// included) may not exceed the limit by more than 10 %. A budget charged twice would make the run
// take twice its nominal time; how long the same copy takes here without a limit, measured before
// and after, is what this machine adds to the nominal time at most, so the run must end within
// one and a half nominal times plus that.
TEST(CopyWorkers, EightWorkersShareOneBandwidthLimit)
{
    const std::string base = qvtest::makeTempDir("bandwidth");
    const std::string src = base + "/src/";
    std::mt19937 gen(9);
    std::int64_t total = 0;
    for (int i = 0; i < 48; ++i) {
        const std::size_t size = 40000 + gen() % 80000;
        put(src + "d" + std::to_string(i % 4) + "/f" + std::to_string(i), content(gen, size), 1700000000);
        total += static_cast<std::int64_t>(size);
    }
    const std::int64_t limit = total / 2; // two seconds at the limit
    WorkersOverride override(8);
    auto timedRun = [&](const std::string &dst, std::int64_t bytesPerSecond) {
        auto snapshot = makeSnapshot({src}, dst);
        snapshot->bandwidthBytesPerSecond = bytesPerSecond;
        RecordingHost host;
        qv::TLocalBackup backup(snapshot, &host, {});
        const auto t0 = std::chrono::steady_clock::now();
        backup.runInPlace();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_FALSE(host.aborted) << host.dump();
        EXPECT_EQ(bytesBelow(dst), total) << dst;
        return seconds;
    };
    const double freeBefore = timedRun(base + "/free1/", -1);
    const double seconds = timedRun(base + "/limited/", limit);
    const double freeAfter = timedRun(base + "/free2/", -1);
    const double nominal = static_cast<double>(total) / static_cast<double>(limit);
    const double rate = static_cast<double>(total) / seconds;
    EXPECT_LE(rate, 1.10 * static_cast<double>(limit)) << "the workers together went over the limit";
    EXPECT_LE(seconds, 1.5 * nominal + std::max(freeBefore, freeAfter)) << "the limit was applied more than once";
    std::cout << "rate " << rate / static_cast<double>(limit) << " of the limit over " << seconds
              << " s; without a limit " << freeBefore << " s and " << freeAfter << " s\n";
}

TEST(CopyWorkers, FilesEndInTheOrderTheyWereAdded)
{
    for (int workers : {1, 3, 8}) {
        SCOPED_TRACE(std::to_string(workers) + " workers");
        qv::CopyWorkers pool(workers);
        std::vector<int> ended;
        std::mutex mutex;
        std::set<std::thread::id> threads;
        std::atomic<int> written{0};
        for (int i = 0; i < 500; ++i) {
            pool.makeRoom(i);
            std::function<void()> work;
            if (i % 4 != 3) {
                work = [&, i] {
                    // Uneven work, so that later files are often done before earlier ones.
                    volatile std::uint64_t x = 0;
                    for (int k = 0; k < (500 - i) * 50; ++k) {
                        x = x + static_cast<std::uint64_t>(k);
                    }
                    std::lock_guard<std::mutex> lock(mutex);
                    threads.insert(std::this_thread::get_id());
                    ++written;
                };
            }
            pool.add(std::move(work), [&, i] { ended.push_back(i); }, i);
        }
        pool.drain();
        ASSERT_EQ(ended.size(), 500u);
        for (int i = 0; i < 500; ++i) {
            ASSERT_EQ(ended[static_cast<std::size_t>(i)], i);
        }
        EXPECT_EQ(written.load(), 375);
        EXPECT_EQ(pool.workers(), workers);
        if (workers == 1) {
            EXPECT_EQ(threads, std::set<std::thread::id>{std::this_thread::get_id()});
        } else {
            EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u) << "the data is written off the run's thread";
        }
    }
}

TEST(CopyWorkers, WorkerCountFollowsTheOverrideAndTheCores)
{
    const qv::MountTable none = qv::MountTable::fromText("", "");
    {
        WorkersOverride override(5);
        EXPECT_EQ(qv::CopyWorkers::countFor({"/"}, none), 5);
    }
    {
        WorkersOverride override(0); // out of range: the rule applies
        cpu_set_t set;
        CPU_ZERO(&set);
        ASSERT_EQ(::sched_getaffinity(0, sizeof set, &set), 0);
        const int cores = CPU_COUNT(&set); // what taskset or a cpuset leaves this process
        const int parallel = cores < 2 ? 1 : std::clamp(cores - 1, 2, 8);
        const int rule = qv::CopyWorkers::countFor({fs::temp_directory_path().string()}, none);
        EXPECT_TRUE(rule == 1 || rule == parallel) << rule;
        // /proc is neither a disk nor the network: the rule gives it a worker for every core but
        // the backup thread's own, two at least (on two cores), up to eight.
        EXPECT_EQ(qv::CopyWorkers::countFor({"/proc"}, none), parallel);
        // Pinned to one, two and three of its cores (as taskset does), where the machine has them.
        const std::pair<int, int> pinned[] = {{1, 1}, {2, 2}, {3, 2}};
        for (const auto &[count, workers] : pinned) {
            if (count > cores || (qv::usableCores() < cores && count > 1)) {
                continue; // a cgroup limit below the cores would decide instead
            }
            SCOPED_TRACE(count);
            cpu_set_t few;
            CPU_ZERO(&few);
            for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < count; ++cpu) {
                if (CPU_ISSET(cpu, &set)) {
                    CPU_SET(cpu, &few);
                    ++taken;
                }
            }
            ASSERT_EQ(::sched_setaffinity(0, sizeof few, &few), 0);
            EXPECT_EQ(qv::CopyWorkers::countFor({"/proc"}, none), workers);
            ASSERT_EQ(::sched_setaffinity(0, sizeof set, &set), 0);
        }
    }
}

} // namespace
