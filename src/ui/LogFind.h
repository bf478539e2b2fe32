// Searching the activity list and saving it: pure functions over the task's events.
#pragma once

#include <QString>

#include <functional>

namespace qv {

class TTaskLogger;

struct LogFindRequest {
    QString text;
    bool matchCase = false;
    bool wholeWord = false; // no letter, digit or "_" right before or after the match
    bool down = true;
};

enum class LogFindOutcome { Found, Finished, Nothing };

struct LogFindResult {
    int index = -1;
    LogFindOutcome outcome = LogFindOutcome::Nothing; // Finished: say "Search finished."
};

// Tests lines start + 1 .. count - 1 (down) or start - 1 .. 0 (up) for the text. With no line
// selected, pass start = -1 for down (from the first line) and start = count for up (from the
// last). When lines were tested and none matched, or the start is already at or past the end,
// the outcome is Finished; up from the first line it is Nothing (no message).
LogFindResult DoFindText(const std::function<QString(int)> &lineText, int count, int start,
                         const LogFindRequest &request);

// Writes every event of `logger` as its log-file line and LF into `path`, through a temporary file
// renamed over it: a failure leaves an existing file unchanged. Returns "" or the reason.
QString saveActivityLog(const TTaskLogger &logger, const QString &path);

} // namespace qv
