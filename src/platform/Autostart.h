// Starting the program with the desktop session: an XDG autostart entry.
//
// The entry is $XDG_CONFIG_HOME/autostart/quorvellant.desktop. Its Exec line quotes the program
// path by the Desktop Entry rules, so a path with blanks or quotes starts the right file. The file
// is written to a temporary name and renamed into place, so a failed write leaves the old entry.
#pragma once

#include <string>
#include <vector>

namespace qv {

class Autostart
{
public:
    // $XDG_CONFIG_HOME/autostart/quorvellant.desktop
    static std::string entryPath();

    // Writes the entry that starts `program` with `arguments`. Throws std::runtime_error with the
    // reason when it cannot be written.
    static void install(const std::string &program, const std::vector<std::string> &arguments);

    // True when the entry exists and is not switched off (Hidden=true).
    static bool isInstalled();

    // Removes the entry; a missing entry is fine. Throws std::runtime_error when it cannot be removed.
    static void remove();

    // One argument quoted for an Exec line (before the string escapes of the file format).
    static std::string quoteExecArgument(const std::string &arg);

    // The whole Exec value as it is written into the file (quoting, "%%" and backslash escapes).
    static std::string execLine(const std::string &program, const std::vector<std::string> &arguments);

    // A value of any other key with the string escapes of the file format (backslash, new line, tab).
    static std::string escapeValue(const std::string &value);

    // Writes a desktop entry file: a temporary file beside `path` (never following a link), synced,
    // given `mode` and renamed over `path`, so a failure leaves the old file. Throws
    // std::runtime_error with the system's reason. Shared by the shortcut files.
    static void writeEntryFile(const std::string &path, const std::string &text, unsigned mode);
};

} // namespace qv
