// The records of a zip archive: reading, writing and finding the end record.
#include "zip/ZipRecords.h"

#include "zip/ZipLib.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace qv {
namespace {

std::uint32_t g_central = kCentralSignature;
std::uint32_t g_local = kLocalSignature;
std::uint32_t g_end = kEndSignature;

constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint16_t kMax16 = 0xFFFFu;

std::uint32_t sat32(std::uint64_t v)
{
    return v >= kMax32 ? kMax32 : static_cast<std::uint32_t>(v);
}

} // namespace

bool isDosHost(int host)
{
    return host == 0 || host == 6 || host == 11;
}

void SetZipSignatures(std::uint32_t central, std::uint32_t local, std::uint32_t end)
{
    g_central = central != 0 ? central : kCentralSignature;
    g_local = local != 0 ? local : kLocalSignature;
    g_end = end != 0 ? end : kEndSignature;
}

std::uint32_t centralSignature()
{
    return g_central;
}
std::uint32_t localSignature()
{
    return g_local;
}
std::uint32_t endSignature()
{
    return g_end;
}

void putLE16(std::vector<std::uint8_t> &out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putLE32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    putLE16(out, static_cast<std::uint16_t>(v));
    putLE16(out, static_cast<std::uint16_t>(v >> 16));
}

void putLE64(std::vector<std::uint8_t> &out, std::uint64_t v)
{
    putLE32(out, static_cast<std::uint32_t>(v));
    putLE32(out, static_cast<std::uint32_t>(v >> 32));
}

std::string decodeEntryName(const std::string &raw, std::uint16_t flags, bool dosStyle, bool oemConvert)
{
    if ((flags & kFlagUtf8) != 0 || !dosStyle) {
        return raw;
    }
    std::string s = oemConvert ? cp437ToUtf8(raw) : raw;
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

std::vector<std::uint8_t> stripZip64Extra(const std::uint8_t *extra, std::size_t len)
{
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i + 4 <= len) {
        const std::uint16_t tag = getLE16(extra + i);
        const std::size_t size = getLE16(extra + i + 2);
        const std::size_t end = std::min(len, i + 4 + size);
        if (tag != kZip64ExtraTag) {
            out.insert(out.end(), extra + i, extra + end);
        }
        i = end;
    }
    if (i < len) {
        out.insert(out.end(), extra + i, extra + len); // a ragged tail is kept as it was
    }
    return out;
}

std::vector<std::uint8_t> extendedTimeField(std::int64_t modTime)
{
    std::vector<std::uint8_t> out;
    if (modTime < 0 || modTime > INT32_MAX) {
        return out;
    }
    putLE16(out, kExtendedTimeTag);
    putLE16(out, 5);
    out.push_back(1); // the modification time follows
    putLE32(out, static_cast<std::uint32_t>(modTime));
    return out;
}

std::optional<std::int64_t> extendedModTime(const std::vector<std::uint8_t> &extra)
{
    std::size_t i = 0;
    while (i + 4 <= extra.size()) {
        const std::uint16_t tag = getLE16(extra.data() + i);
        const std::size_t size = getLE16(extra.data() + i + 2);
        if (tag == kExtendedTimeTag && size >= 5 && i + 4 + size <= extra.size() && (extra[i + 4] & 1) != 0) {
            return static_cast<std::int32_t>(getLE32(extra.data() + i + 5));
        }
        i += 4 + size;
    }
    return std::nullopt;
}

const TZipHeaderInfo *firstOverlappingEntry(const std::vector<const TZipHeaderInfo *> &entries,
                                            std::uint64_t centralOffset, std::uint64_t centralSize)
{
    // The least an entry takes: its fixed header and its data (the name, extra field and data
    // descriptor only add to it). Sizes come from the archive: sums are kept from overflowing.
    auto end = [](const TZipHeaderInfo *e) {
        const std::uint64_t length =
            kLocalHeaderSize + std::min<std::uint64_t>(e->CompressedSize, UINT64_MAX / 4);
        return e->RelativeOffset > UINT64_MAX - length ? UINT64_MAX : e->RelativeOffset + length;
    };
    std::vector<const TZipHeaderInfo *> sorted(entries);
    std::stable_sort(sorted.begin(), sorted.end(), [](const TZipHeaderInfo *a, const TZipHeaderInfo *b) {
        return a->RelativeOffset < b->RelativeOffset;
    });
    const std::uint64_t centralEnd =
        centralOffset > UINT64_MAX - centralSize ? UINT64_MAX : centralOffset + centralSize;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const TZipHeaderInfo *e = sorted[i];
        if (i + 1 < sorted.size() && end(e) > sorted[i + 1]->RelativeOffset) {
            return sorted[i + 1];
        }
        if (centralSize > 0 && e->RelativeOffset < centralEnd && end(e) > centralOffset) {
            return e;
        }
    }
    return nullptr;
}

