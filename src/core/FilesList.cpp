// TFilesList: paths in one buffer, an open-addressing table for duplicates.
#include "core/FilesList.h"

#include <stdexcept>

namespace qv {

namespace {
std::uint64_t hashPath(std::string_view s)
{
    std::uint64_t h = 1469598103934665603ull; // FNV-1a
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h ^ (h >> 29);
}
} // namespace

std::size_t TFilesList::findSlot(std::string_view path, std::uint64_t hash) const
{
    const std::size_t mask = m_table.size() - 1;
    std::size_t slot = hash & mask;
    while (m_table[slot] != 0) {
        if (this->path(m_table[slot] - 1) == path) {
            return slot;
        }
        slot = (slot + 1) & mask;
    }
    return slot;
}

void TFilesList::rehash(std::size_t buckets)
{
    m_table.assign(buckets, 0);
    const std::size_t mask = buckets - 1;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        std::size_t slot = hashPath(path(i)) & mask;
        while (m_table[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        m_table[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

std::size_t TFilesList::FileAdd(std::string_view path, const FileEntryInfo &info)
{
    if (m_entries.size() >= 0xFFFFFFF0u) {
        throw std::length_error("too many entries in one file list");
    }
    if ((m_entries.size() + 1) * 2 > m_table.size()) {
        rehash(m_table.empty() ? 1024 : m_table.size() * 2);
    }
    const std::uint64_t h = hashPath(path);
    std::size_t slot = findSlot(path, h);
    if (m_table[slot] != 0) {
        return m_table[slot] - 1;
    }
    Entry e{m_arena.size(), static_cast<std::uint32_t>(path.size()), info};
    m_arena.insert(m_arena.end(), path.begin(), path.end());
    m_entries.push_back(e);
    m_table[slot] = static_cast<std::uint32_t>(m_entries.size());
    return m_entries.size() - 1;
}

std::ptrdiff_t TFilesList::indexOf(std::string_view path) const
{
    if (m_table.empty()) {
        return -1;
    }
    std::size_t slot = findSlot(path, hashPath(path));
    return m_table[slot] == 0 ? -1 : static_cast<std::ptrdiff_t>(m_table[slot]) - 1;
}

void TFilesList::removeIf(const std::vector<bool> &remove)
{
    std::vector<char> arena;
    std::vector<Entry> entries;
    arena.reserve(m_arena.size());
    entries.reserve(m_entries.size());
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (i < remove.size() && remove[i]) {
            continue;
        }
        std::string_view p = path(i);
        entries.push_back(Entry{arena.size(), m_entries[i].length, m_entries[i].info});
        arena.insert(arena.end(), p.begin(), p.end());
    }
    m_arena.swap(arena);
    m_entries.swap(entries);
    std::size_t buckets = 1024;
    while (buckets < m_entries.size() * 2) {
        buckets *= 2;
    }
    rehash(buckets);
}

void TFilesList::clear()
{
    m_arena.clear();
    m_entries.clear();
    m_table.clear();
}

} // namespace qv
