// The text of the program's systemd user units.
#include "platform/SystemdUnits.h"

#include <cstdio>
#include <sstream>

namespace qv {
namespace {

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7f;
}

std::string hexByte(unsigned char c)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02x", c);
    return buf;
}

// "%" is a specifier everywhere; `dollar` also doubles "$" (variable expansion in command lines).
std::string escapeSpecifiers(const std::string &text, bool dollar)
{
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '%' || (dollar && c == '$')) {
            out += c;
        }
    }
    return out;
}

bool hasControl(const std::string &text)
{
    for (unsigned char c : text) {
        if (isControl(c)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string SystemdUnits::escapeName(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == ':' || c == '_' || (c == '.' && i > 0);
        if (c == '/') {
            out += '-';
        } else if (plain) {
            out += static_cast<char>(c);
        } else {
            out += hexByte(c);
        }
    }
    return out;
}

std::string SystemdUnits::execArgument(const std::string &word, bool program)
{
    bool quote = word.empty();
    for (unsigned char c : word) {
        quote = quote || isControl(c) || c == ' ' || c == '"' || c == '\'' || c == '\\' || c == ';';
    }
    // A leading "@", "-", ":", "+" or "!" would be read as a prefix of the command.
    quote = quote || word.find_first_of("@-:+!") == 0;
    if (!quote) {
        return escapeSpecifiers(word, !program);
    }
    std::string out = "\"";
    for (unsigned char c : word) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (isControl(c)) {
            out += hexByte(c);
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return escapeSpecifiers(out, !program);
}

std::string SystemdUnits::description(const std::string &text)
{
    std::string clean = text;
    for (char &c : clean) {
        if (isControl(static_cast<unsigned char>(c))) {
            c = ' ';
        }
    }
    // A backslash at the end of a line would join the next line to it.
    while (!clean.empty() && (clean.back() == '\\' || clean.back() == ' ')) {
        clean.pop_back();
    }
    return escapeSpecifiers(clean, false);
}

std::string SystemdUnits::serviceText(const SystemScheduler::Entry &entry)
{
    if (entry.command.empty() || entry.command[0].empty() || entry.command[0][0] != '/') {
        throw SchedulerError("The program to schedule needs a full path.");
    }
    // systemd refuses to start a program whose path holds a quote or a backslash, however quoted.
    if (entry.command[0].find_first_of("\"'\\") != std::string::npos || hasControl(entry.command[0])) {
        throw SchedulerError("A timer cannot start a program whose path holds a quote, a backslash or a control "
                             "character: " +
                             description(entry.command[0]));
    }
    if (entry.workingDirectory.empty() || entry.workingDirectory[0] != '/' || hasControl(entry.workingDirectory)) {
        throw SchedulerError("The folder \"" + entry.workingDirectory + "\" cannot be a working folder of a timer.");
    }
    std::string exec;
    for (const std::string &word : entry.command) {
        exec += (exec.empty() ? "" : " ") + execArgument(word, exec.empty());
    }
    std::ostringstream s;
    s << "[Unit]\n"
      << "Description=" << description(entry.description) << "\n\n"
      << "[Service]\n"
      << "Type=oneshot\n"
      << "ExecStart=" << exec << "\n"
      << "WorkingDirectory=" << escapeSpecifiers(entry.workingDirectory, false) << "\n";
    return s.str();
}

std::string SystemdUnits::timerText(const std::string &description, const std::vector<std::string> &calendars)
{
    std::ostringstream s;
    s << "[Unit]\n"
      << "Description=" << SystemdUnits::description(description) << "\n\n"
      << "[Timer]\n";
    for (const std::string &c : calendars) {
        if (c.empty() || hasControl(c)) {
            throw SchedulerError("\"" + SystemdUnits::description(c) + "\" is not a calendar expression.");
        }
        s << "OnCalendar=" << escapeSpecifiers(c, false) << "\n";
    }
    s << "Persistent=true\n\n"
      << "[Install]\n"
      << "WantedBy=timers.target\n";
    return s.str();
}

std::vector<std::string> SystemdUnits::calendarsOf(const std::string &timerText)
{
    std::vector<std::string> calendars;
    std::istringstream in(timerText);
    std::string line;
    const std::string key = "OnCalendar=";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0) {
            continue;
        }
        std::string value;
        const std::string raw = line.substr(key.size());
        for (std::size_t i = 0; i < raw.size(); ++i) {
            value += raw[i];
            if (raw[i] == '%' && i + 1 < raw.size() && raw[i + 1] == '%') {
                ++i;
            }
        }
        if (value.empty()) {
            calendars.clear(); // an empty assignment resets the list
        } else {
            calendars.push_back(value);
        }
    }
    return calendars;
}

} // namespace qv
