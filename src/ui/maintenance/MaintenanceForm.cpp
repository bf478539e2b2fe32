// TMaintenanceForm: the settings maintenance wizard's pages, moves, backup and restore.
#include "ui/maintenance/MaintenanceForm.h"

#include "components/Graphics.h"
#include "components/LangText.h"
#include "components/MessageBox.h"
#include "components/TranslateForm.h"
#include "core/runs/RunQueue.h"
#include "core/settings/SettingsBackup.h"
#include "core/runs/BackupData.h"
#include "core/text/Variables.h"
#include "core/util/Utils.h"
#include "platform/Desktop.h"
#include "ui/FileDialogs.h"
#include "ui/MainForm.h"
#include "ui/MainFormDialogs.h"
#include "ui/maintenance/MaintenanceSteps.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace qv {
namespace {

const char *const kDefaultBackupName = "Quorvellant Settings Backup.reg";
const char *const kPartNames[3] = {"Settings", "Tasks", "WindowPosition"};
const char *const kPartCaptions[3] = {"Settings", "Tasks", "Window Position"};

QLabel *namedLabel(QWidget *parent, const QString &name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    return label;
}

QLabel *titleLabel(QWidget *parent, const QString &name, const QString &text)
{
    QLabel *label = namedLabel(parent, name, text);
    QFont f = label->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.25);
    label->setFont(f);
    return label;
}

QPlainTextEdit *detailsMemo(QWidget *parent, const QString &name)
{
    auto *memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setReadOnly(true);
    memo->setVisible(false);
    return memo;
}

// The backup's first proposal: a full path in the user's documents folder (the home folder when
// there is none), never the program's working folder, which the user cannot see.
QString defaultBackupFile()
{
    constexpr int kPersonalFolder = 0x05;
    QString folder = QFile::decodeName(QByteArray::fromStdString(GetSpecialFolderPath(kPersonalFolder)));
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QDir::homePath();
    }
    return QDir(folder).absoluteFilePath(QString::fromLatin1(kDefaultBackupName));
}

// The absolute path of a typed name: relative names are taken from the current folder.
QString resolvedFileName(const QString &typed)
{
    return QFileInfo(QDir::current(), typed.trimmed()).absoluteFilePath();
}

} // namespace

TMaintenanceForm::TMaintenanceForm(MaintenanceHost host, QWidget *parent) : QDialog(parent), m_host(std::move(host))
{
    setObjectName(QStringLiteral("MaintenanceForm"));
    setWindowTitle(QStringLiteral("Quorvellant Settings Maintenance Wizard"));
    build();
    TranslateForm(this);
    m_pages->setCurrentIndex(kPageWelcome);
    m_step = 1;
    m_action = kMaintenanceNone;
    CheckState();
    m_backupChoice->setFocus(); // Space chooses it, the arrow keys move to the other choice
}

TMaintenanceForm::~TMaintenanceForm() = default;

