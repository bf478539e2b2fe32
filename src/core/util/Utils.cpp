// Shared utilities: file CRC-32.
#include "core/util/Utils.h"

#include "platform/FileCrc.h"

namespace qv {

bool GetFileCRC32(const std::string &fileName, std::uint32_t &crc)
{
    return fileCrc32(fileName, crc);
}

} // namespace qv
