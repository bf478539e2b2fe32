// File-name masks as users type them: "*" (any run), "?" (any one character) and character sets in
// brackets ("[abc]", "[a-z]", "[!0-9]"), compared without regard to letter case. These are the
// utilities' names for the one matcher, FilterMaskList; names are bytes, and a byte that is not
// part of valid UTF-8 stands for itself.
//
// There is no escape character. "*.*" needs a dot in the name (callers that mean "every file"
// append a dot to names without one). A malformed mask (an unclosed or empty set) matches nothing
// instead of failing, so a bad filter never stops a scan.
#pragma once

#include <string>
#include <vector>

namespace qv {

// True when `name` matches `mask` as a whole.
bool MatchesMask(const std::string &name, const std::string &mask);

// True when `mask` is well formed.
bool IsValidMask(const std::string &mask);

// True when `name` matches at least one mask of `maskList`: masks separated by ";" or by blanks,
// double quotes keep blanks and ";" inside one mask ("" inside quotes is one quote), a ";" at the
// very end adds an empty mask. An empty list matches nothing.
bool MatchesMaskList(const std::string &name, const std::string &maskList);

// The masks of a list as MatchesMaskList splits it.
std::vector<std::string> SplitMaskList(const std::string &maskList);

} // namespace qv
