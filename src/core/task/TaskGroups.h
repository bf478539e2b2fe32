// The ten settings groups of a task, each with its UseDefault flag.
//
// While a group's UseDefault is set, the task follows the program-wide value of each setting
// ("\Tasks Defaults"); the task's getters (TTask::GetLogEnabled and the rest) make that choice, so
// code reads settings through them, never through these fields. A new task holds the values below,
// which are not always the program-wide defaults (BeforeWaitProgram is true here).
#pragma once

#include "core/task/TaskAlertTable.h"
#include "core/task/TaskTypes.h"

#include <cstdint>
#include <string>

namespace qv {

struct TTaskRunPrograms
{
    bool UseDefault = true;
    bool Before = false;
    std::string BeforeProgramName;
    bool BeforeWaitProgram = true;
    bool After = false;
    std::string AfterProgramName;
    bool AfterWaitProgram = true;
    bool operator==(const TTaskRunPrograms &) const = default;
};

struct TTaskDial
{
    bool UseDefault = true;
    std::string DialEntry;
    bool DisconnectAfter = true;
    bool operator==(const TTaskDial &) const = default;
};

struct TTaskHardwareProfile
{
    bool UseDefault = true;
    std::string SkipList;
    bool operator==(const TTaskHardwareProfile &) const = default;
};

struct TTaskBandwidth
{
    bool UseDefault = true;
    bool Use = false;
    std::int32_t Value = 1;
    TBandwidthMeasureKind MeasureKind = bmkMBits;
    bool operator==(const TTaskBandwidth &) const = default;
};

struct TTaskProtection
{
    bool UseDefault = true;
    std::string Password; // kept as plain text, as the store keeps it
    std::string Reminder;
    bool operator==(const TTaskProtection &) const = default;
};

struct TTaskLog
{
    bool UseDefault = true;
    bool Enabled = true;
    std::string FileName = "quorvellant.log";
    std::int32_t MaxSize = 0; // KB; 0 = no limit
    bool IncludeSummary = true;
    bool IncludeFiles = true;
    bool IncludeSkipping = true;
    bool IncludeWarnings = true;
    bool IncludeErrors = true;
    bool operator==(const TTaskLog &) const = default;
};

struct TTaskEventAlerts : TEventAlertValues
{
    bool UseDefault = true;
    bool operator==(const TTaskEventAlerts &) const = default;
};

// Stored and edited; nothing at run time reads it (the thread priority is program-wide).
struct TTaskPerformance
{
    bool UseDefault = true;
    std::uint8_t CpuPerformance = 2;
    bool operator==(const TTaskPerformance &) const = default;
};

// Stored and edited; nothing at run time reads it.
struct TTaskPowerManagement
{
    bool UseDefault = true;
    bool DontStartOnBatteries = false;
    bool WakeToRun = false;
    std::string BatteryMode = "C";
    bool operator==(const TTaskPowerManagement &) const = default;
};

struct TTaskEmailSettings
{
    bool UseDefault = true;
    std::string SmtpServer;
    std::int32_t SmtpServerPort = 25;
    bool SmtpServerAuthUse = false;
    std::string SmtpServerAuthUser;
    std::string SmtpServerAuthPassword;
    std::string To;
    std::string From;
    std::string Subject = "Automatic Backup Notification";
    bool operator==(const TTaskEmailSettings &) const = default;
};

} // namespace qv
