// A destination folder swapped for a link to another folder after the run checked it: the run's
// copies still go into the folder it checked, its deletes go through no link, and nothing outside
// the destination is written or removed.
// qv-test-timeout: 120
#include "EngineTestSupport.h"

#include "core/engine/LocalBackup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace enginetest;

TEST(DestinationSwap, CopiesStayInTheCheckedFolder)
{
    const std::string base = qvtest::makeTempDir("swap");
    for (const char *workers : {"1", "4"}) {
        SCOPED_TRACE(std::string(workers) + " workers");
        const std::string src = base + "/src", dst = base + "/dst", outside = base + "/outside";
        qvtest::runShell("rm -rf '" + src + "' '" + dst + "' '" + outside + "' '" + base + "/moved'");
        put(src + "/a/new", "new data", 1700000000);
        put(src + "/a/old", "newer data", 1700000000);
        put(dst + "/a/old", "older", 1600000000);
        put(outside + "/old", "outside", 1600000000);
        qv::BackupServices services;
        // Asked after the file's folder was checked and before its data is written: the folder
        // becomes a link to `outside` there, once.
        services.isInUse = [dst, outside, base](const std::string &, int) {
            const std::string folder = dst + "/a";
            struct stat st;
            if (::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                ::rename(folder.c_str(), (base + "/moved").c_str());
                ::symlink(outside.c_str(), folder.c_str());
            }
            return false;
        };
        ::setenv("QV_COPY_WORKERS", workers, 1);
        RecordingHost host;
        qv::TLocalBackup backup(makeSnapshot({src}, dst), &host, services);
        backup.runInPlace();
        ::unsetenv("QV_COPY_WORKERS");
        struct stat st;
        ASSERT_EQ(::lstat((dst + "/a").c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)); // the swap happened
        EXPECT_EQ(qvtest::readFile(base + "/moved/new"), "new data") << host.dump();
        EXPECT_EQ(qvtest::readFile(base + "/moved/old"), "newer data") << host.dump();
        EXPECT_FALSE(exists(outside + "/new")) << host.dump();
        EXPECT_EQ(qvtest::readFile(outside + "/old"), "outside") << host.dump();
    }
    qvtest::runShell("rm -rf '" + base + "'");
}

// An exact copy's obsolete file, in a folder swapped for a link after the destination was listed:
// the delete refuses the link, and the file it would reach outside stays; the other obsolete file
// (the control) goes.
TEST(DestinationSwap, ObsoleteDeletesGoThroughNoLink)
{
    const std::string base = qvtest::makeTempDir("swapdelete");
    const std::string src = base + "/src", dst = base + "/dst", outside = base + "/outside";
    put(src + "/keep", "keep", 1700000000);
    put(dst + "/a/gone", "obsolete", 1600000000);
    put(dst + "/b/gone", "obsolete", 1600000000);
    put(outside + "/gone", "outside", 1600000000);
    // Told of the delete just before it is done: the folder becomes a link to `outside` there.
    class Host : public RecordingHost
    {
    public:
        std::string folder, outside;
        void log(int kind, const std::string &text) override
        {
            RecordingHost::log(kind, text);
            if (kind == qv::kLogWarning && text.find(folder + "/gone") != std::string::npos) {
                ::rename(folder.c_str(), (folder + ".moved").c_str());
                ::symlink(outside.c_str(), folder.c_str());
            }
        }
    } host;
    host.folder = dst + "/a";
    host.outside = outside;
    qv::TLocalBackup backup(makeSnapshot({src}, dst, qv::BackupTaskType::ExactCopy), &host, {});
    backup.runInPlace();
    struct stat st;
    ASSERT_EQ(::lstat((dst + "/a").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << host.dump(); // the swap happened
    EXPECT_EQ(qvtest::readFile(outside + "/gone"), "outside") << host.dump();
    EXPECT_FALSE(exists(dst + "/b/gone")) << host.dump();
    EXPECT_TRUE(host.loggedContaining(qv::kLogError, dst + "/a/gone")) << host.dump();
    qvtest::runShell("rm -rf '" + base + "'");
}

} // namespace
