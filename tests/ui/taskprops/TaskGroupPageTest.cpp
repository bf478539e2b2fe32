// The group pages in both flavours: names, fill and store, the password entries and the rules.
#include "ui/taskprops/TaskGroupPage.h"

#include "components/MessageBox.h"
#include "components/RangedField.h"
#include "core/settings/Settings.h"
#include "ui/taskprops/EditPaint.h"
#include "platform/fake/FakeDialer.h"

#include "core/TaskFillSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <map>

using namespace qv;

namespace {

const TaskGroup kAllGroups[] = {TaskGroup::Run,      TaskGroup::Dial, TaskGroup::Hardware,
                                TaskGroup::Bandwidth, TaskGroup::Password, TaskGroup::Log,
                                TaskGroup::Performance, TaskGroup::Power, TaskGroup::Email};

class TaskGroupPages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetSettingsToDefaults();
        m_dialer.entries = {"Home DSL", "Mobile"};
        setDialer(&m_dialer);
        MessageBoxSeam::clear();
    }
    void TearDown() override
    {
        setDialer(nullptr);
        MessageBoxSeam::clear();
    }
    static TaskSettings filled()
    {
        TTask t;
        qvtest::fillNonDefault(t);
        t.PowerManagement.BatteryMode = "A"; // a mode the page offers (any other stores "C")
        return t.settings();
    }
    FakeDialer m_dialer;
};

// The group's part of the settings, with the UseDefault flag.
std::string groupOf(const TaskSettings &s, TaskGroup g)
{
    std::string out;
    auto add = [&out](const auto &v) {
        if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string>) {
            out += v + "|";
        } else {
            out += std::to_string(static_cast<long long>(v)) + "|";
        }
    };
    switch (g) {
    case TaskGroup::Run: {
        const auto &r = s.RunPrograms;
        for (auto v : {r.UseDefault, r.Before, r.BeforeWaitProgram, r.After, r.AfterWaitProgram}) add(v);
        add(r.BeforeProgramName), add(r.AfterProgramName);
        break;
    }
    case TaskGroup::Dial:
        add(s.Dial.UseDefault), add(s.Dial.DialEntry), add(s.Dial.DisconnectAfter);
        break;
    case TaskGroup::Hardware:
        add(s.HardwareProfile.UseDefault), add(s.HardwareProfile.SkipList);
        break;
    case TaskGroup::Bandwidth:
        add(s.Bandwidth.UseDefault), add(s.Bandwidth.Use), add(s.Bandwidth.Value), add(int(s.Bandwidth.MeasureKind));
        break;
    case TaskGroup::Password:
        add(s.Protection.UseDefault), add(s.Protection.Password), add(s.Protection.Reminder);
        break;
    case TaskGroup::Log: {
        const auto &l = s.Log;
        for (auto v : {l.UseDefault, l.Enabled, l.IncludeSummary, l.IncludeFiles, l.IncludeSkipping, l.IncludeWarnings,
                       l.IncludeErrors}) add(v);
        add(l.FileName), add(l.MaxSize);
        break;
    }
    case TaskGroup::Performance:
        add(s.Performance.UseDefault), add(s.Performance.CpuPerformance);
        break;
    case TaskGroup::Power:
        add(s.PowerManagement.UseDefault), add(s.PowerManagement.DontStartOnBatteries);
        add(s.PowerManagement.WakeToRun), add(s.PowerManagement.BatteryMode);
        break;
    case TaskGroup::Email: {
        const auto &e = s.EmailSettings;
        add(e.UseDefault), add(e.SmtpServer), add(e.SmtpServerPort), add(e.SmtpServerAuthUse);
        add(e.SmtpServerAuthUser), add(e.SmtpServerAuthPassword), add(e.To), add(e.From), add(e.Subject);
        break;
    }
    }
    return out;
}

TEST_F(TaskGroupPages, EveryGroupStoresWhatItLoadedInBothFlavours)
{
    const TaskSettings source = filled();
    for (GroupFlavour flavour : {GroupFlavour::Task, GroupFlavour::Defaults}) {
        for (TaskGroup g : kAllGroups) {
            TaskGroupPage page(g, flavour);
            page.load(source);
            for (RangedField *f : page.findChildren<RangedField *>()) {
                EXPECT_EQ(f->value(), f->storedValue()) << f->objectName().toStdString() << " shows a clamped value";
            }
            TaskSettings target; // a new task's values
            target.Protection = source.Protection; // the password entries open empty and keep it
            if (flavour == GroupFlavour::Defaults) {
                // The defaults flavour has no radio pair: the flag stays.
                TaskSettingsFields &f = target;
                f.RunPrograms.UseDefault = f.Dial.UseDefault = f.HardwareProfile.UseDefault = false;
                f.Bandwidth.UseDefault = f.Log.UseDefault = f.Performance.UseDefault = false;
                f.PowerManagement.UseDefault = f.EmailSettings.UseDefault = false;
            }
            page.store(target);
            EXPECT_EQ(groupOf(target, g), groupOf(source, g))
                << TaskGroupPage::prefix(g).toStdString() << (flavour == GroupFlavour::Task ? " task" : " defaults");
            EXPECT_NE(groupOf(TaskSettings(), g), groupOf(source, g)) << "the filled group must differ";
        }
    }
}

