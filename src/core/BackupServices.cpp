// The real implementations of the backup threads' services.
#include "core/BackupServices.h"

#include "core/BackupFileOps.h"
#include "core/FolderScanner.h"
#include "core/RunControl.h"

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

// In use: somebody holds a lock on the file, or has it open for writing (a read lease is refused
// then). Where leases are not available the lock test alone decides.
bool fileInUse(const std::string &path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno != ENOENT;
    }
    bool inUse = false;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    } else if (errno == EAGAIN) {
        inUse = true;
    }
    if (!inUse) {
        struct flock fl;
        std::memset(&fl, 0, sizeof fl);
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        if (::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK) {
            inUse = true;
        } else if (::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            inUse = true;
        } else {
            ::flock(fd, LOCK_UN);
        }
    }
    ::close(fd);
    return inUse;
}

std::int64_t freeBytesAt(const std::string &path)
{
    std::string p = withoutSlash(path);
    for (;;) {
        struct statvfs vs;
        if (::statvfs(p.c_str(), &vs) == 0) {
            unsigned __int128 bytes = static_cast<unsigned __int128>(vs.f_bavail) * vs.f_frsize;
            return bytes > static_cast<unsigned __int128>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(bytes);
        }
        std::string parent = withoutSlash(folderOf(p));
        if (parent.empty() || parent == p) {
            return INT64_MAX;
        }
        p = parent;
    }
}

// Percent-encodes a path for a .trashinfo Path= line, byte by byte.
std::string encodeTrashPath(const std::string &path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) != 0 || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The home trash of the freedesktop.org specification; items on another file system than the
// home trash are refused (nothing is ever copied across).
bool homeTrash(const std::string &path, std::string &error)
{
    const char *data = std::getenv("XDG_DATA_HOME");
    const char *home = std::getenv("HOME");
    std::string trash = (data != nullptr && *data != 0) ? std::string(data) + "/Trash"
                                                        : std::string(home != nullptr ? home : "") + "/.local/share/Trash";
    int e = 0;
    if (!makeFolders(trash + "/files/", e) || !makeFolders(trash + "/info/", e)) {
        error = errnoText(e);
        return false;
    }
    const std::string item = withoutSlash(path);
    PathStat a = statPath(item);
    PathStat b = statPath(trash + "/files");
    if (!a.exists) {
        error = errnoText(a.error);
        return false;
    }
    if (a.dev != b.dev) {
        error = "the item is not on the file system of the trash";
        return false;
    }
    const std::string base = nameOf(item);
    char stamp[32];
    std::time_t now = std::time(nullptr);
    struct tm tmv;
    ::localtime_r(&now, &tmv);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tmv);
    for (int n = 1; n < 10000; ++n) {
        std::string name = n == 1 ? base : base + "." + std::to_string(n);
        std::string info = trash + "/info/" + name + ".trashinfo";
        int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            error = errnoText(errno);
            return false;
        }
        std::string text = "[Trash Info]\nPath=" + encodeTrashPath(item) + "\nDeletionDate=" + stamp + "\n";
        bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ok = (::close(fd) == 0) && ok;
        if (ok && ::rename(item.c_str(), (trash + "/files/" + name).c_str()) == 0) {
            return true;
        }
        error = errnoText(errno);
        ::unlink(info.c_str());
        return false;
    }
    error = "too many items of that name in the trash";
    return false;
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
        s.moveToTrash = homeTrash;
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
