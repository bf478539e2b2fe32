// TLocalBackup: versions of overwritten files, the deleted-files archive, obsolete entries.
#include "core/engine/LocalBackup.h"

#include "core/engine/BackupMessages.h"
#include "core/settings/DateTime.h"
#include "core/util/FileUtils.h"
#include "platform/FileIo.h"
#include "platform/FolderListing.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

namespace {

// A kept copy's name is the file's name, ".", and when it was made: 17 digits (year to
// milliseconds) in UTC followed by "Z". Copies named before carry the 17 digits in local time
// without the "Z". Names alone cannot order them once the time zone or daylight saving time has
// moved between runs, so pruning reads each stamp back as the moment it stands for.
constexpr std::size_t kStampDigits = 17;

bool isStampedName(const std::string &candidate, const std::string &name)
{
    const std::size_t stamp = name.size() + 1;
    const bool utc = candidate.size() == stamp + kStampDigits + 1 && candidate.back() == 'Z';
    if ((candidate.size() != stamp + kStampDigits && !utc) || candidate.compare(0, name.size(), name) != 0 ||
        candidate[name.size()] != '.') {
        return false;
    }
    return std::all_of(candidate.begin() + static_cast<std::ptrdiff_t>(stamp),
                       candidate.begin() + static_cast<std::ptrdiff_t>(stamp + kStampDigits),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// The moment a stamp stands for, in milliseconds since 1970; a stamp that names no moment counts
// as the newest, so that nothing is pruned for a name it cannot date.
std::int64_t stampMoment(std::string_view stamp)
{
    auto number = [stamp](std::size_t at, std::size_t digits) {
        int v = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            v = v * 10 + (stamp[i] - '0');
        }
        return v;
    };
    const QDate date(number(0, 4), number(4, 2), number(6, 2));
    const QTime time(number(8, 2), number(10, 2), number(12, 2), number(14, 3));
    const bool utc = stamp.size() > kStampDigits;
    QDateTime moment = utc ? QDateTime(date, time, QTimeZone::utc()) : QDateTime(date, time);
    if (!moment.isValid()) {
        moment = QDateTime(date, time, QTimeZone::utc()); // a local time the clock skipped
    }
    return moment.isValid() ? moment.toMSecsSinceEpoch() : std::numeric_limits<std::int64_t>::max();
}

} // namespace

// The archive's folder for `path`: the archive folder plus the path's folder relative to the
// destination root.
std::string TLocalBackup::archiveFolderFor(const std::string &archive, const std::string &path) const
{
    const std::string &root = m_snapshot->destinationRoot;
    std::string folder = folderOf(path);
    std::string relative;
    if (folder.size() >= root.size() && folder.compare(0, root.size(), root) == 0) {
        relative = folder.substr(root.size());
    }
    return archive + relative;
}

std::string TLocalBackup::stampedName(const std::string &folder, const OpenFolder *open,
                                      const std::string &name)
{
    std::int64_t ms = nowDateTime().toMSecsSinceEpoch();
    if (ms <= m_lastStampMs) {
        ms = m_lastStampMs + 1; // two names in one millisecond: the second takes the next one
    }
    for (;; ++ms) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
        const std::string stamp = t.toString("yyyyMMddHHmmsszzz").toStdString() + "Z";
        const std::string candidate = folder + name + "." + stamp;
        struct stat st;
        // Looked for in the folder as opened beneath its root, where the name will be made.
        if (open != nullptr ? ::fstatat(open->fd, nameOf(candidate).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0
                            : !pathTaken(candidate)) {
            m_lastStampMs = ms;
            return candidate;
        }
    }
}

void TLocalBackup::prune(const std::string &folder, const OpenFolder *open, const std::string &name,
                         int limit)
{
    if (limit < 1) {
        return;
    }
    std::vector<std::string> names;
    int error = 0;
    if (open == nullptr) {
        listNames(folder, names, error); // what could be read is pruned
    } else if (FolderListing listing; listing.openAt(open->fd, error)) {
        bool isFolder = false;
        while (const char *entry = listing.next(isFolder)) {
            names.emplace_back(entry);
        }
    }
    // Oldest first by when each copy was made; copies of one moment by name.
    std::vector<std::pair<std::int64_t, std::string>> stamped;
    for (std::string &n : names) {
        if (isStampedName(n, name)) {
            const std::int64_t moment = stampMoment(std::string_view(n).substr(name.size() + 1));
            stamped.emplace_back(moment, std::move(n));
        }
    }
    std::sort(stamped.begin(), stamped.end());
    std::vector<std::string> found;
    for (auto &entry : stamped) {
        found.push_back(std::move(entry.second));
    }
    for (std::size_t i = 0; i + static_cast<std::size_t>(limit) < found.size(); ++i) {
        int ignored = 0;
        if (open != nullptr) {
            ::unlinkat(open->fd, found[i].c_str(), 0);
        } else {
            deleteFile(folder + found[i], ignored);
        }
    }
}

bool TLocalBackup::openBelowRoot(RootFolder &root, const std::string &rootPath, const std::string &folder,
                                 std::shared_ptr<const OpenFolder> &open, int &error)
{
    if (open != nullptr && open->path == folder) {
        return true;
    }
    open.reset();
    std::string relative;
    if (!relativeTo(rootPath, folder, relative)) {
        return true; // not below it: by path, as the user gave it
    }
    if (!root.isOpen() && !root.open(rootPath, error)) {
        return false;
    }
    const int fd = root.openBeneath(relative, O_PATH | O_DIRECTORY | O_CLOEXEC, 0, error);
    if (fd < 0) {
        return false;
    }
    open = std::make_shared<const OpenFolder>(folder, fd);
    return true;
}

bool TLocalBackup::invalidArchive(const BackupMessage &m, const std::string &folder)
{
    const std::string text = formatMessage(m, {folder});
    Log(kLogError, text);
    Alert(akError, "S", text);
    Terminate();
    return false;
}

void TLocalBackup::archiveFolderRefused(const RootFolder &root, const std::string &archive,
                                       const std::string &folder, int error, std::string link,
                                       const BackupMessage &invalid)
{
    if (std::string relative; link.empty() && error == ELOOP && relativeTo(archive, folder, relative)) {
        const std::string found = root.linkOnTheWay(relative);
        link = found.empty() ? folder : root.pathOf(found);
    }
    if (link.empty()) {
        invalidArchive(invalid, folder);
        return;
    }
    NotDone(); // the file stays as it was
    Notify(kLogError, akError, "CS", formatMessage(msg::LinkNotWrittenThrough, {link}));
}

std::string TLocalBackup::GetVersionFileName(const std::string &file)
{
    const std::string &archive = m_snapshot->versionsFolder;
    const std::string folder = archiveFolderFor(archive, file);
    int error = 0;
    std::string link;
    if (archive.empty() || archive[0] != '/' || !makeBelow(m_versionsRoot, archive, folder, error, link) ||
        !openBelowRoot(m_versionsRoot, archive, folder, m_versionsFolder, error)) {
        archiveFolderRefused(m_versionsRoot, archive, folder, error, link, msg::VersionsArchiveInvalid);
        return {};
    }
    return stampedName(folder, m_versionsFolder.get(), nameOf(file));
}

std::string TLocalBackup::GetDeletedArchiveFileName(const std::string &path, const std::string &root)
{
    (void)root;
    const std::string &archive = m_snapshot->archiveFolder;
    const bool isFolder = !path.empty() && path.back() == '/';
    const std::string folder = isFolder ? archiveFolderFor(archive, path) + nameOf(path) + "/"
                                        : archiveFolderFor(archive, path);
    int error = 0;
    std::string link;
    if (archive.empty() || archive[0] != '/' ||
        !makeBelow(m_archiveRoot, archive, isFolder ? folderOf(folder) : folder, error, link) ||
        (!isFolder && !openBelowRoot(m_archiveRoot, archive, folder, m_archiveFolder, error))) {
        archiveFolderRefused(m_archiveRoot, archive, folder, error, link, msg::DeletedArchiveInvalid);
        return {};
    }
    return isFolder ? folder : stampedName(folder, m_archiveFolder.get(), nameOf(path));
}

// A copy of `fromName` in the folder `from` (never through a link) to `name`, in the folder `to`
// where it is opened (AT_FDCWD: by path), its data and name synced before it counts as done.
bool TLocalBackup::syncedCopy(int from, const std::string &fromName, const std::string &source, int to,
                              const std::string &name, int &error)
{
    const int in = ::openat(from, fromName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        error = errno;
        return false;
    }
    StagedCopy copy;
    CopyOptions options;
    options.cancel = &m_control.stopFlag();
    options.syncData = true;
    options.syncName = true;
    options.folder = to == AT_FDCWD ? -1 : to;
    const bool done = copy.write(in, source, name, nullptr, options, error) && copy.commit(error);
    ::close(in);
    return done;
}

// The old destination enters the archive while it still stands at the destination (a second name
// for the same file, or a copy across file systems); the staged copy's rename then replaces it in
// one step, so no moment exists where the destination is missing.
bool TLocalBackup::preserveVersion(const std::string &file, int fileFolder, const std::string &name,
                                   int &error)
{
    // Both names relative to their folders as checked, where they were opened beneath their roots.
    const int to = m_versionsFolder != nullptr ? m_versionsFolder->fd : AT_FDCWD;
    const std::string toName = m_versionsFolder != nullptr ? nameOf(name) : name;
    const std::string fromName = fileFolder != AT_FDCWD ? nameOf(file) : file;
    if (::linkat(fileFolder, fromName.c_str(), to, toName.c_str(), 0) == 0) {
        return true;
    }
    // The destination is replaced after this: the version's data and name reach the disk first.
    return syncedCopy(fileFolder, fromName, file, to, name, error);
}

bool TLocalBackup::KeepVersion(const std::string &file, int folder)
{
    m_lastVersion.clear();
    struct stat st;
    if (!m_snapshot->versionsKeep || ::fstatat(folder, (folder != AT_FDCWD ? nameOf(file) : file).c_str(),
                                               &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return true;
    }
    const std::string name = GetVersionFileName(file);
    if (name.empty() || !Running()) {
        return false;
    }
    const std::string text = formatMessage(msg::FileKeepVersion, {file, name});
    if (Alert(akFile, "CS", text) == aaStop) {
        Terminate();
        return false;
    }
    Log(kLogFile, text);
    int error = 0;
    if (!preserveVersion(file, folder, name, error)) {
        NotDone(); // nor is the file replaced
        Notify(kLogError, akError, "CS", formatMessage(msg::FileKeepVersionError, {file}));
        return false;
    }
    m_lastVersion = name;
    return true;
}

bool TLocalBackup::DeleteSourceFile(const std::string &file)
{
    if (!Running()) {
        return false;
    }
    if (DeleteFileForced(file)) {
        return true;
    }
    NotDone();
    Notify(kLogError, akError, "CS", formatMessage(msg::FileDeleteError, {file}));
    return false;
}

TLocalBackup::BelowDestination TLocalBackup::removeBelowDestination(const std::string &path, bool isFolder,
                                                                    int &error)
{
    std::string relative;
    if (!relativeTo(m_snapshot->destinationRoot, path, relative) || relative.empty()) {
        return BelowDestination::Outside;
    }
    if (!destinationRootOpen(false) || !m_destinationRoot.remove(relative, isFolder, error)) {
        error = error != 0 ? error : ENOENT;
        nameLinkOnTheWay(relative, error);
    }
    return BelowDestination::Inside;
}

void TLocalBackup::nameLinkOnTheWay(const std::string &relative, int error)
{
    if (error != ELOOP) {
        return;
    }
    const std::string found = m_destinationRoot.linkOnTheWay(relative);
    if (const std::string link = m_destinationRoot.pathOf(found);
        !found.empty() && m_linksWarned.insert(link).second) {
        Log(kLogWarning, formatMessage(msg::LinkLeftAlone, {link}));
    }
}

bool TLocalBackup::trashEntry(const std::string &path)
{
    std::string error;
    std::string relative;
    if (!relativeTo(m_snapshot->destinationRoot, path, relative) || relative.empty()) {
        return m_services.moveToTrash(-1, path, std::string(), error);
    }
    std::string name;
    int failed = 0;
    const int from = destinationRootOpen(false) ? m_destinationRoot.openParent(relative, name, failed) : -1;
    if (from < 0) {
        nameLinkOnTheWay(relative, failed);
        return false; // a link on the way, or the folder is gone: nothing moved
    }
    const bool done = m_services.moveToTrash(from, path, std::string(), error);
    ::close(from);
    return done;
}

bool TLocalBackup::moveIntoArchive(const std::string &relative, const std::string &name, int &error)
{
    std::string at;
    const int from = destinationRootOpen(false) ? m_destinationRoot.openParent(relative, at, error) : -1;
    if (from < 0) {
        error = error != 0 ? error : ENOENT;
        nameLinkOnTheWay(relative, error);
        return false;
    }
    const int to = m_archiveFolder != nullptr ? m_archiveFolder->fd : AT_FDCWD;
    const std::string toName = m_archiveFolder != nullptr ? nameOf(name) : name;
    bool done = FileIo::current().renameAt(from, at.c_str(), to, toName.c_str()) == 0;
    error = done ? 0 : errno;
    if (!done && error == EXDEV) {
        // The original goes after this: the copy's data and name reach the disk first.
        done = syncedCopy(from, at, m_destinationRoot.pathOf(relative), to, name, error);
        if (done && ::unlinkat(from, at.c_str(), 0) != 0) {
            error = errno;
            done = false;
        }
    }
    ::close(from);
    return done;
}

bool TLocalBackup::DeleteFileByKind(const std::string &file)
{
    switch (m_snapshot->deleteKind) {
    case BackupDeleteKind::Normal:
        if (!Running()) {
            return false;
        }
        if (int error = 0; removeBelowDestination(file, false, error) != BelowDestination::Outside) {
            if (error == 0) {
                return true;
            }
            NotDone();
            Notify(kLogError, akError, "CS", formatMessage(msg::FileDeleteError, {file}));
            return false;
        }
        return DeleteSourceFile(file);
    case BackupDeleteKind::Recycle: {
        if (trashEntry(file)) {
            return true;
        }
        NotDone();
        Notify(kLogError, akError, "CS", formatMessage(msg::FileDeleteToRecycleError, {file}));
        return false;
    }
    case BackupDeleteKind::Archive: {
        const std::string name = GetDeletedArchiveFileName(file, m_snapshot->destinationRoot);
        if (name.empty() || !Running()) {
            return false;
        }
        int error = 0;
        std::string relative;
        const bool below = relativeTo(m_snapshot->destinationRoot, file, relative) && !relative.empty();
        if (below ? !moveIntoArchive(relative, name, error)
                  : !movePath(file, name, &m_control.stopFlag(), -1, error)) {
            NotDone();
            Notify(kLogError, akError, "CS", formatMessage(msg::FileDeleteToArchiveError, {file, name}));
            return false;
        }
        prune(folderOf(name), m_archiveFolder.get(), nameOf(file), m_snapshot->keepDeletedFilesNum);
        return true;
    }
    }
    return false;
}

bool TLocalBackup::DeleteFolderIfEmpty(const std::string &folder)
{
    if (!statPath(folder).exists) {
        return true;
    }
    if (!IsFolderEmpty(folder)) {
        // Counted by the deletion that asked; a moved folder that still holds what was not moved
        // (filtered out) is only told of.
        Notify(kLogError, akError, "CS", formatMessage(msg::FolderDeleteNotEmptyError, {folder}));
        return false;
    }
    int error = 0;
    const BelowDestination below = removeBelowDestination(folder, true, error);
    return below == BelowDestination::Outside ? DeleteFolderPermanently(folder) : error == 0;
}

bool TLocalBackup::DeleteFolderByKind(const std::string &folder, bool wholeTree)
{
    switch (m_snapshot->deleteKind) {
    case BackupDeleteKind::Normal:
        if (DeleteFolderIfEmpty(folder)) {
            return true;
        }
        if (Running()) {
            NotDone();
            Notify(kLogError, akError, "CS", formatMessage(msg::FolderDeleteError, {folder}));
        }
        return false;
    case BackupDeleteKind::Recycle: {
        // Only a folder whose whole tree is obsolete goes with its contents; any other one must
        // be empty by now, so that nothing kept inside it goes to the trash with it.
        if (!wholeTree && !IsFolderEmpty(folder)) {
            NotDone();
            Notify(kLogError, akError, "CS", formatMessage(msg::FolderDeleteNotEmptyError, {folder}));
            return false;
        }
        if (trashEntry(withoutSlash(folder))) {
            return true;
        }
        NotDone();
        Notify(kLogError, akError, "CS", formatMessage(msg::FolderDeleteToRecycleError, {folder}));
        return false;
    }
    case BackupDeleteKind::Archive: {
        const std::string name = GetDeletedArchiveFileName(folder, m_snapshot->destinationRoot);
        if (name.empty() || !Running()) {
            return false;
        }
        if (!IsFolderEmpty(folder)) {
            NotDone();
            Notify(kLogError, akError, "CS", formatMessage(msg::FolderDeleteNotEmptyError, {folder}));
            return false;
        }
        int error = 0;
        std::string link;
        if (makeBelow(m_archiveRoot, m_snapshot->archiveFolder, name, error, link)) {
            // The empty folder goes beneath the destination root, never through a link on the way.
            int removeError = 0;
            if (removeBelowDestination(folder, true, removeError) == BelowDestination::Outside
                    ? DeleteFolderPermanently(folder)
                    : removeError == 0) {
                return true;
            }
        }
        NotDone();
        Notify(kLogError, akError, "CS", formatMessage(msg::FolderDeleteToArchiveError, {folder, name}));
        return false;
    }
    }
    return false;
}

void TLocalBackup::RemoveMovedFolders(const std::vector<std::string> &folders)
{
    SetProgress(messageText(msg::ProgressDeletingMoved), static_cast<std::int64_t>(folders.size()));
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        if (statPath(*it).exists) {
            if (!Notify(kLogFile, akWarning, "CS", formatMessage(msg::FolderDelete, {*it}))) {
                return;
            }
            DeleteFolderIfEmpty(*it);
        }
        AddProgress(1);
    }
}

} // namespace qv
