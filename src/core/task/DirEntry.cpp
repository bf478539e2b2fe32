// Reading a directory entry through the platform's stat and attribute emulation.
#include "core/task/DirEntry.h"

#include "platform/FileAttributes.h"
#include "platform/FileStat.h"

namespace qv {
namespace {

FileTime fileTime(std::int64_t ns)
{
    std::int64_t seconds = ns / 1000000000;
    std::int64_t rest = ns % 1000000000;
    if (rest < 0) {
        rest += 1000000000;
        --seconds;
    }
    return {seconds, static_cast<std::int32_t>(rest)};
}

} // namespace

int readDirEntry(const std::string &folder, const std::string &name, DirEntry &entry)
{
    std::string path = folder;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += name;
    const PathStat st = statEntry(path);
    if (!st.exists) {
        return st.error;
    }
    std::uint32_t attributes = 0;
    int error = 0;
    if (!FileAttributes::read(path, attributes, &error)) {
        return error;
    }
    entry.name = name;
    entry.isSymlink = st.isSymlink;
    entry.size = st.isFolder ? 0 : static_cast<std::uint64_t>(st.size);
    entry.lastWriteTime = fileTime(st.mtimeNs);
    entry.lastAccessTime = fileTime(st.atimeNs);
    entry.creationTime = fileTime(st.createdNs);
    entry.attributes = attributes;
    return 0;
}

} // namespace qv
