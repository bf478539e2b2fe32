// The help topics the program opens. Every topic here has a page under resources/help.
#pragma once

namespace qv::HelpTopics {

inline constexpr const char *kContents = "/files/contents.html";
inline constexpr const char *kQuickStart = "/files/quickstart.html";
inline constexpr const char *kTaskList = "/files/tasklist.html";
inline constexpr const char *kTaskGroups = "/files/taskgroups.html";
inline constexpr const char *kTaskProperties = "/files/taskproperties.html";
inline constexpr const char *kTaskName = "/files/task.name.html";
inline constexpr const char *kTaskBackupType = "/files/task.backuptype.html";
inline constexpr const char *kTaskSource = "/files/task.source.html";
inline constexpr const char *kTaskDestination = "/files/task.destination.html";
inline constexpr const char *kTaskFileFilter = "/files/task.filefilter.html";
inline constexpr const char *kTaskSchedule = "/files/task.schedule.html";
inline constexpr const char *kTaskSystemTimer = "/files/task.systemtimer.html";
inline constexpr const char *kTaskAdditionalOptions = "/files/task.additionaloptions.html";
inline constexpr const char *kFileFilter = "/files/filefilter.html";
inline constexpr const char *kScheduleProp = "/files/scheduleprop.html";
inline constexpr const char *kPreferences = "/files/preferences.html";
inline constexpr const char *kPreferencesStartup = "/files/preferences.startup.html";
inline constexpr const char *kPreferencesProtection = "/files/preferences.protection.html";
inline constexpr const char *kPreferencesLanguage = "/files/preferences.language.html";
inline constexpr const char *kShortcut = "/files/shortcut.html";
inline constexpr const char *kCommandLineOptions = "/files/commandlineoptions.html";
inline constexpr const char *kAbout = "/files/about.html";

inline constexpr const char *kAll[] = {
    kContents,        kQuickStart,           kTaskList,          kTaskGroups,         kTaskProperties,
    kTaskName,        kTaskBackupType,       kTaskSource,        kTaskDestination,    kTaskFileFilter,
    kTaskSchedule,    kTaskSystemTimer,      kTaskAdditionalOptions, kFileFilter,       kScheduleProp,       kPreferences,
    kPreferencesStartup, kPreferencesProtection, kPreferencesLanguage, kShortcut,   kCommandLineOptions,
    kAbout,
};

} // namespace qv::HelpTopics
