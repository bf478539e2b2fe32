// TPrefsForm: the program options dialog.
#include "ui/options/PrefsForm.h"

#include "components/AlphaImageList.h"
#include "components/MessageBox.h"
#include "components/TranslateForm.h"
#include "components/TrayIcon.h"
#include "core/settings/Settings.h"
#include "core/runs/BackupData.h"
#include "core/util/Utils.h"
#include "ui/Help.h"
#include "ui/HelpTopics.h"
#include "ui/MainFormDialogs.h"
#include "ui/options/PrefsDefaultsPage.h"
#include "ui/options/PrefsLanguagePage.h"
#include "ui/options/PrefsLogDisplayPage.h"
#include "ui/options/PrefsRules.h"
#include "ui/options/PrefsStartupPage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>

namespace qv {

namespace {

// In memory only, for the life of the process.
int s_rememberedPage = 0;
int s_rememberedNode = 0;

QPushButton *button(QWidget *parent, const char *name, const char *caption)
{
    auto *b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

void loadPrefsImages(TAlphaImageList *list, const QString &prefix)
{
    list->Initialize();
    list->LoadFromResource(prefix);
    if (list->Count() == 0) {
        throw std::runtime_error("Application images were not loaded.");
    }
}

TPrefsForm::TPrefsForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PrefsForm"));
    setWindowTitle(QStringLiteral("Quorvellant Preferences"));
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kPreferences));
    m_tabImages = new TAlphaImageList(16, 16, this);
    m_tabImages->setObjectName(QStringLiteral("PreferencesImageList"));
    m_navigatorImages = new TAlphaImageList(16, 16, this);
    m_navigatorImages->setObjectName(QStringLiteral("TaskPropsImageList"));
    m_languageImages = new TAlphaImageList(16, 16, this);
    m_languageImages->setObjectName(QStringLiteral("LanguagesImageList"));
    loadPrefsImages(m_navigatorImages, QStringLiteral("ICON_TaskPropsImageList_"));
    loadPrefsImages(m_tabImages, QStringLiteral("ICON_PreferencesImageList_"));
    loadPrefsImages(m_languageImages, QStringLiteral("ICON_LanguagesImageList_"));

    MainPageControl = new QTabWidget(this);
    MainPageControl->setObjectName(QStringLiteral("MainPageControl"));
    StartupTabSheet = new PrefsStartupPage(MainPageControl);
    StartupTabSheet->setObjectName(QStringLiteral("StartupTabSheet"));
    PerformanceTabSheet = makePerformancePage();
    LogDisplayTabSheet = new PrefsLogDisplayPage(MainPageControl);
    LogDisplayTabSheet->setObjectName(QStringLiteral("LogDisplayTabSheet"));
    LanguageTabSheet = new PrefsLanguagePage(m_languageImages, MainPageControl);
    LanguageTabSheet->setObjectName(QStringLiteral("LanguageTabSheet"));
    TaskDefaultsTabSheet = new PrefsDefaultsPage(m_navigatorImages, MainPageControl);
    TaskDefaultsTabSheet->setObjectName(QStringLiteral("TaskDefaultsTabSheet"));
    const std::pair<QWidget *, const char *> pages[PageCount] = {
        {StartupTabSheet, "&Startup and Shutdown"},
        {PerformanceTabSheet, "Global Performance"},
        {LogDisplayTabSheet, "&Log Display"},
        {LanguageTabSheet, "&Interface Language"},
        {TaskDefaultsTabSheet, "Task's Defaults"},
    };
    for (int i = 0; i < PageCount; ++i) {
        MainPageControl->addTab(pages[i].first, m_tabImages->icon(i % m_tabImages->Count()),
                                QString::fromUtf8(pages[i].second));
    }

    OkButton = button(this, "OkButton", "OK");
    OkButton->setDefault(true);
    CancelButton = button(this, "CancelButton", "Cancel");
    HelpButton = button(this, "HelpButton", "&Help");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    buttons->addWidget(HelpButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MainPageControl, 1);
    layout->addLayout(buttons);
    resize(840, 520);

    connect(OkButton, &QPushButton::clicked, this, &TPrefsForm::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpButton, &QPushButton::clicked, this, &TPrefsForm::HelpButtonClick);
    // F1 on the tabs or the buttons opens the topic of the page in view, as F1 on its controls does.
    auto followPage = [this] {
        const QString own = MainPageControl->currentWidget()->property("helpKeyword").toString();
        setProperty("helpKeyword", own.isEmpty() ? QString::fromLatin1(HelpTopics::kPreferences) : own);
    };
    connect(MainPageControl, &QTabWidget::currentChanged, this, followPage);
    followPage();
    TranslateForm(this);
    // Every tab's caption in view and every node's label whole, whatever the font and language.
    MainPageControl->setUsesScrollButtons(false);
    TaskDefaultsTabSheet->fitTreeWidth();
    LogDisplayTabSheet->LogDisplayUpdateSample();
    TaskDefaultsTabSheet->selectNode(0);
    StartupTabSheet->CheckState();
}

