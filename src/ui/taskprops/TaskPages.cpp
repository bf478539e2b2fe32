// The plain pages of the task properties dialog: name, type, destination, compression, folder
// monitor, copy options, versions and obsolete files, and the link pages.
#include "ui/taskprops/TaskPages.h"

#include "components/MessageBox.h"
#include "components/RangedField.h"
#include "core/text/Language.h"
#include "ui/TaskFTPAdvForm.h"
#include "ui/taskprops/LinkLabel.h"
#include "ui/taskprops/TaskFieldPage.h"
#include "ui_TaskCompressPage.h"
#include "ui_TaskDestFtpPage.h"
#include "ui_TaskDestLocalPage.h"
#include "ui_TaskFolderMonitorPage.h"
#include "ui_TaskObsoletePage.h"
#include "ui_TaskOptionsPage.h"
#include "ui_TaskVersionsPage.h"
#include "ui_TaskTypePage.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <tuple>

namespace qv {
namespace {

#define QV_REF(TYPE, expr) [](TaskSettings &s) -> TYPE & { return s.expr; }
#define QV_BOOL(expr) QV_REF(bool, expr)
#define QV_TEXT(expr) QV_REF(std::string, expr)
#define QV_INT(expr) QV_REF(std::int32_t, expr)

// A page body built from its form file.
template <class Ui> QWidget *formBody(QWidget *parent)
{
    auto *body = new QWidget(parent);
    Ui ui;
    ui.setupUi(body);
    return body;
}

// The compression page: the zip passwords must match before OK closes the dialog.
class CompressPage : public TaskFieldPage
{
public:
    explicit CompressPage(QWidget *parent) : TaskFieldPage(parent)
    {
        row(formBody<Ui::TaskCompressPage>(this));
        bindCheck("CompressUseCheckBox", QV_BOOL(CompressUse));
        m_name = bindEdit("CompressFilenameEdit", QV_TEXT(CompressFilename));
        m_password = bindEdit("CompressPasswordEdit", QV_TEXT(CompressPassword));
        m_again = findChild<QLineEdit *>(QStringLiteral("CompressPasswordReenterEdit"));
        bindNumber("CompressLevelEdit", "CompressLevelUpDown", 0, 9, QV_INT(CompressLevel));
        stretch();
    }
    void load(const TaskSettings &s) override
    {
        TaskFieldPage::load(s);
        m_again->setText(QString::fromStdString(s.CompressPassword));
    }
    bool validate() override
    {
        if (m_password->text() == m_again->text()) {
            return true;
        }
        ShowError(this, QString::fromStdString(GetLangString(
                            "The two Zip passwords entries do not match. Please reenter passwords.",
                            "strProgectPropZipPasswordsMismatch")));
        emit pageRequested(QStringLiteral("CompressTabSheet"));
        m_password->setFocus();
        return false;
    }
    // The zip name a task name gives: its extension replaced by ".zip".
    QLineEdit *m_name;

private:
    QLineEdit *m_password;
    QLineEdit *m_again;
};

// A page that only describes and links to its child pages; a link shows its page and puts the
// keyboard focus into it.
class LinkPage : public TaskPropertiesPage
{
public:
    LinkPage(QWidget *parent, const std::vector<std::pair<const char *, QString>> &links,
             const std::vector<const char *> &targets, const char *introName = nullptr, const QString &intro = {})
        : TaskPropertiesPage(parent)
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        if (introName != nullptr) {
            auto *text = new QLabel(intro, this);
            text->setObjectName(QString::fromLatin1(introName));
            text->setWordWrap(true);
            layout->addWidget(text);
        }
        for (std::size_t i = 0; i < links.size(); ++i) {
            auto *l = new LinkLabel(links[i].second, LinkLabel::Weight::Normal, this);
            l->setObjectName(QString::fromLatin1(links[i].first));
            const QString target = QString::fromLatin1(targets[i]);
            connect(l, &LinkLabel::clicked, this, [this, target] { emit pageRequested(target, true); });
            layout->addWidget(l);
        }
        layout->addStretch(1);
    }
    void load(const TaskSettings &) override {}
    void store(TaskSettings &) const override {}
};

// A double click on a destination's radio button opens that destination's page.
class DoubleClickJump : public QObject
{
public:
    DoubleClickJump(TaskPropertiesPage *page, QString target, bool focusPage)
        : QObject(page), m_page(page), m_target(std::move(target)), m_focusPage(focusPage)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Mouse events reach the filter of a disabled button too; a disabled choice leads nowhere.
        auto *w = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::MouseButtonDblClick && w != nullptr && w->isEnabled()) {
            emit m_page->pageRequested(m_target, m_focusPage);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TaskPropertiesPage *m_page;
    QString m_target;
    bool m_focusPage;
};

struct DestinationLink {
    const char *radio;
    const char *label;
    const char *caption;
    const char *target;
    bool focusPage; // the local page takes the focus; the others leave it where it is
};

const DestinationLink kDestinationLinks[] = {
    {"DestLocalRadioButton", "DestLocalSettingsLabel", "Local/LAN folder settings", "DestLocalTabSheet", true},
    {"DestFtpRadioButton", "DestFtpSettingsLabel", "FTP server settings", "DestFtpTabSheet", false},
    {"DestCdDvdRadioButton", "DestCdDvdSettingsLabel", "CD/DVD settings", "TabSheet1", false},
    {"DestEmailRadioButton", "DestEmailSettingsLabel", "Email settings", "DestEmailTabSheet", false},
};

} // namespace

