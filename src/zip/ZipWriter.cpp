// TZipWriter: one run of Zip or DeleteEntries, the merge of old entries with new files, and the
// central directory.
#include "zip/ZipWriter.h"

#include "zip/ZipArchiveOutput.h"
#include "zip/ZipEntryWriter.h"
#include "zip/ZipErrors.h"
#include "zip/ZipLib.h"

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

void TZipWriter::SetZipComment(const std::string &comment)
{
    m_comment = comment;
    m_commentSet = true;
}

const std::vector<TZipHeaderInfo> &TZipWriter::Entries()
{
    if (!m_entriesLoaded) {
        m_entries.clear();
        struct stat st;
        if (::stat(ZipName.c_str(), &st) == 0) {
            TFileStream in(ZipName, fmOpenRead | fmShareDenyNone);
            readOldDirectory(in, m_entries, m_end);
        }
        m_entriesLoaded = true;
    }
    return m_entries;
}

int TZipWriter::Zip()
{
    const int count = processFiles(false);
    if (OnZipComplete) {
        OnZipComplete(count);
    }
    return count;
}

int TZipWriter::DeleteEntries() { return processFiles(true); }

void TZipWriter::checkCancel()
{
    if (m_cancel.exchange(false)) {
        throw EUserCanceled(ziptext::kUserAborted);
    }
}

void TZipWriter::skipped(TZipSkipReason reason, const std::string &fileName, int index, const std::string &why)
{
    if (OnSkippingFile) {
        OnSkippingFile(reason, fileName, index, why);
    }
}

bool TZipWriter::isArchiveItself(dev_t dev, ino_t ino) const
{
    if (m_archiveExists && dev == m_archiveDev && ino == m_archiveIno) {
        return true;
    }
    return m_out != nullptr && dev == m_out->device() && ino == m_out->inode();
}

void TZipWriter::readOldDirectory(TStream &in, std::vector<TZipHeaderInfo> &entries, TEndCentral &end)
{
    entries.clear();
    if (!end.ReadFromStream(in)) {
        throw ENotAZipFile(ziptext::kNotAZip);
    }
    if (in.Size() == 0) {
        return;
    }
    if (end.ThisDiskNumber != 0 || end.CentralDiskNumber != 0) {
        throw EIncompleteZip(ziptext::kIncompleteZip);
    }
    // The directory must be whole and where the end record says; an archive that could only be
    // read by scanning its local headers is not rewritten.
    if (end.CentralOffset > end.RecordOffset || end.CentralSize > end.RecordOffset - end.CentralOffset ||
        end.CentralSize > static_cast<uint64_t>(INT64_MAX)) {
        throw EBadZipFile(ziptext::kNotAZip);
    }
    if (end.HasComment() && !end.CommentLoaded()) {
        std::string comment(end.ZipCommentLen, '\0');
        in.Seek(static_cast<int64_t>(end.ZipCommentPos), soBeginning);
        const int64_t got = in.Read(comment.data(), static_cast<int64_t>(comment.size()));
        comment.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
        end.LoadZipComment(comment);
    }
    std::vector<uint8_t> directory(static_cast<size_t>(end.CentralSize));
    in.Seek(static_cast<int64_t>(end.CentralOffset), soBeginning);
    if (in.Read(directory.data(), static_cast<int64_t>(directory.size())) != static_cast<int64_t>(directory.size())) {
        throw EBadZipFile(ziptext::kNotAZip);
    }
    TMemoryStream memory(std::move(directory));
    TStream *stream = &memory;
    entries.reserve(static_cast<size_t>(std::min<uint64_t>(end.TotalEntries, 1u << 20)));
    for (uint64_t i = 0; i < end.TotalEntries; ++i) {
        TZipHeaderInfo entry;
        if (!entry.ReadCentralFromStream(stream)) {
            throw EBadZipFile(ziptext::kNotAZip);
        }
        if (entry.FileCommentLen > 0) {
            std::string comment(entry.FileCommentLen, '\0');
            if (memory.Read(comment.data(), static_cast<int64_t>(comment.size())) !=
                static_cast<int64_t>(comment.size())) {
                throw EBadZipFile(ziptext::kNotAZip);
            }
            entry.SetFileComment(comment);
        }
        entry.CentralOffset += end.CentralOffset;
        entries.push_back(std::move(entry));
    }
    if (memory.Position() != memory.Size()) {
        throw EBadZipFile(ziptext::kNotAZip);
    }
}

