// TZipWriter: writing an archive as volumes of a fixed size (MultiZipInfo.MultiMode mmBlocks).
//
// The archive is written whole into the temporary file as usual; only its central directory
// counts offsets per volume. At the commit the file is cut where the volumes begin: the first
// volume keeps the archive's name, the others take the disk number as their extension, and the
// end record is also saved in the ".zfc" configuration file that tells readers of the set. A
// volume is cut short only where the end record would otherwise be split, since readers look
// for it whole at the end of the last volume.
#include "zip/ZipWriter.h"

#include "zip/ZipArchiveOutput.h"
#include "zip/ZipErrors.h"
#include "zip/ZipVolumes.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace qv {

namespace {

// Room for the longest end record (22 bytes and a comment of 65,535) in any volume.
constexpr int64_t kMinVolumeSize = 22 + 65535 + 1;

} // namespace

void TZipWriter::SetMultiMode(TMultiMode mode)
{
    MultiZipInfo.MultiMode = mode;
    TZipReader::SetMultiMode(mode);
}

void TZipWriter::SetCheckDiskLabels(bool on)
{
    MultiZipInfo.CheckDiskLabels = on;
    TZipReader::SetCheckDiskLabels(on);
}

// The directory and end record of an archive in one file, from `start`.
void TZipWriter::writePlainDirectory(TStream &out, int64_t start)
{
    out.Seek(start, soBeginning);
    for (TZipHeaderInfo &entry : m_newEntries) {
        entry.SaveCentralToStream(out);
    }
    m_newEnd.ThisDiskNumber = 0;
    m_newEnd.CentralDiskNumber = 0;
    m_newEnd.EntriesOnDisk = m_newEntries.size();
    m_newEnd.TotalEntries = m_newEntries.size();
    m_newEnd.CentralOffset = static_cast<uint64_t>(start);
    m_newEnd.CentralSize = static_cast<uint64_t>(out.Position() - start);
    m_newEnd.SaveToStream(out);
}

void TZipWriter::writeVolumeDirectory(int64_t start)
{
    const int64_t first = MultiZipInfo.FirstBlockSize;
    const int64_t block = MultiZipInfo.BlockSize;
    if (first < kMinVolumeSize || block < kMinVolumeSize) {
        throw EZipError("Volumes must hold at least " + std::to_string(kMinVolumeSize) + " bytes");
    }
    auto diskOf = [&](int64_t pos) { return pos < first ? 0 : static_cast<int>(1 + (pos - first) / block); };
    auto startOf = [&](int disk) { return disk == 0 ? int64_t{0} : first + (disk - 1) * block; };

    TMemoryStream central;
    std::vector<int64_t> recordStarts;
    for (const TZipHeaderInfo &entry : m_newEntries) {
        TZipHeaderInfo record = entry;
        const int disk = diskOf(static_cast<int64_t>(entry.RelativeOffset));
        record.DiskNumberStart = static_cast<uint32_t>(disk);
        record.RelativeOffset = entry.RelativeOffset - static_cast<uint64_t>(startOf(disk));
        recordStarts.push_back(start + central.Position());
        record.SaveCentralToStream(central);
    }
    const int64_t endAt = start + central.Size();
    const int centralDisk = diskOf(start);
    m_newEnd.CentralDiskNumber = static_cast<uint32_t>(centralDisk);
    m_newEnd.CentralOffset = static_cast<uint64_t>(start - startOf(centralDisk));
    m_newEnd.CentralSize = static_cast<uint64_t>(central.Size());
    m_newEnd.TotalEntries = m_newEntries.size();

    m_volumeStarts.clear();
    const int endDisk = diskOf(endAt);
    for (int d = 0; d <= endDisk; ++d) {
        m_volumeStarts.push_back(startOf(d));
    }
    m_newEnd.ThisDiskNumber = static_cast<uint32_t>(endDisk);
    if (endAt + static_cast<int64_t>(m_newEnd.EndCentralSize()) > startOf(endDisk + 1) && endAt > startOf(endDisk)) {
        m_volumeStarts.push_back(endAt); // the end record opens a volume of its own
        m_newEnd.ThisDiskNumber = static_cast<uint32_t>(endDisk + 1);
    }
    if (m_newEnd.ThisDiskNumber > 999) {
        throw EZipError("An archive cannot have more than 999 volumes");
    }
    uint64_t onLast = 0;
    for (const int64_t at : recordStarts) {
        onLast += at >= m_volumeStarts.back() ? 1 : 0;
    }
    m_newEnd.EntriesOnDisk = onLast;
    if (m_newEnd.NeedsZip64()) {
        throw EZipError("An archive in volumes cannot hold Zip64 records");
    }
    m_out->WriteBuffer(central.Data().data(), central.Size());
    m_newEnd.SaveToStream(*m_out);
    TMemoryStream config;
    TEndCentral copy = m_newEnd;
    copy.SaveToStream(config);
    m_volumeConfig = config.Data();
}

void TZipWriter::commitVolumes()
{
    const std::string &target = m_out->archivePath();
    if (m_volumeStarts.size() == 1) {
        // One volume is a plain archive that every reader takes as it is.
        m_out->commit();
        removeStaleVolumes(target, 1);
        return;
    }
    std::vector<std::string> names;
    for (std::size_t d = 0; d < m_volumeStarts.size(); ++d) {
        names.push_back(zipVolumeName(target, static_cast<int>(d)));
    }
    m_out->commitVolumes(m_volumeStarts, names, zipConfigName(target), m_volumeConfig);
    removeStaleVolumes(target, static_cast<int>(names.size()));
}

// Volumes of an earlier, longer set (and, for a set of one, its configuration file) would only
// mislead a reader.
void TZipWriter::removeStaleVolumes(const std::string &target, int fromDisk)
{
    if (fromDisk <= 1 && ::unlink(zipConfigName(target).c_str()) != 0 && errno == ENOENT) {
        return; // never a set here
    }
    for (int d = std::max(fromDisk, 1); d < 1000; ++d) {
        if (::unlink(zipVolumeName(target, d).c_str()) != 0 && errno == ENOENT) {
            break;
        }
    }
}

} // namespace qv
