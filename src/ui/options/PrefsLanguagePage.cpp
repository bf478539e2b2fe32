// PrefsLanguagePage: the options dialog's "Interface Language" page.
#include "ui/options/PrefsLanguagePage.h"

#include "components/AlphaImageList.h"
#include "components/LangText.h"
#include "components/MessageBox.h"
#include "core/settings/Settings.h"
#include "core/text/Language.h"
#include "ui/HelpTopics.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace qv {

PrefsLanguagePage::PrefsLanguagePage(TAlphaImageList *flags, QWidget *parent) : QWidget(parent), m_flags(flags)
{
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kPreferencesLanguage));
    auto *caption = new QLabel(QStringLiteral("Select interface language:"), this);
    caption->setObjectName(QStringLiteral("LanguageLabel"));
    LanguageListView = new QListWidget(this);
    LanguageListView->setObjectName(QStringLiteral("LanguageListView"));
    LanguageListView->setIconSize(QSize(16, 16));
    LanguageListView->setSelectionMode(QAbstractItemView::SingleSelection);
    LanguageNoteLabel =
        new QLabel(QStringLiteral("NOTE: After changing interface language program need to be restarted."), this);
    LanguageNoteLabel->setObjectName(QStringLiteral("LanguageNoteLabel"));
    LanguageNoteLabel->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(LanguageListView, 1);
    layout->addWidget(LanguageNoteLabel);
}

int PrefsLanguagePage::load()
{
    m_items = prefs::languageItems(availableLanguageFiles());
    LanguageListView->clear();
    for (const prefs::LanguageItem &item : m_items) {
        auto *line = new QListWidgetItem(QString::fromStdString(item.caption), LanguageListView);
        if (m_flags != nullptr && item.image < m_flags->Count()) {
            line->setIcon(m_flags->icon(item.image));
        }
    }
    const int index = prefs::selectedLanguageIndex(m_items, Language);
    LanguageListView->setCurrentRow(index);
    return index;
}

int PrefsLanguagePage::selectedIndex() const
{
    const QList<QListWidgetItem *> selected = LanguageListView->selectedItems();
    return selected.isEmpty() ? -1 : LanguageListView->row(selected.first());
}

bool PrefsLanguagePage::store(int initialIndex) const
{
    const prefs::LanguageChange change = prefs::languageChange(m_items, initialIndex, selectedIndex());
    switch (change.kind) {
    case prefs::LanguageChange::Keep:
        return true;
    case prefs::LanguageChange::UseDefault:
        Language.clear();
        SetLanguageFile(nullptr);
        return true;
    case prefs::LanguageChange::LoadFile:
        break;
    }
    const std::string path = findLanguageFile(change.fileName);
    std::string why;
    std::shared_ptr<const LanguageTable> table = path.empty() ? nullptr : LanguageTable::loadFile(path, &why);
    if (table == nullptr) {
        ShowError(const_cast<PrefsLanguagePage *>(this),
                  QString::fromStdString(formatLangString("Can't load language file %s.", "strLanguageFileCantLoad",
                                                          {change.fileName}) +
                                         (why.empty() ? std::string() : "\n" + why)));
        return false;
    }
    Language = change.fileName;
    SetLanguageFile(table);
    return true;
}

} // namespace qv
