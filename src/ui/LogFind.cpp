// Searching and saving the activity list.
#include "ui/LogFind.h"

#include "core/log/TaskLogger.h"

#include <QSaveFile>

namespace qv {

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

bool lineMatches(const QString &line, const LogFindRequest &request)
{
    const Qt::CaseSensitivity cs = request.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = line.indexOf(request.text, from, cs);
        if (at < 0) {
            return false;
        }
        if (!request.wholeWord) {
            return true;
        }
        const qsizetype end = at + request.text.size();
        const bool before = at > 0 && isWordChar(line[at - 1]);
        const bool after = end < line.size() && isWordChar(line[end]);
        if (!before && !after) {
            return true;
        }
        from = at + 1;
    }
}

} // namespace

LogFindResult DoFindText(const std::function<QString(int)> &lineText, int count, int start,
                         const LogFindRequest &request)
{
    LogFindResult result;
    if (request.text.isEmpty()) {
        return result;
    }
    if (request.down) {
        for (int i = std::max(start + 1, 0); i < count; ++i) {
            if (lineMatches(lineText(i), request)) {
                return {i, LogFindOutcome::Found};
            }
        }
        result.outcome = LogFindOutcome::Finished;
        return result;
    }
    if (start <= 0) {
        return result; // up from the first line: nothing to search, nothing said
    }
    for (int i = std::min(start, count) - 1; i >= 0; --i) {
        if (lineMatches(lineText(i), request)) {
            return {i, LogFindOutcome::Found};
        }
    }
    result.outcome = LogFindOutcome::Finished;
    return result;
}

QString saveActivityLog(const TTaskLogger &logger, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    for (std::size_t i = 0; i < logger.Count(); ++i) {
        const std::string line = logger.GetEventText(i) + "\n";
        if (file.write(line.data(), static_cast<qint64>(line.size())) != static_cast<qint64>(line.size())) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason;
        }
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return {};
}

} // namespace qv
