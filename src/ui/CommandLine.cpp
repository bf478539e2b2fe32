// The command-line rules.
#include "ui/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

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

const char *const kOptions[] = {"/ICON", "/RUNGROUP", "/RUNPROJECT", "/RUNPROJECTBYID", "/SUSPEND", "/SILENT"};
const char *const kOnOffOptions[] = {"/ICON", "/SUSPEND", "/SILENT"};
const char *const kSwitches[] = {"/HELP",         "/?",      "/EXIT",          "/EXITNOW", "/EXITWHENIDLE",
                                 "/SHOWABOUTBOX", "/RUNALL", "/SYSTEMSTARTUP", "/SHOW"};

bool listed(const std::string &word, const auto &list)
{
    return std::any_of(std::begin(list), std::end(list), [&word](const char *w) { return word == w; });
}

// A value as a message quotes it: long ones are cut, so that one message stays one short line.
std::string quoted(const std::string &value)
{
    constexpr std::size_t kLongest = 100;
    std::string out(1, '"');
    out.append(value, 0, std::min(value.size(), kLongest));
    if (value.size() > kLongest) {
        out.append("...");
    }
    out.push_back('"');
    return out;
}

} // namespace

std::vector<std::string> commandLineMistakes(const std::vector<std::string> &args)
{
    std::vector<std::string> mistakes;
    for (const std::string &raw : args) {
        const std::string p = normaliseSwitch(raw);
        const auto eq = p.find('=');
        const std::string word = upper(p.substr(0, eq));
        if (eq == std::string::npos ? !listed(word, kSwitches) : !listed(word, kOptions)) {
            mistakes.push_back("unknown option " + quoted(raw) + " (quorvellant --help lists the options)");
        } else if (eq != std::string::npos && listed(word, kOnOffOptions) && !onOff(p.substr(eq + 1))) {
            mistakes.push_back(quoted(raw) + ": the value must be ON or OFF");
        }
    }
    return mistakes;
}

bool onlyRunsOfNothing(const std::vector<std::string> &args, std::size_t namedNothing)
{
    static const char *const kNamedRuns[] = {"/RUNGROUP", "/RUNPROJECT", "/RUNPROJECTBYID"};
    static const char *const kQuiet[] = {"/ICON",         "/SUSPEND", "/SILENT",
                                         "/EXITWHENIDLE", "/EXIT",    "/EXITNOW"};
    std::size_t runs = 0;
    for (const std::string &raw : args) {
        const std::string p = normaliseSwitch(raw);
        const std::string word = upper(p.substr(0, p.find('=')));
        if (listed(word, kNamedRuns)) {
            ++runs;
        } else if (!listed(word, kQuiet)) {
            return false;
        }
    }
    return runs > 0 && runs == namedNothing;
}

std::vector<std::string> withoutToolkitOptions(const std::vector<std::string> &args)
{
    static const char *const kWithValue[] = {"-platform",        "-platformpluginpath",
                                             "-platformtheme",   "-plugin",
                                             "-qwindowgeometry", "-geometry",
                                             "-qwindowicon",     "-icon",
                                             "-qwindowtitle",    "-title",
                                             "-display",         "-session",
                                             "-style",           "-stylesheet"};
    static const char *const kAlone[] = {"-reverse", "-widgetcount", "-nograb", "-dograb"};
    static const char *const kJoined[] = {"-style=", "-stylesheet=", "-qmljsdebugger="};
    auto in = [](const std::string &a, const auto &list) {
        return std::any_of(std::begin(list), std::end(list), [&a](const char *o) { return a == o; });
    };
    std::vector<std::string> own;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (in(a, kWithValue) && i + 1 < args.size()) {
            ++i;
        } else if (!in(a, kAlone) &&
                   std::none_of(std::begin(kJoined), std::end(kJoined), [&a](const char *o) {
                       return a.size() > std::strlen(o) && a.compare(0, std::strlen(o), o) == 0;
                   })) {
            own.push_back(a);
        }
    }
    return own;
}

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

bool hasShowSwitch(const std::vector<std::string> &args)
{
    return std::any_of(args.begin(), args.end(), [](const std::string &a) { return upper(normaliseSwitch(a)) == "/SHOW"; });
}

bool wantsRestore(const std::vector<std::string> &args)
{
    return args.empty() || hasShowSwitch(args);
}

std::vector<std::string> ProcessCommandLine(const std::vector<std::string> &args, CommandLineSink &sink,
                                            bool handedOver)
{
    std::vector<std::string> unknown;
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
                if (const std::string group = unquoteValue(value); !sink.runGroup(group)) {
                    unknown.push_back("no task group is named " + quoted(group));
                }
            } else if (key == "/RUNPROJECT") {
                if (const std::string name = unquoteValue(value); !sink.runTaskByName(name)) {
                    unknown.push_back("no task is named " + quoted(name));
                }
            } else if (key == "/RUNPROJECTBYID") {
                if (const std::string id = unquoteValue(value); !sink.runTaskById(id)) {
                    unknown.push_back("no task has the ID " + quoted(id));
                }
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
    return unknown;
}

} // namespace qv
