// Group pages: filling the controls from the draft and writing them back.
#include "ui/taskprops/TaskGroupPage.h"

#include "components/MessageBox.h"
#include "components/RangedField.h"
#include "core/text/Language.h"
#include "core/util/Utils.h"
#include "platform/Dialer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include <array>

namespace qv {
namespace {

const std::array<const char *, 7> kPriorityButtons = {
    "PerformanceIdleRadioButton",   "PerformanceLowRadioButton",         "PerformanceBelowRadioButton",
    "PerformanceNormalRadioButton", "PerformanceAboveNormalRadioButton", "PerformanceHighRadioButton",
    "PerformanceRealtimeRadioButton"};

QString q(const std::string &s)
{
    return QString::fromStdString(s);
}

std::string s8(const QString &s)
{
    return s.toStdString();
}

// Unchecks every button of an exclusive set.
void uncheckAll(std::initializer_list<QRadioButton *> buttons)
{
    for (QRadioButton *b : buttons) {
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
    }
}

bool isNoneEntry(const QString &text)
{
    return text.isEmpty() || text == QLatin1String("[none]") || text == dialNoneText();
}

bool &useDefaultOf(TaskSettingsFields &s, TaskGroup g)
{
    switch (g) {
    case TaskGroup::Run:
        return s.RunPrograms.UseDefault;
    case TaskGroup::Dial:
        return s.Dial.UseDefault;
    case TaskGroup::Hardware:
        return s.HardwareProfile.UseDefault;
    case TaskGroup::Bandwidth:
        return s.Bandwidth.UseDefault;
    case TaskGroup::Password:
        return s.Protection.UseDefault;
    case TaskGroup::Log:
        return s.Log.UseDefault;
    case TaskGroup::Performance:
        return s.Performance.UseDefault;
    case TaskGroup::Power:
        return s.PowerManagement.UseDefault;
    case TaskGroup::Email:
        break;
    }
    return s.EmailSettings.UseDefault;
}

} // namespace

void TaskGroupPage::load(const TaskSettings &s)
{
    loadFields(s);
    if (UseCustomRadioButton != nullptr) {
        TaskSettingsFields copy = s;
        (useDefaultOf(copy, m_group) ? UseDefaultRadioButton : UseCustomRadioButton)->setChecked(true);
    }
    applyRule();
    if (m_group == TaskGroup::Dial) {
        applyDialChoiceRule();
    }
}

void TaskGroupPage::loadFields(const TaskSettings &s)
{
    auto check = [this](const char *n, bool v) { control<QCheckBox>(n)->setChecked(v); };
    auto text = [this](const char *n, const std::string &v) { control<QLineEdit>(n)->setText(q(v)); };
    auto number = [this](const char *n, qint64 v) { control<RangedField>(n)->setStoredValue(v); };
    switch (m_group) {
    case TaskGroup::Run:
        check("RunBeforeCheckBox", s.RunPrograms.Before);
        text("RunBeforeEdit", s.RunPrograms.BeforeProgramName);
        check("RunWaitBeforeCheckBox", s.RunPrograms.BeforeWaitProgram);
        check("RunAfterCheckBox", s.RunPrograms.After);
        text("RunAfterEdit", s.RunPrograms.AfterProgramName);
        check("RunWaitAfterCheckBox", s.RunPrograms.AfterWaitProgram);
        break;
    case TaskGroup::Dial: {
        auto *combo = control<QComboBox>("DialComboBox");
        combo->clear();
        combo->addItem(dialNoneText());
        for (const std::string &entry : dialer().phonebookEntries()) {
            combo->addItem(q(entry));
        }
        const QString stored = q(s.Dial.DialEntry);
        // A stored entry that is not listed now stays chosen as an extra item, so OK keeps it.
        if (!isNoneEntry(stored) && combo->findText(stored, Qt::MatchExactly) < 0) {
            combo->addItem(stored);
        }
        combo->setCurrentIndex(isNoneEntry(stored) ? 0 : combo->findText(stored, Qt::MatchExactly));
        check("DialDisconnectAfterCheckBox", s.Dial.DisconnectAfter);
        break;
    }
    case TaskGroup::Hardware: {
        auto *list = control<QListWidget>("HardwareCheckListBox");
        list->clear();
        std::vector<std::string> skip = FromCommaText(s.HardwareProfile.SkipList);
        auto add = [list](const std::string &name, bool checked) {
            auto *item = new QListWidgetItem(q(name), list);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
            item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        };
        for (const std::string &name : FromCommaText(GetHardwareProfileNames())) {
            auto it = std::find_if(skip.begin(), skip.end(),
                                   [&](const std::string &k) { return q(k).compare(q(name), Qt::CaseInsensitive) == 0; });
            add(name, it != skip.end());
            if (it != skip.end()) {
                skip.erase(it);
            }
        }
        // Names of profiles this machine does not have stay in the list, checked.
        for (const std::string &name : skip) {
            if (!name.empty()) {
                add(name, true);
            }
        }
        break;
    }
    case TaskGroup::Bandwidth:
        check("BandwidthUseCheckBox", s.Bandwidth.Use);
        number("BandwidthValueUpDown", s.Bandwidth.Value);
        control<QComboBox>("BandwidthMeasureComboBox")->setCurrentIndex(s.Bandwidth.MeasureKind == bmkKBits ? 0 : 1);
        break;
    case TaskGroup::Password:
        // The entries open empty; the stored password is never shown.
        for (const char *n : {"PasswordNewEdit", "PasswordConfirmEdit", "PasswordReminderEdit"}) {
            control<QLineEdit>(n)->clear();
        }
        m_passwordEdited = false;
        break;
    case TaskGroup::Log:
        check("LogEnabledCheckBox", s.Log.Enabled);
        text("LogFileNameEdit", s.Log.FileName);
        number("LogMaxLogSizeUpDown", s.Log.MaxSize);
        check("LogSummaryCheckBox", s.Log.IncludeSummary);
        check("LogFilesCheckBox", s.Log.IncludeFiles);
        check("LogSkippingCheckBox", s.Log.IncludeSkipping);
        check("LogWarningsCheckBox", s.Log.IncludeWarnings);
        check("LogErrorsCheckBox", s.Log.IncludeErrors);
        break;
    case TaskGroup::Performance: {
        std::initializer_list<QRadioButton *> all = {
            control<QRadioButton>(kPriorityButtons[0]), control<QRadioButton>(kPriorityButtons[1]),
            control<QRadioButton>(kPriorityButtons[2]), control<QRadioButton>(kPriorityButtons[3]),
            control<QRadioButton>(kPriorityButtons[4]), control<QRadioButton>(kPriorityButtons[5]),
            control<QRadioButton>(kPriorityButtons[6])};
        uncheckAll(all);
        if (s.Performance.CpuPerformance < kPriorityButtons.size()) {
            control<QRadioButton>(kPriorityButtons[s.Performance.CpuPerformance])->setChecked(true);
        }
        break;
    }
    case TaskGroup::Power: {
        check("PowerDontStartOnBatteriesCheckBox", s.PowerManagement.DontStartOnBatteries);
        check("PowerWakeToRunCheckBox", s.PowerManagement.WakeToRun);
        auto *abort = control<QRadioButton>("PowerBatteryAbortRadioButton");
        auto *suspend = control<QRadioButton>("PowerBatterySuspendRadioButton");
        auto *cont = control<QRadioButton>("PowerBatteryContinueRadioButton");
        uncheckAll({abort, suspend, cont});
        const std::string &mode = s.PowerManagement.BatteryMode;
        if (mode == "A") {
            abort->setChecked(true);
        } else if (mode == "S") {
            suspend->setChecked(true);
        } else if (mode == "C") {
            cont->setChecked(true);
        }
        break;
    }
    case TaskGroup::Email:
        text("EmailSMTPServerEdit", s.EmailSettings.SmtpServer);
        number("EmailSMTPPortUpDown", s.EmailSettings.SmtpServerPort);
        check("EmailSMTPAuthCheckBox", s.EmailSettings.SmtpServerAuthUse);
        text("EmailSMTPAuthUserEdit", s.EmailSettings.SmtpServerAuthUser);
        text("EmailSMTPAuthPasswordEdit", s.EmailSettings.SmtpServerAuthPassword);
        text("EmailToEdit", s.EmailSettings.To);
        text("EmailFromEdit", s.EmailSettings.From);
        text("EmailSubjectEdit", s.EmailSettings.Subject);
        break;
    }
}

void TaskGroupPage::store(TaskSettings &s) const
{
    storeFields(s);
    if (UseDefaultRadioButton != nullptr) {
        useDefaultOf(s, m_group) = UseDefaultRadioButton->isChecked();
    }
}

void TaskGroupPage::storeFields(TaskSettings &s) const
{
    auto checked = [this](const char *n) { return control<QCheckBox>(n)->isChecked(); };
    auto text = [this](const char *n) { return s8(control<QLineEdit>(n)->text()); };
    auto number = [this](const char *n) { return static_cast<std::int32_t>(control<RangedField>(n)->storedValue()); };
    auto radio = [this](const char *n) { return control<QRadioButton>(n)->isChecked(); };
    switch (m_group) {
    case TaskGroup::Run:
        s.RunPrograms.Before = checked("RunBeforeCheckBox");
        s.RunPrograms.BeforeProgramName = text("RunBeforeEdit");
        s.RunPrograms.BeforeWaitProgram = checked("RunWaitBeforeCheckBox");
        s.RunPrograms.After = checked("RunAfterCheckBox");
        s.RunPrograms.AfterProgramName = text("RunAfterEdit");
        s.RunPrograms.AfterWaitProgram = checked("RunWaitAfterCheckBox");
        break;
    case TaskGroup::Dial: {
        // The first item is "no connection", whatever its text in the language shown: it is kept
        // as the empty value, so a later change of language cannot turn it into a connection name.
        auto *combo = control<QComboBox>("DialComboBox");
        s.Dial.DialEntry = combo->currentIndex() <= 0 ? std::string() : s8(combo->currentText());
        s.Dial.DisconnectAfter = checked("DialDisconnectAfterCheckBox");
        break;
    }
    case TaskGroup::Hardware: {
        auto *list = control<QListWidget>("HardwareCheckListBox");
        std::vector<std::string> names;
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->checkState() == Qt::Checked) {
                names.push_back(s8(list->item(i)->text()));
            }
        }
        s.HardwareProfile.SkipList = ToCommaText(names);
        break;
    }
    case TaskGroup::Bandwidth: {
        s.Bandwidth.Use = checked("BandwidthUseCheckBox");
        s.Bandwidth.Value = number("BandwidthValueUpDown");
        const int unit = control<QComboBox>("BandwidthMeasureComboBox")->currentIndex();
        if (unit >= 0) {
            s.Bandwidth.MeasureKind = unit == 0 ? bmkKBits : bmkMBits;
        }
        break;
    }
    case TaskGroup::Password:
        // Only entries the user edited change the password; mismatches never get here (validate).
        if (m_passwordEdited && text("PasswordNewEdit") == text("PasswordConfirmEdit")) {
            s.Protection.Password = text("PasswordNewEdit");
            s.Protection.Reminder = text("PasswordReminderEdit");
        } else if (control<QLineEdit>("PasswordReminderEdit")->isModified()) {
            s.Protection.Reminder = text("PasswordReminderEdit");
        }
        break;
    case TaskGroup::Log:
        s.Log.Enabled = checked("LogEnabledCheckBox");
        s.Log.FileName = text("LogFileNameEdit");
        s.Log.MaxSize = number("LogMaxLogSizeUpDown");
        s.Log.IncludeSummary = checked("LogSummaryCheckBox");
        s.Log.IncludeFiles = checked("LogFilesCheckBox");
        s.Log.IncludeSkipping = checked("LogSkippingCheckBox");
        s.Log.IncludeWarnings = checked("LogWarningsCheckBox");
        s.Log.IncludeErrors = checked("LogErrorsCheckBox");
        break;
    case TaskGroup::Performance: {
        // The highest checked priority from real time down to low wins; idle otherwise.
        std::uint8_t value = 0;
        for (std::uint8_t i = 6; i >= 1; --i) {
            if (radio(kPriorityButtons[i])) {
                value = i;
                break;
            }
        }
        s.Performance.CpuPerformance = value;
        break;
    }
    case TaskGroup::Power:
        s.PowerManagement.DontStartOnBatteries = checked("PowerDontStartOnBatteriesCheckBox");
        s.PowerManagement.WakeToRun = checked("PowerWakeToRunCheckBox");
        s.PowerManagement.BatteryMode = radio("PowerBatteryAbortRadioButton")     ? "A"
                                        : radio("PowerBatterySuspendRadioButton") ? "S"
                                                                                  : "C";
        break;
    case TaskGroup::Email:
        s.EmailSettings.SmtpServer = text("EmailSMTPServerEdit");
        s.EmailSettings.SmtpServerPort = number("EmailSMTPPortUpDown");
        s.EmailSettings.SmtpServerAuthUse = checked("EmailSMTPAuthCheckBox");
        s.EmailSettings.SmtpServerAuthUser = text("EmailSMTPAuthUserEdit");
        s.EmailSettings.SmtpServerAuthPassword = text("EmailSMTPAuthPasswordEdit");
        s.EmailSettings.To = text("EmailToEdit");
        s.EmailSettings.From = text("EmailFromEdit");
        s.EmailSettings.Subject = text("EmailSubjectEdit");
        break;
    }
}

bool TaskGroupPage::validate()
{
    if (m_group != TaskGroup::Password || !m_passwordEdited) {
        return true;
    }
    auto *first = control<QLineEdit>("PasswordNewEdit");
    if (first->text() == control<QLineEdit>("PasswordConfirmEdit")->text()) {
        return true;
    }
    ShowError(this, QString::fromStdString(GetLangString(
                        "The two Task Password entries do not match. Please reenter passwords.",
                        "strProgectPropTaskPasswordsMismatch")));
    emit pageRequested(flavourName(QStringLiteral("PasswordTabSheet")));
    first->setFocus();
    return false;
}

QStringList TaskGroupPage::controlNames(TaskGroup group)
{
    TaskGroupPage page(group, GroupFlavour::Task);
    QStringList names;
    for (QWidget *w : page.findChildren<QWidget *>()) {
        const QString n = w->objectName();
        if (!n.isEmpty() && !n.startsWith(QLatin1String("qt_"))) {
            names << n;
        }
    }
    return names;
}

} // namespace qv
