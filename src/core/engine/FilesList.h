// TFilesList: the ordered list of paths one scan took, without duplicates.
//
// A scan can hold millions of entries, so the list is built for memory. An entry keeps no path of
// its own: it holds the index of its folder and its name. The folders' paths are kept once each,
// the names back to back in fixed blocks (each after its length, one byte below 128, else two),
// and the entries (24 bytes each: a size of 256 TiB or more is kept aside) in fixed chunks, so
// growing the list never copies what it holds (no moment with two copies of a large list). An
// open-addressing table of entry numbers (4 bytes a slot) finds an equal path in constant time;
// it is made only when a lookup first needs it, so a scan that cannot meet a path twice (one
// folder tree into an empty list) never pays for it. Names compare exactly: byte for byte,
// case-sensitively. Folders are stored with a trailing "/".
//
// Lookups (FileAdd, indexOf, contains) may build the table: a list is used by one thread at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qv {

struct FileEntryInfo {
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint32_t mode = 0;
    bool isFolder = false;
};

class TFilesList
{
public:
    TFilesList() = default;
    TFilesList(const TFilesList &) = delete;
    TFilesList &operator=(const TFilesList &) = delete;
    TFilesList(TFilesList &&) = default;
    TFilesList &operator=(TFilesList &&) = default;

    // The index of an equal path, or the index of `path` appended with `info`.
    std::size_t FileAdd(std::string_view path, const FileEntryInfo &info = {});
    // The same for `name` inside `folder` (which ends with "/"); `folder` + `name` is never built.
    std::size_t FileAdd(std::string_view folder, std::string_view name, bool trailingSlash, const FileEntryInfo &info);
    // Appends without looking for an equal path: the caller knows the list cannot hold it (a scan of
    // one tree into a list that was empty). Returns the new index.
    std::size_t appendNew(std::string_view folder, std::string_view name, bool trailingSlash,
                          const FileEntryInfo &info);
    // The index of `path`, or -1.
    std::ptrdiff_t indexOf(std::string_view path) const;
    bool contains(std::string_view path) const { return indexOf(path) >= 0; }
    // The same answer without the lookup table, for a list a scan made: where each folder's files
    // follow one another sorted by name, a file is looked for among its folder's files and a folder
    // among the list's folders, which costs a few bytes per folder instead of four per slot of the
    // table. Any other list is asked through the table.
    bool holds(std::string_view path) const;

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    // The full path of entry `i`, made from its folder and name.
    std::string path(std::size_t i) const;
    // The folder that holds entry `i` (ends with "/", or is empty) and its name (without "/").
    std::string_view folderOf(std::size_t i) const { return m_folderPaths[entry(i).folder()]; }
    std::string_view nameOf(std::size_t i) const { return name(entry(i)); }
    FileEntryInfo info(std::size_t i) const;
    bool isFolder(std::size_t i) const { return (entry(i).flags() & kFolder) != 0; }
    // True when entry `i` lies below `folder` (a path ending with "/"), comparing without copies.
    bool isInside(std::size_t i, std::string_view folder) const;

    // Frees the lookup table; the next lookup makes it again.
    void dropIndex()
    {
        m_table = {};
        m_indexed = 0;
    }
    // Removes the entries whose flag is set (keeps order); used to drop empty folders.
    void removeIf(const std::vector<bool> &remove);
    void clear();

private:
    static constexpr std::uint32_t kFolderMask = (std::uint32_t{1} << 30) - 1;
    static constexpr std::uint64_t kSizeMask = (std::uint64_t{1} << 48) - 1; // also marks a size kept aside
    struct Entry {
        std::uint64_t sizeMode;    // the size in the low 48 bits, the mode's 16 bits above
        std::int64_t mtimeNs;
        std::uint32_t nameAt;      // offset of the name's length in the name blocks
        std::uint32_t folderFlags; // index into m_folderPaths, the flags in the top two bits
        std::uint32_t folder() const { return folderFlags & kFolderMask; }
        std::uint8_t flags() const { return static_cast<std::uint8_t>(folderFlags >> 30); }
    };
    static_assert(sizeof(Entry) == 24);
    static constexpr std::uint8_t kFolder = 1;
    static constexpr std::uint8_t kSlash = 2;
    static constexpr std::size_t kChunkShift = 12; // 4096 entries per chunk
    static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkShift;
    static constexpr std::size_t kBlockShift = 18; // 256 KiB of names per block
    static constexpr std::size_t kBlockSize = std::size_t{1} << kBlockShift;

    const Entry &entry(std::size_t i) const { return m_chunks[i >> kChunkShift][i & (kChunkSize - 1)]; }
    std::string_view name(const Entry &e) const
    {
        const auto *at =
            reinterpret_cast<const unsigned char *>(m_blocks[e.nameAt >> kBlockShift].get() + (e.nameAt & (kBlockSize - 1)));
        if (at[0] < 0x80) {
            return {reinterpret_cast<const char *>(at + 1), at[0]};
        }
        return {reinterpret_cast<const char *>(at + 2), (static_cast<std::size_t>(at[0] & 0x7F) << 8) | at[1]};
    }
    std::uint32_t storeName(std::string_view name);
    std::uint32_t folderIndex(std::string_view folder);
    std::ptrdiff_t knownFolder(std::string_view folder) const;
    void append(std::uint32_t folder, std::string_view name, std::uint8_t flags, const FileEntryInfo &info);
    bool equal(const Entry &e, std::uint32_t folder, std::string_view name, std::uint8_t slash) const;
    std::size_t findSlot(std::uint32_t folder, std::string_view name, std::uint8_t slash, std::uint64_t hash) const;
    std::uint64_t hashOf(std::size_t i) const;
    void index(std::size_t i) const;
    // Makes the table cover every entry, growing it to stay at most 3/4 full with `extra` more.
    void indexAll(std::size_t extra) const;
    std::size_t add(std::uint32_t folder, std::string_view name, bool slash, const FileEntryInfo &info);

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockUsed = kBlockSize;
    std::vector<std::unique_ptr<Entry[]>> m_chunks;
    std::size_t m_count = 0;
    mutable std::vector<std::uint32_t> m_table; // index + 1; 0 = empty slot
    mutable std::size_t m_indexed = 0;          // entries [0, m_indexed) are in the table
    std::deque<std::string> m_folderPaths;                     // stable: views below point into it
    std::unordered_map<std::string_view, std::uint32_t> m_folderIds;
    std::unordered_map<std::uint32_t, std::int64_t> m_bigSizes; // entry -> a size the entry cannot hold
    // holds(): each folder's files (first entry, count), the folder entries sorted by (folder, name);
    // made at its first call, as long as nothing is added.
    void indexByFolder() const;
    mutable std::vector<std::pair<std::uint32_t, std::uint32_t>> m_folderFiles;
    mutable std::vector<std::uint32_t> m_folderEntries;
    mutable std::size_t m_byFolderCount = 0; // the size of the list they were made for (0: not made)
    mutable bool m_byFolder = false;         // the list is in scan order: they answer
    std::uint32_t m_lastFolder = 0; // the folder of the last addition: scans add a folder's files in a row
    bool m_hasLastFolder = false;
};

} // namespace qv
