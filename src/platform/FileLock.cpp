// The "in use" probe: whether another program holds a lock on a file.
#include "platform/FileLock.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace qv {
namespace {

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

namespace {

// NFS and SMB carry flock() to the server as record locks.
bool onNetworkFileSystem(int fd)
{
    struct statfs fs = {};
    if (::fstatfs(fd, &fs) != 0) {
        return false;
    }
    const auto type = static_cast<unsigned long>(fs.f_type);
    return type == 0x6969UL /* NFS */ || type == 0xFF534D42UL /* CIFS */ || type == 0xFE534D42UL /* SMB2 */;
}

FileLock::State report(int *error, int value, FileLock::State state)
{
    if (error != nullptr) {
        *error = value;
    }
    return state;
}

} // namespace

FileLock::State FileLock::probe(const std::string &path, int *error)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        return report(error, errno, State::Unreadable);
    }
    return probeOpen(fd.get(), error);
}

// While the probe holds its lease, another program that opens the file for writing makes the
// kernel signal the holder with SIGIO, whose default action ends the process. Nothing here uses
// the signal: it is ignored, unless the program handles it itself.
void ignoreLeaseBreaks()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current = {};
        if (::sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
            (current.sa_flags & SA_SIGINFO) == 0) {
            ::signal(SIGIO, SIG_IGN);
        }
    });
}

FileLock::State FileLock::probeOpen(int fd, int *error)
{
    // A read lease is refused while anyone has the file open for writing. Only the file's owner
    // may take one; for other files this test says nothing.
    ignoreLeaseBreaks();
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    } else if (errno == EAGAIN) {
        return report(error, 0, State::Locked);
    }
    // A write lock over the whole file conflicts with every read or write lock another owner holds,
    // record locks of other processes and open-file-description locks alike.
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) {
        return report(error, errno, State::Unreadable);
    }
    if (fl.l_type != F_UNLCK) {
        return report(error, 0, State::Locked);
    }
    // A shared flock conflicts only with an exclusive one: another program's writer lock is seen,
    // while the probes of runs side by side (this program's threads, other copies of it) never
    // see each other. On NFS and SMB a flock is a record lock on the server, which the test above
    // saw already: no lock is taken there, as another run's record-lock test would see it.
    if (onNetworkFileSystem(fd)) {
        return report(error, 0, State::Free);
    }
    while (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno == EWOULDBLOCK) {
            return report(error, 0, State::Locked);
        }
        // File systems without flock support cannot hold such locks either.
        return report(error, 0, State::Free);
    }
    ::flock(fd, LOCK_UN);
    return report(error, 0, State::Free);
}

} // namespace qv
