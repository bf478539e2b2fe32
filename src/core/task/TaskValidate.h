// Whether a task may run: its folders, its archive name, and the rule that no destination is a
// source or lies inside one.
//
// A destination that is its source (or lies inside it) would take itself along: a move deletes
// every file it "already holds", an exact copy deletes what its filters leave out, and each copy
// nests another one. Whether two folders are one is decided by their identity (device and inode)
// as well as by their paths, so another spelling, a link or a bind mount of the source is still the
// source.
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
#include <vector>

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

enum class FolderPlace { Apart, Same, Inside };

// Where the folder `destination` (which need not exist yet) lies against the folder `source`: the
// same folder, inside it, or apart. Same or inside when the paths say so once "." and ".." are
// resolved as text, when the destination, or the nearest of its folders that exists, or any folder
// above that one on the way to the root has the source's device and inode, or when, on the
// source's device, its place in the file system (through `mounts`: a bind mount shows a folder of
// a file system elsewhere) is the source's or below it.
FolderPlace destinationPlace(const std::string &destination, const std::string &source, const MountTable &mounts);

// The checks every run makes of its folders before it touches a file, whoever started it: each
// source a folder that is there (and not on a drive that is missing), and no destination (the
// destination folder, and each source's own destination under it) that is a source or lies inside
// one. The messages are the task check's own, joined by "; "; empty text when the run may go on.
std::string validateRunFolders(const std::vector<std::string> &sources,
                               const std::vector<std::string> &destinations);

// The validation text of `task` (messages joined by "; "), empty when it may run. May create the
// destination folder, never on a missing drive and never inside a source; with `createDestination`
// false (the task dialog's check) nothing is created and a destination that could be made passes.
std::string validateTask(const TaskDefinition &task, bool createDestination = true);

} // namespace qv
