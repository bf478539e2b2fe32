// Interface-language files: parsing, the loaded table, message lookup.
#include "core/text/Language.h"

#include "core/settings/MessageCategory.h"
#include "platform/TextCodec.h"

#include "QvVersion.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>
#include <set>

namespace qv {

namespace {

std::mutex g_languageMutex;
std::shared_ptr<const LanguageTable> g_languageFile;

std::string fold(std::string_view s)
{
    std::string out(s);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool looksLikeKey(const std::string &s)
{
    if (s.size() < 4 || s.compare(0, 3, "str") != 0) {
        return false;
    }
    return std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

} // namespace

std::shared_ptr<const LanguageTable> LanguageTable::parse(std::string_view text, std::string fileName)
{
    auto table = std::make_shared<LanguageTable>();
    table->m_fileName = std::move(fileName);
    std::map<std::string, std::string> *section = nullptr;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        std::string_view t = trim(line);
        if (t.empty() || t.front() == ';' || t.front() == '#') {
            continue;
        }
        if (t.front() == '[') {
            std::size_t close = t.find(']');
            if (close != std::string_view::npos) {
                section = &table->m_sections[fold(trim(t.substr(1, close - 1)))];
            }
            continue;
        }
        std::size_t eq = line.find('=');
        if (!section || eq == std::string_view::npos) {
            continue;
        }
        std::string key = fold(trim(line.substr(0, eq)));
        if (!key.empty()) {
            section->emplace(std::move(key), std::string(line.substr(eq + 1)));
        }
    }
    return table;
}

std::shared_ptr<const LanguageTable> LanguageTable::loadFile(const std::string &path, std::string *error)
{
    std::string name = path.substr(path.find_last_of('/') + 1);
    auto refuse = [&](const std::string &why) -> std::shared_ptr<const LanguageTable> {
        if (error != nullptr) {
            *error = why;
        }
        return nullptr;
    };
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return refuse("\"" + name + "\" cannot be opened");
    }
    // Read piece by piece and never more than one piece past the limit, whatever size the file
    // claims (a file may grow while it is read, a device may have no size).
    std::string data;
    char piece[64 * 1024];
    while (in.read(piece, sizeof piece) || in.gcount() > 0) {
        data.append(piece, static_cast<std::size_t>(in.gcount()));
        if (data.size() > kMaxLanguageFileBytes) {
            return refuse("\"" + name + "\" is larger than " + kMaxLanguageFileText +
                          ", the most a language file may be");
        }
    }
    if (in.bad()) {
        return refuse("\"" + name + "\" cannot be read");
    }
    return parse(decodeTextFile(data), name);
}

std::optional<std::string> LanguageTable::value(std::string_view section, std::string_view key) const
{
    auto s = m_sections.find(fold(section));
    if (s == m_sections.end()) {
        return std::nullopt;
    }
    auto k = s->second.find(fold(trim(key)));
    if (k == s->second.end()) {
        return std::nullopt;
    }
    return k->second;
}

std::string LanguageTable::ReadString(std::string_view section, std::string_view key,
                                      const std::string &defaultValue) const
{
    auto v = value(section, key);
    return v ? *v : defaultValue;
}

bool LanguageTable::hasSection(std::string_view section) const
{
    return m_sections.count(fold(section)) != 0;
}

std::shared_ptr<const LanguageTable> LanguageFile()
{
    std::lock_guard<std::mutex> lock(g_languageMutex);
    return g_languageFile;
}

void SetLanguageFile(std::shared_ptr<const LanguageTable> table)
{
    std::lock_guard<std::mutex> lock(g_languageMutex);
    g_languageFile = std::move(table);
}

std::vector<std::string> languageSearchDirs()
{
    std::vector<std::string> dirs;
    auto add = [&](const QString &d) {
        if (d.isEmpty()) {
            return;
        }
        std::string s = QDir::cleanPath(d).toStdString();
        if (std::find(dirs.begin(), dirs.end(), s) == dirs.end()) {
            dirs.push_back(s);
        }
    };
    for (const QString &base : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        add(base + QStringLiteral("/quorvellant/lang"));
    }
    add(QStringLiteral(QV_INSTALL_DATADIR "/lang"));
    if (QCoreApplication::instance()) {
        add(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/quorvellant/lang"));
    }
    return dirs;
}

std::string findLanguageFile(const std::string &fileName)
{
    if (fileName.empty() || fileName.find('/') != std::string::npos) {
        return {};
    }
    QString wanted = QString::fromStdString(fileName);
    for (const std::string &dir : languageSearchDirs()) {
        QDir d(QString::fromStdString(dir));
        const QStringList entries = d.entryList(QDir::Files | QDir::Readable, QDir::Name);
        for (const QString &e : entries) {
            if (e.compare(wanted, Qt::CaseInsensitive) == 0) {
                return d.filePath(e).toStdString();
            }
        }
    }
    return {};
}

std::vector<std::string> availableLanguageFiles()
{
    std::set<std::string> seen;
    std::vector<std::string> out;
    for (const std::string &dir : languageSearchDirs()) {
        QDir d(QString::fromStdString(dir));
        const QStringList entries = d.entryList({QStringLiteral("*.lng")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QString &e : entries) {
            if (seen.insert(e.toLower().toStdString()).second) {
                out.push_back(e.toStdString());
            }
        }
    }
    std::sort(out.begin(), out.end(), [](const std::string &a, const std::string &b) {
        return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0;
    });
    return out;
}

std::shared_ptr<const LanguageTable> LoadLanguageFile(const std::string &fileName)
{
    SetLanguageFile(nullptr);
    std::string path = findLanguageFile(fileName);
    if (path.empty()) {
        return nullptr;
    }
    std::string error;
    auto table = LanguageTable::loadFile(path, &error);
    if (table == nullptr) {
        qCWarning(lcProgram, "the language file is not used: %s", error.c_str());
    }
    return table;
}

std::string expandLangLineBreaks(std::string text)
{
    // Copied piece by piece rather than replaced in place: GCC 12 at -O3 wrongly warns
    // (stringop-overflow) about the in-place replace.
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t pos; (pos = text.find("*|*", from)) != std::string::npos; from = pos + 3) {
        out.append(text, from, pos - from);
        out += '\n';
    }
    out.append(text, from, std::string::npos);
    return out;
}

std::string GetLangString(const std::string &defaultText, const std::string &key)
{
    const std::string *k = &key;
    const std::string *d = &defaultText;
    if (!looksLikeKey(key) && looksLikeKey(defaultText)) {
        // The arguments came in the other order; answer what the caller meant.
        static std::atomic<bool> warned{false};
        if (!warned.exchange(true)) {
            qCWarning(lcProgram, "GetLangString: default text and key swapped (key \"%s\")", defaultText.c_str());
        }
        std::swap(k, d);
    }
    std::shared_ptr<const LanguageTable> table = LanguageFile();
    if (!table) {
        return *d;
    }
    auto v = table->value("Misc", *k);
    if (!v || v->empty()) {
        return *d;
    }
    return expandLangLineBreaks(*v);
}

std::string formatLangString(const std::string &defaultPattern, const std::string &key,
                             std::initializer_list<FormatArg> args)
{
    return formatText(GetLangString(defaultPattern, key), defaultPattern, args);
}

} // namespace qv
