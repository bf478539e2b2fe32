// The file operations of the backup threads beyond the copy itself (StagedCopy): times, folders,
// deletion, moves, path parts and the final sync. Nothing here throws; errors come back as errno
// values.
#pragma once

#include "platform/FileCopy.h"
#include "platform/FileStat.h"
#include "platform/PathText.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// How a file system keeps what it is given: modification times in steps (FAT keeps 2 seconds,
// exFAT through FUSE 1 second, many network file systems less than a nanosecond's worth) and
// names with or without telling upper from lower case.
struct FileSystemHabits
{
    std::int64_t timeStepNs = 0; // 0: times kept within a millisecond
    bool timeRounds = false;     // to the nearest step, else down to it
    bool foldsCase = false;      // "A.txt" finds "a.txt"
};

// -1 when a is older, 0 when the two times are equal as the file system keeps them (within a
// millisecond, or in the same step), +1 when a is newer.
int compareTimes(std::int64_t aNs, std::int64_t bNs, const FileSystemHabits &kept);

// The habits of the file system of `folder` (any descriptor of it, O_PATH will do): known ones
// by their type, any other by what it keeps of a time with nanoseconds and whether another case
// of a name finds it, tried on a temporary file in the folder. Where no file can be made there,
// the type alone tells (FAT and exFAT: 2-second steps).
FileSystemHabits habitsOf(int folder);
FileSystemHabits habitsOf(const std::string &folder);

// The errno text, or the sentence of a copy error.
std::string errnoText(int error);

// The path with every symbolic link and "." / ".." resolved (realpath); empty when it cannot be.
std::string resolvedPath(const std::string &path);

// Creates a folder and every missing level above it.
bool makeFolders(const std::string &folder, int &error);
// Whether makeFolders could succeed without trying: the folder exists, or its nearest existing
// level is a folder this process may create entries in.
bool foldersCouldBeMade(const std::string &folder);

// Gives `folder` the times and permission bits of `source`.
bool copyFolderMeta(const std::string &source, const std::string &folder, int &error);
// The same for the folder open as `folder` (for reading: O_PATH will not do).
bool copyFolderMetaAt(const std::string &source, int folder, int &error);

// Deletes a file or symbolic link / an empty folder.
bool deleteFile(const std::string &path, int &error);
bool removeEmptyFolder(const std::string &folder, int &error);
// The names in `folder` but "." and "..", in the order the system lists them; false with `error`
// when the folder cannot be listed (or fails part way).
bool listNames(const std::string &folder, std::vector<std::string> &names, int &error);

// True when anything (a file, folder or link, even a dangling one) stands at `path`.
bool pathTaken(const std::string &path);

// A second name for a file (link(2)); false with `error`.
bool linkPath(const std::string &existing, const std::string &name, int &error);

// True when the folder exists and holds nothing; `readable` is false when it cannot be listed.
bool folderIsEmpty(const std::string &folder, bool *readable = nullptr);

// rename(2); also moves across file systems by copying (through a temporary file) and then
// deleting the source. A folder is moved only by rename.
bool movePath(const std::string &from, const std::string &to, const std::atomic<bool> *cancel,
              std::int64_t bytesPerSecond, int &error);

// Flushes the file system that holds `path` (syncfs).
bool syncFileSystem(const std::string &path, int &error);

} // namespace qv
