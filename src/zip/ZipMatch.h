// The wildcard matcher that selects archive entries and files by name.
//
// `*` any run, `?` any one character, `<a-c>` one character of a set (`<!..>` or `<^..>` negated),
// `*<set>` a run of characters of the set. ASCII letters compare case-insensitively, every other
// byte exactly; there is no escape character. A malformed set makes the mask match nothing.
#pragma once

#include <string>
#include <string_view>

namespace qv {

bool IsMatch(std::string_view mask, std::string_view name);

// Matches a mask of ExcludeList, NoCompressList or a delete item, ignoring case: a mask holding a
// "/" is matched against the whole path, any other against the file name alone.
bool zipMaskMatches(const std::string &mask, const std::string &path);

} // namespace qv
