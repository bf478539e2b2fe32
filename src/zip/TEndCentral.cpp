// The end record: writing it (with Zip64 when needed) and finding it at the end of an archive.
#include "zip/TEndCentral.h"

#include <algorithm>
#include <vector>

namespace qv {
namespace {

constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint16_t kMax16 = 0xFFFFu;

std::uint32_t sat32(std::uint64_t v)
{
    return v >= kMax32 ? kMax32 : static_cast<std::uint32_t>(v);
}

} // namespace

void TEndCentral::Clear()
{
    Signature = endSignature();
    ThisDiskNumber = CentralDiskNumber = 0;
    EntriesOnDisk = TotalEntries = CentralSize = CentralOffset = 0;
    ZipCommentLen = 0;
    ZipCommentPos = RecordOffset = 0;
    Zip64 = false;
    Modified = false;
    m_comment.reset();
}

void TEndCentral::Assign(const TEndCentral &o)
{
    if (this == &o) {
        return;
    }
    Signature = o.Signature;
    ThisDiskNumber = o.ThisDiskNumber;
    CentralDiskNumber = o.CentralDiskNumber;
    EntriesOnDisk = o.EntriesOnDisk;
    TotalEntries = o.TotalEntries;
    CentralSize = o.CentralSize;
    CentralOffset = o.CentralOffset;
    ZipCommentPos = o.ZipCommentPos;
    RecordOffset = o.RecordOffset;
    Zip64 = o.Zip64;
    Modified = o.Modified;
    m_comment = o.m_comment;
    ZipCommentLen = m_comment ? static_cast<std::uint16_t>(m_comment->size()) : o.ZipCommentLen;
}

void TEndCentral::SetZipComment(const std::string &comment)
{
    if (comment.empty()) {
        m_comment.reset();
        ZipCommentLen = 0;
    } else {
        m_comment = comment.substr(0, kMaxCommentLength);
        ZipCommentLen = static_cast<std::uint16_t>(m_comment->size());
    }
}

bool TEndCentral::NeedsZip64() const
{
    return TotalEntries >= kMax16 || EntriesOnDisk >= kMax16 || CentralSize >= kMax32 ||
           CentralOffset >= kMax32;
}

std::uint64_t TEndCentral::EndCentralSize() const
{
    return kEndRecordSize + ZipCommentLen + (NeedsZip64() ? kZip64EndRecordSize + kZip64LocatorSize : 0);
}

void TEndCentral::SaveToStream(TStream &stream)
{
    std::vector<std::uint8_t> out;
    const bool zip64 = NeedsZip64();
    if (zip64) {
        const auto zip64Pos = static_cast<std::uint64_t>(stream.Position());
        putLE32(out, kZip64EndSignature);
        putLE64(out, kZip64EndRecordSize - 12);
        putLE16(out, 45);
        putLE16(out, 45);
        putLE32(out, ThisDiskNumber);
        putLE32(out, CentralDiskNumber);
        putLE64(out, EntriesOnDisk);
        putLE64(out, TotalEntries);
        putLE64(out, CentralSize);
        putLE64(out, CentralOffset);
        putLE32(out, kZip64LocatorSignature);
        putLE32(out, CentralDiskNumber);
        putLE64(out, zip64Pos);
        putLE32(out, ThisDiskNumber + 1);
    }
    const std::string comment = (ZipCommentLen > 0 && m_comment) ? *m_comment : std::string();
    putLE32(out, endSignature());
    putLE16(out, static_cast<std::uint16_t>(std::min<std::uint32_t>(ThisDiskNumber, kMax16)));
    putLE16(out, static_cast<std::uint16_t>(std::min<std::uint32_t>(CentralDiskNumber, kMax16)));
    putLE16(out, static_cast<std::uint16_t>(std::min<std::uint64_t>(EntriesOnDisk, kMax16)));
    putLE16(out, static_cast<std::uint16_t>(std::min<std::uint64_t>(TotalEntries, kMax16)));
    putLE32(out, sat32(CentralSize));
    putLE32(out, sat32(CentralOffset));
    putLE16(out, static_cast<std::uint16_t>(comment.size()));
    out.insert(out.end(), comment.begin(), comment.end());
    stream.WriteBuffer(out.data(), static_cast<std::int64_t>(out.size()));
}

// The end record is searched backwards from the end of the file. A comment may itself contain
// the end signature, so a candidate counts only when its comment ends exactly at the end of the
// file, or when the central directory it describes (or its Zip64 end record) ends right where
// it starts. When no candidate counts, the one nearest the end is taken.
bool TEndCentral::ReadFromStream(TStream &stream)
{
    Clear();
    const std::int64_t size = stream.Size();
    if (size == 0) {
        return true;
    }
    if (size < static_cast<std::int64_t>(kEndRecordSize)) {
        return false;
    }
    const std::int64_t tail = std::min<std::int64_t>(kMaxCommentLength + kEndRecordSize, size);
    const std::int64_t base = size - tail;
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(tail));
    stream.Seek(base, soBeginning);
    if (stream.Read(buf.data(), tail) != tail) {
        return false;
    }
    const std::uint8_t low = static_cast<std::uint8_t>(endSignature() & 0xFF);
    std::int64_t chosen = -1;
    for (std::int64_t i = tail - static_cast<std::int64_t>(kEndRecordSize); i >= 0; --i) {
        const std::uint8_t *p = buf.data() + i;
        if (p[0] != low || getLE32(p) != endSignature()) {
            continue;
        }
        if (chosen < 0) {
            chosen = i; // the fallback: nearest the end
        }
        const std::int64_t pos = base + i;
        const std::uint32_t cdSize = getLE32(p + 12);
        const std::uint32_t cdOffset = getLE32(p + 16);
        const std::uint16_t commentLen = getLE16(p + 20);
        bool counts = pos + static_cast<std::int64_t>(kEndRecordSize) + commentLen == size;
        counts = counts || (cdSize != kMax32 && cdOffset != kMax32 &&
                            static_cast<std::int64_t>(cdOffset) + cdSize == pos);
        if (!counts && pos >= static_cast<std::int64_t>(kZip64LocatorSize)) {
            const std::int64_t loc = pos - static_cast<std::int64_t>(kZip64LocatorSize);
            std::uint8_t l[kZip64LocatorSize];
            stream.Seek(loc, soBeginning);
            if (stream.Read(l, kZip64LocatorSize) == static_cast<std::int64_t>(kZip64LocatorSize) &&
                getLE32(l) == kZip64LocatorSignature) {
                const std::uint64_t recPos = getLE64(l + 8);
                std::uint8_t r[12];
                if (recPos < static_cast<std::uint64_t>(loc)) {
                    stream.Seek(static_cast<std::int64_t>(recPos), soBeginning);
                    counts = stream.Read(r, 12) == 12 && getLE32(r) == kZip64EndSignature &&
                             recPos + 12 + getLE64(r + 4) == static_cast<std::uint64_t>(loc);
                }
            }
        }
        if (counts) {
            chosen = i;
            break;
        }
    }
    if (chosen < 0) {
        return false;
    }
    const std::uint8_t *p = buf.data() + chosen;
    ThisDiskNumber = getLE16(p + 4);
    CentralDiskNumber = getLE16(p + 6);
    EntriesOnDisk = getLE16(p + 8);
    TotalEntries = getLE16(p + 10);
    CentralSize = getLE32(p + 12);
    CentralOffset = getLE32(p + 16);
    ZipCommentLen = getLE16(p + 20);
    RecordOffset = static_cast<std::uint64_t>(base + chosen);
    ZipCommentPos = RecordOffset + kEndRecordSize;
    if (RecordOffset >= kZip64LocatorSize) {
        readZip64(stream, RecordOffset - kZip64LocatorSize);
    }
    return true;
}

