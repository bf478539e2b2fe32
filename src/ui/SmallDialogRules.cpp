// The rules of the small dialogs.
#include "ui/SmallDialogRules.h"

#include "core/text/Variables.h"

namespace qv {

namespace {

// The shell folder numbers the places map through.
constexpr int kDesktop = 0x00;
constexpr int kPrograms = 0x02;
constexpr int kStartup = 0x07;
constexpr int kStartMenu = 0x0B;

std::string trimmed(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

} // namespace

bool isValidGroupName(const QString &name)
{
    return !name.trimmed().isEmpty();
}

GroupsOrderButtons groupsOrderButtons(int count, int selected)
{
    if (selected < 0 || selected >= count) {
        return {};
    }
    return {selected > 0, selected < count - 1};
}

std::vector<std::string> shortcutArguments(const std::string &taskId, bool exitWhenIdle)
{
    std::vector<std::string> args = {"/RunProjectById=" + taskId};
    if (exitWhenIdle) {
        args.emplace_back("/ExitWhenIdle");
    }
    return args;
}

std::string shortcutFolder(int place, const std::string &otherFolder)
{
    switch (place) {
    case spDesktop:
        return GetSpecialFolderPath(kDesktop);
    case spStartMenu:
        return GetSpecialFolderPath(kStartMenu);
    case spAutoRun:
        return GetSpecialFolderPath(kStartup);
    case spPrograms:
        return GetSpecialFolderPath(kPrograms);
    default:
        return trimmed(otherFolder);
    }
}

bool shortcutFolderIsCreated(int place)
{
    return place == spDesktop || place == spStartMenu || place == spAutoRun || place == spPrograms;
}

bool shortcutIsExecutable(int place)
{
    return place == spDesktop;
}

FtpAdvancedEnabling ftpAdvancedEnabling(bool proxyUse, bool proxyAuthUse)
{
    return {proxyUse, proxyUse, proxyUse && proxyAuthUse};
}

QString aboutVersionLine(const QString &productVersion, const QString &buildWord, const QString &build)
{
    return productVersion + QStringLiteral(" (") + buildWord + QStringLiteral(": ") + build +
           QLatin1Char(')');
}

} // namespace qv
