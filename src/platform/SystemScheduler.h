// The system's scheduler as the program sees it: named entries that start a program at set times.
//
// An entry is the program's command line plus an optional list of calendar triggers. The Linux
// backend keeps each entry as a pair of systemd user units (a service and a timer); a fake for
// tests keeps them in memory. Every change that fails raises SchedulerError with the reason, so
// that the user learns that a task is not scheduled.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv {

class SchedulerError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class SystemScheduler
{
public:
    struct Entry {
        std::string name;                 // from entryNameFor
        std::string description;          // what the system shows for it (one line)
        std::vector<std::string> command; // program and arguments
        std::string workingDirectory;
    };

    struct CalendarCheck {
        bool accepted = false;
        std::string message;    // why it was refused
        std::string normalized; // the scheduler's own form of an accepted expression
        std::string nextElapse; // when it would next start (empty when never)
    };

    virtual ~SystemScheduler() = default;

    // True when a scheduler answers for this user. May take up to a couple of seconds.
    virtual bool available() = 0;
    // The names of every entry of ours, in byte order.
    virtual std::vector<std::string> entryNames() = 0;
    // Creates or replaces an entry's command (its triggers stay).
    virtual void writeEntry(const Entry &entry) = 0;
    // Replaces an entry's triggers; an empty list leaves the entry without any.
    virtual void setTriggers(const std::string &name, const std::string &description,
                             const std::vector<std::string> &calendars) = 0;
    // The entry's triggers; nullopt when it has none at all (as opposed to an empty list).
    virtual std::optional<std::vector<std::string>> triggers(const std::string &name) = 0;
    // Removes the entry and its triggers.
    virtual void removeEntry(const std::string &name) = 0;
    // Checks one calendar expression with the scheduler's own parser.
    virtual CalendarCheck checkCalendar(const std::string &expression) = 0;

    // The name of the entry of the task with this ID.
    static std::string entryNameFor(const std::string &taskId);
    // The part of entry names that stands for this task ID.
    static std::string escapeId(const std::string &taskId);
    // Why no entry can be made for this task ID (empty when one can): a control character, bytes
    // that are not UTF-8, or a name longer than the system takes.
    static std::string idProblem(const std::string &taskId);
};

// The program's one scheduler: the systemd backend unless another was installed.
SystemScheduler &systemScheduler();
// Installs `s` (not owned; nullptr restores the systemd backend).
void setSystemScheduler(SystemScheduler *s);

} // namespace qv
