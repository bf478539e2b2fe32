// Shortcuts: desktop entry files that start the program with arguments.
#include "platform/Shortcuts.h"

#include "beneath/RootFolder.h"
#include "platform/Autostart.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <strings.h>
#include <sys/stat.h>

namespace qv {

namespace {

bool endsWithNoCase(const std::string &s, const char *suffix)
{
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && ::strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

std::string trimmed(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

void makeFolders(const std::string &folder)
{
    int error = 0;
    if (!makeFolderChain(folder, 0755, error)) {
        throw std::runtime_error("cannot create the folder \"" + folder + "\": " + std::strerror(error));
    }
}

} // namespace

std::string Shortcuts::fileNameFor(const std::string &name)
{
    std::string base = trimmed(name);
    for (const char *suffix : {".desktop", ".lnk"}) {
        if (endsWithNoCase(base, suffix)) {
            base.resize(base.size() - std::strlen(suffix));
            break;
        }
    }
    base = trimmed(base);
    for (char &c : base) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '_';
        }
    }
    if (base.empty() || base == "." || base == "..") {
        return {};
    }
    return base + ".desktop";
}

std::string Shortcuts::pathFor(const std::string &folder, const std::string &name)
{
    const std::string file = fileNameFor(name);
    if (file.empty() || folder.empty()) {
        return {};
    }
    return (folder.back() == '/' ? folder : folder + "/") + file;
}

std::string Shortcuts::create(const std::string &folder, const std::string &name, const std::string &program,
                              const std::vector<std::string> &arguments, bool executable, bool createFolder)
{
    if (trimmed(folder).empty()) {
        throw std::runtime_error("no folder was given for the shortcut");
    }
    if (folder[0] != '/') {
        throw std::runtime_error("the folder \"" + folder + "\" is not an absolute path");
    }
    const std::string path = pathFor(folder, name);
    if (path.empty()) {
        throw std::runtime_error("the shortcut has no name");
    }
    if (createFolder) {
        makeFolders(folder);
    }
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) {
        throw std::runtime_error("the folder \"" + folder + "\" cannot be used: " + std::strerror(errno));
    }
    if (!S_ISDIR(st.st_mode)) {
        throw std::runtime_error("\"" + folder + "\" is not a folder");
    }
    std::string displayName = trimmed(name);
    if (endsWithNoCase(displayName, ".desktop") || endsWithNoCase(displayName, ".lnk")) {
        displayName = path.substr(path.rfind('/') + 1);
        displayName.resize(displayName.size() - std::strlen(".desktop"));
    }
    for (char &c : displayName) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = ' ';
        }
    }
    const std::string text = "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=" +
                             Autostart::escapeValue(displayName) +
                             "\n"
                             "Exec=" +
                             Autostart::execLine(program, arguments) +
                             "\n"
                             "Icon=quorvellant\n"
                             "Terminal=false\n";
    Autostart::writeEntryFile(path, text, executable ? 0755 : 0644);
    return path;
}

} // namespace qv
