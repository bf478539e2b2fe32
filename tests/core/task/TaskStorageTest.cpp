// Tasks, filter items, schedule entries and groups in the settings store.
#include "core/task/TaskStorage.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"
#include "platform/Registry.h"

#include "TaskAlertNames.h"
#include "core/TaskFillSupport.h"
#include "TaskStoreFixture.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

using namespace qv;

using qvtest::filterNumber;
using qvtest::fillNonDefault;
using qvtest::scheduleNumber;

void expectSameTask(const TTask &a, const TTask &b)
{
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.HotKey, b.HotKey);
    EXPECT_EQ(a.HotKeyBringToFront, b.HotKeyBringToFront);
    EXPECT_EQ(a.ID, b.ID);
    EXPECT_EQ(a.TaskType, b.TaskType);
    EXPECT_EQ(a.Source, b.Source);
    EXPECT_EQ(a.SourceIncludeSubfolders, b.SourceIncludeSubfolders);
    EXPECT_EQ(a.DestType, b.DestType);
    EXPECT_EQ(a.DestLocal, b.DestLocal);
    EXPECT_TRUE(a.DestFTP == b.DestFTP);
    ASSERT_EQ(a.Filters.Count(), b.Filters.Count());
    for (int i = 0; i < a.Filters.Count(); ++i) {
        EXPECT_TRUE(a.Filters[i] == b.Filters[i]) << "filter " << i;
    }
    ASSERT_EQ(a.Schedules.Count(), b.Schedules.Count());
    for (int i = 0; i < a.Schedules.Count(); ++i) {
        EXPECT_TRUE(a.Schedules[i] == b.Schedules[i]) << "schedule " << i;
    }
    EXPECT_EQ(a.CompressUse, b.CompressUse);
    EXPECT_EQ(a.CompressFilename, b.CompressFilename);
    EXPECT_EQ(a.CompressPassword, b.CompressPassword);
    EXPECT_EQ(a.CompressLevel, b.CompressLevel);
    EXPECT_EQ(a.FoldersMonitor->DoWait, b.FoldersMonitor->DoWait);
    EXPECT_EQ(a.FoldersMonitor->WaitSeconds, b.FoldersMonitor->WaitSeconds);
    EXPECT_EQ(a.FoldersMonitor->MonitorFileName, b.FoldersMonitor->MonitorFileName);
    EXPECT_EQ(a.FoldersMonitor->MonitorFolderName, b.FoldersMonitor->MonitorFolderName);
    EXPECT_EQ(a.FoldersMonitor->MonitorAttributes, b.FoldersMonitor->MonitorAttributes);
    EXPECT_EQ(a.FoldersMonitor->MonitorSize, b.FoldersMonitor->MonitorSize);
    EXPECT_EQ(a.FoldersMonitor->MonitorLastWrite, b.FoldersMonitor->MonitorLastWrite);
    EXPECT_EQ(a.FoldersMonitor->MonitorSecurity, b.FoldersMonitor->MonitorSecurity);
    EXPECT_EQ(a.BelongToGroup, b.BelongToGroup);
    EXPECT_EQ(a.SourceVolLabel, b.SourceVolLabel);
    EXPECT_EQ(a.SourceSerialNum, b.SourceSerialNum);
    EXPECT_EQ(a.DestinationVolLabel, b.DestinationVolLabel);
    EXPECT_EQ(a.DestinationSerialNum, b.DestinationSerialNum);
    EXPECT_EQ(a.Created, b.Created);
    EXPECT_EQ(a.LastRun, b.LastRun);
    EXPECT_EQ(a.BackupOverwriteNeverDestination, b.BackupOverwriteNeverDestination);
    EXPECT_EQ(a.BackupSynchronizeFileDeletions, b.BackupSynchronizeFileDeletions);
    EXPECT_EQ(a.BackupCopyInUseFiles, b.BackupCopyInUseFiles);
    EXPECT_EQ(a.BackupCompareAfterCopy, b.BackupCompareAfterCopy);
    EXPECT_EQ(a.KeepStructureFromRoot, b.KeepStructureFromRoot);
    EXPECT_EQ(a.CopyIfSourceLengthIsZero, b.CopyIfSourceLengthIsZero);
    EXPECT_EQ(a.OptionsDontSkipIfDateEqButSrcBiggerDst, b.OptionsDontSkipIfDateEqButSrcBiggerDst);
    EXPECT_EQ(a.ClearSourceArchiveBit, b.ClearSourceArchiveBit);
    EXPECT_EQ(a.VersionsKeep, b.VersionsKeep);
    EXPECT_EQ(a.VersionsFolder, b.VersionsFolder);
    EXPECT_EQ(a.VersionsFilesNum, b.VersionsFilesNum);
    EXPECT_EQ(a.DeleteKind, b.DeleteKind);
    EXPECT_EQ(a.ArchiveFolder, b.ArchiveFolder);
    EXPECT_EQ(a.KeepDeletedFilesNum, b.KeepDeletedFilesNum);
    EXPECT_TRUE(a.RunPrograms == b.RunPrograms);
    EXPECT_TRUE(a.Dial == b.Dial);
    EXPECT_TRUE(a.HardwareProfile == b.HardwareProfile);
    EXPECT_TRUE(a.Bandwidth == b.Bandwidth);
    EXPECT_TRUE(a.Protection == b.Protection);
    EXPECT_TRUE(a.Log == b.Log);
    EXPECT_EQ(a.EventAlerts.UseDefault, b.EventAlerts.UseDefault);