TEST_F(TaskGroupPages, NamesOfBothFlavours)
{
    for (TaskGroup g : kAllGroups) {
        const QStringList names = TaskGroupPage::controlNames(g);
        ASSERT_FALSE(names.isEmpty());
        TaskGroupPage task(g, GroupFlavour::Task);
        TaskGroupPage defaults(g, GroupFlavour::Defaults);
        EXPECT_NE(task.findChild<QRadioButton *>(TaskGroupPage::prefix(g) + "UseDefaultRadioButton"), nullptr);
        EXPECT_NE(task.findChild<QRadioButton *>(TaskGroupPage::prefix(g) + "UseCustomRadioButton"), nullptr);
        EXPECT_EQ(defaults.UseCustomRadioButton, nullptr);
        for (const QString &n : names) {
            if (n.endsWith("RadioButton") && n.contains("Use")) {
                continue;
            }
            EXPECT_EQ(task.findChildren<QWidget *>(n).size(), 1) << n.toStdString();
            QString expected = n;
            if (g != TaskGroup::Email && !n.startsWith("Task")) {
                expected = "Task" + n;
            }
            EXPECT_EQ(defaults.findChildren<QWidget *>(expected).size(), 1)
                << "defaults flavour: " << expected.toStdString();
        }
    }
}

TEST_F(TaskGroupPages, StoredValuesWithoutAButtonAndUnlistedNames)
{
    TaskSettings s;
    s.Performance.CpuPerformance = 7;
    s.PowerManagement.BatteryMode = "X";
    s.Dial.DialEntry = "Office VPN";
    s.HardwareProfile.SkipList = "Laptop,Docked";
    struct Row {
        TaskGroup group;
        std::function<bool(const TaskSettings &)> check;
        const char *what;
    } rows[] = {
        {TaskGroup::Performance, [](const TaskSettings &o) { return o.Performance.CpuPerformance == 0; }, "7 stores idle"},
        {TaskGroup::Power, [](const TaskSettings &o) { return o.PowerManagement.BatteryMode == "C"; }, "no button stores C"},
        {TaskGroup::Dial, [](const TaskSettings &o) { return o.Dial.DialEntry == "Office VPN"; }, "unlisted entry kept"},
        {TaskGroup::Hardware, [](const TaskSettings &o) { return o.HardwareProfile.SkipList == "Laptop,Docked"; },
         "unknown profiles kept"},
    };
    for (const Row &row : rows) {
        TaskGroupPage page(row.group, GroupFlavour::Task);
        page.load(s);
        TaskSettings out;
        page.store(out);
        EXPECT_TRUE(row.check(out)) << row.what;
    }
    TaskGroupPage perf(TaskGroup::Performance, GroupFlavour::Task);
    perf.load(s);
    for (QRadioButton *b : perf.findChildren<QRadioButton *>()) {
        if (b->objectName().startsWith("PerformanceUse")) {
            continue;
        }
        EXPECT_FALSE(b->isChecked()) << b->objectName().toStdString();
    }
}

TEST_F(TaskGroupPages, DialNoneTextsAllMeanNone)
{
    for (const char *stored : {"", "[none]"}) {
        TaskSettings s;
        s.Dial.UseDefault = false;
        s.Dial.DialEntry = stored;
        TaskGroupPage page(TaskGroup::Dial, GroupFlavour::Task);
        page.load(s);
        auto *combo = page.control<QComboBox>("DialComboBox");
        EXPECT_EQ(combo->currentIndex(), 0) << stored;
        EXPECT_EQ(combo->count(), 3) << "none plus the two phone-book entries";
        TaskSettings out;
        page.store(out);
        EXPECT_EQ(out.Dial.DialEntry, "");
        EXPECT_FALSE(page.control<QCheckBox>("DialDisconnectAfterCheckBox")->isEnabled()) << stored;
        combo->setCurrentIndex(1);
        EXPECT_TRUE(page.control<QCheckBox>("DialDisconnectAfterCheckBox")->isEnabled());
    }
}

