// The command-line rules.
#include "ui/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace qv {
namespace {

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

std::optional<bool> onOff(const std::string &value)
{
    const std::string v = upper(value);
    if (v == "ON") {
        return true;
    }
    if (v == "OFF") {
        return false;
    }
    return std::nullopt;
}

} // namespace

std::string normaliseSwitch(const std::string &arg)
{
    if (arg.size() > 2 && arg[0] == '-' && arg[1] == '-') {
        return "/" + arg.substr(2);
    }
    return arg;
}

std::string unquoteValue(const std::string &value)
{
    if (value.empty() || value[0] != '"') {
        return value;
    }
    std::string out;
    for (std::size_t i = 1; i < value.size(); ++i) {
        if (value[i] == '"') {
            if (i + 1 < value.size() && value[i + 1] == '"') {
                out += '"';
                ++i;
                continue;
            }
            break; // the closing quote; anything after it is dropped
        }
        out += value[i];
    }
    return out;
}

bool wantsRestore(const std::vector<std::string> &args)
{
    if (args.empty()) {
        return true;
    }
    return std::any_of(args.begin(), args.end(), [](const std::string &a) { return upper(normaliseSwitch(a)) == "/SHOW"; });
}

void ProcessCommandLine(const std::vector<std::string> &args, CommandLineSink &sink, bool handedOver)
{
    sink.startProgramStartupTasks();
    for (const std::string &raw : args) {
        const std::string p = normaliseSwitch(raw);
        if (const auto eq = p.find('='); eq != std::string::npos) {
            const std::string key = upper(p.substr(0, eq));
            const std::string value = p.substr(eq + 1);
            if (key == "/ICON") {
                const auto v = onOff(value);
                sink.setTrayIconHidden(v ? std::optional<bool>(!*v) : std::nullopt);
            } else if (key == "/RUNGROUP") {
                sink.runGroup(unquoteValue(value));
            } else if (key == "/RUNPROJECT") {
                sink.runTaskByName(unquoteValue(value));
            } else if (key == "/RUNPROJECTBYID") {
                sink.runTaskById(unquoteValue(value));
            } else if (key == "/SUSPEND") {
                sink.setSuspend(onOff(value));
            } else if (key == "/SILENT") {
                if (const auto v = onOff(value)) {
                    sink.setSilent(*v);
                }
            }
            continue; // a parameter with "=" never acts as a switch
        }
        const std::string s = upper(p);
        if (s == "/HELP" || s == "/?") {
            sink.showHelp();
        } else if (s == "/EXIT") {
            sink.closeWindow();
        } else if (s == "/EXITNOW") {
            sink.exitNow();
        } else if (s == "/EXITWHENIDLE") {
            if (!handedOver) {
                sink.setExitWhenIdle();
            }
        } else if (s == "/SHOWABOUTBOX") {
            sink.showAbout();
        } else if (s == "/RUNALL") {
            sink.runAll();
        } else if (s == "/SYSTEMSTARTUP") {
            sink.systemStartup();
        }
    }
}

} // namespace qv
