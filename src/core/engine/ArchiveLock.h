// ArchiveLock: one writer per archive at a time, across the runs of this program and of others.
//
// Two tasks (or a task and a headless run) may name the same archive. The writer replaces an
// archive with a new file in one rename, so two writers at once would each build on the old
// archive and the later rename would silently drop the other's work. The lock is an flock() on a
// small file in the user's runtime folder named after the archive's normalised path; a lock held
// by a run that ended (or crashed) is released by the system.
#pragma once

#include "platform/LockFile.h"

#include <functional>
#include <string>

namespace qv {

class RunControl;

class ArchiveLock
{
public:
    ArchiveLock() = default;
    ~ArchiveLock();
    ArchiveLock(const ArchiveLock &) = delete;
    ArchiveLock &operator=(const ArchiveLock &) = delete;

    // Takes the lock of `archive`, waiting while another holder has it. `onWait` is called once,
    // when the first try finds the lock taken. Returns false when the run was stopped meanwhile;
    // throws std::runtime_error when the lock file cannot be made at all.
    bool acquire(const std::string &archive, RunControl &control, const std::function<void()> &onWait);
    void release();
    bool held() const { return m_file.isLocked(); }

    // The archive's path with its folder's symbolic links and "." / ".." resolved (the file's own
    // link too, when it exists: the writer writes where the link points).
    static std::string normalisedPath(const std::string &archive);
    // The lock file used for `archive`.
    static std::string lockFileFor(const std::string &archive);

private:
    LockFile m_file;
};

} // namespace qv
