// Group pages: construction from the .ui files, the two flavours, the radio pair and the rules.
#include "ui/taskprops/TaskGroupPage.h"

#include "components/MessageBox.h"
#include "components/RangedField.h"
#include "core/settings/Settings.h"
#include "core/text/Language.h"
#include "ui/FileDialogs.h"
#include "ui/taskprops/EditPaint.h"

#include "ui_TaskBandwidthGroup.h"
#include "ui_TaskDialGroup.h"
#include "ui_TaskEmailGroup.h"
#include "ui_TaskHardwareGroup.h"
#include "ui_TaskLogGroup.h"
#include "ui_TaskPasswordGroup.h"
#include "ui_TaskPerformanceGroup.h"
#include "ui_TaskPowerGroup.h"
#include "ui_TaskRunGroup.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qv {
namespace {

struct GroupInfo {
    const char *prefix;
    const char *defaultCaption;
    const char *customCaption;
};

const GroupInfo kGroups[] = {
    {"Run", "Use the default/common Run Programs settings", "Use custom Run Programs settings for this Task:"},
    {"Dial", "Use the default/common dialing settings", "Use custom dialing settings for this task:"},
    {"Hardware", "Use the default/common Hardware Profile settings",
     "Use custom Hardware Profile settings for this Task:"},
    {"Bandwidth", "Use the default/common data transfer limit settings",
     "Use custom data transfer limits for this Task:"},
    {"Password", "Use the default/common password", "Use custom password for this Task:"},
    {"Log", "Use the default/common logging settings", "Use custom logging settings for this Task:"},
    {"Performance", "Use the default/common CPU Performance settings",
     "Use custom CPU Performance settings for this Task:"},
    {"Power", "Use the default/common Power Management settings",
     "Use custom Power Management settings for this Task:"},
    {"Email", "Use the default/common Email Sending settings", "Use custom Email Sending settings for this Task:"},
};

const GroupInfo &info(TaskGroup g)
{
    return kGroups[static_cast<int>(g)];
}

template <class Ui> QWidget *makeBody(QWidget *parent)
{
    auto *body = new QWidget(parent);
    Ui ui;
    ui.setupUi(body);
    return body;
}

QWidget *makeGroupBody(TaskGroup g, QWidget *parent)
{
    switch (g) {
    case TaskGroup::Run:
        return makeBody<Ui::TaskRunGroup>(parent);
    case TaskGroup::Dial:
        return makeBody<Ui::TaskDialGroup>(parent);
    case TaskGroup::Hardware:
        return makeBody<Ui::TaskHardwareGroup>(parent);
    case TaskGroup::Bandwidth:
        return makeBody<Ui::TaskBandwidthGroup>(parent);
    case TaskGroup::Password:
        return makeBody<Ui::TaskPasswordGroup>(parent);
    case TaskGroup::Log:
        return makeBody<Ui::TaskLogGroup>(parent);
    case TaskGroup::Performance:
        return makeBody<Ui::TaskPerformanceGroup>(parent);
    case TaskGroup::Power:
        return makeBody<Ui::TaskPowerGroup>(parent);
    case TaskGroup::Email:
        return makeBody<Ui::TaskEmailGroup>(parent);
    }
    return new QWidget(parent);
}

// An up-down's number box carries the name of the edit it stands for ("LogMaxLogSizeEdit").
void nameInnerEdits(QWidget *body)
{
    for (RangedField *f : body->findChildren<RangedField *>()) {
        QString name = f->objectName();
        if (name.endsWith(QLatin1String("UpDown"))) {
            name.chop(6);
            f->findChild<QLineEdit *>()->setObjectName(name + QLatin1String("Edit"));
        }
    }
}

void setEnabledAll(const TaskGroupPage *page, std::initializer_list<const char *> names, bool enabled)
{
    for (const char *n : names) {
        if (auto *w = page->control<QWidget>(n)) {
            // A number box's edit stands for the whole up-down control.
            QWidget *target = qobject_cast<RangedField *>(w->parentWidget()) ? w->parentWidget() : w;
            target->setEnabled(enabled);
        }
    }
}

void paintAll(const TaskGroupPage *page, std::initializer_list<const char *> names, bool window)
{
    for (const char *n : names) {
        setEditPaint(page->control<QWidget>(n), window);
    }
}

} // namespace

