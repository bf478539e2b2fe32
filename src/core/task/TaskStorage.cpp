// Save and load of task definitions, filter items and schedule entries, driven by descriptor tables.
//
// Each stored value is one row: subkey, value name, type, the field it comes from and the rule for
// when it is missing (a given default, or the field left as it was). Save and load walk the same
// rows in the same order, so a value cannot be written and forgotten on the way back.
#include "core/task/TaskStorage.h"

#include "core/text/Language.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"
#include "core/text/TextFormat.h"
#include "core/settings/MessageCategory.h"
#include "platform/RegistryStore.h"

#include <algorithm>
#include <span>

namespace qv {
namespace {

enum class VT : std::uint8_t { Str, Bool, Int, IntKeep, Date, Byte, Word, Enum };

template <class Obj> struct ValueDesc
{
    const char *subkey; // relative to the object's key; "" for the key itself
    const char *name;
    VT type;
    void *(*field)(Obj &);
    std::int64_t absent = 0;           // Bool / Int
    IdentifierList (*ids)() = nullptr; // Enum: absent or unknown text gives the last identifier
};

#define QV_F(Obj, expr) [](Obj &o) -> void * { return &o.expr; }
#define QV_T(expr) QV_F(TaskDefinition, expr)
#define QV_M(expr) QV_F(TFolderMonitorSettings, expr)

// Task values before the filter list.
const ValueDesc<TaskDefinition> kTaskHead[] = {
    {"", "Name", VT::Str, QV_T(Name)},
    {"", "HotKey", VT::Word, QV_T(HotKey)},
    {"", "HotKeyBringToFront", VT::Bool, QV_T(HotKeyBringToFront)},
    {"", "ID", VT::Str, QV_T(ID)},
    // TaskType follows here; it is handled on its own (a missing type is an error).
    {"\\Compress", "CompressUse", VT::Bool, QV_T(CompressUse)},
    {"\\Compress", "CompressFilename", VT::Str, QV_T(CompressFilename)},
    {"\\Compress", "CompressPassword", VT::Str, QV_T(CompressPassword)},
    {"\\Compress", "CompressLevel", VT::Int, QV_T(CompressLevel)},
    {"\\ExtendedData", "BelongToGroup", VT::Str, QV_T(BelongToGroup)},
    {"\\ExtendedData", "SourceVolLabel", VT::Str, QV_T(SourceVolLabel)},
    {"\\ExtendedData", "SourceSerialNum", VT::Str, QV_T(SourceSerialNum)},
    {"\\ExtendedData", "DestinationVolLabel", VT::Str, QV_T(DestinationVolLabel)},
    {"\\ExtendedData", "DestinationSerialNum", VT::Str, QV_T(DestinationSerialNum)},
    {"\\ExtendedData", "Created", VT::Date, QV_T(Created)},
    {"\\ExtendedData", "LastRun", VT::Date, QV_T(LastRun)},
    {"\\Source", "Source", VT::Str, QV_T(Source)},
    {"\\Source", "SourceIncludeSubfolders", VT::Bool, QV_T(SourceIncludeSubfolders)},
    {"\\Destination", "DestType", VT::Byte, QV_T(DestType)},
    {"\\Destination", "DestLocal", VT::Str, QV_T(DestLocal)},
    {"\\Destination", "DestFTP_Address", VT::Str, QV_T(DestFTP.Address)},
    {"\\Destination", "DestFTP_Folder", VT::Str, QV_T(DestFTP.Folder)},
    {"\\Destination", "DestFTP_Port", VT::IntKeep, QV_T(DestFTP.Port)},
    {"\\Destination", "DestFTP_Login", VT::Str, QV_T(DestFTP.Login)},
    {"\\Destination", "DestFTP_Password", VT::Str, QV_T(DestFTP.Password)},
    {"\\Destination", "DestFTP_PassiveMode", VT::Bool, QV_T(DestFTP.PassiveMode)},
    {"\\Destination", "DestFTP_ProxyUse", VT::Bool, QV_T(DestFTP.ProxyUse)},
    {"\\Destination", "DestFTP_ProxyAddress", VT::Str, QV_T(DestFTP.ProxyAddress)},
    {"\\Destination", "DestFTP_ProxyPort", VT::IntKeep, QV_T(DestFTP.ProxyPort)},
    {"\\Destination", "DestFTP_ProxyAuthUse", VT::Bool, QV_T(DestFTP.ProxyAuthUse)},
    {"\\Destination", "DestFTP_ProxyAuthLogin", VT::Str, QV_T(DestFTP.ProxyAuthLogin)},
    {"\\Destination", "DestFTP_ProxyAuthPassword", VT::Str, QV_T(DestFTP.ProxyAuthPassword)},
    {"\\Destination", "DestFTP_ReconnectRetries", VT::IntKeep, QV_T(DestFTP.ReconnectRetries)},
    {"\\Destination", "DestFTP_PauseBeforeRetry", VT::IntKeep, QV_T(DestFTP.PauseBeforeRetry)},
    {"\\Destination", "DestFTP_TimeOut", VT::IntKeep, QV_T(DestFTP.TimeOut)},
    {"\\Destination", "DestFTP_NumberOfErrorsBeforeStop", VT::IntKeep,
     QV_T(DestFTP.NumberOfErrorsBeforeStop)},
};

// Between the filter list and the schedule list.
const ValueDesc<TFolderMonitorSettings> kTaskFolderMonitor[] = {
    {"\\AutoRun\\FolderMonitor", "DoWait", VT::Bool, QV_M(DoWait)},
    {"\\AutoRun\\FolderMonitor", "WaitSeconds", VT::Int, QV_M(WaitSeconds)},
    {"\\AutoRun\\FolderMonitor", "MonitorFileName", VT::Bool, QV_M(MonitorFileName)},
    {"\\AutoRun\\FolderMonitor", "MonitorFolderName", VT::Bool, QV_M(MonitorFolderName)},
    {"\\AutoRun\\FolderMonitor", "MonitorAttributes", VT::Bool, QV_M(MonitorAttributes)},
    {"\\AutoRun\\FolderMonitor", "MonitorSize", VT::Bool, QV_M(MonitorSize)},
    {"\\AutoRun\\FolderMonitor", "MonitorLastWrite", VT::Bool, QV_M(MonitorLastWrite)},
    {"\\AutoRun\\FolderMonitor", "MonitorSecurity", VT::Bool, QV_M(MonitorSecurity)},
};

// After the schedule list, up to the alert values.
const ValueDesc<TaskDefinition> kTaskTail[] = {
    {"\\Options", "BackupOverwriteNeverDestination", VT::Bool, QV_T(BackupOverwriteNeverDestination)},
    {"\\Options", "BackupSynchronizeFileDeletions", VT::Bool, QV_T(BackupSynchronizeFileDeletions)},
    {"\\Options", "BackupCopyInUseFiles", VT::Bool, QV_T(BackupCopyInUseFiles)},
    {"\\Options", "BackupCompareAfterCopy", VT::Bool, QV_T(BackupCompareAfterCopy)},
    {"\\Options", "KeepStructureFromRoot", VT::Bool, QV_T(KeepStructureFromRoot)},
    {"\\Options", "CopyIfSourceLengthIsZero", VT::Bool, QV_T(CopyIfSourceLengthIsZero)},
    {"\\Options", "OptionsDontSkipIfDateEqButSrcBiggerDst", VT::Bool,
     QV_T(OptionsDontSkipIfDateEqButSrcBiggerDst)},
    {"\\Options", "ClearSourceArchiveBit", VT::Bool, QV_T(ClearSourceArchiveBit)},
    {"\\Versions", "VersionsKeep", VT::Bool, QV_T(VersionsKeep)},
    {"\\Versions", "VersionsFolder", VT::Str, QV_T(VersionsFolder)},
    {"\\Versions", "VersionsFilesNum", VT::Int, QV_T(VersionsFilesNum)},
    {"\\Obsolete", "DeleteKind", VT::Enum, QV_T(DeleteKind), 0, archiveDeleteKindIdentifiers},
    {"\\Obsolete", "ArchiveFolder", VT::Str, QV_T(ArchiveFolder)},
    {"\\Obsolete", "KeepDeletedFilesNum", VT::Int, QV_T(KeepDeletedFilesNum)},
    {"\\RunPrograms", "UseDefault", VT::Bool, QV_T(RunPrograms.UseDefault), 1},
    {"\\RunPrograms", "Before", VT::Bool, QV_T(RunPrograms.Before)},
    {"\\RunPrograms", "BeforeProgramName", VT::Str, QV_T(RunPrograms.BeforeProgramName)},
    {"\\RunPrograms", "BeforeWaitProgram", VT::Bool, QV_T(RunPrograms.BeforeWaitProgram)},
    {"\\RunPrograms", "After", VT::Bool, QV_T(RunPrograms.After)},
    {"\\RunPrograms", "AfterProgramName", VT::Str, QV_T(RunPrograms.AfterProgramName)},
    {"\\RunPrograms", "AfterWaitProgram", VT::Bool, QV_T(RunPrograms.AfterWaitProgram)},
    {"\\Dial", "UseDefault", VT::Bool, QV_T(Dial.UseDefault), 1},
    {"\\Dial", "DialEntry", VT::Str, QV_T(Dial.DialEntry)},
    {"\\Dial", "DisconnectAfter", VT::Bool, QV_T(Dial.DisconnectAfter)},
    {"\\HardwareProfile", "UseDefault", VT::Bool, QV_T(HardwareProfile.UseDefault), 1},
    {"\\HardwareProfile", "SkipList", VT::Str, QV_T(HardwareProfile.SkipList)},
    {"\\Bandwidth", "UseDefault", VT::Bool, QV_T(Bandwidth.UseDefault), 1},
    {"\\Bandwidth", "Use", VT::Bool, QV_T(Bandwidth.Use)},
    {"\\Bandwidth", "Value", VT::Int, QV_T(Bandwidth.Value)},
    {"\\Bandwidth", "MeasureKind", VT::Enum, QV_T(Bandwidth.MeasureKind), 0, bandwidthMeasureIdentifiers},
    {"\\Protection", "UseDefault", VT::Bool, QV_T(Protection.UseDefault), 1},
    {"\\Protection", "Password", VT::Str, QV_T(Protection.Password)},
    {"\\Protection", "Reminder", VT::Str, QV_T(Protection.Reminder)},
    {"\\Log", "UseDefault", VT::Bool, QV_T(Log.UseDefault), 1},
    {"\\Log", "Enabled", VT::Bool, QV_T(Log.Enabled)},
    {"\\Log", "FileName", VT::Str, QV_T(Log.FileName)},
    {"\\Log", "MaxSize", VT::Int, QV_T(Log.MaxSize)},
    {"\\Log", "IncludeSummary", VT::Bool, QV_T(Log.IncludeSummary)},
    {"\\Log", "IncludeFiles", VT::Bool, QV_T(Log.IncludeFiles)},
    {"\\Log", "IncludeSkipping", VT::Bool, QV_T(Log.IncludeSkipping)},
    {"\\Log", "IncludeWarnings", VT::Bool, QV_T(Log.IncludeWarnings)},
    {"\\Log", "IncludeErrors", VT::Bool, QV_T(Log.IncludeErrors)},
    {"\\EventAlerts", "UseDefault", VT::Bool, QV_T(EventAlerts.UseDefault), 1},
    // The 105 alert values follow here, from the alert table.
};

// After the alert values.
const ValueDesc<TaskDefinition> kTaskEnd[] = {
    {"\\Performance", "UseDefault", VT::Bool, QV_T(Performance.UseDefault), 1},
    {"\\Performance", "CpuPerformance", VT::Byte, QV_T(Performance.CpuPerformance)},
    {"\\PowerManagement", "UseDefault", VT::Bool, QV_T(PowerManagement.UseDefault), 1},
    {"\\PowerManagement", "DontStartOnBatteries", VT::Bool, QV_T(PowerManagement.DontStartOnBatteries)},
    {"\\PowerManagement", "WakeToRun", VT::Bool, QV_T(PowerManagement.WakeToRun)},
    {"\\PowerManagement", "BatteryMode", VT::Str, QV_T(PowerManagement.BatteryMode)},
    {"\\EmailSettings", "UseDefault", VT::Bool, QV_T(EmailSettings.UseDefault), 1},
    {"\\EmailSettings", "SmtpServer", VT::Str, QV_T(EmailSettings.SmtpServer)},
    {"\\EmailSettings", "SmtpServerPort", VT::Int, QV_T(EmailSettings.SmtpServerPort)},
    {"\\EmailSettings", "SmtpServerAuthUse", VT::Bool, QV_T(EmailSettings.SmtpServerAuthUse)},
    {"\\EmailSettings", "SmtpServerAuthUser", VT::Str, QV_T(EmailSettings.SmtpServerAuthUser)},
    {"\\EmailSettings", "SmtpServerAuthPassword", VT::Str, QV_T(EmailSettings.SmtpServerAuthPassword)},
    {"\\EmailSettings", "To", VT::Str, QV_T(EmailSettings.To)},
    {"\\EmailSettings", "From", VT::Str, QV_T(EmailSettings.From)},
    {"\\EmailSettings", "Subject", VT::Str, QV_T(EmailSettings.Subject)},
};

#define QV_I(expr) QV_F(TTaskFilterItem, expr)
const ValueDesc<TTaskFilterItem> kFilterItem[] = {
    {"", "Enabled", VT::Bool, QV_I(Enabled), 1},
    {"", "FilterType", VT::Enum, QV_I(FilterType), 0, filterTypeIdentifiers},
    {"", "FilterKind", VT::Enum, QV_I(FilterKind), 0, filterKindIdentifiers},
    {"", "fnKind", VT::Enum, QV_I(fnKind), 0, fileNameKindIdentifiers},
    {"", "fnWildcard", VT::Str, QV_I(fnWildcard)},
    {"", "fnSingleFile", VT::Str, QV_I(fnSingleFile)},
    {"", "frKind", VT::Enum, QV_I(frKind), 0, folderRuleKindIdentifiers},
    {"", "frContains", VT::Str, QV_I(frContains)},
    {"", "dtKind", VT::Enum, QV_I(dtKind), 0, filterDateTimeKindIdentifiers},
    {"", "dtSelector", VT::Enum, QV_I(dtSelector), 0, filterDateTimeSelectorIdentifiers},
    {"", "dtMonths", VT::Int, QV_I(dtMonths)},
    {"", "dtDays", VT::Int, QV_I(dtDays)},
    {"", "dtHours", VT::Int, QV_I(dtHours)},
    {"", "dtMinutes", VT::Int, QV_I(dtMinutes)},
    {"", "dtDateBetweenStart", VT::Date, QV_I(dtDateBetweenStart)},
    {"", "dtDateBetweenEnd", VT::Date, QV_I(dtDateBetweenEnd)},
    {"", "dtTimeBetweenStart", VT::Date, QV_I(dtTimeBetweenStart)},
    {"", "dtTimeBetweenEnd", VT::Date, QV_I(dtTimeBetweenEnd)},
    {"", "atReadOnly", VT::Bool, QV_I(atReadOnly)},
    {"", "atArchive", VT::Bool, QV_I(atArchive)},
    {"", "atHidden", VT::Bool, QV_I(atHidden)},
    {"", "atSystem", VT::Bool, QV_I(atSystem)},
    {"", "atCompressed", VT::Bool, QV_I(atCompressed)},
    {"", "atEncrypted", VT::Bool, QV_I(atEncrypted)},
    {"", "szKind", VT::Enum, QV_I(szKind), 0, filterSizeKindIdentifiers},
    {"", "szValue", VT::Int, QV_I(szValue)},
    {"", "szMeasure", VT::Enum, QV_I(szMeasure), 0, sizeMeasureIdentifiers},
};

#define QV_S(expr) QV_F(TTaskScheduleItem, expr)
const ValueDesc<TTaskScheduleItem> kScheduleItem[] = {
    {"", "Enabled", VT::Bool, QV_S(Enabled)},
    {"", "Kind", VT::Enum, QV_S(Kind), 0, scheduleKindIdentifiers},
    {"", "MinutellyValue", VT::Int, QV_S(MinutellyValue)},
    {"", "HourlyValue", VT::Int, QV_S(HourlyValue)},
    {"", "DailyEveryNumDays", VT::Enum, QV_S(DailyEveryNumDays), 0, dailyEveryNumDaysIdentifiers},
    {"", "DailyUseStartTime", VT::Bool, QV_S(DailyUseStartTime)},
    {"", "DailyStartTime", VT::Date, QV_S(DailyStartTime)},
    {"", "WeeklyEveryNumWeek", VT::Enum, QV_S(WeeklyEveryNumWeek), 0, weeklyEveryNumWeekIdentifiers},
    {"", "WeeklyMondays", VT::Bool, QV_S(WeeklyMondays)},
    {"", "WeeklyTuesdays", VT::Bool, QV_S(WeeklyTuesdays)},
    {"", "WeeklyWednesdays", VT::Bool, QV_S(WeeklyWednesdays)},
    {"", "WeeklyThursdays", VT::Bool, QV_S(WeeklyThursdays)},
    {"", "WeeklyFridays", VT::Bool, QV_S(WeeklyFridays)},
    {"", "WeeklySaturdays", VT::Bool, QV_S(WeeklySaturdays)},
    {"", "WeeklySundays", VT::Bool, QV_S(WeeklySundays)},
    {"", "WeeklyUseStartTime", VT::Bool, QV_S(WeeklyUseStartTime)},
    {"", "WeeklyStartTime", VT::Date, QV_S(WeeklyStartTime)},
    {"", "MonthlyKind", VT::Enum, QV_S(MonthlyKind), 0, monthlyKindIdentifiers},
    {"", "MonthlyEveryNumDay", VT::Enum, QV_S(MonthlyEveryNumDay), 0, monthlyEveryNumDayIdentifiers},
    {"", "MonthlyWhichDayType", VT::Enum, QV_S(MonthlyWhichDayType), 0, whichWeekIdentifiers},
    {"", "MonthlyWhichDayWeek", VT::Enum, QV_S(MonthlyWhichDayWeek), 0, weekDayIdentifiers},
    {"", "MonthlyJanuary", VT::Bool, QV_S(MonthlyJanuary)},
    {"", "MonthlyFebruary", VT::Bool, QV_S(MonthlyFebruary)},
    {"", "MonthlyMarch", VT::Bool, QV_S(MonthlyMarch)},
    {"", "MonthlyApril", VT::Bool, QV_S(MonthlyApril)},
    {"", "MonthlyMay", VT::Bool, QV_S(MonthlyMay)},
    {"", "MonthlyJune", VT::Bool, QV_S(MonthlyJune)},
    {"", "MonthlyJuly", VT::Bool, QV_S(MonthlyJuly)},
    {"", "MonthlyAugust", VT::Bool, QV_S(MonthlyAugust)},
    {"", "MonthlySeptember", VT::Bool, QV_S(MonthlySeptember)},
    {"", "MonthlyOctober", VT::Bool, QV_S(MonthlyOctober)},
    {"", "MonthlyNovember", VT::Bool, QV_S(MonthlyNovember)},
    {"", "MonthlyDecember", VT::Bool, QV_S(MonthlyDecember)},
    {"", "MonthlyUseStartTime", VT::Bool, QV_S(MonthlyUseStartTime)},
    {"", "MonthlyStartTime", VT::Date, QV_S(MonthlyStartTime)},
    {"", "AtSystemStartupWait", VT::Bool, QV_S(AtSystemStartupWait)},
    {"", "AtSystemStartupWaitSecValue", VT::Int, QV_S(AtSystemStartupWaitSecValue)},
    {"", "AtProgramStartupWait", VT::Bool, QV_S(AtProgramStartupWait)},
    {"", "AtProgramStartupWaitSecValue", VT::Int, QV_S(AtProgramStartupWaitSecValue)},
    {"", "SystemShutdownLimitExecTime", VT::Bool, QV_S(SystemShutdownLimitExecTime)},
    {"", "SystemShutdownMaxSec", VT::Int, QV_S(SystemShutdownMaxSec)},
    {"", "OnceRunDate", VT::Date, QV_S(OnceRunDate)},
    {"", "OnceUseStartTime", VT::Bool, QV_S(OnceUseStartTime)},
    {"", "OnceStartTime", VT::Date, QV_S(OnceStartTime)},
};

// Opens the subkey of `base` that a row names, creating it when writing; keeps it open while the
// following rows name the same subkey.
class KeyCursor
{
public:
    KeyCursor(TSafeRegistry &reg, const std::string &base, bool write)
        : m_reg(reg), m_base(base), m_write(write)
    {
    }

