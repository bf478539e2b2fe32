// The volumes of a blocked archive read as one stream.
#include "zip/ZipVolumes.h"

#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace qv {

std::string zipNameStem(const std::string &zipName)
{
    const auto dot = zipName.rfind('.');
    const auto slash = zipName.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        return zipName.substr(0, dot);
    }
    return zipName;
}

std::string zipVolumeName(const std::string &zipName, int disk)
{
    if (disk == 0) {
        return zipName;
    }
    char ext[16];
    std::snprintf(ext, sizeof ext, ".%3.3d", disk + 1);
    return zipNameStem(zipName) + ext;
}

std::string zipConfigName(const std::string &zipName) { return zipNameStem(zipName) + ".zfc"; }

std::string zipScratchFolder(const std::string &preferred)
{
    auto isFolder = [](const char *path) {
        struct stat st;
        return path != nullptr && *path != '\0' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
    };
    if (isFolder(preferred.c_str())) {
        return preferred;
    }
    const char *tmp = std::getenv("TMPDIR");
    return isFolder(tmp) ? std::string(tmp) : std::string("/tmp");
}

ZipVolumeStream::ZipVolumeStream(const std::vector<std::string> &names)
{
    for (const std::string &name : names) {
        try {
            m_files.push_back(std::make_unique<TFileStream>(name, fmOpenRead));
        } catch (const EStreamError &e) {
            throw EIncompleteZip("Volume " + name + " of the archive is missing or unreadable: " + e.what());
        }
        m_starts.push_back(m_size);
        m_size += m_files.back()->Size();
    }
}

std::int64_t ZipVolumeStream::Read(void *buffer, std::int64_t n)
{
    auto *out = static_cast<std::uint8_t *>(buffer);
    std::int64_t done = 0;
    while (done < n && m_pos < m_size) {
        // The volume holding the position; a short read there continues in the next one.
        const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), m_pos);
        const auto disk = static_cast<std::size_t>(it - m_starts.begin() - 1);
        TFileStream &f = *m_files[disk];
        const std::int64_t end = disk + 1 < m_starts.size() ? m_starts[disk + 1] : m_size;
        f.Seek(m_pos - m_starts[disk], soBeginning);
        const std::int64_t got = f.Read(out + done, std::min(n - done, end - m_pos));
        if (got <= 0) {
            break;
        }
        done += got;
        m_pos += got;
    }
    return done;
}

std::int64_t ZipVolumeStream::Write(const void *, std::int64_t)
{
    throw EStreamError("The volumes of an archive are read only");
}

std::int64_t ZipVolumeStream::Seek(std::int64_t offset, int origin)
{
    const std::int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? m_pos : m_size;
    m_pos = std::max<std::int64_t>(0, base + offset);
    return m_pos;
}

} // namespace qv
