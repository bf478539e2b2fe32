// Which destination entries an exact copy deletes.
#include "core/engine/ObsoletePlanner.h"

#include "core/engine/FolderScanner.h"
#include "platform/FileCopy.h"
#include "platform/MountTable.h"

#include <sys/stat.h>

#include <algorithm>

namespace qv {

namespace {

bool isProtected(std::string_view entry, const std::vector<std::string> &protectedFolders)
{
    const std::string e(entry);
    for (const std::string &p : protectedFolders) {
        if (pathWithin(e, p) || pathWithin(p, e)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<ObsoleteAction> planObsolete(const TFilesList &destination, const TFilesList &wanted,
                                         const std::vector<std::string> &protectedFolders, bool wholeTrees)
{
    return planObsolete(
        destination, [&wanted](std::string_view p) { return wanted.contains(p); }, protectedFolders, wholeTrees);
}

std::vector<ObsoleteAction> planObsolete(const TFilesList &destination,
                                         const std::function<bool(std::string_view)> &wanted,
                                         const std::vector<std::string> &protectedFolders, bool wholeTrees)
{
    const std::size_t n = destination.size();
    std::vector<bool> obsolete(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string p = destination.path(i);
        obsolete[i] = !wanted(p) && !isProtected(p, protectedFolders);
    }
    // Which folders hold something that stays (list order: a folder, then everything below it).
    std::vector<bool> holdsKept(n, false);
    std::vector<std::size_t> open;
    std::vector<std::string> openPaths;
    auto close = [&] {
        const std::size_t folder = open.back();
        open.pop_back();
        openPaths.pop_back();
        if (holdsKept[folder] && !open.empty()) {
            holdsKept[open.back()] = true;
        }
    };
    for (std::size_t i = 0; i < n; ++i) {
        while (!open.empty() && !destination.isInside(i, openPaths.back())) {
            close();
        }
        if (!obsolete[i] && !open.empty()) {
            holdsKept[open.back()] = true;
        }
        if (destination.isFolder(i)) {
            open.push_back(i);
            openPaths.push_back(destination.path(i));
        }
    }
    while (!open.empty()) {
        close();
    }
    // Entries below a folder that goes whole are not handled one by one.
    std::vector<bool> covered(n, false);
    std::vector<bool> whole(n, false);
    std::string wholeFolder; // the folder that goes whole and holds the current entry, if any
    for (std::size_t i = 0; i < n; ++i) {
        if (!wholeFolder.empty() && destination.isInside(i, wholeFolder)) {
            covered[i] = true;
            continue;
        }
        wholeFolder.clear();
        if (wholeTrees && destination.isFolder(i) && obsolete[i] && !holdsKept[i]) {
            whole[i] = true;
            wholeFolder = destination.path(i);
        }
    }
    std::vector<ObsoleteAction> actions;
    for (std::size_t k = n; k-- > 0;) {
        if (obsolete[k] && !covered[k]) {
            actions.push_back(ObsoleteAction{std::string(destination.path(k)), destination.isFolder(k), whole[k]});
        }
    }
    return actions;
}

namespace {

// One folder of the walk: its actions go to `out` in deletion order (the last entry of its subtree
// first, as planObsolete's reverse pass gives them).
struct ObsoleteWalk {
    DirectoryReader &reader;
    const std::set<std::string> &noDescend;
    const std::function<bool(std::string_view)> &wanted;
    const std::vector<std::string> &protectedFolders;
    bool wholeTrees;
    const std::function<bool()> &running;
    std::vector<ObsoleteAction> out;
    bool leaveWanted = false; // wanted subfolders are not entered: a call of their own does them

    struct Found {
        bool holdsKept = false;       // something inside stays
        bool protectedInside = false; // a folder inside could not be listed
    };

    bool obsolete(const std::string &path) const { return !wanted(path) && !isProtected(path, protectedFolders); }

    Found folder(const std::string &path)
    {
        Found found;
        std::vector<DirItem> items;
        int error = 0;
        if (!running() || !reader.listKinds(path, items, error)) {
            found.protectedInside = true; // unknown contents: nothing in or above it goes
            return found;
        }
        auto repeated = [&items](std::size_t k) { return k > 0 && items[k - 1].name == items[k].name; };
        // Subfolders from the last to the first, each after its contents; then the files backwards.
        for (std::size_t k = items.size(); k-- > 0;) {
            const DirItem &item = items[k];
            if (item.kind != DirItem::Folder || repeated(k)) {
                continue;
            }
            const std::string sub = path + item.name + "/";
            if (leaveWanted && wanted(sub)) {
                found.holdsKept = true;
                continue;
            }
            const std::size_t mark = out.size();
            Found inside;
            if (noDescend.count(sub) == 0) {
                inside = folder(sub);
            }
            const bool gone = !inside.protectedInside && obsolete(sub);
            found.protectedInside = found.protectedInside || inside.protectedInside;
            found.holdsKept = found.holdsKept || !gone || inside.holdsKept;
            if (gone && wholeTrees && !inside.holdsKept) {
                out.resize(mark); // it goes whole, with everything in it
                out.push_back(ObsoleteAction{sub, true, true});
            } else if (gone) {
                out.push_back(ObsoleteAction{sub, true, false});
            }
        }
        for (std::size_t k = items.size(); k-- > 0;) {
            const DirItem &item = items[k];
            if (item.kind != DirItem::File || isCopyTempName(item.name) || repeated(k)) {
                continue;
            }
            const std::string file = path + item.name;
            if (obsolete(file)) {
                out.push_back(ObsoleteAction{file, false, false});
            } else {
                found.holdsKept = true;
            }
        }
        return found;
    }
};

} // namespace

std::vector<ObsoleteAction> planObsoleteWalk(DirectoryReader &reader, const std::string &root,
                                             const std::set<std::string> &noDescend,
                                             const std::function<bool(std::string_view)> &wanted,
                                             const std::vector<std::string> &protectedFolders, bool wholeTrees,
                                             const std::function<bool()> &running)
{
    ObsoleteWalk walk{reader, noDescend, wanted, protectedFolders, wholeTrees, running, {}};
    walk.folder(root);
    return std::move(walk.out);
}

std::vector<ObsoleteAction> planObsoleteFolder(DirectoryReader &reader, const std::string &folder,
                                               const std::set<std::string> &noDescend,
                                               const std::function<bool(std::string_view)> &wanted,
                                               const std::vector<std::string> &protectedFolders, bool wholeTrees,
                                               const std::function<bool()> &running)
{
    ObsoleteWalk walk{reader, noDescend, wanted, protectedFolders, wholeTrees, running, {}};
    walk.leaveWanted = true;
    walk.folder(folder);
    return std::move(walk.out);
}

namespace {

// True when `a` comes before `b` in the walk's order (both below one top folder, folders ending
// with "/").
bool walkedBefore(const ObsoleteAction &a, const ObsoleteAction &b)
{
    const std::string_view x = a.path;
    const std::string_view y = b.path;
    // The start of the first component in which they differ.
    std::size_t start = 0;
    std::size_t i = 0;
    const std::size_t n = std::min(x.size(), y.size());
    while (i < n && x[i] == y[i]) {
        if (x[i] == '/') {
            start = i + 1;
        }
        ++i;
    }
    if (x.size() == y.size() && i == n) {
        return false;
    }
    if (i == n && (x.size() < y.size() ? x : y).back() == '/') {
        // One folder holds the other entry: what is inside a folder comes before the folder.
        return x.size() > y.size();
    }
    const std::size_t endX = x.find('/', start);
    const std::size_t endY = y.find('/', start);
    const bool folderX = endX != std::string_view::npos;
    const bool folderY = endY != std::string_view::npos;
    if (folderX != folderY) {
        return folderX; // a folder's subfolders before its files
    }
    return x.substr(start, endX - start) > y.substr(start, endY - start); // the last name first
}

std::uint64_t mix(std::uint64_t z)
{
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

} // namespace

void orderObsolete(std::vector<ObsoleteAction> &actions)
{
    std::sort(actions.begin(), actions.end(), walkedBefore);
}

void EntryDigest::add(std::string_view name, bool isFolder)
{
    // Two independent hashes of the name, the kind in the second.
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : name) {
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    m_sum += mix(h ^ (isFolder ? 0x5bd1e9955bd1e995ULL : 0)) + mix(std::hash<std::string_view>{}(name) + isFolder);
    ++m_count;
}

void EntryDigest::addFile(std::string_view name, std::int64_t size, std::int64_t mtimeNs, std::uint32_t mode)
{
    std::uint64_t h = std::hash<std::string_view>{}(name);
    h = mix(h ^ static_cast<std::uint64_t>(size));
    h = mix(h ^ static_cast<std::uint64_t>(mtimeNs));
    h = mix(h ^ mode);
    m_sum += h;
    ++m_count;
}

std::uint64_t EntryDigest::value() const
{
    return mix(m_sum ^ mix(m_count));
}

ListingDigests digestOfListing(const std::vector<DirItem> &items)
{
    ListingDigests digests;
    for (std::size_t k = 0; k < items.size(); ++k) {
        const DirItem &item = items[k];
        if (k > 0 && items[k - 1].name == item.name) {
            continue;
        }
        if (item.kind == DirItem::Folder) {
            digests.names.add(item.name, true);
        } else if (item.kind == DirItem::File && !isCopyTempName(item.name)) {
            digests.names.add(item.name, false);
            // A link never stands for the file a source has: its folder is looked at file by file.
            digests.files.addFile(item.name, item.size, item.mtimeNs,
                                  item.isSymlink ? (item.mode & ~S_IFMT) | S_IFLNK : item.mode);
        }
    }
    return digests;
}

} // namespace qv
