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

namespace {

// The length of `path` without its final slashes ("/" stays).
std::size_t trimmedLength(const std::string &path)
{
    std::size_t n = path.size();
    while (n > 1 && path[n - 1] == '/') {
        --n;
    }
    return n;
}

} // namespace

std::string folderOf(const std::string &path)
{
    const std::size_t n = trimmedLength(path);
    const auto pos = n == 0 ? std::string::npos : path.rfind('/', n - 1);
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string nameOf(const std::string &path)
{
    const std::size_t n = trimmedLength(path);
    const auto pos = n == 0 ? std::string::npos : path.rfind('/', n - 1);
    return pos == std::string::npos ? path.substr(0, n) : path.substr(pos + 1, n - pos - 1);
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
