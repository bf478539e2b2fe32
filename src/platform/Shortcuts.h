// Shortcuts: desktop entry files that start the program with arguments (a task's own shortcut).
//
// A shortcut is a .desktop file (Type=Application) whose Exec line quotes the program path and each
// argument by the Desktop Entry rules, written the way the autostart entry is (temporary file, sync,
// rename). Callers choose the folder: the desktop, $XDG_DATA_HOME/applications (menus),
// $XDG_CONFIG_HOME/autostart or any folder the user picked. Desktop shortcuts are made executable,
// which file managers require before they start them.
#pragma once

#include <string>
#include <vector>

namespace qv {

class Shortcuts
{
public:
    // The file name for a typed name: "/" and control characters become "_", a typed ".desktop" or
    // ".lnk" is removed, ".desktop" is appended; every other dot stays ("Start Backup 1.2" gives
    // "Start Backup 1.2.desktop"). Empty when nothing of the name is left.
    static std::string fileNameFor(const std::string &name);

    // folder + "/" + fileNameFor(name); empty when the name gives no file name.
    static std::string pathFor(const std::string &folder, const std::string &name);

    // Writes the shortcut `name` into `folder` (created with its missing levels when `createFolder`
    // is set, else it must exist) and returns its path. An existing file of that name is replaced:
    // callers ask first. Throws std::runtime_error with the reason when no folder or name is given or
    // the file cannot be written. `executable` gives mode 0755 (desktop shortcuts), else 0644.
    static std::string create(const std::string &folder, const std::string &name, const std::string &program,
                              const std::vector<std::string> &arguments, bool executable, bool createFolder);
};

} // namespace qv
