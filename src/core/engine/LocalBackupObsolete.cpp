// TLocalBackup: the obsolete phase of an exact copy.
//
// No list of the destination is kept: it may hold millions of entries. A first look while the
// sources are read (on helper threads) reports what a scan of it reports where a scan would
// (special files, unreadable folders), counts its entries and keeps, for each folder it listed,
// one number summing its names and one summing its files' names, sizes, times and modes. The copy
// pass takes the files of a folder whose second number matches its sources' as listed (up to
// date), takes the other destination files' stats a little ahead of its decisions
// (StatLookahead), and decides the obsolete entries folder by folder: when it leaves a source
// folder, the destination folder whose names sum as the source's holds nothing obsolete; any
// other is listed then. Entries the copy pass adds are all wanted and
// go only into wanted folders, so these decisions find the obsolete entries a list taken before
// the copy would have held. The phase after the copy carries them out in the order of a walk from
// the top, each after a look that it is still what was decided on. Where the source list was not
// kept (a large tree, streamed), the folder the pass leaves holds the names it handed out: they
// decide what in its destination folder is wanted.
#include "core/engine/LocalBackup.h"

#include "core/engine/BackupMessages.h"
#include "core/engine/ObsoletePlanner.h"

#include <algorithm>
#include <thread>

namespace qv {

std::set<std::string> TLocalBackup::protectedFolders() const
{
    const RunSnapshot &s = *m_snapshot;
    std::set<std::string> folders;
    auto add = [&folders](const std::string &f) { folders.insert(f.back() == '/' ? f : f + "/"); };
    if (s.versionsKeep && !s.versionsFolder.empty()) {
        add(s.versionsFolder);
    }
    if (s.deleteKind == BackupDeleteKind::Archive && !s.archiveFolder.empty()) {
        add(s.archiveFolder);
    }
    for (const RunSource &src : s.sources) {
        add(src.folder);
    }
    return folders;
}

void TLocalBackup::startDestinationScan()
{
    m_destinationFiles.clear();
    m_destinationTotals = {};
    m_destinationUnreadable.clear();
    m_destinationScanned = false;
    m_destinationHeldFiles = false;
    m_destinationExisted = statPath(m_snapshot->destinationRoot).isFolder;
    m_obsolete = std::make_unique<ObsoleteByFolder>();
    if (!m_destinationExisted) {
        m_destinationScanned = true; // nothing there yet: nothing can be obsolete
        m_obsolete->listed = true;
        return;
    }
    m_destinationScan = std::thread([this] {
        ScanCallbacks callbacks;
        callbacks.skippedSpecial = [this](const std::string &path) {
            Log(kLogSkipped, formatMessage(msg::SpecialFileSkipped, {path}));
        };
        callbacks.unreadable = [this](const std::string &path, int error) {
            NotDone(); // nothing obsolete below it can go
            Log(kLogWarning, formatMessage(msg::FolderUnreadable, {path, errnoText(error)}));
        };
        ObsoleteByFolder &obsolete = *m_obsolete;
        callbacks.listed = [&obsolete](const std::string &folder, const std::vector<DirItem> &items) {
            const ListingDigests digests = digestOfListing(items);
            if (!digests.names.empty()) {
                const ObsoleteByFolder::Seen seen{std::hash<std::string>{}(folder), digests.names.value(),
                                                  digests.files.value()};
                std::lock_guard<std::mutex> lock(obsolete.mutex);
                obsolete.digests.push_back(seen);
            }
        };
        FolderScanner scanner(*m_services.directoryReader, m_control, callbacks);
        ScanOptions options;
        options.applyFilters = false;
        options.includeSubfolders = true;
        options.countOnly = true;
        options.statEntries = true; // the copy pass takes a folder whose files match as up to date
        options.noDescend = protectedFolders();
        options.parallel = scanThreads();
        options.threadStart = threadStartHook();
        scanner.ReadFolder(m_snapshot->destinationRoot, m_destinationFiles, options, m_destinationTotals,
                           std::string());
        m_destinationUnreadable = scanner.unreadableFolders();
        m_destinationHeldFiles = m_destinationTotals.files > 0;
        std::sort(obsolete.digests.begin(), obsolete.digests.end());
        obsolete.digests.shrink_to_fit();
        obsolete.listed = true;
        m_destinationScanned = true;
    });
}

void TLocalBackup::finishDestinationScan()
{
    if (m_destinationScan.joinable()) {
        m_destinationScan.join();
    }
}

bool TLocalBackup::producedBySource(std::string_view path) const
{
    if (claimedInAnotherCase(path)) {
        return true;
    }
    if (m_sourceStreamed) {
        // No list: the source folder the pass is leaving holds the names it handed out. Nothing
        // below a subfolder it does not hold was taken either.
        const ObsoleteByFolder::Open *closing = m_obsolete != nullptr ? m_obsolete->closing : nullptr;
        const RunSource &src = m_snapshot->sources.front();
        if (closing == nullptr || path.size() < src.destination.size() ||
            path.compare(0, src.destination.size(), src.destination) != 0) {
            return false;
        }
        const std::string candidate = src.folder + std::string(path.substr(src.destination.size()));
        const bool slash = candidate.back() == '/';
        const std::size_t cut = candidate.rfind('/', candidate.size() - (slash ? 2 : 1));
        return cut != std::string::npos && candidate.compare(0, cut + 1, closing->folder) == 0 &&
               cut + 1 == closing->folder.size() && closing->names.count(candidate.substr(cut + 1)) != 0;
    }
    for (const RunSource &src : m_snapshot->sources) {
        if (path.size() < src.destination.size() || path.compare(0, src.destination.size(), src.destination) != 0) {
            continue;
        }
        const std::string candidate = src.folder + std::string(path.substr(src.destination.size()));
        if (m_sourceFiles.holds(candidate) && SourceToDestination(candidate) == path) {
            return true;
        }
    }
    return false;
}

void TLocalBackup::DeleteObsolete()
{
    const RunSnapshot &s = *m_snapshot;
    // A missing source (a disconnected drive) would make every backup file look obsolete.
    for (const RunSource &src : s.sources) {
        const PathStat st = src.folder.empty() ? PathStat{} : statPath(src.folder);
        if (src.folder.empty() || !st.isFolder || !m_mounts.missingMountFor(src.folder).empty()) {
            const std::string text = formatMessage(msg::DeleteObsoleteSourceError, {src.folder});
            Log(kLogError, text);
            Alert(akWarning, "S", text);
            Terminate();
            return;
        }
    }
    if (m_diskSpanned) {
        NotDone();
        Notify(kLogWarning, akWarning, "CS", formatMessage(msg::DeleteObsoleteImpossible));
        return;
    }
    if (!m_destinationScanned) {
        startDestinationScan();
        finishDestinationScan();
    }
    if (!Running()) {
        return;
    }

    const auto entries = static_cast<std::int64_t>(m_destinationTotals.files + m_destinationTotals.folders);
    SetProgress(messageText(msg::ProgressSearchingObsolete), entries);
    std::vector<ObsoleteAction> actions;
    if (!m_destinationExisted) {
        // Nothing was there when the run began: nothing can be obsolete.
    } else if (m_obsolete != nullptr && m_obsolete->complete) {
        actions = std::move(m_obsolete->actions);
        orderObsolete(actions);
    } else if (m_sourceStreamed) {
        return; // without the source list a walk would find every entry obsolete
    } else {
        std::vector<std::string> protectedList;
        TFilesList roots;
        obsoleteContext(protectedList, roots);
        actions = planObsoleteWalk(
            *m_services.directoryReader, s.destinationRoot, protectedFolders(),
            [&](std::string_view p) { return roots.contains(p) || producedBySource(p); }, protectedList,
            s.deleteKind == BackupDeleteKind::Recycle, [this] { return Running(); });
    }
    m_obsolete.reset();
    if (!Running()) {
        return;
    }
    SetProgressPosition(entries);
    if (actions.empty()) {
        return;
    }
    SetProgress(messageText(msg::ProgressDeletingObsolete), static_cast<std::int64_t>(actions.size()));
    for (const ObsoleteAction &a : actions) {
        if (!Running()) {
            return;
        }
        // Still what was decided on: a folder, or a file (a link to one counts), as it was listed.
        const PathStat now = statEntry(a.isFolder ? withoutSlash(a.path) : a.path);
        if (!now.exists || (a.isFolder ? !now.isFolder || now.isSymlink : !now.isRegular)) {
            AddProgress(1);
            continue;
        }
        if (a.isFolder) {
            if (!Notify(kLogWarning, akWarning, "CS",
                        formatMessage(msg::FolderDeleteObsolete, {withoutSlash(a.path)}))) {
                return;
            }
            DeleteFolderByKind(a.path, a.wholeTree);
        } else {
            if (!Notify(kLogWarning, akWarning, "CS", formatMessage(msg::FileDeleteObsolete, {a.path}))) {
                return;
            }
            DeleteFileByKind(a.path);
        }
        AddProgress(1);
    }
}

void TLocalBackup::obsoleteContext(std::vector<std::string> &protectedList, TFilesList &roots) const
{
    const RunSnapshot &s = *m_snapshot;
    for (const std::string &f : protectedFolders()) {
        protectedList.push_back(f);
    }
    for (const std::string &folder : m_unreadableFolders) {
        const std::string target = SourceToDestination(folder);
        if (!target.empty()) {
            protectedList.push_back(target); // what a source folder that could not be read left there
        }
    }
    for (const std::string &folder : m_destinationUnreadable) {
        protectedList.push_back(folder); // destination folders whose contents are unknown
    }
    for (const std::string &folder : m_disconnected) {
        if (const std::string place = SourceToDestination(folder); !place.empty()) {
            protectedList.push_back(place); // the backup of a drive that is not connected
        }
    }
    for (const RunSource &src : s.sources) {
        roots.FileAdd(src.destination);
        if (s.keepStructureFromRoot && src.destination != s.destinationRoot) {
            for (std::string f = folderOf(src.destination); f.size() > s.destinationRoot.size(); f = folderOf(f)) {
                roots.FileAdd(f);
            }
        }
    }
}

bool TLocalBackup::obsoleteBegin()
{
    if (m_obsolete == nullptr || !m_obsolete->listed || m_snapshot->taskType != BackupTaskType::ExactCopy) {
        return false;
    }
    ObsoleteByFolder &o = *m_obsolete;
    o.open.clear();
    o.decided.clear();
    o.actions.clear();
    o.protectedList.clear();
    o.roots.clear();
    o.complete = false;
    obsoleteContext(o.protectedList, o.roots);
    return true;
}

const TLocalBackup::ObsoleteByFolder::Seen *TLocalBackup::ObsoleteByFolder::seen(const std::string &folder,
                                                                                   bool &alone) const
{
    Seen key;
    key.key = std::hash<std::string>{}(folder);
    const auto it = std::lower_bound(digests.begin(), digests.end(), key);
    if (it == digests.end() || it->key != key.key) {
        return nullptr;
    }
    alone = it + 1 == digests.end() || (it + 1)->key != key.key;
    return &*it;
}

// Decides the obsolete entries of the destination folder `folder` unless it was done before:
// nothing when the first look did not list it (it was not there, empty, or not entered) or found
// the names `expected` (null: unknown) in it; else its entries as they are now.
void TLocalBackup::decideObsoleteFolder(const std::string &folder, const EntryDigest *expected)
{
    ObsoleteByFolder &o = *m_obsolete;
    if (!o.decided.insert(std::hash<std::string>{}(folder)).second) {
        return;
    }
    bool alone = false;
    const ObsoleteByFolder::Seen *seen = o.seen(folder, alone);
    if (seen == nullptr) {
        return;
    }
    if (expected != nullptr && alone && seen->names == expected->value()) {
        return;
    }
    std::vector<ObsoleteAction> found = planObsoleteFolder(
        *m_services.directoryReader, folder, protectedFolders(),
        [&](std::string_view p) { return o.roots.contains(p) || producedBySource(p); }, o.protectedList,
        m_snapshot->deleteKind == BackupDeleteKind::Recycle, [this] { return Running(); });
    o.actions.insert(o.actions.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
}

bool TLocalBackup::filesAsListed(std::string_view sourceFolder, const EntryDigest &files) const
{
    if (m_obsolete == nullptr || !m_obsolete->listed || files.empty() ||
        m_snapshot->taskType != BackupTaskType::ExactCopy) {
        return false;
    }
    bool alone = false;
    const ObsoleteByFolder::Seen *seen = m_obsolete->seen(SourceToDestination(sourceFolder), alone);
    return seen != nullptr && alone && seen->files == files.value();
}

std::vector<bool> TLocalBackup::upToDateAsListed() const
{
    std::vector<bool> upToDate;
    if (m_obsolete == nullptr || !m_obsolete->listed || m_obsolete->digests.empty() ||
        m_snapshot->taskType != BackupTaskType::ExactCopy) {
        return upToDate;
    }
    upToDate.assign(m_sourceFiles.size(), false);
    // A scan lists each folder's files one after another: each such run against its destination.
    for (std::size_t i = 0; i < m_sourceFiles.size();) {
        if (m_sourceFiles.isFolder(i)) {
            ++i;
            continue;
        }
        const std::string_view folder = m_sourceFiles.folderOf(i);
        EntryDigest files;
        std::size_t end = i;
        for (; end < m_sourceFiles.size() && !m_sourceFiles.isFolder(end) && m_sourceFiles.folderOf(end) == folder;
             ++end) {
            const FileEntryInfo info = m_sourceFiles.info(end);
            files.addFile(m_sourceFiles.nameOf(end), info.size, info.mtimeNs, info.mode);
        }
        if (filesAsListed(folder, files)) {
            std::fill(upToDate.begin() + static_cast<std::ptrdiff_t>(i), upToDate.begin() + static_cast<std::ptrdiff_t>(end),
                      true);
        }
        i = end;
    }
    return upToDate;
}

void TLocalBackup::obsoleteAt(const std::string &path, bool isFolder)
{
    ObsoleteByFolder &o = *m_obsolete;
    const std::string_view body = isFolder ? std::string_view(path).substr(0, path.size() - 1) : std::string_view(path);
    const std::size_t cut = body.rfind('/');
    const std::string_view parent = body.substr(0, cut == std::string_view::npos ? 0 : cut + 1);
    const std::string_view name = body.substr(parent.size());
    while (!o.open.empty() && o.open.back().folder != parent) {
        obsoleteClose();
    }
    if (o.open.empty()) {
        o.open.push_back({std::string(parent), {}, true, {}});
    }
    o.open.back().digest.add(name, isFolder);
    if (m_sourceStreamed) {
        o.open.back().names.insert(std::string(name) + (isFolder ? "/" : ""));
    }
    if (isFolder) {
        o.open.push_back({path, {}, false, {}});
    }
}

void TLocalBackup::obsoleteProtect(const std::string &folder)
{
    if (!folder.empty()) {
        m_obsolete->protectedList.push_back(folder);
    }
}

// The pass has left the innermost open source folder: its destination folder is decided.
void TLocalBackup::obsoleteClose()
{
    ObsoleteByFolder &o = *m_obsolete;
    const ObsoleteByFolder::Open top = std::move(o.open.back());
    o.open.pop_back();
    const std::string folder = SourceToDestination(top.folder);
    if (folder.empty() || !Running()) {
        return;
    }
    o.closing = &top;
    decideObsoleteFolder(folder, &top.digest);
    o.closing = nullptr;
}

void TLocalBackup::obsoleteAfterPass()
{
    ObsoleteByFolder &o = *m_obsolete;
    const RunSnapshot &s = *m_snapshot;
    while (!o.open.empty()) {
        obsoleteClose();
    }
    if (!Running()) {
        return;
    }
    // The wanted folders no source entry stands for, and the top, as they are now.
    std::vector<std::string> tops = {s.destinationRoot};
    for (std::size_t i = 0; i < o.roots.size(); ++i) {
        tops.push_back(o.roots.path(i));
    }
    for (const std::string &folder : tops) {
        decideObsoleteFolder(folder, nullptr);
    }
    o.complete = Running();
}

} // namespace qv
