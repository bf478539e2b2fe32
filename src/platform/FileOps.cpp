// The file operations of the backup threads: times, folders, moves, sync.
#include "platform/FileOps.h"

#include "beneath/RootFolder.h"
#include "platform/FileIo.h"
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

int compareTimes(std::int64_t aNs, std::int64_t bNs, const FileSystemHabits &kept)
{
    if (kept.timeStepNs > 0) {
        // Both sides into the file system's steps, as it would have kept them.
        const std::int64_t step = kept.timeStepNs;
        auto inSteps = [&](std::int64_t ns) {
            if (kept.timeRounds) {
                ns += step / 2;
            }
            return ns >= 0 ? ns / step : (ns - (step - 1)) / step;
        };
        const std::int64_t a = inSteps(aNs);
        const std::int64_t b = inSteps(bNs);
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    std::int64_t d = aNs - bNs;
    if (d > -1000000 && d < 1000000) {
        return 0;
    }
    return d < 0 ? -1 : 1;
}

namespace {

std::int64_t nsOf(const struct timespec &ts)
{
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The habits a file system's type tells for certain; false for a type that must be tried.
bool habitsByType(int folder, FileSystemHabits &habits)
{
    struct statfs sf;
    if (::fstatfs(folder, &sf) != 0) {
        return true; // nothing to go by: times to the millisecond, names exact
    }
    switch (static_cast<unsigned long>(sf.f_type)) {
    case 0x4d44ul:     // msdos, vfat
    case 0x2011BAB0ul: // exfat
        habits = {2000000000, false, true};
        return false;  // the type is certain, yet a try tells the case rule of this mount
    case 0xEF53ul:     // ext2, ext3, ext4
    case 0x9123683Eul: // btrfs
    case 0x58465342ul: // xfs
    case 0x01021994ul: // tmpfs
    case 0xF2F52010ul: // f2fs
        return true;
    default:
        return false;
    }
}

// What the file system keeps of `written`, as the smallest step (down or to the nearest) that
// gives `kept`; none where the two agree within a millisecond or no step explains them.
void stepFromTry(std::int64_t written, std::int64_t kept, FileSystemHabits &habits)
{
    if (written - kept > -1000000 && written - kept < 1000000) {
        habits.timeStepNs = 0;
        return;
    }
    for (std::int64_t step : {10000000LL, 100000000LL, 1000000000LL, 2000000000LL}) {
        for (bool rounds : {false, true}) {
            const FileSystemHabits candidate{step, rounds, false};
            const std::int64_t q = (written + (rounds ? step / 2 : 0)) / step * step;
            if (q == kept && compareTimes(written, kept, candidate) == 0) {
                habits.timeStepNs = step;
                habits.timeRounds = rounds;
                return;
            }
        }
    }
}

} // namespace

FileSystemHabits habitsOf(int folder)
{
    FileSystemHabits habits;
    if (habitsByType(folder, habits)) {
        return habits;
    }
    std::string name;
    int error = 0;
    const int fd = createTempAt(folder, "qvprobe", name, error);
    if (fd < 0) {
        return habits;
    }
    // An odd second and nanoseconds: each step and rule keeps something else of it.
    const std::int64_t written = 1000000001LL * 1000000000 + 987654321;
    const struct timespec times[2] = {{1000000001, 987654321}, {1000000001, 987654321}};
    struct stat st;
    if (::futimens(fd, times) == 0 && ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        stepFromTry(written, nsOf(st.st_mtim), habits);
    }
    std::string other = name;
    for (char &c : other) {
        c = (c >= 'a' && c <= 'z')   ? static_cast<char>(c - 'a' + 'A')
            : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a')
                                     : c;
    }
    struct stat found;
    habits.foldsCase = ::fstatat(folder, other.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0;
    ::close(fd);
    ::unlinkat(folder, name.c_str(), 0);
    return habits;
}

FileSystemHabits habitsOf(const std::string &folder)
{
    const int fd = ::open(withoutSlash(folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    const FileSystemHabits habits = habitsOf(fd);
    ::close(fd);
    return habits;
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
