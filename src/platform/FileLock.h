// The "in use" probe: whether another program holds a lock on a file.
//
// Linux has no share modes, so "in use" means what a cooperating program can say: a POSIX record
// lock or open-file-description lock (fcntl), or a flock() lock, held on the file by anyone else.
// The probe opens the file read-only and never changes it; the flock() test takes an exclusive
// lock without waiting and gives it back at once.
#pragma once

#include <string>

namespace qv {

class FileLock
{
public:
    enum class State { Free, Locked, Unreadable };

    // Free when the file can be opened for reading and nobody holds a lock on it.
    static State probe(const std::string &path, int *error = nullptr);
};

} // namespace qv
