// The folder dialog's pure rules: the shortened path of the selection, the new folder's path, the
// language key of a locale and the caption picked for it.
#pragma once

#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace qv {

// `path` shortened to at most `maxLength` characters for the dialog's status line. The first folder
// and as many trailing levels as fit stay; the middle becomes "..." ("/.../2004/Reports"). With "\\"
// as separator a path starting with one or two "\\" is a network path whose server name stays
// ("\\\\server\\...\\final"); with "/" a leading "/" is simply the root. A path that cannot be
// shortened by levels is cut (with "..." at the end when levels were dropped). Below 6 the path's
// first `maxLength` characters are returned.
QString ShortenPath(const QString &path, int maxLength, QChar separator = QLatin1Char('/'));

// The path of a folder `name` created below `selected`: the two joined by exactly one separator
// ("/data" + "Sub" and "/data/" + "Sub" both give "/data/Sub"; "Sub/Deeper" makes two levels).
QString joinNewFolderPath(const QString &selected, const QString &name, QChar separator = QLatin1Char('/'));

// The system's language identifier for `locale` as four upper-case hexadecimal digits: the primary
// language in the low ten bits, the country's sub-language above (de_AT gives "0C07", pl_PL "0415",
// ru_RU "0419"). A language without a known identifier gives "0000", which matches no caption line.
QString languageKeyFor(const QLocale &locale);

// The text for `key` from lines "Key=Text": the line named `key`, else "Default", else the first line;
// the empty text for an empty list.
QString pickCaption(const QStringList &lines, const QString &key);

// The built-in caption lists of the "New folder" button and of the dialog's title line.
QStringList defaultNewFolderCaptions();
QStringList defaultLabelCaptions();

} // namespace qv
