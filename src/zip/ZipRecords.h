// The records of a zip archive: local header, central record, end record (with Zip64), and the
// in-memory entry and end-record classes that carry them.
//
// Sizes, offsets and counts are 64-bit in memory. On disk a field too small for its value holds
// 0xFFFF or 0xFFFFFFFF and the real value travels in a Zip64 extra field (entries) or in the Zip64
// end record with its locator (archive). Reading applies them; writing adds them when needed.
//
// Names: directory and file name are kept apart, the directory ending in "/". A name stored with
// the UTF-8 flag is UTF-8; an MS-DOS, OS/2 or NTFS entry without it is code page 437 (converted
// while the OEM flag is on) and "\" separates its folders; every other entry's name is the bytes
// as stored. The raw stored name is kept, so an entry copied into a new archive keeps its bytes.
#pragma once

#include "zip/ZipStream.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qv {

inline constexpr std::uint32_t kCentralSignature = 0x02014B50;
inline constexpr std::uint32_t kLocalSignature = 0x04034B50;
inline constexpr std::uint32_t kEndSignature = 0x06054B50;
inline constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr std::uint32_t kDescriptorSignature = 0x08074B50;
inline constexpr std::uint16_t kZip64ExtraTag = 0x0001;

inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEndRecordSize = 22;
inline constexpr std::size_t kZip64EndRecordSize = 56;
inline constexpr std::size_t kZip64LocatorSize = 20;
inline constexpr std::size_t kMaxCommentLength = 65535;

inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;

// Host systems (high byte of "version made by") whose names are MS-DOS style.
bool isDosHost(int host);

// Sets the three record signatures; 0 selects the standard value.
void SetZipSignatures(std::uint32_t central, std::uint32_t local, std::uint32_t end);
std::uint32_t centralSignature();
std::uint32_t localSignature();
std::uint32_t endSignature();

