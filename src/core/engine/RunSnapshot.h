// The immutable picture of a task that one run works from.
//
// A run copies everything it needs when it starts: the effective settings (program-wide defaults
// already resolved), the folders with their path variables expanded once, and its own copy of the
// filters. The backup thread reads nothing else, so editing the task, the options or the filters
// while a run goes on cannot change that run halfway through.
#pragma once

#include "core/engine/BackupTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// One directory entry as the scan sees it; the filters decide on these.
struct ScanItem {
    std::string name;
    bool isFolder = false;
    bool isSymlink = false;  // a symbolic link to a regular file (links to folders are not taken)
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0; // modification time, nanoseconds since the epoch
    std::int64_t atimeNs = 0;
    std::int64_t createdNs = 0; // birth time where the file system keeps one, else the modification time
    std::uint32_t mode = 0;
    std::uint32_t attributes = 0; // the emulated attribute bits (read-only 0x1, hidden 0x2, ...)
};

// The task's filters as the run copied them. `folder` is the folder the entry was found in,
// with a trailing "/".
class EntryFilter
{
public:
    virtual ~EntryFilter() = default;
    virtual bool match(const std::string &folder, const ScanItem &item) const = 0;
    virtual bool includesEmptyFolders() const = 0;
};

struct RunSource {
    std::string folder;      // expanded, with a trailing "/"
    bool includeSubfolders = true;
    std::string destination; // where this source's files go, with a trailing "/"
};

struct RunSnapshot {
    std::string taskId;
    std::string taskName;
    BackupTaskType taskType = BackupTaskType::SimpleCopy;
    std::vector<RunSource> sources;
    std::string destinationRoot; // the destination folder without a source part, trailing "/"
    bool keepStructureFromRoot = false;
    bool sourceIncludeSubfolders = true;

    // Copy options.
    bool overwriteNeverDestination = false;
    bool copyInUseFiles = false;
    bool compareAfterCopy = false;
    bool copyIfSourceLengthIsZero = false;
    bool dontSkipIfDateEqButSrcBiggerDst = true;
    bool clearSourceArchiveBit = false;
    std::int64_t bandwidthBytesPerSecond = -1; // -1: no limit

    // Versions and deleted files.
    bool versionsKeep = false;
    std::string versionsFolder; // expanded, trailing "/"
    int versionsFilesNum = 0;
    BackupDeleteKind deleteKind = BackupDeleteKind::Recycle;
    std::string archiveFolder; // expanded, trailing "/"
    int keepDeletedFilesNum = 0;

    // Around the run.
    std::string dialEntry;
    bool dialDisconnectAfter = true;
    bool runBefore = false;
    std::string runBeforeProgram;
    bool runBeforeWait = true;
    bool runAfter = false;
    std::string runAfterProgram;
    bool runAfterWait = true;

    // Resolved for this run's start mode.
    bool diskSpanDialog = true;
    // The program-wide "log skipped unchanged files" switch.
    bool logIncludeSkipping = true;
    // Program-wide: thread priority 0 (idle) .. 6 (time critical); 3 is normal, 2 the stored default.
    int cpuPerformance = 2;
    bool disallowSimultaneousBackup = false;

    // Compressing tasks: the sources go into one zip archive instead of being copied.
    bool compressUse = false;
    std::string compressFilePath; // the archive, expanded (destination folder + archive name)
    std::string compressPassword; // empty: no encryption
    int compressLevel = 7;        // 0 stores, 1-9 deflate

    // Null means "take every file": used by tools that run without a stored filter list.
    std::shared_ptr<const EntryFilter> filters;

    // The bandwidth limit in bytes per second from the stored value and unit (0 = KBits,
    // 1 = MBits): computed in 64 bits, a value of 0 or less counts as 1 unit.
    static std::int64_t bandwidthLimit(bool use, std::int64_t value, int measure);
};

} // namespace qv