QString dialNoneText()
{
    return QString::fromStdString(GetLangString("[none]", "strRasNoneSelected"));
}

TaskGroupPage::TaskGroupPage(TaskGroup group, GroupFlavour flavour, QWidget *parent)
    : TaskPropertiesPage(parent), m_group(group), m_flavour(flavour)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (flavour == GroupFlavour::Task) {
        buildRadioPair();
        layout->addWidget(UseDefaultRadioButton);
        layout->addWidget(UseCustomRadioButton);
    }
    m_body = makeGroupBody(group, this);
    nameInnerEdits(m_body);
    if (flavour == GroupFlavour::Defaults) {
        renameForDefaults();
    }
    if (auto *port = control<RangedField>("EmailSMTPPortUpDown")) {
        port->setFieldRange(0, 65535);
    }
    if (auto *size = control<RangedField>("LogMaxLogSizeUpDown")) {
        size->setFieldRange(0, 32767);
    }
    if (auto *value = control<RangedField>("BandwidthValueUpDown")) {
        value->setFieldRange(1, 32767);
    }
    if (auto *list = control<QListWidget>("HardwareCheckListBox")) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
    }
    layout->addWidget(m_body, 1);
    connectTriggers();
    applyRule();
}

QString TaskGroupPage::prefix(TaskGroup group)
{
    return QString::fromLatin1(info(group).prefix);
}

QString TaskGroupPage::flavourName(const QString &taskName) const
{
    if (m_flavour == GroupFlavour::Task || m_group == TaskGroup::Email ||
        taskName.startsWith(QLatin1String("Task"))) {
        return taskName;
    }
    return QLatin1String("Task") + taskName;
}

void TaskGroupPage::buildRadioPair()
{
    const GroupInfo &g = info(m_group);
    UseDefaultRadioButton = new QRadioButton(QString::fromLatin1(g.defaultCaption), this);
    UseDefaultRadioButton->setObjectName(QString::fromLatin1(g.prefix) + QLatin1String("UseDefaultRadioButton"));
    UseCustomRadioButton = new QRadioButton(QString::fromLatin1(g.customCaption), this);
    UseCustomRadioButton->setObjectName(QString::fromLatin1(g.prefix) + QLatin1String("UseCustomRadioButton"));
    auto *pair = new QButtonGroup(this);
    pair->addButton(UseDefaultRadioButton);
    pair->addButton(UseCustomRadioButton);
    UseDefaultRadioButton->setChecked(true);
}

void TaskGroupPage::renameForDefaults()
{
    for (QWidget *w : m_body->findChildren<QWidget *>()) {
        const QString name = w->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) {
            w->setObjectName(flavourName(name));
        }
    }
    m_body->setObjectName(flavourName(m_body->objectName()));
    // The defaults page speaks of every task's logging.
    if (auto *log = control<QCheckBox>("LogEnabledCheckBox")) {
        log->setText(QStringLiteral("Enable Tasks activity logging"));
    }
}

void TaskGroupPage::connectTriggers()
{
    auto changed = [this] {
        applyRule();
        emit stateChanged();
    };
    if (UseCustomRadioButton != nullptr) {
        connect(UseCustomRadioButton, &QRadioButton::toggled, this, changed);
    }
    for (const char *n : {"RunBeforeCheckBox", "RunAfterCheckBox", "BandwidthUseCheckBox", "LogEnabledCheckBox"}) {
        if (auto *box = control<QCheckBox>(n)) {
            connect(box, &QCheckBox::clicked, this, changed);
        }
    }
    if (auto *auth = control<QCheckBox>("EmailSMTPAuthCheckBox")) {
        connect(auth, &QCheckBox::clicked, this, &TaskGroupPage::applyEmailAuthRule);
    }
    if (auto *dial = control<QComboBox>("DialComboBox")) {
        connect(dial, &QComboBox::currentTextChanged, this, &TaskGroupPage::applyDialChoiceRule);
    }
    for (const char *n : {"PasswordNewEdit", "PasswordConfirmEdit"}) {
        if (auto *edit = control<QLineEdit>(n)) {
            connect(edit, &QLineEdit::textEdited, this, [this] { m_passwordEdited = true; });
        }
    }
    if (auto *b = control<QPushButton>("RunBeforeBrowseButton")) {
        connect(b, &QPushButton::clicked, this, [this] { browseProgram("RunBeforeEdit"); });
    }
    if (auto *b = control<QPushButton>("RunAfterBrowseButton")) {
        connect(b, &QPushButton::clicked, this, [this] { browseProgram("RunAfterEdit"); });
    }
}

