// What the task core asks of the alert dispatcher: raise one alert of a task and return the answer.
//
// The dispatcher (dialog, tray balloon, sound, e-mail, chosen by the task's alert settings for the
// run's start mode) lives with the windows. The core reaches it only through this interface. The
// default shows nothing: every alert answers 0 ("no dialog was shown") and is written to the
// program's debug log, so headless runs and tests go on as if the user had not been asked.
#pragma once

#include <string>

namespace qv {

class TTask;

class AlertDispatcher
{
public:
    virtual ~AlertDispatcher() = default;
    // `event` is one of BackupAlertKind (akStart, akFile, ...); `buttons` the letters of the
    // buttons offered ("C" continue, "S" stop, "O" OK, ...). Returns a BackupAlertAnswer, or 0 when
    // no dialog was shown. Main thread only; may run a nested event loop.
    virtual int Alert(TTask &task, int event, const std::string &text, const std::string &buttons) = 0;
};

// The installed dispatcher, or the default one that shows nothing.
AlertDispatcher &alerter();
// Installs `dispatcher` (not owned); nullptr restores the default.
void setAlerter(AlertDispatcher *dispatcher);

} // namespace qv
