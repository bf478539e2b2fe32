// Zip writer behaviour around the edges: the password passes, per-file options, update events,
// disposal, freshen through FilesList and a symbolic-link archive name.
#include "ZipWriterFixture.h"

#include "zip/ZipErrors.h"
#include "zip/ZipRecords.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>

using namespace zwtest;

namespace {

// With a password the file is read twice; a file that changes in between is written again, and
// left out (keeping the old entry) when it changes again. Without one, a file that changes while
// it is read is left out at once: its data may mix two states of it.
TEST(ZipWriterPassword, FileChangingBetweenPassesIsRetriedThenLeftOut)
{
    struct Case {
        int changes; // how many data passes find the file changed
        bool added;
        const char *password;
    };
    for (const Case c : {Case{0, true, "pw"}, Case{1, true, "pw"}, Case{2, false, "pw"}, Case{0, true, ""},
                         Case{1, false, ""}}) {
        SCOPED_TRACE(std::to_string(c.changes) + " changes, password \"" + c.password + "\"");
        const std::string dir = qvtest::makeTempDir("pwchange");
        const std::string oldContent = randomBytes(100000, 1);
        writeTree(dir, {{"f.bin", oldContent}});
        ASSERT_EQ(zipTree(dir + "/p.zip", dir, {{"f.bin", ""}}, 6, c.password), 1);
        const std::string before = qvtest::readFile(dir + "/p.zip");
        qv::TZipWriter zip;
        zip.SetZipName(dir + "/p.zip");
        zip.Password = c.password;
        zip.ZipAction = qv::zaReplace;
        zip.AddFile(dir + "/f.bin", "f.bin");
        int passes = 0;
        int lastPercent = 1000;
        std::string latest = oldContent;
        zip.OnFilePercentDone = [&](int percent) {
            // The first read of a data pass (the percentage starts again): change the file
            // behind the writer's back.
            const bool newPass = percent < lastPercent;
            lastPercent = percent;
            if (newPass && passes++ < c.changes) {
                latest = randomBytes(100000, static_cast<unsigned>(10 + passes));
                qvtest::writeFile(dir + "/f.bin", latest);
            }
        };
        std::vector<qv::TZipSkipReason> reasons;
        zip.OnSkippingFileDetail = [&](qv::TZipSkipReason r, const std::string &, const std::string &) {
            reasons.push_back(r);
        };
        EXPECT_EQ(zip.Zip(), c.added ? 1 : 0);
        qv::TZipReader reader;
        reader.SetZipName(dir + "/p.zip");
        reader.Password = c.password;
        std::vector<uint8_t> content;
        ASSERT_TRUE(reader.UnZipToMemory(content, "f.bin"));
        const std::string got(content.begin(), content.end());
        if (c.added) {
            EXPECT_TRUE(got == latest) << "the last version read is stored";
            EXPECT_TRUE(reasons.empty());
            EXPECT_EQ(passes, c.changes + 1) << "one data pass per attempt";
        } else {
            EXPECT_TRUE(got == oldContent) << "the old entry is kept";
            EXPECT_EQ(reasons, std::vector<qv::TZipSkipReason>{qv::zsrChangedWhileRead});
            EXPECT_TRUE(qvtest::readFile(dir + "/p.zip") == before) << "nothing replaced: archive untouched";
        }
    }
}

TEST(ZipWriterOptions, NoCompressListLevelClampAndFolderEntries)
{
    const std::string dir = qvtest::makeTempDir("opts");
    writeTree(dir, {{"a.txt", textBytes(30000)}, {"b.jpg", textBytes(30000)}, {"sub/c.txt", "c"}});
    struct Case {
        int level;
        int methodA;
        int flagsA;
    };
    for (const Case c : {Case{-3, 0, 0}, Case{0, 0, 0}, Case{9, 8, 2}, Case{42, 8, 2}}) {
        qv::TZipWriter zip;
        zip.SetZipName(dir + "/o" + std::to_string(c.level) + ".zip");
        zip.PackLevel = c.level;
        zip.NoCompressList = {"*.JPG"};
        zip.SetRootDir(dir);
        zip.SetRelativePaths(true);
        zip.AddDirEntriesOnRecurse = true;
        zip.FilesList = {"*.txt", "*.jpg"};
        EXPECT_EQ(zip.Zip(), 4) << c.level; // a.txt, sub/, sub/c.txt, b.jpg
        std::map<std::string, qv::TZipHeaderInfo> entries;
        for (int i = 0; i < zip.Count(); ++i) {
            entries[zip.FullName(i)] = zip.Entry(i);
        }
        ASSERT_EQ(entries.size(), 4u);
        EXPECT_EQ(entries["a.txt"].CompressionMethod, c.methodA) << c.level;
        EXPECT_EQ(entries["a.txt"].Flags & 6, c.flagsA) << c.level;
        EXPECT_EQ(entries["b.jpg"].CompressionMethod, 0) << c.level;
        EXPECT_EQ(entries["sub/"].UncompressedSize, 0u);
        EXPECT_EQ(entries["sub/c.txt"].UncompressedSize, 1u);
    }
}

} // namespace

