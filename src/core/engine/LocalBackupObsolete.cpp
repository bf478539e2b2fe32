// TLocalBackup: the obsolete phase of an exact copy.
//
// No list of the destination is kept: it may hold millions of entries. A first look while the
// sources are read (on helper threads, names and kinds only) reports what a scan of it reports
// where a scan would (special files, unreadable folders) and counts its entries; the copy pass
// takes the destination files' stats a little ahead of its decisions (StatLookahead); and the
// obsolete phase walks the destination folder by folder after the copy. Entries the copy pass adds
// are all wanted and go only into wanted folders, so the walk after the copy finds the obsolete
// entries a list taken before it would have held.
#include "core/engine/LocalBackup.h"

#include "core/engine/BackupMessages.h"
#include "core/engine/ObsoletePlanner.h"

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
    if (!m_destinationExisted) {
        m_destinationScanned = true; // nothing there yet: nothing can be obsolete
        return;
    }
    m_destinationScan = std::thread([this] {
        ScanCallbacks callbacks;
        callbacks.skippedSpecial = [this](const std::string &path) {
            Log(kLogSkipped, formatMessage(msg::SpecialFileSkipped, {path}));
        };
        callbacks.unreadable = [this](const std::string &path, int error) {
            Log(kLogWarning, formatMessage(msg::FolderUnreadable, {path, errnoText(error)}));
        };
        FolderScanner scanner(*m_services.directoryReader, m_control, callbacks);
        ScanOptions options;
        options.applyFilters = false;
        options.includeSubfolders = true;
        options.countOnly = true;
        options.noDescend = protectedFolders();
        options.parallel = scanThreads();
        options.threadStart = threadStartHook();
        scanner.ReadFolder(m_snapshot->destinationRoot, m_destinationFiles, options, m_destinationTotals,
                           std::string());
        m_destinationUnreadable = scanner.unreadableFolders();
        m_destinationHeldFiles = m_destinationTotals.files > 0;
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

    std::vector<std::string> protectedList;
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

    const auto entries = static_cast<std::int64_t>(m_destinationTotals.files + m_destinationTotals.folders);
    SetProgress(messageText(msg::ProgressSearchingObsolete), entries);
    TFilesList roots; // each source's destination folder and, rebuilding full paths, the folders above it
    for (const RunSource &src : s.sources) {
        roots.FileAdd(src.destination);
        if (s.keepStructureFromRoot && src.destination != s.destinationRoot) {
            for (std::string f = folderOf(src.destination); f.size() > s.destinationRoot.size(); f = folderOf(f)) {
                roots.FileAdd(f);
            }
        }
    }
    // Nothing was there when the run began: nothing can be obsolete.
    const auto actions =
        m_destinationExisted
            ? planObsoleteWalk(
                  *m_services.directoryReader, s.destinationRoot, protectedFolders(),
                  [&](std::string_view p) { return roots.contains(p) || producedBySource(p); }, protectedList,
                  s.deleteKind == BackupDeleteKind::Recycle, [this] { return Running(); })
            : std::vector<ObsoleteAction>{};
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

} // namespace qv
