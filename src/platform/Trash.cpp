// The freedesktop.org Trash: deleting a file or folder so that the user can restore it.
#include "platform/Trash.h"

#include "beneath/RootFolder.h"
#include "platform/FileOps.h"
#include "platform/UserAccount.h"

#include <QDateTime>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

bool ensureTrashDirs(const std::string &trash, std::string &error)
{
    return ensurePrivateFolder(trash, error) && ensurePrivateFolder(trash + "/files", error) &&
           ensurePrivateFolder(trash + "/info", error);
}

bool makeDirs(const std::string &dir)
{
    int error = 0;
    return dir.empty() || makeFolderChain(dir, 0700, error);
}

// The mount point of the file system that holds `dir` (a physical path).
std::string topDirOf(const std::string &dir, dev_t dev)
{
    std::string d = dir;
    while (d != "/") {
        std::string up = parentOf(d);
        struct stat st;
        if (::stat(up.c_str(), &st) != 0 || st.st_dev != dev) {
            break;
        }
        d = up;
    }
    return d;
}

// The trash to use on a file system other than the home one, or empty with `error` set.
std::string topDirTrash(const std::string &topdir, dev_t dev, std::string &error)
{
    const std::string base = topdir == "/" ? "" : topdir;
    const std::string uid = std::to_string(::geteuid());
    struct stat st;
    std::string shared = base + "/.Trash";
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        std::string mine = shared + "/" + uid;
        std::string ignored;
        if (ensureTrashDirs(mine, ignored)) {
            return mine;
        }
    }
    std::string own = base + "/.Trash-" + uid;
    if (!ensureTrashDirs(own, error)) {
        return {};
    }
    if (::stat(own.c_str(), &st) != 0 || st.st_dev != dev) {
        error = "\"" + own + "\" is not on the same file system";
        return {};
    }
    return own;
}

std::string trashInfoText(const std::string &encodedPath)
{
    std::string date = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toStdString();
    return "[Trash Info]\nPath=" + encodedPath + "\nDeletionDate=" + date + "\n";
}

bool writeAll(int fd, const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The name inside the trash: the item's own name, then name.2, name.3, ... until a .trashinfo can be
// created exclusively. Long names are shortened so that "<name>.trashinfo" still fits.
int createInfoFile(const std::string &trash, const std::string &baseName, std::string &name, std::string &error)
{
    const std::size_t maxBase = NAME_MAX - std::strlen(".trashinfo") - 12;
    std::string base = baseName.size() > maxBase ? baseName.substr(0, maxBase) : baseName;
    for (int n = 1; n < 100000; ++n) {
        name = n == 1 ? base : base + "." + std::to_string(n);
        std::string info = trash + "/info/" + name + ".trashinfo";
        int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            error = "cannot create \"" + info + "\": " + errnoText(errno);
            return -1;
        }
        struct stat st;
        if (::lstat((trash + "/files/" + name).c_str(), &st) == 0) {
            // An orphan in files/ without its record: leave it alone and take the next name.
            ::close(fd);
            ::unlink(info.c_str());
            continue;
        }
        return fd;
    }
    error = "no free name in the trash for \"" + baseName + "\"";
    return -1;
}

} // namespace

std::string Trash::homeTrashDir()
{
    const char *data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') {
        return withoutSlash(data) + "/Trash";
    }
    const char *home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share/Trash";
}

std::string Trash::encodePath(const std::string &path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (unsigned char c : path) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '_' || c == '.' || c == '~' || c == '/';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

namespace {

// An absolute path with its folder resolved, so that the recorded original location is a real one;
// the name itself stays as it is (a link is trashed as the link). Empty with `error` set when not.
std::string originalLocation(const std::string &given, std::string &error)
{
    std::string path = withoutSlash(given);
    if (!path.empty() && path[0] != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd) == nullptr) {
            error = "cannot resolve \"" + path + "\": " + errnoText(errno);
            return {};
        }
        path = std::string(cwd) + "/" + path;
    }
    const std::string baseName = path.empty() ? std::string() : path.substr(path.rfind('/') + 1);
    if (baseName.empty() || baseName == "." || baseName == "..") {
        error = "\"" + given + "\" cannot be moved to the trash";
        return {};
    }
    const std::string folder = resolvedPath(parentOf(path));
    if (folder.empty()) {
        error = "cannot resolve the folder of \"" + path + "\": " + errnoText(errno);
        return {};
    }
    return (folder == "/" ? "" : folder) + "/" + baseName;
}

