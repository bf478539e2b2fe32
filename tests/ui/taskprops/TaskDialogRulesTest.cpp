// The enabling rules of the task properties dialog: edge cases, invariants over every combination
// of the inputs, and the names of the rule table on the real form.
#include "ui/taskprops/TaskDialogRules.h"

#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "platform/fake/FakeDialer.h"
#include "ui/taskprops/AlertsEditor.h"
#include "ui/taskprops/EditPaint.h"
#include "ui/taskprops/ProjectPropertiesForm.h"
#include "ui/taskprops/TaskGroupPage.h"
#include "ui/taskprops/TaskSourcesPage.h"

#include "support/DialogTestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace qv;

namespace {

std::map<std::string, bool> enabledMap(const TaskRulesInput &in)
{
    std::map<std::string, bool> out;
    for (const ControlState &s : TaskDialogRules::evaluate(in)) {
        out[s.name] = s.enabled;
    }
    return out;
}

TEST(TaskDialogRulesTable, EdgeCases)
{
    enum { Simple, Exact, Move, Sync };
    const struct {
        const char *what;
        TaskRulesInput in;
        std::vector<std::string> disabled;
        std::vector<std::string> enabled;
    } rows[] = {
        {"move", {Move, 0, false, true, true, true},
         {"CompressUseCheckBox", "CompressFilenameEdit", "VersionsSaveOldCheckBox", "VersionsFolderEdit",
          "ObsoleteNormalDeleteRadioButton", "ObsoleteFolderEdit", "OptionsClearSourceArchiveBitCheckBox",
          "OptionsCompareAfterCopyCheckBox"},
         {"OptionsCopyIfSourceLengthIsZeroCheckBox", "OptionsKeepStructureFromRootCheckBox"}},
        {"synchronize", {Sync, 0, false, true, true, true},
         {"CompressUseCheckBox", "CompressLevelEdit", "VersionsSaveOldCheckBox", "VersionsNumEdit",
          "ObsoleteMoveToFolderRadioButton", "ObsoleteKeepDeletedFilesNumEdit",
          "OptionsOverwriteNeverDestinationCheckBox", "OptionsKeepStructureFromRootCheckBox"},
         {"OptionsCompareAfterCopyCheckBox", "BackupTypeSynchronizeRadioButton"}},
        {"several folders", {Sync, 0, true, false, false, false}, {"BackupTypeSynchronizeRadioButton"}, {}},
        {"stored FTP destination", {Simple, 1, false, false, false, false}, {"DestLocalFolderEdit"},
         {"DestFtpAddressEdit", "DestFtpPortUpDown", "DestFtpAdvancedSettingsButton"}},
        {"compression then move", {Move, 0, false, true, false, false},
         {"CompressUseCheckBox", "CompressFilenameEdit", "CompressPasswordEdit", "CompressLevelUpDown"}, {}},
        {"exact copy moving deleted files", {Exact, 0, false, true, true, true}, {},
         {"CompressFilenameEdit", "VersionsFolderEdit", "ObsoleteFolderEdit", "ObsoleteKeepDeletedFilesNumEdit"}},
        {"no type checked", {-1, -1, false, true, true, true},
         {"OptionsCopyIfSourceLengthIsZeroCheckBox", "CompressUseCheckBox", "DestLocalFolderEdit"},
         {"OptionsDontSkipIfDateEqButSrcBiggerDstCheckBox", "OptionsOverwriteNeverDestinationCheckBox"}},
    };
    for (const auto &row : rows) {
        const auto states = enabledMap(row.in);
        for (const std::string &n : row.disabled) {
            ASSERT_TRUE(states.count(n)) << n;
            EXPECT_FALSE(states.at(n)) << row.what << ": " << n;
        }
        for (const std::string &n : row.enabled) {
            ASSERT_TRUE(states.count(n)) << n;
            EXPECT_TRUE(states.at(n)) << row.what << ": " << n;
        }
    }
}

TEST(TaskDialogRulesTable, InvariantsOverEveryCombination)
{
    const std::set<std::string> syncOff = {"CompressUseCheckBox", "CompressFilenameEdit", "VersionsSaveOldCheckBox",
                                           "VersionsFolderEdit", "ObsoleteNormalDeleteRadioButton",
                                           "ObsoleteFolderEdit"};
    int combinations = 0;
    for (int type = -1; type <= 3; ++type) {
        for (int dest = -1; dest <= 3; ++dest) {
            for (int flags = 0; flags < 16; ++flags) {
                const TaskRulesInput in{type, dest, (flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0,
                                        (flags & 8) != 0};
                std::set<std::string> seen;
                for (const ControlState &s : TaskDialogRules::evaluate(in)) {
                    EXPECT_TRUE(seen.insert(s.name).second) << s.name << " is set by two rules";
                    if (s.paint != EditPaint::Keep) {
                        EXPECT_EQ(s.paint == EditPaint::Window, s.enabled) << s.name;
                    }
                    if (type == 3 && syncOff.count(s.name)) {
                        EXPECT_FALSE(s.enabled) << s.name << " with Synchronize";
                    }
                    if (s.name == "CompressFilenameEdit") {
                        EXPECT_EQ(s.enabled, in.compressChecked && (type == 0 || type == 1));
                    }
                    if (s.name.rfind("DestLocal", 0) == 0) {
                        EXPECT_EQ(s.enabled, dest == 0) << s.name;
                    }
                }
                ++combinations;
            }
        }
    }
    EXPECT_EQ(combinations, 5 * 5 * 16);
}

class TaskDialogForm : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetSettingsToDefaults();
        setDialer(&m_dialer);
    }
    void TearDown() override { setDialer(nullptr); }
    FakeDialer m_dialer;
};

