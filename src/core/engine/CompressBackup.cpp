// TCompressBackup: the writer's settings, its events, and the run that feeds it.
#include "core/engine/CompressBackup.h"

#include "core/engine/ArchiveLock.h"
#include "platform/FileOps.h"
#include "core/engine/CompressMessages.h"
#include "platform/FileAttributes.h"
#include "platform/Processors.h"
#include "zip/ZipWriter.h"

namespace qv {

namespace {

bool startsWith(const std::string &s, const std::string &prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

TCompressBackup::TCompressBackup(std::shared_ptr<const RunSnapshot> snapshot, BackupHost *host, bool removeEntries,
                                 BackupServices services)
    : TLocalBackup(std::move(snapshot), host, services), m_removeEntries(removeEntries),
      m_zip(std::make_unique<TZipWriter>()), m_archive(m_snapshot->compressFilePath)
{
}

TCompressBackup::~TCompressBackup() = default;

std::string TCompressBackup::archiveComment()
{
    std::string comment;
    comment.reserve(64);
    comment.append("Created with Quorvellant ").append(kProjectUrl);
    return comment;
}

std::string TCompressBackup::ArchiveRoot(const std::string &path) const
{
    if (m_snapshot->keepStructureFromRoot) {
        return "/";
    }
    for (const RunSource &src : m_snapshot->sources) {
        if (path.size() > src.folder.size() && startsWith(path, src.folder)) {
            return src.folder;
        }
    }
    return {};
}

std::string TCompressBackup::storedNameOf(const std::string &path) const
{
    const std::string root = ArchiveRoot(path);
    return root.empty() ? std::string() : path.substr(root.size());
}

// The deleted-files archive keeps an entry under the folder it had in the archive, as if the
// archive's folder held the file.
std::string TCompressBackup::GetDeletedArchiveFileName(const std::string &path, const std::string &root)
{
    if (!m_extractRoot.empty() && startsWith(path, m_extractRoot)) {
        return TLocalBackup::GetDeletedArchiveFileName(
            m_snapshot->destinationRoot + path.substr(m_extractRoot.size()), root);
    }
    return TLocalBackup::GetDeletedArchiveFileName(path, root);
}

void TCompressBackup::setUpWriter()
{
    const RunSnapshot &s = *m_snapshot;
    TZipWriter &z = *m_zip;
    z.DoProcessMessages = true;
    // A target without an end record is no archive of ours (multi-volume archives are never
    // written): say so instead of asking for the other volumes.
    z.IncompleteZipMode = izAssumeNotAZip;
    z.SetRelativePaths(true);
    z.SetStoreVolumes(false);
    z.PackLevel = s.compressLevel;
    z.Threads = usableCores();
    z.OnWorkerThreadStart = threadStartHook();
    z.Password = s.compressPassword;
    z.SetDestDir(withoutSlash(folderOf(m_archive)));
    z.SetZipName(m_archive);
    z.ZipAction = s.overwriteNeverDestination ? zaReplace : zaUpdate;
    z.AddDirEntriesOnRecurse = s.filters == nullptr || s.filters->includesEmptyFolders();
    z.ResetArchiveBitOnZip = s.clearSourceArchiveBit;
    z.ArchiveBitProbe = [](const std::string &path) {
        std::uint32_t attributes = 0;
        return !FileAttributes::read(path, attributes) || (attributes & faArchive) != 0;
    };
    z.ArchiveBitReset = [this](const std::string &path) {
        std::uint32_t attributes = 0;
        int error = 0;
        if (FileAttributes::read(path, attributes, &error) &&
            ((attributes & faArchive) == 0 || FileAttributes::write(path, attributes & ~faArchive, &error))) {
            return;
        }
        Log(kLogError, formatMessage(msg::CompressFileError, {path, errnoText(error)}));
    };

    z.OnProcessMessages = [this] {
        if (!Running()) {
            m_zip->CancelTheOperation();
        }
    };
    z.OnStartZipInfo = [this](int, std::int64_t, TEndCentral &end, bool &stop) {
        stop = Terminated();
        end.SetZipComment(archiveComment());
    };
    z.OnStartZip = [this](const std::string &file, TZipHeaderInfo &, bool &) {
        Log(kLogFile, formatMessage(msg::FileCompressing, {file}) + " (" + ArchiveRoot(file) + ")");
        if (!Running()) {
            m_zip->CancelTheOperation();
        }
    };
    z.OnBadCRC = [this](std::uint32_t, std::uint32_t, int index) {
        const std::string file =
            index >= 0 && static_cast<std::size_t>(index) < m_listed.size() ? m_listed[index] : std::string();
        NotDone();
        Log(kLogError, formatMessage(msg::FileCompressBadCrc, {file}));
        if (!Running()) {
            m_zip->CancelTheOperation();
        }
    };
    z.OnTotalPercentDone = [this](int percent) {
        SetProgressPosition(percent);
        if (!Running()) {
            m_zip->CancelTheOperation();
        }
    };
    // A listed file removed before the writer read it is not in the archive: an error, as a copy's
    // is for a file gone before it was copied.
    z.OnNoSuchFile = [this](const std::string &file) {
        NotDone();
        if (!Notify(kLogError, akError, "CS", formatMessage(msg::CompressFileGone, {file}))) {
            m_zip->CancelTheOperation();
        }
    };
    z.OnSkippingFileDetail = [this](TZipSkipReason reason, const std::string &file, const std::string &why) {
        if (reason == zsrIsArchive) {
            Log(kLogSkipped, formatMessage(msg::CompressSkipArchive, {file}));
            return;
        }
        std::string text;
        if (reason == zsrDuplicate) {
            const std::string stored = storedNameOf(file);
            const auto first = m_storedBy.find(stored);
            text = formatMessage(msg::CompressDuplicate,
                                 {first != m_storedBy.end() ? first->second : std::string(), file, stored});
        } else {
            text = formatMessage(msg::CompressFileError, {file, why});
        }
        NotDone(); // the file is not in the archive
        if (!Notify(kLogError, akError, "CS", text)) {
            m_zip->CancelTheOperation();
        }
    };
}

// An archive path that names no file, or a folder, ends the run before anything is written.
bool TCompressBackup::checkArchiveName()
{
    const PathStat st = statPath(m_archive);
    if (m_archive.empty() || m_archive.back() == '/' || m_archive[0] != '/' || (st.exists && st.isFolder)) {
        const std::string text = formatMessage(msg::CompressNoArchiveName, {m_archive});
        Log(kLogError, text);
        Alert(akError, "S", text);
        Terminate();
        return false;
    }
    if (!CreateFolder(folderOf(m_archive), std::string())) {
        return false;
    }
    // The archive is read and replaced where it stands: never through a link below the
    // destination (the destination folder itself may be one).
    std::string relative;
    if (relativeTo(m_snapshot->destinationRoot, m_archive, relative) && !relative.empty() &&
        statEntry(m_archive).isSymlink) {
        const std::string text = formatMessage(msg::LinkNotWrittenThrough, {m_archive});
        Log(kLogError, text);
        Alert(akError, "S", text);
        Terminate();
        return false;
    }
    return true;
}

void TCompressBackup::queueFiles()
{
    const bool folders = m_zip->AddDirEntriesOnRecurse;
    m_storedBy.clear();
    m_listed.clear();
    for (std::size_t i = 0; i < m_sourceFiles.size(); ++i) {
        const std::string path(m_sourceFiles.path(i));
        const std::string stored = storedNameOf(path);
        if (stored.empty()) {
            continue;
        }
        m_storedBy.emplace(stored, path);
        if (m_sourceFiles.isFolder(i) && !folders) {
            continue;
        }
        m_listed.push_back(path);
        m_zip->AddFile(path, stored);
    }
}

bool TCompressBackup::zipFiles()
{
    return zipCall([this] {
        if (statPath(m_archive).exists) {
            m_zip->SetZipComment(archiveComment()); // an archive made elsewhere gets it too
        }
        m_zip->Zip();
    });
}

// Runs one operation of the writer. A cancellation that a stop asked for ends the run as aborted
// without an error line; any other failure of the writer ends it with its text and the archive.
bool TCompressBackup::zipCall(const std::function<void()> &call)
{
    try {
        call();
    } catch (const EUserCanceled &e) {
        if (Terminated()) {
            return false;
        }
        throw BackupAbort(std::string(e.what()) + " (" + m_archive + ")");
    } catch (const EZipError &e) {
        throw BackupAbort(std::string(e.what()) + " (" + m_archive + ")");
    }
    return Running();
}

void TCompressBackup::logSummary()
{
    const PathStat st = statPath(m_archive);
    Log(kLogInformation,
        formatMessage(msg::CompressTotals,
                      {m_archive, st.exists ? st.size : std::int64_t(0), m_sourceTotals.folders,
                       m_sourceTotals.files, m_sourceTotals.bytes, errorCount(), warningCount()}));
}

void TCompressBackup::Execute()
{
    BeforeBackup();
    ReadSourceFiles();
    if (!Running() || !checkArchiveName() || !Running()) {
        return;
    }
    SetProgress(messageText(msg::ProgressCompressing), 100);
    ArchiveLock lock;
    const bool locked = lock.acquire(m_archive, m_control, [this] {
        Log(kLogInformation, formatMessage(msg::CompressArchiveWaiting, {m_archive}));
    });
    if (!locked) {
        return;
    }
    setUpWriter();
    queueFiles();
    m_wroteDestination = true;
    if (!zipFiles()) {
        return;
    }
    // The entries of a drive below a source that is not connected stay; its mount points are
    // remembered whether or not this run removes entries.
    checkSourceDrives(
        m_services.mounts(), m_archive,
        [this](const std::string &folder) { return archiveHolds(storedNameOf(folder)); }, m_removeEntries);
    if (m_removeEntries) {
        RemoveMissingEntries();
        if (!Running()) {
            return;
        }
    }
    lock.release();
    AfterBackup();
    logSummary();
}

} // namespace qv