QWidget *TPrefsForm::makePerformancePage()
{
    auto *page = new QWidget(MainPageControl);
    page->setObjectName(QStringLiteral("PerformanceTabSheet"));
    PerformanceCheckBoxDisallowSimultaneousBackup =
        new QCheckBox(QStringLiteral("Allow only one running Task at each moment of time"), page);
    PerformanceCheckBoxDisallowSimultaneousBackup->setObjectName(
        QStringLiteral("PerformanceCheckBoxDisallowSimultaneousBackup"));
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(PerformanceCheckBoxDisallowSimultaneousBackup);
    layout->addStretch(1);
    return page;
}

void TPrefsForm::fill(int page)
{
    StartupTabSheet->load(IsAutoStartRegistered());
    PerformanceCheckBoxDisallowSimultaneousBackup->setChecked(DisallowSimultaneousBackup);
    LogDisplayTabSheet->load();
    m_initialLanguageIndex = LanguageTabSheet->load();
    TaskDefaultsTabSheet->load();
    const int open = prefs::pageToOpen(page, s_rememberedPage, PageCount);
    MainPageControl->setCurrentIndex(open);
    if (open == TaskDefaultsPage) {
        TaskDefaultsTabSheet->selectNode(s_rememberedNode);
    }
    // The keyboard starts on the page's first choice, not on the tabs.
    QWidget *first[PageCount] = {StartupTabSheet->StartupCheckBoxRunAtSystemStartup,
                                 PerformanceCheckBoxDisallowSimultaneousBackup, LogDisplayTabSheet->LogDisplayFontButton,
                                 LanguageTabSheet->LanguageListView, TaskDefaultsTabSheet->TaskTree};
    first[open]->setFocus();
}

void TPrefsForm::store(TTrayIcon *tray)
{
    QString autostartError;
    try {
        if (StartupTabSheet->runAtStartupChecked()) {
            RegisterAutoStart();
        } else {
            UnregisterAutoStart();
        }
    } catch (const std::exception &e) {
        autostartError = QString::fromStdString(e.what());
    }
    StartupTabSheet->store();
    if (tray != nullptr) {
        tray->setIconVisible(!StartupHideTrayIcon);
    }
    if (BackupData != nullptr) {
        BackupData->RegisterShowWindowHotKey(StartupHotKeyUse, StartupHotKey);
    }
    DisallowSimultaneousBackup = PerformanceCheckBoxDisallowSimultaneousBackup->isChecked();
    LogDisplayTabSheet->store();
    // The pages are read before a new language changes any text they show.
    TaskDefaultsTabSheet->store();
    LanguageTabSheet->store(m_initialLanguageIndex);
    s_rememberedPage = MainPageControl->currentIndex();
    const int node = TaskDefaultsTabSheet->selectedNode();
    if (node >= 0) {
        s_rememberedNode = node;
    }
    if (!autostartError.isEmpty()) {
        ShowError(this, autostartError);
    }
}

void TPrefsForm::OkButtonClick()
{
    if (!TaskDefaultsTabSheet->canClose()) {
        MainPageControl->setCurrentIndex(TaskDefaultsPage);
        return;
    }
    accept();
}

void TPrefsForm::HelpButtonClick()
{
    help::sendHelpKey(MainPageControl->currentWidget());
}

bool ShowPreferences(int page, TTrayIcon *trayIcon, QWidget *parent)
{
    std::unique_ptr<TPrefsForm> form;
    try {
        form = std::make_unique<TPrefsForm>(parent);
        form->fill(page);
    } catch (const std::exception &e) {
        ShowError(parent, QString::fromStdString(e.what()));
        return false;
    }
    if (form->exec() != QDialog::Accepted) {
        return false;
    }
    form->store(trayIcon);
    return true;
}

int rememberedPreferencesPage()
{
    return s_rememberedPage;
}

int rememberedPreferencesNode()
{
    return s_rememberedNode;
}

void ResetPreferencesMemory()
{
    s_rememberedPage = 0;
    s_rememberedNode = 0;
}

void installPreferencesDialog(MainFormDialogs &dialogs)
{
    dialogs.preferencesPage = [](QWidget *parent, int page, TTrayIcon *tray) {
        return ShowPreferences(page, tray, parent);
    };
}

} // namespace qv
