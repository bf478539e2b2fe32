// The rules of the small dialogs (group name and order, shortcut, advanced FTP, about), as pure
// functions the dialogs apply and the tests read from tables.
#pragma once

#include <QString>

#include <string>
#include <vector>

namespace qv {

// A group name is accepted when it holds more than blanks.
bool isValidGroupName(const QString &name);

// Group order: "Move up" for a selected item that is not the first, "Move down" for one that is
// not the last (`selected` < 0: nothing selected).
struct GroupsOrderButtons
{
    bool moveUp = false;
    bool moveDown = false;
    bool operator==(const GroupsOrderButtons &) const = default;
};
GroupsOrderButtons groupsOrderButtons(int count, int selected);

// Where a shortcut goes, in the order of the dialog's choices.
enum ShortcutPlace : int { spDesktop = 0, spStartMenu = 1, spAutoRun = 2, spPrograms = 3, spOther = 4 };

// The shortcut's arguments: "/RunProjectById=<id>", then "/ExitWhenIdle" when the program is to end
// after the run.
std::vector<std::string> shortcutArguments(const std::string &taskId, bool exitWhenIdle);

// The folder of a place: the desktop (the one the user's XDG_DESKTOP_DIR names, as xdg-user-dir
// reads it; $HOME/Desktop without one), the applications menu ($XDG_DATA_HOME/applications, for the
// start and programs menus), the session's autostart folder or `otherFolder` (trimmed; may be empty).
std::string shortcutFolder(int place, const std::string &otherFolder);
// The desktop, the menus and the autostart folder are created when missing (a fresh account may have
// no desktop folder yet); a folder the user chose must exist.
bool shortcutFolderIsCreated(int place);
// Desktop shortcuts are made executable (file managers start only those).
bool shortcutIsExecutable(int place);

// Advanced FTP settings: which controls are enabled.
struct FtpAdvancedEnabling
{
    bool proxyFields = false; // address, port and their labels
    bool proxyAuth = false;   // "Authorize on proxy"
    bool authFields = false;  // login, password and their labels
    bool operator==(const FtpAdvancedEnabling &) const = default;
};
FtpAdvancedEnabling ftpAdvancedEnabling(bool proxyUse, bool proxyAuthUse);

// The about box's version line: "<version> (<Build>: <build>)" with the localised word for "Build".
QString aboutVersionLine(const QString &productVersion, const QString &buildWord, const QString &build);

} // namespace qv
