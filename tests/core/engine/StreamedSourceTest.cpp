// Runs whose source list is too large to keep: the copy pass lists the tree again as it goes, and
// the run reports, decides and leaves exactly what a run over the kept list does.
#include "EngineTestSupport.h"

#include "core/engine/LocalBackup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <sys/time.h>

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

// An environment variable for the length of a scope.
class EnvOverride
{
public:
    EnvOverride(const char *name, const std::string &value) : m_name(name)
    {
        if (const char *old = std::getenv(name)) {
            m_old = old;
            m_had = true;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvOverride()
    {
        if (m_had) {
            ::setenv(m_name, m_old.c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char *m_name;
    std::string m_old;
    bool m_had = false;
};

// Lists as the system does, failing for one folder, and for `later` from its second listing on;
// counts the folders listed with their stats.
class CountingReader : public FailingReader
{
public:
    CountingReader(std::set<std::string> failing, std::string later)
        : FailingReader(std::move(failing)), m_later(std::move(later))
    {
    }
    bool list(const std::string &folder, std::vector<qv::DirItem> &items, int &error) override
    {
        ++listed;
        if (folder == m_later && m_laterListed++ > 0) {
            error = 5; // EIO
            return false;
        }
        return FailingReader::list(folder, items, error);
    }
    std::atomic<int> listed{0};

private:
    std::string m_later;
    std::atomic<int> m_laterListed{0};
};

struct Outcome {
    std::vector<std::string> lines;
    std::vector<std::string> alerts;
    std::map<std::string, std::string> destination; // path -> type, mode, time and content
    bool aborted = false;
    int listed = 0;
};

// put() without a shell per file.
void putFast(const std::string &path, const std::string &data, long mtime)
{
    fs::create_directories(fs::path(path).parent_path());
    qvtest::writeFile(path, data);
    struct timeval tv[2] = {{mtime, 0}, {mtime, 0}};
    ::utimes(path.c_str(), tv);
}

std::map<std::string, std::string> readTree(const std::string &root)
{
    std::map<std::string, std::string> tree;
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        std::string state = std::to_string(st.st_mode);
        if (S_ISREG(st.st_mode)) {
            state += " " + std::to_string(st.st_mtim.tv_sec) + " " + qvtest::readFile(entry.path().string());
        }
        tree[entry.path().string().substr(root.size())] = state;
    }
    return tree;
}

Outcome run(const std::string &base, qv::BackupTaskType type, const std::string &budget, int workers, bool everyAlert,
            const std::string &failsLater = {})
{
    const std::string src = base + "/src/", dst = base + "/dst/";
    qvtest::runShell("rm -rf '" + base + "' && mkdir -p '" + src + "' '" + dst + "'");
    for (int d = 0; d < 6; ++d) {
        for (int f = 0; f < 8; ++f) {
            const std::string rel = "d" + std::to_string(d) + "/s" + std::to_string(f % 2) + "/f" + std::to_string(f);
            putFast(src + rel, std::string(static_cast<std::size_t>(d * 100 + f), static_cast<char>('a' + f)),
                    1700000000 + f);
            if (d % 2 == 1) {
                // An older, a newer and an equal destination file.
                putFast(dst + rel, "old", f % 3 == 0 ? 1600000000 : f % 3 == 1 ? 1800000000 : 1700000000 + f);
            }
        }
    }
    put(src + "top", "top", 1700000000);
    put(src + "d2/only.tmp", "filtered", 1700000000);
    put(src + "d4/s0/deep/er/y.tmp", "filtered: the folders above it are empty", 1700000000);
    put(src + "locked/inner/z", "in a folder that cannot be listed", 1700000000);
    qvtest::runShell("mkdir -p '" + src + "bare/one' '" + dst + "d4/s1/f3'"); // a folder where a file goes
    ::mkfifo((src + "d1/pipe").c_str(), 0600);
    put(dst + "obsolete/file", "not in the source", 1700000000);
    put(dst + "d3/s0/gone", "not in the source", 1700000000);

    EnvOverride budgetOverride("QV_SOURCE_LIST_BYTES", budget);
    EnvOverride workersOverride("QV_COPY_WORKERS", std::to_string(workers));
    auto snapshot = makeSnapshot({src}, dst, type);
    SuffixFilter dropTmp({".tmp"}, false);
    snapshot->filters = std::make_shared<SuffixFilter>(dropTmp);
    auto reader = std::make_shared<CountingReader>(std::set<std::string>{src + "locked/"},
                                                   failsLater.empty() ? std::string() : src + failsLater);
    qv::BackupServices services;
    services.directoryReader = reader;
    class Host : public RecordingHost
    {
    public:
        bool everyAlert = false;
        bool alertsKind(int kind) const override { return everyAlert || kind == qv::akError || kind == qv::akFinish; }
    } host;
    host.everyAlert = everyAlert;
    {
        qv::TLocalBackup backup(snapshot, &host, services);
        backup.runInPlace();
    }
    Outcome out;
    for (const auto &l : host.lines) {
        out.lines.push_back(std::to_string(l.kind) + " " + l.text);
    }
    for (const auto &a : host.alerts) {
        out.alerts.push_back(std::to_string(a.kind) + " " + a.buttons + " " + a.text);
    }
    out.aborted = host.aborted;
    out.destination = readTree(dst);
    out.listed = reader->listed;
    return out;
}

TEST(EngineStreamedSource, RunsReportAndLeaveWhatRunsOverTheKeptListDo)
{
    const std::string base = qvtest::makeTempDir("streamed") + "/run";
    struct Case {
        const char *name;
        qv::BackupTaskType type;
        bool everyAlert;
    };
    const Case cases[] = {
        {"simple copy", qv::BackupTaskType::SimpleCopy, false},
        {"simple copy, every alert shown", qv::BackupTaskType::SimpleCopy, true},
        {"exact copy", qv::BackupTaskType::ExactCopy, false},
        {"exact copy, every alert shown", qv::BackupTaskType::ExactCopy, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome kept = run(base, c.type, "", 1, c.everyAlert);
        EXPECT_FALSE(kept.aborted);
        EXPECT_GT(kept.lines.size(), 20u);
        for (int workers : {1, 4}) {
            // 0: nothing is kept; 600 bytes: the scan's list is dropped part of the way through.
            for (const char *budget : {"0", "600"}) {
                SCOPED_TRACE(testing::Message() << workers << " workers, budget " << budget);
                const Outcome streamed = run(base, c.type, budget, workers, c.everyAlert);
                EXPECT_EQ(streamed.lines, kept.lines);
                EXPECT_EQ(streamed.alerts, kept.alerts);
                EXPECT_EQ(streamed.aborted, kept.aborted);
                EXPECT_TRUE(streamed.destination == kept.destination) << "the destinations differ";
                // The tree was listed twice: the scan, then the copy pass.
                EXPECT_GT(streamed.listed, kept.listed);
            }
        }
    }
    qvtest::runShell("rm -rf '" + base + "'");
}

// A folder the scan listed that cannot be listed when the pass comes to it: reported, and nothing
// in or above its destination is deleted as obsolete.
TEST(EngineStreamedSource, AFolderUnreadableAtThePassKeepsItsDestination)
{
    const std::string base = qvtest::makeTempDir("streamedlocked") + "/run";
    const Outcome kept = run(base, qv::BackupTaskType::ExactCopy, "", 1, false);
    ASSERT_EQ(kept.destination.count("d3/s0/gone"), 0u); // obsolete when the folder is read
    for (int workers : {1, 4}) {
        SCOPED_TRACE(testing::Message() << workers << " workers");
        const Outcome streamed = run(base, qv::BackupTaskType::ExactCopy, "0", workers, false, "d3/s0/");
        EXPECT_EQ(streamed.destination.count("d3/s0/gone"), 1u);
        EXPECT_EQ(streamed.destination.count("d3/s0/f0"), 1u);
        EXPECT_EQ(streamed.destination.count("obsolete/file"), 0u);
        const std::string warning = std::to_string(qv::kLogWarning) + " Unable to read folder \"" + base + "/src/d3/s0/\"";
        EXPECT_EQ(std::count_if(streamed.lines.begin(), streamed.lines.end(),
                                [&](const std::string &l) { return l.rfind(warning, 0) == 0; }),
                  1);
    }
    qvtest::runShell("rm -rf '" + base + "'");
}

} // namespace
