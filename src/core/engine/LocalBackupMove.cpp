// TLocalBackup: one file moved, and the test that its destination holds the source's data before
// the source goes.
#include "core/engine/LocalBackup.h"

#include "core/engine/BackupMessages.h"
#include "core/util/FileUtils.h"
#include "platform/FileCrc.h"
#include "platform/FileIo.h"
#include "platform/PathText.h"

#include <cerrno>

namespace qv {

namespace {

// Whether deleting `source` would delete `destination` too: the destination is the source's own
// entry (the same name in the same folder, reached through another path: a link, a bind mount), or
// a symbolic link to the source. A hard link of the source in another folder or under another name
// is an entry of its own: it keeps the data when the source's name goes.
bool destinationIsSource(const std::string &source, const std::string &destination)
{
    const PathStat src = statPath(source);
    const PathStat dst = statPath(destination);
    if (!src.exists || !dst.exists || src.dev != dst.dev || src.ino != dst.ino) {
        return false;
    }
    if (statEntry(destination).isSymlink) {
        return true;
    }
    const PathStat srcFolder = statPath(parentOf(source));
    const PathStat dstFolder = statPath(parentOf(destination));
    return nameOf(source) == nameOf(destination) && srcFolder.dev == dstFolder.dev &&
           srcFolder.ino == dstFolder.ino;
}

} // namespace

bool TLocalBackup::sameCrc(const std::string &source, const std::string &destination, int folder)
{
    if (folder == AT_FDCWD) {
        return FilesHaveSameCrc(source, destination);
    }
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    return fileCrc32(source, a) && fileCrc32At(folder, nameOf(destination), b) && a == b;
}

bool TLocalBackup::sameContent(const std::string &source, const std::string &destination,
                               std::int64_t sourceSize, int folder)
{
    const PathStat dst =
        folder != AT_FDCWD ? statEntry(folder, nameOf(destination).c_str()) : statPath(destination);
    if (!dst.exists || !dst.isRegular || dst.size != sourceSize) {
        return false;
    }
    if (!m_snapshot->compareAfterCopy) {
        return true;
    }
    return sameCrc(source, destination, folder);
}

// The source goes only when the destination holds the same data; otherwise it stays, with a warning.
bool TLocalBackup::moveDeleteSource(const std::string &source, const std::string &destination,
                                    std::int64_t sourceSize, int folder)
{
    if (destinationIsSource(source, destination)) {
        NotDone();
        Notify(kLogError, akError, "CS", formatMessage(msg::FileMoveIsSource, {destination, source}));
        return false;
    }
    if (!sameContent(source, destination, sourceSize, folder)) {
        NotDone();
        Notify(kLogWarning, akWarning, "CS", formatMessage(msg::FileMoveSourceKept, {destination, source}));
        return false;
    }
    return DeleteSourceFile(source);
}

bool TLocalBackup::MoveFileChecked(const std::string &source, const std::string &destination)
{
    if (!Running()) {
        return false;
    }
    const std::string folder = folderOf(destination);
    if (!CreateFolder(folder, folderOf(source)) || !Running()) {
        return false;
    }
    const PathStat src = statPath(source);
    // Into the folder as checked, opened beneath the destination root: a link put in its place
    // since redirects neither the rename nor the copy across file systems.
    PendingCopy p;
    p.source = source;
    p.destination = destination;
    if (!openDestinationFolder(p, folder) || !Running()) {
        return false;
    }
    const int dir = folderFd(p);
    // A move across file systems copies through a temporary file: a killed run's is removed here,
    // as a copy removes its own.
    if (!m_destination.createdByRun(folder) && m_destination.firstVisit(folder)) {
        if (p.folder != nullptr) {
            removeStaleCopyTemps(p.folder->fd);
        } else {
            removeStaleCopyTemps(folder);
        }
    }
    if (!src.exists) {
        NotDone();
        Notify(kLogError, akError, "CS", formatMessage(msg::FileMoveError, {source, destination}));
        return false;
    }
    const PathStat dst =
        dir != AT_FDCWD ? statEntry(dir, nameOf(destination).c_str()) : statPath(destination);
    if ((dst.exists || dst.isSymlink) && !fileLinkAtDestination(destination, dir, nullptr)) {
        return false;
    }
    p.destinationBefore = dst;
    if (!nameStandsAlone(p, m_destination.createdByRun(folder))) {
        return false;
    }
    if (dst.exists && dst.dev == src.dev && dst.ino == src.ino && destinationIsSource(source, destination)) {
        NotDone();
        Notify(kLogError, akError, "CS", formatMessage(msg::FileMoveIsSource, {destination, source}));
        return false;
    }
    FilePairFacts facts;
    facts.destinationExists = dst.exists;
    facts.dateRelation =
        dst.exists ? compareTimes(src.mtimeNs, dst.mtimeNs, habitsAt(dst.dev, dir, folderOf(destination)))
                   : 1;
    facts.sourceSize = src.size;
    facts.destinationSize = dst.size;
    facts.sourceReadOnly = (src.mode & 0200) == 0; // no write bit for the owner
    const FilePlan plan = planMove(
        facts, m_rules, [&] { return m_services.isInUse(source, -1); }, source, destination);
    if (plan.leftUndone) {
        NotDone();
    }
    if (!executeNotices(plan)) {
        return false;
    }
    if (plan.deleteSourceOnly) {
        if (Running()) {
            moveDeleteSource(source, destination, src.size, dir);
        }
        return false;
    }
    if (!plan.transfer) {
        return false;
    }
    CheckFreeSpace(source, destination, src.size);
    if (!Running()) {
        return false;
    }
    const std::string at = p.folder != nullptr ? nameOf(destination) : destination;
    if (FileIo::current().renameAt(AT_FDCWD, source.c_str(), dir, at.c_str()) == 0) {
        m_wroteDestination = true;
        return true;
    }
    int error = errno;
    if (error == EXDEV) {
        // The source goes after this: the copy's data and name reach the disk first.
        CopyOptions options = copyOptions(p);
        options.syncData = true;
        options.syncName = true;
        // The source goes only while it is still the file that was read: one changed meanwhile
        // stays, and its copy is not put in place when the change is seen before the rename.
        StagedCopy copy;
        bool written = copy.write(source, destination, options, error);
        if (written && !copy.sourceIsAsCopied(source)) {
            copy.discard();
            error = kCopySourceChanged;
            written = false;
        }
        if (written && copy.commit(error)) {
            m_wroteDestination = true;
            if (copy.sourceIsAsCopied(source)) {
                return moveDeleteSource(source, destination, copy.bytesWritten(), dir);
            }
            error = kCopySourceChanged;
        }
        if (error == kCopyCancelled || Terminated()) {
            return false;
        }
        if (error == kCopySourceChanged) {
            NotDone();
            Notify(kLogError, akError, "CS",
                   formatMessage(msg::FileChangedWhileMoved, {source, destination}));
            return false;
        }
    }
    NotDone();
    Notify(kLogError, akError, "CS", formatMessage(msg::FileMoveError, {source, destination}));
    return false;
}

} // namespace qv
