// TMaintenanceForm: the settings maintenance wizard: back up chosen parts of the settings and tasks to
// a REGEDIT4 file, or restore them from one and reload the program's state.
//
// The wizard knows the program only through MaintenanceHost, so tests can drive it without a main
// window. The action of a step runs as soon as its page is reached; a restore imports the file in
// one transaction and reloads only after it committed, so a failed restore changes nothing.
#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace qv {

struct MainFormDialogs;
struct SettingsPartChoice;

struct MaintenanceHost {
    // Writes everything the user sees to the store (before a backup or a restore).
    std::function<void()> saveAll;
    // True while any run, waiting run or filter test exists (a restore is refused then).
    std::function<bool()> runsExist;
    // Reloads the program's state from the store after a restore; returns the problems found.
    std::function<std::vector<std::string>()> reload;
};

class TMaintenanceForm : public QDialog
{
    Q_OBJECT
public:
    explicit TMaintenanceForm(MaintenanceHost host, QWidget *parent = nullptr);
    ~TMaintenanceForm() override;

    int action() const { return m_action; }
    int step() const { return m_step; }
    bool busy() const { return m_busy; }
    bool finished() const { return m_finished; }
    bool failed() const { return m_failed; }
    // The folder of the last backup (what "Open Folder" opens).
    const QString &backupFolder() const { return m_backupFolder; }

    void NextButtonClick();
    void BackButtonClick();
    void CheckState();

protected:
    void reject() override;

private:
    void build();
    QWidget *buildWelcomePage();
    QWidget *buildOptionsPage(const QString &prefix, QCheckBox **boxes, QLineEdit **edit, bool save);
    QWidget *buildActionPage(const QString &prefix, const QString &text);
    QWidget *buildDonePage(const QString &prefix, const QString &okText, const QString &failedText,
                           QLabel **ok, QLabel **bad);
    bool inputOk() const;
    bool nextAllowed();
    bool refuseWhileRunning();
    void showStep();
    void performBackup();
    void performRestore();
    void browse(bool save);
    void openBackupFolder();
    SettingsPartChoice choice(QCheckBox *const *boxes) const;

    MaintenanceHost m_host;
    int m_action = 0;
    int m_step = 1;
    bool m_busy = false;
    bool m_finished = false;
    bool m_failed = false;
    QString m_backupFolder;

    QStackedWidget *m_pages = nullptr;
    QRadioButton *m_backupChoice = nullptr;
    QRadioButton *m_restoreChoice = nullptr;
    QCheckBox *m_backupParts[3] = {};
    QCheckBox *m_restoreParts[3] = {};
    QLineEdit *m_backupFile = nullptr;
    QLineEdit *m_restoreFile = nullptr;
    QLabel *m_backupOk = nullptr;
    QLabel *m_backupFailed = nullptr;
    QLabel *m_restoreOk = nullptr;
    QLabel *m_restoreFailed = nullptr;
    QPlainTextEdit *m_backupDetails = nullptr;
    QPlainTextEdit *m_restoreDetails = nullptr;
    QPushButton *m_explorer = nullptr;
    QPushButton *m_back = nullptr;
    QPushButton *m_next = nullptr;
    QPushButton *m_close = nullptr;
};

// Installs the wizard as the main window's "Settings Maintenance..." dialog.
void installMaintenanceWizard(MainFormDialogs &dialogs);

} // namespace qv
