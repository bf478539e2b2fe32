// A task whose every stored field differs from a new task's, with numbered filters and schedules.
// Shared by the storage tests and the task dialog's edit-cycle tests.
#pragma once

#include "core/runs/Task.h"
#include "core/task/TaskAlertTable.h"
#include "task/TaskAlertNames.h"

#include <string>

namespace qvtest {

using namespace qv;

inline void setAlert(bool &field, bool fresh, const char *, int)
{
    field = !fresh;
}

inline void setAlert(std::string &field, const std::string &, const char *name, int i)
{
    field = std::string("alert ") + name + std::to_string(i);
}

inline TTaskFilterItem filterNumber(int i)
{
    TTaskFilterItem f;
    f.Enabled = i % 2 == 0;
    f.FilterType = i % 3 == 0 ? fitInclude : fitExclude;
    f.FilterKind = static_cast<TFilterKind>(i % 5);
    f.fnKind = i % 2 ? fnkSingleFile : fnkWildcard;
    f.fnWildcard = "*.f" + std::to_string(i);
    f.fnSingleFile = "/single/" + std::to_string(i);
    f.frKind = i % 2 ? frkEmpty : frkContains;
    f.frContains = "part" + std::to_string(i);
    f.dtKind = static_cast<TFilterDateTimeKind>(i % 3);
    f.dtSelector = static_cast<TFilterDateTimeSelector>(i % 6);
    f.dtMonths = 10 + i;
    f.dtDays = 20 + i;
    f.dtHours = 30 + i;
    f.dtMinutes = 40 + i;
    f.dtDateBetweenStart = 40000.25 + i;
    f.dtDateBetweenEnd = 41000.5 + i;
    f.dtTimeBetweenStart = 0.125 + i;
    f.dtTimeBetweenEnd = 0.875 + i;
    f.atReadOnly = i & 1;
    f.atArchive = i & 2;
    f.atHidden = i & 4;
    f.atSystem = i & 8;
    f.atCompressed = !(i & 1);
    f.atEncrypted = !(i & 2);
    f.szKind = static_cast<TFilterSizeKind>(i % 3);
    f.szValue = 1000 + i;
    f.szMeasure = static_cast<TSizeMeasure>((i + 1) % 3);
    return f;
}

inline TTaskScheduleItem scheduleNumber(int i)
{
    TTaskScheduleItem s;
    s.Enabled = i % 2 == 1;
    s.Kind = static_cast<TScheduleKind>(i % 9);
    s.MinutellyValue = 5 + i;
    s.HourlyValue = 6 + i;
    s.DailyEveryNumDays = static_cast<std::uint8_t>(i % 14);
    s.DailyUseStartTime = true;
    s.DailyStartTime = 0.1 + i / 100.0;
    s.WeeklyEveryNumWeek = static_cast<std::uint8_t>(i % 10);
    for (int d = 0; d < 7; ++d) {
        s.weekday(d) = (i + d) % 2 == 0;
    }
    s.WeeklyUseStartTime = true;
    s.WeeklyStartTime = 0.2 + i / 100.0;
    s.MonthlyKind = mkWhichDay;
    s.MonthlyEveryNumDay = static_cast<std::uint8_t>(20 + i % 11);
    s.MonthlyWhichDayType = static_cast<TWhichWeek>(i % 5);
    s.MonthlyWhichDayWeek = static_cast<TWeekDay>(i % 7);
    for (int m = 0; m < 12; ++m) {
        s.month(m) = (i + m) % 3 != 0;
    }
    s.MonthlyUseStartTime = true;
    s.MonthlyStartTime = 0.3 + i / 100.0;
    s.AtSystemStartupWait = false;
    s.AtSystemStartupWaitSecValue = 100 + i;
    s.AtProgramStartupWait = false;
    s.AtProgramStartupWaitSecValue = 200 + i;
    s.SystemShutdownLimitExecTime = true;
    s.SystemShutdownMaxSec = 300 + i;
    s.OnceRunDate = 46000.75 + i;
    s.OnceUseStartTime = true;
    s.OnceStartTime = 0.4 + i / 100.0;
    return s;
}

// A task whose every stored field differs from the defaults of a new task.
inline void fillNonDefault(TTask &t)
{
    t.Name = "Nightly photos ✓";
    t.HotKey = 0x4000 | 0x2000 | 'K';
    t.HotKeyBringToFront = true;
    t.ID = "0123456789ABCDEF01234";
    t.TaskType = ttSynchronize;
    t.Source = "!>/home/u/Pictures,\"|/srv/shared files\"";
    t.SourceIncludeSubfolders = false;
    t.DestType = kDestCdDvd;
    t.DestLocal = "/media/backup/%ProjectName%";
    t.DestFTP = {
        "ftp.example.org", "/in", 2121, "me", "pw", true, true, "proxy", 3128, true, "pl", "pp", 5, 6, 7, 8};
    for (int i = 0; i < 12; ++i) {
        t.Filters.Add(filterNumber(i));
        t.Schedules.Add(scheduleNumber(i));
    }
    t.CompressUse = true;
    t.CompressFilename = "backup.zip";
    t.CompressPassword = "zip secret";
    t.CompressLevel = 9;
    t.FoldersMonitor->DoWait = false;
    t.FoldersMonitor->WaitSeconds = 77;
    t.FoldersMonitor->MonitorFileName = true;
    t.FoldersMonitor->MonitorFolderName = true;
    t.FoldersMonitor->MonitorAttributes = true;
    t.FoldersMonitor->MonitorSize = true;
    t.FoldersMonitor->MonitorLastWrite = true;
    t.FoldersMonitor->MonitorSecurity = true;
    t.BelongToGroup = "Photos";
    t.SourceVolLabel = "SRC";
    t.SourceSerialNum = "1234-5678";
    t.DestinationVolLabel = "DST";
    t.DestinationSerialNum = "9ABC-DEF0";
    t.Created = 45000.5;
    t.LastRun = 46000.25;
    t.BackupOverwriteNeverDestination = true;
    t.BackupSynchronizeFileDeletions = true;
    t.BackupCopyInUseFiles = true;
    t.BackupCompareAfterCopy = true;
    t.KeepStructureFromRoot = true;
    t.CopyIfSourceLengthIsZero = true;
    t.OptionsDontSkipIfDateEqButSrcBiggerDst = false;
    t.ClearSourceArchiveBit = true;
    t.VersionsKeep = true;
    t.VersionsFolder = "/v";
    t.VersionsFilesNum = 4;
    t.DeleteKind = adkNormal;
    t.ArchiveFolder = "/a";
    t.KeepDeletedFilesNum = 3;
    t.RunPrograms = {false, true, "before.sh", false, true, "after.sh", false};
    t.Dial = {false, "Office VPN", false};
    t.HardwareProfile = {false, "Laptop,Docked"};
    t.Bandwidth = {false, true, 640, bmkKBits};
    t.Protection = {false, "task password", "a hint"};
    t.Log = {false, false, "task.log", 512, false, false, false, false, false};
    t.EventAlerts.UseDefault = false;
    // Every alert value the opposite of a new task's, each text naming its own setting; reached by
    // name, not through the table the storage tests check.
    const TEventAlertValues fresh;
    int i = 0;
#define QV_FILL_ALERT(name) setAlert(t.EventAlerts.name, fresh.name, #name, i++);
    QV_TEST_ALERT_VALUES(QV_FILL_ALERT)
#undef QV_FILL_ALERT
    t.Performance = {false, 5};
    t.PowerManagement = {false, true, true, "B"};
    t.EmailSettings = {false, "smtp.example.org", 587, true, "user", "smtp pw", "to@x", "from@x", "Subject!"};
}

} // namespace qvtest
