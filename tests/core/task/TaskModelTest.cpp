// The task object: defaults, IDs, the multi-source list, folders, the alert table and the getters.
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "core/task/TaskAlertTable.h"
#include "core/runs/TaskRunFlags.h"
#include "core/util/Utils.h"

#include "TaskAlertNames.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace qv;

TEST(TaskDefaults, NewTaskHoldsTheCreationDefaults)
{
    FixedClock fixed(QDateTime(QDate(2026, 3, 4), QTime(10, 20, 30)));
    setClock(&fixed);
    TTask task;
    setClock(nullptr);

    EXPECT_EQ(task.Name, "Untitled");
    EXPECT_EQ(task.TaskType, ttSimpleCopy);
    EXPECT_EQ(task.DestType, kDestLocal);
    EXPECT_TRUE(task.SourceIncludeSubfolders);
    EXPECT_EQ(task.Created, task.LastRun);
    EXPECT_DOUBLE_EQ(task.Created, encodeDayCount(QDate(2026, 3, 4), QTime(10, 20, 30)));
    EXPECT_EQ(task.CompressLevel, 7);
    EXPECT_EQ(task.DeleteKind, adkRecycle);
    EXPECT_TRUE(task.OptionsDontSkipIfDateEqButSrcBiggerDst);
    EXPECT_EQ(task.VersionsFolder, "%destination%File Versions Archive");
    EXPECT_EQ(task.ArchiveFolder, "%destination%Deleted Files Archive");
    EXPECT_EQ(task.DestFTP.Port, 21);
    EXPECT_EQ(task.DestFTP.ReconnectRetries, 1000);
    EXPECT_EQ(task.DestFTP.NumberOfErrorsBeforeStop, 10000);
    EXPECT_TRUE(task.RunPrograms.BeforeWaitProgram);
    EXPECT_TRUE(task.Dial.DisconnectAfter);
    EXPECT_EQ(task.Bandwidth.MeasureKind, bmkMBits);
    EXPECT_EQ(task.Log.FileName, "quorvellant.log");
    EXPECT_EQ(task.Performance.CpuPerformance, 2);
    EXPECT_EQ(task.PowerManagement.BatteryMode, "C");
    EXPECT_EQ(task.EmailSettings.SmtpServerPort, 25);
    EXPECT_EQ(task.EmailSettings.Subject, "Automatic Backup Notification");
    ASSERT_NE(task.FoldersMonitor, nullptr);
    EXPECT_TRUE(task.FoldersMonitor->DoWait);
    EXPECT_EQ(task.FoldersMonitor->WaitSeconds, 30);
    EXPECT_NE(task.Logger, nullptr);
    ASSERT_NE(task.Timer, nullptr);
    EXPECT_FALSE(task.Timer->isActive());
    EXPECT_EQ(task.Timer->interval(), 1000);
    EXPECT_EQ(task.GetProgressPercent(), 0);
    EXPECT_FALSE(task.GetSuspended());
    EXPECT_EQ(task.GetProgressCaption(), "");
}

TEST(TaskDefaults, EveryGroupStartsOnTheProgramDefaults)
{
    TTask task;
    EXPECT_TRUE(task.RunPrograms.UseDefault && task.Dial.UseDefault && task.HardwareProfile.UseDefault &&
                task.Bandwidth.UseDefault && task.Protection.UseDefault && task.Log.UseDefault &&
                task.EventAlerts.UseDefault && task.Performance.UseDefault &&
                task.PowerManagement.UseDefault && task.EmailSettings.UseDefault);
}

