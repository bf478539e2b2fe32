// TZipReader: reading a blocked archive, whose volumes lie beside the archive file and whose end
// record is kept in the ".zfc" configuration file (see ZipVolumes).
#include "zip/TZipReader.h"

#include "zip/ZipVolumes.h"

#include <algorithm>

namespace qv {

// The volumes of the set are opened as one stream (the files named by OnGetNextDisk).
void TZipReader::openVolumes()
{
    auto volumes = std::make_unique<ZipVolumeStream>(m_volumeNames);
    m_file.reset();
    m_stream = std::make_unique<TS_BufferStream>(volumes.get(), kArchiveBuffer);
    m_volumes = std::move(volumes);
}

// A blocked archive: its end record comes from the configuration file, and every volume it
// counts must be there; a missing one is named, never read as a shorter archive.
bool TZipReader::readBlockedEnd()
{
    const std::string config = zipConfigName(m_zipName);
    TFileStream f(config, fmOpenRead);
    TEndCentral ec;
    if (!ec.ReadFromStream(f) || ec.ThisDiskNumber == 0 || ec.ThisDiskNumber > 999 ||
        ec.CentralDiskNumber > ec.ThisDiskNumber) {
        discardArchive();
        throw EIncompleteZip("The volume configuration file " + config + " is damaged");
    }
    if (ec.HasComment()) {
        std::string text(ec.ZipCommentLen, '\0');
        f.Seek(static_cast<std::int64_t>(ec.ZipCommentPos), soBeginning);
        text.resize(static_cast<std::size_t>(std::max<std::int64_t>(f.Read(text.data(), ec.ZipCommentLen), 0)));
        ec.LoadZipComment(text);
    }
    std::vector<std::string> names;
    for (std::uint32_t d = 0; d <= ec.ThisDiskNumber; ++d) {
        std::string name = zipVolumeName(m_zipName, static_cast<int>(d));
        if (d > 0 && OnGetNextDisk) {
            OnGetNextDisk(static_cast<int>(d) + 1, name);
            if (name.empty()) {
                discardArchive();
                throw EUserCanceled("User canceled loading new disk.");
            }
        }
        names.push_back(name);
    }
    m_volumeNames = names;
    try {
        openVolumes();
    } catch (...) {
        discardArchive();
        throw;
    }
    auto *volumes = static_cast<ZipVolumeStream *>(m_volumes.get());
    ec.CentralOffset += static_cast<std::uint64_t>(volumes->VolumeStart(static_cast<int>(ec.CentralDiskNumber)));
    if (ec.CentralOffset + ec.CentralSize > static_cast<std::uint64_t>(volumes->Size())) {
        discardArchive();
        throw EIncompleteZip("The volumes of " + m_zipName + " are shorter than " + config + " says");
    }
    m_endCentral = ec;
    // A set on removable media is read the same way; the mode tells the caller where it lies.
    m_multiMode = FileSystem().IsRemovable(m_zipName) ? mmSpan : mmBlocks;
    return true;
}

// The directory of the set; offsets in the records count from the start of their volume.
void TZipReader::readBlockedDirectory()
{
    readCentralDirectory();
    auto *volumes = static_cast<ZipVolumeStream *>(m_volumes.get());
    for (TZipHeaderInfo *e : *m_directory) {
        if (static_cast<int>(e->DiskNumberStart) >= volumes->Count()) {
            discardArchive();
            throw EBadZipFile(ziptext::kNotAZip);
        }
        e->RelativeOffset += static_cast<std::uint64_t>(volumes->VolumeStart(static_cast<int>(e->DiskNumberStart)));
    }
    refuseOverlappingEntries();
}

} // namespace qv
