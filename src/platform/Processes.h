// Running the user's own programs: the commands a task runs before and after a backup.
//
// A command line is what the user typed, so it runs through "/bin/sh -c" (quotes, variables and
// redirections work as in a terminal), with standard input from /dev/null so that a program that
// asks a question cannot hang a backup. A program that is not waited for is still reaped, so no
// zombie is left behind.
#pragma once

#include <atomic>
#include <string>

namespace qv {

class Processes
{
public:
    struct Result {
        bool started = false;   // the shell could be started
        bool finished = false;  // the command ended while we waited for it
        int exitCode = -1;      // its exit status when it ended normally
        int signal = 0;         // the signal that ended it, if any
        std::string error;      // why it could not be started
    };

    // Starts `commandLine` with the shell. With `wait`, waits until it ends, checking `stop` (when
    // given) every few milliseconds; a stop ends the wait, not the program, which then goes on and
    // is reaped when it ends.
    static Result run(const std::string &commandLine, bool wait, const std::atomic<bool> *stop = nullptr);
};

} // namespace qv
