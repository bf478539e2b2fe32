// Path texts: folder, name and final slash of a path.
#include "platform/PathText.h"

namespace qv {

std::string withoutSlash(const std::string &folder)
{
    std::string p = folder;
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    return p;
}

std::string withSlash(const std::string &folder)
{
    if (folder.empty() || folder.back() == '/') {
        return folder;
    }
    return folder + '/';
}

std::string withoutRoot(const std::string &path)
{
    if (path.empty() || path[0] != '/') {
        return {};
    }
    const std::string::size_type start = path.find_first_not_of('/');
    return start == std::string::npos ? std::string() : path.substr(start);
}

std::string folderOf(const std::string &path)
{
    const std::string p = withoutSlash(path);
    const auto pos = p.rfind('/');
    return pos == std::string::npos ? std::string() : p.substr(0, pos + 1);
}

std::string nameOf(const std::string &path)
{
    const std::string p = withoutSlash(path);
    const auto pos = p.rfind('/');
    return pos == std::string::npos ? p : p.substr(pos + 1);
}

std::string parentOf(const std::string &path)
{
    const std::string p = withoutSlash(path);
    const auto pos = p.rfind('/');
    if (pos == std::string::npos) {
        return ".";
    }
    return pos == 0 ? std::string("/") : withoutSlash(p.substr(0, pos)); // "/a//b" -> "/a"
}

} // namespace qv
