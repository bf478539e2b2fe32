// TPrefsForm: the program options dialog (start-up, performance, log display, language and the
// defaults of tasks), and ShowPreferences, which runs it.
//
// The dialog edits the program-wide settings in memory; the caller saves them when it returns
// true. The only thing written at once is the autostart entry. Which page and which node of the
// task-defaults tree were open last is remembered for the life of the process, changed only by OK.
#pragma once

#include <QDialog>

#include <stdexcept>

class QCheckBox;
class QPushButton;
class QTabWidget;

namespace qv {

class PrefsDefaultsPage;
class PrefsLanguagePage;
class PrefsLogDisplayPage;
class PrefsStartupPage;
class TAlphaImageList;
class TTrayIcon;
struct MainFormDialogs;

class TPrefsForm : public QDialog
{
    Q_OBJECT
public:
    enum Page { StartupPage, PerformancePage, LogDisplayPage, LanguagePage, TaskDefaultsPage, PageCount };

    // Builds and translates the dialog. Throws std::runtime_error("Application images were not
    // loaded.") when one of its image lists finds no image.
    explicit TPrefsForm(QWidget *parent = nullptr);

    // Fills every page from the settings and opens `page` (-1: the remembered page, with the
    // remembered tree node when that is the task-defaults page).
    void fill(int page);
    // Stores every page (after OK). The autostart entry is written or deleted first; when that
    // fails, the reason is shown in an error box and every other choice is still stored.
    void store(TTrayIcon *tray);

    // OK: closes unless a page refuses (mismatched new passwords).
    void OkButtonClick();
    void HelpButtonClick();

    QTabWidget *MainPageControl;
    PrefsStartupPage *StartupTabSheet;
    QWidget *PerformanceTabSheet;
    QCheckBox *PerformanceCheckBoxDisallowSimultaneousBackup;
    PrefsLogDisplayPage *LogDisplayTabSheet;
    PrefsLanguagePage *LanguageTabSheet;
    PrefsDefaultsPage *TaskDefaultsTabSheet;
    QPushButton *OkButton;
    QPushButton *CancelButton;
    QPushButton *HelpButton;

    TAlphaImageList *tabImages() const { return m_tabImages; }
    TAlphaImageList *navigatorImages() const { return m_navigatorImages; }
    TAlphaImageList *languageImages() const { return m_languageImages; }

private:
    QWidget *makePerformancePage();

    TAlphaImageList *m_tabImages;
    TAlphaImageList *m_navigatorImages;
    TAlphaImageList *m_languageImages;
    int m_initialLanguageIndex = 0;
};

// Loads the 16-pixel images "<prefix>0", "<prefix>1", ... into `list`; throws
// std::runtime_error("Application images were not loaded.") when there is none.
void loadPrefsImages(TAlphaImageList *list, const QString &prefix);

// Runs the dialog on `page` (0..4, or -1 for the remembered page). True when closed with OK; the
// caller then saves the settings. An error while building or filling the dialog is shown in an error
// box and changes nothing.
bool ShowPreferences(int page, TTrayIcon *trayIcon, QWidget *parent = nullptr);

// The remembered page and task-defaults node (both 0 when the program starts).
int rememberedPreferencesPage();
int rememberedPreferencesNode();
// Back to the state of a program just started (for tests).
void ResetPreferencesMemory();

// Installs the dialog as the main window's options command.
void installPreferencesDialog(MainFormDialogs &dialogs);

} // namespace qv
