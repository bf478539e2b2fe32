// Names that only look like the program's temporary files are the user's files in every mode; a
// synchronisation counts each file once in its summary, names each file dated in the future and,
// comparing contents, each pair of the same time and size that differs.
#include "EngineTestSupport.h"

#include "core/engine/LocalBackup.h"
#include "platform/FileCopy.h"
#include "platform/FileIo.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace enginetest;
using qv::BackupTaskType;

std::unique_ptr<RecordingHost> runBackup(std::shared_ptr<qv::RunSnapshot> snapshot)
{
    auto host = std::make_unique<RecordingHost>();
    qv::TLocalBackup backup(snapshot, host.get(), {});
    backup.runInPlace();
    return host;
}

std::string summaryOf(const RecordingHost &host)
{
    for (const auto &l : host.lines) {
        if (l.text.starts_with("Total summary:")) {
            return l.text;
        }
    }
    return "(no summary)";
}

// Whether a file named `name` is in the trash of this test's HOME.
bool inTrash(const std::string &name)
{
    const auto r = qvtest::runShell("find \"$HOME\" -path '*Trash/files/*' -name '" + name + "*'");
    return !r.output.empty();
}

} // namespace

// A user's file named like a temporary one is copied, synced and deleted like any other; a
// temporary file a killed run left is removed and never copied.
TEST(EngineLookalikeNames, AreTheUsersFilesInEveryMode)
{
    const std::string mine = ".notes.qvtmp-abcd1234";
    const std::string theirs = ".other.qvtmp-ABCD5678";
    const std::string killed = qv::tempNameBeside("f");
    struct Case
    {
        BackupTaskType type;
        std::vector<std::string> sourceAfter;
        std::vector<std::string> destinationAfter;
    };
    const Case cases[] = {
        {BackupTaskType::SimpleCopy, {mine, "f"}, {mine, theirs, "f"}},
        {BackupTaskType::ExactCopy, {mine, "f"}, {mine, "f"}},
        {BackupTaskType::Synchronize, {mine, theirs, "f"}, {mine, theirs, "f"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        const std::string base = qvtest::makeTempDir("lookalike");
        put(base + "/src/" + mine, "mine", 1700000000);
        put(base + "/src/f", "f", 1700000000);
        put(base + "/dst/" + theirs, "theirs", 1700000000);
        put(base + "/dst/" + killed, "killed copy", 1700000000);
        auto s = makeSnapshot({base + "/src"}, base + "/dst", c.type);
        s->deleteKind = qv::BackupDeleteKind::Recycle;
        const auto host = runBackup(s);
        EXPECT_FALSE(host->undone) << host->dump();
        std::vector<std::string> source, destination;
        for (const std::string &n : {mine, theirs, killed, std::string("f")}) {
            if (exists(base + "/src/" + n)) {
                source.push_back(n);
            }
            if (exists(base + "/dst/" + n)) {
                destination.push_back(n);
            }
        }
        EXPECT_EQ(source, c.sourceAfter) << host->dump();
        EXPECT_EQ(destination, c.destinationAfter) << host->dump();
        EXPECT_EQ(qvtest::readFile(base + "/dst/" + mine), "mine");
        if (c.type == BackupTaskType::ExactCopy) {
            EXPECT_TRUE(inTrash(theirs)) << host->dump(); // deleted the way the task deletes
        }
    }
}

// Files counted once: the sources' and those the way back adds to them; a second run, the same.
TEST(EngineSyncSummary, CountsEachFileOnce)
{
    const std::string base = qvtest::makeTempDir("summary");
    for (int i = 0; i < 10; ++i) {
        put(base + "/src/sub/f" + std::to_string(i), "0123456789", 1700000000);
    }
    put(base + "/dst/only/g", "abcde", 1700000000);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        const auto host =
            runBackup(makeSnapshot({base + "/src"}, base + "/dst", BackupTaskType::Synchronize));
        EXPECT_EQ(summaryOf(*host), "Total summary: 2 folders; 11 files, 105 bytes, 0 errors, 0 warnings.")
            << host->dump();
    }
}

// A file dated in the future still wins, and the run says so once for it, whichever side holds it.
TEST(EngineSyncSummary, NamesAFileDatedInTheFutureOnce)
{
    const std::string base = qvtest::makeTempDir("future");
    const long future = 3786825600; // 2090-01-01
    put(base + "/src/later", "from 2090", future);
    put(base + "/dst/later", "edited today", 1700000000);
    put(base + "/dst/back", "also 2090", future);
    put(base + "/src/now", "today", 1700000000);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        const auto host =
            runBackup(makeSnapshot({base + "/src"}, base + "/dst", BackupTaskType::Synchronize));
        int named = 0;
        for (const auto &l : host->lines) {
            if (l.text.find("in the future") != std::string::npos) {
                ++named;
                EXPECT_EQ(l.kind, qv::kLogWarning);
                EXPECT_TRUE(l.text.find("/src/later\"") != std::string::npos ||
                            l.text.find("/src/back\"") != std::string::npos)
                    << l.text;
            }
        }
        EXPECT_EQ(named, 2) << host->dump();
        EXPECT_EQ(qvtest::readFile(base + "/dst/later"), "from 2090");
        EXPECT_EQ(qvtest::readFile(base + "/src/back"), "also 2090");
    }
}

// Both sides changed, their times and sizes kept: with the content compare the run says so once and
// leaves both; without it, the pair counts as unchanged.
TEST(EngineSyncSummary, NamesSameTimeAndSizeOfOtherContentWhenComparing)
{
    for (bool compare : {true, false}) {
        SCOPED_TRACE(compare);
        const std::string base = qvtest::makeTempDir("differ");
        put(base + "/src/x", "abcd", 1700000000);
        put(base + "/dst/x", "wxyz", 1700000000);
        put(base + "/src/y", "same", 1700000000); // the control: equal contents
        put(base + "/dst/y", "same", 1700000000);
        auto s = makeSnapshot({base + "/src"}, base + "/dst", BackupTaskType::Synchronize);
        s->compareAfterCopy = compare;
        const auto host = runBackup(s);
        int named = 0;
        for (const auto &l : host->lines) {
            if (l.text.find("different contents") != std::string::npos) {
                ++named;
                EXPECT_NE(l.text.find(base + "/src/x"), std::string::npos) << l.text;
            }
        }
        EXPECT_EQ(named, compare ? 1 : 0) << host->dump();
        EXPECT_EQ(host->undone, compare) << host->dump();
        EXPECT_EQ(qvtest::readFile(base + "/src/x"), "abcd");
        EXPECT_EQ(qvtest::readFile(base + "/dst/x"), "wxyz");
    }
}
