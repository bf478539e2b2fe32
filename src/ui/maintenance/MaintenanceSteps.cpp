// The settings maintenance wizard's page table and button rules.
#include "ui/maintenance/MaintenanceSteps.h"

namespace qv {

std::optional<int> maintenancePage(int action, int step)
{
    if (step < 1 || step > 4) {
        return std::nullopt;
    }
    if (action == kMaintenanceBackup) {
        static constexpr int pages[4] = {kPageWelcome, kPageBackupOptions, kPageBackupAction, kPageBackupDone};
        return pages[step - 1];
    }
    if (action == kMaintenanceRestore) {
        static constexpr int pages[4] = {kPageWelcome, kPageRestoreOptions, kPageRestoreAction, kPageRestoreDone};
        return pages[step - 1];
    }
    return std::nullopt;
}

MaintenanceButtons maintenanceButtons(int action, int step, bool busy, bool inputOk)
{
    MaintenanceButtons b;
    b.back = step >= 2 && !busy;
    b.next = !busy && inputOk && maintenancePage(action, step + 1).has_value();
    b.close = !busy;
    return b;
}

int maintenanceNextStep(int action, int step)
{
    return maintenancePage(action, step + 1).has_value() ? step + 1 : step;
}

int maintenanceBackStep(int action, int step)
{
    if (action == kMaintenanceNone) {
        return step;
    }
    // The done pages lead back to the welcome page, as does a step past the table.
    if (!maintenancePage(action, step + 1).has_value()) {
        return 1;
    }
    return step > 1 ? step - 1 : 1;
}

} // namespace qv