#define QV_COMPARE_ALERT(name) EXPECT_EQ(a.EventAlerts.name, b.EventAlerts.name) << #name;
    QV_TEST_ALERT_VALUES(QV_COMPARE_ALERT)
#undef QV_COMPARE_ALERT
    EXPECT_TRUE(a.EventAlerts == b.EventAlerts);
    EXPECT_TRUE(a.Performance == b.Performance);
    EXPECT_TRUE(a.PowerManagement == b.PowerManagement);
    EXPECT_TRUE(a.EmailSettings == b.EmailSettings);
}

TEST_F(TaskStore, RoundTripKeepsEveryField)
{
    TTask original;
    fillNonDefault(original);
    original.SaveToRegistry(taskKeyPath(original.ID));
    TTask loaded;
    ASSERT_TRUE(loaded.LoadFromRegistry(taskKeyPath(original.ID)));
    expectSameTask(original, loaded);
    // The same through a scratch key of the dialogs.
    original.SaveToRegistry(tempKeyPath("EditTask"));
    TTask fromTemp;
    ASSERT_TRUE(fromTemp.LoadFromRegistry(tempKeyPath("EditTask")));
    expectSameTask(original, fromTemp);
    // Every one of the 105 alert values has a value of its own, under its own name; a text value
    // holds the text the fixture gave that very setting.
    const auto stored = dump(taskKeyPath(original.ID));
    int alertValues = 0;
    for (const auto &[key, value] : stored) {
        alertValues += key.rfind("\\EventAlerts|", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(alertValues, 106) << "105 alert values and UseDefault";
    for (const char *name : alerttest::kAlertValueNames) {
        const auto it = stored.find(std::string("\\EventAlerts|") + name);
        ASSERT_NE(it, stored.end()) << name;
        const std::string item = name;
        if (item.ends_with("SoundFile") || item.ends_with("Email")) {
            EXPECT_EQ(it->second.data.rfind(std::string("alert ") + name, 0), 0u) << name << ": " << it->second.data;
        }
    }
    EXPECT_EQ(stored.at("|TaskType").data, "ttSynchronize");
    EXPECT_EQ(stored.at("|HotKey").type, static_cast<std::uint32_t>(REG_BINARY));
    EXPECT_EQ(stored.at("|HotKey").data, std::string("K\x60", 2));
    EXPECT_EQ(stored.at("\\Destination|DestType").data, std::string("\x02", 1));
    EXPECT_EQ(stored.at("\\Obsolete|DeleteKind").data, "adkNormal");
    EXPECT_EQ(stored.at("\\Filters\\1|dtSelector").data, "fidtsMonths");
    EXPECT_EQ(stored.at("\\AutoRun\\Schedule\\12|MonthlyEveryNumDay").data, "nd21th");
    EXPECT_EQ(stored.at("\\AutoRun\\Schedule\\12|DailyEveryNumDays").data, "ed12th");
}

// What a value reads as when it is missing, for every value that does not read as false, 0 or
// empty text. "keep" values keep what the task had before the load (a new task's default).
struct AbsentRule
{
    const char *value; // "subkey|name"; a trailing "*" stands for any item subkey
    const char *rule;
};
const AbsentRule kAbsentRules[] = {
    {"|HotKey", "keep"},
    {"\\Destination|DestType", "keep"},
    {"\\Destination|DestFTP_Port", "keep"},
    {"\\Destination|DestFTP_ProxyPort", "keep"},
    {"\\Destination|DestFTP_ReconnectRetries", "keep"},
    {"\\Destination|DestFTP_PauseBeforeRetry", "keep"},
    {"\\Destination|DestFTP_TimeOut", "keep"},
    {"\\Destination|DestFTP_NumberOfErrorsBeforeStop", "keep"},
    {"\\Performance|CpuPerformance", "keep"},
    {"\\Obsolete|DeleteKind", "adkArchive"},
    {"\\Bandwidth|MeasureKind", "bmkMBits"},
    {"\\RunPrograms|UseDefault", "true"},
    {"\\Dial|UseDefault", "true"},
    {"\\HardwareProfile|UseDefault", "true"},
    {"\\Bandwidth|UseDefault", "true"},
    {"\\Protection|UseDefault", "true"},
    {"\\Log|UseDefault", "true"},
    {"\\EventAlerts|UseDefault", "true"},
    {"\\Performance|UseDefault", "true"},
    {"\\PowerManagement|UseDefault", "true"},
    {"\\EmailSettings|UseDefault", "true"},
    {"\\EventAlerts|ScheduledDiskSpanDialog", "true"},
    {"\\EventAlerts|ManualDiskSpanDialog", "true"},
    {"\\EventAlerts|SilentDiskSpanDialog", "true"},
    {"\\Filters\\*|Enabled", "true"},
    {"\\Filters\\*|FilterType", "fitExclude"},
    {"\\Filters\\*|FilterKind", "fikSize"},
    {"\\Filters\\*|fnKind", "fnkSingleFile"},
    {"\\Filters\\*|frKind", "frkEmpty"},
    {"\\Filters\\*|dtKind", "fidtkLastAccessed"},
    {"\\Filters\\*|dtSelector", "fidtsTimeBetween"},
    {"\\Filters\\*|szKind", "fiskGreaterThan"},
    {"\\Filters\\*|szMeasure", "szmMegabytes"},
    {"\\AutoRun\\Schedule\\*|Kind", "skOnce"},
    {"\\AutoRun\\Schedule\\*|DailyEveryNumDays", "ed14th"},
    {"\\AutoRun\\Schedule\\*|WeeklyEveryNumWeek", "ew10th"},
    {"\\AutoRun\\Schedule\\*|MonthlyKind", "mkWhichDay"},
    {"\\AutoRun\\Schedule\\*|MonthlyEveryNumDay", "nd31th"},
    {"\\AutoRun\\Schedule\\*|MonthlyWhichDayType", "wwLast"},
    {"\\AutoRun\\Schedule\\*|MonthlyWhichDayWeek", "wdSunday"},
};

const char *absentRuleOf(const std::string &key)
{
    for (const auto &r : kAbsentRules) {
        std::string pattern = r.value;
        const auto star = pattern.find('*');
        if (star == std::string::npos) {
            if (pattern == key) {
                return r.rule;
            }
            continue;
        }
        const std::string head = pattern.substr(0, star);
        const std::string tail = pattern.substr(star + 1);
        const auto bar = key.find('|');
        if (key.rfind(head, 0) == 0 && key.substr(bar) == tail &&
            key.substr(head.size(), bar - head.size()).find('\\') == std::string::npos) {
            return r.rule;
        }
    }
    return nullptr;
}

// The stored form the absent rule predicts for `original` (the value as it was saved).
RegValue expectedAbsent(const std::string &key, const RegValue &original,
                        const std::map<std::string, RegValue> &fresh)
{
    RegValue v = original;
    const char *rule = absentRuleOf(key);
    if (rule != nullptr && std::string(rule) == "keep") {
        return fresh.at(key); // a new task's value
    }
    switch (original.type) {
    case REG_SZ:
        v.data = rule != nullptr ? rule : "";
        break;
    case REG_DWORD:
        v.data = std::string(4, '\0');
        if (rule != nullptr && std::string(rule) == "true") {
            v.data[0] = 1;
        }
        break;
    default:
        v.data = std::string(original.data.size(), '\0'); // date-times: 0
        break;
    }
    return v;
}

TEST_F(TaskStore, EachMissingValueTakesItsAbsentRule)
{
    TTask original;
    fillNonDefault(original);
    original.Filters.Items.resize(1);
    original.Schedules.Items.resize(1);
    const std::string key = taskKeyPath("ORIGINAL");
    const std::string copyKey = taskKeyPath("COPY");
    original.SaveToRegistry(key);
    const auto stored = dump(key);
    TTask freshTask;
    freshTask.SaveToRegistry(taskKeyPath("FRESH"));
    const auto fresh = dump(taskKeyPath("FRESH"));
    ASSERT_GT(stored.size(), 250u);

    int checked = 0;
    for (const auto &[name, value] : stored) {
        if (name == "|TaskType") {
            continue; // a missing type is an error of its own (below)
        }
        SCOPED_TRACE(name);
        const auto bar = name.find('|');
        original.SaveToRegistry(key);
        deleteValue(key + name.substr(0, bar), name.substr(bar + 1));
        TTask loaded;
        ASSERT_TRUE(loaded.LoadFromRegistry(key));
        loaded.SaveToRegistry(copyKey);
        const auto again = dump(copyKey);
        for (const auto &[otherName, otherValue] : stored) {
            if (otherName == name) {
                EXPECT_EQ(again.at(name), expectedAbsent(name, value, fresh));
            } else {
                EXPECT_EQ(again.at(otherName), otherValue) << "changed with it: " << otherName;
            }
        }
        ++checked;
    }
    EXPECT_EQ(checked, static_cast<int>(stored.size()) - 1);
}

TEST_F(TaskStore, MissingTaskKeyOrUnknownTypeIsReported)
{
    TTask task;
    EXPECT_FALSE(task.LoadFromRegistry(taskKeyPath("NOTHING")));
    EXPECT_EQ(task.TaskType, ttSimpleCopy);
    EXPECT_EQ(task.Name, ""); // every value took its absent rule
    EXPECT_EQ(task.DeleteKind, adkArchive);
    EXPECT_EQ(task.CompressLevel, 0);
    EXPECT_EQ(task.DestFTP.Port, 21); // kept
    EXPECT_TRUE(task.EventAlerts.SilentDiskSpanDialog);

    writeString(taskKeyPath("BAD"), "TaskType", "ttsimplecopy"); // identifiers compare exactly
    TTask other;
    other.TaskType = ttMove;
    EXPECT_FALSE(other.LoadFromRegistry(taskKeyPath("BAD")));
    EXPECT_EQ(other.TaskType, ttMove);
}

TEST_F(TaskStore, FewerItemsLeaveOnlyTheirSubkeys)
{
    TTask task;
    for (int i = 0; i < 5; ++i) {
        task.Filters.Add(filterNumber(i));
        task.Schedules.Add(scheduleNumber(i));
    }
    const std::string key = taskKeyPath(task.ID);
    task.SaveToRegistry(key);
    task.Filters.Items.resize(3);
    task.Schedules.Items.resize(2);
    task.SaveToRegistry(key);
    EXPECT_EQ(subKeys(key + "\\Filters"), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(subKeys(key + "\\AutoRun\\Schedule"), (std::vector<std::string>{"1", "2"}));
    task.Filters.Clear();
    task.SaveToRegistry(key);
    EXPECT_TRUE(subKeys(key + "\\Filters").empty());
}

TEST_F(TaskStore, TwelveItemsComeBackInTheirOrder)
{
    TTask task;
    for (int i = 0; i < 12; ++i) {
        task.Filters.Add(filterNumber(i));
    }
    const std::string key = taskKeyPath(task.ID);
    task.SaveToRegistry(key);
    // The store lists "1, 10, 11, 12, 2, ..."; the items must not follow that order.
    EXPECT_EQ(subKeys(key + "\\Filters")[1], "10");
    TTask loaded;
    ASSERT_TRUE(loaded.LoadFromRegistry(key));
    ASSERT_EQ(loaded.Filters.Count(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(loaded.Filters[i].fnWildcard, "*.f" + std::to_string(i));
    }
    EXPECT_EQ(numericKeyOrder({"10", "x", "2", "1", "b"}),
              (std::vector<std::string>{"1", "2", "10", "x", "b"}));
}

TEST_F(TaskStore, ItemsReadWithoutValuesTakeTheListedRules)
{
    const std::string filterKey = tempKeyPath("EditFilter");
    writeString(filterKey, "fnWildcard", "*.x");
    TTaskFilterItem f;
    f.LoadFromRegistry(filterKey);
    EXPECT_EQ(f.FilterType, fitExclude);
    EXPECT_EQ(f.FilterKind, fikSize);
    EXPECT_TRUE(f.Enabled);
    EXPECT_EQ(f.fnWildcard, "*.x");
    writeString(filterKey, "FilterType", "Include"); // not an identifier: the last one
    f.LoadFromRegistry(filterKey);
    EXPECT_EQ(f.FilterType, fitExclude);

    TTaskScheduleItem s;
    s.LoadFromRegistry(tempKeyPath("EditSchedule"));
    EXPECT_FALSE(s.Enabled);
    EXPECT_EQ(s.Kind, skOnce);
    EXPECT_EQ(s.DailyEveryNumDays, 13);
    EXPECT_EQ(s.MonthlyEveryNumDay, 30);
}

} // namespace
