// What the program needs to know of a path from one stat: kind, size, times, mode and identity.
//
// Every part takes a file's times from here, so a creation-date filter sees the same date in a
// run, in the filter test and in the dialogs: "created" is the birth time where the file system
// records one, else the modification time (never the inode change time).
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct PathStat
{
    bool exists = false;
    bool isFolder = false;
    bool isRegular = false;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t atimeNs = 0;
    std::int64_t createdNs = 0; // birth time, else the modification time
    std::uint32_t mode = 0;
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    bool isSymlink = false; // statEntry: the entry is a link (the rest describes its target)
    bool compressed = false; // the file system says so
    bool encrypted = false;
    int error = 0; // errno when !exists
};

// stat() (following symbolic links).
PathStat statPath(const std::string &path);

// An entry of a folder: a symbolic link is followed and marked; a dangling link gives !exists
// with isSymlink set. The first form names the entry inside the folder open as `dirFd`.
PathStat statEntry(int dirFd, const char *name);
PathStat statEntry(const std::string &path);

// A folder held open to look at its entries by name: the folder's path is walked once instead of
// once for each entry.
class FolderHandle
{
public:
    FolderHandle() = default;
    ~FolderHandle() { close(); }
    FolderHandle(const FolderHandle &) = delete;
    FolderHandle &operator=(const FolderHandle &) = delete;

    // Opens `folder` (closing the one held before); false when it cannot be opened.
    bool open(const std::string &folder);
    void close();
    // The entry `name` (no "/" in it) as statEntry gives it: a link followed and marked.
    PathStat stat(const char *name) const;

private:
    int m_fd = -1;
};

// The full path of the running program (its /proc link resolved); empty when it cannot be read.
std::string runningProgramPath();

} // namespace qv