TaskPropertiesPage *createTypePage(QWidget *parent)
{
    auto *p = new TaskFieldPage(parent);
    p->row(formBody<Ui::TaskTypePage>(p));
    p->bindRadios({"BackupTypeSimpleCopyRadioButton", "BackupTypeExactCopyRadioButton", "BackupTypeMoveRadioButton",
                   "BackupTypeSynchronizeRadioButton"},
                  [](const TaskSettings &s) { return static_cast<int>(s.TaskType); },
                  [](TaskSettings &s, int checked) { s.TaskType = static_cast<TTaskType>(checked < 0 ? 0 : checked); });
    p->stretch();
    return p;
}

TaskPropertiesPage *createDestinationPage(QWidget *parent)
{
    auto *p = new TaskFieldPage(parent);
    p->radios({{"DestLocalRadioButton", QStringLiteral("Backup to Local/LAN:")},
               {"DestFtpRadioButton", QStringLiteral("Backup to FTP location:")},
               {"DestCdDvdRadioButton", QStringLiteral("Backup to CD/DVD disk:")},
               {"DestEmailRadioButton", QStringLiteral("Backup to Email:")}},
              [](const TaskSettings &s) { return static_cast<int>(s.DestType); },
              [](TaskSettings &s, int checked) {
                  if (checked >= 0) {
                      s.DestType = static_cast<std::uint8_t>(checked);
                  }
              });
    // Each button has its settings link beside it.
    for (const DestinationLink &d : kDestinationLinks) {
        auto *radio = p->findChild<QRadioButton *>(QString::fromLatin1(d.radio));
        auto *box = qobject_cast<QBoxLayout *>(radio->parentWidget()->layout());
        const int at = box->indexOf(radio);
        box->removeWidget(radio);
        auto *row = new QHBoxLayout;
        row->addWidget(radio);
        auto *link = new LinkLabel(QString::fromLatin1(d.caption), LinkLabel::Weight::Bold, radio->parentWidget());
        link->setObjectName(QString::fromLatin1(d.label));
        row->addWidget(link);
        row->addStretch(1);
        box->insertLayout(at, row);
        const QString target = QString::fromLatin1(d.target);
        const bool focusPage = d.focusPage;
        QObject::connect(link, &LinkLabel::clicked, p,
                         [p, target, focusPage] { emit p->pageRequested(target, focusPage); });
        radio->installEventFilter(new DoubleClickJump(p, target, focusPage));
    }
    // Only the local destination can be chosen; a task holding another kind shows it checked.
    for (const char *n : {"DestFtpRadioButton", "DestCdDvdRadioButton", "DestEmailRadioButton"}) {
        p->findChild<QRadioButton *>(QString::fromLatin1(n))->setEnabled(false);
    }
    p->stretch();
    return p;
}

