// Folder core/util: the shared utilities and file helpers whose names the program's parts use
// (ShellOpen, ExecuteProgram, GetFileCRC32, MatchesMaskList, CopyFileThrottled, ...), the mask
// matcher, and the product's name. Thin faces over the platform layer where a system call is
// needed. May include core/settings, core/text and the platform layer; no task or run folder.
//
// Shared utilities of the task core and the windows: start with the session, program and work
// folders, opening documents, running programs, file CRC-32, version strings, the command-line
// tokenizer, computer and user names, sounds, mask lists, hardware profiles and hot-key shortcuts.
#pragma once

#include "core/util/Wildcard.h"
#include "platform/HotKeys.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

// ---- Start with the desktop session -----------------------------------------------------------

// Writes the autostart entry that starts this program with "/SYSTEMSTARTUP". Throws
// std::runtime_error when it cannot be written.
void RegisterAutoStart();
bool IsAutoStartRegistered();
// Removes the entry. Throws std::runtime_error when it cannot be removed.
void UnregisterAutoStart();

// ---- Folders ----------------------------------------------------------------------------------

// Full path of the running program.
std::string GetExePath();
// Folder of the running program, ending in "/".
std::string GetExeFolder();
// The program's own writable data folder ($XDG_DATA_HOME/quorvellant/), created when missing.
std::string GetDataFolder();
// Creates a new private folder (0700) "~Quorvellant-<tick count>/" below `parent` (the temporary
// folder when empty) and returns it, ending in "/". An existing folder is never reused. Throws
// std::runtime_error when no folder can be created.
std::string GetTempWorkFolder(const std::string &parent = {});

// ---- Documents and programs -------------------------------------------------------------------

// Opens `fileName` (a file, folder or address) with the user's application; with `parameters`,
// starts `fileName` as a program with them. Main thread only. On failure the error handler is told
// (the windows show "Unable to execute external program %s.") and the result is false. An opener
// that starts and then fails (xdg-open finds no application) tells the handler later, from the
// event loop; the result was true then.
bool ShellOpen(const std::string &fileName, const std::string &parameters);
// Receives the file name that ShellOpen could not open; nullptr restores the default (a warning on
// standard error).
void SetShellOpenErrorHandler(std::function<void(const std::string &fileName)> handler);

// Runs `commandLine` as the user typed it: directly when it needs no shell, else with the shell
// (`hidden` has no meaning here). With `wait`, blocks until the program ends or `stop` is raised
// (which ends the wait, not the program). True when the program was started; a program the shell
// could not find or execute counts as not started.
bool ExecuteProgram(const std::string &commandLine, bool hidden, bool wait, const std::atomic<bool> *stop = nullptr);

// ---- File CRC-32 ------------------------------------------------------------------------------

// CRC-32 (the zip format's) of the file's bytes. Returns true when the file was read to its end;
// a file that cannot be opened or read gives false and `crc` 0 (an empty file gives true and 0).
bool GetFileCRC32(const std::string &fileName, std::uint32_t &crc);

// ---- Version strings --------------------------------------------------------------------------

extern std::string VersionFileDescription;
extern std::string VersionFileVersion;
extern std::string VersionCompanyName;
extern std::string VersionLegalCopyright;
extern std::string VersionLegalTrademark;
extern std::string VersionProductName;
extern std::string VersionProductVersion;
extern std::string VersionBuild; // VersionBuildOf(VersionFileVersion)

// Fills the version strings from the build's version constants.
void ReadVersionInfo();

// The build number of a file version: the text after its last "." ("2.1.0.417" gives "417"); the
// whole text when it holds no ".".
std::string VersionBuildOf(const std::string &fileVersion);

// ---- Command-line tokens ----------------------------------------------------------------------

// One token of `text` from `pos`: blanks and control characters and empty "" pairs are skipped, a
// token runs to the next blank, double quotes group blanks and are dropped. Returns the position
// after the token; `param` is empty when no token is left.
std::size_t ExtractCmdLineParam(const std::string &text, std::size_t pos, std::string &param);
// Number of parameters of a command line, the program name not counted.
int GetCmdLineParamCount(const std::string &commandLine);
// Parameter `index` (1 = the first after the program name); 0 gives this program's own path.
std::string GetCmdLineParamStr(const std::string &commandLine, int index);

// ---- Delimited lists --------------------------------------------------------------------------

// Splits like a delimited string list: items end at `delimiter` or at a blank or control character
// outside double quotes; quoted items keep blanks and delimiters ("" is one quote); a delimiter at
// the very end adds an empty item.
std::vector<std::string> SplitDelimitedText(const std::string &text, char delimiter);
// The comma text of a list: items joined by ",", those holding a blank, control character, quote or
// comma in double quotes.
std::string ToCommaText(const std::vector<std::string> &items);
std::vector<std::string> FromCommaText(const std::string &text);

// ---- Computer, user, hardware profiles --------------------------------------------------------

std::string GetComputerNameStr();
std::string GetUserNameStr();
// Decimal text padded with "0" to at least 4 characters.
std::string FormatHardwareProfileNumber(int number);
std::string GetCurrentHardwareProfile();
// The comma text of every hardware profile name.
std::string GetHardwareProfileNames();

// ---- Sounds -----------------------------------------------------------------------------------

// Plays a sound file in the background; a missing file plays nothing.
void PlaySoundFile(const std::string &fileName);
void StopSound();

// ---- Hot keys ---------------------------------------------------------------------------------

// Modifier flags of a global hot key (the hot-key layer's MOD_ALT, MOD_CONTROL, MOD_SHIFT).
constexpr std::uint16_t kModAlt = MOD_ALT;
constexpr std::uint16_t kModControl = MOD_CONTROL;
constexpr std::uint16_t kModShift = MOD_SHIFT;
// Modifier bits of a stored menu shortcut.
constexpr std::uint16_t kShortCutShift = 0x2000;
constexpr std::uint16_t kShortCutCtrl = 0x4000;
constexpr std::uint16_t kShortCutAlt = 0x8000;

// Splits a stored shortcut into its key code and the hot-key modifier flags.
void ShortCutToHotKey(std::uint16_t shortCut, std::uint16_t &key, std::uint16_t &modifiers);

} // namespace qv