TEST(TaskIds, AreTwentyOneHexCharactersAndDiffer)
{
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        TTask task;
        ASSERT_EQ(task.ID.size(), 21u);
        EXPECT_EQ(task.ID.find_first_not_of("1234567890ABCDEF"), std::string::npos) << task.ID;
        seen.insert(task.ID);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(TaskIds, ListGivesDuplicatesANewId)
{
    TTasksList list;
    auto a = std::make_unique<TTask>();
    a->ID = "ABCDEF";
    list.Add(std::move(a));
    auto b = std::make_unique<TTask>();
    b->ID = "abcdef"; // the store's key names ignore case
    TTask *added = list.Add(std::move(b));
    EXPECT_NE(added->ID, "abcdef");
    EXPECT_EQ(added->ID.size(), 21u);
    auto c = std::make_unique<TTask>();
    c->ID.clear();
    EXPECT_EQ(list.Add(std::move(c))->ID.size(), 21u);

    EXPECT_TRUE(list.TaskIDExists("ABCDEF"));
    EXPECT_FALSE(list.TaskIDExists("abcdef")); // the ID test itself is exact
    EXPECT_TRUE(list.TaskIDInUse("abcdef"));
    EXPECT_EQ(list.FindByID(added->ID), added);
    EXPECT_EQ(list.IndexOf(added), 1);
    list.Move(1, 0);
    EXPECT_EQ(list.IndexOf(added), 0);
    const std::string deletedId = added->ID;
    list.Delete(0);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FindByID(deletedId), nullptr);
    EXPECT_EQ(list.Items(0)->ID, "ABCDEF");
}

struct SplitCase
{
    const char *text;
    std::vector<std::string> items;
};