TEST_F(TaskGroupPages, PasswordEntries)
{
    struct Row {
        const char *typedNew;   // nullptr: not edited
        const char *typedAgain; // nullptr: not edited
        bool accepted;
        const char *password;   // stored after OK
    } rows[] = {
        {nullptr, nullptr, true, "old"},
        {"new", "new", true, "new"},
        {"", "", true, ""}, // two emptied entries clear it
        {"new", "other", false, "old"},
        {"new", nullptr, false, "old"},
    };
    for (const Row &row : rows) {
        TaskSettings s;
        s.Protection = {false, "old", "hint"};
        TaskGroupPage page(TaskGroup::Password, GroupFlavour::Task);
        page.load(s);
        auto type = [&](const char *name, const char *text) {
            if (text == nullptr) {
                return;
            }
            auto *edit = page.control<QLineEdit>(name);
            QTest::keyClicks(edit, "x");
            edit->clear();
            QTest::keyClicks(edit, text);
            if (*text == 0) {
                QTest::keyClicks(edit, "y");
                QTest::keyClick(edit, Qt::Key_Backspace);
            }
        };
        type("PasswordNewEdit", row.typedNew);
        type("PasswordConfirmEdit", row.typedAgain);
        MessageBoxSeam::clear();
        EXPECT_EQ(page.validate(), row.accepted) << row.typedNew;
        EXPECT_EQ(MessageBoxSeam::shown().size(), row.accepted ? 0u : 1u);
        if (row.accepted) {
            page.store(s);
        }
        EXPECT_EQ(s.Protection.Password, row.password);
    }
}

TEST_F(TaskGroupPages, DefaultModeDisablesAllButTheRadioPair)
{
    const TaskSettings source = filled();
    for (TaskGroup g : kAllGroups) {
        TaskGroupPage page(g, GroupFlavour::Task);
        page.load(source);
        for (bool custom : {false, true}) {
            page.setGroupActive(custom);
            for (const QString &n : TaskGroupPage::controlNames(g)) {
                QWidget *w = page.findChild<QWidget *>(n);
                if (w == page.UseDefaultRadioButton || w == page.UseCustomRadioButton) {
                    EXPECT_TRUE(w->isEnabled());
                } else if (!custom && n != "Task" + TaskGroupPage::prefix(g) + "Group") {
                    EXPECT_FALSE(w->isEnabledTo(&page)) << n.toStdString() << " in default mode";
                }
            }
        }
    }
}

} // namespace

namespace {

TEST_F(TaskGroupPages, EmailCustomModeFillsOnlyEmptyFieldsFromTheDefaults)
{
    EmailSmtpServer = "smtp.default.org";
    EmailSmtpServerPort = 2525;
    EmailSmtpServerAuthUse = true;
    EmailTo = "default-to@example.org";
    EmailFrom = "default-from@example.org";
    EmailSubject = "Default subject";
    TaskSettings s;
    s.EmailSettings = {true, "", 0, false, "", "", "own-to@example.org", "", ""};
    TaskGroupPage page(TaskGroup::Email, GroupFlavour::Task);
    page.load(s);
    auto text = [&](const char *n) { return page.control<QLineEdit>(n)->text().toStdString(); };
    // Default mode: the task's own values, greyed.
    EXPECT_EQ(text("EmailSMTPServerEdit"), "");
    EXPECT_FALSE(page.control<QLineEdit>("EmailToEdit")->isEnabledTo(&page));
    EXPECT_TRUE(editPaintedFace(page.control<QLineEdit>("EmailToEdit")));
    page.UseCustomRadioButton->click();
    EXPECT_EQ(text("EmailSMTPServerEdit"), "smtp.default.org");
    EXPECT_TRUE(page.control<QCheckBox>("EmailSMTPAuthCheckBox")->isChecked());
    EXPECT_EQ(page.control<RangedField>("EmailSMTPPortUpDown")->value(), 2525);
    EXPECT_EQ(text("EmailToEdit"), "own-to@example.org") << "a filled field keeps its value";
    EXPECT_EQ(text("EmailFromEdit"), "default-from@example.org");
    EXPECT_EQ(text("EmailSubjectEdit"), "Default subject");
    EXPECT_TRUE(page.control<QLineEdit>("EmailSMTPAuthUserEdit")->isEnabledTo(&page)) << "authentication is on";
    EXPECT_FALSE(editPaintedFace(page.control<QLineEdit>("EmailToEdit")));
    TaskSettings out;
    page.store(out);
    EXPECT_FALSE(out.EmailSettings.UseDefault);
    EXPECT_EQ(out.EmailSettings.SmtpServerPort, 2525);
}

} // namespace
