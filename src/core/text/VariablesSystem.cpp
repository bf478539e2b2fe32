// Path variables that come from the system: shell folders, the environment, computer and user name.
//
// The shell folders of the Windows desktop map onto the XDG locations of the user. Those without a
// Linux counterpart (control panel, printers, network neighbourhood, the all-users folders, ...)
// have no path, and ExpandVariables puts the error marker in their place, so a folder built on one
// of them fails validation rather than pointing somewhere unexpected.
#include "core/text/Variables.h"
#include "core/text/VariablesSystem.h"
#include "platform/UserAccount.h"

#include <QFile>
#include <QStandardPaths>

#include <cstdlib>

extern char **environ;

namespace qv {

namespace {

enum Csidl : int {
    csDesktop = 0x00,
    csPrograms = 0x02,
    csPersonal = 0x05,
    csStartup = 0x07,
    csBitbucket = 0x0A,
    csStartMenu = 0x0B,
    csDesktopDirectory = 0x10,
    csFonts = 0x14,
    csTemplates = 0x15,
    csAppData = 0x1A,
    csAltStartup = 0x1D,
    csInternetCache = 0x20,
};

// An XDG base folder: the variable when it holds an absolute path, else HOME + the fallback.
std::string xdgBase(const char *variable, const char *fallback)
{
    const char *value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    return homeFolder() + "/" + fallback;
}

std::string userDir(QStandardPaths::StandardLocation location)
{
    return QFile::encodeName(QStandardPaths::writableLocation(location)).toStdString();
}

} // namespace

std::string computerNameText()
{
    return hostName();
}

std::string userNameText()
{
    return accountName();
}

const std::vector<VariableName> &shellFolderNames()
{
    static const std::vector<VariableName> names = {
        {"WindowsDesktop", 0x00},
        {"WindowsInternet", 0x01},
        {"WindowsPrograms", 0x02},
        {"WindowsControls", 0x03},
        {"WindowsPrinters", 0x04},
        {"WindowsPersonal", 0x05},
        {"WindowsFavorites", 0x06},
        {"WindowsStartup", 0x07},
        {"WindowsRecent", 0x08},
        {"WindowsSendto", 0x09},
        {"WindowsBitbucket", 0x0A},
        {"WindowsStartMenu", 0x0B},
        {"WindowsDesktopDirectory", 0x10},
        {"WindowsDrives", 0x11},
        {"WindowsNetwork", 0x12},
        {"WindowsNethood", 0x13},
        {"WindowsFonts", 0x14},
        {"WindowsTemplates", 0x15},
        {"WindowsCommonStartMenu", 0x16},
        {"WindowsCommonPrograms", 0x17},
        {"WindowsCommonStartup", 0x18},
        {"WindowsCommonDesktopDirectory", 0x19},
        {"WindowsAppData", 0x1A},
        {"WindowsPrinthood", 0x1B},
        {"WindowsAltStartup", 0x1D},
        {"WindowsCommonAltStartup", 0x1E},
        {"WindowsCommonFavorites", 0x1F},
        {"WindowsInternetCache", 0x20},
        {"WindowsCookies", 0x21},
        {"WindowsHistory", 0x22},
    };
    return names;
}

std::string GetSpecialFolderPath(int csidl)
{
    switch (csidl) {
    case csDesktop:
    case csDesktopDirectory:
        return userDir(QStandardPaths::DesktopLocation);
    case csPersonal:
        return userDir(QStandardPaths::DocumentsLocation);
    case csTemplates:
        return userDir(QStandardPaths::TemplatesLocation);
    case csAppData:
        return xdgBase("XDG_CONFIG_HOME", ".config");
    case csStartup:
    case csAltStartup:
        return xdgBase("XDG_CONFIG_HOME", ".config") + "/autostart";
    case csPrograms:
    case csStartMenu:
        return xdgBase("XDG_DATA_HOME", ".local/share") + "/applications";
    case csFonts:
        return xdgBase("XDG_DATA_HOME", ".local/share") + "/fonts";
    case csInternetCache:
        return xdgBase("XDG_CACHE_HOME", ".cache");
    case csBitbucket:
        return xdgBase("XDG_DATA_HOME", ".local/share") + "/Trash/files";
    default:
        return {};
    }
}

std::vector<std::string> GetEnvironmentNames()
{
    std::vector<std::string> lines;
    for (char **e = environ; e != nullptr && *e != nullptr; ++e) {
        lines.emplace_back(*e);
    }
    return lines;
}

} // namespace qv
