// TZipWriter: one run of Zip or DeleteEntries, the merge of old entries with new files, and the
// central directory.
#include "zip/ZipWriter.h"

#include "zip/ZipArchiveOutput.h"
#include "zip/ZipDeflatePool.h"
#include "zip/ZipEntryWriter.h"
#include "zip/ZipErrors.h"
#include "zip/ZipLib.h"
#include "zip/ZipMatch.h"

#include <cerrno>

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <unordered_map>

namespace qv {

namespace {

constexpr const char *kUserCanceledZip = "User canceled Zip operation";
constexpr size_t kCopyChunk = 64 * 1024;

// What the run does with one entry of the old archive.
enum class Plan { Keep, Replace, Delete };

} // namespace

TZipWriter::TZipWriter() = default;

TZipWriter::~TZipWriter() = default;

void TZipWriter::Assign(const TZipReader &other)
{
    TZipReader::Assign(other);
    const auto *w = dynamic_cast<const TZipWriter *>(&other);
    if (w == nullptr) {
        return;
    }
    PackLevel = w->PackLevel;
    Threads = w->Threads;
    OnWorkerThreadStart = w->OnWorkerThreadStart;
    Recurse = w->Recurse;
    Dispose = w->Dispose;
    StorePaths = w->StorePaths;
    RelativePaths = w->RelativePaths;
    StoreVolumes = w->StoreVolumes;
    ZipAction = w->ZipAction;
    SkipIfArchiveBitNotSet = w->SkipIfArchiveBitNotSet;
    ResetArchiveBitOnZip = w->ResetArchiveBitOnZip;
    ExcludeList = w->ExcludeList;
    NoCompressList = w->NoCompressList;
    AddDirEntriesOnRecurse = w->AddDirEntriesOnRecurse;
    KeepPrefix = w->KeepPrefix;
    Store83Names = w->Store83Names;
    MultiZipInfo.Assign(w->MultiZipInfo);
    OnZipComplete = w->OnZipComplete;
    OnStartZipInfo = w->OnStartZipInfo;
    OnStartZip = w->OnStartZip;
    OnDisposeFile = w->OnDisposeFile;
    OnEndZip = w->OnEndZip;
    OnDeleteEntry = w->OnDeleteEntry;
    OnNoSuchFile = w->OnNoSuchFile;
    OnUpdate = w->OnUpdate;
    ArchiveBitProbe = w->ArchiveBitProbe;
    ArchiveBitReset = w->ArchiveBitReset;
}

void TZipWriter::SetStorePaths(bool on)
{
    StorePaths = on;
    if (!on) {
        StoreVolumes = false;
        RelativePaths = false;
    }
}

void TZipWriter::SetStoreVolumes(bool on)
{
    StoreVolumes = on;
    if (on) {
        StorePaths = true;
    }
}

void TZipWriter::SetRelativePaths(bool on)
{
    RelativePaths = on;
    if (on) {
        StorePaths = true;
        Recurse = true;
    }
}

void TZipWriter::AddFile(const std::string &path, const std::string &storedName)
{
    PendingFile f;
    f.path = path;
    f.storedName = storedName;
    f.folder = !storedName.empty() && storedName.back() == '/';
    f.literal = true;
    m_pairs.push_back(std::move(f));
}

void TZipWriter::SelectEntry(const std::string &storedName) { m_selected.push_back(storedName); }

int TZipWriter::Zip()
{
    const int count = processFiles(false);
    if (OnZipComplete) {
        OnZipComplete(count);
    }
    return count;
}

int TZipWriter::DeleteEntries() { return processFiles(true); }

// At every buffer read or copied: lets the caller pump its events, then honours a cancel.
void TZipWriter::checkCancel() { CheckCancel(); }

// At every piece of output: only the cancel flag, which costs nothing.
void TZipWriter::pollCancel()
{
    if (m_cancel.exchange(false)) {
        throw EUserCanceled(ziptext::kUserAborted);
    }
}

void TZipWriter::skipped(TZipSkipReason reason, const std::string &fileName, int index, const std::string &why)
{
    if (OnSkippingFileDetail) {
        OnSkippingFileDetail(reason, fileName, why);
    }
    if (OnSkippingFile) {
        bool retry = false;
        OnSkippingFile(reason == zsrDuplicate ? srNoOverwrite : srFileOpenError, fileName, index, retry);
    }
}

ZipEntryOptions TZipWriter::entryOptions() const
{
    ZipEntryOptions o;
    o.packLevel = PackLevel;
    o.password = Password;
    o.noCompressList = NoCompressList;
    o.resetArchiveBit = ResetArchiveBitOnZip;
    o.onStartZip = OnStartZip;
    o.onEndZip = OnEndZip;
    o.onEncrypt = OnEncrypt;
    o.onFilePercentDone = OnFilePercentDone;
    o.onNoSuchFile = OnNoSuchFile;
    o.archiveBitProbe = ArchiveBitProbe;
    o.archiveBitReset = ArchiveBitReset;
    return o;
}

void TZipWriter::entryProgress(int64_t bytes)
{
    m_doneBytes += bytes;
    if (OnTotalPercentDone) {
        OnTotalPercentDone(percentOf(m_doneBytes, m_totalBytes));
    }
}

bool TZipWriter::isArchiveItself(dev_t dev, ino_t ino) const
{
    if (m_archiveExists && dev == m_archiveDev && ino == m_archiveIno) {
        return true;
    }
    return m_out != nullptr && dev == m_out->device() && ino == m_out->inode();
}

// Reads the directory of the archive through the reader; entries come in their physical order.
// Only a directory read as it stands is accepted: an archive that could only be pieced together
// from its local headers would lose whatever the scan missed, so it is never rewritten.
void TZipWriter::openOldArchive(std::vector<TZipHeaderInfo *> &oldEntries)
{
    OpenZip();
    if (Recovered()) {
        discardArchive();
        throw EBadZipFile(ziptext::kNotAZip);
    }
    ZipComment(); // loads the archive comment so that it carries over
    OpenZip();
    TS_BufferStream &in = ArchiveStream();
    TSortedZip &dir = Directory();
    oldEntries.clear();
    for (int i = 0; i < dir.Count(); ++i) {
        TZipHeaderInfo *e = dir.Get(i);
        if (e->HasComment() && !e->CommentLoaded() && e->CentralOffset != 0) {
            in.Seek(static_cast<int64_t>(e->CentralOffset + kCentralHeaderSize + e->FileNameLen + e->CentralExtraLen),
                    soBeginning);
            std::string text(e->FileCommentLen, '\0');
            text.resize(static_cast<size_t>(std::max<int64_t>(in.Read(text.data(), static_cast<int64_t>(text.size())), 0)));
            e->SetFileComment(text);
        }
        oldEntries.push_back(e);
    }
}

int TZipWriter::processFiles(bool deleteMode)
{
    m_cancel = false;
    if (m_zipName.empty()) {
        FilesList.clear();
        m_pairs.clear();
        return 0;
    }
    if (m_busy) {
        throw EZipError("The archive is busy with another operation");
    }
    // Restores the reader's state whatever happens, and empties the lists of this run.
    struct RunGuard {
        TZipWriter &w;
        bool keepOpen;
        ~RunGuard()
        {
            w.KeepZipOpen = keepOpen;
            w.CloseZip();
            w.m_busy = false;
            w.m_out = nullptr;
            w.FilesList.clear();
            w.m_pairs.clear();
            w.m_selected.clear();
            w.m_pending.clear();
        }
    } guard{*this, KeepZipOpen};
    m_busy = true;
    KeepZipOpen = true;

    // Write beside the real file when the archive name is a symbolic link, so the link stays.
    std::string target = m_zipName;
    if (char *real = ::realpath(m_zipName.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    return runUpdate(deleteMode, target);
}

int TZipWriter::runUpdate(bool deleteMode, const std::string &target)
{
    ZipArchiveOutput::removeLeftovers(target);
    struct stat st;
    m_archiveExists = ::stat(target.c_str(), &st) == 0;
    std::vector<TZipHeaderInfo *> oldEntries;
    if (m_archiveExists) {
        if (!S_ISREG(st.st_mode)) {
            throw EFOpenError(systemErrorText("Not an archive file", target, EISDIR));
        }
        m_archiveDev = st.st_dev;
        m_archiveIno = st.st_ino;
        openOldArchive(oldEntries);
    } else {
        discardArchive();
        if (deleteMode) {
            return 0;
        }
    }
    if (deleteMode) {
        // Selected entries, when there are any, are exactly the ones to go.
        bool anySelected = !m_selected.empty();
        for (const TZipHeaderInfo *e : oldEntries) {
            anySelected = anySelected || e->Selected;
        }
        if (anySelected) {
            FilesList.clear();
        }
    }

    ZipArchiveOutput out(target, MultiZipInfo.MultiMode == mmSpan ? spanTempFolder() : std::string());
    m_out = &out;
    if (!m_entryWriter) {
        m_entryWriter = std::make_unique<ZipEntryWriter>(static_cast<ZipEntryHost &>(*this));
    }
    m_entryWriter->setOptions(entryOptions());
    m_pending.clear();
    m_dispose.clear();
    m_newEntries.clear();
    m_newNames.clear();
    m_oldNames.clear();
    for (const TZipHeaderInfo *e : oldEntries) {
        m_oldNames.insert(e->FullName());
    }
    m_totalBytes = 0;
    m_doneBytes = 0;
    m_missingInputs = 0;
    if (!deleteMode) {
        expandFilesList();
    }
    m_newEnd = m_endCentral;
    bool changed = m_endCentral.Modified;

    if (KeepPrefix && m_archiveExists) {
        copyPrefix(ArchiveStream(), oldEntries);
    }
    int count = 0;
    if (!oldEntries.empty()) {
        count = mergeOldEntries(ArchiveStream(), oldEntries, deleteMode, changed);
    }
    if (!deleteMode) {
        const int added = addRemainingFiles();
        count += added;
        // A new archive is written even when empty, unless what was asked for is not there: then
        // the run leaves no archive behind that would look like a successful one.
        changed = changed || added > 0 || (!m_archiveExists && m_missingInputs == 0);
    }
    if (!changed) {
        // Nothing was added, replaced or deleted: the archive stays exactly as it is.
        return count;
    }
    writeCentralDirectory();
    if (MultiZipInfo.MultiMode == mmBlocks) {
        commitVolumes();
    } else if (MultiZipInfo.MultiMode == mmSpan) {
        commitSpan();
    } else {
        out.commit();
        removeStaleVolumes(out.archivePath(), 1);
    }
    m_out = nullptr;
    // The next question about the archive reads the new one.
    discardArchive();

    for (const std::string &path : m_dispose) {
        bool skip = false;
        if (OnDisposeFile) {
            OnDisposeFile(path, skip);
        }
        if (!skip) {
            ::unlink(path.c_str());
        }
    }
    if (OnTotalPercentDone) {
        OnTotalPercentDone(100);
    }
    return count;
}

bool TZipWriter::deleteWanted(const TZipHeaderInfo &entry)
{
    const std::string name = entry.FullName();
    bool wanted = entry.Selected || std::find(m_selected.begin(), m_selected.end(), name) != m_selected.end();
    for (auto it = FilesList.begin(); !wanted && it != FilesList.end(); ++it) {
        if (HasWildcards(*it)) {
            wanted = zipMaskMatches(*it, name);
        } else if (*it == name || (it->find('/') == std::string::npos && *it == entry.FileName())) {
            wanted = true;
            FilesList.erase(it);
            break;
        }
    }
    if (!wanted) {
        return false;
    }
    bool skip = false;
    if (OnDeleteEntry) {
        OnDeleteEntry(name, skip);
    }
    return !skip;
}

int TZipWriter::mergeOldEntries(TStream &old, const std::vector<TZipHeaderInfo *> &oldEntries, bool deleteMode,
                                bool &changed)
{
    // Decide first, so that a run that changes nothing never rewrites the archive.
    std::unordered_map<std::string, size_t> pendingByName;
    for (size_t i = 0; i < m_pending.size(); ++i) {
        pendingByName.emplace(m_pending[i].storedName, i);
    }
    std::vector<Plan> plan(oldEntries.size(), Plan::Keep);
    std::vector<size_t> source(oldEntries.size(), SIZE_MAX);
    std::vector<bool> consumed(m_pending.size(), false);
    for (size_t i = 0; i < oldEntries.size(); ++i) {
        const TZipHeaderInfo &entry = *oldEntries[i];
        if (deleteMode) {
            if (deleteWanted(entry)) {
                plan[i] = Plan::Delete;
                changed = true;
            }
            continue;
        }
        const auto hit = pendingByName.find(entry.FullName());
        if (hit == pendingByName.end() || consumed[hit->second]) {
            continue;
        }
        const PendingFile &file = m_pending[hit->second];
        consumed[hit->second] = true;
        bool replace = ZipAction == zaReplace || file.folder;
        if (!replace) {
            struct stat st;
            replace = ::stat(file.path.c_str(), &st) == 0 && ZipEntryWriter::changedSince(st, entry);
        }
        if (file.folder && ZipAction != zaReplace) {
            replace = false; // a folder entry carries nothing newer
        }
        if (replace) {
            plan[i] = Plan::Replace;
            source[i] = hit->second;
            changed = true;
        } else if (Dispose) {
            m_dispose.push_back(file.path);
        }
    }
    std::vector<PendingFile> replacing(m_pending.size());
    std::vector<PendingFile> remaining;
    for (size_t i = 0; i < m_pending.size(); ++i) {
        if (consumed[i]) {
            replacing[i] = std::move(m_pending[i]);
        } else {
            remaining.push_back(std::move(m_pending[i]));
        }
    }
    m_pending = std::move(remaining);
    if (!changed && m_pending.empty()) {
        return 0;
    }

    int count = 0;
    for (size_t i = 0; i < oldEntries.size(); ++i) {
        checkCancel();
        const TZipHeaderInfo &entry = *oldEntries[i];
        if (plan[i] == Plan::Delete) {
            ++count;
            continue;
        }
        if (plan[i] == Plan::Replace) {
            if (OnUpdate) {
                OnUpdate(uaReplacing, static_cast<int>(i));
            }
            const PendingFile &file = replacing[source[i]];
            TZipHeaderInfo added;
            if (m_entryWriter->addOneFile(file, added)) {
                m_newNames.insert(added.FullName());
                m_newEntries.push_back(std::move(added));
                if (Dispose) {
                    m_dispose.push_back(file.path);
                }
                ++count;
                continue;
            }
            // The new file could not be taken: the old entry stays, so nothing is lost.
        } else if (source[i] == SIZE_MAX && OnUpdate && !deleteMode &&
                   pendingByName.count(entry.FullName()) != 0) {
            OnUpdate(uaKeeping, static_cast<int>(i));
        }
        copyEntry(old, entry);
    }
    return count;
}

int TZipWriter::addRemainingFiles()
{
    if (m_pending.empty()) {
        return 0;
    }
    int64_t total = 0;
    for (const PendingFile &f : m_pending) {
        total += static_cast<int64_t>(f.size);
    }
    if (OnStartZipInfo) {
        bool stop = false;
        OnStartZipInfo(static_cast<int>(std::min<size_t>(m_pending.size(), INT_MAX)), total, m_newEnd, stop);
        if (stop) {
            throw EUserCanceled(kUserCanceledZip);
        }
    }
    // Files are deflated ahead on other threads where that helps; entries are still written here,
    // one after the other in list order.
    std::unique_ptr<ZipDeflatePool> pool;
    if (ZipDeflatePool::threadsFor(Threads) > 1 && m_pending.size() > 1) {
        std::vector<bool> wanted(m_pending.size(), false);
        for (size_t i = 0; i < m_pending.size(); ++i) {
            wanted[i] = m_entryWriter->deflatesInAdvance(m_pending[i]);
        }
        pool = std::make_unique<ZipDeflatePool>(m_pending, std::move(wanted), std::clamp(PackLevel, 1, 9), Threads,
                                                OnWorkerThreadStart);
    }
    m_deflatedAhead = 0;
    int count = 0;
    for (size_t i = 0; i < m_pending.size(); ++i) {
        const PendingFile &file = m_pending[i];
        checkCancel();
        TZipHeaderInfo added;
        const std::unique_ptr<ZipDeflatedFile> ready = pool ? pool->take(i) : nullptr;
        ZipEntryWriter::Ahead ahead;
        ahead.whole = ready.get();
        ahead.pool = pool && pool->piecesOf(i) > 0 ? pool.get() : nullptr;
        ahead.index = i;
        bool usedReady = false;
        if (m_entryWriter->addOneFile(file, added, ahead, &usedReady)) {
            m_deflatedAhead += usedReady ? 1 : 0;
            m_newNames.insert(added.FullName());
            m_newEntries.push_back(std::move(added));
            if (Dispose) {
                m_dispose.push_back(file.path);
            }
            ++count;
        }
    }
    return count;
}

// The bytes before the first local header (or, in an archive without entries, before its central
// directory) go first into the new archive.
void TZipWriter::copyPrefix(TStream &old, const std::vector<TZipHeaderInfo *> &oldEntries)
{
    uint64_t length = m_endCentral.CentralOffset;
    for (const TZipHeaderInfo *e : oldEntries) {
        length = std::min(length, e->RelativeOffset);
    }
    old.Seek(0, soBeginning);
    std::vector<uint8_t> buffer(kCopyChunk);
    while (length > 0) {
        const int64_t n = static_cast<int64_t>(std::min<uint64_t>(length, buffer.size()));
        if (old.Read(buffer.data(), n) != n) {
            throw EBadZipFile(ziptext::kNotAZip);
        }
        m_out->WriteBuffer(buffer.data(), n);
        length -= static_cast<uint64_t>(n);
        checkCancel();
    }
}

void TZipWriter::copyEntry(TStream &old, const TZipHeaderInfo &entry)
{
    uint8_t local[30];
    old.Seek(static_cast<int64_t>(entry.RelativeOffset), soBeginning);
    if (old.Read(local, sizeof local) != static_cast<int64_t>(sizeof local) || getLE32(local) != kLocalSignature) {
        throw EBadZipFile(ziptext::kNotAZip);
    }
    const uint64_t nameLen = getLE16(local + 26);
    const uint64_t extraLen = getLE16(local + 28);
    uint64_t length = sizeof local + nameLen + extraLen + entry.CompressedSize;
    if (entry.HasDescriptor()) {
        length += descriptorLength(old, entry, nameLen, extraLen);
    }
    TZipHeaderInfo kept = entry;
    kept.RelativeOffset = static_cast<uint64_t>(m_out->Position());
    old.Seek(static_cast<int64_t>(entry.RelativeOffset), soBeginning);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(length, kCopyChunk)));
    while (length > 0) {
        const int64_t n = static_cast<int64_t>(std::min<uint64_t>(length, buffer.size()));
        if (old.Read(buffer.data(), n) != n) {
            throw EBadZipFile(ziptext::kNotAZip);
        }
        m_out->WriteBuffer(buffer.data(), n);
        length -= static_cast<uint64_t>(n);
        checkCancel();
    }
    m_newNames.insert(kept.FullName());
    m_newEntries.push_back(std::move(kept));
}

// The data descriptor after an entry's data: optional signature, CRC, and two sizes of 4 bytes,
// or of 8 bytes when the entry is a Zip64 one. The form whose CRC and sizes agree with the
// central record wins; without agreement the format's own rule decides.
uint64_t TZipWriter::descriptorLength(TStream &old, const TZipHeaderInfo &entry, uint64_t nameLen,
                                      uint64_t extraLen)
{
    const uint64_t dataEnd = entry.RelativeOffset + 30 + nameLen + extraLen + entry.CompressedSize;
    std::vector<uint8_t> extra(static_cast<size_t>(extraLen));
    old.Seek(static_cast<int64_t>(entry.RelativeOffset + 30 + nameLen), soBeginning);
    old.Read(extra.data(), static_cast<int64_t>(extra.size()));
    bool zip64 = entry.CompressedSize >= 0xFFFFFFFFull || entry.UncompressedSize >= 0xFFFFFFFFull;
    for (size_t p = 0; p + 4 <= extra.size();) {
        const uint16_t tag = getLE16(extra.data() + p);
        const uint16_t len = getLE16(extra.data() + p + 2);
        zip64 = zip64 || tag == kZip64ExtraTag;
        p += 4 + len;
    }
    uint8_t d[24] = {};
    old.Seek(static_cast<int64_t>(dataEnd), soBeginning);
    const int64_t got = old.Read(d, sizeof d);
    const bool signature = got >= 4 && getLE32(d) == kDescriptorSignature;
    const uint8_t *body = d + (signature ? 4 : 0);
    const uint64_t base = signature ? 4 : 0;
    auto agrees = [&](bool wide) {
        const int64_t need = static_cast<int64_t>(base + (wide ? 20 : 12));
        if (got < need || getLE32(body) != entry.CRC32) {
            return false;
        }
        const uint64_t c = wide ? getLE64(body + 4) : getLE32(body + 4);
        const uint64_t u = wide ? getLE64(body + 12) : getLE32(body + 8);
        return c == entry.CompressedSize && u == entry.UncompressedSize;
    };
    if (agrees(zip64)) {
        return base + (zip64 ? 20 : 12);
    }
    if (agrees(!zip64)) {
        return base + (!zip64 ? 20 : 12);
    }
    return base + (zip64 ? 20 : 12);
}

void TZipWriter::writeCentralDirectory()
{
    TStream &out = *m_out;
    const int64_t start = out.Position();
    if (MultiZipInfo.MultiMode == mmSpan) {
        m_spanDataEnd = start; // the directory is written onto the disks with their offsets
        return;
    }
    if (MultiZipInfo.MultiMode == mmBlocks) {
        writeVolumeDirectory(start);
        return;
    }
    writePlainDirectory(out, start);
}

} // namespace qv
