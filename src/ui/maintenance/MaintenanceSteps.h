// The settings maintenance wizard's moves: which page each (action, step) shows and which buttons work.
#pragma once

#include <optional>

namespace qv {

// The wizard's actions and its pages by index.
enum MaintenanceAction : int { kMaintenanceNone = 0, kMaintenanceBackup = 1, kMaintenanceRestore = 2 };
enum MaintenancePage : int {
    kPageWelcome = 0,
    kPageBackupOptions = 1,
    kPageBackupAction = 2,
    kPageBackupDone = 3,
    kPageRestoreOptions = 4,
    kPageRestoreAction = 5,
    kPageRestoreDone = 6,
};

// The page of `step` (1 to 4) for `action`; none for no action and for steps outside 1 to 4.
std::optional<int> maintenancePage(int action, int step);

struct MaintenanceButtons {
    bool back = false;
    bool next = false;
    bool close = false;
};

// Back from step 2 on; Next when the action has a page for the following step and the step's own
// input allows it (`inputOk`: a part is chosen on the options pages); Close unless busy.
MaintenanceButtons maintenanceButtons(int action, int step, bool busy, bool inputOk);

// Where Next leads from `step` (the same step when the action has no following page).
int maintenanceNextStep(int action, int step);
// Where Back leads: from a step without a page (past the end) or a done page to step 1, else one back.
int maintenanceBackStep(int action, int step);

} // namespace qv
