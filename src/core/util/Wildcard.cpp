// File-name masks as the utilities offer them: thin faces of the filters' prepared mask lists.
#include "core/util/Wildcard.h"

#include "core/util/FiltersMask.h"

namespace qv {

bool IsValidMask(const std::string &mask)
{
    return FilterMaskList::single(mask).wellFormed();
}

bool MatchesMask(const std::string &name, const std::string &mask)
{
    return FilterMaskList::single(mask).matches(name);
}

std::vector<std::string> SplitMaskList(const std::string &list)
{
    return FilterMaskList::splitList(list);
}

bool MatchesMaskList(const std::string &name, const std::string &maskList)
{
    return FilterMaskList(maskList).matches(name);
}

} // namespace qv
