// TLocalBackup: the backup thread of every task that copies files (does not compress).
//
// Its Execute runs one of four task types over the scanned source list: simple copy, exact copy
// (a mirror that also removes obsolete destination entries), move, and two-way synchronisation.
// Each file goes through a decision (CopyDecision) and then a staged copy: the new content is
// written beside the destination and renamed over it; when versions are kept, the old destination
// enters the versions archive in between. A failed or stopped copy changes nothing, and at no
// moment is a destination file missing.
#pragma once

#include "beneath/RootFolder.h"
#include "platform/FileOps.h"
#include "core/engine/CopyDecision.h"
#include "core/engine/CustomBackup.h"
#include "core/engine/DestinationState.h"
#include "core/engine/ObsoletePlanner.h"
#include "platform/MountTable.h"
#include "platform/RateBudget.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qv {

class CopyWorkers;
class StatLookahead;

// A destination folder opened (O_PATH) beneath the destination root once its check passed: the
// copies into it make, link and rename their files relative to it, so that a link put in the
// folder's place afterwards redirects none of them. Shared by the copies under way into it.
struct OpenFolder {
    std::string path;
    int fd = -1;
    std::uint64_t dev = 0; // the file system it is on (0: not known)
    OpenFolder(std::string folderPath, int folderFd);
    OpenFolder(const OpenFolder &) = delete;
    OpenFolder &operator=(const OpenFolder &) = delete;
    ~OpenFolder();
};

// One file between the decision about it and its end: what was found out about it, its plan, the
// lines held back while earlier files were still under way, and the written temporary file
// waiting for its rename.
//
// A file goes through four steps. On the backup thread, in scan order: its folder and the facts
// about its destination (prepareCopy). Where the file is copied (a copy worker, or the backup
// thread when there is none): the in-use test and its plan, then its data (writeCopy). At its turn,
// in scan order again: its lines and the plan's alerts, and the room on the disk when the file
// system is to be asked (takeTurn); then the rename (commitCopy). When the plan may raise an alert
// or the room may have to be asked (`waitForTurn`), no later file is decided before the plan is
// known, nor any data written; when the plan does ask, the file's turn comes at once and its data
// is written after it. An answer Stop then finds the run as a run of one file after another would.
//
// A file's lines and alerts go out through its record in scan order (the ordered commit): decided
// while earlier files are still being written (`held`), its lines wait in `lines` for its turn,
// and an alert during its decision brings its turn at once (the earlier files end and its lines go
// out first). A file copied alone, or an entry outside the copy pass (no record), speaks at once.
struct PendingCopy {
    std::string source;
    std::string destination;
    FileEntryInfo info;
    PathStat destinationBefore; // as the decision saw it
    bool destinationListed = false; // destinationBefore was taken from a listing: no stat

    // The destination as a listing showed it (a regular file), standing for its stat.
    void takeListedDestination(const FileEntryInfo &listed)
    {
        destinationListed = true;
        destinationBefore.exists = true;
        destinationBefore.isRegular = true;
        destinationBefore.size = listed.size;
        destinationBefore.mtimeNs = listed.mtimeNs;
        destinationBefore.mode = listed.mode;
    }
    std::ptrdiff_t item = -1;       // its place in the copy pass, where a stat may have been taken ahead
    FilePlan plan;
    FilePairFacts facts;
    bool held = false;        // decided while earlier files are under way: its lines wait
    bool waitForTurn = false; // the data waits for the file's turn (alerts, or room to ask)
    bool askRoom = false;     // the file system is asked for room at its turn
    bool planned = false;
    bool writeNow = false; // a file that waits for its turn: its data may be written now
    bool answered = false; // its turn came: its lines, alerts and room are through
    std::vector<std::pair<int, std::string>> lines;
    std::shared_ptr<const OpenFolder> folder; // null: by path (not below the destination)
    StagedCopy copy;                          // after `folder`: its temporary file goes first
    int in = -1; // the source, opened once for the in-use test and the copy
    int openError = 0;
    // A source below the destination root (a synchronisation's way back): opened beneath that
    // root, when it is to be read, by its path relative to it.
    const RootFolder *beneath = nullptr;
    std::string relative;
    int error = 0;
    bool transfer = false; // after its turn: the data is to be written and committed
    bool written = false;
    bool linked = false; // a new file that took its name as soon as it was written
    std::uint64_t syncTicket = 0; // its place among the written copies whose data is to be synced

