// TaskSettings: every stored setting of a task as a plain value that can be copied and compared.
//
// A task itself cannot be copied (it owns its ID, timer, folder watches and logger), yet the task
// properties dialog must edit a draft and commit or drop it whole. So the task holds its stored
// settings by deriving from TaskSettingsFields: a field added there is part of the draft at once,
// and a stored field added to TTask itself would be outside the draft by design, visibly so. The
// folder monitor's settings live in the monitor; the draft carries a copy of them. Identity (ID),
// Created, LastRun and the run state are not settings and stay with the task.
#pragma once

#include "core/task/FolderMonitorSettings.h"
#include "core/task/TaskScheduleItem.h"
#include "core/task/Filters.h"
#include "core/task/TaskGroups.h"
#include "core/task/TaskTypes.h"

#include <cstdint>
#include <string>

namespace qv {

// The settings a task holds as its own fields (TTask derives from this).
struct TaskSettingsFields
{
    // Identity and what to copy.
    std::string Name;
    std::uint16_t HotKey = 0; // virtual key in the low byte; Shift 0x2000, Ctrl 0x4000, Alt 0x8000
    bool HotKeyBringToFront = false;
    TTaskType TaskType = ttSimpleCopy;
    std::string Source; // one folder, or "!" + comma text of ">folder" / "|folder" items
    bool SourceIncludeSubfolders = true;
    std::uint8_t DestType = kDestLocal;
    std::string DestLocal;
    TFtpServerConnection DestFTP;
    TTaskFiltersList Filters;
    TQuorvellantScheduleList Schedules;
    bool CompressUse = false;
    std::string CompressFilename;
    std::string CompressPassword;
    std::int32_t CompressLevel = 7;
    std::string BelongToGroup;
    std::string SourceVolLabel;
    std::string SourceSerialNum;
    std::string DestinationVolLabel;
    std::string DestinationSerialNum;

    // Copy options.
    bool BackupOverwriteNeverDestination = false;
    bool BackupSynchronizeFileDeletions = false;
    bool BackupCopyInUseFiles = false;
    bool BackupCompareAfterCopy = false;
    bool KeepStructureFromRoot = false;
    bool CopyIfSourceLengthIsZero = false;
    bool OptionsDontSkipIfDateEqButSrcBiggerDst = true;
    bool ClearSourceArchiveBit = false;
    bool VersionsKeep = false;
    std::string VersionsFolder = "%destination%File Versions Archive";
    std::int32_t VersionsFilesNum = 0;
    TArchiveDeleteKind DeleteKind = adkRecycle;
    std::string ArchiveFolder = "%destination%Deleted Files Archive";
    std::int32_t KeepDeletedFilesNum = 0;

    // The settings groups.
    TTaskRunPrograms RunPrograms;
    TTaskDial Dial;
    TTaskHardwareProfile HardwareProfile;
    TTaskBandwidth Bandwidth;
    TTaskProtection Protection;
    TTaskLog Log;
    TTaskEventAlerts EventAlerts;
    TTaskPerformance Performance;
    TTaskPowerManagement PowerManagement;
    TTaskEmailSettings EmailSettings;

    bool operator==(const TaskSettingsFields &) const = default;
};

// The draft: the task's own settings plus its folder monitor's.
struct TaskSettings : TaskSettingsFields
{
    TFolderMonitorSettings FolderMonitor;
    bool operator==(const TaskSettings &) const = default;
};

} // namespace qv
