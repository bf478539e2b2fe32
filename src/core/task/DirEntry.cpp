// Reading a directory entry with statx and the platform's attribute emulation.
#include "core/task/DirEntry.h"

#include "platform/FileAttributes.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace qv {
namespace {

timespec toTimespec(const struct statx_timestamp &t)
{
    return {t.tv_sec, static_cast<long>(t.tv_nsec)};
}

// The classic stat record of a statx result, for the attribute emulation.
struct stat toStat(const struct statx &sx)
{
    struct stat st
    {
    };
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_ino = sx.stx_ino;
    st.st_mode = sx.stx_mode;
    st.st_nlink = sx.stx_nlink;
    st.st_uid = sx.stx_uid;
    st.st_gid = sx.stx_gid;
    st.st_rdev = makedev(sx.stx_rdev_major, sx.stx_rdev_minor);
    st.st_size = static_cast<off_t>(sx.stx_size);
    st.st_blksize = static_cast<blksize_t>(sx.stx_blksize);
    st.st_blocks = static_cast<blkcnt_t>(sx.stx_blocks);
    st.st_atim = toTimespec(sx.stx_atime);
    st.st_mtim = toTimespec(sx.stx_mtime);
    st.st_ctim = toTimespec(sx.stx_ctime);
    return st;
}

FileTime fileTime(const struct statx_timestamp &t)
{
    return {t.tv_sec, static_cast<std::int32_t>(t.tv_nsec)};
}

} // namespace

int readDirEntry(const std::string &folder, const std::string &name, DirEntry &entry)
{
    std::string path = folder;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += name;
    struct statx lst
    {
    };
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &lst) != 0) {
        return errno;
    }
    struct statx sx
    {
    };
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
        return errno;
    }
    entry.name = name;
    entry.isSymlink = S_ISLNK(lst.stx_mode);
    entry.size = S_ISDIR(sx.stx_mode) ? 0 : sx.stx_size;
    entry.lastWriteTime = fileTime(sx.stx_mtime);
    entry.lastAccessTime = fileTime(sx.stx_atime);
    entry.creationTime = (sx.stx_mask & STATX_BTIME) != 0 ? fileTime(sx.stx_btime) : entry.lastWriteTime;
    std::uint32_t attributes = FileAttributes::fromStat(path, toStat(sx));
    if ((sx.stx_attributes_mask & STATX_ATTR_COMPRESSED) && (sx.stx_attributes & STATX_ATTR_COMPRESSED)) {
        attributes |= faCompressed;
    }
    if ((sx.stx_attributes_mask & STATX_ATTR_ENCRYPTED) && (sx.stx_attributes & STATX_ATTR_ENCRYPTED)) {
        attributes |= faEncrypted;
    }
    entry.attributes = attributes;
    return 0;
}

} // namespace qv