    PendingCopy() = default;
    PendingCopy(const PendingCopy &) = delete;
    PendingCopy &operator=(const PendingCopy &) = delete;
    ~PendingCopy();
    int openSource();
};

class TLocalBackup : public TCustomBackup
{
public:
    using TCustomBackup::TCustomBackup;
    ~TLocalBackup() override;

    // The destination of a source path: the first source folder that holds the path (whole
    // components) is replaced by that source's destination folder. Empty when none holds it.
    std::string SourceToDestination(std::string_view path) const;
    // The source of a destination path: the source that produced it (or its nearest folder) in
    // this run, else the first source.
    std::string DestinationToSource(std::string_view path) const;

    virtual std::string GetDeletedArchiveFileName(const std::string &path, const std::string &root);
    virtual std::string GetVersionFileName(const std::string &file);

protected:
    void Execute() override;

    // Reads the sources into m_sourceFiles. With `mayStream` (a copy pass that reads the list once,
    // in order, and a single source), a list that would take more than sourceListBudget() is not
    // kept: the totals come from the whole scan and the copy pass lists the tree again as it goes
    // (m_sourceStreamed).
    void ReadSourceFiles(bool mayStream = false);
    // The most a source list may take before it is streamed instead: 8 MiB (about 200,000 files),
    // or QV_SOURCE_LIST_BYTES.
    static std::size_t sourceListBudget();
    void ReadDestinationFiles(bool applyFilters, bool includeSubfolders, const std::set<std::string> &noDescend = {});
    struct EarlyScan;
    void startEarlyDestinationScan(EarlyScan &early);
    void logSummary(const ScanTotals &totals);

    // A listing of the destination taken while the sources are read: `start` before the source
    // scan, `finish` (which waits for it) after. Both empty: nothing runs beside the scan.
    struct ScanBeside {
        std::function<void()> start;
        std::function<void()> finish;
    };
    // The steps every mode shares, written once: the "before" program and dial-up, the source scan
    // (with `beside` around it), the mode's `passes`, then, unless anything stopped the run, the
    // "after" steps and the summary line of the source totals (to which `passes` may add).
    // `passes` returns false when it was stopped. `mayStream`: see ReadSourceFiles.
    void runMode(const ScanBeside &beside, const std::function<bool(ScanTotals &summary)> &passes,
                 bool mayStream = false);
    // The drives below the sources that are not connected now (SourceDrives), each named once in
    // a warning and counted not done; `destination` keys their memory, `placeHolds` tells whether
    // the destination still holds a source folder's place.
    void checkSourceDrives(const MountTable &mounts, const std::string &destination,
                           const std::function<bool(const std::string &)> &placeHolds, bool warn = true);
    // True when `path` (a source path) lies at or below a drive that is not connected.
    bool onDisconnectedDrive(const std::string &path) const;
    std::vector<std::string> m_disconnected; // their source folders, trailing "/"