    void at(const char *subkey)
    {
        if (m_open && m_current == subkey) {
            return;
        }
        m_current = subkey;
        m_open = true;
        const std::string path = m_base + subkey;
        if (m_write) {
            m_reg.OpenKey(path, true);
        } else if (!m_reg.OpenKeyReadOnly(path)) {
            m_reg.CloseKey(); // every read then gives its default
        }
    }
    void reset() { m_open = false; }

private:
    TSafeRegistry &m_reg;
    std::string m_base;
    bool m_write;
    bool m_open = false;
    std::string m_current;
};

template <class Obj>
void writeValues(TSafeRegistry &reg, KeyCursor &cursor, Obj &obj, std::span<const ValueDesc<Obj>> rows)
{
    for (const auto &row : rows) {
        cursor.at(row.subkey);
        void *f = row.field(obj);
        switch (row.type) {
        case VT::Str:
            reg.WriteString(row.name, *static_cast<std::string *>(f));
            break;
        case VT::Bool:
            reg.WriteBool(row.name, *static_cast<bool *>(f));
            break;
        case VT::Int:
        case VT::IntKeep:
            reg.WriteInteger(row.name, *static_cast<std::int32_t *>(f));
            break;
        case VT::Date:
            reg.WriteDateTime(row.name, *static_cast<TDateTime *>(f));
            break;
        case VT::Byte:
            reg.WriteBinaryData(row.name, f, 1);
            break;
        case VT::Word: {
            const auto v = *static_cast<std::uint16_t *>(f);
            const unsigned char bytes[2] = {static_cast<unsigned char>(v & 0xFF),
                                            static_cast<unsigned char>(v >> 8)};
            reg.WriteBinaryData(row.name, bytes, 2);
            break;
        }
        case VT::Enum: {
            const auto ids = row.ids();
            const auto v = *static_cast<std::uint8_t *>(f);
            reg.WriteString(row.name, v < ids.size() ? std::string(ids[v]) : std::string(ids.back()));
            break;
        }
        }
    }
}

template <class Obj>
void readValues(TSafeRegistry &reg, KeyCursor &cursor, Obj &obj, std::span<const ValueDesc<Obj>> rows)
{
    for (const auto &row : rows) {
        cursor.at(row.subkey);
        void *f = row.field(obj);
        switch (row.type) {
        case VT::Str:
            *static_cast<std::string *>(f) = reg.ReadString(row.name, std::string());
            break;
        case VT::Bool:
            *static_cast<bool *>(f) = reg.ReadBool(row.name, row.absent != 0);
            break;
        case VT::Int:
            *static_cast<std::int32_t *>(f) =
                reg.ReadInteger(row.name, static_cast<std::int32_t>(row.absent));
            break;
        case VT::IntKeep: {
            auto *p = static_cast<std::int32_t *>(f);
            *p = reg.ReadInteger(row.name, *p);
            break;
        }
        case VT::Date:
            *static_cast<TDateTime *>(f) = reg.ReadDateTime(row.name, 0);
            break;
        case VT::Byte: {
            unsigned char b = 0;
            if (reg.ReadBinaryData(row.name, &b, 1) == 1) {
                *static_cast<std::uint8_t *>(f) = b;
            }
            break;
        }
        case VT::Word: {
            unsigned char bytes[2] = {0, 0};
            if (reg.ReadBinaryData(row.name, bytes, 2) == 2) {
                *static_cast<std::uint16_t *>(f) = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
            }
            break;
        }
        case VT::Enum:
            *static_cast<std::uint8_t *>(f) = static_cast<std::uint8_t>(
                identifierIndexOrLast(row.ids(), reg.ReadString(row.name, std::string())));
            break;
        }
    }
}

void writeAlerts(TSafeRegistry &reg, const TTaskEventAlerts &alerts)
{
    for (const auto &row : taskAlertTable()) {
        if (row.isString()) {
            reg.WriteString(row.name, alerts.*(row.stringField));
        } else {
            reg.WriteBool(row.name, alerts.*(row.boolField));
        }
    }
}

void readAlerts(TSafeRegistry &reg, TTaskEventAlerts &alerts)
{
    for (const auto &row : taskAlertTable()) {
        if (row.isString()) {
            alerts.*(row.stringField) = reg.ReadString(row.name, std::string());
        } else {
            alerts.*(row.boolField) = reg.ReadBool(row.name, row.absentDefault);
        }
    }
}

// Rewrites the numbered item subkeys of `listKey`: every old one goes, then 1..n.
template <class Item, class Save>
void writeItemList(TSafeRegistry &reg, const std::string &listKey, const std::vector<Item> &items, Save save)
{
    if (reg.OpenKey(listKey, true)) {
        for (const std::string &name : reg.GetKeyNames()) {
            reg.DeleteKey(name);
        }
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        save(items[i], listKey + "\\" + std::to_string(i + 1));
    }
}

template <class Item>
void readItemList(TSafeRegistry &reg, const std::string &listKey, std::vector<Item> &items)
{
    items.clear();
    if (!reg.OpenKeyReadOnly(listKey)) {
        return;
    }
    for (const std::string &name : numericKeyOrder(reg.GetKeyNames())) {
        Item item;
        item.LoadFromRegistry(listKey + "\\" + name);
        items.push_back(std::move(item));
    }
}

std::string rootPath(const char *sub)
{
    std::string path;
    path.reserve(64);
    path.append(RegKeyRoot).append(sub);
    return path;
}

} // namespace

bool equalKeyNames(std::string_view a, std::string_view b)
{
    return regFoldName(a) == regFoldName(b);
}


std::string groupsKeyPath()
{
    return rootPath(RegKeyGroups);
}
std::string tasksKeyPath()
{
    return rootPath(RegKeyTasks);
}
std::string taskKeyPath(const std::string &id)
{
    return tasksKeyPath().append("\\").append(id);
}
std::string tempKeyPath(const std::string &name)
{
    return rootPath(RegKeyTemp).append("\\").append(name);
}

bool saveEditCopy(const std::string &name, const std::function<void(const std::string &key)> &save)
{
    try {
        RegistryStore::checkStore(RegistryStore::storePath());
        save(tempKeyPath(name));
        return true;
    } catch (const std::exception &e) {
        qCWarning(lcProgram, "%s: the undo copy was not kept: %s", name.c_str(), e.what());
        return false;
    }
}

std::vector<std::string> numericKeyOrder(std::vector<std::string> names)
{
    auto number = [](const std::string &s) -> long long {
        if (s.empty() || s.size() > 18 || s.find_first_not_of("0123456789") != std::string::npos) {
            return -1;
        }
        return std::stoll(s);
    };
    std::stable_sort(names.begin(), names.end(), [&](const std::string &a, const std::string &b) {
        const long long na = number(a);
        const long long nb = number(b);
        if (na < 0 || nb < 0) {
            return na >= 0 && nb < 0; // numbers first, the rest keeps its order
        }
        return na < nb;
    });
    return names;
}

void TTaskFilterItem::SaveToRegistry(const std::string &key) const
{
    TSafeRegistry reg;
    KeyCursor cursor(reg, key, true);
    writeValues<TTaskFilterItem>(reg, cursor, const_cast<TTaskFilterItem &>(*this), kFilterItem);
}

void TTaskFilterItem::LoadFromRegistry(const std::string &key)
{
    TSafeRegistry reg;
    KeyCursor cursor(reg, key, false);
    readValues<TTaskFilterItem>(reg, cursor, *this, kFilterItem);
}

void TTaskScheduleItem::SaveToRegistry(const std::string &key) const
{
    TSafeRegistry reg;
    KeyCursor cursor(reg, key, true);
    writeValues<TTaskScheduleItem>(reg, cursor, const_cast<TTaskScheduleItem &>(*this), kScheduleItem);
}

void TTaskScheduleItem::LoadFromRegistry(const std::string &key)
{
    TSafeRegistry reg;
    KeyCursor cursor(reg, key, false);
    readValues<TTaskScheduleItem>(reg, cursor, *this, kScheduleItem);
}

void saveTaskDefinition(const TaskDefinition &task, const TFolderMonitorSettings &monitor, const std::string &key)
{
    RegistryTransaction tx;
    TSafeRegistry reg;
    TaskDefinition &self = const_cast<TaskDefinition &>(task);
    TFolderMonitorSettings &watch = const_cast<TFolderMonitorSettings &>(monitor);
    KeyCursor cursor(reg, key, true);
    writeValues<TaskDefinition>(reg, cursor, self, std::span(kTaskHead).first(4));
    cursor.at("");
    reg.WriteString("TaskType", std::string(taskTypeIdentifiers()[task.TaskType]));
    writeValues<TaskDefinition>(reg, cursor, self, std::span(kTaskHead).subspan(4));
    writeItemList(reg, key + "\\Filters", task.Filters.Items,
                  [](const TTaskFilterItem &item, const std::string &k) { item.SaveToRegistry(k); });
    cursor.reset();
    writeValues<TFolderMonitorSettings>(reg, cursor, watch, kTaskFolderMonitor);
    writeItemList(reg, key + "\\AutoRun\\Schedule", task.Schedules.Items,
                  [](const TTaskScheduleItem &item, const std::string &k) { item.SaveToRegistry(k); });
    cursor.reset();
    writeValues<TaskDefinition>(reg, cursor, self, kTaskTail);
    writeAlerts(reg, task.EventAlerts);
    writeValues<TaskDefinition>(reg, cursor, self, kTaskEnd);
    tx.commit();
}

bool loadTaskDefinition(TaskDefinition &task, TFolderMonitorSettings &monitor, const std::string &key)
{
    TSafeRegistry reg;
    KeyCursor cursor(reg, key, false);
    readValues<TaskDefinition>(reg, cursor, task, std::span(kTaskHead).first(4));
    cursor.at("");
    const int type = identifierIndex(taskTypeIdentifiers(), reg.ReadString("TaskType", std::string()));
    if (type >= 0) {
        task.TaskType = static_cast<TTaskType>(type);
    }
    readValues<TaskDefinition>(reg, cursor, task, std::span(kTaskHead).subspan(4));
    readItemList(reg, key + "\\Filters", task.Filters.Items);
    cursor.reset();
    readValues<TFolderMonitorSettings>(reg, cursor, monitor, kTaskFolderMonitor);
    readItemList(reg, key + "\\AutoRun\\Schedule", task.Schedules.Items);
    cursor.reset();
    readValues<TaskDefinition>(reg, cursor, task, kTaskTail);
    readAlerts(reg, task.EventAlerts);
    readValues<TaskDefinition>(reg, cursor, task, kTaskEnd);
    return type >= 0;
}

} // namespace qv
