// Folder core/text: texts and language: language files, localised messages, text formatting and
// the path variables. May include core/settings and core/util, core/task for the variables of a
// task, and the platform layer.
//
// Interface-language files: the loaded file, GetLangString and the search for ".lng" files.
//
// A language file is an INI text: section "Misc" holds one key per message ("strBackupFinish" ...),
// one section per window holds its captions and hints (applied by TranslateForm in the component
// library). Inside a text "*|*" stands for a line break. The loaded file is an immutable table that
// is swapped as a whole, so texts can be read from any thread while the user changes language.
// Without a file, or for a message the file lacks or leaves empty, the English text written in the
// code is used.
#pragma once

#include "core/text/TextFormat.h"

#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// The largest language file loaded: many times any real one (a few hundred kilobytes), small
// enough that a stray huge file cannot take the program's memory.
constexpr std::size_t kMaxLanguageFileBytes = std::size_t{16} << 20;
constexpr const char *kMaxLanguageFileText = "16 MiB";

// An INI file held in memory: sections and keys compare case-insensitively, keys are trimmed, a
// value is everything after the first "=" of its line (a trailing CR dropped). The first of two
// equal keys counts. Lines outside a section, comments (";" or "#") and lines without "=" are
// ignored.
class LanguageTable
{
public:
    static std::shared_ptr<const LanguageTable> parse(std::string_view text, std::string fileName = {});
    // nullptr when the file cannot be read or is larger than kMaxLanguageFileBytes, with the reason
    // in `error` when given. 8-bit files are read as UTF-8 when valid, otherwise as Windows-1252;
    // UTF-16LE files with a byte-order mark are accepted too.
    static std::shared_ptr<const LanguageTable> loadFile(const std::string &path,
                                                         std::string *error = nullptr);

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key, const std::string &defaultValue) const;
    bool hasSection(std::string_view section) const;
    // The file's own name (no folder), as found on disk.
    const std::string &fileName() const { return m_fileName; }

private:
    std::map<std::string, std::map<std::string, std::string>> m_sections; // folded names
    std::string m_fileName;
};

// The loaded language file, or nullptr for English.
std::shared_ptr<const LanguageTable> LanguageFile();
void SetLanguageFile(std::shared_ptr<const LanguageTable> table);

// Clears the loaded file, then loads `fileName` (a name with extension, no folder; found in the
// search folders ignoring case). Returns the new table, or nullptr when no such file exists; the
// caller installs it with SetLanguageFile (and stores table->fileName() as the setting).
std::shared_ptr<const LanguageTable> LoadLanguageFile(const std::string &fileName);

// Where language files are looked for, first match wins: $XDG_DATA_HOME/quorvellant/lang, the
// quorvellant/lang folders of $XDG_DATA_DIRS, the installation's data folder.
std::vector<std::string> languageSearchDirs();
// Full path of the language file named `fileName` ignoring case, or empty.
std::string findLanguageFile(const std::string &fileName);
// The ".lng" files of every search folder, by their real names, sorted, without repeats.
std::vector<std::string> availableLanguageFiles();

// The text of message `key`: `defaultText` without a language file, or when the file's "Misc"
// section lacks the key or leaves it empty; otherwise the file's text with "*|*" made line breaks.
std::string GetLangString(const std::string &defaultText, const std::string &key);

// A message that is a pattern: the file's pattern when it fits `args`, else the English one.
std::string formatLangString(const std::string &defaultPattern, const std::string &key,
                             std::initializer_list<FormatArg> args);

// "*|*" -> line break.
std::string expandLangLineBreaks(std::string text);

} // namespace qv