TaskPropertiesPage *createDestLocalPage(QWidget *parent)
{
    auto *p = new TaskFieldPage(parent);
    p->row(formBody<Ui::TaskDestLocalPage>(p));
    p->bindFolder("DestLocalFolderEdit", "DestLocalFolderButton", QV_TEXT(DestLocal));
    p->stretch();
    return p;
}

TaskPropertiesPage *createDestFtpPage(QWidget *parent)
{
    auto *p = new TaskFieldPage(parent);
    p->label("DestFtpNoteLabel",
             QStringLiteral("Backing up to an FTP server is not available; these settings are only kept with the task."));
    p->row(formBody<Ui::TaskDestFtpPage>(p));
    p->bindEdit("DestFtpAddressEdit", QV_TEXT(DestFTP.Address));
    p->bindEdit("DestFtpFolderEdit", QV_TEXT(DestFTP.Folder));
    p->bindNumber("DestFtpPortEdit", "DestFtpPortUpDown", 0, 65535, QV_INT(DestFTP.Port));
    p->bindEdit("DestFtpAuthLoginEdit", QV_TEXT(DestFTP.Login));
    p->bindEdit("DestFtpAuthPasswordEdit", QV_TEXT(DestFTP.Password));
    p->bindCheck("DestFtpPassiveModeCheckBox", QV_BOOL(DestFTP.PassiveMode));
    auto *advanced = p->findChild<QPushButton *>(QStringLiteral("DestFtpAdvancedSettingsButton"));
    QObject::connect(advanced, &QPushButton::clicked, p, [p] {
        if (p->context() != nullptr && ShowFtpAdvancedSettings(p, p->context()->draft().DestFTP)) {
            emit p->stateChanged();
        }
    });
    p->stretch();
    return p;
}

TaskPropertiesPage *createDestCdDvdPage(QWidget *parent)
{
    // Writing to discs is not offered: the controls show what such a task would set, disabled, and
    // nothing of them is stored.
    auto *p = new TaskFieldPage(parent);
    p->label("DestCdDvdNoteLabel", QStringLiteral("Writing to CD/DVD disks is not available."));
    auto *grid = new QWidget(p);
    auto *rows = new QGridLayout(grid);
    rows->setContentsMargins(0, 0, 0, 0);
    auto addRow = [&](int r, const char *labelName, const char *caption, QWidget *control, const char *name) {
        auto *l = new QLabel(QString::fromLatin1(caption), grid);
        l->setObjectName(QString::fromLatin1(labelName));
        control->setObjectName(QString::fromLatin1(name));
        rows->addWidget(l, r, 0);
        rows->addWidget(control, r, 1);
    };
    addRow(0, "DestCdDvdDeviceLabel", "Device:", new QComboBox(grid), "DestCdDvdDeviceComboBox");
    addRow(1, "DestCdDvdFolderLabel", "Folder on the disk:", new QLineEdit(grid), "DestCdDvdFolderEdit");
    auto *speed = new QComboBox(grid);
    speed->addItems({QStringLiteral("Maximum"), QStringLiteral("42x"), QStringLiteral("40x"), QStringLiteral("1x")});
    addRow(2, "DestCdDvdSpeedLabel", "Writing speed:", speed, "DestCdDvdSpeedComboBox");
    rows->setColumnStretch(1, 1);
    grid->setEnabled(false);
    p->row(grid);
    p->stretch();
    return p;
}

