// The folder dialog's pure rules: shortened paths, new folder paths, language keys and captions.
#include "components/FolderBrowseRules.h"

#include <utility>

namespace qv {

QString ShortenPath(const QString &path, int maxLength, QChar separator)
{
    if (maxLength < 0) {
        return {};
    }
    if (path.size() <= maxLength || maxLength < 6) {
        return path.left(maxLength);
    }
    if (!path.contains(separator) || path.mid(2).count(separator) < 2) {
        return path.left(maxLength);
    }
    QString rest = path;
    QString result;
    // A network path ("\\server\share\..."): the server's name is kept after the two backslashes.
    if (separator == QLatin1Char('\\') && rest.indexOf(separator) <= 1) {
        result = QStringLiteral("\\\\");
        rest = rest.mid(2);
    }
    const int first = rest.indexOf(separator);
    result += rest.left(first + 1) + QStringLiteral("...");
    rest = rest.mid(first + 1);
    while (result.size() + 1 + rest.size() > maxLength && rest.contains(separator)) {
        rest = rest.mid(rest.indexOf(separator) + 1);
    }
    const QString joined = result + separator + rest;
    if (joined.size() <= maxLength) {
        return joined;
    }
    return joined.left(maxLength - 3) + QStringLiteral("...");
}

QString joinNewFolderPath(const QString &selected, const QString &name, QChar separator)
{
    if (name.startsWith(separator) || selected.endsWith(separator)) {
        return selected + name;
    }
    return selected + separator + name;
}

namespace {

struct LanguageId
{
    QLocale::Language language;
    int primary;
};

// Primary language identifiers of the system's language table.
constexpr LanguageId kPrimary[] = {
    {QLocale::Arabic, 0x01},     {QLocale::Bulgarian, 0x02},
    {QLocale::Catalan, 0x03},    {QLocale::Chinese, 0x04},
    {QLocale::Czech, 0x05},      {QLocale::Danish, 0x06},
    {QLocale::German, 0x07},     {QLocale::Greek, 0x08},
    {QLocale::English, 0x09},    {QLocale::Spanish, 0x0A},
    {QLocale::Finnish, 0x0B},    {QLocale::French, 0x0C},
    {QLocale::Hebrew, 0x0D},     {QLocale::Hungarian, 0x0E},
    {QLocale::Icelandic, 0x0F},  {QLocale::Italian, 0x10},
    {QLocale::Japanese, 0x11},   {QLocale::Korean, 0x12},
    {QLocale::Dutch, 0x13},      {QLocale::NorwegianBokmal, 0x14},
    {QLocale::Polish, 0x15},     {QLocale::Portuguese, 0x16},
    {QLocale::Romanian, 0x18},   {QLocale::Russian, 0x19},
    {QLocale::Croatian, 0x1A},   {QLocale::Slovak, 0x1B},
    {QLocale::Albanian, 0x1C},   {QLocale::Swedish, 0x1D},
    {QLocale::Thai, 0x1E},       {QLocale::Turkish, 0x1F},
    {QLocale::Ukrainian, 0x22},  {QLocale::Slovenian, 0x24},
    {QLocale::Estonian, 0x25},   {QLocale::Latvian, 0x26},
    {QLocale::Lithuanian, 0x27},
};

struct SubLanguage
{
    QLocale::Language language;
    QLocale::Territory territory;
    int sub;
};

// Countries whose sub-language is not the first (the first is the language's main country).
constexpr SubLanguage kSub[] = {
    {QLocale::German, QLocale::Switzerland, 2},
    {QLocale::German, QLocale::Austria, 3},
    {QLocale::German, QLocale::Luxembourg, 4},
    {QLocale::German, QLocale::Liechtenstein, 5},
    {QLocale::English, QLocale::UnitedKingdom, 2},
    {QLocale::English, QLocale::Australia, 3},
    {QLocale::English, QLocale::Canada, 4},
    {QLocale::English, QLocale::NewZealand, 5},
    {QLocale::English, QLocale::Ireland, 6},
    {QLocale::English, QLocale::SouthAfrica, 7},
    {QLocale::English, QLocale::Jamaica, 8},
    {QLocale::English, QLocale::Belize, 10},
    {QLocale::English, QLocale::TrinidadAndTobago, 11},
    {QLocale::French, QLocale::Belgium, 2},
    {QLocale::French, QLocale::Canada, 3},
    {QLocale::French, QLocale::Switzerland, 4},
    {QLocale::French, QLocale::Luxembourg, 5},
    {QLocale::French, QLocale::Monaco, 6},
    {QLocale::Italian, QLocale::Switzerland, 2},
    {QLocale::Dutch, QLocale::Belgium, 2},
    {QLocale::Portuguese, QLocale::Portugal, 2},
    {QLocale::Spanish, QLocale::Mexico, 2},
    {QLocale::Swedish, QLocale::Finland, 2},
};

} // namespace

QString languageKeyFor(const QLocale &locale)
{
    QLocale::Language language = locale.language();
    if (language == QLocale::C) {
        language = QLocale::English; // the POSIX locale speaks American English
    }
    int primary = 0;
    for (const LanguageId &l : kPrimary) {
        if (l.language == language) {
            primary = l.primary;
        }
    }
    if (primary == 0) {
        return QStringLiteral("0000");
    }
    int sub = 1;
    for (const SubLanguage &s : kSub) {
        if (s.language == language && s.territory == locale.territory()) {
            sub = s.sub;
        }
    }
    return QStringLiteral("%1").arg((sub << 10) | primary, 4, 16, QLatin1Char('0')).toUpper();
}

QString pickCaption(const QStringList &lines, const QString &key)
{
    if (lines.isEmpty()) {
        return {};
    }
    auto valueOf = [&](const QString &name) -> std::pair<bool, QString> {
        for (const QString &line : lines) {
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq >= 0 && line.left(eq).compare(name, Qt::CaseInsensitive) == 0) {
                return {true, line.mid(eq + 1)};
            }
        }
        return {false, {}};
    };
    if (auto [found, text] = valueOf(key); found) {
        return text;
    }
    if (auto [found, text] = valueOf(QStringLiteral("Default")); found) {
        return text;
    }
    const QString &first = lines.constFirst();
    const int eq = first.indexOf(QLatin1Char('='));
    return eq >= 0 ? first.mid(eq + 1) : QString();
}

