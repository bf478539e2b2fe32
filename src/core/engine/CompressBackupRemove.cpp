// TCompressBackup: removal of the archive entries whose source files are gone.
//
// The entries go by the task's delete kind. Plain deletion removes them from the archive. For the
// trash and the deleted-files archive they are first extracted (each checked against its CRC)
// into a work folder beside the archive, then disposed of, and only the entries that arrived where
// they belong are deleted from the archive: an entry that could not be extracted or disposed of
// stays in the archive, so nothing is lost when a step fails. The work folder lies beside the
// archive rather than in the temporary folder: on the archive's file system, moving the entries to
// its trash or to the deleted-files archive renames them, and a large entry never fills a /tmp
// held in memory.
#include "core/engine/CompressBackup.h"

#include "platform/FileOps.h"
#include "core/engine/CompressMessages.h"
#include "core/util/Utils.h"
#include "zip/ZipWriter.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <unordered_set>

namespace qv {

std::vector<std::string> TCompressBackup::removedEntries()
{
    std::vector<std::string> removed;
    if (!statPath(m_archive).exists) {
        return removed;
    }
    std::unordered_set<std::string> wanted;
    for (const auto &[stored, path] : m_storedBy) {
        wanted.insert(stored);
    }
    std::vector<std::string> kept; // the stored places of drives that are not connected
    for (const std::string &folder : m_disconnected) {
        kept.push_back(storedNameOf(folder));
    }
    zipCall([&] {
        const int count = m_zip->Count();
        for (int i = 0; i < count; ++i) {
            const std::string name = m_zip->FullName(i);
            const bool onDrive = std::any_of(kept.begin(), kept.end(),
                                             [&name](const std::string &p) { return name.starts_with(p); });
            if (wanted.erase(name) == 0 && !onDrive) {
                removed.push_back(name);
            }
        }
    });
    return removed;
}

bool TCompressBackup::archiveHolds(const std::string &prefix)
{
    bool holds = false;
    if (statPath(m_archive).exists) {
        zipCall([&] {
            const int count = m_zip->Count();
            for (int i = 0; i < count && !holds; ++i) {
                holds = m_zip->FullName(i).starts_with(prefix);
            }
        });
    }
    return holds;
}

void TCompressBackup::deleteEntries(const std::vector<std::string> &names)
{
    if (names.empty()) {
        return;
    }
    for (const std::string &name : names) {
        m_zip->SelectEntry(name);
    }
    zipCall([this] { m_zip->DeleteEntries(); });
}

std::vector<std::string> TCompressBackup::extractEntries(const std::vector<std::string> &names,
                                                         const std::string &folder)
{
    std::unordered_set<std::string> wanted(names.begin(), names.end());
    std::vector<std::string> extracted;
    const bool ran = zipCall([&] {
        m_zip->SetDestDir(withoutSlash(folder));
        m_zip->RecreateDirs = true;
        m_zip->OverwriteMode = TUZOverwriteMode::Always;
        const int count = m_zip->Count();
        for (int i = 0; i < count; ++i) {
            if (wanted.count(m_zip->FullName(i)) != 0) {
                m_zip->Select(i);
            }
        }
        m_zip->UnZip();
    });
    if (!ran) {
        return extracted;
    }
    for (const std::string &name : names) {
        const PathStat st = statPath(folder + name);
        const bool folderEntry = name.back() == '/';
        if (folderEntry || (st.exists && st.isRegular)) {
            extracted.push_back(name);
        } else {
            NotDone(); // the entry stays in the archive
            Log(kLogError, formatMessage(msg::CompressExtractError, {name}));
        }
    }
    return extracted;
}

void TCompressBackup::disposeEntries(const std::vector<std::string> &names)
{
    const bool recycle = m_snapshot->deleteKind == BackupDeleteKind::Recycle;
    const std::string archiveName = nameOf(m_archive);
    std::string work;
    try {
        work = withoutSlash(GetTempWorkFolder(folderOf(m_archive)));
    } catch (const std::runtime_error &e) {
        throw BackupAbort(e.what());
    }
    m_extractRoot = work + "/" + archiveName + " (removed entries)/";
    for (const std::string &name : names) {
        Log(kLogWarning, formatMessage(recycle ? msg::ZipDeletingToRecycle : msg::ZipDeletingToArchive,
                                       {archiveName, name}));
    }
    const std::vector<std::string> extracted = extractEntries(names, m_extractRoot);
    std::vector<std::string> disposed;
    if (Running() && !extracted.empty()) {
        if (recycle) {
            std::string error;
            // The work folder goes away: the trash records the entries as a folder beside the
            // archive, named after it, where a restore can put them back.
            const std::string beside =
                withoutSlash(folderOf(m_archive)) + "/" + archiveName + " (removed entries)";
            if (m_services.moveToTrash(-1, withoutSlash(m_extractRoot), beside, error)) {
                disposed = extracted;
            } else {
                NotDone();
                Log(kLogError, formatMessage(msg::ZipRecycleFolderError, {withoutSlash(m_extractRoot)}));
            }
        } else {
            for (const std::string &name : extracted) {
                if (name.back() == '/' || DeleteFileByKind(m_extractRoot + name)) {
                    disposed.push_back(name);
                }
                if (!Running()) {
                    break;
                }
            }
        }
    }
    if (Running()) {
        deleteEntries(disposed);
    }
    // Whatever is left in the work folder is still in the archive.
    std::error_code error;
    std::filesystem::remove_all(work, error);
    if (error) {
        Log(kLogError, formatMessage(msg::ZipTempFolderError, {work}));
    }
    m_extractRoot.clear();
}

void TCompressBackup::RemoveMissingEntries()
{
    const std::vector<std::string> removed = removedEntries();
    if (removed.empty() || !Running()) {
        return;
    }
    if (m_snapshot->deleteKind == BackupDeleteKind::Normal) {
        for (const std::string &name : removed) {
            Log(kLogWarning, formatMessage(msg::ZipDeleting, {name}));
        }
        deleteEntries(removed);
        return;
    }
    disposeEntries(removed);
}

} // namespace qv
