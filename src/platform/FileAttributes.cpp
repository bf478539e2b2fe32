// Windows-style file attributes emulated over POSIX file metadata.
#include "platform/FileAttributes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace qv {
namespace {

// The mark names the exact modification time and size the file had when its archive attribute
// was cleared; a file changed since then no longer matches it.
std::string archiveMark(const struct stat &st)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "%lld.%09ld:%lld", static_cast<long long>(st.st_mtim.tv_sec),
                  static_cast<long>(st.st_mtim.tv_nsec), static_cast<long long>(st.st_size));
    return buf;
}

bool isXattrUnsupported(int err)
{
    return err == ENOTSUP || err == EOPNOTSUPP;
}

// Read-only is the absence of every write permission; clearing it gives the owner write access.
mode_t wantedMode(mode_t mode, std::uint32_t attributes)
{
    if (attributes & faReadOnly) {
        return mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    }
    return mode | S_IWUSR;
}

void setError(int *error, int value)
{
    if (error != nullptr) {
        *error = value;
    }
}

} // namespace

const char *const FileAttributes::kArchiveClearedXattr = "user.quorvellant.archive-cleared";

bool FileAttributes::isHiddenName(const std::string &path)
{
    std::string::size_type end = path.size();
    while (end > 1 && path[end - 1] == '/') {
        --end;
    }
    std::string::size_type slash = path.rfind('/', end == 0 ? 0 : end - 1);
    std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
    if (start >= end || path[start] != '.') {
        return false;
    }
    // "." and ".." are references, not hidden names.
    std::string name = path.substr(start, end - start);
    return name != "." && name != "..";
}

bool FileAttributes::archiveCleared(const std::string &path, const struct stat &st)
{
    if (!S_ISREG(st.st_mode)) {
        return false;
    }
    char buf[96];
    ssize_t n = ::getxattr(path.c_str(), kArchiveClearedXattr, buf, sizeof buf);
    if (n <= 0) {
        return false;
    }
    return std::string(buf, static_cast<std::size_t>(n)) == archiveMark(st);
}

std::uint32_t FileAttributes::fromStat(const std::string &path, const struct stat &st)
{
    std::uint32_t attrs = 0;
    if (S_ISDIR(st.st_mode)) {
        attrs |= faDirectory;
    } else if (!archiveCleared(path, st)) {
        attrs |= faArchive;
    }
    if ((st.st_mode & S_IWUSR) == 0) {
        attrs |= faReadOnly;
    }
    if (isHiddenName(path)) {
        attrs |= faHidden;
    }
    return attrs;
}

bool FileAttributes::read(const std::string &path, std::uint32_t &attributes, int *error)
{
    attributes = 0;
    struct statx sx;
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS, &sx) != 0) {
        setError(error, errno);
        return false;
    }
    // What fromStat looks at, taken from the same call.
    struct stat st = {};
    st.st_mode = sx.stx_mode;
    st.st_size = static_cast<off_t>(sx.stx_size);
    st.st_mtim.tv_sec = sx.stx_mtime.tv_sec;
    st.st_mtim.tv_nsec = sx.stx_mtime.tv_nsec;
    attributes = fromStat(path, st);
    if ((sx.stx_attributes_mask & STATX_ATTR_COMPRESSED) && (sx.stx_attributes & STATX_ATTR_COMPRESSED)) {
        attributes |= faCompressed;
    }
    if ((sx.stx_attributes_mask & STATX_ATTR_ENCRYPTED) && (sx.stx_attributes & STATX_ATTR_ENCRYPTED)) {
        attributes |= faEncrypted;
    }
    setError(error, 0);
    return true;
}

bool FileAttributes::write(const std::string &path, std::uint32_t attributes, int *error)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        setError(error, errno);
        return false;
    }
    // Read-only on a folder would stop anything being written into it, which the attribute never
    // did for folders; it is only kept for files.
    if (!S_ISDIR(st.st_mode)) {
        mode_t mode = st.st_mode & 07777;
        mode_t wanted = wantedMode(mode, attributes);
        if (wanted != mode && ::chmod(path.c_str(), wanted) != 0) {
            setError(error, errno);
            return false;
        }
    }
    if (!S_ISREG(st.st_mode)) {
        setError(error, 0);
        return true;
    }
    if (attributes & faArchive) {
        if (::removexattr(path.c_str(), kArchiveClearedXattr) != 0 && errno != ENODATA &&
            !isXattrUnsupported(errno)) {
            setError(error, errno);
            return false;
        }
    } else {
        return markArchiveCleared(path, st, error);
    }
    setError(error, 0);
    return true;
}

bool FileAttributes::markArchiveCleared(const std::string &path, const struct stat &asOf, int *error)
{
    std::string mark = archiveMark(asOf);
    if (::setxattr(path.c_str(), kArchiveClearedXattr, mark.data(), mark.size(), 0) != 0) {
        setError(error, errno);
        return false;
    }
    setError(error, 0);
    return true;
}

bool FileAttributes::writeFd(int fd, std::uint32_t attributes, int *error)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        setError(error, errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        mode_t mode = st.st_mode & 07777;
        mode_t wanted = wantedMode(mode, attributes);
        if (wanted != mode && ::fchmod(fd, wanted) != 0) {
            setError(error, errno);
            return false;
        }
    }
    if (S_ISREG(st.st_mode)) {
        if (attributes & faArchive) {
            if (::fremovexattr(fd, kArchiveClearedXattr) != 0 && errno != ENODATA && !isXattrUnsupported(errno)) {
                setError(error, errno);
                return false;
            }
        } else {
            std::string mark = archiveMark(st);
            if (::fsetxattr(fd, kArchiveClearedXattr, mark.data(), mark.size(), 0) != 0) {
                setError(error, errno);
                return false;
            }
        }
    }
    setError(error, 0);
    return true;
}

} // namespace qv
