// The enabling rule of the filter dialog.
#include "ui/FilterRules.h"

namespace qv {

FilterEnabling filterEnabling(const FilterEnablingInput &in)
{
    FilterEnabling e;
    if (in.kind >= 0 && in.kind < 5) {
        e.panels[static_cast<std::size_t>(in.kind)] = true;
    }
    e.wildcardField = in.wildcard;
    e.wildcardExample = in.wildcard;
    e.singleFileField = !in.wildcard;
    e.singleFileBrowse = !in.wildcard;
    e.folderField = in.contains;
    e.folderBrowse = in.contains;
    e.folderEmptyNote = !in.contains;
    if (in.dtSelector >= 0 && in.dtSelector < 6) {
        e.dateRows[static_cast<std::size_t>(in.dtSelector)] = true;
    }
    return e;
}

} // namespace qv