namespace {

struct CaptionLine
{
    const char *key;
    const char *newFolder;
    const char *label;
};

// UTF-8 texts; the Polish title has no colon.
constexpr CaptionLine kCaptions[] = {
    {"Default", "New folder", "Current folder:"},
    {"0009", "New folder", "Current folder:"},
    {"0406", "Ny mappe", "Valgt mappe:"},
    {"0407", "Neuer Ordner", "Ausgewählter Ordner:"},
    {"0409", "New folder", "Current folder:"},
    {"040C", "Nouveau Dossier", "Dossier Courant:"},
    {"0410", "Nuova Cartella", "Cartella selezionata:"},
    {"0413", "Nieuwe map", "Huidige map:"},
    {"0415", "Nowy folder", "Bieżący folder"},
    {"0416", "Nova Pasta", "Pasta Atual:"},
    {"0807", "Neuer Ordner", "Ausgewählter Ordner:"},
    {"0809", "New folder", "Current folder:"},
    {"080C", "Nouveau Dossier", "Dossier Courant:"},
    {"0810", "Nuova Cartella", "Cartella selezionata:"},
    {"0C07", "Neuer Ordner", "Ausgewählter Ordner:"},
    {"0C09", "New folder", "Current folder:"},
    {"0C0C", "Nouveau Dossier", "Dossier Courant:"},
    {"1007", "Neuer Ordner", "Ausgewählter Ordner:"},
    {"1009", "New folder", "Current folder:"},
    {"100C", "Nouveau Dossier", "Dossier Courant:"},
    {"1407", "Neuer Ordner", "Ausgewählter Ordner:"},
    {"1409", "New folder", "Current folder:"},
    {"140C", "Nouveau Dossier", "Dossier Courant:"},
    {"1809", "New folder", "Current folder:"},
    {"180C", "Nouveau Dossier", "Dossier Courant:"},
    {"1C09", "New folder", "Current folder:"},
    {"2009", "New folder", "Current folder:"},
    {"2809", "New folder", "Current folder:"},
    {"2C09", "New folder", "Current folder:"},
};

QStringList captionList(bool newFolder)
{
    QStringList lines;
    for (const CaptionLine &c : kCaptions) {
        lines << QString::fromLatin1(c.key) + QLatin1Char('=') +
                     QString::fromUtf8(newFolder ? c.newFolder : c.label);
    }
    return lines;
}

} // namespace

QStringList defaultNewFolderCaptions()
{
    return captionList(true);
}

QStringList defaultLabelCaptions()
{
    return captionList(false);
}

} // namespace qv
