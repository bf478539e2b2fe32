// The "in use" probe: whether another program holds a lock on a file.
//
// Linux has no share modes, so "in use" means what can be seen: another program has the file open
// for writing (a read lease is refused; this is only known for the user's own files), holds a POSIX
// record lock or open-file-description lock (fcntl) on it, or an exclusive flock() lock. The probe
// opens the file read-only and never changes it. It takes no record lock, and its flock() test
// takes a shared lock without waiting and gives it back at once: probes of runs side by side never
// see each other as holders. A shared flock() of another program is a reader's lock (it keeps
// writers out) and does not make the file in use. The engine and IsFileLocked both ask here.
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
