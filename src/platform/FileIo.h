// The file system calls whose failures a copy must survive, and the loops around them.
//
// Reads and writes loop over EINTR and short counts here, once for the whole program. The calls a
// network or user-space file system can fail late (write, close, rename) go through FileIo, which
// tests replace with a fake that fails a chosen call, so that the copy's handling of such failures
// is tested without such a file system.
#pragma once

#include <cstddef>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace qv {

class FileIo
{
public:
    virtual ~FileIo() = default;
    virtual ssize_t write(int fd, const void *data, std::size_t length);
    virtual int close(int fd);
    // `from` relative to the folder descriptor `fromDir`, `to` relative to `toDir` (AT_FDCWD: as
    // paths).
    virtual int renameAt(int fromDir, const char *from, int toDir, const char *to);
    int renameAt(int dir, const char *from, const char *to) { return renameAt(dir, from, dir, to); }
    int rename(const char *from, const char *to) { return renameAt(AT_FDCWD, from, AT_FDCWD, to); }
    virtual int fdatasync(int fd);
    virtual int fsync(int fd);
    // A new file without a name in `folder` (O_TMPFILE), relative to `dir`, for writing; -1 with
    // errno set.
    virtual int openUnnamedAt(int dir, const char *folder);
    int openUnnamed(const char *folder) { return openUnnamedAt(AT_FDCWD, folder); }
    virtual int linkat(int fromDir, const char *from, int toDir, const char *to, int flags);

    // The calls in use: the system's, or the fake a test installed.
    static FileIo &current();
    // Installs `io` (null: the system's again) and returns the one it replaces.
    static FileIo *install(FileIo *io);
};

// Reads up to `length` bytes, repeating a read that a signal interrupted; -1 with errno set.
ssize_t readSome(int fd, void *buffer, std::size_t length);

// Writes all of `length` bytes, looping over short writes and EINTR; false with `error` = errno.
bool writeAll(int fd, const void *data, std::size_t length, int &error);

// Replaces the whole file at `path` with `data` (permission bits `mode`, as given): a temporary
// file created exclusively beside it gets every byte, is synced and closed with the result checked,
// is renamed over `path`, and the folder is synced so that the name lasts. Readers see the old file
// or the whole new one, and so does a power cut. False with `error` = errno, and nothing left behind
// (after a failed folder sync the new file is in place, but its name may not last).
bool replaceFile(const std::string &path, const std::string &data, unsigned mode, int &error);

// A path `.<name of target>.qvtmp-<8 letters>` beside `target`; empty for a target without a
// name. Of the 8 letters (A-Z, a-z, 0-9) the first 4 are random and the last 4 a seal drawn from
// all that comes before them, by which isCopyTempName knows the file as one of ours.
std::string tempNameBeside(const std::string &target);
// True for the name (last component) of a temporary file made by tempNameBeside: the shape and the
// seal. A name of that shape without the seal is a user's file like any other.
bool isCopyTempName(std::string_view name);

// Creates a new file `.<name of target>.qvtmp-<8 random letters>` beside `target`, exclusively and
// without following a link, mode 0600; its descriptor, or -1 with `error` = errno.
int createTempBeside(const std::string &target, std::string &tempPath, int &error);
// The same with `target` relative to the folder descriptor `dir`; `tempPath` is relative to it too.
int createTempAt(int dir, const std::string &target, std::string &tempPath, int &error);

// Syncs the folder that holds `path` / the folder itself, so that names made in it last. File
// systems that cannot sync a folder (EINVAL) count as synced.
bool syncFolderOf(const std::string &path, int &error);
bool syncFolder(const std::string &folder, int &error);
// The same for the folder `name` relative to the open folder `dir` ("." for `dir` itself).
bool syncFolderAt(int dir, const char *name, int &error);

// Opens `path` for reading: close-on-exec, and without blocking on a FIFO or a device; -1 with
// `error` = errno.
int openForReading(const std::string &path, int &error);

// Opens (creating it, mode 0666 less the umask) `path` for appending: close-on-exec, never as the
// controlling terminal, without blocking on a FIFO; -1 with `error` = errno.
int openForAppend(const std::string &path, int &error);

// Cuts the file at `path` to nothing; false with `error` = errno.
bool truncateFile(const std::string &path, int &error);

// Moves `fd` back to the start of its file; false with errno set.
bool rewindFile(int fd);

// Closes a descriptor that was only read from (nothing can be lost, so the result is not asked).
void closeReadOnly(int fd);

// Closes `fd` and reports the result of close() itself (late write errors of network file
// systems, quotas); false with `error` = errno. The descriptor is gone either way.
bool closeChecked(int fd, int &error);

} // namespace qv