bool TEndCentral::readZip64(TStream &stream, std::uint64_t locatorPos)
{
    std::uint8_t l[kZip64LocatorSize];
    stream.Seek(static_cast<std::int64_t>(locatorPos), soBeginning);
    if (stream.Read(l, kZip64LocatorSize) != static_cast<std::int64_t>(kZip64LocatorSize) ||
        getLE32(l) != kZip64LocatorSignature) {
        return false;
    }
    const std::uint64_t recPos = getLE64(l + 8);
    std::uint8_t r[kZip64EndRecordSize];
    if (recPos >= locatorPos) {
        return false;
    }
    stream.Seek(static_cast<std::int64_t>(recPos), soBeginning);
    if (stream.Read(r, kZip64EndRecordSize) != static_cast<std::int64_t>(kZip64EndRecordSize) ||
        getLE32(r) != kZip64EndSignature) {
        return false;
    }
    if (ThisDiskNumber == kMax16) {
        ThisDiskNumber = getLE32(r + 16);
    }
    if (CentralDiskNumber == kMax16) {
        CentralDiskNumber = getLE32(r + 20);
    }
    if (EntriesOnDisk == kMax16) {
        EntriesOnDisk = getLE64(r + 24);
    }
    if (TotalEntries == kMax16) {
        TotalEntries = getLE64(r + 32);
    }
    if (CentralSize == kMax32) {
        CentralSize = getLE64(r + 40);
    }
    if (CentralOffset == kMax32) {
        CentralOffset = getLE64(r + 48);
    }
    Zip64 = true;
    return true;
}

} // namespace qv
