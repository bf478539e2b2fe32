// TFilesList: folder paths once each, names in fixed blocks, entries in fixed chunks, a tagged table.
#include "core/engine/FilesList.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace qv {

namespace {

std::uint64_t mix(std::uint32_t folder, std::string_view name, std::uint8_t slash)
{
    std::uint64_t h = std::hash<std::string_view>{}(name);
    h ^= (static_cast<std::uint64_t>(folder) * 2 + slash + 1) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    return h;
}

// `path` split into its folder (up to and with the last "/" before the name) and its name.
struct SplitPath {
    std::string_view folder;
    std::string_view name;
    bool slash = false;
};

SplitPath split(std::string_view path)
{
    SplitPath s;
    s.slash = !path.empty() && path.back() == '/';
    std::string_view body = s.slash ? path.substr(0, path.size() - 1) : path;
    const std::size_t cut = body.rfind('/');
    const std::size_t nameAt = cut == std::string_view::npos ? 0 : cut + 1;
    s.folder = body.substr(0, nameAt);
    s.name = body.substr(nameAt);
    return s;
}

} // namespace

std::uint32_t TFilesList::storeName(std::string_view name)
{
    if (name.size() > 0x7FFF) {
        throw std::length_error("a name in a file list is longer than 32767 bytes");
    }
    const std::size_t prefix = name.size() < 0x80 ? 1 : 2;
    if (m_blocks.empty() || m_blockUsed + prefix + name.size() > kBlockSize) {
        if (m_blocks.size() >= (std::size_t{1} << (32 - kBlockShift))) {
            throw std::length_error("too many names in one file list");
        }
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize)); // pages touched as names fill them
        m_blockUsed = 0;
    }
    const std::size_t at = ((m_blocks.size() - 1) << kBlockShift) + m_blockUsed;
    char *to = m_blocks.back().get() + m_blockUsed;
    if (prefix == 1) {
        to[0] = static_cast<char>(name.size());
    } else {
        to[0] = static_cast<char>(0x80 | (name.size() >> 8));
        to[1] = static_cast<char>(name.size() & 0xFF);
    }
    std::memcpy(to + prefix, name.data(), name.size());
    m_blockUsed += prefix + name.size();
    return static_cast<std::uint32_t>(at);
}

std::ptrdiff_t TFilesList::knownFolder(std::string_view folder) const
{
    if (m_hasLastFolder && m_folderPaths[m_lastFolder] == folder) {
        return m_lastFolder;
    }
    auto it = m_folderIds.find(folder);
    return it == m_folderIds.end() ? -1 : static_cast<std::ptrdiff_t>(it->second);
}

std::uint32_t TFilesList::folderIndex(std::string_view folder)
{
    std::ptrdiff_t known = knownFolder(folder);
    if (known < 0) {
        if (m_folderPaths.size() >= kFolderMask) {
            throw std::length_error("too many folders in one file list");
        }
        known = static_cast<std::ptrdiff_t>(m_folderPaths.size());
        m_folderPaths.emplace_back(folder);
        m_folderIds.emplace(m_folderPaths.back(), static_cast<std::uint32_t>(known));
    }
    m_lastFolder = static_cast<std::uint32_t>(known);
    m_hasLastFolder = true;
    return m_lastFolder;
}

void TFilesList::append(std::uint32_t folder, std::string_view name, std::uint8_t flags, const FileEntryInfo &info)
{
    if ((m_count >> kChunkShift) >= m_chunks.size()) {
        m_chunks.push_back(std::make_unique_for_overwrite<Entry[]>(kChunkSize));
    }
    Entry &e = m_chunks[m_count >> kChunkShift][m_count & (kChunkSize - 1)];
    e.nameAt = storeName(name);
    e.folderFlags = folder | (static_cast<std::uint32_t>(flags) << 30);
    std::uint64_t size = static_cast<std::uint64_t>(info.size);
    if (info.size < 0 || size >= kSizeMask) {
        m_bigSizes[static_cast<std::uint32_t>(m_count)] = info.size;
        size = kSizeMask;
    }
    e.sizeMode = size | (static_cast<std::uint64_t>(info.mode & 0xFFFF) << 48);
    e.mtimeNs = info.mtimeNs;
    ++m_count;
}

