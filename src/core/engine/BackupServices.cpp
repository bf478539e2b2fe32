// The real implementations of the backup threads' services.
#include "core/engine/BackupServices.h"

#include "core/engine/BackupFileOps.h"
#include "core/engine/FolderScanner.h"
#include "core/engine/RunControl.h"
#include "platform/FreeSpace.h"
#include "platform/Trash.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace qv {

namespace {

pid_t spawn(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &a : argv) {
        args.push_back(const_cast<char *>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        return -1;
    }
    return pid;
}

bool runProgram(const std::string &commandLine, bool wait, const RunControl &control)
{
    pid_t pid = spawn({"/bin/sh", "-c", commandLine});
    if (pid < 0) {
        return false;
    }
    if (!wait) {
        std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
        return true;
    }
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR)) {
            return true;
        }
        if (control.stopRequested()) {
            std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void openWithDesktop(const std::string &path)
{
    pid_t pid = spawn({"xdg-open", path});
    if (pid > 0) {
        std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    }
}

// In use: somebody has the file open for writing (a read lease is refused then) or holds a lock on
// it. Every test is made on the caller's own read-only descriptor and changes nothing.
bool fdInUse(int fd)
{
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    } else if (errno == EAGAIN) {
        return true;
    }
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK) {
        return true;
    }
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK;
    }
    ::flock(fd, LOCK_UN);
    return false;
}

bool fileInUse(const std::string &path, int fd)
{
    if (fd >= 0) {
        return fdInUse(fd);
    }
    int own = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (own < 0) {
        return errno != ENOENT;
    }
    const bool inUse = fdInUse(own);
    ::close(own);
    return inUse;
}

bool trash(const std::string &path, std::string &error)
{
    Trash::Outcome outcome = Trash::moveToTrash(path);
    error = outcome.error;
    return outcome.ok;
}

std::int64_t freeBytesAt(const std::string &path)
{
    const std::int64_t free = FreeSpace::availableBytes(path);
    return free < 0 ? INT64_MAX : free;
}

} // namespace

BackupServices BackupServices::withDefaults() const
{
    BackupServices s = *this;
    if (!s.directoryReader) {
        s.directoryReader = std::make_shared<DirectoryReader>();
    }
    if (!s.executeProgram) {
        s.executeProgram = runProgram;
    }
    if (!s.openReport) {
        s.openReport = openWithDesktop;
    }
    if (!s.moveToTrash) {
        s.moveToTrash = trash;
    }
    if (!s.isInUse) {
        s.isInUse = fileInUse;
    }
    if (!s.freeBytes) {
        s.freeBytes = freeBytesAt;
    }
    if (!s.mounts) {
        s.mounts = MountTable::system;
    }
    return s;
}

} // namespace qv
