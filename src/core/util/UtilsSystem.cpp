// Shared utilities that reach the system: autostart, folders, opening and running programs,
// version strings, names, hardware profiles, sounds, pictures and hot-key shortcuts.
#include "core/util/Utils.h"

#include "QvVersion.h"
#include "core/text/VariablesSystem.h"
#include "platform/FileOps.h"
#include "platform/FileStat.h"
#include "platform/Autostart.h"
#include "platform/Desktop.h"
#include "platform/HardwareProfiles.h"
#include "platform/PathText.h"
#include "platform/Processes.h"
#include "platform/Sound.h"
#include "platform/UserAccount.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <stdexcept>

namespace qv {

std::string VersionFileDescription;
std::string VersionFileVersion;
std::string VersionCompanyName;
std::string VersionLegalCopyright;
std::string VersionLegalTrademark;
std::string VersionProductName;
std::string VersionProductVersion;
std::string VersionBuild;

namespace {

std::mutex g_shellErrorMutex;
std::function<void(const std::string &)> g_shellError;


// Milliseconds since the system started, as a signed 32-bit count (it wraps like a tick count).
std::int32_t tickCount()
{
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

} // namespace

// ---- Start with the desktop session -----------------------------------------------------------

void RegisterAutoStart()
{
    Autostart::install(GetExePath(), {"/SYSTEMSTARTUP"});
}

bool IsAutoStartRegistered()
{
    return Autostart::isInstalled();
}

void UnregisterAutoStart()
{
    Autostart::remove();
}

// ---- Folders ----------------------------------------------------------------------------------

std::string GetExePath()
{
    std::string path = runningProgramPath();
    if (!path.empty()) {
        return path;
    }
    if (QCoreApplication::instance() != nullptr) {
        return QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    }
    return {};
}

std::string GetExeFolder()
{
    std::string path = GetExePath();
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string GetDataFolder()
{
    const char *data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data != nullptr && data[0] == '/') {
        base = data;
    } else {
        base = homeFolder() + "/.local/share";
    }
    std::string folder = withSlash(base) + "quorvellant";
    int error = 0;
    makeFolders(folder, error); // a folder that cannot be made is reported where it is written
    setPermissions(folder, 0700, error); // a folder that cannot be made private is still used
    return folder + "/";
}

std::string GetTempWorkFolder(const std::string &parent)
{
    std::string temp = withSlash(parent.empty() ? QFile::encodeName(QDir::tempPath()).toStdString() : parent);
    std::int32_t tick = tickCount();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string folder = temp + "~Quorvellant-" + std::to_string(tick + attempt);
        int error = 0;
        if (makePrivateFolder(folder, error)) {
            return folder + "/";
        }
        if (error != EEXIST) {
            throw std::runtime_error("cannot create a work folder in \"" + temp + "\": " + std::strerror(error));
        }
    }
    throw std::runtime_error("cannot create a work folder in \"" + temp + "\": every name is taken");
}

// ---- Documents and programs -------------------------------------------------------------------

void SetShellOpenErrorHandler(std::function<void(const std::string &)> handler)
{
    std::lock_guard<std::mutex> lock(g_shellErrorMutex);
    g_shellError = std::move(handler);
}

namespace {

void reportShellOpenError(const std::string &fileName)
{
    std::function<void(const std::string &)> handler;
    {
        std::lock_guard<std::mutex> lock(g_shellErrorMutex);
        handler = g_shellError;
    }
    if (handler) {
        handler(fileName);
    } else {
        std::fprintf(stderr, "Unable to execute external program %s.\n", fileName.c_str());
    }
}

} // namespace

bool ShellOpen(const std::string &fileName, const std::string &parameters)
{
    Desktop &desktop = Desktop::instance();
    bool ok = false;
    std::vector<std::string> args;
    std::size_t pos = 0;
    for (std::string token;;) {
        pos = ExtractCmdLineParam(parameters, pos, token);
        if (token.empty()) {
            break;
        }
        args.push_back(token);
    }
    std::string base = fileName.substr(fileName.rfind('/') == std::string::npos ? 0 : fileName.rfind('/') + 1);
    // The opener may report its failure after this returns (xdg-open found nothing to open with).
    auto failedLater = [fileName] { reportShellOpenError(fileName); };
    if (args.empty()) {
        ok = desktop.open(fileName, failedLater);
    } else if (args.size() == 1 && (base == "explorer.exe" || base == "explorer")) {
        // "Show this folder in the file manager".
        ok = desktop.open(args[0], failedLater);
    } else {
        ok = desktop.launch(fileName, args);
    }
    if (!ok) {
        reportShellOpenError(fileName);
    }
    return ok;
}

bool ExecuteProgram(const std::string &commandLine, bool hidden, bool wait, const std::atomic<bool> *stop)
{
    (void)hidden;
    return Processes::run(commandLine, wait, stop).started;
}

// ---- Version strings --------------------------------------------------------------------------

void ReadVersionInfo()
{
    VersionFileDescription = "Quorvellant backup and synchronisation";
    VersionFileVersion = QV_VERSION_STRING;
    VersionCompanyName = "Tavimundrelo";
    VersionLegalCopyright = "Copyright (C) Tavimundrelo";
    VersionLegalTrademark = "";
    VersionProductName = "Quorvellant";
    VersionProductVersion = QV_VERSION_STRING;
    VersionBuild = VersionBuildOf(VersionFileVersion);
}

std::string VersionBuildOf(const std::string &fileVersion)
{
    const std::string::size_type dot = fileVersion.rfind('.');
    return dot == std::string::npos ? fileVersion : fileVersion.substr(dot + 1);
}

// ---- Computer, user, hardware profiles --------------------------------------------------------

std::string GetComputerNameStr()
{
    return computerNameText();
}

std::string GetUserNameStr()
{
    return userNameText();
}

std::string FormatHardwareProfileNumber(int number)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d", number);
    return buf;
}

std::string GetCurrentHardwareProfile()
{
    return HardwareProfiles::current();
}

std::string GetHardwareProfileNames()
{
    return ToCommaText(HardwareProfiles::names());
}

// ---- Sounds -----------------------------------------------------------------------------------

void PlaySoundFile(const std::string &fileName)
{
    Sound::instance().play(fileName);
}

void StopSound()
{
    Sound::instance().stop();
}

// ---- Hot keys ---------------------------------------------------------------------------------

void ShortCutToHotKey(std::uint16_t shortCut, std::uint16_t &key, std::uint16_t &modifiers)
{
    key = static_cast<std::uint16_t>(shortCut & ~(kShortCutShift | kShortCutCtrl | kShortCutAlt));
    modifiers = 0;
    if (shortCut & kShortCutShift) {
        modifiers |= kModShift;
    }
    if (shortCut & kShortCutCtrl) {
        modifiers |= kModControl;
    }
    if (shortCut & kShortCutAlt) {
        modifiers |= kModAlt;
    }
}

} // namespace qv

namespace qv {
namespace {
// The version strings are there from program start, as everything that shows them expects.
const bool g_versionRead = (ReadVersionInfo(), true);
} // namespace
} // namespace qv
