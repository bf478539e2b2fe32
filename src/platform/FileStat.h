// What the program needs to know of a path from one stat: kind, size, times, mode and identity.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct PathStat
{
    bool exists = false;
    bool isFolder = false;
    bool isRegular = false;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t atimeNs = 0;
    std::uint32_t mode = 0;
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    int error = 0; // errno when !exists
};

// stat() (following symbolic links).
PathStat statPath(const std::string &path);

// The full path of the running program (its /proc link resolved); empty when it cannot be read.
std::string runningProgramPath();

} // namespace qv
