// The unzip component: opens an archive, reads its directory, answers questions about entries
// and extracts them. It is also the base of the zip writer, which shares the archive name, the
// directory, the password and the open/read/close cycle.
//
// The library shows no dialogs and pumps no messages: questions and progress go through the
// event callbacks below, and a long operation calls OnProcessMessages at every buffer (while
// DoProcessMessages is set), where a backup thread can honour its pause gate. CancelTheOperation
// may be called from any thread; the next buffer answers it with EUserCanceled.
#pragma once

#include "zip/TEndCentral.h"
#include "zip/TMultiZipInfo.h"
#include "zip/ZipFileSystem.h"
#include "zip/TSortedZip.h"
#include "zip/ZipBufferStream.h"
#include "zip/ZipErrors.h"
#include "zip/ZipMemoryTarget.h"
#include "zip/ZipRecords.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qv {

enum class TUZOverwriteMode : int { Prompt = 0, Always, Never, ifNewer, ifOlder };
enum TIncompleteZipMode : int { izAssumeMulti = 0, izAssumeBad, izAssumeNotAZip };
enum TSkipReason : int { srBadPassword = 0, srNoOverwrite, srFileOpenError, srCreateError };

class TZipReader
{
public:
    TZipReader();
    virtual ~TZipReader();
    TZipReader(const TZipReader &) = delete;
    TZipReader &operator=(const TZipReader &) = delete;

    // Copies the settings and event handlers (but OnDecrypt) of another reader.
    virtual void Assign(const TZipReader &other);

    static constexpr int kThisVersion = 223;
    int ThisVersion() const { return kThisVersion; }

    // --- properties --------------------------------------------------------------------------
    const std::string &ZipName() const { return m_zipName; }
    // A name ending in "?" asks OnChooseZipName, or raises EUserCanceled when none is set. Names
    // compare case-sensitively: a.zip and A.zip are two archives.
    virtual void SetZipName(const std::string &name);
    // Reads the archive from a stream of the caller's (not owned) instead of a named file.
    void SetZipStream(TStream *stream);
    const std::string &DestDir() const { return m_destDir; }
    // "?" asks OnChooseDestDir, or raises EUserCanceled; a trailing "/" is removed.
    void SetDestDir(const std::string &dir);
    const std::string &RootDir() const { return m_rootDir; }
    void SetRootDir(const std::string &dir);
    TZipSortMode SortMode() const { return m_sortMode; }
    void SetSortMode(TZipSortMode mode);

    bool RecreateDirs = false;
    TUZOverwriteMode OverwriteMode = TUZOverwriteMode::Prompt;
    std::vector<std::string> FilesList;
    bool DoAll = false;
    TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
    bool KeepZipOpen = false;
    bool DoProcessMessages = true;
    bool RetainAttributes = true;
    bool ReplaceReadOnly = false;
    bool FlushFilesOnClose = false;
    bool OEMConvert = true;
    // Threads that work at once, this one included (1: this one alone); the caller passes the
    // processors it may use. Extraction and testing decode several entries at once, the writer
    // deflates several files (or pieces of one) at once. The files written, and an archive's
    // bytes, are the same for any number.
    int Threads = 1;
    std::string Password;

    // --- events ------------------------------------------------------------------------------
    std::function<void(int numFiles, std::int64_t totalBytes, bool &stopNow)> OnStartUnZipInfo;
    std::function<void(int percent)> OnFilePercentDone;
    std::function<void(int percent)> OnTotalPercentDone;
    std::function<void(int fileIndex, std::string &fileName, bool &skip)> OnStartUnZip;
    std::function<void(int fileIndex, const std::string &fileName)> OnEndUnZip;
    std::function<void(bool &overwriteIt, int fileIndex, std::string &fileName)> OnPromptForOverwrite;
    std::function<void(TSkipReason reason, const std::string &fileName, int fileIndex, bool &retry)>
        OnSkippingFile;
    std::function<void(int fileIndex, std::string &newPassword)> OnBadPassword;
    std::function<void(std::uint32_t calcCrc, std::uint32_t storedCrc, int fileIndex)> OnBadCRC;
    std::function<void(TIncompleteZipMode &mode)> OnInCompleteZip;
    std::function<void(int fileCount)> OnUnZipComplete;
    // The file of another volume is needed (nextDisk counts from 1); the default names the
    // blocked volume beside the archive, or, for a set spanning removable disks, asks for the
    // disk through OnDiskPrompt and takes the archive's own name on it. An emptied name refuses
    // the volume.
    std::function<void(int nextDisk, std::string &fileName)> OnGetNextDisk;
    // The message box of the default OnGetNextDisk for disks ("Please insert disk 2 of the
    // multi-disk set."): true for OK once the disk is in, false for Cancel. Without it no disk
    // can be changed and the read is canceled.
    std::function<bool(const std::string &text)> OnDiskPrompt;
    std::function<void(std::uint8_t *buffer, std::size_t length, const std::string &password)> OnDecrypt;
    // A memory target is full and bytes remain (UnZipToBuffer).
    GetNextBufferHandler OnGetNextBuffer;
    // Failures that the library reports without ending the run ("Unknown Compression Method",
    // "*** inflate out of memory ***", a damaged entry).
    std::function<void(int fileIndex, const std::string &text)> OnError;
    // Choosers for the "?" names: return false to cancel.
    std::function<bool(std::string &name)> OnChooseZipName;
    std::function<bool(std::string &dir)> OnChooseDestDir;
    // Called at every buffer while DoProcessMessages is set.
    std::function<void()> OnProcessMessages;

