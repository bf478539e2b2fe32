// The program's command line: switches and options, the same for the program's own arguments and
// for an argument list handed over by a second start.
//
// Parsing is separate from acting: ProcessCommandLine reads the list and calls a sink, so that the
// rules can be checked from tables. Each argument is one parameter, blanks included (the shell or
// the launcher already split them). Names are not case-sensitive; "--NAME" is "/NAME".
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qv {

class CommandLineSink
{
public:
    virtual ~CommandLineSink() = default;
    virtual void startProgramStartupTasks() = 0;
    // "/ICON": `hidden` is the new StartupHideTrayIcon (nullopt: any other value leaves it); the
    // icon follows the flag either way.
    virtual void setTrayIconHidden(std::optional<bool> hidden) = 0;
    // The three starts answer whether the name or ID names anything (a task that is already
    // running counts: it simply does not start twice).
    virtual bool runGroup(const std::string &group) = 0;
    virtual bool runTaskByName(const std::string &name) = 0;
    virtual bool runTaskById(const std::string &id) = 0;
    // "/SUSPEND": the new Suspend (nullopt: leave it); the running tasks follow either way.
    virtual void setSuspend(std::optional<bool> suspend) = 0;
    virtual void setSilent(bool silent) = 0;
    virtual void showHelp() = 0;
    virtual void closeWindow() = 0;
    virtual void exitNow() = 0;
    virtual void setExitWhenIdle() = 0;
    virtual void showAbout() = 0;
    virtual void runAll() = 0;
    virtual void systemStartup() = 0;
};

// Processes one argument list (the program's own name not included). A handed-over list ignores
// "/EXITWHENIDLE": it would make the user's resident program quit after a timer's run. Returns one
// message per group, task name or task ID that names nothing; the options act all the same.
std::vector<std::string> ProcessCommandLine(const std::vector<std::string> &args, CommandLineSink &sink,
                                            bool handedOver);

// True when `args` ask to run tasks by name, ID or group, all `namedNothing` of those names name
// nothing, and the line asks for nothing else to run or show (switches such as /EXITWHENIDLE or
// /SILENT=ON may come with them): a fresh start with such a line has nothing to do.
bool onlyRunsOfNothing(const std::vector<std::string> &args, std::size_t namedNothing);

// The mistakes a start can find before it hands anything over: an option or switch the program
// does not know, and an ON/OFF option with another value. One message per mistake.
std::vector<std::string> commandLineMistakes(const std::vector<std::string> &args);

// The arguments without the toolkit's own options, which every program on the desktop takes and
// the toolkit reads itself: "-style Fusion", "-style=Fusion", "-platform xcb", "-display :1",
// "-reverse" and the like (one dash; "--" is the program's own "/"). A value option at the end
// with no value is left in, so it is reported as a mistake.
std::vector<std::string> withoutToolkitOptions(const std::vector<std::string> &args);

// One level of double quotes: a value that begins with a quote is the text up to the matching
// closing quote, with "" standing for one quote; any other value is taken whole.
std::string unquoteValue(const std::string &value);

// True when a second start should bring the running program's window forward: no arguments, or
// one of them is "/SHOW".
bool wantsRestore(const std::vector<std::string> &args);
// True when one of the arguments is "/SHOW" (the program's own start then shows its window).
bool hasShowSwitch(const std::vector<std::string> &args);

// "--NAME..." becomes "/NAME..."; other arguments are returned unchanged.
std::string normaliseSwitch(const std::string &arg);

} // namespace qv
