// The small dialogs' entries in the main window's dialog set.
#pragma once

namespace qv {

struct MainFormDialogs;

// Installs the group name, group order, shortcut, about, exit confirmation and task password
// dialogs into `dialogs` (which enables the commands that open them).
void installSmallDialogs(MainFormDialogs &dialogs);

} // namespace qv
