// The file operations of the backup threads: times, folders, moves, sync.
#include "platform/FileOps.h"

#include "beneath/RootFolder.h"
#include "platform/FolderListing.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace qv {

int compareTimes(std::int64_t aNs, std::int64_t bNs, bool coarse)
{
    if (coarse) {
        // Both into 2-second steps, odd seconds down to the even second below.
        auto step = [](std::int64_t ns) {
            std::int64_t s = ns >= 0 ? ns / 1000000000 : (ns - 999999999) / 1000000000;
            return s - (((s % 2) + 2) % 2);
        };
        std::int64_t a = step(aNs);
        std::int64_t b = step(bNs);
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    std::int64_t d = aNs - bNs;
    if (d > -1000000 && d < 1000000) {
        return 0;
    }
    return d < 0 ? -1 : 1;
}

bool hasCoarseTimes(const std::string &path)
{
    struct statfs sf;
    if (::statfs(path.c_str(), &sf) != 0) {
        return false;
    }
    const auto type = static_cast<unsigned long>(sf.f_type);
    return type == 0x4d44ul /* msdos, vfat */ || type == 0x2011BAB0ul /* exfat */;
}

std::string errnoText(int error)
{
    return copyErrorText(error);
}

std::string resolvedPath(const std::string &path)
{
    std::string result;
    if (char *real = ::realpath(path.c_str(), nullptr)) {
        result = real;
        std::free(real);
    }
    return result;
}

bool makeFolders(const std::string &folder, int &error)
{
    return makeFolderChain(folder, 0777, error);
}

bool foldersCouldBeMade(const std::string &folder)
{
    std::string p = withoutSlash(folder);
    while (!p.empty()) {
        struct stat st;
        if (::stat(p.c_str(), &st) == 0) {
            return S_ISDIR(st.st_mode) && (p == withoutSlash(folder) || ::access(p.c_str(), W_OK | X_OK) == 0);
        }
        if (errno != ENOENT) {
            return false;
        }
        const std::string parent = withoutSlash(folderOf(p));
        if (parent == p) {
            break;
        }
        p = parent;
    }
    return false;
}

bool copyFolderMeta(const std::string &source, const std::string &folder, int &error)
{
    const int fd = ::open(withoutSlash(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    const bool done = copyFolderMetaAt(source, fd, error);
    ::close(fd);
    return done;
}

bool copyFolderMetaAt(const std::string &source, int folder, int &error)
{
    struct stat st;
    if (::stat(withoutSlash(source).c_str(), &st) != 0) {
        error = errno;
        return false;
    }
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(folder, times) != 0) {
        error = errno;
        return false;
    }
    // The owner keeps the right to write into the copy, or nothing could be added to it later.
    if (::fchmod(folder, (st.st_mode & 07777) | S_IRWXU) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool deleteFile(const std::string &path, int &error)
{
    if (::unlink(path.c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool removeEmptyFolder(const std::string &folder, int &error)
{
    if (::rmdir(withoutSlash(folder).c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool folderIsEmpty(const std::string &folder, bool *readable)
{
    DIR *d = ::opendir(withoutSlash(folder).c_str());
    if (readable != nullptr) {
        *readable = d != nullptr;
    }
    if (d == nullptr) {
        return false;
    }
    bool empty = true;
    while (struct dirent *e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(d);
    return empty;
}

bool listNames(const std::string &folder, std::vector<std::string> &names, int &error)
{
    names.clear();
    FolderListing listing;
    if (!listing.open(withoutSlash(folder), error)) {
        return false;
    }
    bool isFolder = false;
    while (const char *name = listing.next(isFolder)) {
        names.emplace_back(name);
    }
    if (listing.failed() != 0) {
        error = listing.failed();
        return false;
    }
    return true;
}

bool pathTaken(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool linkPath(const std::string &existing, const std::string &name, int &error)
{
    if (::link(existing.c_str(), name.c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool movePath(const std::string &from, const std::string &to, const std::atomic<bool> *cancel,
              std::int64_t bytesPerSecond, int &error)
{
    if (::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        error = errno;
        return false;
    }
    PathStat src = statPath(from);
    if (!src.isRegular) {
        error = EXDEV;
        return false;
    }
    // The original goes after this: the copy's data and name reach the disk first.
    StagedCopy copy;
    CopyOptions options;
    options.cancel = cancel;
    options.bytesPerSecond = bytesPerSecond;
    options.syncData = true;
    options.syncName = true;
    if (!copy.write(from, to, options, error)) {
        return false;
    }
    if (copy.bytesWritten() != src.size) {
        error = EIO;
        return false;
    }
    if (!copy.commit(error)) {
        return false;
    }
    return deleteFile(from, error);
}

bool syncFileSystem(const std::string &path, int &error)
{
    int fd = ::open(withoutSlash(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    bool ok = ::syncfs(fd) == 0;
    if (!ok) {
        error = errno;
    }
    ::close(fd);
    return ok;
}

} // namespace qv
