// The file operations of the backup threads that the copy engine needs beyond the shared helpers.
//
// The central piece is StagedCopy: a copy is written to a temporary file beside its destination
// and only renamed over it once every byte, the modification time and the mode are in place. The
// engine splits the two steps because, with versions kept, the old destination moves to the
// versions archive between them: a failed or stopped copy then leaves both the destination and the
// archive as they were. Nothing here throws; errors come back as errno values.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

struct PathStat {
    bool exists = false;
    bool isFolder = false;
    bool isRegular = false;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t atimeNs = 0;
    std::uint32_t mode = 0;
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    int error = 0; // errno when !exists
};

// stat() (following symbolic links).
PathStat statPath(const std::string &path);

// -1 when a is older, 0 when the two times are equal within a millisecond (or, with `coarse`, fall
// into the same 2-second step, as on FAT file systems), +1 when a is newer.
int compareTimes(std::int64_t aNs, std::int64_t bNs, bool coarse);

// True for file systems that keep modification times in 2-second steps (FAT, exFAT).
bool hasCoarseTimes(const std::string &path);

// The errno text.
std::string errnoText(int error);

// The folder part of a path, with a trailing "/"; the last component.
std::string folderOf(const std::string &path);
std::string nameOf(const std::string &path);
// `folder` without its trailing "/" (the root stays "/").
std::string withoutSlash(const std::string &folder);

// Creates a folder and every missing level above it.
bool makeFolders(const std::string &folder, int &error);

// Gives `folder` the times and permission bits of `source`.
bool copyFolderMeta(const std::string &source, const std::string &folder, int &error);

// CRC-32 of a whole file; false when it cannot be read to its end.
bool fileCrc32(const std::string &path, std::uint32_t &crc);

// Deletes a file or symbolic link / an empty folder.
bool deleteFile(const std::string &path, int &error);
bool removeEmptyFolder(const std::string &folder, int &error);
// True when the folder exists and holds nothing; `readable` is false when it cannot be listed.
bool folderIsEmpty(const std::string &folder, bool *readable = nullptr);

// rename(2); also moves across file systems by copying (through a temporary file) and then
// deleting the source. A folder is moved only by rename.
bool movePath(const std::string &from, const std::string &to, const std::atomic<bool> *cancel,
              std::int64_t bytesPerSecond, int &error);

// True for the name (last component) of a copy's temporary file: ".<name>.qvtmp-<random>".
bool isTempCopyName(std::string_view name);

// Flushes the file system that holds `path` (syncfs).
bool syncFileSystem(const std::string &path, int &error);

// Error value used when a copy was stopped by the cancel flag.
inline constexpr int kCopyCancelled = -1;

// One copy through a temporary file. write() leaves the finished temporary file; commit() renames
// it over the destination; anything else (including destruction) removes it.
class StagedCopy
{
public:
    StagedCopy() = default;
    StagedCopy(const StagedCopy &) = delete;
    StagedCopy &operator=(const StagedCopy &) = delete;
    ~StagedCopy() { discard(); }

    // Copies `source` into a new temporary file in the folder of `destination`. `bytesPerSecond`
    // below 0 means no limit. On failure `error` is an errno value or kCopyCancelled.
    bool write(const std::string &source, const std::string &destination, const std::atomic<bool> *cancel,
               std::int64_t bytesPerSecond, int &error);
    // The same from a source the caller opened for reading; `destination` as the caller saw it
    // (to refuse copying a file onto itself), or null to look.
    bool write(int sourceFd, const std::string &destination, const PathStat *knownDestination,
               const std::atomic<bool> *cancel, std::int64_t bytesPerSecond, int &error);
    bool commit(int &error);
    void discard();

    const std::string &tempPath() const { return m_temp; }
    std::int64_t bytesWritten() const { return m_written; }

private:
    std::string m_temp;
    std::string m_destination;
    std::int64_t m_written = 0;
    int m_lockFd = -1;
};

} // namespace qv