// --- TZipHeaderInfo --------------------------------------------------------------------------

void TZipHeaderInfo::Assign(const TZipHeaderInfo &o)
{
    if (this == &o) {
        return;
    }
    VersionMadeBy = o.VersionMadeBy;
    VersionNeeded = o.VersionNeeded;
    Flags = o.Flags;
    CompressionMethod = o.CompressionMethod;
    DateTime = o.DateTime;
    CRC32 = o.CRC32;
    CompressedSize = o.CompressedSize;
    UncompressedSize = o.UncompressedSize;
    CentralExtraLen = o.CentralExtraLen;
    LocalExtraLen = o.LocalExtraLen;
    FileCommentLen = o.FileCommentLen;
    DiskNumberStart = o.DiskNumberStart;
    InternalAttributes = o.InternalAttributes;
    ExternalAttributes = o.ExternalAttributes;
    RelativeOffset = o.RelativeOffset;
    CentralOffset = o.CentralOffset;
    Matched = o.Matched;
    Selected = o.Selected;
    CentralExtra = o.CentralExtra;
    LocalExtra = o.LocalExtra;
    ForceZip64 = o.ForceZip64;
    m_fileName = o.m_fileName;
    m_directory = o.m_directory;
    m_rawName = o.m_rawName;
    m_rawDecoded = o.m_rawDecoded;
    m_comment = (o.FileCommentLen > 0 && o.m_comment) ? o.m_comment : std::nullopt;
    FileNameLen = o.FileNameLen;
}

void TZipHeaderInfo::SetFileName(const std::string &name)
{
    if (name != m_fileName) {
        m_fileName = name;
        updateNameLength();
    }
}

void TZipHeaderInfo::SetDirectory(const std::string &path)
{
    std::string dir = path;
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    if (dir != m_directory) {
        m_directory = dir;
        updateNameLength();
    }
}

void TZipHeaderInfo::SetFullName(const std::string &fullName)
{
    const auto pos = fullName.rfind('/');
    m_directory = pos == std::string::npos ? std::string() : fullName.substr(0, pos + 1);
    m_fileName = pos == std::string::npos ? fullName : fullName.substr(pos + 1);
    updateNameLength();
}

std::string TZipHeaderInfo::StoredName() const
{
    if (!m_rawName.empty() && m_rawDecoded == FullName()) {
        return m_rawName;
    }
    return FullName();
}

void TZipHeaderInfo::updateNameLength()
{
    FileNameLen = static_cast<std::uint16_t>(std::min<std::size_t>(StoredName().size(), kMax16));
}

void TZipHeaderInfo::setNameFromRaw(const std::string &raw, bool dosStyle)
{
    m_rawName = raw;
    m_rawDecoded = decodeEntryName(raw, Flags, dosStyle, OEMConvert);
    SetFullName(m_rawDecoded);
}

void TZipHeaderInfo::SetFileComment(const std::string &comment)
{
    if (comment.empty()) {
        ClearFileComment();
        return;
    }
    m_comment = comment.substr(0, kMaxCommentLength);
    FileCommentLen = static_cast<std::uint16_t>(m_comment->size());
}

void TZipHeaderInfo::ClearFileComment()
{
    m_comment.reset();
    FileCommentLen = 0;
}

bool TZipHeaderInfo::NeedsZip64Central() const
{
    return UncompressedSize >= kMax32 || CompressedSize >= kMax32 || RelativeOffset >= kMax32;
}

bool TZipHeaderInfo::NeedsZip64Local() const
{
    return ForceZip64 || UncompressedSize >= kMax32 || CompressedSize >= kMax32;
}

void TZipHeaderInfo::SetFromCentral(const std::uint8_t *r, const std::string &rawName)
{
    VersionMadeBy = getLE16(r + 4);
    VersionNeeded = getLE16(r + 6);
    Flags = getLE16(r + 8);
    CompressionMethod = getLE16(r + 10);
    DateTime = repairDosDateTime(getLE32(r + 12));
    CRC32 = getLE32(r + 16);
    CompressedSize = getLE32(r + 20);
    UncompressedSize = getLE32(r + 24);
    CentralExtraLen = getLE16(r + 30);
    FileCommentLen = getLE16(r + 32);
    DiskNumberStart = getLE16(r + 34);
    InternalAttributes = getLE16(r + 36);
    ExternalAttributes = getLE32(r + 38);
    RelativeOffset = getLE32(r + 42);
    LocalExtraLen = 0;
    Matched = false;
    Selected = false;
    m_comment.reset();
    setNameFromRaw(rawName, isDosHost(HostSystem()));
    FileNameLen = static_cast<std::uint16_t>(rawName.size());
}

