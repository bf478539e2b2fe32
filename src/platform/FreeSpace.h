// Free space on the file system that holds a path.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

class FreeSpace
{
public:
    // Bytes an unprivileged user may still write on the file system of `path`, asked of the
    // nearest folder on the way up that exists (a destination is often not created yet).
    // -1 when no folder of the path can be asked.
    static std::int64_t availableBytes(const std::string &path);
};

} // namespace qv
