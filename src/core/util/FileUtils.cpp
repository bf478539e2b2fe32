// Low-level file and folder operations: queries, validation, deletes and comparisons.
#include "core/util/FileUtils.h"

#include "core/util/Utils.h"
#include "core/text/Variables.h"
#include "platform/FileAttributes.h"
#include "platform/PathText.h"
#include "platform/FileLock.h"
#include "platform/FileOps.h"
#include "platform/FreeSpace.h"
#include "platform/Trash.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace qv {

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
    return withoutRoot(path);
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
    std::vector<std::string> names;
    int error = 0;
    listNames(folder, names, error);
    const std::string base = withoutSlash(folder) + "/";
    for (const std::string &name : names) {
        ++count;
        const PathStat st = statPath(base + name);
        if (st.isRegular) {
            totalSize += st.size;
        }
    }
}

bool IsFolderEmpty(const std::string &folder)
{
    return folderIsEmpty(folder);
}

bool DriveExists(const std::string &path)
{
    return !path.empty();
}

namespace {

bool folderPathUsable(const std::string &path)
{
    return !path.empty() && path[0] == '/' && path.find('\0') == std::string::npos &&
           path.find(kVariableError) == std::string::npos;
}

} // namespace

bool FolderCouldBeMade(const std::string &path)
{
    return folderPathUsable(path) && foldersCouldBeMade(withoutSlash(path)) && DriveExists(path);
}

bool ValidateFolder(const std::string &path, bool create)
{
    if (!folderPathUsable(path)) {
        return false;
    }
    const std::string folder = withoutSlash(path);
    int error = 0;
    if (create) {
        return makeFolders(folder, error) && DriveExists(folder);
    }
    return statPath(folder).isFolder && DriveExists(folder);
}

bool ForceDirectories(const std::string &path, std::string *error)
{
    if (path.empty() || path.find('\0') != std::string::npos) {
        if (error != nullptr) {
            *error = std::strerror(EINVAL);
        }
        return false;
    }
    int code = 0;
    if (!makeFolders(withoutSlash(path), code)) {
        if (error != nullptr) {
            *error = std::strerror(code != 0 ? code : EIO);
        }
        return false;
    }
    return true;
}

bool DeleteFolderPermanently(const std::string &folder, std::string *error)
{
    int code = 0;
    if (!removeEmptyFolder(folder, code)) {
        if (error != nullptr) {
            *error = std::strerror(code);
        }
        return false;
    }
    return true;
}

bool DeleteFolderToRecycleBin(const std::string &folder, std::string *error)
{
    Trash::Outcome r = Trash::moveToTrash(withoutSlash(folder));
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
    const PathStat st = statPath(file);
    if (!st.exists || st.isFolder) {
        return 0;
    }
    std::int64_t secs = st.mtimeNs >= 0 ? st.mtimeNs / 1000000000 : (st.mtimeNs - 999999999) / 1000000000;
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
    const PathStat st = statPath(file);
    return st.exists && !st.isFolder ? st.size : 0;
}

bool DeleteFileForced(const std::string &file, std::string *error)
{
    // Deleting needs write access to the folder only; a read-only file goes like any other.
    const PathStat st = statEntry(file);
    if (st.exists && st.isFolder && !st.isSymlink) {
        if (error != nullptr) {
            *error = std::strerror(EISDIR);
        }
        return false;
    }
    int code = 0;
    if (!deleteFile(file, code)) {
        if (error != nullptr) {
            *error = std::strerror(code);
        }
        return false;
    }
    return true;
}

} // namespace qv
