// Windows-style file attributes emulated over POSIX file metadata.
//
// The task settings, filters and zip entries speak of read-only, hidden, system, archive,
// compressed and encrypted files. They are derived here, in one place, so that filters, copies and
// archives agree:
//   read-only  = the owner has no write permission
//   hidden     = the name starts with "."
//   system     = never
//   compressed, encrypted = the file system says so (statx attributes)
//   archive    = set, unless the file carries the "cleared" mark written when the attribute was
//                cleared and that mark still matches the file's modification time and size; any
//                later change to the file therefore sets the archive attribute again, as it would
//                on Windows.
// Writing attributes changes only what can be kept: read-only (the write permission bits) and
// archive (the mark). Hidden, system, compressed and encrypted cannot be set and are ignored.
#pragma once

#include <cstdint>
#include <string>

struct stat;

namespace qv {

constexpr std::uint32_t faReadOnly = 0x0001;
constexpr std::uint32_t faHidden = 0x0002;
constexpr std::uint32_t faSysFile = 0x0004;
constexpr std::uint32_t faDirectory = 0x0010;
constexpr std::uint32_t faArchive = 0x0020;
constexpr std::uint32_t faCompressed = 0x0800;
constexpr std::uint32_t faEncrypted = 0x4000;

class FileAttributes
{
public:
    // Name of the extended attribute that marks a cleared archive attribute.
    static const char *const kArchiveClearedXattr;

    // Attributes of `path` (symbolic links are followed). On failure returns false and sets
    // `error` to the errno value when given.
    static bool read(const std::string &path, std::uint32_t &attributes, int *error = nullptr);

    // Attributes from metadata already at hand; `path` is used for the archive mark and the name.
    static std::uint32_t fromStat(const std::string &path, const struct stat &st);

    // Gives `path` the attributes that can be kept (read-only and archive). Returns false with
    // `error` set when a system call fails. A file system without user extended attributes cannot
    // keep a cleared archive attribute: that gives false with ENOTSUP.
    static bool write(const std::string &path, std::uint32_t attributes, int *error = nullptr);

    // The same on an open descriptor (a file being written); `mtime`/`size` are taken from it.
    static bool writeFd(int fd, std::uint32_t attributes, int *error = nullptr);

    // Clears the archive attribute of `path` as of the metadata `asOf` (taken earlier, say when a
    // copy of the file started): if the file changed since, the mark does not match and the
    // attribute reads as set.
    static bool markArchiveCleared(const std::string &path, const struct stat &asOf, int *error = nullptr);

    // True when the last name component of `path` makes it hidden.
    static bool isHiddenName(const std::string &path);

private:
    static bool archiveCleared(const std::string &path, const struct stat &st);
};

} // namespace qv