    void DoSimpleCopy();
    void DoExactCopy();
    void DoMove();
    void DoSynchronize();
    // The two directions of a synchronisation; false when stopped.
    // `listing`: the destination listed while the sources were read, or null. An entry of it that
    // shows the way there's file as up to date spares the stat of the destination; when the way
    // back reads the same listing, `inAgreement` marks its entries whose source was of the same size
    // and time, which spares the stat of the source there.
    bool syncSourceToDestination(const TFilesList *listing, std::vector<bool> *inAgreement);
    bool syncDestinationToSource(const std::vector<bool> &inAgreement);
    // The copy pass of simple and exact copy; false when it was stopped.
    bool copyPass();
    // One entry of a pass (the copy pass, a synchronisation's way there) handed to the copy
    // workers: decided now, planned and written where it is copied, ended in scan order (see
    // PendingCopy). A folder made for it takes the times of `folderSource` (empty: none).
    void addToPass(CopyWorkers &workers, const std::shared_ptr<PendingCopy> &p,
                   const std::string &folderSource);

    // `listed`: the destination as a listing of this run shows it, used instead of a stat.
    bool CopyFileChecked(const std::string &source, const std::string &destination, const FileEntryInfo &sourceInfo,
                         const PathStat *listed = nullptr);
    // The steps of CopyFileChecked (see PendingCopy). prepareCopy is false when the file ends
    // there; takeTurn is true when its data is to be written and committed; finishCopy is a
    // file's end in the copy pass (its turn unless it came, then the commit).
    bool prepareCopy(PendingCopy &p);
    void writeCopy(PendingCopy &p);
    bool takeTurn(PendingCopy &p);
    // The plan of `p` raises an alert, or the file system is to be asked for its room: its turn
    // comes before anything after it.
    bool planAsks(const PendingCopy &p) const;
    bool commitCopy(PendingCopy &p);
    void finishCopy(PendingCopy &p);
    bool MoveFileChecked(const std::string &source, const std::string &destination);
    bool CreateFolder(const std::string &destination, const std::string &source);
    void CheckFreeSpace(const std::string &source, const std::string &destination, std::int64_t needed);
    // The same for the file of `p` (null: an entry outside the copy pass), through its record.
    bool CreateFolder(const std::string &destination, const std::string &source, PendingCopy *p);

    // A line, an alert and both for the file of `p` (null: at once), through the ordered commit.
    void say(PendingCopy *p, int kind, const std::string &text);
    int ask(PendingCopy *p, int alertKind, const std::string &buttons, const std::string &text);
    bool notify(PendingCopy *p, int logKind, int alertKind, const std::string &buttons,
                const std::string &text);
    // The file's turn now: the files before it end, then its held lines go out.
    void turnNow(PendingCopy &p);
    // `folder`: the destination's folder as opened beneath the destination root (AT_FDCWD: by path).
    bool CompareAfterCopy(const std::string &source, const std::string &destination, int folder = AT_FDCWD);

    // Versions and obsolete entries.
    // `folder`: the file's folder opened beneath the destination root (AT_FDCWD: by path).
    bool KeepVersion(const std::string &file, int folder = AT_FDCWD);
    bool DeleteSourceFile(const std::string &file);
    bool DeleteFileByKind(const std::string &file);
    bool DeleteFolderIfEmpty(const std::string &folder);
    // `wholeTree`: the folder goes to the trash with everything in it (all of it is obsolete).
    bool DeleteFolderByKind(const std::string &folder, bool wholeTree = false);
    void DeleteObsolete();
    // An exact copy's first look at the destination, while the sources are read: its lines, its
    // unreadable folders and its count of entries (the obsolete phase walks it again at its end).
    void startDestinationScan();
    void finishDestinationScan();
    std::set<std::string> protectedFolders() const;
    bool producedBySource(std::string_view path) const;
    // An exact copy decides its obsolete entries folder by folder during the copy pass: a folder
    // whose names the first look found equal to its sources' needs no second look; any other is
    // listed when the pass has left it. obsoleteBegin before the pass's first entry (false: the
    // phase after the copy walks the destination instead), obsoleteAt for each entry in order,
    // obsoleteAfterPass at its end.
    struct ObsoleteByFolder;
    // The folders whose contents stay, and the wanted folders that no source entry stands for
    // (each source's destination folder and, rebuilding full paths, the folders above it).
    void obsoleteContext(std::vector<std::string> &protectedList, TFilesList &roots) const;
    bool obsoleteBegin();
    // The next entry of the pass (a folder ends with "/").
    void obsoleteAt(const std::string &path, bool isFolder);
    void obsoleteClose();
    // Nothing in or above `folder` is obsolete (its source could not be listed).
    void obsoleteProtect(const std::string &folder);
    void obsoleteAfterPass();
    void decideObsoleteFolder(const std::string &folder, const EntryDigest *expected);
    // For each source entry, true where it is a file of a folder whose files the first look found
    // at the destination with the same names, sizes, times and modes: those files are up to date
    // as listed, and their destinations need no stat. Empty when the first look does not tell.
    std::vector<bool> upToDateAsListed() const;
    // The same for one source folder whose files sum to `files` (EntryDigest::addFile); safe on
    // any thread once the first look is over.
    bool filesAsListed(std::string_view sourceFolder, const EntryDigest &files) const;
    void RemoveMovedFolders(const std::vector<std::string> &folders);

