// The "in use" probe: whether another program holds a lock on a file.
//
// Linux has no share modes, so "in use" means what can be seen: another program has the file open
// for writing (a read lease is refused; this is only known for the user's own files), or holds a
// POSIX record lock, open-file-description lock (fcntl) or flock() lock on it. The probe opens the
// file read-only and never changes it; the flock() test takes an exclusive lock without waiting
// and gives it back at once. The engine and IsFileLocked both ask here.
#pragma once

#include <string>

namespace qv {

class FileLock
{
public:
    enum class State { Free, Locked, Unreadable };

    // Free when the file can be opened for reading and nobody holds a lock on it.
    static State probe(const std::string &path, int *error = nullptr);
    // The same on a descriptor the caller opened read-only on the file.
    static State probeOpen(int fd, int *error = nullptr);
};

} // namespace qv
