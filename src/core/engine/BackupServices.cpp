// The real implementations of the backup threads' services.
#include "core/engine/BackupServices.h"

#include "core/engine/BackupFileOps.h"
#include "core/engine/FolderScanner.h"
#include "core/engine/RunControl.h"
#include "core/util/Utils.h"
#include "platform/FreeSpace.h"
#include "platform/Processes.h"
#include "platform/Trash.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>

namespace qv {

namespace {

bool runProgram(const std::string &commandLine, bool wait, const RunControl &control)
{
    return ExecuteProgram(commandLine, false, wait, &control.stopFlag());
}

void openWithDesktop(const std::string &path)
{
    Processes::Command c;
    c.argv = {"xdg-open", path};
    c.captureOutput = false;
    c.wait = false;
    Processes::execute(c);
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