    // Links below the destination, its versions folder and the deleted-files archive: nothing is
    // written, replaced or deleted through one (LocalBackupLinks.cpp).
    enum class FolderLook { Folder, Missing, Refused };
    // What stands at `relative` below the destination: a folder, nothing yet (to be made), or a
    // link the run leaves alone. A link an exact copy removes as obsolete counts as missing.
    FolderLook lookBelowDestination(const std::string &relative, PendingCopy *p);
    // A link met below the destination where the source has an entry: true when it was removed
    // (an exact copy), false when it stays (with one warning line naming it).
    bool linkBelowDestination(const std::string &link, PendingCopy *p);
    // The destination root, opened once it exists (`make`: made first when missing).
    bool destinationRootOpen(bool make);
    // Makes `folder` below `rootPath` through `root` (opened, and made, on first use); on ELOOP the
    // link met is named in `link`.
    bool makeBelow(RootFolder &root, const std::string &rootPath, const std::string &folder, int &error,
                   std::string &link);
    // A destination file that is a symbolic link, met before the copy's rename: true when the copy
    // may take its place (an exact copy removed the link), false when the file stays as it is.
    // `folder`: its folder as opened beneath the destination root, where its name is looked at
    // (AT_FDCWD: by path).
    bool fileLinkAtDestination(const std::string &destination, int folder, PendingCopy *p);
    // Gives `p` its destination folder `folder` opened beneath the destination root (the last one
    // opened is kept while files go into it); false with the error told when a link or nothing
    // stands there now.
    bool openDestinationFolder(PendingCopy &p, const std::string &folder);
    // Removes the file or empty folder `path` when it is below the destination root, beneath it
    // (never through a link on the way); `error` stays 0 on success.
    enum class BelowDestination { Outside, Inside };
    BelowDestination removeBelowDestination(const std::string &path, bool isFolder, int &error);
    // Moves the file, link or folder `path` to the trash: below the destination root from its
    // folder opened beneath the root (a link on the way refuses it, nothing moved), else by path.
    bool trashEntry(const std::string &path);
    // A delete or move below the destination refused with `error`: a link on the way to `relative`
    // is named, once.
    void nameLinkOnTheWay(const std::string &relative, int error);

private:
    bool executeNotices(const FilePlan &plan);
    void clearArchiveBit(const std::string &source, StagedCopy &copy);
    // `folder`: the destination's folder as opened beneath the destination root (AT_FDCWD: by path).
    bool sameContent(const std::string &source, const std::string &destination, std::int64_t sourceSize,
                     int folder = AT_FDCWD);
    // Whether both files read to their ends with the same CRC-32; the destination's name is read
    // in `folder` without following a link (AT_FDCWD: the path as it stands).
    static bool sameCrc(const std::string &source, const std::string &destination, int folder);
    static int folderFd(const PendingCopy &p) { return p.folder != nullptr ? p.folder->fd : AT_FDCWD; }
    bool moveDeleteSource(const std::string &source, const std::string &destination, std::int64_t sourceSize,
                          int folder = AT_FDCWD);
    std::string archiveFolderFor(const std::string &archive, const std::string &path) const;
    bool preserveVersion(const std::string &file, int fileFolder, const std::string &name, int &error);
    // A name `name`.<time stamp> not yet taken in `folder`, looked for in `open` (null: by path).
    std::string stampedName(const std::string &folder, const OpenFolder *open, const std::string &name);
    // The stamped copies of `name` in `folder` beyond the newest `limit` go; `open` is the folder
    // opened beneath its root (null: by path).
    void prune(const std::string &folder, const OpenFolder *open, const std::string &name, int limit);
    // `folder` below the root `rootPath`, opened (O_PATH) beneath `root` and kept in `open` for
    // the next file into it; false with `error`. Null in `open` for a folder not below the root.
    bool openBelowRoot(RootFolder &root, const std::string &rootPath, const std::string &folder,
                       std::shared_ptr<const OpenFolder> &open, int &error);
    // Moves the file or link `relative` below the destination root, beneath it, to `name` in the
    // archive folder opened last; across file systems a synced copy, then the original goes.
    bool moveIntoArchive(const std::string &relative, const std::string &name, int &error);
    bool invalidArchive(const BackupMessage &m, const std::string &folder);
    bool syncedCopy(int from, const std::string &fromName, const std::string &source, int to,
                    const std::string &name, int &error);
    // A versions or deleted-files folder that could not be made or opened beneath `root`: a link on
    // the way is an error for this file only (named, the file left as it was); anything else makes
    // the archive invalid and ends the run.
    void archiveFolderRefused(const RootFolder &root, const std::string &archive, const std::string &folder,
                              int error, std::string link, const BackupMessage &invalid);
    PathStat destinationStat(const PendingCopy &p) const;
    // How the file system of a file found in `folder` (open, else AT_FDCWD and its path) keeps
    // times and names; `dev` 0 when unknown (from a listing): then that of the destination root.
    const FileSystemHabits &habitsAt(std::uint64_t dev, int folder, const std::string &folderPath);
    // On a file system that folds case: false (an error; the file is not copied) when the entry
    // the destination's name finds stands for another source name, one this run copied there or
    // one the source still has beside it.
    bool nameStandsAlone(PendingCopy &p, bool freshFolder);
    const std::unordered_set<std::string> &namesIn(const std::string &folder);
    std::string spelledForAnother(const std::string &folder, const std::string &name,
                                  const std::string &sourceFolder);
    bool folderOfAnother(const std::string &folder, const std::string &sourceFolder);
    // On a destination that folds case: whether the entry stands for a file (or folder) of this
    // run under another spelling, so that it is not obsolete.
    bool claimedInAnotherCase(std::string_view path) const;
    // A synchronisation: says once per file (by its path in the source) that its time lies in the
    // future, where newest-wins keeps it ahead of every later change to the other side.
    void nameFutureTime(const std::string &sourcePath, const FileEntryInfo &info);
    // A synchronisation that compares contents: a pair of the same time and size whose contents
    // differ (both changed, their times kept) is left as it is, said once, and counts as not done.
    void compareUnchanged(PendingCopy &p);

