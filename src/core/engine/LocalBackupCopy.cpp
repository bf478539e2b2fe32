// TLocalBackup: one file copied, folders created, free space checked.
#include "core/engine/LocalBackup.h"

#include "core/engine/BackupMessages.h"
#include "core/engine/CopyWorkers.h"
#include "core/engine/StatLookahead.h"
#include "core/util/FileUtils.h"
#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/PathText.h"

#include <cerrno>
#include <chrono>
#include <climits>

namespace qv {

PathStat TLocalBackup::destinationStat(const PendingCopy &p) const
{
    PathStat st;
    if (m_lookahead != nullptr && p.item >= 0 && m_lookahead->take(static_cast<std::size_t>(p.item), st)) {
        return st;
    }
    // A link is marked: nothing is copied through it. Below the destination the name is looked
    // at in its folder as opened beneath the root.
    return p.folder != nullptr ? statEntry(p.folder->fd, nameOf(p.destination).c_str())
                               : statEntry(p.destination);
}

void TLocalBackup::say(PendingCopy *p, int kind, const std::string &text)
{
    if (p != nullptr && p->held) {
        p->lines.emplace_back(kind, text); // counted when it goes out
        return;
    }
    Log(kind, text);
}

int TLocalBackup::ask(PendingCopy *p, int alertKind, const std::string &buttons, const std::string &text)
{
    if (p != nullptr && p->held && m_bridge.alertsKind(alertKind)) {
        turnNow(*p);
        if (Terminated()) {
            return aaNone; // an earlier file ended the run; this alert was never due
        }
    }
    return Alert(alertKind, buttons, text);
}

bool TLocalBackup::notify(PendingCopy *p, int logKind, int alertKind, const std::string &buttons,
                          const std::string &text)
{
    say(p, logKind, text);
    if (alertKind >= 0 && ask(p, alertKind, buttons, text) == aaStop) {
        Terminate();
    }
    return Running();
}

bool TLocalBackup::executeNotices(const FilePlan &plan)
{
    for (const PlanNotice &n : plan.notices) {
        if (!Notify(n.logKind, n.alertKind, "CS", n.text)) {
            return false;
        }
    }
    return Running();
}

bool TLocalBackup::CreateFolder(const std::string &destination, const std::string &source)
{
    return CreateFolder(destination, source, nullptr);
}

bool TLocalBackup::CreateFolder(const std::string &destination, const std::string &source, PendingCopy *p)
{
    if (m_destination.isKnown(destination)) {
        return true;
    }
    // Below the destination root a folder is looked at and made without following a link; a
    // synchronisation's way back writes into a source, which is not below it.
    std::string relative;
    const bool below = relativeTo(m_snapshot->destinationRoot, destination, relative);
    const FolderLook look = below                            ? lookBelowDestination(relative, p)
                            : statPath(destination).isFolder ? FolderLook::Folder
                                                             : FolderLook::Missing;
    if (look == FolderLook::Refused) {
        return false;
    }
    if (look == FolderLook::Folder) {
        m_destination.noteExists(destination);
        return true;
    }
    if (!notify(p, kLogFile, akFolder, "CS", formatMessage(msg::CreatingFolder, {destination}))) {
        return false;
    }
    int error = 0;
    std::string link;
    if (below ? !makeBelow(m_destinationRoot, m_snapshot->destinationRoot, destination, error, link)
              : !makeFolders(destination, error)) {
        NotDone(); // nor anything that was to go into it
        notify(p, kLogError, akError, "CS",
               link.empty() ? formatMessage(msg::CreatingFolderError, {destination})
                            : formatMessage(msg::LinkNotWrittenThrough, {link}));
        return false;
    }
    m_wroteDestination = true;
    m_destination.noteCreated(destination);
    if (m_countMade) {
        ++m_made.folders;
    }
    if (m_openFolder != nullptr && m_openFolder->path == destination) {
        m_openFolder.reset(); // made anew: the one open is gone
    }
    if (source.empty()) {
        return true;
    }
    // Below the destination root its times and mode go to the folder just made, opened beneath the
    // root; it is then the folder open for the files that go into it.
    int folder = -1;
    if (below) {
        folder = m_destinationRoot.openBeneath(relative, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0, error);
    }
    if (below ? folder < 0 || !copyFolderMetaAt(source, folder, error)
              : !copyFolderMeta(source, destination, error)) {
        say(p, kLogError, formatMessage(msg::FolderSetDateTimeError, {destination, errnoText(error), error}));
    }
    if (folder >= 0) {
        m_openFolder = std::make_shared<const OpenFolder>(destination, folder);
    }
    return true;
}

void TLocalBackup::CheckFreeSpace(const std::string &source, const std::string &destination, std::int64_t needed)
{
    (void)source;
    const std::string folder = folderOf(destination);
    const auto askFileSystem = [this](const std::string &f) { return m_services.freeBytes(f); };
    for (;;) {
        bool fresh = false;
        std::int64_t actual = m_destination.freeSpace(folder, needed, fresh, askFileSystem);
        if (needed == 0 || needed < actual) {
            return;
        }
        if (!fresh) {
            m_destination.forgetFreeSpace(); // ask the file system itself
            actual = m_destination.freeSpace(folder, needed, fresh, askFileSystem);
            if (needed < actual) {
                return;
            }
        }
        const std::string mount = m_mounts.removableMountFor(folder);
        if (!mount.empty() && m_snapshot->diskSpanDialog) {
            const std::string text = formatMessage(msg::OutOfSpaceRemovable, {mount, actual, needed});
            Log(kLogWarning, text);
            const int answer = Alert(akDiskSpan, "RS", text);
            if (answer == aaRetry) {
                // Another medium: nothing known about the old one holds for it.
                m_diskSpanned = true;
                m_destination.forget();
                m_openFolder.reset();
                m_destinationRoot.close(); // the folder of the new medium is opened afresh
                m_versionsRoot.close();
                m_archiveRoot.close();
                if (m_lookahead != nullptr) {
                    m_lookahead->invalidate();
                }
                continue;
            }
            if (answer == aaStop || answer == aaNone) {
                Terminate();
            }
            return;
        }
        const std::string text = formatMessage(msg::OutOfSpaceFixed, {folder, actual, needed});
        Log(kLogError, text);
        if (Alert(akError, "RS", text) != aaRetry) {
            Terminate();
            return;
        }
    }
}

PendingCopy::~PendingCopy()
{
    if (in >= 0) {
        closeReadOnly(in);
    }
}

int PendingCopy::openSource()
{
    if (in < 0 && openError == 0) {
        in = beneath != nullptr
                 ? beneath->openBeneath(relative, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0, openError)
                 : openForReading(source, openError);
    }
    return in;
}

CopyOptions TLocalBackup::copyOptions() const
{
    CopyOptions options;
    options.cancel = &m_control.stopFlag();
    options.bytesPerSecond = m_snapshot->bandwidthBytesPerSecond;
    options.budget = m_budget.get();
    return options;
}

CopyOptions TLocalBackup::copyOptions(const PendingCopy &p) const
{
    CopyOptions options = copyOptions();
    options.folder = p.folder != nullptr ? p.folder->fd : -1;
    return options;
}

bool TLocalBackup::CopyFileChecked(const std::string &source, const std::string &destination,
                                   const FileEntryInfo &sourceInfo, const PathStat *listed)
{
    PendingCopy p;
    p.source = source;
    p.destination = destination;
    p.info = sourceInfo;
    if (listed != nullptr) {
        p.destinationBefore = *listed;
        p.destinationListed = true;
    }
    // A synchronisation's way back reads its file below the destination root, beneath it: a link
    // on the way, or one put in a folder's place since the listing, is not read through. It is
    // opened only when it is to be read.
    std::string relative;
    if (relativeTo(m_snapshot->destinationRoot, source, relative) && !relative.empty() &&
        destinationRootOpen(false)) {
        p.beneath = &m_destinationRoot;
        p.relative = std::move(relative);
    }
    if (!prepareCopy(p)) {
        return false;
    }
    writeCopy(p); // its plan: a file copied alone waits for its turn, which is now
    if (!takeTurn(p)) {
        return false;
    }
    p.writeNow = true;
    writeCopy(p); // its data
    return commitCopy(p);
}

// What the plan needs, found out in scan order: the folder, the destination's stale temporary
// files and its facts. False when the file ends here (no folder, a folder in its place, a stop).
bool TLocalBackup::prepareCopy(PendingCopy &p)
{
    const std::string &source = p.source;
    const std::string &destination = p.destination;
    const std::string folder = folderOf(destination);
    if (!CreateFolder(folder, folderOf(source), &p) || !openDestinationFolder(p, folder) || !Running()) {
        return false;
    }
    // A folder this run created holds only what this run put there.
    const bool freshFolder = m_destination.createdByRun(folder);
    if (!freshFolder && m_destination.firstVisit(folder)) {
        if (p.folder != nullptr) {
            removeStaleCopyTemps(p.folder->fd);
        } else {
            removeStaleCopyTemps(folder);
        }
    }
    if (freshFolder) {
        p.destinationBefore = PathStat{};
    } else if (!p.destinationListed) {
        p.destinationBefore = destinationStat(p);
        if (p.destinationBefore.isSymlink) {
            // Removed by an exact copy (the copy then makes a new file), else left alone.
            if (!fileLinkAtDestination(destination, folderFd(p), &p)) {
                return false;
            }
            p.destinationBefore = PathStat{};
        }
    }
    const PathStat &dst = p.destinationBefore;
    if (dst.isFolder) {
        NotDone();
        notify(&p, kLogError, akError, "CS",
               formatMessage(msg::FileCopyError, {source, destination, errnoText(EISDIR), EISDIR}));
        return false;
    }
    if (!nameStandsAlone(p, freshFolder)) {
        return false;
    }
    FilePairFacts facts;
    facts.destinationExists = dst.exists;
    facts.dateRelation =
        dst.exists ? compareTimes(p.info.mtimeNs, dst.mtimeNs, habitsAt(dst.dev, folderFd(p), folder)) : 1;
    facts.sourceSize = p.info.size;
    facts.destinationSize = dst.size;
    p.facts = facts;
    if (m_rules.synchronize && m_snapshot->compareAfterCopy && dst.exists && facts.dateRelation == 0 &&
        dst.size == p.info.size) {
        compareUnchanged(p);
    }
    // The room is there when the estimate says so; else the file system is asked at the file's
    // turn, once the files before it are written and counted, as in a run that copies one file
    // after another.
    p.askRoom = !m_destination.estimateHolds(folder, p.info.size);
    if (!p.askRoom) {
        // Counted as written now: the files after this one are checked while it is being written.
        m_destination.noteWritten(folder, p.info.size);
    }
    p.waitForTurn = !p.held || p.askRoom || m_bridge.alertsKind(akFile) || m_bridge.alertsKind(akWarning);
    return true;
}

// Where the file is copied: the in-use test and the plan, then the data (unless it waits for the
// file's turn): the temporary file beside the destination, complete and closed, or a new file
// complete in place. Touches nothing but `p` and the file's own destination, so it may run on a
// copy worker.
void TLocalBackup::writeCopy(PendingCopy &p)
{
    if (!p.planned) {
        // Planned even when the run was stopped meanwhile: a file decided before a stop says what
        // it would have done at its turn, whichever thread got to it first.
        p.planned = true;
        p.plan = planCopy(
            p.facts, m_rules, [this, &p] { return m_services.isInUse(p.source, p.openSource()); },
            p.source, p.destination);
    }
    if (!p.plan.transfer || (p.waitForTurn && !p.writeNow)) {
        return;
    }
    if (!m_control.checkpoint()) {
        p.error = kCopyCancelled; // stopped while paused or before this file's turn
        return;
    }
    if (p.openSource() < 0) {
        p.error = p.openError;
        return;
    }
    CopyOptions options = copyOptions(p);
    // A copy that replaces a file reaches the disk before its rename: a power cut then leaves the
    // old file or the new one. The sync comes at the file's turn, shared with the copies written
    // meanwhile (m_syncBatch).
    options.syncData = p.destinationBefore.exists;
    p.written = p.copy.write(p.in, p.source, p.destination, &p.destinationBefore, options, p.error);
    if (p.written && options.syncData) {
        p.syncTicket = m_syncBatch.written();
    }
    if (p.written && p.copy.unnamed() && !p.plan.keepVersion) {
        // A new file: nothing is kept or synced before it takes its name, so it takes it here,
        // complete, and the file's turn only tells of it.
        p.written = p.copy.commit(p.error);
        p.linked = p.written;
    }
    if (p.written) {
        closeReadOnly(p.in); // only a failed copy reads the source again
        p.in = -1;
    }
}

// The end, in scan order: the rename over the destination with the version kept before it, or the
// error. True when the destination now holds the copy.
bool TLocalBackup::commitCopy(PendingCopy &p)
{
    const std::string &source = p.source;
    const std::string &destination = p.destination;
    const std::string folder = folderOf(destination);
    int error = p.error;
    bool written = p.written;
    if (!written && p.openError == 0 && p.in >= 0 && error == ENOENT && !statPath(folder).isFolder) {
        // The folder went away while the run was going: made again, then the copy once more.
        m_destination.noteGone(folder);
        m_openFolder.reset(); // the folder made again is another one
        p.folder.reset();
        written = CreateFolder(folder, folderOf(source), &p) && openDestinationFolder(p, folder) &&
                  rewindFile(p.in) && p.copy.write(p.in, source, destination, nullptr, copyOptions(p), error);
    }
    if (written && !p.linked && p.destinationBefore.exists &&
        !fileLinkAtDestination(destination, folderFd(p), &p)) {
        p.copy.discard();
        return false;
    }
    if (written) {
        m_wroteDestination = true;
        written = m_syncBatch.sync(p.copy, p.syncTicket, error);
    }
    if (written && p.plan.keepVersion && !KeepVersion(destination, folderFd(p))) {
        return false; // the staged copy is removed; destination and archive are as they were
    }
    if (written && (p.linked || p.copy.commit(error))) {
        if (p.plan.keepVersion && !m_lastVersion.empty()) {
            prune(folderOf(m_lastVersion), m_versionsFolder.get(), nameOf(destination),
                  m_snapshot->versionsFilesNum);
        }
        clearArchiveBit(source, p.copy);
        if (m_countMade && !p.destinationBefore.exists) {
            ++m_made.files;
            m_made.bytes += p.info.size;
        }
        return true;
    }
    // commit() fails only before its rename: the destination was not replaced, so the version just
    // kept goes and the archive stays as it was.
    if (written && p.plan.keepVersion && !m_lastVersion.empty()) {
        if (m_versionsFolder != nullptr) {
            ::unlinkat(m_versionsFolder->fd, nameOf(m_lastVersion).c_str(), 0);
        } else {
            int ignored = 0;
            deleteFile(m_lastVersion, ignored);
        }
    }
    if (error == kCopyCancelled || Terminated()) {
        return false; // a stop is not a copy error
    }
    NotDone();
    Notify(kLogError, akError, "CS",
           error == kCopySourceChanged
               ? formatMessage(msg::FileChangedWhileCopied, {source, destination})
               : formatMessage(msg::FileCopyError, {source, destination, errnoText(error), error}));
    return false;
}

// A file's turn, in scan order: the lines held back for it, what its plan says (with its alerts),
// then the room it needs when the file system is to be asked. True when its data is to be written
// and committed.
bool TLocalBackup::planAsks(const PendingCopy &p) const
{
    bool asks = p.plan.transfer && p.askRoom;
    for (const PlanNotice &n : p.plan.notices) {
        asks = asks || (n.alertKind >= 0 && m_bridge.alertsKind(n.alertKind));
    }
    return asks;
}

bool TLocalBackup::takeTurn(PendingCopy &p)
{
    p.answered = true;
    const FilePlan &plan = p.plan;
    if (plan.leftUndone) {
        NotDone();
    }
    const bool asks = planAsks(p);
    if (p.held) {
        p.held = false;
        if (asks && Terminated()) {
            // A file before it ended the run: its alert, or its question to the file system, was
            // never due, and the file says nothing.
            p.lines.clear();
            return false;
        }
        for (const auto &[kind, text] : p.lines) {
            Log(kind, text);
        }
        p.lines.clear();
    }
    if (asks) {
        if (!executeNotices(plan)) {
            return false;
        }
    } else {
        for (const PlanNotice &n : plan.notices) {
            Log(n.logKind, n.text); // decided before any stop: all of it goes out
        }
    }
    if (!plan.transfer || !Running()) {
        return false;
    }
    if (p.askRoom) {
        CheckFreeSpace(p.source, p.destination, p.info.size);
        if (!Running()) {
            return false;
        }
        m_destination.noteWritten(folderOf(p.destination), p.info.size);
    }
    p.transfer = true;
    return true;
}

// A file's end in the copy pass: its turn, unless it came already, then the end of its copy.
void TLocalBackup::finishCopy(PendingCopy &p)
{
    if (!p.answered) {
        const bool go = takeTurn(p);
        if (p.waitForTurn && (go || p.writeNow)) {
            return; // its data is written and ended in an entry of its own
        }
        if (!go) {
            AddProgress(p.info.size);
            return;
        }
    }
    if (p.transfer && Running() && commitCopy(p)) {
        CompareAfterCopy(p.source, p.destination, folderFd(p));
    }
    AddProgress(p.info.size);
}

// An alert is due, or the file system is to be asked, while the file's lines are held: the files
// before it are finished first, then its own lines go out, and from here on it speaks at once.
void TLocalBackup::turnNow(PendingCopy &p)
{
    p.held = false;
    if (m_workers != nullptr) {
        m_workers->drain();
    }
    if (!Terminated()) {
        for (const auto &[kind, text] : p.lines) {
            Log(kind, text);
        }
    }
    p.lines.clear();
}

// After a successful copy, with the task's option, the source is marked as backed up as it was when
// the copy began: a source changed during the copy stays to be archived.
void TLocalBackup::clearArchiveBit(const std::string &source, StagedCopy &copy)
{
    const auto type = m_snapshot->taskType;
    if (!m_snapshot->clearSourceArchiveBit ||
        (type != BackupTaskType::SimpleCopy && type != BackupTaskType::ExactCopy)) {
        return;
    }
    int error = 0;
    if (copy.markSourceArchived(error)) {
        return;
    }
    Notify(kLogError, akError, "CS",
           formatMessage(msg::FileCopyError, {source, source, errnoText(error), error}));
}

bool TLocalBackup::CompareAfterCopy(const std::string &source, const std::string &destination, int folder)
{
    if (m_services.afterCopy) {
        m_services.afterCopy(destination);
    }
    if (!m_snapshot->compareAfterCopy) {
        return true;
    }
    if (sameCrc(source, destination, folder)) {
        return true;
    }
    NotDone();
    Notify(kLogError, akError, "CS", formatMessage(msg::FileCompareFailed, {source, destination}));
    return false;
}

} // namespace qv