int TZipWriter::processFiles(bool deleteMode)
{
    m_cancel = false;
    struct Cleanup {
        TZipWriter &w;
        ~Cleanup()
        {
            w.m_busy = false;
            w.m_out = nullptr;
            w.FilesList.clear();
            w.m_pairs.clear();
            w.m_selected.clear();
            w.m_pending.clear();
        }
    };
    if (m_busy) {
        throw EZipError("The archive is busy with another operation");
    }
    if (ZipName.empty()) {
        Cleanup cleanup{*this};
        return 0;
    }
    const bool nothingListed = FilesList.empty() && m_pairs.empty() && (!deleteMode || m_selected.empty());
    if (nothingListed && (deleteMode || !m_commentSet)) {
        Cleanup cleanup{*this};
        return 0;
    }
    m_busy = true;
    Cleanup cleanup{*this};

    // Write beside the real file when the archive name is a symbolic link, so the link stays.
    std::string target = ZipName;
    if (char *real = ::realpath(ZipName.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    ZipArchiveOutput::removeLeftovers(target);
    struct stat st;
    m_archiveExists = ::stat(target.c_str(), &st) == 0;
    std::unique_ptr<TFileStream> old;
    std::vector<TZipHeaderInfo> oldEntries;
    TEndCentral oldEnd;
    if (m_archiveExists) {
        if (!S_ISREG(st.st_mode)) {
            throw EFOpenError(systemErrorText("Not an archive file", target, EISDIR));
        }
        m_archiveDev = st.st_dev;
        m_archiveIno = st.st_ino;
        old = std::make_unique<TFileStream>(target, fmOpenRead | fmShareDenyNone);
        readOldDirectory(*old, oldEntries, oldEnd);
    } else if (deleteMode) {
        return 0;
    }

    ZipArchiveOutput out(target);
    m_out = &out;
    if (!m_entryWriter) {
        m_entryWriter = std::make_unique<ZipEntryWriter>(*this);
    }
    m_pending.clear();
    m_dispose.clear();
    m_newEntries.clear();
    m_newNames.clear();
    m_totalBytes = 0;
    m_doneBytes = 0;
    if (!deleteMode) {
        expandFilesList(oldEntries);
    }
    m_end = oldEnd;
    if (m_commentSet) {
        m_end.SetZipComment(m_comment);
    }

    int count = 0;
    bool changed = m_commentSet;
    if (old) {
        count = mergeOldEntries(*old, oldEntries, deleteMode, changed);
    }
    if (!deleteMode) {
        const int added = addRemainingFiles();
        count += added;
        changed = changed || added > 0 || !m_archiveExists;
    }
    if (!changed) {
        // Nothing was added, replaced or deleted: the archive stays exactly as it is.
        return count;
    }
    writeCentralDirectory();
    old.reset();
    out.commit();
    m_out = nullptr;

    for (const std::string &path : m_dispose) {
        bool skip = false;
        if (OnDisposeFile) {
            OnDisposeFile(path, skip);
        }
        if (!skip) {
            ::unlink(path.c_str());
        }
    }
    m_entries = std::move(m_newEntries);
    m_entriesLoaded = true;
    m_commentSet = false;
    if (OnTotalPercentDone) {
        OnTotalPercentDone(100);
    }
    return count;
}

bool TZipWriter::deleteWanted(const TZipHeaderInfo &entry)
{
    const std::string name = entry.FullName();
    bool wanted = std::find(m_selected.begin(), m_selected.end(), name) != m_selected.end();
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

int TZipWriter::mergeOldEntries(TStream &old, std::vector<TZipHeaderInfo> &oldEntries, bool deleteMode,
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
        const TZipHeaderInfo &entry = oldEntries[i];
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
            replace = ::stat(file.path.c_str(), &st) == 0 &&
                      ZipEntryWriter::dosDateTime(st.st_mtime) > repairDosDateTime(entry.DateTime);
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
        TZipHeaderInfo &entry = oldEntries[i];
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
        OnStartZipInfo(static_cast<int>(std::min<size_t>(m_pending.size(), INT_MAX)), total, m_end, stop);
        if (stop) {
            throw EUserCanceled(kUserCanceledZip);
        }
    }
    int count = 0;
    for (const PendingFile &file : m_pending) {
        checkCancel();
        TZipHeaderInfo added;
        if (m_entryWriter->addOneFile(file, added)) {
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
    for (TZipHeaderInfo &entry : m_newEntries) {
        entry.SaveCentralToStream(out);
    }
    m_end.ThisDiskNumber = 0;
    m_end.CentralDiskNumber = 0;
    m_end.EntriesOnDisk = m_newEntries.size();
    m_end.TotalEntries = m_newEntries.size();
    m_end.CentralOffset = static_cast<uint64_t>(start);
    m_end.CentralSize = static_cast<uint64_t>(out.Position() - start);
    m_end.SaveToStream(out);
}

} // namespace qv
