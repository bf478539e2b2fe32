// The services a backup thread uses besides plain file calls, replaceable one by one in tests.
#pragma once

#include "platform/MountTable.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qv {

class DirectoryReader;
class RunControl;

struct BackupServices {
    // Lists folders for the scans; null: the real file system.
    std::shared_ptr<DirectoryReader> directoryReader;
    // Runs a program given as a command line; waits for its end when asked (a stop request ends
    // the wait, not the program). False when it could not be started.
    std::function<bool(const std::string &commandLine, bool wait, const RunControl &control)> executeProgram;
    // Moves a file or a whole folder to the trash, recorded as coming from `originalPath` (empty:
    // from `path` itself); `error` says why not. `folder`: the folder holding `path`, opened
    // beneath its root, from which the entry is reached by its name (-1: `path` as it stands).
    std::function<bool(int folder, const std::string &path, const std::string &originalPath,
                       std::string &error)>
        moveToTrash;
    // True when another program holds the file (locked, or open for writing). `fd` is the file
    // opened for reading by the caller, or -1.
    std::function<bool(const std::string &path, int fd)> isInUse;
    // Bytes the user may still write where `path` lives (INT64_MAX when unknown).
    std::function<std::int64_t(const std::string &path)> freeBytes;
    // The mount table (read once per run).
    std::function<MountTable()> mounts;
    // Called with each file just copied, before anything reads it back; null: nothing. Tests
    // damage the copy here to see compare-after-copy find it.
    std::function<void(const std::string &destination)> afterCopy;

    // Every unset member gets the real implementation.
    BackupServices withDefaults() const;
};

} // namespace qv
