// PrefsLanguagePage: the options dialog's "Interface Language" page: the built-in English and one
// line per language file found, with a flag for the languages the program knows.
#pragma once

#include "ui/options/PrefsRules.h"

#include <QWidget>

class QLabel;
class QListWidget;

namespace qv {

class TAlphaImageList;

class PrefsLanguagePage : public QWidget
{
    Q_OBJECT
public:
    PrefsLanguagePage(TAlphaImageList *flags, QWidget *parent = nullptr);

    // Lists the language files and selects the line of the `Language` setting; returns its index
    // (the initial language index).
    int load();
    // Applies a changed choice: loads the chosen file first and installs it only when it could be
    // read (then `Language` takes the file's real name); the default line releases the file and
    // empties `Language`. A file that cannot be read any more gives an error box naming it and
    // changes nothing. Returns false after that error.
    bool store(int initialIndex) const;
    int selectedIndex() const;
    const std::vector<prefs::LanguageItem> &items() const { return m_items; }

    QListWidget *LanguageListView;
    QLabel *LanguageNoteLabel;

private:
    TAlphaImageList *m_flags;
    std::vector<prefs::LanguageItem> m_items;
};

} // namespace qv
