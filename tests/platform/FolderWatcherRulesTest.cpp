// Pure rules of the folder watcher: event kinds, kernel masks, paths and network file systems.
#include "platform/FolderWatcherRules.h"

#include <gtest/gtest.h>

#include <sys/inotify.h>

using namespace qv::watchrules;
namespace CK = qv::ChangeKind;

namespace {

TEST(FolderWatchRules, EventKindsTable)
{
    const struct
    {
        std::uint32_t mask;
        qv::FolderChangeKinds kinds;
    } cases[] = {
        {IN_CREATE, CK::kFileName | CK::kCreation},
        {IN_CREATE | IN_ISDIR, CK::kDirName | CK::kCreation},
        {IN_DELETE, CK::kFileName},
        {IN_DELETE | IN_ISDIR, CK::kDirName},
        {IN_MOVED_FROM, CK::kFileName},
        {IN_MOVED_TO | IN_ISDIR, CK::kDirName},
        {IN_ATTRIB, CK::kAttributes | CK::kSecurity},
        {IN_ATTRIB | IN_ISDIR, CK::kAttributes | CK::kSecurity},
        {IN_MODIFY, CK::kSize | CK::kLastWrite},
        {IN_CLOSE_WRITE, CK::kSize | CK::kLastWrite},
        {IN_ACCESS, CK::kLastAccess},
        {IN_CLOSE_NOWRITE, 0},
        {IN_OPEN, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mask);
        EXPECT_EQ(kindsOfEvent(c.mask), c.kinds);
    }
}

TEST(FolderWatchRules, KernelMaskAsksOnlyForWhatTheKindsNeed)
{
    EXPECT_EQ(kernelMaskForKinds(CK::kFileName | CK::kDirName | CK::kCreation), 0u);
    EXPECT_EQ(kernelMaskForKinds(CK::kSecurity), static_cast<std::uint32_t>(IN_ATTRIB));
    EXPECT_EQ(kernelMaskForKinds(CK::kSize), static_cast<std::uint32_t>(IN_MODIFY | IN_CLOSE_WRITE));
    EXPECT_EQ(kernelMaskForKinds(CK::kLastAccess), static_cast<std::uint32_t>(IN_ACCESS));
    // Every kind the events stand for is asked of the kernel by that kind.
    for (int bit = 0; bit < 8; ++bit) {
        const qv::FolderChangeKinds kind = 1u << bit;
        const std::uint32_t mask = structuralMask() | kernelMaskForKinds(kind);
        bool reachable = false;
        for (std::uint32_t ev = 1; ev <= IN_CLOSE_NOWRITE * 64; ev <<= 1) {
            if ((mask & ev) && (kindsOfEvent(ev) & kind || kindsOfEvent(ev | IN_ISDIR) & kind)) {
                reachable = true;
            }
        }
        EXPECT_TRUE(reachable) << "kind bit " << bit;
    }
}

TEST(FolderWatchRules, Paths)
{
    EXPECT_EQ(childPath("/a/b", "c"), "/a/b/c");
    EXPECT_EQ(childPath("/", "c"), "/c");
}

TEST(FolderWatchRules, NetworkFileSystemTypes)
{
    for (const char *t :
         {"nfs", "nfs4", "cifs", "smb3", "9p", "ceph", "fuse.sshfs", "fuse.rclone", "fuse.gvfsd-fuse"}) {
        EXPECT_TRUE(isNetworkFileSystemType(t)) << t;
    }
    for (const char *t :
         {"ext4", "btrfs", "xfs", "tmpfs", "overlay", "fuseblk", "fuse.ntfs-3g", "vfat", ""}) {
        EXPECT_FALSE(isNetworkFileSystemType(t)) << t;
    }
}

TEST(FolderWatchRules, MountOfAPathFromMountInfo)
{
    const std::string info = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             "30 22 0:40 / /home/u/remote rw,nosuid shared:20 - fuse.sshfs u@host:/data rw\n"
                             "31 22 0:41 / /mnt/my\\040share rw - cifs //srv/share rw\n"
                             "32 22 0:42 / /home/u/remote2 rw - nfs4 srv:/x rw\n"
                             "33 30 0:43 / /home/u/remote/local rw - tmpfs tmpfs rw\n"
                             "garbage line\n";
    const struct
    {
        const char *path;
        const char *type;
    } cases[] = {
        {"/home/u/docs", "ext4"},      {"/home/u/remote", "fuse.sshfs"}, {"/home/u/remote/x/y", "fuse.sshfs"},
        {"/home/u/remote2/z", "nfs4"}, {"/home/u/remotex", "ext4"},      {"/home/u/remote/local/a", "tmpfs"},
        {"/mnt/my share/a", "cifs"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(fileSystemTypeOf(c.path, info), c.type) << c.path;
    }
    EXPECT_EQ(fileSystemTypeOf("/x", ""), "");
}

TEST(FolderWatchRules, LocalFolderGivesNoWarning)
{
    EXPECT_EQ(networkFileSystemWarning("/tmp"), "");
    EXPECT_EQ(networkFileSystemWarning("/no/such/folder"), "");
}

} // namespace
