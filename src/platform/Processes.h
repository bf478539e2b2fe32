// Running other programs: an argument list without a shell, or the user's own command lines.
//
// Used by the backup's programs before and after a run (BackupServices), ExecuteProgram in the
// utilities, the systemd user timers (systemctl), the dial-up layer (nmcli) and the sound player.
//
// Every child starts the same way: standard input from /dev/null (a program that asks a question
// cannot hang us), default signal handling and an empty signal mask whatever the calling thread
// has, no descriptor of ours but 0, 1 and 2, and a process group of its own so that a time-out can
// end everything it started. A child that is not waited for is still reaped, so no zombie stays.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace qv {

class Processes
{
public:
    // One program to run with `execute`.
    struct Command {
        std::vector<std::string> argv;        // argv[0] without "/" is looked up on PATH
        std::vector<std::string> environment; // "NAME=value" added to (or replacing in) ours
        bool captureOutput = true;            // false: the child writes to our standard output and error
        bool wait = true;                     // false: start it and return; it is reaped when it ends
        int timeoutMs = 0;                    // > 0: SIGTERM to its process group, SIGKILL a second later
        const std::atomic<bool> *stop = nullptr; // when set: see `stopEndsWaitOnly`
        bool stopEndsWaitOnly = false;        // a stop leaves the program running instead of ending it
        // When set: told whether the program started, as soon as that is known (before the wait),
        // for a caller that waits on another thread.
        std::function<void(bool started)> onStart;
    };

    enum class End {
        NotStarted, // `error` says why
        Running,    // not waited for, or the stop ended the wait only
        Exited,     // `exitCode`
        Signalled,  // `signal`
        TimedOut,   // ended by us after `timeoutMs`
        Stopped,    // ended by us on the stop flag
    };

    struct Outcome {
        End end = End::NotStarted;
        int exitCode = -1;
        int signal = 0;
        std::string error;
        std::string out; // captured standard output, at most kOutputCap bytes
        std::string err; // captured standard error, at most kOutputCap bytes
        bool outTruncated = false;
        bool errTruncated = false;
    };

    static constexpr std::size_t kOutputCap = 1024 * 1024;

    // Runs one program from an argument list. Any thread; blocks only while it waits.
    static Outcome execute(const Command &command);

    // The older, simpler result of `run`.
    struct Result {
        bool started = false;   // the program could be started
        bool finished = false;  // it ended while we waited for it
        int exitCode = -1;      // its exit status when it ended normally
        int signal = 0;         // the signal that ended it, if any
        std::string error;      // why it could not be started
    };

    // Runs a command line as the user typed it. A line without shell syntax is split at blanks and
    // run directly; any other goes through "/bin/sh -c". Output goes where ours goes. With `wait`,
    // waits until it ends, checking `stop` (when given) every few milliseconds; a stop ends the
    // wait, not the program. A shell that reports the program missing or not executable (exit 127
    // or 126) counts as not started.
    static Result run(const std::string &commandLine, bool wait, const std::atomic<bool> *stop = nullptr);

    // The words of a command line that needs no shell (no quoting, expansion, redirection, pipe,
    // list, glob, assignment or built-in); empty when the shell is needed or the line is blank.
    static std::vector<std::string> plainWords(const std::string &commandLine);

private:
    static Outcome startAndWait(const Command &command);
};

} // namespace qv