void TMaintenanceForm::build()
{
    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image"));
    picture->setFixedSize(150, 320);
    picture->setScaledContents(true);
    QImage image;
    if (LoadJpegResource("GFX_MAINTENANCE", image)) {
        picture->setPixmap(QPixmap::fromImage(image));
    }
    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControl"));
    m_pages->addWidget(buildWelcomePage());
    m_pages->addWidget(buildOptionsPage(QStringLiteral("BackupOptions"), m_backupParts, &m_backupFile, true));
    m_pages->addWidget(buildActionPage(QStringLiteral("BackupAction"), QStringLiteral("Saving settings to backup...")));
    m_pages->addWidget(buildDonePage(QStringLiteral("BackupDone"), QStringLiteral("Backup successfully finished!"),
                                     QStringLiteral("Backup failed!"), &m_backupOk, &m_backupFailed));
    m_pages->addWidget(buildOptionsPage(QStringLiteral("RestoreOptions"), m_restoreParts, &m_restoreFile, false));
    m_pages->addWidget(
        buildActionPage(QStringLiteral("RestoreAction"), QStringLiteral("Restoring settings from backup...")));
    m_pages->addWidget(buildDonePage(QStringLiteral("RestoreDone"), QStringLiteral("Restore successfully finished!"),
                                     QStringLiteral("Restore failed!"), &m_restoreOk, &m_restoreFailed));
    m_backupDetails = m_pages->widget(kPageBackupDone)->findChild<QPlainTextEdit *>();
    m_restoreDetails = m_pages->widget(kPageRestoreDone)->findChild<QPlainTextEdit *>();
    m_backupFile->setText(defaultBackupFile());

    m_back = new QPushButton(QStringLiteral("< &Back"), this);
    m_back->setObjectName(QStringLiteral("BackButton"));
    m_next = new QPushButton(QStringLiteral("&Next >"), this);
    m_next->setObjectName(QStringLiteral("NextButton"));
    m_next->setDefault(true);
    m_close = new QPushButton(QStringLiteral("&Close"), this);
    m_close->setObjectName(QStringLiteral("CloseButton"));
    connect(m_back, &QPushButton::clicked, this, &TMaintenanceForm::BackButtonClick);
    connect(m_next, &QPushButton::clicked, this, &TMaintenanceForm::NextButtonClick);
    connect(m_close, &QPushButton::clicked, this, &TMaintenanceForm::reject);

    auto *top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addWidget(m_pages, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    buttons->addSpacing(12);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    resize(560, 400);
}

QWidget *TMaintenanceForm::buildWelcomePage()
{
    auto *page = new QWidget(m_pages);
    page->setObjectName(QStringLiteral("WelcomeTabSheet"));
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(
        titleLabel(page, QStringLiteral("WelcomeLabel"), QStringLiteral("Welcome to Settings Maintenance Wizard!")));
    layout->addSpacing(16);
    m_backupChoice = new QRadioButton(QStringLiteral("Backup: Save current settings to a file"), page);
    m_backupChoice->setObjectName(QStringLiteral("WelcomeBackupRadioButton"));
    m_restoreChoice = new QRadioButton(QStringLiteral("Restore: Load settings from a file"), page);
    m_restoreChoice->setObjectName(QStringLiteral("WelcomeRestoreRadioButton"));
    for (QRadioButton *choice : {m_backupChoice, m_restoreChoice}) {
        layout->addWidget(choice);
        connect(choice, &QRadioButton::clicked, this, &TMaintenanceForm::CheckState);
    }
    layout->addStretch(1);
    return page;
}

QWidget *TMaintenanceForm::buildOptionsPage(const QString &prefix, QCheckBox **boxes, QLineEdit **edit, bool save)
{
    auto *page = new QWidget(m_pages);
    page->setObjectName(prefix + QStringLiteral("TabSheet"));
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(titleLabel(page, prefix + QStringLiteral("Label"),
                                 save ? QStringLiteral("Backup options") : QStringLiteral("Restore options")));
    layout->addWidget(namedLabel(page, prefix + QStringLiteral("PartsLabel"),
                                 save ? QStringLiteral("Save these parts:") : QStringLiteral("Restore these parts:")));
    for (int i = 0; i < 3; ++i) {
        boxes[i] = new QCheckBox(QString::fromLatin1(kPartCaptions[i]), page);
        boxes[i]->setObjectName(prefix + QString::fromLatin1(kPartNames[i]) + QStringLiteral("CheckBox"));
        boxes[i]->setChecked(true);
        connect(boxes[i], &QCheckBox::toggled, this, &TMaintenanceForm::CheckState);
        layout->addWidget(boxes[i]);
    }
    layout->addSpacing(12);
    layout->addWidget(namedLabel(page, prefix + QStringLiteral("FilenameLabel"),
                                 save ? QStringLiteral("Backup file:") : QStringLiteral("Restore from file:")));
    auto *row = new QHBoxLayout;
    *edit = new QLineEdit(page);
    (*edit)->setObjectName(prefix + QStringLiteral("FilenameEdit"));
    auto *browse = new QPushButton(QStringLiteral("Browse..."), page);
    browse->setObjectName(prefix + QStringLiteral("BrowseButton"));
    connect(browse, &QPushButton::clicked, this, [this, save] { this->browse(save); });
    connect(*edit, &QLineEdit::textChanged, this, &TMaintenanceForm::CheckState);
    row->addWidget(*edit, 1);
    row->addWidget(browse);
    layout->addLayout(row);
    layout->addStretch(1);
    return page;
}

QWidget *TMaintenanceForm::buildActionPage(const QString &prefix, const QString &text)
{
    auto *page = new QWidget(m_pages);
    page->setObjectName(prefix + QStringLiteral("TabSheet"));
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(titleLabel(page, prefix + QStringLiteral("Label"), text));
    layout->addStretch(1);
    return page;
}

QWidget *TMaintenanceForm::buildDonePage(const QString &prefix, const QString &okText, const QString &failedText,
                                         QLabel **ok, QLabel **bad)
{
    auto *page = new QWidget(m_pages);
    page->setObjectName(prefix + QStringLiteral("TabSheet"));
    auto *layout = new QVBoxLayout(page);
    *ok = titleLabel(page, prefix + QStringLiteral("Label"), okText);
    *bad = titleLabel(page, prefix + QStringLiteral("FailedLabel"), failedText);
    (*bad)->setVisible(false);
    layout->addWidget(*ok);
    layout->addWidget(*bad);
    layout->addWidget(detailsMemo(page, prefix + QStringLiteral("DetailsMemo")), 1);
    if (prefix == QStringLiteral("BackupDone")) {
        m_explorer = new QPushButton(QStringLiteral("Open Folder"), page);
        m_explorer->setObjectName(QStringLiteral("BackupDoneExplorerButton"));
        connect(m_explorer, &QPushButton::clicked, this, &TMaintenanceForm::openBackupFolder);
        layout->addWidget(m_explorer, 0, Qt::AlignLeft);
    }
    layout->addStretch(1);
    return page;
}

SettingsPartChoice TMaintenanceForm::choice(QCheckBox *const *boxes) const
{
    SettingsPartChoice c;
    c.settings = boxes[0]->isChecked();
    c.tasks = boxes[1]->isChecked();
    c.windowPosition = boxes[2]->isChecked();
    return c;
}

bool TMaintenanceForm::inputOk() const
{
    if (m_step != 2) {
        return true;
    }
    // An options page needs at least one part to work on.
    return choice(m_action == kMaintenanceRestore ? m_restoreParts : m_backupParts).any();
}

void TMaintenanceForm::CheckState()
{
    if (m_close == nullptr) {
        return; // still being built
    }
    if (m_backupChoice->isChecked()) {
        m_action = kMaintenanceBackup;
    } else if (m_restoreChoice->isChecked()) {
        m_action = kMaintenanceRestore;
    }
    if (m_step == 1) {
        m_finished = false;
    }
    const MaintenanceButtons b = maintenanceButtons(m_action, m_step, m_busy, inputOk());
    m_back->setEnabled(b.back);
    m_next->setEnabled(b.next);
    m_close->setEnabled(b.close);
    if (m_step == 3 && !m_busy) {
        if (m_action == kMaintenanceBackup) {
            performBackup();
        } else if (m_action == kMaintenanceRestore) {
            performRestore();
        }
    }
}

void TMaintenanceForm::showStep()
{
    if (const std::optional<int> page = maintenancePage(m_action, m_step)) {
        m_pages->setCurrentIndex(*page);
        // The file name is what the options pages ask for; the done pages offer Close.
        if (*page == kPageBackupOptions || *page == kPageRestoreOptions) {
            (*page == kPageBackupOptions ? m_backupFile : m_restoreFile)->setFocus();
        }
    }
    CheckState();
    if (m_step == 4) {
        m_close->setFocus();
    }
}

bool TMaintenanceForm::refuseWhileRunning()
{
    if (!m_host.runsExist || !m_host.runsExist()) {
        return false;
    }
    ShowMessageBox(this,
                   langText("Settings can't be restored while a task is running. Please wait until all tasks "
                            "finish and try again.",
                            "strMaintenanceRestoreTaskRunning"),
                   langText("Error", "strError"), MB_OK | MB_ICONERROR);
    return true;
}

bool TMaintenanceForm::nextAllowed()
{
    if (m_step != 2) {
        return true;
    }
    if (m_action == kMaintenanceBackup) {
        const QString name = m_backupFile->text().trimmed();
        if (name.isEmpty()) {
            ShowMessageBox(this, langText("Please enter valid file name!", "strMaintenanceInvalidFileName"),
                           langText("Error", "strError"), MB_OK);
            return false;
        }
        const QString file = resolvedFileName(name);
        if (QFileInfo::exists(file)) {
            const QString text = QString::fromStdString(
                formatLangString("File \"%s\" already exists. Do you want to overwrite it?",
                                 "strMaintenanceFileExists", {FormatArg(file.toStdString())}));
            return ShowMessageBox(this, text, langText("Confirmation", "strConfirmation"),
                                  MB_YESNO | MB_ICONQUESTION) == IDYES;
        }
        return true;
    }
    const QString name = m_restoreFile->text().trimmed();
    if (name.isEmpty() || !QFileInfo(resolvedFileName(name)).isFile()) {
        const QString text = QString::fromStdString(
            formatLangString("File \"%s\" not found!", "strMaintenanceFileNotFound", {FormatArg(name.toStdString())}));
        ShowMessageBox(this, text, langText("Error", "strError"), MB_OK);
        return false;
    }
    return !refuseWhileRunning();
}

void TMaintenanceForm::NextButtonClick()
{
    if (m_action == kMaintenanceNone || m_busy || !nextAllowed()) {
        return;
    }
    m_step = maintenanceNextStep(m_action, m_step);
    showStep();
}

void TMaintenanceForm::BackButtonClick()
{
    if (m_action == kMaintenanceNone || m_busy) {
        return;
    }
    m_step = maintenanceBackStep(m_action, m_step);
    if (m_step == 1) {
        m_finished = false;
    }
    showStep();
}

void TMaintenanceForm::reject()
{
    if (m_busy) {
        return; // Close and Esc wait for the action's end
    }
    QDialog::reject();
}

void TMaintenanceForm::performBackup()
{
    m_busy = true;
    CheckState();
    m_pages->repaint();
    if (m_host.saveAll) {
        m_host.saveAll();
    }
    const QString file = resolvedFileName(m_backupFile->text());
    m_failed = false;
    QString details;
    try {
        backupSettingsFile(file.toStdString(), choice(m_backupParts));
        m_backupFolder = QFileInfo(file).absolutePath();
        details = file;
    } catch (const std::exception &e) {
        m_failed = true;
        details = QString::fromStdString(e.what());
    }
    m_backupOk->setVisible(!m_failed);
    m_backupFailed->setVisible(m_failed);
    m_explorer->setVisible(!m_failed);
    m_backupDetails->setPlainText(details);
    m_backupDetails->setVisible(true);
    m_busy = false;
    m_finished = true;
    m_step = 4;
    showStep();
}

void TMaintenanceForm::performRestore()
{
    m_busy = true;
    CheckState();
    m_pages->repaint();
    m_failed = false;
    QStringList details;
    // The save may ask the user something, and a run may start meanwhile: the check comes after it.
    if (m_host.saveAll) {
        m_host.saveAll();
    }
    if (refuseWhileRunning()) {
        m_busy = false;
        m_step = 2;
        showStep();
        return;
    }
    try {
        const RegistryImportReport report =
            restoreSettingsFile(resolvedFileName(m_restoreFile->text()).toStdString(), choice(m_restoreParts));
        // Committed: the program takes the new state before anything else can run.
        if (m_host.reload) {
            for (const std::string &problem : m_host.reload()) {
                details << QString::fromStdString(problem);
            }
        }
        for (const std::string &skipped : report.skipped) {
            details << langText("Not restored:", "strMaintenanceNotRestored") + QLatin1Char(' ') +
                           QString::fromStdString(skipped);
        }
    } catch (const std::exception &e) {
        m_failed = true;
        details << QString::fromStdString(e.what());
    }
    m_restoreOk->setVisible(!m_failed);
    m_restoreFailed->setVisible(m_failed);
    m_restoreDetails->setPlainText(details.join(QLatin1Char('\n')));
    m_restoreDetails->setVisible(!details.isEmpty());
    m_busy = false;
    m_finished = true;
    m_step = 4;
    showStep();
}

void TMaintenanceForm::browse(bool save)
{
    QLineEdit *edit = save ? m_backupFile : m_restoreFile;
    FileDialogRequest request;
    request.caption = save ? langText("Save Settings Backup", "strMaintenanceSaveCaption")
                           : langText("Open Settings Backup", "strMaintenanceOpenCaption");
    const QString typed = edit->text().trimmed();
    if (!typed.isEmpty()) {
        const QFileInfo info(resolvedFileName(typed));
        request.folder = info.absolutePath();
        request.fileName = info.fileName();
    }
    request.filters = {QStringLiteral("Registration Files (*.reg)"), QStringLiteral("All files (*)")};
    request.defaultSuffix = QStringLiteral("reg");
    const QString chosen = save ? fileDialogs().saveFileName(this, request) : fileDialogs().openFileName(this, request);
    if (!chosen.isEmpty()) {
        edit->setText(chosen);
    }
}

void TMaintenanceForm::openBackupFolder()
{
    if (!m_backupFolder.isEmpty()) {
        ShellOpen(m_backupFolder.toStdString(), "");
    }
}

void installMaintenanceWizard(MainFormDialogs &dialogs)
{
    dialogs.maintenanceWizard = [](QWidget *parent) {
        auto *main = qobject_cast<TMainForm *>(parent);
        if (main == nullptr) {
            main = MainForm;
        }
        MaintenanceHost host;
        if (main != nullptr) {
            host.saveAll = [main] { main->SaveAllSettings(); };
            host.reload = [main] { return main->ReloadAfterRestore(); };
        }
        host.runsExist = [] {
            if (RunningTaskCount() > 0) {
                return true;
            }
            if (BackupData != nullptr) {
                for (int i = 0; i < BackupData->Tasks.Count(); ++i) {
                    if (BackupData->Tasks[i]->Running || BackupData->Tasks[i]->TestRunning()) {
                        return true;
                    }
                }
            }
            return false;
        };
        TMaintenanceForm form(std::move(host), parent);
        form.exec();
    };
}

} // namespace qv
