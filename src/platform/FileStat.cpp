// stat() into the program's own record.
#include "platform/FileStat.h"

#include <cerrno>
#include <climits>
#include <unistd.h>
#include <sys/stat.h>

namespace qv {

namespace {
std::int64_t toNs(const struct timespec &ts)
{
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
} // namespace

PathStat statPath(const std::string &path)
{
    PathStat r;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        r.error = errno;
        return r;
    }
    r.exists = true;
    r.isFolder = S_ISDIR(st.st_mode);
    r.isRegular = S_ISREG(st.st_mode);
    r.size = st.st_size;
    r.mtimeNs = toNs(st.st_mtim);
    r.atimeNs = toNs(st.st_atim);
    r.mode = st.st_mode;
    r.dev = st.st_dev;
    r.ino = st.st_ino;
    return r;
}

std::string runningProgramPath()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

} // namespace qv
