// The ordinal texts the schedule captions and the schedule dialog's selectors share.
#pragma once

#include <string>

namespace qv {

// "1-st", "2-nd", "3-rd", then "4-th" .. "31-th", through the language file.
std::string scheduleOrdinal(int n);

} // namespace qv