TaskPropertiesPage *createDestEmailPage(QWidget *parent)
{
    auto *p = new TaskFieldPage(parent);
    // Nothing of this page is stored: its fields show for a task of that kind but take no typing,
    // so that nothing typed here is silently dropped at OK.
    p->label("DestEmailNoteLabel", QStringLiteral("Sending backups by e-mail is not available; these fields are not stored."));
    for (const auto &[label, edit, note, caption] :
         {std::tuple{"DestEmailSubjectLabel", "DestEmailSubjectEdit", "DestEmailSubjectNoteLabel", "Subject:"},
          std::tuple{"DestEmailFromLabel", "DestEmailFromEdit", "DestEmailFromNoteLabel", "From:"},
          std::tuple{"DestEmailToLabel", "DestEmailToEdit", "DestEmailToNoteLabel", "To:"}}) {
        auto *l = new QLabel(QString::fromLatin1(caption), p);
        l->setObjectName(QString::fromLatin1(label));
        p->row(l);
        auto *e = new QLineEdit(p);
        e->setObjectName(QString::fromLatin1(edit));
        e->setReadOnly(true);
        p->row(e);
        auto *n = new QLabel(p);
        n->setObjectName(QString::fromLatin1(note));
        p->row(n);
    }
    p->label("DestEmailTextLabel", QStringLiteral("Text:"));
    auto *text = new QPlainTextEdit(p);
    text->setObjectName(QStringLiteral("DestEmailTextRichEdit"));
    text->setReadOnly(true);
    p->row(text);
    auto *link = new LinkLabel(QStringLiteral("Email sending settings"), LinkLabel::Weight::Normal, p);
    link->setObjectName(QStringLiteral("DestEmailSendingSettingsLabel"));
    QObject::connect(link, &LinkLabel::clicked, p, [p] { emit p->pageRequested(QStringLiteral("EmailTabSheet")); });
    p->row(link);
    for (QWidget *w : p->findChildren<QWidget *>()) {
        w->setEnabled(false);
    }
    return p;
}

TaskPropertiesPage *createCompressPage(QWidget *parent)
{
    return new CompressPage(parent);
}

TaskPropertiesPage *createAutoRunPage(QWidget *parent)
{
    return new LinkPage(parent,
                        {{"AutoRunFolderMonitorSettingsLabel", QStringLiteral("Folder Monitor settings")},
                         {"AutoRunInternalSchedulerSettingsLabel", QStringLiteral("Internal Schedule settings")},
                         {"AutoRunTaskSchedulerSettingsLabel", QStringLiteral("systemd Timer settings")}},
                        {"FolderMonitorTabSheet", "InternalScheduleTabSheet", "MSScheduleTabSheet"});
}

TaskPropertiesPage *createFolderMonitorPage(QWidget *parent)
{
    auto *p = new TaskFieldPage(parent);
    p->row(formBody<Ui::TaskFolderMonitorPage>(p));
    p->bindCheck("FolderMonitorFileNameCheckBox", QV_BOOL(FolderMonitor.MonitorFileName));
    p->bindCheck("FolderMonitorFolderNameCheckBox", QV_BOOL(FolderMonitor.MonitorFolderName));
    p->bindCheck("FolderMonitorAttributesCheckBox", QV_BOOL(FolderMonitor.MonitorAttributes));
    p->bindCheck("FolderMonitorSizeCheckBox", QV_BOOL(FolderMonitor.MonitorSize));
    p->bindCheck("FolderMonitorLastWriteCheckBox", QV_BOOL(FolderMonitor.MonitorLastWrite));
    p->bindCheck("FolderMonitorSecurityCheckBox", QV_BOOL(FolderMonitor.MonitorSecurity));
    p->bindNumber("FolderMonitorWaitSecondsEdit", "FolderMonitorWaitSecondsUpDown", 0, 32767,
                  QV_INT(FolderMonitor.WaitSeconds));
    p->stretch();
    return p;
}

