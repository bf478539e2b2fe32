// Folder core/settings: the program-wide settings, their storage through the safe registry, and
// the day-count dates the store keeps. The bottom of the core: it includes no other core folder,
// only the platform layer (registry) and the standard library.
//
// The program-wide settings: one global per stored value, named after it, filled by LoadSettings
// and written back by SaveSettings.
//
// One table (QV_PROGRAM_SETTINGS below) lists every value in the order it is read and written,
// with its key, type and default; the globals, the load, the save and the tests all walk it, so a
// value cannot be declared in one place and forgotten in another. The values below "\Tasks
// Defaults" are what a task uses for a settings group whose UseDefault flag is set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// Key names: every path is RegKeyRoot followed by one of the others.
inline constexpr const char *RegKeyRoot = "\\Software\\Tavimundrelo\\Quorvellant";
inline constexpr const char *RegKeyMain = "\\Main";
inline constexpr const char *RegKeyConfiguration = "\\Configuration";
inline constexpr const char *RegKeyGlobalPerformance = "\\Global Performance";
inline constexpr const char *RegKeyLogDisplay = "\\Log Display";
inline constexpr const char *RegKeyStartupAndShutdown = "\\Startup and Shutdown";
inline constexpr const char *RegKeyInterfaceLanguage = "\\Interface Language";
inline constexpr const char *RegKeyTasksDefaults = "\\Tasks Defaults";
inline constexpr const char *RegKeyEvents = "\\Events";
inline constexpr const char *RegKeyGroups = "\\Groups";
inline constexpr const char *RegKeyTasks = "\\Tasks";
inline constexpr const char *RegKeyTemp = "\\Temp";

// How a setting is stored: Bool and Integer as REG_DWORD, String as REG_SZ, Byte/Word/Color as a
// REG_BINARY of 1, 2 or 4 little-endian bytes.
enum class SettingKind { Bool, Integer, String, Byte, Word, Color };

using TColor = std::uint32_t; // 0x00BBGGRR, or 0xFF000000 + a system colour index