void TaskGroupPage::browseProgram(const char *editName)
{
    auto *edit = control<QLineEdit>(editName);
    FileDialogRequest request;
    request.caption = QStringLiteral("Select program");
    request.fileName = edit->text();
    request.folder = edit->text().isEmpty() ? QString() : QFileInfo(edit->text()).absolutePath();
    request.filters = {QStringLiteral("Programs (*)")};
    const QString chosen = fileDialogs().openFileName(this, request);
    if (chosen.isEmpty()) {
        return;
    }
    const QFileInfo file(chosen);
    if (!file.isFile() || !file.isExecutable()) {
        ShowError(this, QStringLiteral("\"%1\" is not a program that can be run.").arg(chosen));
        return;
    }
    edit->setText(chosen);
}

void TaskGroupPage::setGroupActive(bool active)
{
    if (UseCustomRadioButton != nullptr) {
        (active ? UseCustomRadioButton : UseDefaultRadioButton)->setChecked(true);
    }
    applyRule();
}

bool TaskGroupPage::groupActive() const
{
    return UseCustomRadioButton == nullptr || UseCustomRadioButton->isChecked();
}

void TaskGroupPage::applyRule()
{
    const bool on = groupActive();
    const bool custom = m_flavour == GroupFlavour::Task && on;
    auto checked = [this](const char *n) { return control<QCheckBox>(n)->isChecked(); };
    switch (m_group) {
    case TaskGroup::Run: {
        setEnabledAll(this, {"RunLabel1", "RunBeforeCheckBox", "RunAfterCheckBox"}, on);
        const bool before = on && checked("RunBeforeCheckBox");
        const bool after = on && checked("RunAfterCheckBox");
        setEnabledAll(this, {"RunBeforeEdit", "RunBeforeBrowseButton", "RunWaitBeforeCheckBox"}, before);
        setEnabledAll(this, {"RunAfterEdit", "RunAfterBrowseButton", "RunWaitAfterCheckBox"}, after);
        if (on) { // the colour is only set while the group is custom
            paintAll(this, {"RunBeforeEdit"}, before);
            paintAll(this, {"RunAfterEdit"}, after);
        }
        break;
    }
    case TaskGroup::Dial:
        // Custom mode enables the disconnect box again, whatever the combo box shows.
        setEnabledAll(this, {"DialTextLabel", "DialSelectLabel", "DialComboBox", "DialDisconnectAfterCheckBox"}, on);
        break;
    case TaskGroup::Hardware:
        setEnabledAll(this, {"HardwareTextLabel", "HardwareCheckListBox"}, on);
        break;
    case TaskGroup::Bandwidth: {
        setEnabledAll(this, {"BandwidthUseCheckBox"}, on);
        const bool use = checked("BandwidthUseCheckBox");
        setEnabledAll(this,
                      {"BandwidthTextLabel", "BandwidthValueEdit", "BandwidthMeasureComboBox", "BandwidthTransLabel",
                       "BandwidthPerSecLabel"},
                      on && use);
        // In default mode both are painted as available, whatever the check box says.
        paintAll(this, {"BandwidthValueUpDown", "BandwidthMeasureComboBox"}, on ? use : true);
        break;
    }
    case TaskGroup::Password:
        setEnabledAll(this,
                      {"PasswordTextLabel", "PasswordNewLabel", "PasswordNewEdit", "PasswordConfirmLabel",
                       "PasswordConfirmEdit", "PasswordReminderLabel", "PasswordReminderEdit"},
                      on);
        paintAll(this, {"PasswordNewEdit", "PasswordConfirmEdit", "PasswordReminderEdit"}, on);
        break;
    case TaskGroup::Log: {
        setEnabledAll(this, {"LogEnabledCheckBox"}, on);
        const bool log = on && checked("LogEnabledCheckBox");
        setEnabledAll(this,
                      {"LogFileLabel", "LogFileNameEdit", "LogSizeLabel", "LogMaxLogSizeEdit", "LogMaxLogSizeUpDown",
                       "LogSizeKbLabel", "LogSizeTextLabel", "LogIncludeLabel", "LogSummaryCheckBox",
                       "LogFilesCheckBox", "LogSkippingCheckBox", "LogWarningsCheckBox", "LogErrorsCheckBox"},
                      log);
        paintAll(this, {"LogFileNameEdit", "LogMaxLogSizeUpDown"}, log);
        break;
    }
    case TaskGroup::Performance:
        setEnabledAll(this,
                      {"PerformanceTextLabel", "PerformanceIdleRadioButton", "PerformanceLowRadioButton",
                       "PerformanceBelowRadioButton", "PerformanceNormalRadioButton",
                       "PerformanceAboveNormalRadioButton", "PerformanceHighRadioButton",
                       "PerformanceRealtimeRadioButton", "TaskPerformanceNoteLabel"},
                      on);
        break;
    case TaskGroup::Power:
        setEnabledAll(this,
                      {"PowerOptionsLabel", "PowerDontStartOnBatteriesCheckBox", "PowerWakeToRunCheckBox",
                       "PowerBatteryLabel", "PowerBatteryContinueRadioButton", "PowerBatterySuspendRadioButton",
                       "PowerBatteryAbortRadioButton"},
                      on);
        break;
    case TaskGroup::Email:
        setEnabledAll(this,
                      {"EmailSMTPServerLabel", "EmailSMTPServerEdit", "EmailSMTPPortLabel", "EmailSMTPPortEdit",
                       "EmailSMTPPortUpDown", "EmailSMTPAuthCheckBox", "EmailToLabel", "EmailToEdit",
                       "EmailToNoteLabel", "EmailFromLabel", "EmailFromEdit", "EmailFromNoteLabel",
                       "EmailSubjectLabel", "EmailSubjectEdit", "EmailSubjectNoteLabel", "EmailTestButton"},
                      on);
        paintAll(this, {"EmailSMTPServerEdit", "EmailSMTPPortUpDown", "EmailToEdit", "EmailFromEdit", "EmailSubjectEdit"},
                 on);
        if (custom) {
            fillEmailDefaults();
        }
        applyEmailAuthRule();
        break;
    }
}

