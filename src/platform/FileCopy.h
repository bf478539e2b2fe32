// The one file copy of the program: written beside the destination, put in place when complete.
//
// A copy that makes a new file is written into a file without a name (O_TMPFILE) in the
// destination's folder, and linked under the destination's name once complete: a kill or a crash
// leaves nothing behind, and nothing but the whole file ever has the name. A copy that replaces a
// file, one that is to be synced, and every copy on a file system without unnamed files (or a
// network or user-space one, whose close() may report a late write error) goes into a temporary
// file ".<name>.qvtmp-XXXXXXXX" created exclusively beside the destination instead, and is
// renamed over it.
//
// Either file gets every byte, the source's modification time (to the nanosecond), permission
// bits and user extended attributes (user.*), and a named one is closed with the result of
// close() checked, since network and user-space file systems report late write errors there;
// only then may commit() rename it over the destination. A copy that replaces a file, or whose
// original goes after it, is synced before that rename (CopyOptions::syncData), so that a power
// cut leaves the old file or the new one and never a renamed file whose data did not reach the
// disk; a new file needs no sync of its own (a power cut leaves it absent or short, and the next
// run copies it again). Any failure, a stop request or a full disk removes the temporary file and
// leaves the destination exactly as it was; once the rename or link is done, the copy has
// succeeded.
//
// write() and commit() are separate steps because the engine keeps the old destination as a
// version between them. While a named temporary file exists it carries an exclusive flock: the
// live-file mark that other runs' clean-up respects (removeStaleCopyTemps). A duplicate of the
// written descriptor keeps that lock after the written one is closed; closing a descriptor still
// flushes and reports a network file system's late errors, which happens on every close(). An
// unnamed file stays open until commit(): no other run can see it.
//
// With CopyOptions::folder every name is taken relative to that folder's descriptor, never
// through the folder's path again.
//
// The source is looked at through its open descriptor before the read and after it: when its
// size, modification or change time or identity differ, it changed while it was read, and the
// copy fails (kCopySourceChanged) without touching the destination. A hole in the source (a
// range SEEK_DATA passes over) stays a hole in the copy.
//
// The same-file test compares device and inode, so a link to the source is never taken for
// another file. The copy belongs to whoever runs the backup, not to the source's owner: it keeps
// the set-user-ID (set-group-ID) bit only where its owner (group) is the source's. Nothing here
// throws.
#pragma once

#include "platform/FileIo.h"
#include "platform/FileStat.h"

#include <atomic>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class RateBudget;
class CopySyncBatch;

// Errors besides errno values.
inline constexpr int kCopyCancelled = -1;   // the cancel flag or the progress callback stopped it
inline constexpr int kCopySameFile = -2;    // source and destination are the same file
inline constexpr int kCopyOutOfMemory = -3; // the copy buffer could not be had
inline constexpr int kCopySourceChanged = -4; // the source changed while it was read

// A sentence for a copy error (the three above, else the errno text).
std::string copyErrorText(int error);

// Receives the bytes copied so far and the source size; returns false to stop the copy.
using CopyProgress = std::function<bool(std::int64_t copied, std::int64_t total)>;

struct CopyOptions
{
    const std::atomic<bool> *cancel = nullptr;
    std::int64_t bytesPerSecond = -1;       // below 0: no limit; 0 counts as 1
    RateBudget *budget = nullptr;           // a limit shared with other copies (overrides bytesPerSecond)
    const CopyProgress *progress = nullptr; // called after every block
    bool carryArchiveMark = false;          // a source whose archive attribute is clear gives such a copy
    // The copy is to become the only copy of its data: it replaces an existing file, or its
    // original is removed after it. Its data reaches the disk before commit() may rename it.
    bool syncData = false;
    // The original is removed after the copy: commit() also syncs the destination's folder, so
    // that the new name lasts before the old one goes.
    bool syncName = false;
    // The destination's folder, opened (O_PATH will do) by a caller that checked it: the
    // temporary file is made, linked, renamed and removed relative to it, by the destination's
    // last name, so that a link put in the folder's place afterwards redirects nothing. It stays
    // open until commit() or discard(). Below 0: every name is a path.
    int folder = -1;
};

class StagedCopy
{
public:
    StagedCopy() = default;
    StagedCopy(const StagedCopy &) = delete;
    StagedCopy &operator=(const StagedCopy &) = delete;
    ~StagedCopy() { discard(); }

