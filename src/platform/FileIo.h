// The file system calls whose failures a copy must survive, and the loops around them.
//
// Reads and writes loop over EINTR and short counts here, once for the whole program. The calls a
// network or user-space file system can fail late (write, close, rename) go through FileIo, which
// tests replace with a fake that fails a chosen call, so that the copy's handling of such failures
// is tested without such a file system.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace qv {

class FileIo
{
public:
    virtual ~FileIo() = default;
    virtual ssize_t write(int fd, const void *data, std::size_t length);
    virtual int close(int fd);
    virtual int rename(const char *from, const char *to);

    // The calls in use: the system's, or the fake a test installed.
    static FileIo &current();
    // Installs `io` (null: the system's again) and returns the one it replaces.
    static FileIo *install(FileIo *io);
};

// Reads up to `length` bytes, repeating a read that a signal interrupted; -1 with errno set.
ssize_t readSome(int fd, void *buffer, std::size_t length);

// Writes all of `length` bytes, looping over short writes and EINTR; false with `error` = errno.
bool writeAll(int fd, const void *data, std::size_t length, int &error);

// Writes `data` into a temporary file beside `path` (mode `mode`), closes it with the result
// checked and renames it over `path`: readers see the old file or the whole new one. False with
// `error` = errno, and nothing left behind.
bool replaceFile(const std::string &path, const std::string &data, unsigned mode, int &error);

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