void TaskGroupPage::applyDialChoiceRule()
{
    auto *combo = control<QComboBox>("DialComboBox");
    control<QCheckBox>("DialDisconnectAfterCheckBox")->setEnabled(combo->currentIndex() > 0);
}

void TaskGroupPage::applyEmailAuthRule()
{
    if (m_group != TaskGroup::Email) {
        return;
    }
    const bool on = groupActive() && control<QCheckBox>("EmailSMTPAuthCheckBox")->isChecked();
    setEnabledAll(this,
                  {"EmailSMTPAuthUserLabel", "EmailSMTPAuthPasswordLabel", "EmailSMTPAuthUserEdit",
                   "EmailSMTPAuthPasswordEdit"},
                  on);
    paintAll(this, {"EmailSMTPAuthUserEdit", "EmailSMTPAuthPasswordEdit"}, on);
}

void TaskGroupPage::fillEmailDefaults()
{
    auto fill = [this](const char *name, const std::string &value) {
        auto *edit = control<QLineEdit>(name);
        if (edit->text().trimmed().isEmpty()) {
            edit->setText(QString::fromStdString(value));
            return true;
        }
        return false;
    };
    if (fill("EmailSMTPServerEdit", EmailSmtpServer)) {
        control<QCheckBox>("EmailSMTPAuthCheckBox")->setChecked(EmailSmtpServerAuthUse);
    }
    auto *port = control<RangedField>("EmailSMTPPortUpDown");
    if (port->value() == 0) {
        port->setValue(EmailSmtpServerPort);
    }
    fill("EmailSMTPAuthUserEdit", EmailSmtpServerAuthUser);
    fill("EmailSMTPAuthPasswordEdit", EmailSmtpServerAuthPassword);
    fill("EmailToEdit", EmailTo);
    fill("EmailFromEdit", EmailFrom);
    fill("EmailSubjectEdit", EmailSubject);
}

} // namespace qv
