// Mount points from mountinfo and fstab.
#include "platform/MountTable.h"

#include "platform/PathText.h"

#include <fstream>
#include <sstream>

namespace qv {

namespace {

// Mount tables escape blanks and backslashes as octal (\040).
std::string unescape(const std::string &s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const std::string oct = s.substr(i + 1, 3);
            if (oct.size() == 3 && oct.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(oct, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool readFlag(const std::string &path)
{
    std::ifstream in(path);
    int v = 0;
    return (in >> v) && v == 1;
}

} // namespace

bool pathWithin(const std::string &path, const std::string &folder)
{
    const std::string f = withoutSlash(folder);
    const std::string p = withoutSlash(path);
    if (f == "/") {
        return !p.empty() && p[0] == '/';
    }
    return p == f || (p.size() > f.size() && p.compare(0, f.size(), f) == 0 && p[f.size()] == '/');
}

MountTable MountTable::system()
{
    return fromText(readAll("/proc/self/mountinfo"), readAll("/etc/fstab"));
}

MountTable MountTable::fromText(const std::string &mountinfo, const std::string &fstab,
                                const std::vector<std::string> &removable)
{
    MountTable t;
    for (const std::string &r : removable) {
        t.m_removable.push_back(withoutSlash(r));
    }
    std::istringstream mi(mountinfo);
    std::string line;
    while (std::getline(mi, line)) {
        std::istringstream fields(line);
        std::string id, parent, dev, root, point;
        if (!(fields >> id >> parent >> dev >> root >> point)) {
            continue;
        }
        std::string f, source;
        while (fields >> f && f != "-") {
        }
        std::string fstype;
        fields >> fstype >> source;
        t.m_mounts.push_back(MountEntry{withoutSlash(unescape(point)), dev, unescape(source)});
    }
    std::istringstream fs(fstab);
    while (std::getline(fs, line)) {
        std::istringstream fields(line);
        std::string spec, point, type, options;
        if (!(fields >> spec) || spec[0] == '#' || !(fields >> point >> type)) {
            continue;
        }
        fields >> options;
        point = withoutSlash(unescape(point));
        if (point.empty() || point[0] != '/' || point == "/" || type == "swap") {
            continue;
        }
        t.m_fstab.push_back(point);
    }
    return t;
}

std::string MountTable::missingMountFor(const std::string &path) const
{
    std::string best;
    for (const std::string &point : m_fstab) {
        if (pathWithin(path, point) && point.size() > best.size()) {
            best = point;
        }
    }
    if (best.empty()) {
        return {};
    }
    for (const MountEntry &m : m_mounts) {
        if (m.mountPoint == best) {
            return {};
        }
    }
    return best;
}

const MountEntry *MountTable::mountFor(const std::string &path) const
{
    const MountEntry *best = nullptr;
    for (const MountEntry &m : m_mounts) {
        if (pathWithin(path, m.mountPoint) && (best == nullptr || m.mountPoint.size() >= best->mountPoint.size())) {
            best = &m;
        }
    }
    return best;
}

std::string MountTable::removableMountFor(const std::string &path) const
{
    const MountEntry *m = mountFor(path);
    if (m == nullptr || m->mountPoint == "/") {
        return {};
    }
    for (const std::string &r : m_removable) {
        if (r == m->mountPoint) {
            return r;
        }
    }
    if (pathWithin(m->mountPoint, "/media") || pathWithin(m->mountPoint, "/run/media")) {
        return m->mountPoint;
    }
    // A partition's own folder has no "removable" flag; its disk's folder (the parent) has.
    const std::string sys = "/sys/dev/block/" + m->device;
    if (readFlag(sys + "/removable") || readFlag(sys + "/../removable")) {
        return m->mountPoint;
    }
    return {};
}

} // namespace qv
