// The text of the program's systemd user units: unit names, quoting and the two unit files.
//
// Unit files have their own rules: "%" starts a specifier almost everywhere, "$" expands variables
// in command lines, a line break ends a setting and a backslash at the end continues it. Every
// value we write goes through one of the functions below, so a task name or a program path can
// never add a line or change the meaning of one.
#pragma once

#include "platform/SystemScheduler.h"

#include <string>
#include <vector>

namespace qv {

class SystemdUnits
{
public:
    // As `systemd-escape` does for a string: "/" becomes "-", and every byte but ASCII letters,
    // digits, ":", "_" and a "." not in front becomes "\xNN".
    static std::string escapeName(const std::string &text);
    // One word of an ExecStart= line, quoted where systemd would otherwise split or unescape it.
    // Variables are expanded in the arguments, not in the program's path (`program`).
    static std::string execArgument(const std::string &word, bool program);
    // A Description= value: control characters become blanks, "%" becomes "%%".
    static std::string description(const std::string &text);

    // The two files of an entry. Throw SchedulerError for what no unit file can express.
    static std::string serviceText(const SystemScheduler::Entry &entry);
    static std::string timerText(const std::string &description, const std::vector<std::string> &calendars);
    // The OnCalendar= expressions of a timer file, as they were given to timerText.
    static std::vector<std::string> calendarsOf(const std::string &timerText);
};

} // namespace qv
