// Both item dialogs driven like a user (keys and clicks only) over a task in a store below private
// XDG folders; the saved task is then read back with qv-regtool, as from a shell.
#include "core/task/TaskScheduleItem.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "core/runs/TaskListStorage.h"
#include "platform/Registry.h"
#include "ui/FilterForm.h"
#include "ui/ScheduleForm.h"

#include "support/DialogTestSupport.h"
#include "support/TestEnv.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace qv;
using qvtest::child;
using qvtest::NextModal;

namespace {

// Sections of a REGEDIT4 export: key path -> the value lines below it.
std::map<std::string, std::vector<std::string>> sections(const std::string &exported)
{
    std::map<std::string, std::vector<std::string>> out;
    std::istringstream in(exported);
    std::string line;
    std::string current;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            current = line.substr(1, line.size() - 2);
            out[current];
        } else if (!line.empty() && !current.empty()) {
            out[current].push_back(line);
        }
    }
    return out;
}

bool holds(const std::vector<std::string> &lines, const std::string &wanted)
{
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// The sections below `keyPart` holding every line of `wanted`.
int sectionsHolding(const std::map<std::string, std::vector<std::string>> &all, const std::string &keyPart,
                    const std::vector<std::string> &wanted)
{
    int n = 0;
    for (const auto &[key, lines] : all) {
        if (key.find(keyPart) == std::string::npos) {
            continue;
        }
        bool every = true;
        for (const std::string &w : wanted) {
            every = every && holds(lines, w);
        }
        n += every ? 1 : 0;
    }
    return n;
}

// Selects everything in a line edit and types `text` over it.
void typeOver(QLineEdit *edit, const QString &text)
{
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, text);
}

class FilterScheduleAcceptance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        m_config = qvtest::makeTempDir("xdg-config");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_config));
        RegistryStore::setStorePath({});
        ResetSettingsToDefaults();
    }
    void TearDown() override
    {
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
        RegistryStore::setStorePath({});
    }

    QByteArray m_oldConfig;
    std::string m_config;
};

} // namespace

TEST_F(FilterScheduleAcceptance, DialogsEditATaskThatRegtoolThenExports)
{
    TTasksList tasks;
    auto fresh = std::make_unique<TTask>();
    fresh->Name = "Acceptance";
    TTask *task = tasks.Add(std::move(fresh));
    saveGroupsAndTasks({}, tasks, {});

    TTaskFilterItem filter;
    NextModal filterUser([](QDialog *d) {
        auto *incExcl = child<QComboBox>(d, "MainComboBoxIncExcl");
        auto *top = child<QLineEdit>(d, "TopEdit");
        QTest::keyClick(incExcl, Qt::Key_Home);
        EXPECT_TRUE(top->text().startsWith(QStringLiteral("Include"))) << top->text().toStdString();
        QTest::keyClick(incExcl, Qt::Key_End);
        QTest::keyClick(child<QComboBox>(d, "MainComboBoxKind"), Qt::Key_Home);
        typeOver(child<QLineEdit>(d, "FileNameEditWildcard"), QStringLiteral("*.tmp;*.bak"));
        EXPECT_EQ(top->text(), QStringLiteral("Exclude files matching the wildcard: \"*.tmp;*.bak\"."));
        QTest::mouseClick(child<QPushButton>(d, "OKButton"), Qt::LeftButton);
    });
    ASSERT_TRUE(EditFilter(*task, filter));
    ASSERT_TRUE(filterUser.ran);
    task->Filters.Add(filter);

    TTaskScheduleItem entry;
    NextModal scheduleUser([](QDialog *d) {
        QTest::keyClick(child<QComboBox>(d, "MainScheduleKindComboBox"), Qt::Key_Home);
        auto *minutes = child<QLineEdit>(d, "MinutellyEdit");
        typeOver(minutes, QStringLiteral("15"));
        EXPECT_EQ(child<QLineEdit>(d, "TopEdit")->text(), QStringLiteral("Run every 15 minute(s)."));
        QTest::keyClick(minutes, Qt::Key_Return); // the default button: OK
    });
    ASSERT_TRUE(EditScheduleItem(entry));
    ASSERT_TRUE(scheduleUser.ran);
    task->Schedules.Add(entry);
    saveGroupsAndTasks({}, tasks, {});

    const std::string file = m_config + "/export.reg";
    const auto r = qvtest::runCommand(
        {"env", "XDG_CONFIG_HOME=" + m_config, qvtest::binPath("qv-regtool"), "export", file});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const auto all = sections(qvtest::readFile(file));
    const std::string taskKey = "\\Tasks\\" + task->ID + "\\";
    EXPECT_EQ(sectionsHolding(all, taskKey + "Filters\\",
                              {"\"FilterType\"=\"fitExclude\"", "\"FilterKind\"=\"fikFileName\"",
                               "\"fnKind\"=\"fnkWildcard\"", "\"fnWildcard\"=\"*.tmp;*.bak\""}),
              1);
    EXPECT_EQ(sectionsHolding(all, taskKey + "AutoRun\\Schedule\\",
                              {"\"Kind\"=\"skMinutelly\"", "\"MinutellyValue\"=dword:0000000F"}),
              1);
    // Everything else of the new entry is stored as it was made (180 s of shutdown limit included).
    EXPECT_EQ(sectionsHolding(all, taskKey + "AutoRun\\Schedule\\", {"\"SystemShutdownMaxSec\"=dword:000000B4"}),
              1);
}
