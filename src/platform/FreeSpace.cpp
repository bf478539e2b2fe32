// Free space on the file system that holds a path.
#include "platform/FreeSpace.h"

#include "platform/PathText.h"

#include <cerrno>
#include <limits>
#include <sys/statvfs.h>

namespace qv {
namespace {


} // namespace

std::int64_t FreeSpace::availableBytes(const std::string &path)
{
    if (path.empty()) {
        return -1;
    }
    std::string p = path;
    for (int depth = 0; depth < 4096; ++depth) {
        struct statvfs vfs;
        if (::statvfs(p.c_str(), &vfs) == 0) {
            unsigned __int128 bytes = static_cast<unsigned __int128>(vfs.f_bavail) * vfs.f_frsize;
            const auto maxValue = static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max());
            return static_cast<std::int64_t>(bytes > maxValue ? maxValue : bytes);
        }
        if (errno != ENOENT && errno != ENOTDIR) {
            return -1;
        }
        std::string up = parentOf(p);
        if (up == p) {
            return -1;
        }
        p = up;
    }
    return -1;
}

} // namespace qv