void TZipHeaderInfo::SetFromLocal(const std::uint8_t *r, const std::string &rawName)
{
    VersionMadeBy = 0;
    VersionNeeded = getLE16(r + 4);
    Flags = getLE16(r + 6);
    CompressionMethod = getLE16(r + 8);
    DateTime = repairDosDateTime(getLE32(r + 10));
    CRC32 = getLE32(r + 14);
    CompressedSize = getLE32(r + 18);
    UncompressedSize = getLE32(r + 22);
    LocalExtraLen = getLE16(r + 28);
    CentralExtraLen = 0;
    FileCommentLen = 0;
    DiskNumberStart = 0;
    InternalAttributes = 0;
    ExternalAttributes = 0;
    RelativeOffset = 0;
    CentralOffset = 0;
    m_comment.reset();
    // A local header does not say which system wrote it: a name that is not UTF-8 is taken as
    // an MS-DOS name.
    setNameFromRaw(rawName, !isWellFormedUtf8(rawName));
    FileNameLen = static_cast<std::uint16_t>(rawName.size());
}

void TZipHeaderInfo::ApplyZip64Extra(const std::uint8_t *extra, std::size_t len, bool local)
{
    std::size_t i = 0;
    while (i + 4 <= len) {
        const std::uint16_t tag = getLE16(extra + i);
        const std::size_t size = getLE16(extra + i + 2);
        const std::uint8_t *p = extra + i + 4;
        const std::uint8_t *end = extra + std::min(len, i + 4 + size);
        if (tag == kZip64ExtraTag) {
            auto take64 = [&](std::uint64_t &field) {
                if (p + 8 <= end) {
                    field = getLE64(p);
                    p += 8;
                }
            };
            // A local header carries both sizes whenever it carries the field.
            const bool both = local && (UncompressedSize == kMax32 || CompressedSize == kMax32);
            if (UncompressedSize == kMax32 || both) {
                take64(UncompressedSize);
            }
            if (CompressedSize == kMax32 || both) {
                take64(CompressedSize);
            }
            if (!local && RelativeOffset == kMax32) {
                take64(RelativeOffset);
            }
            if (!local && DiskNumberStart == kMax16 && p + 4 <= end) {
                DiskNumberStart = getLE32(p);
            }
            return;
        }
        i += 4 + size;
    }
}

bool TZipHeaderInfo::ReadCentralFromStream(TStream *&stream, const NextDiskHandler &onNextDisk)
{
    const std::int64_t start = stream->Position();
    std::uint8_t rec[kCentralHeaderSize];
    std::int64_t got = stream->Read(rec, kCentralHeaderSize);
    if (got >= 4 && got < static_cast<std::int64_t>(kCentralHeaderSize) && getLE32(rec) == g_central &&
        onNextDisk) {
        if (onNextDisk(*this, stream)) {
            got += stream->Read(rec + got, static_cast<std::int64_t>(kCentralHeaderSize) - got);
        }
    }
    auto fail = [&]() {
        stream->Seek(start, soBeginning);
        return false;
    };
    if (got != static_cast<std::int64_t>(kCentralHeaderSize) || getLE32(rec) != g_central) {
        return fail();
    }
    const std::size_t nameLen = getLE16(rec + 28);
    const std::size_t extraLen = getLE16(rec + 30);
    std::string raw(nameLen, '\0');
    std::vector<std::uint8_t> extra(extraLen);
    if (stream->Read(raw.data(), static_cast<std::int64_t>(nameLen)) != static_cast<std::int64_t>(nameLen) ||
        stream->Read(extra.data(), static_cast<std::int64_t>(extraLen)) !=
            static_cast<std::int64_t>(extraLen)) {
        return fail();
    }
    SetFromCentral(rec, raw);
    ApplyZip64Extra(extra.data(), extra.size(), false);
    CentralExtra = stripZip64Extra(extra.data(), extra.size());
    CentralOffset = static_cast<std::uint64_t>(start);
    return true;
}

bool TZipHeaderInfo::ReadLocalFromStream(TStream &stream)
{
    const std::int64_t start = stream.Position();
    std::uint8_t rec[kLocalHeaderSize];
    if (stream.Read(rec, kLocalHeaderSize) != static_cast<std::int64_t>(kLocalHeaderSize) ||
        getLE32(rec) != g_local) {
        stream.Seek(start, soBeginning);
        return false;
    }
    const std::size_t nameLen = getLE16(rec + 26);
    std::string raw(nameLen, '\0');
    if (stream.Read(raw.data(), static_cast<std::int64_t>(nameLen)) != static_cast<std::int64_t>(nameLen)) {
        stream.Seek(start, soBeginning);
        return false;
    }
    SetFromLocal(rec, raw);
    RelativeOffset = static_cast<std::uint64_t>(start);
    return true;
}