TaskPropertiesPage *createOptionsPage(QWidget *parent)
{
    auto *p = new TaskFieldPage(parent);
    p->row(formBody<Ui::TaskOptionsPage>(p));
    p->bindCheck("OptionsOverwriteNeverDestinationCheckBox", QV_BOOL(BackupOverwriteNeverDestination));
    p->bindCheck("OptionsCopyInUseFilesCheckBox", QV_BOOL(BackupCopyInUseFiles));
    p->bindCheck("OptionsCompareAfterCopyCheckBox", QV_BOOL(BackupCompareAfterCopy));
    p->bindCheck("OptionsKeepStructureFromRootCheckBox", QV_BOOL(KeepStructureFromRoot));
    p->bindCheck("OptionsCopyIfSourceLengthIsZeroCheckBox", QV_BOOL(CopyIfSourceLengthIsZero));
    p->bindCheck("OptionsDontSkipIfDateEqButSrcBiggerDstCheckBox", QV_BOOL(OptionsDontSkipIfDateEqButSrcBiggerDst));
    p->bindCheck("OptionsClearSourceArchiveBitCheckBox", QV_BOOL(ClearSourceArchiveBit));
    p->stretch();
    return p;
}

TaskPropertiesPage *createVersionsPage(QWidget *parent)
{
    auto *p = new TaskFieldPage(parent);
    p->row(formBody<Ui::TaskVersionsPage>(p));
    p->bindCheck("VersionsSaveOldCheckBox", QV_BOOL(VersionsKeep));
    p->bindFolder("VersionsFolderEdit", "VersionsBrowseButton", QV_TEXT(VersionsFolder));
    p->bindNumber("VersionsNumEdit", "VersionsNumUpDown", 0, 5000, QV_INT(VersionsFilesNum));
    p->stretch();
    return p;
}

TaskPropertiesPage *createObsoletePage(QWidget *parent)
{
    auto *p = new TaskFieldPage(parent);
    p->row(formBody<Ui::TaskObsoletePage>(p));
    p->bindRadios({"ObsoleteNormalDeleteRadioButton", "ObsoleteRecycleBinRadioButton", "ObsoleteMoveToFolderRadioButton"},
                  [](const TaskSettings &s) { return static_cast<int>(s.DeleteKind); },
                  [](TaskSettings &s, int checked) {
                      s.DeleteKind = checked == 0 ? adkNormal : checked == 1 ? adkRecycle : adkArchive;
                  });
    p->bindFolder("ObsoleteFolderEdit", "ObsoleteBrowseButton", QV_TEXT(ArchiveFolder));
    p->bindNumber("ObsoleteKeepDeletedFilesNumEdit", "ObsoleteKeepDeletedFilesNumUpDown", 0, 5000,
                  QV_INT(KeepDeletedFilesNum));
    p->stretch();
    return p;
}

TaskPropertiesPage *createAdvancedPage(QWidget *parent)
{
    return new LinkPage(parent,
                        {{"AdvancedRunLabel", QStringLiteral("Run Programs")},
                         {"AdvancedDialLabel", QStringLiteral("Auto Dial")},
                         {"AdvancedHardwareLabel", QStringLiteral("Hardware Profile")},
                         {"AdvancedBandwidthLabel", QStringLiteral("Limit bandwidth")},
                         {"AdvancedPasswordLabel", QStringLiteral("Task Password")},
                         {"AdvancedLogLabel", QStringLiteral("Log Settings")},
                         {"AdvancedEventsLabel", QStringLiteral("Event Alerts")},
                         {"AdvancedPerformanceLabel", QStringLiteral("CPU Performance")},
                         {"AdvancedPowerLabel", QStringLiteral("Power Management")},
                         {"AdvancedEmailLabel", QStringLiteral("Email Settings")}},
                        {"RunTabSheet", "DialTabSheet", "HardwareTabSheet", "TabSheet8", "PasswordTabSheet", "LogTabSheet",
                         "EventsTabSheet", "PerformanceTabSheet", "PowerTabSheet", "EmailTabSheet"},
                        "AdvancedTextLabel",
                        QStringLiteral("Each of these settings follows the program's defaults (Options > Task's "
                                       "Defaults) unless this task is given its own:"));
}

} // namespace qv
