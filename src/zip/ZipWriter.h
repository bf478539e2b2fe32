// TZipWriter: adds files to a zip archive, updates, replaces or freshens its entries, and deletes
// entries.
//
// Every write produces a complete new archive in a temporary file beside the old one, which
// replaces the archive in one rename only when everything was written and synced; on any failure
// or cancellation the old archive stays byte-identical (see ZipArchiveOutput). Entries that are
// kept are copied as raw bytes, never recompressed. An archive whose central directory cannot be
// read as it stands is never rewritten.
//
// Files come in two ways. The backup passes (file path, stored name) pairs through AddFile; they
// are taken literally, never expanded as wildcards. FilesList holds items in the classic form
// (names relative to RootDir, wildcard masks with the "|" no-recursion and ">" recursion markers)
// for tools and explicit mask items; only these pass through ExcludeList and the folder search.
#pragma once

#include "zip/Deflate.h"
#include "zip/TEndCentral.h"
#include "zip/TZipReader.h"
#include "zip/ZipEntryHost.h"
#include "zip/ZipRecords.h"

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qv {

enum TZipAction { zaUpdate, zaReplace, zaFreshen };
enum TUpdateAction { uaReplacing, uaKeeping };

class ZipArchiveOutput;
class ZipEntryWriter;


class TZipWriter : public TZipReader, private ZipEntryHost
{
public:
    TZipWriter();
    ~TZipWriter() override;

    // Copies the reader's settings and every writing option and event.
    void Assign(const TZipReader &other) override;

    // --- writing options ---
    int PackLevel = 6; // 0 stores; 1-9 deflate; values outside 0-9 are clamped
    // Runs first on every thread started to deflate ahead, so that the caller can give those
    // threads the priority of its own (empty: they run as started).
    std::function<void()> OnWorkerThreadStart;
    bool Recurse = false;
    bool Dispose = false;
    bool StorePaths = false;
    bool RelativePaths = false;
    // Keeps the drive part of stored folders. Paths here have no drive part (the root "/" is never
    // stored), so the flag changes no name; it is kept because its setter also sets StorePaths.
    bool StoreVolumes = false;
    TZipAction ZipAction = zaUpdate;
    bool SkipIfArchiveBitNotSet = false;
    bool ResetArchiveBitOnZip = false;
    bool AddDirEntriesOnRecurse = false;
    std::vector<std::string> ExcludeList;
    std::vector<std::string> NoCompressList;
    // Keeps the bytes before the first entry of an existing archive (the program of a
    // self-extractor) in front of the new one; every offset then counts from the file's start.
    // Off: the new archive starts with its first entry.
    bool KeepPrefix = false;
    // Stores the short (8.3) forms of names and folders where the file system keeps them (vfat);
    // other names stay as written.
    bool Store83Names = false;
    // Volume settings; MultiZipInfo.MultiMode mmBlocks writes the archive as volumes beside each
    // other, mmSpan across removable disks (see ZipSpanOutput).
    TMultiZipInfo MultiZipInfo;
    // Where an archive spanning disks is built before it is copied onto them (when that folder
    // exists; else $TMPDIR or /tmp). Every other archive is built beside itself, so that it
    // replaces the old one in a single rename on the same file system.
    std::string TempPath;
    TMultiMode GetMultiMode() const override { return MultiZipInfo.MultiMode; }
    void SetMultiMode(TMultiMode mode) override;
    bool GetCheckDiskLabels() const override { return MultiZipInfo.CheckDiskLabels; }
    void SetCheckDiskLabels(bool on) override;

    void SetStorePaths(bool on);
    void SetStoreVolumes(bool on);
    void SetRelativePaths(bool on);

    // Adds one file (or, with a stored name ending in "/", one folder entry) under the given
    // stored name. Literal: the path is never expanded as a wildcard.
    void AddFile(const std::string &path, const std::string &storedName);
    // Selects an entry of the archive by its stored name for DeleteEntries.
    void SelectEntry(const std::string &storedName);

    // Runs the update; returns the number of files added or replaced.
    int Zip();
    // Entries of the last run whose data was deflated in advance on another thread.
    int EntriesDeflatedAhead() const { return m_deflatedAhead; }
    // Deletes the selected entries (Select), or, when none are selected, the entries matching
    // FilesList (names or masks); returns the number of entries deleted.
    int DeleteEntries();

    // --- events ---
    std::function<void(const std::string &fileName, TZipHeaderInfo &header, bool &skip)> OnStartZip;
    std::function<void(int numFiles, int64_t totalBytes, TEndCentral &end, bool &stopNow)> OnStartZipInfo;
    std::function<void(const std::string &fileName, uint64_t uncompressed, uint64_t compressed, uint64_t zipSize)>
        OnEndZip;
    std::function<void(const std::string &fileName, bool &skip)> OnDisposeFile;
    std::function<void(const std::string &storedName, bool &skip)> OnDeleteEntry;
    std::function<void(const std::string &fileName)> OnNoSuchFile;
    std::function<void(int fileCount)> OnZipComplete;
    std::function<void(TUpdateAction action, int fileIndex)> OnUpdate;
    std::function<void(const std::string &fileName)> OnRecursingFile;
    // Spanning disks: disk `diskNum` (counting from 1) is wanted in the drive of the archive; the
    // handler returns once it is in (or calls CancelTheOperation to stop). Without a handler the
    // archive must fit on the disk that is in.
    std::function<void(int diskNum)> OnPrepareNextDisk;
    // Spanning disks: the finished archive of `fileSize` bytes is about to be copied onto them.
    std::function<void(const std::string &fileName, int64_t fileSize)> OnStartSpanCopy;
    std::function<void(uint8_t *buffer, size_t length, const std::string &password)> OnEncrypt;
    // Raised with OnSkippingFile (whose reasons are the reader's): what exactly went wrong.
    std::function<void(TZipSkipReason reason, const std::string &fileName, const std::string &why)>
        OnSkippingFileDetail;

    // The archive attribute lives in the platform layer; the caller connects it here. Without a
    // probe every file counts as changed (attribute set); without a reset nothing is cleared.
    std::function<bool(const std::string &path)> ArchiveBitProbe;
    std::function<void(const std::string &path)> ArchiveBitReset;

    using PendingFile = ZipPendingFile;

private:
    // ZipEntryHost: what the entry writer asks of the run.
    ZipArchiveOutput &entryOutput() override { return *m_out; }
    bool hasEntry(const std::string &storedName) const override { return m_newNames.count(storedName) != 0; }
    bool isArchiveItself(dev_t dev, ino_t ino) const override;
    void entrySkipped(TZipSkipReason reason, const std::string &fileName, const std::string &why) override
    {
        skipped(reason, fileName, -1, why);
    }
    void entryProgress(int64_t bytes) override;
    void entryDropped(int64_t bytes) override { m_totalBytes -= bytes; }
    void checkCancel() override;
    void pollCancel() override;
    // An empty file is a new archive to write into, as Info-ZIP takes it.
    bool emptyFileIsArchive() const override { return true; }
    ZipEntryOptions entryOptions() const;


    int processFiles(bool deleteMode);
    int runUpdate(bool deleteMode, const std::string &target);
    void openOldArchive(std::vector<TZipHeaderInfo *> &oldEntries);
    void expandFilesList();
    void expandMask(const std::string &item);
    bool acceptFile(const std::string &path, bool literal, uint64_t &size);
    std::string storedNameFor(const std::string &path, bool folder) const;
    int mergeOldEntries(TStream &oldArchive, const std::vector<TZipHeaderInfo *> &oldEntries, bool deleteMode,
                        bool &changed);
    bool deleteWanted(const TZipHeaderInfo &entry);
    void copyEntry(TStream &oldArchive, const TZipHeaderInfo &entry);
    void copyPrefix(TStream &oldArchive, const std::vector<TZipHeaderInfo *> &oldEntries);
    uint64_t descriptorLength(TStream &oldArchive, const TZipHeaderInfo &entry, uint64_t nameLen, uint64_t extraLen);
    void addPending(const std::string &path, const std::string &storedName, bool folder, uint64_t size, bool literal);
    int addRemainingFiles();
    void writeCentralDirectory();
    void writeVolumeDirectory(int64_t start);
    void writePlainDirectory(TStream &out, int64_t start);
    void commitVolumes();
    std::string spanTempFolder() const;
    void commitSpan();
    void copyOntoDisks(class ZipSpanOutput &span, bool firstDiskAsked);
    std::vector<uint8_t> spanDirectory(const std::vector<int64_t> &diskStarts, std::vector<int64_t> &recordStarts,
                                       int64_t at) const;
    [[noreturn]] void keepSpanArchive(const std::exception &cause);
    static void removeStaleVolumes(const std::string &target, int fromDisk);
    void skipped(TZipSkipReason reason, const std::string &fileName, int index, const std::string &why);

    std::vector<PendingFile> m_pairs;       // added through AddFile, consumed by the next run
    std::vector<std::string> m_selected;    // selected stored names for DeleteEntries
    std::vector<PendingFile> m_pending;     // files of the current run, in list order
    std::vector<std::string> m_dispose;
    std::vector<TZipHeaderInfo> m_newEntries;
    std::set<std::string> m_newNames;       // stored names of m_newEntries
    std::set<std::string> m_oldNames;       // stored names of the old archive (freshen)
    TEndCentral m_newEnd;
    std::vector<int64_t> m_volumeStarts; // of the volumes of a blocked archive being written
    std::vector<uint8_t> m_volumeConfig; // its end record, for the configuration file
    int64_t m_spanDataEnd = 0;           // where the entries of an archive spanning disks end
    ZipArchiveOutput *m_out = nullptr;
    std::unique_ptr<ZipEntryWriter> m_entryWriter;
    dev_t m_archiveDev = 0;
    ino_t m_archiveIno = 0;
    bool m_archiveExists = false;
    int m_deflatedAhead = 0;
    int m_missingInputs = 0; // listed files or masks that found nothing
    int64_t m_totalBytes = 0;
    int64_t m_doneBytes = 0;
};

} // namespace qv
