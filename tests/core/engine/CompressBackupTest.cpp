// The compress backup end to end in the calling thread, checked with Info-ZIP and python's zipfile.
// qv-test-labels: interop
// qv-test-timeout: 300
#include "CompressTestSupport.h"

#include "core/engine/ArchiveLock.h"
#include "core/engine/CompressMessages.h"
#include "core/engine/RunControl.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

using namespace compresstest;

std::string randomData(std::size_t size, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(size, '\0');
    for (auto &c : s) {
        c = static_cast<char>(gen());
    }
    return s;
}

std::vector<std::string> leftovers(const std::string &folder)
{
    std::vector<std::string> out;
    if (DIR *d = ::opendir(folder.c_str())) {
        while (auto *e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n.find(".KPZ") != std::string::npos || n.find("~Quorvellant-") != std::string::npos) {
                out.push_back(n);
            }
        }
        ::closedir(d);
    }
    return out;
}

int countOf(const std::vector<std::string> &names, const std::string &name)
{
    return static_cast<int>(std::count(names.begin(), names.end(), name));
}

class CompressBackupArchive : public ::testing::Test
{
protected:
    void SetUp() override
    {
        base = qvtest::makeTempDir("compress");
        s1 = base + "/a/";
        s2 = base + "/a-much-longer-source-folder/deeper/";
        archive = base + "/out/backup.zip";
    }
    std::string base, s1, s2, archive;
};

// Two sources whose folders differ in length, updated twice: every file is listed once under the
// name relative to its own source folder and holds its newest content.
TEST_F(CompressBackupArchive, TwoSourcesUpdatedTwiceKeepOneEntryPerFile)
{
    QV_REQUIRE_TOOL("zipinfo");
    const std::vector<std::pair<std::string, std::string>> files = {
        {s1 + "one.txt", "one.txt"}, {s1 + "sub/two.txt", "sub/two.txt"},
        {s2 + "three.txt", "three.txt"}, {s2 + "x/y/four.txt", "x/y/four.txt"}};
    for (int round = 0; round < 3; ++round) {
        for (const auto &[path, stored] : files) {
            put(path, "round " + std::to_string(round) + " of " + stored, 1600000000 + round * 100);
        }
        auto run = runCompress(compressSnapshot({s1, s2}, archive));
        ASSERT_FALSE(run->host.aborted) << run->host.dump();
        const auto names = zipNames(archive);
        for (const auto &[path, stored] : files) {
            EXPECT_EQ(countOf(names, stored), 1) << stored << " in round " << round;
            EXPECT_EQ(unzipContent(archive, stored), "round " + std::to_string(round) + " of " + stored);
        }
        EXPECT_TRUE(
            run->host.loggedContaining(qv::kLogFile, "Compressing \"" + s2 + "three.txt\". (" + s2 + ")"))
            << run->host.dump();
    }
    EXPECT_TRUE(leftovers(base + "/out").empty());
}

// zaUpdate keeps the entry of a file older than it (and of the same size) byte for byte; zaReplace
// (the task's "overwrite newer destination" option) replaces it.
TEST_F(CompressBackupArchive, UpdateKeepsOlderFileEntryReplaceReplacesIt)
{
    QV_REQUIRE_TOOL("unzip");
    QV_REQUIRE_TOOL("python3");
    put(s1 + "old.txt", "first content", 1600000000);
    put(s1 + "new.txt", "first new", 1600000000);
    ASSERT_FALSE(runCompress(compressSnapshot({s1}, archive))->host.aborted);
    const auto before = rawEntries(archive);

    put(s1 + "old.txt", "older content", 1500000000);
    put(s1 + "new.txt", "second new", 1700000000);
    ASSERT_FALSE(runCompress(compressSnapshot({s1}, archive))->host.aborted);
    auto after = rawEntries(archive);
    EXPECT_EQ(after["old.txt"], before.at("old.txt"));
    EXPECT_NE(after["new.txt"], before.at("new.txt"));
    EXPECT_EQ(unzipContent(archive, "old.txt"), "first content");
    EXPECT_EQ(unzipContent(archive, "new.txt"), "second new");

    auto replace = compressSnapshot({s1}, archive);
    replace->overwriteNeverDestination = true;
    ASSERT_FALSE(runCompress(replace)->host.aborted);
    EXPECT_EQ(unzipContent(archive, "old.txt"), "older content");
}