TEST(TaskCommaText, SplitsAsTheStoredListsWereWritten)
{
    const SplitCase cases[] = {
        {"", {}},
        {"a,b", {"a", "b"}},
        {"a b", {"a", "b"}}, // an unquoted blank separates
        {"  a , b ", {"a", "b"}},
        {"\"a b\",c", {"a b", "c"}},
        {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
        {"a,", {"a", ""}}, // a delimiter at the very end adds an empty item
        {",a", {"", "a"}},
        {"a,,b", {"a", "", "b"}},
        {"\"a,b\"", {"a,b"}},
        {"\"unterminated", {"unterminated"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SplitDelimitedText(c.text, ','), c.items);
    }
}

TEST(TaskCommaText, JoinThenSplitGivesTheItemsBack)
{
    const std::vector<std::vector<std::string>> lists = {
        {">/home/u/My Documents", "|/data,old", ">/x\"y\"", "|/tab\there", ">/plain"},
        {">/a", "", "|/b"},
        {"|/ünïcödé/Ordner", std::string(">/raw\xff\xfe", 8)},
    };
    for (const auto &items : lists) {
        EXPECT_EQ(FromCommaText(ToCommaText(items)), items);
    }
}

TEST(SourceList, MultiSourceGettersFollowThePrefixes)
{
    TTask task;
    task.Source = "!>/data,|/docs";
    EXPECT_EQ(task.GetSourceCount(), 2);
    EXPECT_EQ(task.GetSourceFolder(0), "/data/");
    EXPECT_EQ(task.GetSourceFolder(1), "/docs/");
    EXPECT_EQ(task.GetSourceFolder(2), "");
    EXPECT_EQ(task.GetSourceFolder(-1), "");
    EXPECT_TRUE(task.GetSourceIncludeSubfolders(0));
    EXPECT_FALSE(task.GetSourceIncludeSubfolders(1));
    EXPECT_FALSE(task.GetSourceIncludeSubfolders(2));

    task.Source = "!\"|/My Files, 2024\",>/b,/c";
    EXPECT_EQ(task.GetSourceCount(), 3);
    EXPECT_EQ(task.GetSourceFolder(0), "/My Files, 2024/");
    EXPECT_FALSE(task.GetSourceIncludeSubfolders(0));
    EXPECT_EQ(task.GetSourceFolder(2), "/c/"); // no prefix: the character belongs to the path
    EXPECT_FALSE(task.GetSourceIncludeSubfolders(2));
}

TEST(SourceList, SingleAndEmptySources)
{
    TTask task;
    task.Source = "/data";
    task.SourceIncludeSubfolders = false;
    EXPECT_EQ(task.GetSourceCount(), 1);
    EXPECT_EQ(task.GetSourceFolder(5), "/data/");
    EXPECT_FALSE(task.GetSourceIncludeSubfolders(7));
    task.Source = "/data with blanks, and commas/";
    EXPECT_EQ(task.GetSourceCount(), 1);
    EXPECT_EQ(task.GetSourceFolder(0), "/data with blanks, and commas/");
    task.Source.clear();
    EXPECT_EQ(task.GetSourceCount(), 0);
    EXPECT_EQ(task.GetSourceFolder(0), "");
}

TEST(SourceList, EncodeDecodeRoundTrip)
{
    const std::vector<SourceFolderItem> items = {
        {"/home/u/My Documents", true}, {"/srv/a,b", false}, {"/q\"uote", true}, {"/lone", false}};
    const std::string text = encodeSourceList(items);
    EXPECT_EQ(text[0], '!');
    EXPECT_EQ(decodeSourceList(text), items);
    TTask task;
    task.Source = text;
    ASSERT_EQ(task.GetSourceCount(), 4);
    EXPECT_EQ(task.GetSourceFolder(2), "/q\"uote/");
    EXPECT_TRUE(task.GetSourceIncludeSubfolders(2));
    // A lone source still works as a list of one.
    EXPECT_EQ(decodeSourceList(encodeSourceList({{"/only one", true}})),
              (std::vector<SourceFolderItem>{{"/only one", true}}));
}

TEST(SourceFolders, IndexOfSourceUsesWholeComponents)
{
    TTask task;
    task.Source = "!>/mnt/data,>/data";
    struct Case
    {
        const char *path;
        int index;
    };
    const Case cases[] = {
        {"/data/sub/file.txt", 1}, {"/data", 1},       {"/data/", 1},    {"/mnt/data/x", 0},
        {"/data2/file", -1},       {"/Data/file", -1}, {"/mnt/dat", -1}, {"/", -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(task.IndexOfSourceFolder(c.path), c.index);
    }
    EXPECT_TRUE(isPathInside("/x/a", "/"));
    EXPECT_FALSE(isPathInside("/x/a", "/a"));
}

TEST(DestinationFolders, KeepStructureFromRootAddsTheSourcePath)
{
    TTask task;
    task.DestLocal = "/backup";
    task.Source = "/data";
    task.KeepStructureFromRoot = true;
    EXPECT_EQ(task.GetDestinationFolder(0), "/backup/data/");
    EXPECT_EQ(task.GetDestinationFolder(-1), "/backup/");
    task.TaskType = ttSynchronize;
    EXPECT_EQ(task.GetDestinationFolder(0), "/backup/");
    task.TaskType = ttMove;
    task.KeepStructureFromRoot = false;
    EXPECT_EQ(task.GetDestinationFolder(0), "/backup/");
    task.CompressFilename = "b.zip";
    EXPECT_EQ(task.GetCompressFilePath(), "/backup/b.zip");
    task.ArchiveFolder = "/arch";
    task.VersionsFolder = "/vers/";
    EXPECT_EQ(task.GetArchiveFolder(), "/arch/");
    EXPECT_EQ(task.GetVersionsFolder(), "/vers/");
    // An empty setting never turns into the root folder.
    task.DestLocal.clear();
    task.ArchiveFolder.clear();
    EXPECT_EQ(task.GetDestinationFolder(-1), "");
    EXPECT_EQ(task.GetArchiveFolder(), "");
}

TEST(TaskTexts, LastRunShowsDateAndTime)
{
    TTask task;
    task.LastRun = encodeDayCount(QDate(2026, 3, 4), QTime(10, 20, 30));
    const std::string text = task.GetStrLastRun();
    EXPECT_NE(text.find("10:20:30"), std::string::npos) << text;
    EXPECT_NE(text.find("26"), std::string::npos) << text;
    task.LastRun = 0; // stored without a last-run time
    EXPECT_EQ(task.GetStrLastRun(), "Never");
}

TEST(TaskTexts, TaskTypeNames)
{
    TTask task;
    const std::pair<TTaskType, const char *> cases[] = {{ttSimpleCopy, "Simple Copy"},
                                                        {ttExactCopy, "Exact Copy"},
                                                        {ttMove, "Move"},
                                                        {ttSynchronize, "Synchronize"}};
    for (const auto &[type, text] : cases) {
        task.TaskType = type;
        EXPECT_EQ(task.GetStrTaskType(), text);
    }
}

TEST(Progress, PercentDropsTheFraction)
{
    EXPECT_EQ(progressPercent(0, 0), 0);
    EXPECT_EQ(progressPercent(5, 0), 0);
    EXPECT_EQ(progressPercent(1, 3), 33);
    EXPECT_EQ(progressPercent(2, 3), 66);
    EXPECT_EQ(progressPercent(3, 3), 100);
    EXPECT_EQ(progressPercent(INT64_MAX / 2, INT64_MAX), 49);
}

TEST(AlertTable, HasTheStoredOrderAndThreeIndependentDefaults)
{
    const auto table = taskAlertTable();
    ASSERT_EQ(table.size(), std::size(alerttest::kAlertValueNames));
    std::set<std::string> names;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto &row = table[i];
        EXPECT_STREQ(row.name, alerttest::kAlertValueNames[i]) << "row " << i;
        EXPECT_EQ(findTaskAlert(row.mode, row.event, row.item), &row) << row.name;
        names.insert(row.name);
        const bool stringItem = row.item == AlertItem::SoundFile || row.item == AlertItem::Email;
        EXPECT_EQ(row.isString(), stringItem) << row.name;
        EXPECT_EQ(row.boolField == nullptr, stringItem) << row.name;
    }
    EXPECT_EQ(names.size(), 105u);

    struct Defaults
    {
        const char *name;
        bool newTask, absent, program;
    };
    const Defaults cases[] = {
        {"SilentDiskSpanDialog", false, true, true},     {"ScheduledDiskSpanDialog", true, true, true},
        {"ManualDiskSpanDialog", true, true, true},      {"ScheduledStartBalloon", true, false, true},
        {"ManualStartBalloon", false, false, false},     {"SilentFileBalloon", true, false, false},
        {"SilentDiskSpanBalloon", true, false, true},    {"SilentErrorBalloon", false, false, false},
        {"ManualErrorBalloon", true, false, true},       {"ScheduledFinishEmailSendLog", true, false, true},
        {"SilentFinishEmailSendLog", true, false, true}, {"ScheduledFileBalloon", false, false, false},
        {"ManualWarningDialog", false, false, false},    {"ScheduledErrorSound", false, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TaskAlertSetting *row = nullptr;
        for (const auto &r : table) {
            if (std::string(r.name) == c.name) {
                row = &r;
            }
        }
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->newDefault, c.newTask);
        EXPECT_EQ(row->absentDefault, c.absent);
        EXPECT_EQ(row->programDefault, c.program);
        TEventAlertValues fresh;
        EXPECT_EQ(fresh.*(row->boolField), c.newTask);
    }
    EXPECT_EQ(findTaskAlert(AlertMode::Manual, AlertEvent::File, AlertItem::Email), nullptr);
    EXPECT_EQ(findTaskAlert(AlertMode::Manual, AlertEvent::Start, AlertItem::EmailSendLog), nullptr);
    ASSERT_NE(findTaskAlert(AlertMode::Silent, AlertEvent::Finish, AlertItem::EmailSendLog), nullptr);
}

// Distinct values on the two sides of a pair: booleans in opposite phase, texts and numbers carrying
// the counter, so that a getter reading the wrong pair is seen.
template <class T> void assignDistinct(T &prog, T &task, int counter)
{
    if constexpr (std::is_same_v<T, bool>) {
        prog = counter % 3 == 0;
        task = counter % 3 == 1;
    } else if constexpr (std::is_same_v<T, std::string>) {
        prog = "prog" + std::to_string(counter);
        task = "task" + std::to_string(counter);
    } else {
        prog = 1000 + counter;
        task = 2000 + counter;
    }
}

// Sets every program-wide default and every task value of the groups to distinct values, then
// checks that each getter returns its own pair's value on each side of UseDefault.
class GroupGetters : public ::testing::Test
{
protected:
    void SetUp() override { ResetSettingsToDefaults(); }
    void TearDown() override
    {
        ResetSettingsToDefaults();
        SilentMode = false;
    }
};

TEST_F(GroupGetters, FollowUseDefaultPairByPair)
{
    TTask task;
    int counter = 0;
#define QV_FILL(GROUP, FIELD, TYPE, PROG) assignDistinct(::qv::PROG, task.GROUP.FIELD, ++counter);
    QV_TASK_GROUP_GETTERS(QV_FILL)
#undef QV_FILL

    auto check = [&](bool useDefault) {
        task.RunPrograms.UseDefault = task.Dial.UseDefault = task.HardwareProfile.UseDefault = useDefault;
        task.Bandwidth.UseDefault = task.Protection.UseDefault = task.Log.UseDefault = useDefault;
        task.EmailSettings.UseDefault = useDefault;
#define QV_CHECK(GROUP, FIELD, TYPE, PROG)                                                                   \
    EXPECT_EQ(task.Get##PROG(), useDefault ? ::qv::PROG : task.GROUP.FIELD) << #PROG;
        QV_TASK_GROUP_GETTERS(QV_CHECK)
#undef QV_CHECK
    };
    check(true);
    check(false);
    // Values edited while the flag was set count as soon as it is cleared.
    task.Log.UseDefault = true;
    task.Log.FileName = "edited.log";
    EXPECT_NE(task.GetLogFileName(), "edited.log");
    task.Log.UseDefault = false;
    EXPECT_EQ(task.GetLogFileName(), "edited.log");
    // A later program-wide change is followed without touching the task.
    task.Log.UseDefault = true;
    ::qv::LogMaxSize = 77;
    EXPECT_EQ(task.GetLogMaxSize(), 77);
}

TEST_F(GroupGetters, AlertGettersReadTheirOwnPair)
{
    TTask task;
    int counter = 0;
#define QV_FILL_ALERT(M, E, I, T, NEW, ABS, PROG)                                                            \
    assignDistinct(::qv::Events##M##E##I, task.EventAlerts.M##E##I, ++counter);
    QV_TASK_ALERTS(QV_FILL_ALERT)
#undef QV_FILL_ALERT
    for (bool useDefault : {true, false}) {
        task.EventAlerts.UseDefault = useDefault;
#define QV_CHECK_ALERT(M, E, I, T, NEW, ABS, PROG)                                                           \
    EXPECT_EQ(task.GetEvents##M##E##I(), useDefault ? ::qv::Events##M##E##I : task.EventAlerts.M##E##I)      \
        << #M #E #I;
        QV_TASK_ALERTS(QV_CHECK_ALERT)
#undef QV_CHECK_ALERT
    }
    EXPECT_EQ(counter, 105);
}

TEST_F(GroupGetters, BandwidthUnitAndDiskSpanDialog)
{
    TTask task;
    ::qv::BandwidthMeasure = "KBits";
    EXPECT_EQ(task.GetBandwidthMeasure(), 0);
    ::qv::BandwidthMeasure = "kbits"; // only the exact text means KBits
    EXPECT_EQ(task.GetBandwidthMeasure(), 1);
    task.Bandwidth.UseDefault = false;
    task.Bandwidth.MeasureKind = bmkKBits;
    EXPECT_EQ(task.GetBandwidthMeasure(), 0);

    task.EventAlerts.UseDefault = false;
    task.EventAlerts.ScheduledDiskSpanDialog = false;
    task.EventAlerts.ManualDiskSpanDialog = true;
    task.StartMode = kStartByHand;
    EXPECT_TRUE(task.GetEventsDiskSpanDialog());
    task.StartMode = kStartAutomatic;
    EXPECT_FALSE(task.GetEventsDiskSpanDialog());
    task.EventAlerts.SilentDiskSpanDialog = true;
    task.StartMode = kStartByHand;
    task.EventAlerts.ManualDiskSpanDialog = false;
    SilentMode = true;
    EXPECT_TRUE(task.GetEventsDiskSpanDialog());
}

TEST_F(GroupGetters, ProgramColumnOfTheAlertTableMatchesTheSettingsDefaults)
{
    // The alert table's program-wide column and the settings table are written separately; they
    // must agree value by value.
    for (const auto &row : taskAlertTable()) {
        if (row.isString()) {
            continue;
        }
        const std::string name = std::string("Events") + row.name;
        const SettingInfo *info = nullptr;
        for (const auto &s : programSettings()) {
            if (name == s.name) {
                info = &s;
            }
        }
        ASSERT_NE(info, nullptr) << name;
        EXPECT_EQ(*static_cast<const bool *>(info->variable), row.programDefault) << name;
    }
    TTask task; // and a task on the defaults reports exactly those
    EXPECT_TRUE(task.GetEventsSilentDiskSpanDialog());
    EXPECT_FALSE(task.EventAlerts.SilentDiskSpanDialog);
    EXPECT_FALSE(task.GetRunBeforeWaitProgram());
    EXPECT_TRUE(task.RunPrograms.BeforeWaitProgram);
}

} // namespace
