// Which destination entries an exact copy deletes, and in which order, as a pure function.
//
// An entry is obsolete when no source produced it and it is not protected. Protected are the
// folders the run must never touch (source folders that lie inside the destination, the versions
// and deleted-files archives while in use, the destinations of source folders that could not be
// read, destination folders that could not be listed): everything equal to, inside, or above one
// of them stays. Deletion runs from the last entry to the first, so a folder's contents go before
// the folder; when obsolete folders go to the trash, a folder whose whole tree is obsolete goes in
// one step and its contents are not listed separately.
#pragma once

#include "core/engine/FilesList.h"

#include <cstdint>

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class DirectoryReader;
struct DirItem;

struct ObsoleteAction {
    std::string path; // folders end with "/"
    bool isFolder = false;
    bool wholeTree = false; // the folder goes with everything in it
    bool operator==(const ObsoleteAction &) const = default;
};

// `destination` is the unfiltered destination scan; `wanted` tells the paths that the run produced.
std::vector<ObsoleteAction> planObsolete(const TFilesList &destination,
                                         const std::function<bool(std::string_view)> &wanted,
                                         const std::vector<std::string> &protectedFolders, bool wholeTrees);
std::vector<ObsoleteAction> planObsolete(const TFilesList &destination, const TFilesList &wanted,
                                         const std::vector<std::string> &protectedFolders, bool wholeTrees);

// The same actions from a walk of the folder `root` as it is now, one folder at a time, instead of
// a list of it: the entries are those a scan without filters takes (files and links to files,
// folders; other entries and temporary copies stay out), in the same order, and the folders in
// `noDescend` are not entered. A folder that cannot be listed is kept with everything above it, as
// a protected one. `running` is asked once a folder; when it says no, the walk ends with what
// it has.
std::vector<ObsoleteAction> planObsoleteWalk(DirectoryReader &reader, const std::string &root,
                                             const std::set<std::string> &noDescend,
                                             const std::function<bool(std::string_view)> &wanted,
                                             const std::vector<std::string> &protectedFolders, bool wholeTrees,
                                             const std::function<bool()> &running);

// The same walk split by folder: the actions of `folder`'s own entries, and of everything below
// those of its subfolders that are not wanted; a wanted subfolder is left to a call of its own.
// Called for the top folder and every wanted folder, the calls together give the walk's actions,
// which orderObsolete puts in the walk's order.
std::vector<ObsoleteAction> planObsoleteFolder(DirectoryReader &reader, const std::string &folder,
                                               const std::set<std::string> &noDescend,
                                               const std::function<bool(std::string_view)> &wanted,
                                               const std::vector<std::string> &protectedFolders, bool wholeTrees,
                                               const std::function<bool()> &running);
// The walk's order: within a folder, its subfolders from the last name to the first, each after
// everything in it, then its files from the last name to the first.
void orderObsolete(std::vector<ObsoleteAction> &actions);

// A folder's entries as the walk takes them (names and kinds, copy temporaries left out), summed
// into one number that does not depend on their order: two folders with equal digests hold the
// same names, barring a chance of one in 2^64.
class EntryDigest
{
public:
    void add(std::string_view name, bool isFolder);
    // A file with its size, time and mode: equal digests of files say the same names with the
    // same sizes, times and modes.
    void addFile(std::string_view name, std::int64_t size, std::int64_t mtimeNs, std::uint32_t mode);
    std::uint64_t value() const;
    bool empty() const { return m_count == 0; }

private:
    std::uint64_t m_sum = 0;
    std::uint64_t m_count = 0;
};
// The digests of a listing as the walk would take it: `names` of its entries (names and kinds, as
// DirectoryReader::listKinds gives them), `files` of its files with their sizes, times and modes
// (as DirectoryReader::list gives them).
struct ListingDigests {
    EntryDigest names;
    EntryDigest files;
};
ListingDigests digestOfListing(const std::vector<DirItem> &items);

} // namespace qv
