// Folder core/log: the task logger (log file and activity list). May include core/settings,
// core/text, core/util, core/task (for the task a logger serves) and the platform layer.
//
// The task logger: one line in the task's log file and one event in its activity list per message.
//
// Every task owns one logger. A message of a given kind passes the task's gate for that kind (the
// Log settings group), then goes to the log file ("<date> <time>: <text>", one line each) and to the
// in-memory list of events that the activity log shows. Logging never fails its caller: a log file
// that cannot be written is simply not written, and the event still reaches the list.
//
// Lines reach the file through a buffer: it is written (the file opened, appended to and closed, so
// that other programs may read or remove the file between writes) when a run starts or ends, when
// Flush() is called (before an alert, at exit), when it grows large, and at least once a second
// while lines arrive (a timer covers a quiet second when the logger lives on a thread with an event
// loop). A killed program loses at most the last second of its log. The date and time text is made
// once per second, not per line.
//
// Main thread only; backup threads reach it through their host bridge.
#pragma once

#include "core/log/LogKinds.h"
#include "core/settings/DateTime.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace qv {

class TaskDefinition;

// The activity list keeps at most this many events; older ones are dropped.
inline constexpr std::size_t kMaxLogEvents = 100000;

// The log file name used when a task names none.
inline constexpr const char *kDefaultLogFileName = "quorvellant.log";

// One event of the activity list.
struct TLogItem {
    int Kind = 0;
    TDateTime Time = 0; // when the event was added, local time
    std::string Text;   // exactly as written in the log line after the date and ": "
};

// The task's Log settings as its getters give them (the task's own values or the program-wide
// defaults); read afresh for every message, so a change applies at once.
class LogSettingsSource
{
public:
    virtual ~LogSettingsSource() = default;
    virtual bool logEnabled() const = 0;
    virtual std::string logFileName() const = 0;
    virtual int logMaxSize() const = 0; // KB; 0 = no limit
    virtual bool logIncludeSummary() const = 0;
    virtual bool logIncludeFiles() const = 0;
    virtual bool logIncludeSkipping() const = 0;
    virtual bool logIncludeWarnings() const = 0;
    virtual bool logIncludeErrors() const = 0;
};

class TTaskLogger;

// How an activity list changed: one event appended (after the oldest were dropped when the list
// was full: DroppedCount() tells how many so far), emptied as a whole, or about to be freed with its
// logger (a view showing it lets go of it then, before the memory goes).
enum class LogChange { Added, Reset, Destroyed };

// The activity log's hook: told about every change of any task's event list. One for the program
// (the main window installs it); none by default.
using ActivityLogNotifier = std::function<void(const TTaskLogger &logger, LogChange change)>;
void setActivityLogNotifier(ActivityLogNotifier notifier);

class TTaskLogger
{
public:
    // `task` is not owned and may be null: a logger without a task does nothing. The constructor
    // checks the log file's size.
    explicit TTaskLogger(const LogSettingsSource *task);
    // The logger of a task: reads the task's Log getters (GetLogEnabled, GetLogFileName, ...).
    explicit TTaskLogger(const TaskDefinition *task);
    ~TTaskLogger();
    TTaskLogger(const TTaskLogger &) = delete;
    TTaskLogger &operator=(const TTaskLogger &) = delete;

    // Logs `message` as kind 0..7 when the task's gate for that kind is open (kinds 0..2 log their
    // fixed texts and ignore the message). Other kinds log nothing. Never throws for file errors.
    void Add(int kind, const std::string &message);

    // Writes the lines not yet in the log file. Cheap when there are none.
    void Flush();

    // Empties the activity list; the log file is untouched.
    void Clear();

    // The activity list, oldest first.
    std::size_t Count() const { return m_events.size(); }
    const TLogItem &Item(std::size_t index) const; // throws std::out_of_range
    const std::deque<TLogItem> &Events() const { return m_events; }

    // Events dropped from the front since the logger was created (the list keeps kMaxLogEvents);
    // a view that remembers this count knows how many of its front rows went.
    std::uint64_t DroppedCount() const { return m_dropped; }

    // Event `index` as a line of a saved or mailed log, the same as its line in the log file:
    // "<date> <time>: <text>" (the time left out at exactly midnight).
    std::string GetEventText(std::size_t index) const; // throws std::out_of_range

    // Where the log file is: a bare name lives in the program's data folder
    // ($XDG_DATA_HOME/quorvellant), "~/" is the home folder, a relative path is taken against the
    // current folder. Empty when there is no task.
    std::string GetLogFileName() const;

    // Empties the log file when the task sets a maximum size (KB) and the file has reached it.
    // Runs at creation and after every 101 lines written.
    void CheckLogSize();

private:
    struct Moment {
        TDateTime time = 0;
        const std::string *stamp = nullptr; // "<date> <time>" of `time`, valid until the next moment
    };
    Moment now();
    static std::string resolveLogFileName(std::string name);
    void WriteToFile(const std::string &stamp, const std::string &text, bool flushNow);
    void AddEvent(int kind, std::string text, TDateTime time);
    void notify(LogChange change) const;
    void armFlushTimer();

    int m_linesWritten = 0;
    // The buffer of lines not yet written, for the file name the task gave when they were logged.
    std::string m_pending;
    std::string m_pendingName;
    int m_pendingLines = 0;
    std::chrono::steady_clock::time_point m_pendingSince{};
    std::unique_ptr<QTimer> m_flushTimer;
    // The stamp of the last whole second seen.
    long long m_stampSecond = 0;
    bool m_stampValid = false;
    double m_stampDays = 0;
    long long m_stampMsOfDay = 0;
    std::string m_stamp;
    std::string m_oneStamp; // a stamp that is not cached (exact midnight)
    std::unique_ptr<LogSettingsSource> m_ownSettings; // the view of a task definition, when built from one
    const LogSettingsSource *m_task = nullptr;
    std::deque<TLogItem> m_events;
    std::uint64_t m_dropped = 0;
};

// The text a message of `kind` is logged with ("WARNING: " + message, the fixed texts of kinds
// 0..2, ...), and whether the task's settings let it through. Kinds outside 0..7 never pass.
bool logKindPasses(const LogSettingsSource &task, int kind);
std::string loggedText(int kind, const std::string &message);

} // namespace qv
