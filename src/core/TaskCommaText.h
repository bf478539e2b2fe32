// Delimited text lists: the comma text of multi-source lists and the ";" lists of masks.
//
// Splitting follows the rule the stored lists were written with: leading blanks and control
// characters are skipped; an item is either a double-quoted stretch (a doubled quote inside stands
// for one quote) or runs to the delimiter or to any blank or control character; a delimiter at the
// very end adds an empty item. Joining quotes every item that holds a blank, a control character,
// the delimiter or a quote, so join and split are inverse for any list whose single item is not
// empty.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

std::vector<std::string> splitDelimitedText(std::string_view text, char delimiter);
std::string joinDelimitedText(const std::vector<std::string> &items, char delimiter);

} // namespace qv
