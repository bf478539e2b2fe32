// TFilesList: the ordered list of paths one scan took, without duplicates.
//
// A scan can hold hundreds of thousands of entries, so the list is built for memory: the paths
// live back to back in fixed blocks, the entries (32 bytes each) in fixed chunks, so growing the
// list never copies what it holds (no moment with two copies of a large list), and a small
// open-addressing table with hash tags finds an equal path in constant time. Names compare
// exactly: byte for byte, case-sensitively. Folders are stored with a trailing "/".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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
    // The index of `path`, or -1.
    std::ptrdiff_t indexOf(std::string_view path) const;
    bool contains(std::string_view path) const { return indexOf(path) >= 0; }

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    std::string_view path(std::size_t i) const
    {
        const Entry &e = entry(i);
        return {e.text, e.length};
    }
    FileEntryInfo info(std::size_t i) const
    {
        const Entry &e = entry(i);
        return FileEntryInfo{e.size, e.mtimeNs, e.mode, e.folder != 0};
    }
    bool isFolder(std::size_t i) const { return entry(i).folder != 0; }

    // Removes the entries whose flag is set (keeps order); used to drop empty folders.
    void removeIf(const std::vector<bool> &remove);
    void clear();

private:
    struct Entry {
        const char *text;
        std::int64_t size;
        std::int64_t mtimeNs;
        std::uint32_t length;
        std::uint16_t mode;
        std::uint8_t folder;
    };
    static constexpr std::size_t kChunkShift = 12; // 4096 entries per chunk
    static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkShift;
    static constexpr std::size_t kBlockSize = 256 * 1024;

    const Entry &entry(std::size_t i) const { return m_chunks[i >> kChunkShift][i & (kChunkSize - 1)]; }
    const char *store(std::string_view path);
    void append(std::string_view path, const FileEntryInfo &info);
    std::size_t findSlot(std::string_view path, std::uint64_t hash) const;
    void rehash(std::size_t buckets);

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockUsed = kBlockSize;
    std::vector<std::unique_ptr<Entry[]>> m_chunks;
    std::size_t m_count = 0;
    std::vector<std::uint64_t> m_table; // (hash tag << 32) | (index + 1); 0 = empty slot
};

} // namespace qv
