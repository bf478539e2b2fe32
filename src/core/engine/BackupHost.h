// What a backup run reports to, on the main thread: log lines, alerts, progress, its end.
//
// The program's host forwards to the task's logger, the alert dispatcher and the status bar; the
// headless runner prints; tests record. Every call arrives on the thread the host lives on (the
// main thread), marshalled there by the run's HostBridge.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qv {

// How a run ended: it did all it was asked; it finished but left something it was asked for
// undone (a file not copied, replaced, moved or deleted, a folder not made, an entry not stored);
// or it was stopped or failed before its end.
enum class RunEnd { Done, Undone, Aborted };

// The worse of two ends (aborted before undone before done), for a command line that ran several.
constexpr RunEnd worseEnd(RunEnd a, RunEnd b)
{
    return static_cast<int>(a) > static_cast<int>(b) ? a : b;
}

// The exit status of a command line whose runs ended so: 0 all done, 3 finished with something
// left undone, 1 aborted (2, bad usage, is decided before any run).
constexpr int exitStatusOf(RunEnd end)
{
    return end == RunEnd::Done ? 0 : (end == RunEnd::Undone ? 3 : 1);
}

struct ProgressState {
    std::string caption;
    std::int64_t position = 0;
    std::int64_t maximum = 0;
};

// The answer to an alert, and the alert's e-mail when it has one. The mail is composed on the
// host's thread but sent by whoever raised the alert, after the answer: a backup thread sends it
// itself (its run waits for it, the user interface does not); on the host's thread it is queued.
// `mail` sends and returns the line to log as an error when sending failed, "" when it was sent.
struct AlertAnswer {
    AlertAnswer(int value = 0) : answer(value) {} // NOLINT: an answer without mail
    int answer = 0;
    std::function<std::string()> mail;
};

class BackupHost
{
public:
    virtual ~BackupHost() = default;
    // One log line of the given kind (the logger adds "WARNING: " and "ERROR: ").
    virtual void log(int kind, const std::string &text) = 0;
    // Raises an alert and returns the user's answer (0 when no dialog was shown). May throw: the
    // exception goes back to the backup thread as a value and ends the run.
    virtual AlertAnswer alert(int kind, const std::string &buttons, const std::string &text) = 0;
    // Sends an alert's mail raised on the host's thread (the end of a run) without waiting for it.
    // The default sends at once and logs a failure.
    virtual void sendLater(std::function<std::string()> mail)
    {
        if (mail) {
            const std::string failure = mail();
            if (!failure.empty()) {
                log(7, failure);
            }
        }
    }
    virtual void progress(const ProgressState &) {}
    // Asked once when a run starts: whether lines of a kind are kept at all, and whether an alert
    // of a kind does anything (a dialog, balloon, sound or mail). A run skips what nobody would
    // see, so a run of many files does not wait for the main thread once per file for nothing.
    virtual bool logsKind(int kind) const { (void)kind; return true; }
    virtual bool alertsKind(int kind) const { (void)kind; return true; }
    // A filter test's report is written: open it for the user (the program's host does, through
    // the desktop on the main thread; others need not).
    virtual void openReport(const std::string &path) { (void)path; }
    // The run has ended (after its last log line), as `end` says.
    virtual void finished(RunEnd end) { (void)end; }
};

} // namespace qv
