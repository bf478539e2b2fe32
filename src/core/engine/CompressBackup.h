// TCompressBackup: the backup thread of a task that writes its sources into one zip archive.
//
// The scanned source list goes to the zip writer as (path, stored name) pairs: each file is
// stored relative to the source folder it was found in (or to "/" when the task keeps the
// structure from the root), so every folder of a multi-source task is matched against its own
// entries when the archive is updated. The writer builds the new archive beside the old one and
// renames it over it only when everything was written, so a failed or stopped run leaves the old
// archive byte-identical. Stop and pause reach the writer at every buffer it reads or writes.
//
// The removal of entries whose source files are gone is built in but switched off in the runs the
// program starts (the constructor's `removeEntries`): entries of removed files stay in the
// archive. When it is switched on, removed entries are first disposed of by the task's delete kind
// (extracted to the trash or to the deleted-files archive) and only then deleted from the
// archive, so no moment exists where an entry is gone from both.
#pragma once

#include "core/engine/LocalBackup.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qv {

class TZipWriter;

class TCompressBackup : public TLocalBackup
{
public:
    TCompressBackup(std::shared_ptr<const RunSnapshot> snapshot, BackupHost *host, bool removeEntries,
                    BackupServices services = {});
    ~TCompressBackup() override;

    // The archive comment: "Created with Quorvellant " and the project's address.
    static std::string archiveComment();

    // The folder a path is stored against: "/" with KeepStructureFromRoot, else the source folder
    // that holds it (trailing "/"); empty when no source holds it.
    std::string ArchiveRoot(const std::string &path) const;
    // The stored name of a listed path ("/"-separated, relative; folders end in "/").
    std::string storedNameOf(const std::string &path) const;

    std::string GetDeletedArchiveFileName(const std::string &path, const std::string &root) override;

protected:
    void Execute() override;

private:
    void setUpWriter();
    bool checkArchiveName();
    void queueFiles();
    bool zipFiles();
    bool zipCall(const std::function<void()> &call);
    void logSummary();

    // The removal step (CompressBackupRemove.cpp).
    void RemoveMissingEntries();
    std::vector<std::string> removedEntries();
    // True when an entry's stored name starts with `prefix`.
    bool archiveHolds(const std::string &prefix);
    void deleteEntries(const std::vector<std::string> &names);
    void disposeEntries(const std::vector<std::string> &names);
    std::vector<std::string> extractEntries(const std::vector<std::string> &names, const std::string &folder);

    bool m_removeEntries;
    std::unique_ptr<TZipWriter> m_zip;
    std::string m_archive;
    std::map<std::string, std::string> m_storedBy; // stored name -> the listed path that has it
    std::vector<std::string> m_listed;             // the listed paths, in list order
    std::string m_extractRoot; // removal: where removed entries were extracted (trailing "/")
};

} // namespace qv
