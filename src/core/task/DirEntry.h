// One directory entry as the scan hands it to the filters: name, attributes, size and times.
//
// The scan fills one record per entry it finds (readDirEntry does it from statx); the filters read
// only these fields. Attributes use the Windows bit values the filters and the zips share, computed
// by the platform's attribute emulation. Times stay POSIX (seconds and nanoseconds) so that an entry
// costs no conversion unless a date filter asks for one.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

// Attribute bits of a directory entry.
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrHidden = 0x2;
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrCompressed = 0x800;
inline constexpr std::uint32_t kAttrEncrypted = 0x4000;

struct FileTime
{
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;
    bool operator==(const FileTime &) const = default;
};

struct DirEntry
{
    std::string name; // the entry's name as bytes (not necessarily UTF-8)
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    FileTime creationTime; // birth time where the file system reports it, else modification
    FileTime lastAccessTime;
    FileTime lastWriteTime;
    bool isSymlink = false; // the entry is a symbolic link (the other fields describe its target)

    bool isDirectory() const { return (attributes & kAttrDirectory) != 0; }
};

// Fills `entry` for `name` inside `folder` (with or without a trailing "/"), following a symbolic
// link to what it names. Returns 0, or the errno of the failed call.
int readDirEntry(const std::string &folder, const std::string &name, DirEntry &entry);

} // namespace qv
