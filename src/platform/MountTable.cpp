// Mount points from mountinfo and fstab.
#include "platform/MountTable.h"

#include "platform/PathText.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <cstdlib>

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
    std::string text;
    readTextFile(path, text);
    return text;
}

// The file holds the number 1 (after white space; "01" and "+1" too, as `stream >> int` reads
// them).
bool readFlag(const std::string &path)
{
    std::string text;
    if (!readTextFile(path, text)) {
        return false;
    }
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    return end != text.c_str() && v == 1;
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
    for (const std::string &line : piecesOf(mountinfo)) {
        // "id parent major:minor root mount-point options [optional fields...] - type source ..."
        const std::vector<std::string> w = wordsOf(line);
        if (w.size() < 5) {
            continue;
        }
        std::string source;
        std::size_t dash = 5;
        while (dash < w.size() && w[dash] != "-") {
            ++dash;
        }
        if (dash + 2 < w.size()) {
            source = w[dash + 2];
        }
        t.m_mounts.push_back(MountEntry{withoutSlash(unescape(w[4])), w[2], unescape(source), unescape(w[3])});
    }
    for (const std::string &line : piecesOf(fstab)) {
        // "device mount-point type options ..."; comment lines start with "#".
        const std::vector<std::string> w = wordsOf(line);
        if (w.empty() || w[0][0] == '#' || w.size() < 3) {
            continue;
        }
        const std::string point = withoutSlash(unescape(w[1]));
        if (point.empty() || point[0] != '/' || point == "/" || w[2] == "swap") {
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

std::vector<std::string> MountTable::missingMountsWithin(const std::string &folder) const
{
    std::vector<std::string> missing;
    for (const std::string &point : m_fstab) {
        if (pathWithin(point, folder) &&
            std::none_of(m_mounts.begin(), m_mounts.end(),
                         [&point](const MountEntry &m) { return m.mountPoint == point; })) {
            missing.push_back(point);
        }
    }
    return missing;
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