std::uint16_t TZipHeaderInfo::storedFlags(const std::string &stored) const
{
    if (!m_rawName.empty() && stored == m_rawName && m_rawDecoded == FullName()) {
        return Flags;
    }
    if (!isAscii(stored) && isWellFormedUtf8(stored)) {
        return static_cast<std::uint16_t>(Flags | kFlagUtf8);
    }
    return static_cast<std::uint16_t>(Flags & ~kFlagUtf8);
}

void TZipHeaderInfo::SaveLocalToStream(TStream &stream)
{
    RelativeOffset = static_cast<std::uint64_t>(stream.Position());
    const std::string name = StoredName().substr(0, kMax16);
    const bool zip64 = NeedsZip64Local();
    std::vector<std::uint8_t> extra;
    if (zip64) {
        putLE16(extra, kZip64ExtraTag);
        putLE16(extra, 16);
        putLE64(extra, UncompressedSize);
        putLE64(extra, CompressedSize);
    }
    extra.insert(extra.end(), LocalExtra.begin(), LocalExtra.end());
    if (extra.size() > kMax16) {
        extra.resize(kMax16);
    }
    Flags = storedFlags(name);
    FileNameLen = static_cast<std::uint16_t>(name.size());
    LocalExtraLen = static_cast<std::uint16_t>(extra.size());
    std::vector<std::uint8_t> out;
    out.reserve(kLocalHeaderSize + name.size() + extra.size());
    putLE32(out, g_local);
    putLE16(out, zip64 ? std::max<std::uint16_t>(VersionNeeded, 45) : VersionNeeded);
    putLE16(out, Flags);
    putLE16(out, CompressionMethod);
    putLE32(out, DateTime);
    putLE32(out, CRC32);
    putLE32(out, zip64 ? kMax32 : sat32(CompressedSize));
    putLE32(out, zip64 ? kMax32 : sat32(UncompressedSize));
    putLE16(out, FileNameLen);
    putLE16(out, LocalExtraLen);
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), extra.begin(), extra.end());
    stream.WriteBuffer(out.data(), static_cast<std::int64_t>(out.size()));
}

void TZipHeaderInfo::SaveCentralToStream(TStream &stream, const std::vector<std::uint8_t> *extraIn)
{
    const std::string name = StoredName().substr(0, kMax16);
    const std::vector<std::uint8_t> &given = extraIn != nullptr ? *extraIn : CentralExtra;
    std::vector<std::uint8_t> extra;
    if (NeedsZip64Central()) {
        std::vector<std::uint8_t> body;
        if (UncompressedSize >= kMax32) {
            putLE64(body, UncompressedSize);
        }
        if (CompressedSize >= kMax32) {
            putLE64(body, CompressedSize);
        }
        if (RelativeOffset >= kMax32) {
            putLE64(body, RelativeOffset);
        }
        putLE16(extra, kZip64ExtraTag);
        putLE16(extra, static_cast<std::uint16_t>(body.size()));
        extra.insert(extra.end(), body.begin(), body.end());
    }
    const auto rest = stripZip64Extra(given.data(), given.size());
    extra.insert(extra.end(), rest.begin(), rest.end());
    if (extra.size() > kMax16) {
        extra.resize(kMax16);
    }
    const bool hasComment = FileCommentLen > 0 && m_comment.has_value();
    const std::string comment = hasComment ? *m_comment : std::string();
    Flags = storedFlags(name);
    FileNameLen = static_cast<std::uint16_t>(name.size());
    CentralExtraLen = static_cast<std::uint16_t>(extra.size());
    FileCommentLen = static_cast<std::uint16_t>(comment.size());
    std::vector<std::uint8_t> out;
    out.reserve(kCentralHeaderSize + name.size() + extra.size() + comment.size());
    putLE32(out, g_central);
    putLE16(out, VersionMadeBy);
    putLE16(out, NeedsZip64Central() ? std::max<std::uint16_t>(VersionNeeded, 45) : VersionNeeded);
    putLE16(out, Flags);
    putLE16(out, CompressionMethod);
    putLE32(out, DateTime);
    putLE32(out, CRC32);
    putLE32(out, sat32(CompressedSize));
    putLE32(out, sat32(UncompressedSize));
    putLE16(out, FileNameLen);
    putLE16(out, CentralExtraLen);
    putLE16(out, FileCommentLen);
    putLE16(out, static_cast<std::uint16_t>(std::min<std::uint32_t>(DiskNumberStart, kMax16)));
    putLE16(out, InternalAttributes);
    putLE32(out, ExternalAttributes);
    putLE32(out, sat32(RelativeOffset));
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), extra.begin(), extra.end());
    out.insert(out.end(), comment.begin(), comment.end());
    stream.WriteBuffer(out.data(), static_cast<std::int64_t>(out.size()));
}

} // namespace qv