    // The file-system layer (removable media, labels, short names); the Linux one by default.
    void SetFileSystem(ZipFileSystem &fs) { m_fs = &fs; }
    ZipFileSystem &FileSystem() const { return *m_fs; }

    // --- entries -----------------------------------------------------------------------------
    int Count();
    std::string Filename(int i);
    std::string FullName(int i);
    double DateTime(int i); // day count
    std::string FileComment(int i);
    void SetFileComment(int i, const std::string &comment);
    std::string ZipComment();
    void SetZipComment(const std::string &comment);
    // The volume mode of the archive read (the writer: of the archive it writes).
    virtual TMultiMode GetMultiMode() const { return m_multiMode; }
    virtual void SetMultiMode(TMultiMode mode) { m_multiMode = mode; }
    TMultiMode MultiMode() const { return GetMultiMode(); }
    virtual bool GetCheckDiskLabels() const { return m_checkDiskLabels; }
    virtual void SetCheckDiskLabels(bool on) { m_checkDiskLabels = on; }
    bool CheckDiskLabels() const { return GetCheckDiskLabels(); }
    // The entry record of the sorted view.
    const TZipHeaderInfo &Entry(int i);
    // Marks an entry of the sorted view for the next UnZip (consumed by it).
    void Select(int i, bool selected = true);

    // --- operations --------------------------------------------------------------------------
    // Extracts the chosen entries below DestDir; returns the number extracted.
    int UnZip();
    // Extracts the first entry whose name matches `name` into `stream`; true when its CRC matched.
    bool UnZipToStream(TStream &stream, const std::string &name);
    // Extracts the first entry matching `name` into `buffer` (sized to the entry).
    bool UnZipToMemory(std::vector<std::uint8_t> &buffer, const std::string &name);
    // Extracts the first entry matching `name` into the caller's buffer of `size` bytes; when it
    // is full, OnGetNextBuffer gives the next one. `used` receives the bytes in the last buffer.
    // True when the entry's CRC matched.
    bool UnZipToBuffer(std::uint8_t *buffer, std::size_t size, const std::string &name, std::size_t &used);
    // Decodes the chosen entries without writing them; returns the number whose CRC matched.
    int TestZip();
    void CancelTheOperation() { m_cancel.store(true); }
    bool Busy() const { return m_busy; }
    void ClearZip();

    void OpenZip();
    void CloseZip();
    void ReadZip();

    // For the extraction engine and the writer.
    TS_BufferStream &ArchiveStream();
    TSortedZip &Directory() { return *m_directory; }
    TEndCentral &EndCentral() { return m_endCentral; }
    // Raises EUserCanceled "User Aborted Operation" when a cancel was requested (and clears it);
    // pumps OnProcessMessages first.
    void CheckCancel();
    // True while a cancel is requested; asks without clearing it or pumping anything, so other
    // threads may ask.
    bool CancelRequested() const { return m_cancel.load(); }
    // The descriptor of the archive when it is one plain file (not volumes, not a caller's
    // stream), else -1; opens the archive first.
    int PlainArchiveHandle();
    bool HasDirectory() const { return m_directory != nullptr; }
    // Rebuilt from local headers because the central directory was damaged.
    bool Recovered() const { return m_recovered; }

protected:
    static constexpr int kArchiveBuffer = 8192; // the archive stream's buffer
    void checkIndex(int i);
    void discardArchive();
    void buildView();
    bool archiveChanged() const;
    void recordArchiveStamp();
    bool isSpanDisk();
    bool endRecordValid(std::int64_t fileSize) const;
    void readCentralDirectory();
    void refuseOverlappingEntries();
    // Whether a file of no bytes reads as an archive without entries (the writer's view of it);
    // to a reader it is no archive at all.
    virtual bool emptyFileIsArchive() const { return false; }
    bool recoverFromLocalHeaders();
    void mergeCentralIntoRecovered(TMemoryStream &cd);
    bool readBlockedEnd();
    void readBlockedDirectory();
    void openVolumes();
    void readSpannedSet();
    void removeSpool();
    void askForSpanDisk(int disk, std::string &name);
    bool labelFits(const std::string &name, int disk);

    std::string m_zipName;
    std::string m_destDir;
    std::string m_rootDir;
    TZipSortMode m_sortMode = ByNone;
    std::unique_ptr<TS_BufferStream> m_stream;
    std::unique_ptr<TFileStream> m_file;
    TStream *m_external = nullptr;
    std::unique_ptr<TSortedZip> m_directory;
    std::unique_ptr<TSortedZip> m_view; // none when the view is the directory
    TEndCentral m_endCentral;
    TMultiMode m_multiMode = mmNone;
    bool m_checkDiskLabels = true;
    ZipFileSystem *m_fs = &ZipFileSystem::System();
    std::unique_ptr<TStream> m_volumes;    // the volume set of a blocked archive
    std::vector<std::string> m_volumeNames; // its files, the first being ZipName
    std::vector<std::string> m_spoolFiles;  // copies of the disks of a spanned set, removed with it
    std::atomic<bool> m_cancel{false};
    bool m_busy = false;
    bool m_recovered = false;
    struct Stamp
    {
        dev_t dev = 0;
        ino_t ino = 0;
        std::int64_t size = -1;
        std::int64_t mtimeNs = 0;
    } m_stamp;
    static bool stampOf(const std::string &path, Stamp &stamp);
    std::string nextSpanDisk(int disk, std::vector<Stamp> &seen);

private:
    int runOperation(const std::function<int()> &body, bool wholeRun);
    TSortedZip &view() { return m_view ? *m_view : *m_directory; }
};

} // namespace qv
