// TEMPORARY SEAMS of the task model towards pieces that land separately.
//
// Each function here stands for a service another part of the core provides (language texts, the
// safe formatter, the program-wide task defaults, the folder monitor). Until that part is in the
// tree the seam does the simplest correct thing; once it is, the seam forwards to it. Nothing
// outside the task model includes this file.
#pragma once

#include "core/TaskAlertTable.h"
#include "core/TaskTypes.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace qv {
class TTask;
}

namespace qv::seams {

// The localised text of `key`, or the English default.
std::string langString(const char *key, const char *englishDefault);

// printf-style "%s" and "%d" replaced by the arguments in order ("%%" is "%"); a missing argument
// leaves an empty text, surplus ones are ignored.
std::string formatText(std::string_view format, std::initializer_list<std::string_view> args);


// True when `folder` names an existing folder (nothing is created).
bool folderExists(const std::string &folder);



// The program-wide "\Tasks Defaults" values that the task getters fall back to.
struct ProgramTaskDefaults {
    bool RunBefore = false;
    std::string RunBeforeProgramName;
    bool RunBeforeWaitProgram = false;
    bool RunAfter = false;
    std::string RunAfterProgramName;
    bool RunAfterWaitProgram = false;
    std::string DialEntry;
    bool DialDisconnectAfter = false;
    std::string HardwareSkipList;
    bool BandwidthUse = false;
    std::int32_t BandwidthValue = 1;
    std::string BandwidthMeasure = "MBits";
    std::string Password;
    std::string PasswordReminder;
    bool LogEnabled = true;
    std::string LogFileName = "quorvellant.log";
    std::int32_t LogMaxSize = 0;
    bool LogIncludeSummary = true;
    bool LogIncludeFiles = true;
    bool LogIncludeSkipping = true;
    bool LogIncludeWarnings = true;
    bool LogIncludeErrors = true;
#define QV_DECLARE_PROGRAM_ALERT(M, E, I, T, NEW, ABS, PROG) T Events##M##E##I = PROG;
    QV_TASK_ALERTS(QV_DECLARE_PROGRAM_ALERT)
#undef QV_DECLARE_PROGRAM_ALERT
    std::string EmailSmtpServer;
    std::int32_t EmailSmtpServerPort = 25;
    bool EmailSmtpServerAuthUse = false;
    std::string EmailSmtpServerAuthUser;
    std::string EmailSmtpServerAuthPassword;
    std::string EmailFrom;
    std::string EmailSubject;
};
ProgramTaskDefaults &programTaskDefaults();

// The program-wide silent flag ("/SILENT=ON").
bool silentMode();

} // namespace qv::seams

// How the getters name a program-wide value.
#define QV_PROGRAM_DEFAULT(name) (::qv::seams::programTaskDefaults().name)
