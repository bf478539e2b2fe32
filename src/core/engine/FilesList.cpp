// TFilesList: paths in fixed blocks, entries in fixed chunks, a tagged open-addressing table.
#include "core/engine/FilesList.h"

#include <cstring>
#include <functional>
#include <stdexcept>

namespace qv {

namespace {

std::uint64_t hashPath(std::string_view s)
{
    return std::hash<std::string_view>{}(s);
}

std::uint64_t tagOf(std::uint64_t hash)
{
    return (hash >> 32) | 1; // never 0, so an occupied slot is never 0
}

} // namespace

const char *TFilesList::store(std::string_view path)
{
    if (path.size() > kBlockSize / 4) {
        // A very long path gets a block of its own; the current block stays open.
        auto own = std::make_unique<char[]>(path.size() + 1);
        std::memcpy(own.get(), path.data(), path.size());
        const char *text = own.get();
        m_blocks.insert(m_blocks.end() - (m_blocks.empty() ? 0 : 1), std::move(own));
        return text;
    }
    if (m_blocks.empty() || m_blockUsed + path.size() > kBlockSize) {
        m_blocks.push_back(std::make_unique<char[]>(kBlockSize));
        m_blockUsed = 0;
    }
    char *text = m_blocks.back().get() + m_blockUsed;
    std::memcpy(text, path.data(), path.size());
    m_blockUsed += path.size();
    return text;
}

void TFilesList::append(std::string_view path, const FileEntryInfo &info)
{
    if ((m_count >> kChunkShift) >= m_chunks.size()) {
        m_chunks.push_back(std::make_unique<Entry[]>(kChunkSize));
    }
    Entry &e = m_chunks[m_count >> kChunkShift][m_count & (kChunkSize - 1)];
    e.text = store(path);
    e.length = static_cast<std::uint32_t>(path.size());
    e.size = info.size;
    e.mtimeNs = info.mtimeNs;
    e.mode = static_cast<std::uint16_t>(info.mode);
    e.folder = info.isFolder ? 1 : 0;
    ++m_count;
}

std::size_t TFilesList::findSlot(std::string_view path, std::uint64_t hash) const
{
    const std::size_t mask = m_table.size() - 1;
    const std::uint64_t tag = tagOf(hash);
    std::size_t slot = hash & mask;
    while (m_table[slot] != 0) {
        const std::uint64_t v = m_table[slot];
        if ((v >> 32) == tag && this->path((v & 0xFFFFFFFFu) - 1) == path) {
            return slot;
        }
        slot = (slot + 1) & mask;
    }
    return slot;
}

void TFilesList::rehash(std::size_t buckets)
{
    std::vector<std::uint64_t> table(buckets, 0);
    const std::size_t mask = buckets - 1;
    for (std::size_t i = 0; i < m_count; ++i) {
        const std::uint64_t h = hashPath(path(i));
        std::size_t slot = h & mask;
        while (table[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        table[slot] = (tagOf(h) << 32) | (i + 1);
    }
    m_table.swap(table);
}

std::size_t TFilesList::FileAdd(std::string_view path, const FileEntryInfo &info)
{
    if (m_count >= 0xFFFFFFF0u || path.size() >= 0xFFFFFFFFu) {
        throw std::length_error("too many entries in one file list");
    }
    if ((m_count + 1) * 2 > m_table.size()) {
        rehash(m_table.empty() ? 1024 : m_table.size() * 2);
    }
    const std::uint64_t h = hashPath(path);
    const std::size_t slot = findSlot(path, h);
    if (m_table[slot] != 0) {
        return (m_table[slot] & 0xFFFFFFFFu) - 1;
    }
    append(path, info);
    m_table[slot] = (tagOf(h) << 32) | m_count;
    return m_count - 1;
}

std::ptrdiff_t TFilesList::indexOf(std::string_view path) const
{
    if (m_table.empty()) {
        return -1;
    }
    const std::size_t slot = findSlot(path, hashPath(path));
    return m_table[slot] == 0 ? -1 : static_cast<std::ptrdiff_t>(m_table[slot] & 0xFFFFFFFFu) - 1;
}

void TFilesList::removeIf(const std::vector<bool> &remove)
{
    TFilesList kept;
    for (std::size_t i = 0; i < m_count; ++i) {
        if (i >= remove.size() || !remove[i]) {
            kept.append(path(i), info(i));
        }
    }
    std::size_t buckets = 1024;
    while (buckets < kept.m_count * 2) {
        buckets *= 2;
    }
    kept.rehash(buckets);
    m_blocks.swap(kept.m_blocks);
    m_blockUsed = kept.m_blockUsed;
    m_chunks.swap(kept.m_chunks);
    m_count = kept.m_count;
    m_table.swap(kept.m_table);
}

void TFilesList::clear()
{
    m_blocks.clear();
    m_blockUsed = kBlockSize;
    m_chunks.clear();
    m_count = 0;
    m_table.clear();
}

} // namespace qv
