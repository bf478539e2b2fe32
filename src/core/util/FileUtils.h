// The file and folder utilities: free functions over paths, each answering with a result flag.
//
// Who calls them: path variables (RemovePathRoot), task validation (ValidateFolder), the folder
// browser (ForceDirectories) and the backup's "same content" test (FilesHaveSameCrc). The backup
// threads copy, delete and recycle through the platform layer (platform/FileCopy.h, Trash.h)
// directly; the other routines here are the utilities' public face and are reached only from
// their tests.
//
// Every routine is a free function without state that never throws and never shows anything: it
// answers with a result flag (and, for the copy, an error code), so it can run on any backup thread.
// CopyFileThrottled is a thin face of the platform's one copy (StagedCopy), which never deletes or
// truncates the destination first: a failed, stopped or out-of-space copy leaves the old
// destination as it was.
#pragma once

#include "core/settings/DateTime.h"
#include "platform/FileCopy.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace qv {

// Error codes of CopyFileThrottled besides errno values.
constexpr std::uint32_t kCopyErrorNone = 0;
constexpr std::uint32_t kCopyErrorSameFile = 87;        // source and destination are the same file
constexpr std::uint32_t kCopyErrorOutOfMemory = 8;      // the copy buffer could not be allocated
constexpr std::uint32_t kCopyErrorCancelled = 0xFFFFFFFF; // the cancel flag or the callback stopped it
constexpr std::uint32_t kCopyErrorSourceChanged = 0xFFFFFFFC; // the source changed while it was read

// A sentence describing a copy error code (the codes above, else the errno text).
std::string CopyErrorText(std::uint32_t code);

// Receives the bytes copied so far and the source size; returns false to cancel.
using CopyProgressCallback = CopyProgress;

// Largest free-space value: "unlimited" for callers.
constexpr std::int64_t kUnknownFreeSpace = INT64_MAX;

// The path without its root: "/home/ann/docs" gives "home/ann/docs". A relative path or the root
// alone gives empty text.
std::string RemovePathRoot(const std::string &path);

// Bytes the user may still write on the file system of `path` (or of its nearest existing folder);
// kUnknownFreeSpace when it cannot be asked.
std::int64_t GetDiskFreeBytes(const std::string &path);

// Total size and count of the entries directly in `folder` (folders count with size 0).
void GetFolderFilesInfo(const std::string &folder, std::int64_t &totalSize, int &count);

// True when `folder` can be read and holds no entry besides "." and "..".
bool IsFolderEmpty(const std::string &folder);

// There are no drive letters: every non-empty path names a present "drive".
bool DriveExists(const std::string &path);

// True when `path` is an absolute path that names a folder, creating every missing level first when
// `create` is set. Empty and relative paths, paths holding a NUL byte and paths that carry the
// marker of a path variable that could not be expanded are refused.
bool ValidateFolder(const std::string &path, bool create);
// What ValidateFolder with `create` would answer, without creating anything.
bool FolderCouldBeMade(const std::string &path);

// Creates `path` with every missing level (an existing folder is fine). On failure `error` gets the
// system's reason (errno text: "Permission denied", "Not a directory", ...).
bool ForceDirectories(const std::string &path, std::string *error = nullptr);

// Removes an empty folder. A folder that holds anything (even a file created a moment ago) is kept
// and the result is false, so nothing is lost between an emptiness test and the delete.
bool DeleteFolderPermanently(const std::string &folder, std::string *error = nullptr);

// Moves a folder with everything in it, or one file, to the trash.
bool DeleteFolderToRecycleBin(const std::string &folder, std::string *error = nullptr);
bool DeleteFileToRecycleBin(const std::string &file, std::string *error = nullptr);

// True when the file cannot be opened for reading or another program holds a lock on it.
bool IsFileLocked(const std::string &file);

// True when both files could be read to their end and have the same CRC-32.
bool FilesHaveSameCrc(const std::string &fileA, const std::string &fileB);

// Last-write time as a local day count in 2-second steps (odd seconds drop to the even second
// below, fractions of a second are dropped); 0 when the file is missing or is a folder.
TDateTime GetFileDateTime(const std::string &file);

// -1 when A is older, 0 when the two dates (as GetFileDateTime gives them) differ by less than one
// millisecond, +1 when A is newer.
int CompareFileDates(const std::string &fileA, const std::string &fileB);

// True when every bit of `mask` is set in the file's attributes (unreadable attributes count as 0).
bool FileHasAttributes(const std::string &file, std::uint16_t mask);

// Size of the file; 0 when it is missing or is a folder.
std::int64_t GetFileSize64(const std::string &file);

// Copies `source` to `destination` through the platform's StagedCopy, with an optional progress
// callback, an optional cancel flag and a bandwidth limit in bytes per second (negative: none; 0 counts as 1). The copy gets
// the source's exact modification time, its permission bits and its attributes; with
// `clearArchiveBit` the source's archive attribute is cleared after a fully successful copy.
// Returns true on success; otherwise `errorCode` says why and the destination is unchanged.
bool CopyFileThrottled(const std::string &source, const std::string &destination,
                       const CopyProgressCallback &progress, const std::atomic<bool> *cancel,
                       std::uint32_t &errorCode, bool clearArchiveBit, std::int64_t bytesPerSecond);

// Deletes one file (or symbolic link); a read-only file is deleted as well.
bool DeleteFileForced(const std::string &file, std::string *error = nullptr);

} // namespace qv
