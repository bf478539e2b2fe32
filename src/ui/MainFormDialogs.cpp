// The program's set of main-window dialogs.
#include "ui/MainFormDialogs.h"

namespace qv {

MainFormDialogs &programDialogs()
{
    static MainFormDialogs dialogs;
    return dialogs;
}

} // namespace qv
