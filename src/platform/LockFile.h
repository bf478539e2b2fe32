// LockFile: an exclusive advisory lock (flock) on a small file, released by the system when the
// holder ends or crashes.
#pragma once

#include <string>

namespace qv {

class LockFile
{
public:
    enum class Attempt { Taken, Busy, Failed };

    LockFile() = default;
    ~LockFile();
    LockFile(const LockFile &) = delete;
    LockFile &operator=(const LockFile &) = delete;

    // Opens (creating it 0600, never through a symbolic link) the file to lock; false with errno.
    bool open(const std::string &path, int &error);
    // One try without waiting: Taken, Busy while another holder has it, Failed with errno.
    Attempt tryLock(int &error);
    // Unlocks and closes the file.
    void close();
    bool isLocked() const { return m_locked; }

private:
    int m_fd = -1;
    bool m_locked = false;
};

} // namespace qv
