// Reading a directory entry with statx.
#include "core/DirEntry.h"

#include "core/ModelSeams.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace qv {

int readDirEntry(int dirFd, const std::string &name, DirEntry &entry)
{
    struct statx lst {};
    if (::statx(dirFd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                STATX_TYPE | STATX_MODE, &lst) != 0) {
        return errno;
    }
    entry.isSymlink = S_ISLNK(lst.stx_mode);
    struct statx st {};
    const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    if (::statx(dirFd, name.c_str(), AT_STATX_SYNC_AS_STAT, mask, &st) != 0) {
        return errno;
    }
    entry.name = name;
    entry.size = st.stx_size;
    entry.lastWriteTime = {st.stx_mtime.tv_sec, static_cast<std::int32_t>(st.stx_mtime.tv_nsec)};
    entry.lastAccessTime = {st.stx_atime.tv_sec, static_cast<std::int32_t>(st.stx_atime.tv_nsec)};
    if ((st.stx_mask & STATX_BTIME) != 0) {
        entry.creationTime = {st.stx_btime.tv_sec, static_cast<std::int32_t>(st.stx_btime.tv_nsec)};
    } else {
        entry.creationTime = entry.lastWriteTime;
    }
    entry.attributes = seams::entryAttributes(dirFd, name, st);
    return 0;
}

} // namespace qv
