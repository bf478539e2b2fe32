// Which destination entries an exact copy deletes.
#include "core/engine/ObsoletePlanner.h"

#include "platform/MountTable.h"

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

} // namespace qv
