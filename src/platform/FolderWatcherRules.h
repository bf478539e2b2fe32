// Pure rules of the inotify watcher: which kernel events a registration needs, which change kinds an
// event stands for, and which file systems hide remote changes from inotify.
#pragma once

#include "platform/FolderWatcher.h"

#include <cstdint>
#include <string>

namespace qv::watchrules {

// Events every watched folder needs whatever its kinds: new and vanished entries keep the recursive
// watches in step, and self events tell when the folder itself goes.
std::uint32_t structuralMask();

// The kernel events that the change kinds need on top of the structural ones.
std::uint32_t kernelMaskForKinds(FolderChangeKinds kinds);

// The change kinds one event of a named entry stands for.
FolderChangeKinds kindsOfEvent(std::uint32_t mask);

// The kinds a newly found entry stands for when a new folder is scanned.
FolderChangeKinds kindsOfFoundEntry(bool isFolder);

// "a/b" + "c" = "a/b/c"; "/" + "c" = "/c".
std::string childPath(const std::string &folder, const std::string &name);


// True for file systems whose changes made on other computers inotify cannot see
// (mountinfo type names such as "nfs4", "cifs" or "fuse.sshfs").
bool isNetworkFileSystemType(const std::string &type);

// The file-system type of the mount that holds `path` (already resolved) according to a
// /proc/self/mountinfo text; empty when no mount point matches.
std::string fileSystemTypeOf(const std::string &path, const std::string &mountInfo);

// The warning for a watch on a network file system, or empty when `folder` is local.
std::string networkFileSystemWarning(const std::string &folder);

} // namespace qv::watchrules
