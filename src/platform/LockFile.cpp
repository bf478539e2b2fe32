// LockFile: an exclusive flock on a small file.
#include "platform/LockFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qv {

LockFile::~LockFile()
{
    close();
}

bool LockFile::open(const std::string &path, int &error)
{
    close();
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        error = errno;
        return false;
    }
    return true;
}

LockFile::Attempt LockFile::tryLock(int &error)
{
    if (m_fd < 0) {
        error = EBADF;
        return Attempt::Failed;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_locked = true;
        return Attempt::Taken;
    }
    if (errno == EWOULDBLOCK || errno == EINTR) {
        return Attempt::Busy;
    }
    error = errno;
    return Attempt::Failed;
}

void LockFile::close()
{
    if (m_fd >= 0) {
        if (m_locked) {
            ::flock(m_fd, LOCK_UN);
        }
        ::close(m_fd);
        m_fd = -1;
    }
    m_locked = false;
}

} // namespace qv
