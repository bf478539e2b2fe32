// SourceDrives: the drives below a run's sources that are not connected now, so that a run that
// deletes (an exact copy, a synchronisation, a compress task that removes entries) leaves their
// place in the destination alone.
//
// An unplugged drive leaves an empty folder, or none, where it was mounted; read as it is, every
// file backed up from it would look deleted. A folder at or below a source counts as such a drive
// when it is not mounted now and either the mount configuration (fstab) names it, or a run into
// the same destination saw another file system mounted there. Those mount points are remembered
// per destination in a small file beside the settings store. One stays remembered while its place
// in the destination still holds something: deleting that place by hand is how the user lets a
// drive that is gone for good be forgotten.
#pragma once

#include "platform/MountTable.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace qv {

class SourceDrives
{
public:
    // `placeHolds(folder)`: whether the destination still holds anything at the place of the
    // source folder `folder` (trailing "/").
    using PlaceHolds = std::function<bool(const std::string &folder)>;

    struct Decision
    {
        std::vector<std::string> disconnected; // source folders with a trailing "/", outermost only
        std::set<std::string> remembered;      // the mount points to remember from now on
    };

    // Pure: `sources` as the run names them (trailing "/"), `real` the same folders with links
    // resolved, as mount points are written; `remembered` the mount points known for this
    // destination.
    static Decision decide(const std::vector<std::string> &sources, const std::vector<std::string> &real,
                           const MountTable &mounts, const std::set<std::string> &remembered,
                           const PlaceHolds &placeHolds);

    // Reads what is remembered for `destination` in `memoryFile`, decides, and writes the memory
    // back when it changed. Returns the disconnected source folders.
    static std::vector<std::string> check(const std::string &memoryFile, const std::string &destination,
                                          const std::vector<std::string> &sources, const MountTable &mounts,
                                          const PlaceHolds &placeHolds);

    // The memory file beside the settings store.
    static std::string memoryFile();
};

} // namespace qv
