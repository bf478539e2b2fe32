// Dates and times as text in the user's locale.
#include "core/text/LocaleText.h"

namespace qv {

namespace {

// The locale's long time pattern without its time-zone field ("t", "tt", ...), and without the
// blanks that separated it from the rest.
QString longTimePattern(const QLocale &locale)
{
    QString pattern = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'\'') {
            quoted = !quoted;
        }
        if (!quoted && c == u't') {
            continue;
        }
        out += c;
    }
    out = out.trimmed();
    if (out.isEmpty()) {
        out = QStringLiteral("HH:mm:ss");
    }
    return out;
}

} // namespace

std::string shortDateText(const QDate &date, const QLocale &locale)
{
    return locale.toString(date, QLocale::ShortFormat).toStdString();
}

std::string longTimeText(const QTime &time, const QLocale &locale)
{
    return locale.toString(time, longTimePattern(locale)).toStdString();
}

std::string DateTimeToStr(const QDateTime &dt, const QLocale &locale)
{
    std::string text = shortDateText(dt.date(), locale);
    const QTime t = dt.time();
    if (t != QTime(0, 0)) {
        text += ' ';
        text += longTimeText(t, locale);
    }
    return text;
}

std::string DateTimeToStr(TDateTime value, const QLocale &locale)
{
    return DateTimeToStr(fromDayCount(value), locale);
}

} // namespace qv
