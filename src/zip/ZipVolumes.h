// The volumes of a blocked archive ("mmBlocks"): their names, and the set read as one stream.
//
// The first volume is the archive file itself (disk 0); disk d > 0 lives beside it in a file
// whose extension is the 1-based disk number in three digits ("backup.002" holds disk 1). The
// end record is also kept in a small configuration file with the extension ".zfc", which is how
// a reader knows that the archive file is the first of a set. Offsets in the records count from
// the start of their own volume; readers see the set as one stream and records as positions in it.
#pragma once

#include "zip/ZipStream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// The archive name without its extension, e.g. "/b/backup" for "/b/backup.zip".
std::string zipNameStem(const std::string &zipName);
// The file of disk `disk` (0-based) of a blocked archive.
std::string zipVolumeName(const std::string &zipName, int disk);
// The configuration file of a blocked archive.
std::string zipConfigName(const std::string &zipName);
// A folder for scratch files off the archive's disks: `preferred` when it is a folder, else
// $TMPDIR when it is one, else /tmp.
std::string zipScratchFolder(const std::string &preferred = {});

class ZipVolumeStream : public TStream
{
public:
    // Opens the files in order; a missing or unreadable one raises EIncompleteZip naming it.
    explicit ZipVolumeStream(const std::vector<std::string> &names);

    std::int64_t Read(void *buffer, std::int64_t n) override;
    std::int64_t Write(const void *buffer, std::int64_t n) override;
    std::int64_t Seek(std::int64_t offset, int origin) override;
    std::int64_t Size() override { return m_size; }

    int Count() const { return static_cast<int>(m_files.size()); }
    // Where disk `disk` begins in the stream.
    std::int64_t VolumeStart(int disk) const { return m_starts.at(static_cast<std::size_t>(disk)); }

private:
    std::vector<std::unique_ptr<TFileStream>> m_files;
    std::vector<std::int64_t> m_starts;
    std::int64_t m_size = 0;
    std::int64_t m_pos = 0;
};

} // namespace qv
