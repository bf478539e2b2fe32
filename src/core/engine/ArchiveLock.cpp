// ArchiveLock: one writer per archive at a time.
#include "core/engine/ArchiveLock.h"

#include "core/engine/RunControl.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace qv {

namespace {

std::string realPath(const std::string &path)
{
    std::string result;
    if (char *real = ::realpath(path.c_str(), nullptr)) {
        result = real;
        std::free(real);
    }
    return result;
}

// The user's private runtime folder for lock files; made 0700 and checked to be ours.
std::string lockFolder()
{
    std::string base;
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
        base = std::string(runtime) + "/quorvellant";
    } else {
        const char *tmp = std::getenv("TMPDIR");
        base = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/quorvellant-" +
               std::to_string(::getuid());
    }
    if (::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) {
        throw std::runtime_error("cannot create the lock folder \"" + base + "\": " + std::strerror(errno));
    }
    struct stat st;
    if (::lstat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        throw std::runtime_error("the lock folder \"" + base + "\" is not a private folder of this user");
    }
    return base + "/";
}

} // namespace

ArchiveLock::~ArchiveLock()
{
    release();
}

std::string ArchiveLock::normalisedPath(const std::string &archive)
{
    std::string whole = realPath(archive);
    if (!whole.empty()) {
        return whole;
    }
    const std::size_t slash = archive.rfind('/');
    if (slash == std::string::npos) {
        return archive;
    }
    const std::string folder = realPath(slash == 0 ? "/" : archive.substr(0, slash));
    if (folder.empty()) {
        return archive;
    }
    return (folder == "/" ? std::string() : folder) + archive.substr(slash);
}

std::string ArchiveLock::lockFileFor(const std::string &archive)
{
    // FNV-1a over the normalised path: stable across processes and builds.
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : normalisedPath(archive)) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    char name[40];
    std::snprintf(name, sizeof name, "archive-%016llx.lock", static_cast<unsigned long long>(hash));
    return lockFolder() + name;
}

bool ArchiveLock::acquire(const std::string &archive, RunControl &control, const std::function<void()> &onWait)
{
    release();
    const std::string file = lockFileFor(archive);
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        throw std::runtime_error("cannot open the lock file \"" + file + "\": " + std::strerror(errno));
    }
    bool waited = false;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            const int error = errno;
            ::close(fd);
            throw std::runtime_error("cannot lock \"" + file + "\": " + std::strerror(error));
        }
        if (!waited) {
            waited = true;
            if (onWait) {
                onWait();
            }
        }
        if (!control.checkpoint()) {
            ::close(fd);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void ArchiveLock::release()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace qv