namespace {

TEST(ZipWriterEvents, UpdateEventsAndDispose)
{
    const std::string dir = qvtest::makeTempDir("events");
    writeTree(dir, {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}, {"d.txt", "d"}});
    age(dir + "/a.txt", 7200);
    age(dir + "/b.txt", 7200);
    ASSERT_EQ(zipTree(dir + "/e.zip", dir, {{"a.txt", ""}, {"b.txt", ""}}, 6), 2);
    qvtest::writeFile(dir + "/b.txt", "b, newer");
    qv::TZipWriter zip;
    zip.SetZipName(dir + "/e.zip");
    zip.Dispose = true;
    for (const char *n : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        zip.AddFile(dir + "/" + n, n);
    }
    std::vector<std::pair<qv::TUpdateAction, int>> updates;
    zip.OnUpdate = [&](qv::TUpdateAction a, int index) { updates.emplace_back(a, index); };
    std::vector<std::string> disposed;
    zip.OnDisposeFile = [&](const std::string &name, bool &skip) {
        disposed.push_back(name.substr(dir.size() + 1));
        skip = name.find("d.txt") != std::string::npos; // the handler may keep a file
    };
    int completed = -1;
    zip.OnZipComplete = [&](int n) { completed = n; };
    EXPECT_EQ(zip.Zip(), 3); // b replaced, c and d added
    EXPECT_EQ(completed, 3);
    EXPECT_EQ(updates, (std::vector<std::pair<qv::TUpdateAction, int>>{{qv::uaKeeping, 0}, {qv::uaReplacing, 1}}));
    EXPECT_EQ(disposed, (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt"}));
    EXPECT_NE(::access((dir + "/a.txt").c_str(), F_OK), 0);
    EXPECT_NE(::access((dir + "/c.txt").c_str(), F_OK), 0);
    EXPECT_EQ(::access((dir + "/d.txt").c_str(), F_OK), 0);
    EXPECT_EQ(zip.Count(), 4);
}

TEST(ZipWriterEvents, FreshenThroughFilesListAndSymlinkedArchive)
{
    const std::string dir = qvtest::makeTempDir("fresh");
    writeTree(dir, {{"x/a.txt", "a"}, {"x/b.txt", "b"}});
    ASSERT_EQ(zipTree(dir + "/real.zip", dir + "/x", {{"a.txt", ""}}, 6), 1);
    ASSERT_EQ(::symlink((dir + "/real.zip").c_str(), (dir + "/link.zip").c_str()), 0);
    qvtest::writeFile(dir + "/x/a.txt", "a, much newer");
    struct utimbuf t;
    t.actime = t.modtime = ::time(nullptr) + 10;
    ::utime((dir + "/x/a.txt").c_str(), &t);
    qv::TZipWriter zip;
    zip.SetZipName(dir + "/link.zip");
    zip.SetRootDir(dir + "/x");
    zip.ZipAction = qv::zaFreshen;
    zip.FilesList = {"a.txt", "b.txt", "*.txt"};
    EXPECT_EQ(zip.Zip(), 1);
    EXPECT_EQ(zip.Count(), 1) << "freshen adds nothing new";
    struct stat st;
    ASSERT_EQ(::lstat((dir + "/link.zip").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link; the file behind it is replaced";
    qv::TZipReader reader;
    reader.SetZipName(dir + "/real.zip");
    std::vector<uint8_t> content;
    ASSERT_TRUE(reader.UnZipToMemory(content, "a.txt"));
    EXPECT_EQ(std::string(content.begin(), content.end()), "a, much newer");
}

} // namespace