FileEntryInfo TFilesList::info(std::size_t i) const
{
    const Entry &e = entry(i);
    std::int64_t size = static_cast<std::int64_t>(e.sizeMode & kSizeMask);
    if ((e.sizeMode & kSizeMask) == kSizeMask) {
        size = m_bigSizes.at(static_cast<std::uint32_t>(i));
    }
    return FileEntryInfo{size, e.mtimeNs, static_cast<std::uint32_t>(e.sizeMode >> 48), (e.flags() & kFolder) != 0};
}

bool TFilesList::equal(const Entry &e, std::uint32_t folder, std::string_view name, std::uint8_t slash) const
{
    return e.folder() == folder && (e.flags() & kSlash) == slash && this->name(e) == name;
}

std::size_t TFilesList::findSlot(std::uint32_t folder, std::string_view name, std::uint8_t slash,
                                 std::uint64_t hash) const
{
    const std::size_t mask = m_table.size() - 1;
    std::size_t slot = hash & mask;
    while (m_table[slot] != 0 && !equal(entry(m_table[slot] - 1), folder, name, slash)) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

std::uint64_t TFilesList::hashOf(std::size_t i) const
{
    const Entry &e = entry(i);
    return mix(e.folder(), name(e), e.flags() & kSlash);
}

void TFilesList::index(std::size_t i) const
{
    const std::size_t mask = m_table.size() - 1;
    std::size_t slot = hashOf(i) & mask;
    while (m_table[slot] != 0) {
        slot = (slot + 1) & mask;
    }
    m_table[slot] = static_cast<std::uint32_t>(i + 1);
}

void TFilesList::indexAll(std::size_t extra) const
{
    const std::size_t wanted = m_count + extra;
    if (wanted * 4 > m_table.size() * 3) {
        std::size_t buckets = 1024;
        while (wanted * 4 > buckets * 3) {
            buckets *= 2;
        }
        m_table.assign(buckets, 0);
        m_indexed = 0;
    }
    for (; m_indexed < m_count; ++m_indexed) {
        index(m_indexed);
    }
}

std::size_t TFilesList::add(std::uint32_t folder, std::string_view name, bool slash, const FileEntryInfo &info)
{
    if (m_count >= 0xFFFFFFF0u) {
        throw std::length_error("too many entries in one file list");
    }
    indexAll(1);
    const std::uint8_t slashFlag = slash ? kSlash : 0;
    const std::size_t slot = findSlot(folder, name, slashFlag, mix(folder, name, slashFlag));
    if (m_table[slot] != 0) {
        return m_table[slot] - 1;
    }
    append(folder, name, static_cast<std::uint8_t>(slashFlag | (info.isFolder ? kFolder : 0)), info);
    m_table[slot] = static_cast<std::uint32_t>(m_count);
    m_indexed = m_count;
    return m_count - 1;
}

std::size_t TFilesList::appendNew(std::string_view folder, std::string_view name, bool trailingSlash,
                                  const FileEntryInfo &info)
{
    if (m_count >= 0xFFFFFFF0u) {
        throw std::length_error("too many entries in one file list");
    }
    append(folderIndex(folder), name, static_cast<std::uint8_t>((trailingSlash ? kSlash : 0) | (info.isFolder ? kFolder : 0)),
           info);
    return m_count - 1;
}

std::size_t TFilesList::FileAdd(std::string_view path, const FileEntryInfo &info)
{
    const SplitPath s = split(path);
    return add(folderIndex(s.folder), s.name, s.slash, info);
}

std::size_t TFilesList::FileAdd(std::string_view folder, std::string_view name, bool trailingSlash,
                                const FileEntryInfo &info)
{
    return add(folderIndex(folder), name, trailingSlash, info);
}

std::ptrdiff_t TFilesList::indexOf(std::string_view path) const
{
    if (m_count == 0) {
        return -1;
    }
    const SplitPath s = split(path);
    const std::ptrdiff_t folder = knownFolder(s.folder);
    if (folder < 0) {
        return -1;
    }
    indexAll(0);
    const std::uint8_t slash = s.slash ? kSlash : 0;
    const auto f = static_cast<std::uint32_t>(folder);
    const std::size_t slot = findSlot(f, s.name, slash, mix(f, s.name, slash));
    return static_cast<std::ptrdiff_t>(m_table[slot]) - 1;
}

void TFilesList::indexByFolder() const
{
    m_byFolderCount = m_count;
    m_byFolder = true;
    m_folderFiles.assign(m_folderPaths.size(), {0, 0});
    m_folderEntries.clear();
    for (std::size_t i = 0; i < m_count && m_byFolder; ++i) {
        const Entry &e = entry(i);
        if ((e.flags() & kSlash) != 0) {
            m_folderEntries.push_back(static_cast<std::uint32_t>(i));
            continue;
        }
        auto &[first, count] = m_folderFiles[e.folder()];
        if (count == 0) {
            first = static_cast<std::uint32_t>(i);
            count = 1;
        } else if (first + count == i && name(entry(i - 1)) < name(e)) {
            ++count;
        } else {
            m_byFolder = false; // not as a scan makes it: the table answers
        }
    }
    if (!m_byFolder) {
        m_folderFiles = {};
        m_folderEntries = {};
        return;
    }
    std::sort(m_folderEntries.begin(), m_folderEntries.end(), [this](std::uint32_t a, std::uint32_t b) {
        const Entry &x = entry(a);
        const Entry &y = entry(b);
        return x.folder() != y.folder() ? x.folder() < y.folder() : name(x) < name(y);
    });
}

bool TFilesList::holds(std::string_view path) const
{
    if (m_count == 0) {
        return false;
    }
    if (m_byFolderCount != m_count) {
        indexByFolder();
    }
    if (!m_byFolder) {
        return contains(path);
    }
    const SplitPath s = split(path);
    const std::ptrdiff_t known = knownFolder(s.folder);
    if (known < 0) {
        return false;
    }
    const auto folder = static_cast<std::uint32_t>(known);
    if (s.slash) {
        auto it = std::lower_bound(m_folderEntries.begin(), m_folderEntries.end(), 0u,
                                   [&](std::uint32_t i, std::uint32_t) {
                                       const Entry &e = entry(i);
                                       return e.folder() != folder ? e.folder() < folder : name(e) < s.name;
                                   });
        return it != m_folderEntries.end() && entry(*it).folder() == folder && name(entry(*it)) == s.name;
    }
    const auto [first, count] = m_folderFiles[folder];
    std::size_t low = first;
    std::size_t high = std::size_t{first} + count;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (name(entry(mid)) < s.name) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low < std::size_t{first} + count && name(entry(low)) == s.name;
}

std::string TFilesList::path(std::size_t i) const
{
    const Entry &e = entry(i);
    const std::string &folder = m_folderPaths[e.folder()];
    const std::string_view own = name(e);
    std::string p;
    p.reserve(folder.size() + own.size() + 1);
    p.append(folder).append(own);
    if ((e.flags() & kSlash) != 0) {
        p.push_back('/');
    }
    return p;
}

bool TFilesList::isInside(std::size_t i, std::string_view folder) const
{
    const Entry &e = entry(i);
    std::string_view own = m_folderPaths[e.folder()];
    std::string_view entryName = name(e);
    if (own.size() >= folder.size()) {
        const std::size_t length = own.size() + entryName.size() + ((e.flags() & kSlash) != 0 ? 1 : 0);
        return length > folder.size() && own.compare(0, folder.size(), folder) == 0;
    }
    // The folder path is longer than the entry's own folder: compare the rest with the name.
    if (folder.compare(0, own.size(), own) != 0) {
        return false;
    }
    std::string_view rest = folder.substr(own.size());
    const bool slash = (e.flags() & kSlash) != 0;
    // The entry is `own` + name (+ "/"); it is inside `folder` when it is longer and starts with it.
    const std::size_t entryRest = entryName.size() + (slash ? 1 : 0);
    if (entryRest <= rest.size()) {
        return false;
    }
    if (rest.size() <= entryName.size()) {
        return entryName.compare(0, rest.size(), rest) == 0;
    }
    return false; // rest is longer than the name: only name + "/" could match, and that is not longer
}

void TFilesList::removeIf(const std::vector<bool> &remove)
{
    TFilesList kept;
    for (std::size_t i = 0; i < m_count; ++i) {
        if (i >= remove.size() || !remove[i]) {
            const Entry &e = entry(i);
            kept.append(kept.folderIndex(m_folderPaths[e.folder()]), name(e), e.flags(), info(i));
        }
    }
    const bool wasIndexed = !m_table.empty();
    *this = std::move(kept);
    if (wasIndexed) {
        indexAll(0);
    }
}

void TFilesList::clear()
{
    *this = TFilesList();
}

} // namespace qv
