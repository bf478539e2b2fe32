// PrefsRules: the options dialog's rules that need no widget.
#include "ui/options/PrefsRules.h"

#include <QString>

#include <algorithm>

namespace qv::prefs {

std::string languageCaption(const std::string &fileName)
{
    const std::size_t dot = fileName.rfind('.');
    QString base = QString::fromStdString(dot == std::string::npos ? fileName : fileName.substr(0, dot)).toLower();
    if (!base.isEmpty()) {
        base[0] = base[0].toUpper();
    }
    return base.toStdString();
}

int languageImage(const std::string &caption)
{
    static const char *const kNamed[] = {"English", "Dutch", "Russian", "German", "Francais", "Spanish", "Polski"};
    for (int i = 0; i < 7; ++i) {
        if (caption == kNamed[i]) {
            return i + 2;
        }
    }
    return 0;
}

std::vector<LanguageItem> languageItems(const std::vector<std::string> &files)
{
    std::vector<LanguageItem> items;
    items.push_back({kDefaultLanguageCaption, {}, 1});
    for (const std::string &f : files) {
        const std::string caption = languageCaption(f);
        items.push_back({caption, f, languageImage(caption)});
    }
    return items;
}

int selectedLanguageIndex(const std::vector<LanguageItem> &items, const std::string &language)
{
    if (language.empty()) {
        return 0;
    }
    const QString wanted = QString::fromStdString(language);
    for (std::size_t i = 1; i < items.size(); ++i) {
        if (QString::fromStdString(items[i].fileName).compare(wanted, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

LanguageChange languageChange(const std::vector<LanguageItem> &items, int initialIndex, int selectedIndex)
{
    if (selectedIndex == initialIndex) {
        return {};
    }
    if (selectedIndex <= 0 || selectedIndex >= static_cast<int>(items.size())) {
        return {LanguageChange::UseDefault, {}};
    }
    return {LanguageChange::LoadFile, items[static_cast<std::size_t>(selectedIndex)].fileName};
}

PasswordRules passwordRules(const PasswordInput &in)
{
    PasswordRules r;
    r.changeEnabled = in.current == in.stored;
    r.entriesEnabled = r.changeEnabled && in.changeChecked;
    r.mayClose = !r.entriesEnabled || in.newPassword == in.confirmation;
    return r;
}

int pageToOpen(int requested, int remembered, int pageCount)
{
    const int page = requested < 0 ? remembered : requested;
    return std::clamp(page, 0, pageCount - 1);
}

} // namespace qv::prefs