TEST_F(TaskDialogForm, EveryRuleAndPageNameIsOneWidget)
{
    TTask task;
    TProjectPropertiesForm form(task);
    form.loadDraft();
    std::vector<std::string> names = TaskDialogRules::controlNames();
    for (int g = 0; g <= static_cast<int>(TaskGroup::Email); ++g) {
        for (const QString &n : TaskGroupPage::controlNames(static_cast<TaskGroup>(g))) {
            names.push_back(n.toStdString());
        }
    }
    // The event alerts panels: every named control of the editor, and the page's default/custom pair.
    auto *alerts = form.findChild<AlertsEditor *>();
    ASSERT_NE(alerts, nullptr);
    names.push_back("EventsUseDefaultRadioButton");
    names.push_back("EventsUseCustomRadioButton");
    int alertNames = 0;
    for (const QWidget *w : alerts->findChildren<QWidget *>()) {
        const QString n = w->objectName();
        if (!n.isEmpty() && !n.startsWith(QLatin1String("qt_"))) {
            EXPECT_TRUE(n.startsWith(QLatin1String("Events"))) << n.toStdString();
            names.push_back(n.toStdString());
            ++alertNames;
        }
    }
    for (const char *n : {"EventsComboBox", "EventsScrollBox", "EventsStartCheckBoxDialog",
                          "EventsFinishEmailLogCheckBox", "EventsFinishEmailSettingsLabel"}) {
        EXPECT_NE(alerts->findChild<QWidget *>(QString::fromLatin1(n)), nullptr) << n;
    }
    EXPECT_GT(alertNames, 60);
    for (const std::string &n : names) {
        EXPECT_EQ(form.findChildren<QWidget *>(QString::fromStdString(n)).size(), 1) << n;
    }
}

TEST_F(TaskDialogForm, ClicksRecomputeTheRules)
{
    TTask task;
    task.TaskType = ttSimpleCopy;
    task.CompressUse = true;
    TProjectPropertiesForm form(task);
    form.loadDraft();
    auto *compress = qvtest::child<QCheckBox>(&form, "CompressUseCheckBox");
    auto *zipName = qvtest::child<QWidget>(&form, "CompressFilenameEdit");
    EXPECT_TRUE(compress->isEnabled());
    EXPECT_TRUE(zipName->isEnabled());
    EXPECT_FALSE(editPaintedFace(zipName));
    qvtest::child<QRadioButton>(&form, "BackupTypeMoveRadioButton")->click();
    EXPECT_FALSE(compress->isEnabled());
    EXPECT_FALSE(zipName->isEnabled());
    EXPECT_TRUE(editPaintedFace(zipName));
    qvtest::child<QRadioButton>(&form, "BackupTypeExactCopyRadioButton")->click();
    EXPECT_TRUE(zipName->isEnabled());
    auto *logCustom = qvtest::child<QRadioButton>(&form, "LogUseCustomRadioButton");
    auto *logEnabled = qvtest::child<QCheckBox>(&form, "LogEnabledCheckBox");
    EXPECT_FALSE(logEnabled->isEnabled());
    logCustom->click();
    EXPECT_TRUE(logEnabled->isEnabled());
}

