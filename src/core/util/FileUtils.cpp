// Low-level file and folder operations: queries, validation, deletes and comparisons.
#include "core/util/FileUtils.h"

#include "core/util/Utils.h"
#include "core/text/Variables.h"
#include "platform/FileAttributes.h"
#include "platform/FileLock.h"
#include "platform/FreeSpace.h"
#include "platform/Trash.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

struct DirCloser {
    void operator()(DIR *d) const { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::string stripTrailingSlashes(std::string p)
{
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    return p;
}

bool isDots(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool makeFolders(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            errno = ENOTDIR;
            return false;
        }
        return true;
    }
    if (errno != ENOENT) {
        return false;
    }
    std::string::size_type slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash))) {
        return false;
    }
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        return false;
    }
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string CopyErrorText(std::uint32_t code)
{
    switch (code) {
    case kCopyErrorSameFile:
        return copyErrorText(kCopySameFile);
    case kCopyErrorOutOfMemory:
        return copyErrorText(kCopyOutOfMemory);
    case kCopyErrorCancelled:
        return copyErrorText(kCopyCancelled);
    default:
        return copyErrorText(static_cast<int>(code));
    }
}

std::string RemovePathRoot(const std::string &path)
{
    if (path.empty() || path[0] != '/') {
        return {};
    }
    std::string::size_type start = path.find_first_not_of('/');
    return start == std::string::npos ? std::string() : path.substr(start);
}

std::int64_t GetDiskFreeBytes(const std::string &path)
{
    std::int64_t free = FreeSpace::availableBytes(path);
    return free < 0 ? kUnknownFreeSpace : free;
}

void GetFolderFilesInfo(const std::string &folder, std::int64_t &totalSize, int &count)
{
    totalSize = 0;
    count = 0;
    DirHandle dir(::opendir(stripTrailingSlashes(folder).c_str()));
    if (!dir) {
        return;
    }
    int dfd = ::dirfd(dir.get());
    while (struct dirent *e = ::readdir(dir.get())) {
        if (isDots(e->d_name)) {
            continue;
        }
        ++count;
        struct stat st;
        if (::fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
            totalSize += st.st_size;
        }
    }
}

bool IsFolderEmpty(const std::string &folder)
{
    DirHandle dir(::opendir(stripTrailingSlashes(folder).c_str()));
    if (!dir) {
        return false;
    }
    while (struct dirent *e = ::readdir(dir.get())) {
        if (!isDots(e->d_name)) {
            return false;
        }
    }
    return true;
}

bool DriveExists(const std::string &path)
{
    return !path.empty();
}

bool ValidateFolder(const std::string &path, bool create)
{
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos ||
        path.find(kVariableError) != std::string::npos) {
        return false;
    }
    std::string folder = stripTrailingSlashes(path);
    if (create) {
        return makeFolders(folder) && DriveExists(folder);
    }
    struct stat st;
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && DriveExists(folder);
}

bool ForceDirectories(const std::string &path, std::string *error)
{
    if (path.empty() || path.find('\0') != std::string::npos) {
        if (error != nullptr) {
            *error = std::strerror(EINVAL);
        }
        return false;
    }
    errno = 0;
    if (!makeFolders(stripTrailingSlashes(path))) {
        if (error != nullptr) {
            *error = std::strerror(errno != 0 ? errno : EIO);
        }
        return false;
    }
    return true;
}

bool DeleteFolderPermanently(const std::string &folder, std::string *error)
{
    std::string f = stripTrailingSlashes(folder);
    if (::rmdir(f.c_str()) != 0) {
        if (error != nullptr) {
            *error = std::strerror(errno);
        }
        return false;
    }
    return true;
}

bool DeleteFolderToRecycleBin(const std::string &folder, std::string *error)
{
    Trash::Outcome r = Trash::moveToTrash(stripTrailingSlashes(folder));
    if (!r.ok && error != nullptr) {
        *error = r.error;
    }
    return r.ok;
}

bool DeleteFileToRecycleBin(const std::string &file, std::string *error)
{
    return DeleteFolderToRecycleBin(file, error);
}

bool IsFileLocked(const std::string &file)
{
    return FileLock::probe(file) != FileLock::State::Free;
}

bool FilesHaveSameCrc(const std::string &fileA, const std::string &fileB)
{
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    bool readA = GetFileCRC32(fileA, a);
    bool readB = GetFileCRC32(fileB, b);
    return readA && readB && a == b;
}

TDateTime GetFileDateTime(const std::string &file)
{
    struct stat st;
    if (::stat(file.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return 0;
    }
    std::int64_t secs = st.st_mtim.tv_sec;
    secs -= ((secs % 2) + 2) % 2;
    return dayCountFromUnix(secs, 0);
}

int CompareFileDates(const std::string &fileA, const std::string &fileB)
{
    double diffMs = (GetFileDateTime(fileA) - GetFileDateTime(fileB)) * 86400000.0;
    if (std::fabs(diffMs) < 1.0) {
        return 0;
    }
    return diffMs < 0 ? -1 : 1;
}

bool FileHasAttributes(const std::string &file, std::uint16_t mask)
{
    std::uint32_t attrs = 0;
    if (!FileAttributes::read(file, attrs)) {
        attrs = 0;
    }
    return (attrs & mask) == mask;
}

std::int64_t GetFileSize64(const std::string &file)
{
    struct stat st;
    if (::stat(file.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return 0;
    }
    return st.st_size;
}

bool DeleteFileForced(const std::string &file, std::string *error)
{
    // Deleting needs write access to the folder only; a read-only file goes like any other.
    struct stat st;
    if (::lstat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        if (error != nullptr) {
            *error = std::strerror(EISDIR);
        }
        return false;
    }
    if (::unlink(file.c_str()) != 0) {
        if (error != nullptr) {
            *error = std::strerror(errno);
        }
        return false;
    }
    return true;
}

} // namespace qv
