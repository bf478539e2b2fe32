// Hardware profiles: Linux has none, so there is exactly one, named after the computer.
//
// Tasks may list profiles in which a scheduled run is skipped; with one profile named by the host
// name, a task set up on a laptop can still be told to skip runs on one machine of several.
#pragma once

#include <string>
#include <vector>

namespace qv {

class HardwareProfiles
{
public:
    // The current profile: the host name (empty when it cannot be read).
    static std::string current();
    // Every profile: the current one.
    static std::vector<std::string> names();
};

} // namespace qv
