// Starting the program with the desktop session: an XDG autostart entry.
#include "platform/Autostart.h"

#include "beneath/RootFolder.h"
#include "platform/FileIo.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

std::string configHome()
{
    const char *v = std::getenv("XDG_CONFIG_HOME");
    if (v != nullptr && v[0] == '/') {
        return v;
    }
    const char *home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config";
}

void makeDirs(const std::string &dir)
{
    int error = 0;
    if (!makeFolderChain(dir, 0700, error)) {
        throw std::runtime_error("cannot create folder \"" + dir + "\": " + std::strerror(error));
    }
}

} // namespace

// The string escapes of the Desktop Entry format (applied after the Exec quoting).
std::string Autostart::escapeValue(const std::string &s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Autostart::entryPath()
{
    return configHome() + "/autostart/quorvellant.desktop";
}

std::string Autostart::quoteExecArgument(const std::string &arg)
{
    static const char reserved[] = " \t\n\"'\\><~|&;$*?#()`";
    bool needsQuotes = arg.empty() || arg.find_first_of(reserved) != std::string::npos;
    std::string out;
    for (char c : arg) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            out += '\\';
        }
        out += c;
    }
    return needsQuotes ? "\"" + out + "\"" : out;
}

std::string Autostart::execLine(const std::string &program, const std::vector<std::string> &arguments)
{
    std::string line = quoteExecArgument(program);
    for (const auto &a : arguments) {
        line += ' ';
        line += quoteExecArgument(a);
    }
    return escapeValue(line);
}

void Autostart::install(const std::string &program, const std::vector<std::string> &arguments)
{
    std::string path = entryPath();
    std::string dir = path.substr(0, path.rfind('/'));
    makeDirs(dir);
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Quorvellant\n"
                       "Comment=Backs up and synchronises folders\n"
                       "Exec=" +
                       execLine(program, arguments) +
                       "\n"
                       "Icon=quorvellant\n"
                       "Terminal=false\n"
                       "X-GNOME-Autostart-enabled=true\n";
    writeEntryFile(path, text, 0644);
}

void Autostart::writeEntryFile(const std::string &path, const std::string &text, unsigned mode)
{
    int error = 0;
    if (!replaceFile(path, text, mode, error)) {
        throw std::runtime_error("cannot write \"" + path + "\": " + std::strerror(error));
    }
}

bool Autostart::isInstalled()
{
    std::ifstream in(entryPath());
    if (!in) {
        return false;
    }
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
        } else if (inEntry && (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false")) {
            return false;
        }
    }
    return true;
}

void Autostart::remove()
{
    std::string path = entryPath();
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        throw std::runtime_error("cannot remove \"" + path + "\": " + std::strerror(errno));
    }
}

} // namespace qv
