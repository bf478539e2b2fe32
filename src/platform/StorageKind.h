// What kind of storage holds a path, as far as writing several files at once is concerned.
#pragma once

#include "platform/MountTable.h"

#include <string>

namespace qv {

// False where files written side by side are no faster than one after another, or slower: a
// rotating disk (its head would seek between the files), a network file system and a user-space
// (FUSE) file system. True for solid-state and memory file systems, and when nothing is known.
bool parallelWritesHelp(const std::string &path, const MountTable &mounts);

// False for the file system of `fd` when it is a network or user-space (FUSE) one: there a sync
// of the whole file system may not reach the storage, and each file is synced on its own.
bool fileSystemSyncCoversFiles(int fd);

// False for the file system of `fd` when it is a network or user-space (FUSE) one, whose close()
// may report a write that failed late; true for the file systems of the machine itself.
bool isLocalFileSystem(int fd);

} // namespace qv
