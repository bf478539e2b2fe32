// The real implementations of the backup threads' services.
#include "core/engine/BackupServices.h"

#include "core/util/FileUtils.h"
#include "platform/FileOps.h"
#include "core/engine/FolderScanner.h"
#include "core/engine/RunControl.h"
#include "core/util/Utils.h"
#include "platform/FileLock.h"
#include "platform/PathText.h"
#include "platform/FreeSpace.h"
#include "platform/Processes.h"
#include "platform/Trash.h"

#include <cerrno>
#include <climits>

namespace qv {

namespace {

bool runProgram(const std::string &commandLine, bool wait, const RunControl &control)
{
    return ExecuteProgram(commandLine, false, wait, &control.stopFlag());
}

// Only a lock held by another program is "in use". A file that cannot be opened (gone, no
// permission, an I/O error) is not: the copy then reports the real reason.
bool fileInUse(const std::string &path, int fd)
{
    const FileLock::State state = fd >= 0 ? FileLock::probeOpen(fd) : FileLock::probe(path);
    return state == FileLock::State::Locked;
}

bool trash(int folder, const std::string &path, const std::string &originalPath, std::string &error)
{
    // Files and folders alike.
    const std::string entry = withoutSlash(path);
    const Trash::Outcome r = folder >= 0 ? Trash::moveToTrashAt(folder, nameOf(entry), path, originalPath)
                                         : Trash::moveToTrash(entry, originalPath);
    if (!r.ok) {
        error = r.error;
    }
    return r.ok;
}

std::int64_t freeBytesAt(const std::string &path)
{
    const std::int64_t free = FreeSpace::availableBytes(path);
    return free < 0 ? INT64_MAX : free;
}

} // namespace

BackupServices BackupServices::withDefaults() const
{
    BackupServices s = *this;
    if (!s.directoryReader) {
        s.directoryReader = std::make_shared<DirectoryReader>();
    }
    if (!s.executeProgram) {
        s.executeProgram = runProgram;
    }
    if (!s.moveToTrash) {
        s.moveToTrash = trash;
    }
    if (!s.isInUse) {
        s.isInUse = fileInUse;
    }
    if (!s.freeBytes) {
        s.freeBytes = freeBytesAt;
    }
    if (!s.mounts) {
        s.mounts = MountTable::system;
    }
    return s;
}

} // namespace qv
