// TLocalBackup: the obsolete phase of an exact copy.
#include "core/LocalBackup.h"

#include "core/BackupMessages.h"
#include "core/ObsoletePlanner.h"

namespace qv {

void TLocalBackup::DeleteObsolete()
{
    const RunSnapshot &s = *m_snapshot;
    // A missing source (a disconnected drive) would make every backup file look obsolete.
    for (const RunSource &src : s.sources) {
        const PathStat st = src.folder.empty() ? PathStat{} : statPath(src.folder);
        if (src.folder.empty() || !st.isFolder || !m_mounts.missingMountFor(src.folder).empty()) {
            const std::string text = formatMessage(msg::DeleteObsoleteSourceError, {src.folder});
            Log(lkError, text);
            Alert(akWarning, "S", text);
            Terminate();
            return;
        }
    }
    if (m_diskSpanned) {
        Notify(lkWarning, akWarning, "CS", formatMessage(msg::DeleteObsoleteImpossible));
        return;
    }

    std::vector<std::string> protectedFolders;
    std::set<std::string> noDescend;
    auto protect = [&](const std::string &folder) {
        protectedFolders.push_back(folder);
        noDescend.insert(folder.back() == '/' ? folder : folder + "/");
    };
    if (s.versionsKeep && !s.versionsFolder.empty()) {
        protect(s.versionsFolder);
    }
    if (s.deleteKind == BackupDeleteKind::Archive && !s.archiveFolder.empty()) {
        protect(s.archiveFolder);
    }
    for (const RunSource &src : s.sources) {
        protect(src.folder);
    }
    const std::size_t unreadableSources = m_unreadableFolders.size();
    for (std::size_t i = 0; i < unreadableSources; ++i) {
        const std::string target = SourceToDestination(m_unreadableFolders[i]);
        if (!target.empty()) {
            protect(target);
        }
    }

    m_destinationFiles.clear();
    ReadDestinationFiles(false, true, noDescend);
    if (!Running()) {
        return;
    }
    for (std::size_t i = unreadableSources; i < m_unreadableFolders.size(); ++i) {
        protectedFolders.push_back(m_unreadableFolders[i]); // destination folders not listed
    }

    SetProgress(messageText(msg::ProgressSearchingObsolete), static_cast<std::int64_t>(m_destinationFiles.size()));
    TFilesList wanted;
    for (std::size_t i = 0; i < m_sourceFiles.size(); ++i) {
        wanted.FileAdd(SourceToDestination(m_sourceFiles.path(i)));
    }
    for (const RunSource &src : s.sources) {
        wanted.FileAdd(src.destination);
        if (s.keepStructureFromRoot && src.destination != s.destinationRoot) {
            for (std::string f = folderOf(src.destination); f.size() > s.destinationRoot.size(); f = folderOf(f)) {
                wanted.FileAdd(f);
            }
        }
    }
    const auto actions =
        planObsolete(m_destinationFiles, wanted, protectedFolders, s.deleteKind == BackupDeleteKind::Recycle);
    SetProgressPosition(static_cast<std::int64_t>(m_destinationFiles.size()));
    if (actions.empty()) {
        return;
    }
    SetProgress(messageText(msg::ProgressDeletingObsolete), static_cast<std::int64_t>(actions.size()));
    for (const ObsoleteAction &a : actions) {
        if (!Running()) {
            return;
        }
        if (a.isFolder) {
            if (!Notify(lkWarning, akWarning, "CS", formatMessage(msg::FolderDeleteObsolete, {withoutSlash(a.path)}))) {
                return;
            }
            DeleteFolderByKind(a.path);
        } else {
            if (!Notify(lkWarning, akWarning, "CS", formatMessage(msg::FileDeleteObsolete, {a.path}))) {
                return;
            }
            DeleteFileByKind(a.path);
        }
        AddProgress(1);
    }
}

} // namespace qv