    CopyOptions copyOptions() const;
    CopyOptions copyOptions(const PendingCopy &p) const;

    CopyRules m_rules;
    std::unique_ptr<RateBudget> m_budget; // the run's bandwidth limit, shared by its copies
    CopyWorkers *m_workers = nullptr;     // during the copy pass
    CopySyncBatch m_syncBatch;            // syncs of copies that replace files, before their renames
    DestinationState m_destination; // its folders and free space, for the medium in use
    RootFolder m_destinationRoot;   // below them nothing follows a link
    RootFolder m_versionsRoot;
    RootFolder m_archiveRoot;
    // The destination folder opened last: only one is kept, besides those the copies under way
    // still hold, so that the descriptors stay few however many folders a run writes to.
    std::shared_ptr<const OpenFolder> m_openFolder;
    std::unordered_set<std::string> m_linksWarned; // links left alone, each named once
    // The file systems written to in this run, each looked at once (see habitsOf).
    std::vector<std::pair<std::uint64_t, FileSystemHabits>> m_habits;
    // On such a file system that folds case: each destination name as copied, by its folded
    // spelling; the names of the folder last looked at.
    std::unordered_map<std::string, std::string> m_caseClaims;
    // A synchronisation's way back: what it made in the sources (files new there, their bytes,
    // folders), which the summary adds to theirs; the files whose future times were named.
    bool m_countMade = false;
    ScanTotals m_made;
    std::unordered_set<std::string> m_futureNamed;
    std::unordered_set<std::string> m_differingNamed; // both paths of each pair compareUnchanged named
    std::int64_t m_futureFromNs = 0; // times after this lie in the future (0: not yet known)
    std::string m_caseFolder;
    std::unordered_set<std::string> m_caseNames;
    std::unordered_map<std::string, bool> m_caseFolders; // kept for another source name (folderOfAnother)
    std::unordered_set<std::string> m_caseFolderClaims;  // folded, the folders of m_caseClaims
    std::string m_caseClaimedFolder;
    MountTable m_mounts;
    std::unordered_map<std::string, int> m_producedBy; // synchronisation: destination path -> source
    std::string m_lastVersion; // where the last KeepVersion put the old destination
    std::shared_ptr<const OpenFolder> m_versionsFolder; // its folder, opened beneath its root
    std::shared_ptr<const OpenFolder> m_archiveFolder;  // the deleted-files archive's folder in use
    std::int64_t m_lastStampMs = 0;
    bool m_sourceStreamed = false; // the source list was not kept: the copy pass streams the tree
    StatLookahead *m_lookahead = nullptr; // during an exact copy's pass: destination stats taken ahead
    std::thread m_destinationScan;
    std::vector<std::string> m_destinationUnreadable;
    bool m_destinationScanned = false;
    bool m_destinationExisted = false;   // the destination folder was there when the run began
    bool m_destinationHeldFiles = false; // the first look found files at the destination
    std::unique_ptr<ObsoleteByFolder> m_obsolete;
};

