// The enabling rule of the filter dialog, as a pure function the dialog applies and tests read.
#pragma once

#include "core/task/TaskTypes.h"

#include <array>

namespace qv {

struct FilterEnablingInput
{
    int kind = 0;         // index of the kind selector (File, Folder, Date & Time, Attributes, Size)
    bool wildcard = true; // "Name matching a wildcard:" checked (else the single file)
    bool contains = true; // "Folder name/path contains:" checked (else the empty folder)
    int dtSelector = 0;   // the checked date radio button (TFilterDateTimeSelector), -1 for none
};

struct FilterEnabling
{
    std::array<bool, 5> panels{}; // shown and enabled, in the order of the kind selector
    bool wildcardField = false;   // window colour (else button face; always editable)
    bool wildcardExample = false;
    bool singleFileField = false; // window colour
    bool singleFileBrowse = false; // the browse button and the two note labels
    bool folderField = false;      // window colour
    bool folderBrowse = false;     // the browse button and the example label
    bool folderEmptyNote = false;  // "This filter is applied after all other filters."
    std::array<bool, 6> dateRows{}; // per date radio button: its amount, up-down and unit, or pickers
    bool operator==(const FilterEnabling &) const = default;
};

FilterEnabling filterEnabling(const FilterEnablingInput &in);

} // namespace qv