// QV_ALERT_*: the 105 event-alert values of "\Tasks Defaults", mode by mode, event by event, item
// by item. Dialog and Balloon defaults differ per mode and event; every EmailSendLog is true.
#define QV_ALERT_EVENT6(X, M, E, DLG, BAL)                                                         \
    X(RegKeyTasksDefaults, Events##M##E##Dialog, Bool, bool, DLG)                                  \
    X(RegKeyTasksDefaults, Events##M##E##Balloon, Bool, bool, BAL)                                 \
    X(RegKeyTasksDefaults, Events##M##E##Sound, Bool, bool, false)                                 \
    X(RegKeyTasksDefaults, Events##M##E##SoundFile, String, std::string, "")                       \
    X(RegKeyTasksDefaults, Events##M##E##EmailUse, Bool, bool, false)                              \
    X(RegKeyTasksDefaults, Events##M##E##Email, String, std::string, "")
#define QV_ALERT_EVENT4(X, M, E, DLG, BAL)                                                         \
    X(RegKeyTasksDefaults, Events##M##E##Dialog, Bool, bool, DLG)                                  \
    X(RegKeyTasksDefaults, Events##M##E##Balloon, Bool, bool, BAL)                                 \
    X(RegKeyTasksDefaults, Events##M##E##Sound, Bool, bool, false)                                 \
    X(RegKeyTasksDefaults, Events##M##E##SoundFile, String, std::string, "")
#define QV_ALERT_EVENT7(X, M, E, DLG, BAL)                                                         \
    QV_ALERT_EVENT6(X, M, E, DLG, BAL)                                                             \
    X(RegKeyTasksDefaults, Events##M##E##EmailSendLog, Bool, bool, true)
#define QV_ALERT_MODE(X, M, START_D, START_B, ERR_D, ERR_B, WARN_D, WARN_B, FIN_D, FIN_B)          \
    QV_ALERT_EVENT6(X, M, Start, START_D, START_B)                                                 \
    QV_ALERT_EVENT4(X, M, File, false, false)                                                      \
    QV_ALERT_EVENT6(X, M, DiskSpan, true, true)                                                    \
    QV_ALERT_EVENT6(X, M, Error, ERR_D, ERR_B)                                                     \
    QV_ALERT_EVENT6(X, M, Warning, WARN_D, WARN_B)                                                 \
    QV_ALERT_EVENT7(X, M, Finish, FIN_D, FIN_B)
#define QV_ALERT_SETTINGS(X)                                                                       \
    QV_ALERT_MODE(X, Scheduled, false, true, false, true, false, true, false, true)                \
    QV_ALERT_MODE(X, Manual, false, false, false, true, false, true, false, true)                  \
    QV_ALERT_MODE(X, Silent, false, false, false, false, false, false, false, false)

// X(key, name, kind, C++ type, default), in the stored order.
#define QV_PROGRAM_SETTINGS(X)                                                                               \
    X(RegKeyMain, ViewStyle, Byte, std::uint8_t, 3)                                                          \
    X(RegKeyMain, SortColumn, Integer, std::int32_t, 0)                                                      \
    X(RegKeyMain, SortOrderAZ, Bool, bool, true)                                                             \
    X(RegKeyMain, CurrentGroup, String, std::string, "All Tasks")                                            \
    X(RegKeyMain, CurrentProject, String, std::string, "")                                                   \
    X(RegKeyMain, Suspend, Bool, bool, false)                                                                \
    X(RegKeyMain, DisableScheduler, Bool, bool, false)                                                       \
    X(RegKeyMain, LastTip, Integer, std::int32_t, 0)                                                         \
    X(RegKeyMain, FirstStart, Bool, bool, true)                                                              \
    X(RegKeyMain, ViewSizeName, Integer, std::int32_t, 130)                                                  \
    X(RegKeyMain, ViewSizeType, Integer, std::int32_t, 90)                                                   \
    X(RegKeyMain, ViewSizeLastRun, Integer, std::int32_t, 120)                                               \
    X(RegKeyMain, ViewSizeNextRun, Integer, std::int32_t, 120)                                               \
    X(RegKeyMain, ViewSizeSource, Integer, std::int32_t, 250)                                                \
    X(RegKeyMain, ViewSizeDestination, Integer, std::int32_t, 250)                                           \
    X(RegKeyStartupAndShutdown, StartupRunMinimized, Bool, bool, true)                                       \
    X(RegKeyStartupAndShutdown, StartupHideTrayIcon, Bool, bool, false)                                      \
    X(RegKeyStartupAndShutdown, StartupShutDownAtClose, Bool, bool, false)                                   \
    X(RegKeyStartupAndShutdown, StartupConfirmShutdown, Bool, bool, true)                                    \
    X(RegKeyStartupAndShutdown, StartupHotKeyUse, Bool, bool, false)                                         \
    X(RegKeyStartupAndShutdown, StartupHotKey, Word, std::uint16_t, 0)                                       \
    X(RegKeyStartupAndShutdown, StartupShowSplash, Bool, bool, true)                                         \
    X(RegKeyGlobalPerformance, DisallowSimultaneousBackup, Bool, bool, false)                                \
    X(RegKeyLogDisplay, LogSummaryColorBg, Color, TColor, 0x00E6CCCCu)                                       \
    X(RegKeyLogDisplay, LogSummaryColorFg, Color, TColor, 0x00000000u)                                       \
    X(RegKeyLogDisplay, LogFilesColorBg, Color, TColor, 0xFF000005u)                                         \
    X(RegKeyLogDisplay, LogFilesColorFg, Color, TColor, 0xFF000008u)                                         \
    X(RegKeyLogDisplay, LogSkippingColorBg, Color, TColor, 0x00BFFFFFu)                                      \
    X(RegKeyLogDisplay, LogSkippingColorFg, Color, TColor, 0x00000000u)                                      \
    X(RegKeyLogDisplay, LogWarningsColorBg, Color, TColor, 0x00CACAFFu)                                      \
    X(RegKeyLogDisplay, LogWarningsColorFg, Color, TColor, 0x00000000u)                                      \
    X(RegKeyLogDisplay, LogErrorsColorBg, Color, TColor, 0x007575FFu)                                        \
    X(RegKeyLogDisplay, LogErrorsColorFg, Color, TColor, 0x00000000u)                                        \
    X(RegKeyLogDisplay, LogFontSize, Integer, std::int32_t, 9)                                               \
    X(RegKeyLogDisplay, LogFontName, String, std::string, "")                                                \
    X(RegKeyLogDisplay, LogViewSizeNum, Integer, std::int32_t, 50)                                           \
    X(RegKeyLogDisplay, LogViewSizeDate, Integer, std::int32_t, 80)                                          \
    X(RegKeyLogDisplay, LogViewSizeTime, Integer, std::int32_t, 80)                                          \
    X(RegKeyLogDisplay, LogViewSizeEvent, Integer, std::int32_t, 440)                                        \
    X(RegKeyInterfaceLanguage, Language, String, std::string, "")                                            \
    X(RegKeyTasksDefaults, RunBefore, Bool, bool, false)                                                     \
    X(RegKeyTasksDefaults, RunBeforeProgramName, String, std::string, "")                                    \
    X(RegKeyTasksDefaults, RunBeforeWaitProgram, Bool, bool, false)                                          \
    X(RegKeyTasksDefaults, RunAfter, Bool, bool, false)                                                      \
    X(RegKeyTasksDefaults, RunAfterProgramName, String, std::string, "")                                     \
    X(RegKeyTasksDefaults, RunAfterWaitProgram, Bool, bool, false)                                           \
    X(RegKeyTasksDefaults, DialEntry, String, std::string, "")                                               \
    X(RegKeyTasksDefaults, DialDisconnectAfter, Bool, bool, false)                                           \
    X(RegKeyTasksDefaults, HardwareSkipList, String, std::string, "")                                        \
    X(RegKeyTasksDefaults, BandwidthUse, Bool, bool, false)                                                  \
    X(RegKeyTasksDefaults, BandwidthValue, Integer, std::int32_t, 1)                                         \
    X(RegKeyTasksDefaults, BandwidthMeasure, String, std::string, "MBits")                                   \
    X(RegKeyTasksDefaults, Password, String, std::string, "")                                                \
    X(RegKeyTasksDefaults, PasswordReminder, String, std::string, "")                                        \
    X(RegKeyTasksDefaults, LogEnabled, Bool, bool, true)                                                     \
    X(RegKeyTasksDefaults, LogFileName, String, std::string, "quorvellant.log")                              \
    X(RegKeyTasksDefaults, LogMaxSize, Integer, std::int32_t, 0)                                             \
    X(RegKeyTasksDefaults, LogIncludeSummary, Bool, bool, true)                                              \
    X(RegKeyTasksDefaults, LogIncludeFiles, Bool, bool, true)                                                \
    X(RegKeyTasksDefaults, LogIncludeSkipping, Bool, bool, true)                                             \
    X(RegKeyTasksDefaults, LogIncludeWarnings, Bool, bool, true)                                             \
    X(RegKeyTasksDefaults, LogIncludeErrors, Bool, bool, true)                                               \
    QV_ALERT_SETTINGS(X)                                                                                     \
    X(RegKeyTasksDefaults, CpuPerformance, Byte, std::uint8_t, 2)                                            \
    X(RegKeyTasksDefaults, PowerDontStartOnBatteries, Bool, bool, false)                                     \
    X(RegKeyTasksDefaults, PowerWakeToRun, Bool, bool, false)                                                \
    X(RegKeyTasksDefaults, PowerBatteryMode, String, std::string, "C")                                       \
    X(RegKeyTasksDefaults, EmailSmtpServer, String, std::string, "")                                         \
    X(RegKeyTasksDefaults, EmailSmtpServerPort, Integer, std::int32_t, 25)                                   \
    X(RegKeyTasksDefaults, EmailSmtpServerAuthUse, Bool, bool, false)                                        \
    X(RegKeyTasksDefaults, EmailSmtpServerAuthUser, String, std::string, "")                                 \
    X(RegKeyTasksDefaults, EmailSmtpServerAuthPassword, String, std::string, "")                             \
    X(RegKeyTasksDefaults, EmailTo, String, std::string, "")                                                 \
    X(RegKeyTasksDefaults, EmailFrom, String, std::string, "")                                               \
    X(RegKeyTasksDefaults, EmailSubject, String, std::string, "")

// The globals themselves: qv::ViewStyle, qv::LogFileName, qv::EventsManualErrorEmail, ...
// They belong to the main thread; a run reads them through its snapshot.
#define QV_DECLARE_SETTING(KEY, NAME, KIND, TYPE, DEF) extern TYPE NAME;
QV_PROGRAM_SETTINGS(QV_DECLARE_SETTING)
#undef QV_DECLARE_SETTING

// One row of the table, for code that walks every setting (load, save, tests, the options page).
struct SettingInfo {
    const char *key;  // one of the RegKey... names
    const char *name; // value name = variable name
    SettingKind kind;
    void *variable;   // bool, std::int32_t, std::string, std::uint8_t, std::uint16_t or TColor
    // The default: `text` for strings, `number` for everything else.
    std::int64_t number;
    const char *text;
};
const std::vector<SettingInfo> &programSettings();

// Every global back to its default.
void ResetSettingsToDefaults();
// Sets every global from the store; a missing value, a missing key or a value of the wrong type or
// size gives the default. Stored numbers are taken unchanged (see the checked accessors below).
void LoadSettings();
// Writes every global, creating the keys, as one save: raises RegistryError when the save could
// not be made durable (the store then keeps its previous contents).
void SaveSettings();

// Store-level readers of one value (each opens the key without creating it).
int RegReadBinary(const std::string &key, const std::string &name, void *buffer, int size);
std::int32_t RegReadInteger(const std::string &key, const std::string &name, std::int32_t defaultValue);
bool RegReadBool(const std::string &key, const std::string &name, bool defaultValue);
std::string RegReadString(const std::string &key, const std::string &name, const std::string &defaultValue);

// Values used as an index, checked where they are used: out of range acts as the default.
int checkedViewStyle();      // 0 icons, 1 small icons, 2 list, 3 report
int checkedSortColumn();     // 0..5
int checkedCpuPerformance(); // 0 idle .. 6 time-critical

} // namespace qv
