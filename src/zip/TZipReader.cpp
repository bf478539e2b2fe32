// The unzip component: archive name, directory reading with its recovery, entry questions.
#include "zip/TZipReader.h"

#include "zip/ZipLib.h"
#include "zip/ZipVolumes.h"

#include <algorithm>
#include <sys/stat.h>

namespace qv {
namespace {

constexpr std::int64_t kExeScanStart = 14000;

bool endsWithNoCase(const std::string &s, const std::string &suffix)
{
    return s.size() >= suffix.size() && asciiLower(s.substr(s.size() - suffix.size())) == suffix;
}

} // namespace

TZipReader::TZipReader() = default;

TZipReader::~TZipReader() { removeSpool(); }

void TZipReader::Assign(const TZipReader &o)
{
    m_fs = o.m_fs;
    if (this == &o) {
        return;
    }
    SetZipName(o.m_zipName);
    m_destDir = o.m_destDir;
    m_rootDir = o.m_rootDir;
    SetSortMode(o.m_sortMode);
    RecreateDirs = o.RecreateDirs;
    OverwriteMode = o.OverwriteMode;
    FilesList = o.FilesList;
    DoAll = o.DoAll;
    IncompleteZipMode = o.IncompleteZipMode;
    KeepZipOpen = o.KeepZipOpen;
    DoProcessMessages = o.DoProcessMessages;
    RetainAttributes = o.RetainAttributes;
    ReplaceReadOnly = o.ReplaceReadOnly;
    OnStartUnZipInfo = o.OnStartUnZipInfo;
    OnFilePercentDone = o.OnFilePercentDone;
    OnTotalPercentDone = o.OnTotalPercentDone;
    OnStartUnZip = o.OnStartUnZip;
    OnEndUnZip = o.OnEndUnZip;
    OnPromptForOverwrite = o.OnPromptForOverwrite;
    OnSkippingFile = o.OnSkippingFile;
    OnBadPassword = o.OnBadPassword;
    OnBadCRC = o.OnBadCRC;
    OnInCompleteZip = o.OnInCompleteZip;
    OnUnZipComplete = o.OnUnZipComplete;
    OnGetNextDisk = o.OnGetNextDisk;
    OnDiskPrompt = o.OnDiskPrompt;
    OnGetNextBuffer = o.OnGetNextBuffer;
    OnError = o.OnError;
    OnChooseZipName = o.OnChooseZipName;
    OnChooseDestDir = o.OnChooseDestDir;
    OnProcessMessages = o.OnProcessMessages;
}

void TZipReader::SetZipName(const std::string &nameIn)
{
    std::string name = nameIn;
    if (!name.empty() && name.back() == '?') {
        name.pop_back();
        if (!OnChooseZipName || !OnChooseZipName(name)) {
            throw EUserCanceled(ziptext::kCanceledZipName);
        }
    }
    if (name != m_zipName || m_external != nullptr) {
        discardArchive();
        m_external = nullptr;
        m_zipName = name;
    }
}

void TZipReader::SetZipStream(TStream *stream)
{
    discardArchive();
    m_zipName.clear();
    m_external = stream;
}

void TZipReader::SetDestDir(const std::string &dirIn)
{
    std::string dir = dirIn;
    if (dir == "?") {
        dir = m_destDir;
        if (!OnChooseDestDir || !OnChooseDestDir(dir)) {
            throw EUserCanceled(ziptext::kCanceledDestDir);
        }
    }
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    m_destDir = dir;
}

void TZipReader::SetRootDir(const std::string &dir)
{
    m_rootDir = dir;
    if (!m_rootDir.empty() && m_rootDir.back() != '/') {
        m_rootDir += '/';
    }
}

void TZipReader::SetSortMode(TZipSortMode mode)
{
    if (mode != m_sortMode) {
        m_sortMode = mode;
        if (m_directory) {
            buildView();
        }
    }
}

void TZipReader::discardArchive()
{
    m_stream.reset();
    m_file.reset();
    m_volumes.reset();
    m_volumeNames.clear();
    removeSpool();
    m_view.reset();
    m_directory.reset();
    m_endCentral.Clear();
    m_multiMode = mmNone;
    m_recovered = false;
    m_stamp = Stamp{};
}

void TZipReader::ClearZip()
{
    discardArchive();
    if (m_external == nullptr) {
        m_zipName.clear();
    }
}

TS_BufferStream &TZipReader::ArchiveStream()
{
    if (!m_stream) {
        if (!m_volumeNames.empty()) {
            openVolumes();
        } else if (m_external != nullptr) {
            m_stream = std::make_unique<TS_BufferStream>(m_external, kArchiveBuffer);
        } else {
            m_file = std::make_unique<TFileStream>(m_zipName, fmOpenRead);
            m_stream = std::make_unique<TS_BufferStream>(m_file.get(), kArchiveBuffer);
        }
    }
    return *m_stream;
}

int TZipReader::PlainArchiveHandle()
{
    ArchiveStream();
    return m_file ? m_file->Handle() : -1;
}

void TZipReader::CheckCancel()
{
    if (DoProcessMessages && OnProcessMessages) {
        OnProcessMessages();
    }
    if (m_cancel.exchange(false)) {
        throw EUserCanceled(ziptext::kUserAborted);
    }
}

void TZipReader::recordArchiveStamp()
{
    if (m_external != nullptr) {
        return;
    }
    struct stat st
    {
    };
    if (::stat(m_zipName.c_str(), &st) == 0) {
        m_stamp = {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
    }
}

bool TZipReader::archiveChanged() const
{
    // A set from removable disks is read from its copies: the disk in the drive changes with it.
    if (m_external != nullptr || !m_spoolFiles.empty()) {
        return false;
    }
    struct stat st
    {
    };
    if (::stat(m_zipName.c_str(), &st) != 0) {
        return true;
    }
    return st.st_dev != m_stamp.dev || st.st_ino != m_stamp.ino || st.st_size != m_stamp.size ||
           st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec != m_stamp.mtimeNs;
}

void TZipReader::OpenZip()
{
    // While a run works on the directory it is never re-read under it.
    if (m_directory && !m_busy && archiveChanged()) {
        discardArchive();
    }
    ArchiveStream();
    if (!m_directory) {
        ReadZip();
    }
}

void TZipReader::CloseZip()
{
    if (!KeepZipOpen) {
        m_stream.reset();
        m_file.reset();
        m_volumes.reset();
    }
}

void TZipReader::buildView()
{
    m_view.reset();
    if (m_sortMode == ByNone) {
        return;
    }
    m_view = std::make_unique<TSortedZip>(dupAccept, false);
    m_view->SortMode = m_sortMode;
    m_view->Load(std::vector<TZipHeaderInfo *>(m_directory->begin(), m_directory->end()));
}

bool TZipReader::endRecordValid(std::int64_t fileSize) const
{
    const TEndCentral &ec = m_endCentral;
    if (ec.ThisDiskNumber > 999 || ec.CentralDiskNumber > 999 || ec.ThisDiskNumber < ec.CentralDiskNumber) {
        return false;
    }
    if (fileSize == 0) {
        return true;
    }
    // The directory must lie wholly before the end record.
    return ec.CentralOffset <= ec.RecordOffset && ec.CentralSize <= ec.RecordOffset - ec.CentralOffset;
}

// Whether the last volume of a set, found under the archive's name, lies on one disk of a set
// that spans several. A removable medium says so; so does a way to change disks (many USB disks
// report themselves as fixed), unless a configuration file beside it makes it the last volume of
// a blocked set.
bool TZipReader::isSpanDisk()
{
    if (FileSystem().IsRemovable(m_zipName)) {
        return true;
    }
    struct stat st
    {
    };
    return (OnDiskPrompt || OnGetNextDisk) && ::stat(zipConfigName(m_zipName).c_str(), &st) != 0;
}

// Reads the directory. A damaged central directory is rebuilt from the local headers; an
// archive without an end record is handled by IncompleteZipMode.
void TZipReader::ReadZip()
{
    TS_BufferStream &s = ArchiveStream();
    recordArchiveStamp();
    m_view.reset();
    m_directory = std::make_unique<TSortedZip>(dupAccept, true);
    m_directory->SortMode = ByNone;
    m_recovered = false;
    const std::int64_t size = s.Size();
    if (size == 0 && !emptyFileIsArchive()) {
        discardArchive();
        throw ENotAZipFile(ziptext::kNotAZip);
    }
    const bool found = m_endCentral.ReadFromStream(s);
    const TEndCentral &ec = m_endCentral;
    if (found && ec.ThisDiskNumber != 0 && ec.ThisDiskNumber <= 999 && ec.CentralDiskNumber <= ec.ThisDiskNumber &&
        m_external == nullptr && isSpanDisk()) {
        readSpannedSet();
        readBlockedDirectory();
        buildView();
        return;
    }
    bool valid = found && endRecordValid(size);
    if (valid && ec.ThisDiskNumber != 0) {
        throw EIncompleteZip(ziptext::kIncompleteZip); // the last volume of a set on a fixed disk
    }
    if (!valid) {
        const auto dot = m_zipName.rfind('.');
        const auto slash = m_zipName.rfind('/');
        const std::string stem = (dot != std::string::npos && (slash == std::string::npos || dot > slash))
                                     ? m_zipName.substr(0, dot)
                                     : m_zipName;
        struct stat st
        {
        };
        if (m_external == nullptr && ::stat((stem + ".zfc").c_str(), &st) == 0 && readBlockedEnd()) {
            readBlockedDirectory();
            buildView();
            return;
        }
        TIncompleteZipMode mode = IncompleteZipMode;
        if (OnInCompleteZip) {
            OnInCompleteZip(mode);
        }
        if (mode == izAssumeNotAZip) {
            discardArchive();
            throw ENotAZipFile(ziptext::kNotAZip);
        }
        if (mode == izAssumeMulti) {
            discardArchive();
            throw EIncompleteZip(ziptext::kIncompleteZip);
        }
        if (!recoverFromLocalHeaders()) {
            discardArchive();
            throw EBadZipFile(ziptext::kNotAZip);
        }
    } else {
        m_multiMode = mmNone;
        readCentralDirectory();
        refuseOverlappingEntries();
    }
    buildView();
}

// Entries that share their data, or whose data run into the directory, are what no writer makes:
// such an archive (a "zip bomb" among them) is refused as a whole, before any entry is read.
void TZipReader::refuseOverlappingEntries()
{
    if (m_recovered) {
        return; // entries rebuilt from the local headers follow one another
    }
    const std::vector<const TZipHeaderInfo *> entries(m_directory->begin(), m_directory->end());
    if (const TZipHeaderInfo *e =
            firstOverlappingEntry(entries, m_endCentral.CentralOffset, m_endCentral.CentralSize)) {
        const std::string text =
            "The entries of the archive overlap each other or its central directory (at \"" + e->FullName() +
            "\")";
        discardArchive();
        throw EBadZipFile(text);
    }
}

void TZipReader::readCentralDirectory()
{
    TS_BufferStream &s = ArchiveStream();
    const TEndCentral &ec = m_endCentral;
    if (ec.TotalEntries == 0 && ec.CentralSize == 0) {
        return;
    }
    // The whole directory is read at once; it is never taken in part.
    TMemoryStream cd(std::vector<std::uint8_t>(static_cast<std::size_t>(ec.CentralSize)));
    s.Seek(static_cast<std::int64_t>(ec.CentralOffset), soBeginning);
    const bool complete = s.Read(cd.Data().data(), static_cast<std::int64_t>(ec.CentralSize)) ==
                          static_cast<std::int64_t>(ec.CentralSize);
    std::uint64_t read = 0;
    TZipHeaderInfo *previous = nullptr;
    bool damaged = !complete;
    std::vector<std::unique_ptr<TZipHeaderInfo>> entries;
    while (!damaged && cd.Position() < cd.Size()) {
        auto entry = std::make_unique<TZipHeaderInfo>(OEMConvert);
        TStream *stream = &cd;
        bool ok = entry->ReadCentralFromStream(stream);
        if (!ok && previous != nullptr && previous->CentralExtraLen > 0) {
            // Tolerance for a writer that counted an extra field it did not write.
            cd.Seek(-static_cast<std::int64_t>(previous->CentralExtraLen), soCurrent);
            previous->CentralExtraLen = 0;
            previous->CentralExtra.clear();
            ok = entry->ReadCentralFromStream(stream);
        }
        if (!ok || cd.Position() + entry->FileCommentLen > cd.Size()) {
            damaged = true;
            break;
        }
        entry->CentralOffset += ec.CentralOffset;
        cd.Seek(entry->FileCommentLen, soCurrent);
        previous = entry.get();
        entries.push_back(std::move(entry));
        ++read;
        if ((read & 1023) == 0) {
            CheckCancel();
        }
    }
    if (!damaged && read == ec.TotalEntries) {
        std::vector<TZipHeaderInfo *> raw;
        raw.reserve(entries.size());
        for (auto &e : entries) {
            raw.push_back(e.release());
        }
        m_directory->Load(std::move(raw));
        return;
    }
    if (!damaged) {
        discardArchive();
        throw EBadZipFile(ziptext::kNotAZip); // the record count disagrees with the end record
    }
    m_directory->FreeAll();
    if (!recoverFromLocalHeaders()) {
        discardArchive();
        throw EBadZipFile(ziptext::kNotAZip);
    }
    cd.Seek(0, soBeginning);
    mergeCentralIntoRecovered(cd);
}

// Each central record that still reads takes over the rebuilt entry of the same stored name,
// keeping the local header offset the scan found.
void TZipReader::mergeCentralIntoRecovered(TMemoryStream &cd)
{
    for (;;) {
        TZipHeaderInfo central(OEMConvert);
        TStream *stream = &cd;
        if (!central.ReadCentralFromStream(stream)) {
            break;
        }
        cd.Seek(central.FileCommentLen, soCurrent);
        for (TZipHeaderInfo *e : *m_directory) {
            if (e->RawName() == central.RawName()) {
                const std::uint64_t offset = e->RelativeOffset;
                const std::uint16_t localExtra = e->LocalExtraLen;
                e->Assign(central);
                e->CentralOffset = 0;
                e->FileCommentLen = 0;
                e->RelativeOffset = offset;
                e->LocalExtraLen = localExtra;
                break;
            }
        }
    }
}

// Scans for the first local header and reads local headers one after another from there.
bool TZipReader::recoverFromLocalHeaders()
{
    TS_BufferStream &s = ArchiveStream();
    const std::int64_t start = endsWithNoCase(m_zipName, ".exe") ? kExeScanStart : 0;
    s.Seek(start, soBeginning);
    const std::uint32_t sig = localSignature();
    std::uint32_t window = 0;
    std::int64_t pos = start;
    std::int64_t found = -1;
    for (int c = s.ReadByte(); c >= 0; c = s.ReadByte()) {
        ++pos;
        window = (window >> 8) | (static_cast<std::uint32_t>(c) << 24);
        if ((pos - start) % 10240 == 0) {
            CheckCancel();
        }
        if (window == sig && pos - start >= 4) {
            std::uint8_t ver[2];
            if (s.Read(ver, 2) == 2 && ver[1] < 10) {
                found = pos - 4;
                break;
            }
            s.Seek(pos, soBeginning);
        }
    }
    if (found < 0) {
        return false;
    }
    m_recovered = true;
    s.Seek(found, soBeginning);
    for (;;) {
        auto entry = std::make_unique<TZipHeaderInfo>(OEMConvert);
        if (!entry->ReadLocalFromStream(s)) {
            break;
        }
        std::vector<std::uint8_t> extra(entry->LocalExtraLen);
        if (s.Read(extra.data(), static_cast<std::int64_t>(extra.size())) !=
            static_cast<std::int64_t>(extra.size())) {
            break;
        }
        entry->ApplyZip64Extra(extra.data(), extra.size(), true);
        // Sizes come from the damaged archive itself: compare without any chance of overflow.
        const auto remaining = static_cast<std::uint64_t>(s.Size() - s.Position());
        const std::uint64_t descriptor = entry->HasDescriptor() ? 16 : 0;
        if (entry->CompressedSize > remaining || descriptor > remaining - entry->CompressedSize) {
            break;
        }
        s.Seek(static_cast<std::int64_t>(entry->CompressedSize + descriptor), soCurrent);
        m_directory->Add(entry.release());
        CheckCancel();
    }
    m_endCentral.Clear();
    m_endCentral.TotalEntries = m_endCentral.EntriesOnDisk = static_cast<std::uint64_t>(m_directory->Count());
    m_endCentral.CentralOffset = static_cast<std::uint64_t>(s.Position());
    return m_directory->Count() > 0;
}

void TZipReader::checkIndex(int i)
{
    OpenZip();
    if (i < 0 || i >= m_directory->Count()) {
        CloseZip();
        throw EListError(formatIndexText(ziptext::kIndexOutOfRange, i));
    }
}

int TZipReader::Count()
{
    if (m_zipName.empty() && m_external == nullptr) {
        return 0;
    }
    OpenZip();
    const int n = m_directory->Count();
    CloseZip();
    return n;
}

const TZipHeaderInfo &TZipReader::Entry(int i)
{
    checkIndex(i);
    CloseZip();
    return *view().Get(i);
}

void TZipReader::Select(int i, bool selected)
{
    checkIndex(i);
    CloseZip();
    view().Get(i)->Selected = selected;
}

std::string TZipReader::Filename(int i)
{
    return Entry(i).FileName();
}

std::string TZipReader::FullName(int i)
{
    return Entry(i).FullName();
}

double TZipReader::DateTime(int i)
{
    return dosDateTimeToDayCount(Entry(i).DateTime);
}

std::string TZipReader::FileComment(int i)
{
    checkIndex(i);
    TZipHeaderInfo *e = view().Get(i);
    if (e->HasComment() && !e->CommentLoaded() && e->CentralOffset != 0) {
        TS_BufferStream &s = ArchiveStream();
        s.Seek(static_cast<std::int64_t>(e->CentralOffset + kCentralHeaderSize + e->FileNameLen +
                                         e->CentralExtraLen),
               soBeginning);
        std::string text(e->FileCommentLen, '\0');
        text.resize(static_cast<std::size_t>(s.Read(text.data(), static_cast<std::int64_t>(text.size()))));
        const std::uint16_t len = e->FileCommentLen;
        e->SetFileComment(text);
        e->FileCommentLen = len;
    }
    CloseZip();
    return e->FileComment();
}

void TZipReader::SetFileComment(int i, const std::string &comment)
{
    checkIndex(i);
    CloseZip();
    view().Get(i)->SetFileComment(comment);
    m_endCentral.Modified = true;
}

std::string TZipReader::ZipComment()
{
    if (m_zipName.empty() && m_external == nullptr) {
        return m_endCentral.ZipComment();
    }
    OpenZip();
    if (m_endCentral.HasComment() && !m_endCentral.CommentLoaded()) {
        TS_BufferStream &s = ArchiveStream();
        s.Seek(static_cast<std::int64_t>(m_endCentral.ZipCommentPos), soBeginning);
        std::string text(m_endCentral.ZipCommentLen, '\0');
        text.resize(static_cast<std::size_t>(s.Read(text.data(), static_cast<std::int64_t>(text.size()))));
        m_endCentral.LoadZipComment(text);
    }
    CloseZip();
    return m_endCentral.ZipComment();
}

void TZipReader::SetZipComment(const std::string &comment)
{
    if (comment != ZipComment()) {
        m_endCentral.SetZipComment(comment);
        m_endCentral.Modified = true;
    }
}

} // namespace qv