// What an exact copy's first look and copy pass know of the destination: per folder the first
// look listed with entries, the hash of its path and the digests of its names and of its files,
// sorted; the source folders the pass is in, each with the digest of its names so far; the
// folders decided one by one (by the hash of their paths); and what they found.
struct TLocalBackup::ObsoleteByFolder {
    std::mutex mutex; // the first look's threads add to `digests`
    struct Seen {
        std::uint64_t key = 0;   // the hash of the folder's path
        std::uint64_t names = 0; // the digest of its entries' names and kinds
        std::uint64_t files = 0; // the digest of its files with their sizes, times and modes
        bool operator<(const Seen &o) const { return key < o.key; }
    };
    std::vector<Seen> digests;
    // The first look's digests of `folder`; null when it did not list it with entries. `alone`:
    // no other folder listed has the same hash.
    const Seen *seen(const std::string &folder, bool &alone) const;
    bool listed = false; // `digests` holds the whole first look, sorted
    struct Open {
        std::string folder;
        EntryDigest digest;
        bool top = false; // a source's own folder, as the pass found it
        std::unordered_set<std::string> names; // with a streamed source: its names, folders with "/"
    };
    std::vector<Open> open;
    const Open *closing = nullptr; // the folder being decided
    std::unordered_set<std::uint64_t> decided;
    std::vector<ObsoleteAction> actions;
    std::vector<std::string> protectedList;
    TFilesList roots;
    bool complete = false; // the pass decided every folder: `actions` are the phase's actions
};

} // namespace qv