    // Copies `source` into a new temporary file beside `destination` (see above). On failure `error` is an
    // errno value or one of the kCopy values, and nothing is left behind.
    bool write(const std::string &source, const std::string &destination, const CopyOptions &options,
               int &error);
    // The same from a descriptor the caller opened on `source`; `knownDestination` is the
    // destination as the caller saw it, or null to look.
    bool write(int sourceFd, const std::string &source, const std::string &destination,
               const PathStat *knownDestination, const CopyOptions &options, int &error);
    // With CopyOptions::syncData: syncs the written data (commit does it too, if not done yet). On
    // failure the temporary file is removed.
    bool syncWritten(int &error);
    // Renames the finished temporary file over the destination, or links the unnamed one there.
    bool commit(int &error);
    // Removes the temporary file, if any.
    void discard();
    // After commit: clears the source's archive attribute as of the moment the copy began, so a
    // source changed meanwhile still counts as to be archived.
    bool markSourceArchived(int &error);
    // After write(): whether `source` (its path, a link followed) is still the file that was
    // copied, as it was before the read: the same identity, size, modification and change time.
    bool sourceIsAsCopied(const std::string &source) const;

    // Between write() and commit(): the copy is a new file without a name, which commit() only
    // links (no version, no sync, no rename before it).
    bool unnamed() const { return m_unnamed; }
    // The named temporary file between write() and commit(); empty for an unnamed one.
    const std::string &tempPath() const { return m_temp; }
    std::int64_t bytesWritten() const { return m_written; }

private:
    friend class CopySyncBatch;
    int stage(int in, const std::string &destination, const PathStat *knownDestination,
              const CopyOptions &options);
    int createTemp(const std::string &destination, bool unnamed, int folder);
    int finish(int in, const CopyOptions &options);
    bool commitUnnamed(int &error);
    bool syncNames(int &error);

    std::string m_source;
    std::string m_temp;
    std::string m_destination;
    int m_dir = AT_FDCWD;   // the folder the names are relative to (AT_FDCWD: paths)
    std::string m_tempAt;   // m_temp, relative to m_dir
    std::string m_at;       // m_destination, relative to m_dir
    PathStat m_sourceStat;
    std::int64_t m_sourceCtimeNs = 0; // m_sourceStat's change time
    std::uint32_t m_sourceUid = 0;
    std::uint32_t m_sourceGid = 0;
    std::int64_t m_written = 0;
    int m_out = -1;
    int m_mark = -1;
    bool m_syncName = false;
    bool m_syncPending = false;
    bool m_unnamed = false; // m_out is a file without a name, linked in place by commit()
    bool m_ready = false;   // the unnamed file is complete
};

// Syncs the data of staged copies (CopyOptions::syncData) before their commits, in batches: copies
// are written by several threads and committed in order by one, and one syncfs of a file system
// covers every copy whose data was complete when it began, so that many copies share one journal
// commit. When few copies wait, or on network and user-space file systems, each copy gets its own
// fdatasync instead.
class CopySyncBatch
{
public:
    // On the writing thread, after write() succeeded: the copy's place in the order of completion.
    std::uint64_t written() { return m_completed.fetch_add(1) + 1; }
    // On the committing thread, before commit(): makes the copy's data durable. False with `error`
    // (the copy is then discarded).
    bool sync(StagedCopy &copy, std::uint64_t ticket, int &error);

private:
    struct FileSystem {
        std::uint64_t dev = 0;
        bool wholeSyncCovers = false;
        std::uint64_t coveredUpTo = 0;
    };
    std::atomic<std::uint64_t> m_completed{0};
    std::uint64_t m_synced = 0;            // the committing thread's own, as the list below
    std::vector<FileSystem> m_fileSystems;
};

// isCopyTempName (platform/FileIo.h) tells a copy's temporary file by its name; scans skip such
// names.

// Removes the temporary files in `folder` that no running copy holds (left by a copy that was
// killed); returns how many.
int removeStaleCopyTemps(const std::string &folder);
// The same in the open folder `folder` (any descriptor of it, O_PATH included): a folder opened
// beneath a root is listed and cleaned where it was opened, whatever now stands at its path.
int removeStaleCopyTemps(int folder);

namespace detail {
// Tests turn the in-kernel copy off to run the plain read/write loop on any file system.
void setKernelCopyEnabled(bool enabled);
// Tests make the copy find out again how this process links unnamed files.
void forgetLinkWay();
} // namespace detail

} // namespace qv
