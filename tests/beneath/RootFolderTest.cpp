// RootFolder and makeFolderChain: nothing below a root goes through a symbolic link or leaves it,
// by the kernel's resolution and by the walk alike.
#include "beneath/RootFolder.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qv;

namespace {

bool exists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// base/root holds real/, file, sub -> ../outside and f -> ../outside/victim.txt.
class RootFolderTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        m_wasKernel = RootFolder::useKernelResolve(GetParam());
        base = qvtest::makeTempDir("beneath");
        root = base + "/root";
        ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((root + "/real").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((base + "/outside").c_str(), 0755), 0);
        qvtest::writeFile(base + "/outside/victim.txt", "victim");
        qvtest::writeFile(root + "/file", "file");
        ASSERT_EQ(::symlink("../outside", (root + "/sub").c_str()), 0);
        ASSERT_EQ(::symlink("../outside/victim.txt", (root + "/f").c_str()), 0);
        int error = 0;
        ASSERT_TRUE(folder.open(root, error)) << error;
    }
    void TearDown() override { RootFolder::useKernelResolve(m_wasKernel); }

    std::string base;
    std::string root;
    RootFolder folder;
    bool m_wasKernel = true;
};

TEST_P(RootFolderTest, OpensNothingThroughALinkNorOutside)
{
    struct Case {
        const char *name;
        int flags;
        int expected; // 0: opens
    };
    const Case cases[] = {
        {"real/new.txt", O_WRONLY | O_CREAT | O_EXCL, 0}, // the control: a real folder
        {"./real//new2.txt", O_WRONLY | O_CREAT, 0},
        {"sub/b.txt", O_WRONLY | O_CREAT, ELOOP},         // a link in the middle
        {"sub/victim.txt", O_RDONLY, ELOOP},
        {"f", O_WRONLY | O_TRUNC, ELOOP},                 // a link at the end
        {"f", O_PATH, ELOOP},
        {"sub", O_PATH | O_DIRECTORY, ELOOP},
        {"real/../file", O_RDONLY, EXDEV},                // ".." never, even where it stays inside
        {"../outside/victim.txt", O_RDONLY, EXDEV},
        {"/etc/passwd", O_RDONLY, EXDEV},                 // absolute names
    };
    for (const Case &c : cases) {
        int error = 0;
        const int fd = folder.openBeneath(c.name, c.flags, 0644, error);
        if (fd >= 0) {
            ::close(fd);
        }
        EXPECT_EQ(fd >= 0 ? 0 : error, c.expected) << c.name;
    }
    EXPECT_TRUE(exists(root + "/real/new.txt"));
    EXPECT_FALSE(exists(base + "/outside/b.txt"));
    EXPECT_EQ(qvtest::readFile(base + "/outside/victim.txt"), "victim");
    EXPECT_EQ(folder.linkOnTheWay("sub/deeper/b.txt"), "sub");
    EXPECT_EQ(folder.linkOnTheWay("real/x"), "");
}

TEST_P(RootFolderTest, MakesFoldersButNoneThroughALink)
{
    int error = 0;
    EXPECT_TRUE(folder.makeFolders("real/a/b/c", 0755, error)) << error;
    EXPECT_TRUE(exists(root + "/real/a/b/c"));
    EXPECT_TRUE(folder.makeFolders("real/a", 0755, error));
    error = 0;
    EXPECT_FALSE(folder.makeFolders("sub/new/deeper", 0755, error));
    EXPECT_EQ(error, ELOOP);
    EXPECT_FALSE(exists(base + "/outside/new"));
    EXPECT_FALSE(folder.makeFolders("sub", 0755, error));
    EXPECT_EQ(error, ELOOP);
    EXPECT_FALSE(folder.makeFolders("file/x", 0755, error));
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_FALSE(folder.makeFolders("real/../../escape", 0755, error));
    EXPECT_EQ(error, EXDEV);
    EXPECT_FALSE(exists(base + "/escape"));
}

TEST_P(RootFolderTest, RemovesAndRenamesTheLinkItself)
{
    int error = 0;
    EXPECT_FALSE(folder.remove("sub/victim.txt", false, error));
    EXPECT_EQ(error, ELOOP);
    EXPECT_FALSE(folder.rename("file", "sub/victim.txt", error));
    EXPECT_EQ(qvtest::readFile(base + "/outside/victim.txt"), "victim");
    EXPECT_TRUE(folder.rename("file", "f", error)) << error; // replaces the link, not its target
    EXPECT_EQ(qvtest::readFile(root + "/f"), "file");
    EXPECT_TRUE(folder.remove("sub", false, error)) << error;
    EXPECT_FALSE(exists(root + "/sub"));
    EXPECT_EQ(qvtest::readFile(base + "/outside/victim.txt"), "victim");
}

TEST_P(RootFolderTest, ARootThatIsALinkIsFollowed)
{
    const std::string link = base + "/rootlink";
    ASSERT_EQ(::symlink("root", link.c_str()), 0);
    RootFolder linked;
    int error = 0;
    ASSERT_TRUE(linked.open(link + "/", error)) << error;
    std::string relative;
    ASSERT_TRUE(linked.relativeOf(link + "/real/x.txt", relative));
    EXPECT_EQ(relative, "real/x.txt");
    EXPECT_FALSE(linked.relativeOf(link + "2/real", relative));
    const int fd = linked.openBeneath(relative, O_WRONLY | O_CREAT, 0644, error);
    ASSERT_GE(fd, 0) << error;
    ::close(fd);
    EXPECT_TRUE(exists(root + "/real/x.txt"));
    // The chain maker follows the levels that exist, and makes the new ones beneath them.
    EXPECT_TRUE(makeFolderChain(link + "/real/n1/../n2/n3", 0755, error)) << error;
    EXPECT_TRUE(exists(root + "/real/n2/n3"));
    EXPECT_FALSE(makeFolderChain(root + "/file/x", 0755, error));
    EXPECT_EQ(error, ENOTDIR);
}

INSTANTIATE_TEST_SUITE_P(Ways, RootFolderTest, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "Kernel" : "Walk"; });

} // namespace
