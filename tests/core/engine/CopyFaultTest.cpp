// Late failures of the copy inside a run: a close that reports a write it could not flush, or a
// rename the file system refuses, with versions kept. The old destination stays, and the versions
// archive is as it was; the run goes on and logs the error.
#include "EngineTestSupport.h"

#include "core/engine/LocalBackup.h"
#include "platform/fake/FakeFileIo.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>

namespace {

using namespace enginetest;

std::vector<std::string> listDir(const std::string &folder)
{
    std::vector<std::string> out;
    if (DIR *d = ::opendir(folder.c_str())) {
        while (auto *e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") {
                out.push_back(n);
            }
        }
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

enum class Fault { None, Close, Rename };

struct Case
{
    const char *name;
    Fault fault;
    int error;
    bool keepVersions;
};

} // namespace

TEST(EngineCopyFaults, LateFailuresKeepTheOldFileAndTheArchive)
{
    const Case cases[] = {
        {"no fault, versions", Fault::None, 0, true},
        {"close EIO, versions", Fault::Close, EIO, true},
        {"close EDQUOT, no versions", Fault::Close, EDQUOT, false},
        {"rename EIO, versions", Fault::Rename, EIO, true},
        {"rename EPERM, no versions", Fault::Rename, EPERM, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string base = qvtest::makeTempDir("copyfault");
        const std::string src = base + "/src/";
        const std::string dst = base + "/dst/";
        const std::string versions = base + "/versions/";
        put(dst + "doc", "old", 1600000000);
        put(src + "doc", "new content", 1700000000);
        put(src + "other", "other", 1700000000);
        qvtest::runShell("mkdir -p '" + versions + "'");
        auto s = makeSnapshot({src}, dst);
        s->versionsKeep = c.keepVersions;
        s->versionsFolder = versions;
        s->versionsFilesNum = 5;

        qv::FakeFileIo io;
        if (c.fault == Fault::Close) {
            io.failClose("/.doc.qvtmp-", c.error);
        } else if (c.fault == Fault::Rename) {
            io.failRename("/.doc.qvtmp-", c.error);
        }
        RecordingHost host;
        qv::TLocalBackup backup(s, &host, qv::BackupServices{});
        backup.runInPlace();

        EXPECT_EQ(qvtest::readFile(dst + "other"), "other") << host.dump(); // the run went on
        EXPECT_EQ(listDir(dst), (std::vector<std::string>{"doc", "other"}));
        if (c.fault == Fault::None) {
            EXPECT_EQ(qvtest::readFile(dst + "doc"), "new content");
            ASSERT_EQ(listDir(versions).size(), 1u);
            EXPECT_EQ(qvtest::readFile(versions + listDir(versions)[0]), "old");
            EXPECT_EQ(host.count(qv::kLogError), 0) << host.dump();
            continue;
        }
        EXPECT_EQ(io.injected(), 1);
        EXPECT_EQ(qvtest::readFile(dst + "doc"), "old");
        EXPECT_TRUE(listDir(versions).empty());
        EXPECT_TRUE(host.loggedContaining(qv::kLogError, "System error code: " + std::to_string(c.error)))
            << host.dump();
    }
}

// A move renames through the same seam: a rename refused across file systems falls back to a copy
// and the removal of the source; any other refusal is the move's error, and the source stays.
TEST(EngineCopyFaults, MoveRenameFailures)
{
    const struct {
        int error;
        bool moved;
    } cases[] = {{EXDEV, true}, {EACCES, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        const std::string base = qvtest::makeTempDir("movefault");
        const std::string src = base + "/src/";
        const std::string dst = base + "/dst/";
        put(src + "moved", "content", 1700000000);
        qvtest::runShell("mkdir -p '" + dst + "'");
        auto s = makeSnapshot({src}, dst);
        s->taskType = qv::BackupTaskType::Move;

        qv::FakeFileIo io;
        io.failRename("/src/moved", c.error);
        RecordingHost host;
        qv::TLocalBackup backup(s, &host, qv::BackupServices{});
        backup.runInPlace();

        EXPECT_EQ(io.injected(), 1);
        EXPECT_EQ(listDir(src).empty(), c.moved) << host.dump();
        EXPECT_EQ(listDir(dst), c.moved ? std::vector<std::string>{"moved"} : std::vector<std::string>{});
        EXPECT_EQ(host.loggedContaining(qv::kLogError, "Can't move file"), !c.moved) << host.dump();
    }
}