// A file changed within the two seconds an MS-DOS time cannot tell apart (same size) is taken
// by the next run, as a plain copy takes it.
TEST_F(CompressBackupArchive, ChangeWithinOneTwoSecondSlotIsTaken)
{
    QV_REQUIRE_TOOL("unzip");
    auto stamp = [](const std::string &path, long s, long ns) {
        const struct timespec t[2] = {{s, ns}, {s, ns}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
    };
    put(s1 + "f.txt", "version one");
    stamp(s1 + "f.txt", 1600000010, 200000000);
    ASSERT_FALSE(runCompress(compressSnapshot({s1}, archive))->host.aborted);
    put(s1 + "f.txt", "version two");
    stamp(s1 + "f.txt", 1600000011, 500000000);
    auto run = runCompress(compressSnapshot({s1}, archive));
    ASSERT_FALSE(run->host.aborted) << run->host.dump();
    EXPECT_EQ(unzipContent(archive, "f.txt"), "version two");
    EXPECT_TRUE(run->host.loggedContaining(qv::kLogFile, "Compressing \"" + s1 + "f.txt\""))
        << run->host.dump();
}

// A stop while the writer works leaves the old archive byte-identical and no temporary file.
TEST_F(CompressBackupArchive, StopMidZipLeavesOldArchive)
{
    QV_REQUIRE_TOOL("unzip");
    put(s1 + "a.txt", "small", 1600000000);
    ASSERT_FALSE(runCompress(compressSnapshot({s1}, archive))->host.aborted);
    const std::string old = qvtest::readFile(archive);
    for (int i = 0; i < 4; ++i) {
        put(s1 + "big" + std::to_string(i) + ".bin", randomData(3 << 20, static_cast<unsigned>(i)), 1700000000);
    }
    auto run = runCompress(compressSnapshot({s1}, archive), false, {}, [](CompressRun &r) {
        r.host.onLog = [&r](int kind, const std::string &text) {
            if (kind == qv::kLogFile && text.find("big1.bin") != std::string::npos) {
                r.backup->Stop();
            }
        };
    });
    EXPECT_TRUE(run->host.aborted);
    EXPECT_TRUE(run->host.logged(qv::kLogAborted, "Backup ABORTED!"));
    EXPECT_FALSE(run->host.loggedContaining(qv::kLogInformation, "Total compression summary"));
    EXPECT_EQ(run->host.count(qv::kLogError), 0) << run->host.dump();
    EXPECT_TRUE(qvtest::readFile(archive) == old);
    EXPECT_TRUE(leftovers(base + "/out").empty());
}

TEST_F(CompressBackupArchive, PasswordProtectsEveryEntry)
{
    QV_REQUIRE_TOOL("unzip");
    put(s1 + "secret.txt", randomData(5000, 7), 1600000000);
    put(s1 + "d/more.txt", "more secrets", 1600000000);
    auto snapshot = compressSnapshot({s1}, archive);
    snapshot->compressPassword = "pa55 word";
    ASSERT_FALSE(runCompress(snapshot)->host.aborted);
    auto good = qvtest::runCommand({"unzip", "-t", "-P", "pa55 word", archive});
    EXPECT_EQ(good.exitCode, 0) << good.output;
    auto bad = qvtest::runCommand({"unzip", "-t", "-P", "wrong", archive});
    EXPECT_NE(bad.exitCode, 0) << bad.output;
    EXPECT_EQ(unzipContent(archive, "d/more.txt", "pa55 word"), "more secrets");
}

TEST_F(CompressBackupArchive, KeepStructureFromRootStoresWholePaths)
{
    QV_REQUIRE_TOOL("zipinfo");
    put(s1 + "f.txt", "f", 1600000000);
    put(s2 + "g.txt", "g", 1600000000);
    auto snapshot = compressSnapshot({s1, s2}, archive);
    snapshot->keepStructureFromRoot = true;
    for (auto &src : snapshot->sources) {
        src.destination = snapshot->destinationRoot + src.folder.substr(1);
    }
    ASSERT_FALSE(runCompress(snapshot)->host.aborted);
    const auto names = zipNames(archive);
    EXPECT_EQ(countOf(names, (s1 + "f.txt").substr(1)), 1);
    EXPECT_EQ(countOf(names, (s2 + "g.txt").substr(1)), 1);
}

// Every archive written carries the comment, also one that another program made.
TEST_F(CompressBackupArchive, CommentOnNewAndForeignArchives)
{
    QV_REQUIRE_TOOL("python3");
    QV_REQUIRE_TOOL("zip");
    put(s1 + "c.txt", "c", 1600000000);
    ASSERT_FALSE(runCompress(compressSnapshot({s1}, archive))->host.aborted);
    EXPECT_EQ(archiveComment(archive), "Created with Quorvellant https://quorvellant.example/");
    EXPECT_EQ(qv::TCompressBackup::archiveComment(), "Created with Quorvellant https://quorvellant.example/");

    const std::string foreign = base + "/out/foreign.zip";
    auto made = qvtest::runShell("cd '" + s1 + "' && zip -q -X '" + foreign + "' c.txt");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    put(s1 + "c.txt", "newer c", 1700000000);
    auto run = runCompress(compressSnapshot({s1}, foreign));
    ASSERT_FALSE(run->host.aborted) << run->host.dump();
    EXPECT_EQ(archiveComment(foreign), "Created with Quorvellant https://quorvellant.example/");
    EXPECT_EQ(unzipContent(foreign, "c.txt"), "newer c");
}

// A target that is not a zip archive, or one whose directory is damaged, ends the run with the
// library's text and stays byte-identical.
TEST_F(CompressBackupArchive, DamagedOrForeignTargetAbortsAndStaysIntact)
{
    put(s1 + "a.txt", "aaa", 1600000000);
    put(s1 + "b.txt", randomData(20000, 3), 1600000000);
    ASSERT_FALSE(runCompress(compressSnapshot({s1}, archive))->host.aborted);
    const std::string good = qvtest::readFile(archive);
    const struct {
        const char *name;
        std::string content;
    } cases[] = {
        {"plain text", std::string("this is not a zip archive at all\n")},
        {"cut directory", good.substr(0, good.size() - 100)},
        {"garbled directory", good.substr(0, good.size() - 60) + std::string(38, '\x55') + good.substr(good.size() - 22)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        qvtest::writeFile(archive, c.content);
        put(s1 + "a.txt", "newer", 1700000000 + static_cast<long>(c.content.size()));
        auto run = runCompress(compressSnapshot({s1}, archive));
        EXPECT_TRUE(run->host.aborted) << run->host.dump();
        EXPECT_TRUE(run->host.loggedContaining(qv::kLogError, "The backup stopped on an error: "))
            << run->host.dump();
        EXPECT_TRUE(run->host.logged(
            qv::kLogError, "The backup stopped on an error: Not a valid zip file! (" + archive + ")"))
            << run->host.dump();
        EXPECT_TRUE(qvtest::readFile(archive) == c.content);
        EXPECT_TRUE(leftovers(base + "/out").empty());
    }
}

// Two sources that would give one stored name are stopped by the scan's check before anything is
// written.
TEST_F(CompressBackupArchive, TwoSourcesWithOneStoredNameStopBeforeWriting)
{
    put(s1 + "same.txt", "from one", 1600000000);
    put(s2 + "same.txt", "from two", 1600000000);
    auto run = runCompress(compressSnapshot({s1, s2}, archive));
    EXPECT_TRUE(run->host.aborted);
    EXPECT_TRUE(run->host.loggedContaining(qv::kLogError, "Detected two or more Source files"))
        << run->host.dump();
    EXPECT_FALSE(exists(archive));
}

TEST_F(CompressBackupArchive, ArchiveNameThatIsAFolderIsRefused)
{
    put(s1 + "a.txt", "a", 1600000000);
    qvtest::runShell("mkdir -p '" + archive + "'");
    auto run = runCompress(compressSnapshot({s1}, archive));
    EXPECT_TRUE(run->host.aborted);
    EXPECT_TRUE(run->host.loggedContaining(qv::kLogError, "names no archive file")) << run->host.dump();
}

TEST_F(CompressBackupArchive, SummaryAndFolderEntries)
{
    QV_REQUIRE_TOOL("zipinfo");
    put(s1 + "a.txt", "12345", 1600000000);
    put(s1 + "deep/b.txt", "678", 1600000000);
    qvtest::runShell("mkdir -p '" + s1 + "empty'");
    auto run = runCompress(compressSnapshot({s1}, archive));
    ASSERT_FALSE(run->host.aborted);
    const auto names = zipNames(archive);
    EXPECT_EQ(countOf(names, "empty/"), 1);
    EXPECT_EQ(countOf(names, "deep/b.txt"), 1);
    const auto size = qvtest::readFile(archive).size();
    EXPECT_TRUE(run->host.logged(qv::kLogInformation,
                                 "Total compression summary: ZIP file name: \"" + archive +
                                     "\"; ZIP file size: " + std::to_string(size) +
                                     " bytes; 2 folders; 2 files, 8 bytes, 0 errors, 0 warnings."))
        << run->host.dump();

    // Without empty folders in the filters, no folder entries are written.
    auto noFolders = compressSnapshot({s1}, base + "/out/nofolders.zip");
    noFolders->filters = std::make_shared<SuffixFilter>(std::vector<std::string>{}, false);
    ASSERT_FALSE(runCompress(noFolders)->host.aborted);
    const auto plain = zipNames(base + "/out/nofolders.zip");
    EXPECT_EQ(plain, (std::vector<std::string>{"a.txt", "deep/b.txt"}));
}

// Sources whose destinations differ but whose files get one stored name: the scan's check lets
// them pass, and the writer's duplicate check names both files instead of dropping one silently.
TEST_F(CompressBackupArchive, DuplicateStoredNameIsAnErrorNamingBothFiles)
{
    QV_REQUIRE_TOOL("zipinfo");
    put(s1 + "same.txt", "from one", 1600000000);
    put(s2 + "same.txt", "from two", 1600000000);
    auto snapshot = compressSnapshot({s1, s2}, archive);
    snapshot->sources[0].destination = snapshot->destinationRoot + "one/";
    snapshot->sources[1].destination = snapshot->destinationRoot + "two/";
    auto run = runCompress(snapshot);
    EXPECT_TRUE(run->host.logged(qv::kLogError, "Files \"" + s1 + "same.txt\" and \"" + s2 +
                                                    "same.txt\" would have the same name \"same.txt\" in the "
                                                    "archive; the second is left out."))
        << run->host.dump();
    EXPECT_EQ(run->backup->errorCount(), 1);
    EXPECT_EQ(zipNames(archive), (std::vector<std::string>{"same.txt"}));
    EXPECT_EQ(unzipContent(archive, "same.txt"), "from one");
}

// A source file removed after the listing, before the writer reads it: it is not in the archive,
// so the run finishes as not done, with an error line that says why (as a copy's does); the
// files around it are stored. Without the removal the same run is done (the control).
class RemovesAfterListing : public qv::DirectoryReader
{
public:
    explicit RemovesAfterListing(std::string file) : m_file(std::move(file)) {}
    bool list(const std::string &folder, std::vector<qv::DirItem> &items, int &error) override
    {
        const bool listed = qv::DirectoryReader::list(folder, items, error);
        if (listed && !m_file.empty() && m_file.rfind(folder, 0) == 0) {
            ::unlink(m_file.c_str());
        }
        return listed;
    }

private:
    std::string m_file;
};

TEST_F(CompressBackupArchive, AFileGoneBeforeItIsReadIsNotDone)
{
    QV_REQUIRE_TOOL("zipinfo");
    for (const bool removed : {false, true}) {
        SCOPED_TRACE(removed ? "removed after the listing" : "left in place");
        put(s1 + "a.txt", "a", 1600000000);
        put(s1 + "gone.txt", "g", 1600000000);
        put(s1 + "z.txt", "z", 1600000000);
        qv::BackupServices services;
        services.directoryReader = std::make_shared<RemovesAfterListing>(removed ? s1 + "gone.txt" : "");
        auto run = runCompress(compressSnapshot({s1}, archive), false, services);
        ASSERT_TRUE(run->host.ended);
        EXPECT_FALSE(run->host.aborted) << run->host.dump();
        EXPECT_EQ(run->host.undone, removed) << run->host.dump();
        EXPECT_EQ(run->host.logged(qv::kLogError, "File \"" + s1 + "gone.txt\" disappeared before it was compressed."),
                  removed)
            << run->host.dump();
        EXPECT_EQ(run->backup->errorCount(), removed ? 1 : 0);
        EXPECT_EQ(countOf(zipNames(archive), "gone.txt"), removed ? 0 : 1);
        EXPECT_EQ(countOf(zipNames(archive), "z.txt"), 1);
        ::unlink(archive.c_str());
    }
}

} // namespace
