// The end-of-central-directory record with the archive comment, and its Zip64 companions.
#pragma once

#include "zip/ZipRecords.h"

#include <optional>
#include <string>

namespace qv {

// The end of the central directory, with the archive comment.
class TEndCentral
{
public:
    TEndCentral() { Clear(); }
    TEndCentral(const TEndCentral &other) { Assign(other); }
    TEndCentral &operator=(const TEndCentral &other)
    {
        Assign(other);
        return *this;
    }

    std::uint32_t Signature = kEndSignature;
    std::uint32_t ThisDiskNumber = 0;
    std::uint32_t CentralDiskNumber = 0;
    std::uint64_t EntriesOnDisk = 0;
    std::uint64_t TotalEntries = 0;
    std::uint64_t CentralSize = 0;
    std::uint64_t CentralOffset = 0;
    std::uint16_t ZipCommentLen = 0;
    std::uint64_t ZipCommentPos = 0; // file offset of the first comment byte
    std::uint64_t RecordOffset = 0;  // file offset of the end record found
    bool Zip64 = false;              // the values came through a Zip64 end record
    bool Modified = false;           // the comment was changed and must be written

    void Clear();
    void Assign(const TEndCentral &other);

    bool HasComment() const { return ZipCommentLen > 0; }
    bool CommentLoaded() const { return m_comment.has_value(); }
    std::string ZipComment() const { return m_comment.value_or(std::string()); }
    // Replaces the comment (cut at 65,535 bytes) and sets its length.
    void SetZipComment(const std::string &comment);
    // Stores a comment read from the archive, without marking the record changed.
    void LoadZipComment(const std::string &comment) { m_comment = comment; }

    bool NeedsZip64() const;
    // 22 + comment length, plus the Zip64 end record and locator when they are needed.
    std::uint64_t EndCentralSize() const;

    // Writes, at the stream's position, the Zip64 end record and locator when needed, then the
    // end record and the comment.
    void SaveToStream(TStream &stream);
    // Finds the end record at the end of the archive (see the .cpp for the rule); true for an
    // empty stream (no entries), false when no record exists.
    bool ReadFromStream(TStream &stream);

private:
    bool readZip64(TStream &stream, std::uint64_t locatorPos);

    std::optional<std::string> m_comment;
};

} // namespace qv
