// TFilesList: the ordered list of paths one scan took, without duplicates.
//
// A scan can hold hundreds of thousands of entries, so the paths live back to back in one buffer
// and the entries refer to them by offset; a small open-addressing table over the entry numbers
// finds an equal path in constant time (names compare exactly: byte for byte, case-sensitively).
// Folders are stored with a trailing "/".
#pragma once

#include <cstdint>
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
    // The index of an equal path, or the index of `path` appended with `info`.
    std::size_t FileAdd(std::string_view path, const FileEntryInfo &info = {});
    // The index of `path`, or -1.
    std::ptrdiff_t indexOf(std::string_view path) const;
    bool contains(std::string_view path) const { return indexOf(path) >= 0; }

    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    std::string_view path(std::size_t i) const
    {
        return {m_arena.data() + m_entries[i].offset, m_entries[i].length};
    }
    const FileEntryInfo &info(std::size_t i) const { return m_entries[i].info; }
    bool isFolder(std::size_t i) const { return m_entries[i].info.isFolder; }

    // Removes the entries whose flag is set (keeps order); used to drop empty folders.
    void removeIf(const std::vector<bool> &remove);
    void clear();

private:
    struct Entry {
        std::uint64_t offset;
        std::uint32_t length;
        FileEntryInfo info;
    };
    std::size_t findSlot(std::string_view path, std::uint64_t hash) const;
    void rehash(std::size_t buckets);

    std::vector<char> m_arena;
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_table; // entry index + 1; 0 = empty slot
};

} // namespace qv