// The entry `entry` of the folder `from` (AT_FDCWD: the absolute `path` itself) into the trash,
// recorded from `path`.
Trash::Outcome moveNamed(int from, const std::string &entry, const std::string &path,
                         const std::string &recordAs)
{
    Trash::Outcome out;
    struct stat st;
    if (::fstatat(from, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        out.error = "cannot read \"" + path + "\": " + errnoText(errno);
        return out;
    }
    const std::string original = recordAs.empty() ? path : originalLocation(recordAs, out.error);
    if (original.empty()) {
        return out;
    }
    const std::string baseName = original.substr(original.rfind('/') + 1);
    const std::string folder = parentOf(path);

    std::string trash;
    std::string recorded;
    std::string home = Trash::homeTrashDir();
    struct stat hs;
    if (makeDirs(parentOf(home)) && ::stat(parentOf(home).c_str(), &hs) == 0 && hs.st_dev == st.st_dev) {
        if (!ensureTrashDirs(home, out.error)) {
            return out;
        }
        trash = home;
        recorded = original;
    } else {
        std::string topdir = topDirOf(folder, st.st_dev);
        trash = topDirTrash(topdir, st.st_dev, out.error);
        if (trash.empty()) {
            out.error = "no trash can be used on the file system of \"" + path + "\" (" + out.error + ")";
            return out;
        }
        // Relative to the top of the file system when the original location lies on it.
        if (topdir == "/") {
            recorded = original.substr(1);
        } else if (original.rfind(topdir + "/", 0) == 0) {
            recorded = original.substr(topdir.size() + 1);
        } else {
            recorded = original;
        }
    }

    std::string name;
    int fd = createInfoFile(trash, baseName, name, out.error);
    if (fd < 0) {
        return out;
    }
    std::string info = trash + "/info/" + name + ".trashinfo";
    bool written = writeAll(fd, trashInfoText(Trash::encodePath(recorded)));
    int writeErr = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        writeErr = errno;
    }
    if (!written) {
        ::unlink(info.c_str());
        out.error = "cannot write \"" + info + "\": " + errnoText(writeErr);
        return out;
    }
    std::string target = trash + "/files/" + name;
    if (::renameat(from, entry.c_str(), AT_FDCWD, target.c_str()) != 0) {
        int err = errno;
        ::unlink(info.c_str());
        out.error = "cannot move \"" + path + "\" to the trash: " + errnoText(err);
        return out;
    }
    out.ok = true;
    out.trashedPath = target;
    out.infoPath = info;
    return out;
}

} // namespace

Trash::Outcome Trash::moveToTrash(const std::string &pathIn, const std::string &recordAs)
{
    Outcome out;
    if (withoutSlash(pathIn).empty()) {
        out.error = "no file name given";
        return out;
    }
    const std::string path = originalLocation(pathIn, out.error);
    if (path.empty()) {
        return out;
    }
    return moveNamed(AT_FDCWD, path, path, recordAs);
}

Trash::Outcome Trash::moveToTrashAt(int folder, const std::string &name, const std::string &pathIn,
                                    const std::string &recordAs)
{
    Outcome out;
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        out.error = "\"" + pathIn + "\" cannot be moved to the trash";
        return out;
    }
    // Where the folder opened stands now (its path may lead elsewhere by now), else the path given.
    char at[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(folder);
    const ssize_t n = ::readlink(link.c_str(), at, sizeof at);
    std::string path;
    if (n > 0 && n < static_cast<ssize_t>(sizeof at) && at[0] == '/') {
        path = std::string(at, static_cast<std::size_t>(n));
        path = (path == "/" ? "" : path) + "/" + name;
    } else {
        path = originalLocation(pathIn, out.error);
    }
    if (path.empty()) {
        return out;
    }
    return moveNamed(folder, name, path, recordAs);
}

} // namespace qv
