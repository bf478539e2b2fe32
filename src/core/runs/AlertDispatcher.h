// What the task core asks of the alert dispatcher: raise one alert of a task and return the answer.
//
// Callers: TTask::Run (the start alert and the validation error) and each run's host (the alerts
// of the backup thread). The dispatcher (dialog, tray balloon, sound, e-mail, chosen by the task's
// alert settings for the run's start mode) is the windows' TAlerter, installed by the program's
// entry with setAlerter; the core reaches it only through this interface. The default shows
// nothing: every alert answers 0 ("no dialog was shown") and is written to the program's debug
// log, so headless runs and tests go on as if the user had not been asked.
#pragma once

#include "core/engine/BackupHost.h"

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
    // Never throws. An e-mail of the alert is queued to the mail worker; the caller does not wait.
    virtual int Alert(TTask &task, int event, const std::string &text, const std::string &buttons) = 0;
    // The same for an alert of a backup thread: the e-mail comes back with the answer, for the
    // thread to send after the blocking call. By default there is no mail.
    virtual AlertAnswer AlertWithMail(TTask &task, int event, const std::string &text, const std::string &buttons)
    {
        return Alert(task, event, text, buttons);
    }
    // Whether an alert of `event` would do anything for the task's run (asked once when a run
    // starts; an alert nobody would notice then costs the run no call). By default: what the
    // task's alert settings ask for.
    virtual bool Wants(const TTask &task, int event) const;
};

// The installed dispatcher, or the default one that shows nothing.
AlertDispatcher &alerter();
// Installs `dispatcher` (not owned); nullptr restores the default.
void setAlerter(AlertDispatcher *dispatcher);

} // namespace qv
