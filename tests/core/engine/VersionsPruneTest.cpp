// Versions and deleted copies are pruned oldest first by when they were made, whatever the time
// zone or daylight saving time did between runs: across qv-run processes whose TZ moves from
// Tokyo to Los Angeles, and across the repeated hour of an autumn night (a stepped clock in
// Berlin). Copies named before, in local time without a zone, are pruned among the new ones.
// qv-test-labels: interop
// qv-test-timeout: 300
#include "EngineTestSupport.h"

#include "core/engine/LocalBackup.h"
#include "core/settings/DateTime.h"

#include <gtest/gtest.h>

#include <QTimeZone>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <dirent.h>

namespace {

using namespace enginetest;

// The contents of the files in `folder`, sorted.
std::vector<std::string> contents(const std::string &folder)
{
    std::vector<std::string> found;
    if (DIR *d = ::opendir(folder.c_str())) {
        while (const dirent *e = ::readdir(d)) {
            if (e->d_name[0] != '.') {
                found.push_back(qvtest::readFile(folder + "/" + e->d_name));
            }
        }
        ::closedir(d);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Before run k the source's f.txt holds "c<k>" (newer each time) and the destination holds an
// obsolete gone.txt with "g<k>": run k keeps c<k-1> as a version and g<k> as a deleted copy.
void prepareRun(const std::string &base, int k)
{
    put(base + "/src/f.txt", "c" + std::to_string(k), 1600000000 + 100L * k);
    if (k > 1) {
        put(base + "/dst/gone.txt", "g" + std::to_string(k));
    }
}

TEST(VersionsPrune, OldestFirstAcrossATimeZoneChange)
{
    const std::string base = qvtest::makeTempDir("zones");
    for (int k = 1; k <= 7; ++k) {
        prepareRun(base, k);
        const auto r =
            qvtest::runCommand({"env",
                                std::string("TZ=") + (k <= 4 ? "Asia/Tokyo" : "America/Los_Angeles"),
                                qvtest::binPath("qv-run"),
                                "--quiet",
                                "--type",
                                "exact",
                                "--source",
                                base + "/src",
                                "--dest",
                                base + "/dst",
                                "--versions",
                                base + "/V",
                                "--versions-num",
                                "3",
                                "--delete-kind",
                                "archive",
                                "--archive",
                                base + "/A",
                                "--archive-num",
                                "3"},
                               60);
        ASSERT_EQ(r.exitCode, 0) << "run " << k << ":\n" << r.output;
    }
    EXPECT_EQ(contents(base + "/V"), (std::vector<std::string>{"c4", "c5", "c6"}));
    EXPECT_EQ(contents(base + "/A"), (std::vector<std::string>{"g5", "g6", "g7"}));
}

// Sets TZ for the test's own process and puts it back.
class ZoneOfProcess
{
public:
    explicit ZoneOfProcess(const char *zone)
    {
        if (const char *old = std::getenv("TZ")) {
            m_old = old;
            m_had = true;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneOfProcess()
    {
        m_had ? ::setenv("TZ", m_old.c_str(), 1) : ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

struct ClockOfRun
{
    explicit ClockOfRun(const QDateTime &t) : clock(t) { qv::setClock(&clock); }
    ~ClockOfRun() { qv::setClock(nullptr); }
    qv::FixedClock clock;
};

// Runs 2-5 at 02:20 and 02:40 summer time, then 02:05 and 02:25 winter time, of one night.
TEST(VersionsPrune, OldestFirstAcrossTheRepeatedAutumnHour)
{
    ZoneOfProcess berlin("Europe/Berlin");
    const qint64 night = QDateTime(QDate(2026, 10, 25), QTime(0, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    const qint64 minutes[] = {0, 20, 40, 65, 85}; // after 00:00 UTC; the clocks go back at 01:00 UTC
    const std::string base = qvtest::makeTempDir("autumn");
    for (int k = 1; k <= 5; ++k) {
        prepareRun(base, k);
        ClockOfRun at(QDateTime::fromMSecsSinceEpoch(night + minutes[k - 1] * 60000));
        auto snapshot = makeSnapshot({base + "/src"}, base + "/dst", qv::BackupTaskType::ExactCopy);
        snapshot->versionsKeep = true;
        snapshot->versionsFolder = base + "/V/";
        snapshot->versionsFilesNum = 3;
        snapshot->deleteKind = qv::BackupDeleteKind::Archive;
        snapshot->archiveFolder = base + "/A/";
        snapshot->keepDeletedFilesNum = 3;
        RecordingHost host;
        qv::TLocalBackup run(snapshot, &host);
        run.runInPlace();
        ASSERT_FALSE(host.aborted) << host.dump();
    }
    EXPECT_EQ(contents(base + "/V"), (std::vector<std::string>{"c2", "c3", "c4"}));
    EXPECT_EQ(contents(base + "/A"), (std::vector<std::string>{"g3", "g4", "g5"}));
}

// A versions folder of copies named in local time before: they are the oldest and go first.
TEST(VersionsPrune, CopiesNamedInLocalTimeBeforeArePrunedAmongTheNewOnes)
{
    const std::string base = qvtest::makeTempDir("older");
    put(base + "/V/f.txt.20240101120000000", "old1");
    put(base + "/V/f.txt.20250101120000000", "old2");
    put(base + "/V/g.txt.20200101120000000", "other file"); // another file's copy stays
    for (int k = 1; k <= 3; ++k) {
        prepareRun(base, k);
        const auto r =
            qvtest::runCommand({qvtest::binPath("qv-run"), "--quiet", "--source", base + "/src", "--dest",
                                base + "/dst", "--versions", base + "/V", "--versions-num", "3"},
                               60);
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
    EXPECT_EQ(contents(base + "/V"), (std::vector<std::string>{"c1", "c2", "old2", "other file"}));
}

} // namespace
