// The account facts against the system's own tools, private folders against planted links and
// files, and the lock file against a second holder.
#include "platform/LockFile.h"
#include "platform/UserAccount.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace qv;
using namespace qvtest;

namespace {

std::string firstLine(const std::string &text)
{
    const auto end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

std::uint32_t modeOf(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFFFFF;
}

} // namespace

TEST(UserAccount, AgreesWithTheSystemTools)
{
    const CommandResult name = runCommand({"id", "-un"});
    ASSERT_EQ(name.exitCode, 0) << name.output;
    EXPECT_EQ(accountName(), firstLine(name.output));

    const CommandResult host = runCommand({"uname", "-n"});
    ASSERT_EQ(host.exitCode, 0) << host.output;
    EXPECT_EQ(hostName(), firstLine(host.output));

    const CommandResult id = runCommand({"id", "-u"});
    ASSERT_EQ(id.exitCode, 0) << id.output;
    EXPECT_EQ(std::to_string(accountId()), firstLine(id.output));
}

TEST(UserAccount, HomeFromTheEnvironmentElseFromTheUserDatabase)
{
    const CommandResult entry = runShell("getent passwd \"$(id -u)\" | cut -d: -f6");
    ASSERT_EQ(entry.exitCode, 0) << entry.output;
    const std::string fromDatabase = firstLine(entry.output);
    const char *saved = std::getenv("HOME");
    const std::string keep = saved != nullptr ? saved : "";
    struct Case
    {
        const char *home; // nullptr: unset
        std::string expected;
    };
    const Case cases[] = {
        {"/some/where", "/some/where"},
        {nullptr, fromDatabase},
        {"", fromDatabase},
        {"relative/home", fromDatabase},
    };
    for (const Case &c : cases) {
        if (c.home == nullptr) {
            ::unsetenv("HOME");
        } else {
            ::setenv("HOME", c.home, 1);
        }
        EXPECT_EQ(homeFolder(), c.expected) << (c.home != nullptr ? c.home : "(unset)");
    }
    if (saved != nullptr) {
        ::setenv("HOME", keep.c_str(), 1);
    }
}

TEST(UserAccount, PrivateFoldersRefuseWhatIsNotOurs)
{
    const std::string base = makeTempDir("private");
    ASSERT_EQ(::mkdir((base + "/open").c_str(), 0755), 0);
    ASSERT_EQ(::chmod((base + "/open").c_str(), 0755), 0);
    ASSERT_EQ(::symlink((base + "/open").c_str(), (base + "/link").c_str()), 0);
    writeFile(base + "/file", "x");
    struct Case
    {
        std::string folder;
        bool accepted;
        const char *errorWords;
    };
    const Case cases[] = {
        {base + "/new", true, ""},
        {base + "/open", true, ""}, // an existing folder of ours keeps its mode
        {base + "/link", false, "is not a private folder"},
        {base + "/file", false, "is not a private folder"},
        {base + "/missing/below", false, "cannot create"},
    };
    for (const Case &c : cases) {
        std::string error;
        EXPECT_EQ(ensurePrivateFolder(c.folder, error), c.accepted) << c.folder;
        EXPECT_NE(error.find(c.errorWords), std::string::npos) << c.folder << ": " << error;
    }
    EXPECT_EQ(modeOf(base + "/new"), 0700u);
    EXPECT_EQ(modeOf(base + "/open"), 0755u);

    int error = 0;
    EXPECT_TRUE(makePrivateFolder(base + "/made", error));
    EXPECT_EQ(modeOf(base + "/made"), 0700u);
    EXPECT_FALSE(makePrivateFolder(base + "/made", error));
    EXPECT_EQ(error, EEXIST);
    EXPECT_TRUE(setPermissions(base + "/open", 0700, error));
    EXPECT_EQ(modeOf(base + "/open"), 0700u);
    EXPECT_FALSE(setPermissions(base + "/gone", 0700, error));
    EXPECT_EQ(error, ENOENT);
}

TEST(LockFileTest, OneHolderAtATimeAndNeverThroughALink)
{
    const std::string base = makeTempDir("lockfile");
    const std::string path = base + "/a.lock";
    LockFile first;
    LockFile second;
    int error = 0;
    ASSERT_TRUE(first.open(path, error)) << error;
    ASSERT_TRUE(second.open(path, error)) << error;
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(first.tryLock(error), LockFile::Attempt::Taken);
    EXPECT_TRUE(first.isLocked());
    EXPECT_EQ(second.tryLock(error), LockFile::Attempt::Busy);
    EXPECT_FALSE(second.isLocked());
    first.close();
    EXPECT_FALSE(first.isLocked());
    EXPECT_EQ(second.tryLock(error), LockFile::Attempt::Taken);

    ASSERT_EQ(::symlink(path.c_str(), (base + "/planted.lock").c_str()), 0);
    LockFile third;
    EXPECT_FALSE(third.open(base + "/planted.lock", error));
    EXPECT_EQ(error, ELOOP);
    EXPECT_EQ(third.tryLock(error), LockFile::Attempt::Failed);
    EXPECT_EQ(error, EBADF);
}
