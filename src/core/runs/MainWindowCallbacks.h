// What the task core asks of the main window: refreshes, the status bar, the activity log, bringing
// the window forward and the few message boxes the core raises itself.
//
// The core never includes a widget header, so it calls the main window through this narrow
// interface. Until a window installs itself, a default does nothing visible: it prints the
// message boxes' texts on standard error, so headless tools and tests lose no message.
#pragma once

#include "core/log/TaskLogger.h"

#include <string>

namespace qv {

// The icons of the message boxes the core raises.
enum class CoreMessageKind { Information, Error };

class MainWindowCallbacks
{
public:
    virtual ~MainWindowCallbacks() = default;
    // Every action's enabled and checked state, after a run started or ended.
    virtual void CheckState() {}
    // The task list (names, last and next runs, state icons).
    virtual void UpdateListView() {}
    // The status bar, after a run reported progress.
    virtual void UpdateStatusBar() {}
    // One task's activity list changed (an event added, or the list reset).
    virtual void ActivityLogAddEvent(const TTaskLogger &logger, LogChange change)
    {
        (void)logger;
        (void)change;
    }
    // Shows the window from the tray and brings it to the foreground.
    virtual void ShowAndRaise() {}
    // A message box of the core ("Hot key registering failed!", the CD/DVD notice).
    virtual void ShowMessage(CoreMessageKind kind, const std::string &text);
};

// The installed main window, or the default.
MainWindowCallbacks &mainWindow();
// Installs `window` (not owned) and routes every task's activity-list changes to it; nullptr
// restores the default.
void setMainWindow(MainWindowCallbacks *window);

} // namespace qv