// Little-endian field access.
inline std::uint16_t getLE16(const std::uint8_t *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t getLE32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t getLE64(const std::uint8_t *p)
{
    return getLE32(p) | (std::uint64_t(getLE32(p + 4)) << 32);
}
void putLE16(std::vector<std::uint8_t> &out, std::uint16_t v);
void putLE32(std::vector<std::uint8_t> &out, std::uint32_t v);
void putLE64(std::vector<std::uint8_t> &out, std::uint64_t v);

// One archive entry.
class TZipHeaderInfo
{
public:
    TZipHeaderInfo() = default;
    explicit TZipHeaderInfo(bool oemConvert) : OEMConvert(oemConvert) {}
    TZipHeaderInfo(const TZipHeaderInfo &other) { Assign(other); }
    TZipHeaderInfo &operator=(const TZipHeaderInfo &other)
    {
        Assign(other);
        return *this;
    }

    std::uint16_t VersionMadeBy = 20;
    std::uint16_t VersionNeeded = 20;
    std::uint16_t Flags = 0;
    std::uint16_t CompressionMethod = 8;
    std::uint32_t DateTime = 0; // MS-DOS date (high half) and time (low half)
    std::uint32_t CRC32 = 0xFFFFFFFF;
    std::uint64_t CompressedSize = 0; // includes an encryption header
    std::uint64_t UncompressedSize = 0;
    std::uint16_t FileNameLen = 0;
    std::uint16_t CentralExtraLen = 0;
    std::uint16_t LocalExtraLen = 0;
    std::uint16_t FileCommentLen = 0;
    std::uint32_t DiskNumberStart = 0;
    std::uint16_t InternalAttributes = 1;
    std::uint32_t ExternalAttributes = 0x20; // archive
    std::uint64_t RelativeOffset = 0;        // of the local header
    std::uint64_t CentralOffset = 0;         // of the central record in the archive it came from
    bool Matched = false;
    bool Selected = false;
    bool OEMConvert = false;
    // The central extra field as read, without its Zip64 field; written back by the writer.
    std::vector<std::uint8_t> CentralExtra;
    // Extra bytes written after the local header's name (and its Zip64 field, if any).
    std::vector<std::uint8_t> LocalExtra;
    // The writer sets this when an entry may grow past 4 GiB: the local header then always
    // carries a Zip64 field, so rewriting it with the final sizes keeps its length.
    bool ForceZip64 = false;

    // Copies every field but the OEM flag.
    void Assign(const TZipHeaderInfo &other);

    const std::string &FileName() const { return m_fileName; }
    const std::string &Directory() const { return m_directory; }
    std::string FullName() const { return m_directory + m_fileName; }
    void SetFileName(const std::string &name);
    // A non-empty path gets a trailing "/".
    void SetDirectory(const std::string &path);
    // Splits a full name at its last "/".
    void SetFullName(const std::string &fullName);
    // The name bytes as stored in the archive this entry came from (empty for a new entry).
    const std::string &RawName() const { return m_rawName; }
    // The bytes written as the name: the raw name when it still describes this entry, else the
    // full name (the UTF-8 flag is set by the save when that name needs it).
    std::string StoredName() const;

    bool HasComment() const { return FileCommentLen > 0; }
    bool CommentLoaded() const { return m_comment.has_value(); }
    std::string FileComment() const { return m_comment.value_or(std::string()); }
    // Stores a comment (an empty text removes it). Comments longer than 65,535 bytes are cut.
    void SetFileComment(const std::string &comment);
    void ClearFileComment();

    bool Encrypted() const { return (Flags & kFlagEncrypted) != 0; }
    bool HasDescriptor() const { return (Flags & kFlagDescriptor) != 0; }
    int HostSystem() const { return VersionMadeBy >> 8; }
    bool IsFolder() const { return m_fileName.empty(); }

    std::uint64_t LocalSize() const { return kLocalHeaderSize + FileNameLen + LocalExtraLen; }
    std::uint64_t CentralSize() const
    {
        return kCentralHeaderSize + FileNameLen + CentralExtraLen + FileCommentLen;
    }

    bool NeedsZip64Central() const;
    bool NeedsZip64Local() const;

    // Reads a central record, its name and its extra field (the Zip64 field applied); the stream
    // is left at the file comment, which the caller reads or skips. False (and the stream back
    // where it was) for a short or foreign record.
    using NextDiskHandler = std::function<bool(TZipHeaderInfo &, TStream *&)>;
    bool ReadCentralFromStream(TStream *&stream, const NextDiskHandler &onNextDisk = {});
    // Reads a local header and its name; the stream is left at the extra field (the local extra
    // length tells its size). Reading the extra field applies a Zip64 field.
    bool ReadLocalFromStream(TStream &stream);
    // Applies the Zip64 fields of an extra field to the saturated size and offset fields.
    void ApplyZip64Extra(const std::uint8_t *extra, std::size_t len, bool local);

    // Writes the local header at the stream's position (which becomes RelativeOffset), the name,
    // a Zip64 field when needed and LocalExtra.
    void SaveLocalToStream(TStream &stream);
    // Writes the central record: fixed fields, name, Zip64 field when needed, `extra` (or
    // CentralExtra when none is given), comment.
    void SaveCentralToStream(TStream &stream, const std::vector<std::uint8_t> *extra = nullptr);

    // Fills the object from raw record bytes (46 or 30 bytes) and a stored name.
    void SetFromCentral(const std::uint8_t *record, const std::string &rawName);
    void SetFromLocal(const std::uint8_t *record, const std::string &rawName);

private:
    void setNameFromRaw(const std::string &raw, bool dosStyle);
    std::uint16_t storedFlags(const std::string &stored) const;
    void updateNameLength();

    std::string m_fileName;
    std::string m_directory;
    std::string m_rawName;
    std::string m_rawDecoded; // what m_rawName decoded to
    std::optional<std::string> m_comment;
};

// Decodes a stored name by the rules above; "\" becomes "/" for MS-DOS style names.
std::string decodeEntryName(const std::string &raw, std::uint16_t flags, bool dosStyle, bool oemConvert);

// Removes the Zip64 field (tag 1) from an extra field.
std::vector<std::uint8_t> stripZip64Extra(const std::uint8_t *extra, std::size_t len);

// The extended timestamp (tag 0x5455, "UT"): the modification time in seconds since the epoch,
// whatever the time zone, as Info-ZIP and 7-Zip read and write it. The field holds a signed 32-bit
// value; a time outside 1970-2038 gets no field (readers differ on how they read the sign).
inline constexpr std::uint16_t kExtendedTimeTag = 0x5455;
std::vector<std::uint8_t> extendedTimeField(std::int64_t modTime);
// The modification time of an extended timestamp in an extra field (local or central form).
std::optional<std::int64_t> extendedModTime(const std::vector<std::uint8_t> &extra);

// The first entry whose local record (header and data, as far as the sizes tell) overlaps another
// entry's or the central directory; null when they lie apart. Offsets are those of one stream.
const TZipHeaderInfo *firstOverlappingEntry(const std::vector<const TZipHeaderInfo *> &entries,
                                            std::uint64_t centralOffset, std::uint64_t centralSize);

} // namespace qv
