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

// -1 when a is older, 0 when the two times are equal within a millisecond (or, with `coarse`, fall
// into the same 2-second step, as on FAT file systems), +1 when a is newer.
int compareTimes(std::int64_t aNs, std::int64_t bNs, bool coarse);

// True for file systems that keep modification times in 2-second steps (FAT, exFAT).
bool hasCoarseTimes(const std::string &path);

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
