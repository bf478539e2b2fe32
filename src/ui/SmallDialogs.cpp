// The small dialogs' entries in the main window's dialog set.
#include "ui/SmallDialogs.h"

#include "ui/AboutForm.h"
#include "ui/GroupPropForm.h"
#include "ui/GroupsOrderForm.h"
#include "ui/MainFormDialogs.h"
#include "ui/PasswordForm.h"
#include "ui/ShortcutForm.h"
#include "ui/ShutdownForm.h"

namespace qv {

void installSmallDialogs(MainFormDialogs &dialogs)
{
    dialogs.groupProperties = ShowGroupProperties;
    dialogs.groupsOrder = ShowGroupsOrder;
    dialogs.shortcutDialog = ShowShortcutDialog;
    dialogs.about = ShowAboutBox;
    dialogs.confirmExit = ConfirmExit;
    dialogs.checkTaskPassword = [](QWidget *parent, TTask &task) { return CheckTaskPassword(parent, &task); };
}

} // namespace qv