TEST_F(TaskDialogForm, SourceModeAndSynchronizeFollowEachOther)
{
    TTask task;
    task.TaskType = ttSimpleCopy;
    task.Source = "/srv/data";
    TProjectPropertiesForm form(task);
    form.loadDraft();
    auto *sources = form.findChild<TaskSourcesPage *>();
    ASSERT_NE(sources, nullptr);
    auto *sync = qvtest::child<QRadioButton>(&form, "BackupTypeSynchronizeRadioButton");
    auto *simple = qvtest::child<QRadioButton>(&form, "BackupTypeSimpleCopyRadioButton");
    // The source page is not the one shown: its state still drives the rules.
    ASSERT_NE(form.currentPageIndex(), form.pageIndexOf("SourceTabSheet"));
    EXPECT_TRUE(sources->SourceMultiSwitchLabel->isEnabled());
    sync->click();
    EXPECT_FALSE(sources->SourceMultiSwitchLabel->isEnabled()) << "Synchronize chosen: no switch to several folders";
    simple->click();
    EXPECT_TRUE(sources->SourceMultiSwitchLabel->isEnabled());
    sources->switchMode();
    ASSERT_TRUE(sources->multiMode());
    EXPECT_TRUE(TaskDialogRules::read(&form).multiFolder);
    EXPECT_FALSE(sync->isEnabled()) << "several folders: Synchronize cannot be chosen";
    form.CheckState();
    EXPECT_FALSE(sync->isEnabled()) << "the rules keep it so";
    sources->switchMode();
    ASSERT_FALSE(sources->multiMode());
    EXPECT_FALSE(TaskDialogRules::read(&form).multiFolder);
    form.CheckState();
    EXPECT_TRUE(sync->isEnabled());
}

} // namespace

namespace {

// The pages laid out in form files: each control sits in its page's form body, where a language
// file and the designer find it.
TEST_F(TaskDialogForm, FormFilePagesHoldTheirControls)
{
    const struct {
        const char *body;
        const char *page;
        std::vector<const char *> controls;
    } rows[] = {
        {"TaskNamePage", "TaskNameTabSheet", {"TaskNameEdit", "TaskNameIdEdit", "TaskNameHotKey", "TaskNameResetButton",
                                              "TaskNameHotKeyValidLabel", "TaskNameHotKeyBringToFrontCheckBox"}},
        {"TaskTypePage", "BackupTypeTabSheet", {"BackupTypeSimpleCopyRadioButton", "BackupTypeSynchronizeLabel"}},
        {"TaskDestLocalPage", "DestLocalTabSheet", {"DestLocalFolderEdit", "DestLocalFolderButton",
                                                    "DestLocalFolderLabelExpandTest"}},
        {"TaskCompressPage", "CompressTabSheet", {"CompressUseCheckBox", "CompressPasswordReenterEdit",
                                                  "CompressLevelUpDown", "CompressLevelEdit"}},
        {"TaskFolderMonitorPage", "FolderMonitorTabSheet", {"FolderMonitorSecurityCheckBox",
                                                            "FolderMonitorWaitSecondsEdit"}},
        {"TaskOptionsPage", "OptionsTabSheet", {"OptionsClearSourceArchiveBitCheckBox"}},
        {"TaskVersionsPage", "VersionsTabSheet", {"VersionsFolderEdit", "VersionsBrowseButton", "VersionsNumEdit"}},
        {"TaskDestFtpPage", "DestFtpTabSheet", {"DestFtpPortUpDown", "DestFtpPortEdit", "DestFtpAdvancedSettingsButton"}},
        {"TaskObsoletePage", "ObsoleteTabSheet", {"ObsoleteRecycleBinRadioButton", "ObsoleteFolderEdit",
                                                  "ObsoleteKeepDeletedFilesNumEdit"}},
    };
    TTask task;
    TProjectPropertiesForm form(task);
    form.loadDraft();
    for (const auto &row : rows) {
        QWidget *page = form.page(form.pageIndexOf(QString::fromLatin1(row.page)));
        auto *body = page->findChild<QWidget *>(QString::fromLatin1(row.body));
        ASSERT_NE(body, nullptr) << row.body;
        for (const char *name : row.controls) {
            auto *w = body->findChild<QWidget *>(QString::fromLatin1(name));
            EXPECT_NE(w, nullptr) << name << " in " << row.body;
        }
    }
}

} // namespace
