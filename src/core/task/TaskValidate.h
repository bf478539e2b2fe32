// Whether a task may run: its folders, its archive name, and the rule that no destination lies
// inside a source.
//
// Validation never creates a folder on a drive that is not there. A path at or below a mount point
// that fstab lists but that is not mounted now, or one whose first folder below /media/<user>,
// /run/media/<user> or /mnt is missing, names a drive that is unplugged: creating it would put
// the backup on the internal disk (and an exact copy would read the empty mount point as "every
// file was deleted"). Such a path is reported as an invalid folder instead.
#pragma once

#include "platform/MountTable.h"

#include <functional>
#include <string>

namespace qv {

class TaskDefinition;

// The facts about the machine that validation reads; replaceable in tests.
struct DriveFacts {
    std::function<MountTable()> mounts;            // default: the system's mount table
    std::function<std::string()> userName;         // default: the user name of the process
    std::function<bool(const std::string &)> isFolder; // default: stat() says it is a folder
};

// Installs `facts` (unset members keep the real ones); an empty value restores the real ones.
void setDriveFactsForTests(DriveFacts facts);

// The mount point or removable-media folder that `path` needs and that is missing now, or empty
// text when the path does not depend on a missing drive. Pure: reads only its arguments.
std::string missingDriveFor(const std::string &path, const MountTable &mounts, const std::string &userName,
                            const std::function<bool(const std::string &)> &isFolder);

// True when `inner` is `outer` or lies below it, by whole path components after "." and ".."
// are resolved lexically (and, where both exist, also after symbolic links are followed).
bool folderInside(const std::string &inner, const std::string &outer);

// The validation text of `task` (messages joined by "; "), empty when it may run. May create the
// destination folder, never on a missing drive and never inside a source; with `createDestination`
// false (the task dialog's check) nothing is created and a destination that could be made passes.
std::string validateTask(const TaskDefinition &task, bool createDestination = true);

} // namespace qv
