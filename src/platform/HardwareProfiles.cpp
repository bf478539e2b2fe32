// Hardware profiles: one, named after the computer.
#include "platform/HardwareProfiles.h"

#include <unistd.h>

namespace qv {

std::string HardwareProfiles::current()
{
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0) {
        return {};
    }
    std::string s(buf);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n')) {
        s.pop_back();
    }
    return s;
}

std::vector<std::string> HardwareProfiles::names()
{
    std::string c = current();
    if (c.empty()) {
        return {};
    }
    return {c};
}

} // namespace qv
