// Searching and saving the activity list.
#include "ui/LogFind.h"

#include "core/log/TaskLogger.h"

#include "platform/FileIo.h"
#include "platform/FileStat.h"

#include <QFile>

#include <cstring>

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
    std::string text;
    for (std::size_t i = 0; i < logger.Count(); ++i) {
        text += logger.GetEventText(i);
        text += '\n';
    }
    // A file saved over keeps its permission bits.
    const std::string name = QFile::encodeName(path).toStdString();
    const PathStat old = statPath(name);
    const unsigned mode = old.isRegular ? static_cast<unsigned>(old.mode & 07777) : 0644u;
    int error = 0;
    if (!replaceFile(name, text, mode, error)) {
        return QString::fromLocal8Bit(std::strerror(error));
    }
    return {};
}

} // namespace qv
