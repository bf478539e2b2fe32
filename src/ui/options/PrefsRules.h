// PrefsRules: the options dialog's rules that need no widget (language list, page memory).
#pragma once

#include <string>
#include <vector>

namespace qv::prefs {

// One line of the interface-language list. Line 0 is the built-in English (no file).
struct LanguageItem {
    std::string caption;
    std::string fileName; // the file's real name ("pt.br.lng", "GERMAN.LNG"); empty for English
    int image = 0;        // index into the language pictures
};

inline constexpr const char *kDefaultLanguageCaption = "English (Default)";

// The caption of a language file: the name without its extension (from the last dot on), wholly in
// lower case, then its first character in upper case ("GERMAN.LNG" and "german.lng" give "German").
std::string languageCaption(const std::string &fileName);
// The picture of a caption: 2 English, 3 Dutch, 4 Russian, 5 German, 6 Francais, 7 Spanish,
// 8 Polski, 0 any other (1 is the default English line).
int languageImage(const std::string &caption);
// The list: "English (Default)", then one line per file in the order given.
std::vector<LanguageItem> languageItems(const std::vector<std::string> &files);
// The line of the `Language` setting: the first file whose real name equals it ignoring case, or 0
// (the built-in English) for an empty setting or one that names no listed file.
int selectedLanguageIndex(const std::vector<LanguageItem> &items, const std::string &language);

// What OK does with the language choice.
struct LanguageChange {
    enum Kind { Keep, UseDefault, LoadFile } kind = Keep;
    std::string fileName; // for LoadFile
};
// Nothing when the selected line is the one selected at fill time; the default line (or none
// selected, -1) releases the file; any other line loads its file.
LanguageChange languageChange(const std::vector<LanguageItem> &items, int initialIndex, int selectedIndex);

// The default password of the task-defaults page. The stored password is never shown: it can be
// changed only by typing it first (nothing to type when none is set).
struct PasswordInput {
    std::string stored;  // the Password setting
    std::string current; // the current-password entry
    bool changeChecked = false;
    std::string newPassword;
    std::string confirmation;
};
struct PasswordRules {
    bool changeEnabled = false;  // "Change password:" (the current entry matches, case counts)
    bool entriesEnabled = false; // new, confirmation and security phrase with their labels
    bool mayClose = true;        // false while the new entries are open and differ
};
PasswordRules passwordRules(const PasswordInput &in);

// The page a -1 request opens: the remembered one; other requests are taken as they are, clamped
// into 0..pageCount-1.
int pageToOpen(int requested, int remembered, int pageCount);

} // namespace qv::prefs
