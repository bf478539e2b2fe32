// The CRC-32 of a whole file, over the zip library's one CRC table.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

// CRC-32 (the zip format's) of the file's bytes. True when the file was read to its end; a file
// that cannot be opened or read gives false and `crc` 0 (an empty file gives true and 0). A FIFO
// or device is refused rather than waited on.
bool fileCrc32(const std::string &path, std::uint32_t &crc);
// The same for the entry `name` of the open folder `folder` (O_PATH will do), never through a
// link: a link there is not read.
bool fileCrc32At(int folder, const std::string &name, std::uint32_t &crc);

} // namespace qv
