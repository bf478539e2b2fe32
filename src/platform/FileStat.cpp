// statx() into the program's own record, with the one rule for a file's creation time.
#include "platform/FileStat.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace qv {

namespace {

std::int64_t toNs(const struct statx_timestamp &ts)
{
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

PathStat fromStatx(const struct statx &sx)
{
    PathStat r;
    r.exists = true;
    r.isFolder = S_ISDIR(sx.stx_mode);
    r.isRegular = S_ISREG(sx.stx_mode);
    r.size = static_cast<std::int64_t>(sx.stx_size);
    r.mtimeNs = toNs(sx.stx_mtime);
    r.atimeNs = toNs(sx.stx_atime);
    // Created: the birth time where the file system records one, else the modification time.
    r.createdNs = (sx.stx_mask & STATX_BTIME) != 0 ? toNs(sx.stx_btime) : r.mtimeNs;
    r.mode = sx.stx_mode;
    r.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    r.ino = sx.stx_ino;
    r.compressed = (sx.stx_attributes_mask & STATX_ATTR_COMPRESSED) && (sx.stx_attributes & STATX_ATTR_COMPRESSED);
    r.encrypted = (sx.stx_attributes_mask & STATX_ATTR_ENCRYPTED) && (sx.stx_attributes & STATX_ATTR_ENCRYPTED);
    return r;
}

PathStat statxAt(int dirFd, const char *name, int flags)
{
    struct statx sx;
    if (::statx(dirFd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
        PathStat r;
        r.error = errno;
        return r;
    }
    return fromStatx(sx);
}

} // namespace

PathStat statPath(const std::string &path)
{
    return statxAt(AT_FDCWD, path.c_str(), 0);
}

PathStat statEntry(int dirFd, const char *name)
{
    PathStat link = statxAt(dirFd, name, AT_SYMLINK_NOFOLLOW);
    if (!link.exists || !S_ISLNK(link.mode)) {
        return link;
    }
    PathStat target = statxAt(dirFd, name, 0);
    target.isSymlink = true;
    return target;
}

PathStat statEntry(const std::string &path)
{
    return statEntry(AT_FDCWD, path.c_str());
}

bool FolderHandle::open(const std::string &folder)
{
    close();
    m_fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return m_fd >= 0;
}

void FolderHandle::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

PathStat FolderHandle::stat(const char *name) const
{
    if (m_fd < 0) {
        PathStat r;
        r.error = EBADF;
        return r;
    }
    return statEntry(m_fd, name);
}

std::string runningProgramPath()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

} // namespace qv
