// A file-system layer for tests: short names, removable media, free space and labels from tables.
#pragma once

#include "zip/ZipFileSystem.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>

namespace ziptest {

class FakeZipFileSystem : public qv::ZipFileSystem
{
public:
    std::map<std::string, std::string> shortNames; // full path -> short form of its last component
    std::set<std::string> existing;                // full paths that exist (long form)
    std::set<std::string> removable;               // path prefixes on removable media
    std::map<std::string, std::string> labels;     // path prefix -> label
    std::map<std::string, std::int64_t> freeSpace; // path prefix -> bytes free (else unknown)

    bool IsRemovable(const std::string &path) override
    {
        for (const auto &p : removable) {
            if (path.compare(0, p.size(), p) == 0) {
                return true;
            }
        }
        return false;
    }
    bool VolumeLabel(const std::string &path, std::string &label) override
    {
        for (const auto &[p, l] : labels) {
            if (path.compare(0, p.size(), p) == 0) {
                label = l;
                return true;
            }
        }
        return false;
    }
    bool SetVolumeLabel(const std::string &path, const std::string &label) override
    {
        labels[path] = label;
        return true;
    }
    std::int64_t FreeSpace(const std::string &path) override
    {
        for (const auto &[p, n] : freeSpace) {
            if (path.compare(0, p.size(), p) == 0) {
                return n;
            }
        }
        return -1;
    }
    std::string ShortName(const std::string &path) override
    {
        const auto it = shortNames.find(path);
        return it == shortNames.end() ? std::string() : it->second;
    }
    std::string LongName(const std::string &path) override
    {
        if (existing.count(path) != 0) {
            return path.substr(path.rfind('/') + 1);
        }
        for (const auto &[full, shortName] : shortNames) {
            if (full.substr(0, full.rfind('/') + 1) + shortName == path) {
                return full.substr(full.rfind('/') + 1);
            }
        }
        return {};
    }
};

} // namespace ziptest
