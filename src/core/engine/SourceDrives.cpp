// SourceDrives: drives below the sources that are not connected, and the memory of mount points.
#include "core/engine/SourceDrives.h"

#include "platform/FileIo.h"
#include "platform/FileOps.h"
#include "platform/LockFile.h"
#include "platform/PathText.h"
#include "platform/RegistryStore.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <sys/stat.h>
#include <thread>

namespace qv {

namespace {

// The memory holds one line per mount point: the destination, a tab, the mount point. Tab, line
// feed and backslash are written as octal escapes (\011), as the system's mount tables do.
std::string escaped(const std::string &text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\t' || c == '\n' || c == '\\') {
            const auto u = static_cast<unsigned char>(c);
            out += '\\';
            out += static_cast<char>('0' + (u >> 6));
            out += static_cast<char>('0' + ((u >> 3) & 7));
            out += static_cast<char>('0' + (u & 7));
        } else {
            out += c;
        }
    }
    return out;
}

std::string unescaped(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto octal = [&text](std::size_t at) {
            return at < text.size() && text[at] >= '0' && text[at] <= '7';
        };
        if (text[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) |
                                     (text[i + 3] - '0'));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

using Memory = std::map<std::string, std::set<std::string>>; // destination -> mount points

Memory readMemory(const std::string &file)
{
    Memory memory;
    std::string text;
    readTextFile(file, text);
    for (const std::string &line : piecesOf(text)) {
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos && tab + 1 < line.size()) {
            memory[unescaped(line.substr(0, tab))].insert(unescaped(line.substr(tab + 1)));
        }
    }
    return memory;
}

std::string memoryText(const Memory &memory)
{
    std::string text;
    for (const auto &[destination, points] : memory) {
        for (const std::string &point : points) {
            text += escaped(destination) + "\t" + escaped(point) + "\n";
        }
    }
    return text;
}

bool isMounted(const MountTable &mounts, const std::string &point)
{
    return std::any_of(mounts.mounts().begin(), mounts.mounts().end(),
                       [&point](const MountEntry &m) { return m.mountPoint == point; });
}

// The folder of the source `source` (named `real` with links resolved) at the mount point `point`.
std::string sourceFolderAt(const std::string &source, const std::string &real, const std::string &point)
{
    const std::string below =
        withoutSlash(point).substr(withoutSlash(real) == "/" ? 1 : withoutSlash(real).size());
    return withSlash(withoutSlash(source) + (below.empty() || below[0] == '/' ? below : "/" + below));
}

} // namespace

SourceDrives::Decision SourceDrives::decide(const std::vector<std::string> &sources,
                                            const std::vector<std::string> &real, const MountTable &mounts,
                                            const std::set<std::string> &remembered,
                                            const PlaceHolds &placeHolds)
{
    Decision d;
    std::set<std::string> missing;
    d.remembered = remembered;
    for (std::size_t i = 0; i < sources.size() && i < real.size(); ++i) {
        const std::string &top = real[i];
        for (const MountEntry &m : mounts.mounts()) {
            if (pathWithin(m.mountPoint, top)) {
                d.remembered.insert(m.mountPoint);
            }
        }
        // The source's own fstab entry is the source check's: only the folders below it here.
        for (const std::string &point : mounts.missingMountsWithin(top)) {
            if (withoutSlash(point) != withoutSlash(top)) {
                missing.insert(sourceFolderAt(sources[i], top, point));
            }
        }
        for (const std::string &point : remembered) {
            if (!pathWithin(point, top) || isMounted(mounts, point)) {
                continue;
            }
            const std::string folder = sourceFolderAt(sources[i], top, point);
            if (placeHolds(folder)) {
                missing.insert(folder);
            } else {
                d.remembered.erase(point); // nothing left to keep: the user let it go
            }
        }
    }
    for (const std::string &folder : missing) {
        if (std::none_of(d.disconnected.begin(), d.disconnected.end(),
                         [&folder](const std::string &outer) { return pathWithin(folder, outer); })) {
            d.disconnected.push_back(folder); // sorted: an outer folder comes before those inside it
        }
    }
    return d;
}

std::vector<std::string> SourceDrives::check(const std::string &memoryFile, const std::string &destination,
                                             const std::vector<std::string> &sources,
                                             const MountTable &mounts, const PlaceHolds &placeHolds)
{
    std::vector<std::string> real;
    for (const std::string &s : sources) {
        const std::string resolved = resolvedPath(withoutSlash(s));
        real.push_back(resolved.empty() ? withoutSlash(s) : resolved);
    }
    const std::string key = withoutSlash(destination);
    Memory memory = readMemory(memoryFile);
    Decision d = decide(sources, real, mounts, memory[key], placeHolds);
    if (d.remembered == memory[key]) {
        return d.disconnected; // nothing to write: a run with no mounts below its sources makes no file
    }
    // The store's own folder, made as the store makes it when no store is there yet.
    const std::string folder = folderOf(memoryFile);
    int error = 0;
    if (makeFolders(parentOf(folder), error)) {
        ::mkdir(withoutSlash(folder).c_str(), 0700);
    }
    // Runs side by side take turns (a lock that stays busy costs at most one update), and decide
    // again on the memory as the last of them left it.
    LockFile lock;
    if (lock.open(memoryFile + ".lock", error)) {
        for (int tries = 0; tries < 300 && lock.tryLock(error) == LockFile::Attempt::Busy; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    memory = readMemory(memoryFile);
    d = decide(sources, real, mounts, memory[key], placeHolds);
    memory[key] = d.remembered;
    if (d.remembered.empty()) {
        memory.erase(key);
    }
    // Not saved: the next run sees the mounts again, and only the forgetting waits.
    replaceFile(memoryFile, memoryText(memory), 0600, error);
    return d.disconnected;
}

std::string SourceDrives::memoryFile()
{
    return folderOf(RegistryStore::storePath()) + "drives-below-sources";
}

} // namespace qv
