// The command-line rules, through a recording sink.
#include "ui/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Recorder : qv::CommandLineSink {
    std::vector<std::string> calls;
    void startProgramStartupTasks() override { calls.push_back("startup-tasks"); }
    void setTrayIconHidden(std::optional<bool> h) override
    {
        calls.push_back(std::string("icon-hidden:") + (h ? (*h ? "yes" : "no") : "leave"));
    }
    // Names and IDs beginning with "No" name nothing.
    static bool known(const std::string &s) { return s.rfind("No", 0) != 0; }
    bool runGroup(const std::string &g) override
    {
        calls.push_back("group:" + g);
        return known(g);
    }
    bool runTaskByName(const std::string &n) override
    {
        calls.push_back("name:" + n);
        return known(n);
    }
    bool runTaskById(const std::string &id) override
    {
        calls.push_back("id:" + id);
        return known(id);
    }
    void setSuspend(std::optional<bool> s) override
    {
        calls.push_back(std::string("suspend:") + (s ? (*s ? "on" : "off") : "leave"));
    }
    void setSilent(bool s) override { calls.push_back(std::string("silent:") + (s ? "on" : "off")); }
    void showHelp() override { calls.push_back("help"); }
    void closeWindow() override { calls.push_back("close"); }
    void exitNow() override { calls.push_back("exitnow"); }
    void setExitWhenIdle() override { calls.push_back("exitwhenidle"); }
    void showAbout() override { calls.push_back("about"); }
    void runAll() override { calls.push_back("runall"); }
    void systemStartup() override { calls.push_back("systemstartup"); }
};

using Calls = std::vector<std::string>;

TEST(CommandLineRules, Table)
{
    const struct {
        std::vector<std::string> args;
        Calls expect;
    } cases[] = {
        {{}, {"startup-tasks"}},
        {{"/runall"}, {"startup-tasks", "runall"}},
        {{"/RunAll", "--systemstartup"}, {"startup-tasks", "runall", "systemstartup"}},
        {{"/icon=off"}, {"startup-tasks", "icon-hidden:yes"}},
        {{"/ICON=On"}, {"startup-tasks", "icon-hidden:no"}},
        {{"/ICON=maybe"}, {"startup-tasks", "icon-hidden:leave"}},
        {{"/SUSPEND=ON", "/suspend=x"}, {"startup-tasks", "suspend:on", "suspend:leave"}},
        {{"/SILENT=off", "/SILENT=whatever"}, {"startup-tasks", "silent:off"}},
        {{"/EXIT=1"}, {"startup-tasks"}}, // "=" never makes a switch
        {{"/EXIT"}, {"startup-tasks", "close"}},
        {{"/exitnow"}, {"startup-tasks", "exitnow"}},
        {{"/?", "/HELP"}, {"startup-tasks", "help", "help"}},
        {{"/ShowAboutBox", "/SHOW"}, {"startup-tasks", "about"}},
        {{"/unknown", "plain", "/RUNPROJECT"}, {"startup-tasks"}},
        {{"/RunProject=My Task"}, {"startup-tasks", "name:My Task"}},
        {{"/RUNPROJECT=\"My Task\""}, {"startup-tasks", "name:My Task"}},
        {{"/RUNPROJECT=\"Say \"\"hi\"\"\" rest"}, {"startup-tasks", "name:Say \"hi\""}},
        {{"/RUNPROJECT=a=b"}, {"startup-tasks", "name:a=b"}},
        {{"/RunProjectById=0123ABCD", "/ExitWhenIdle"}, {"startup-tasks", "id:0123ABCD", "exitwhenidle"}},
        {{"/RUNGROUP=All Tasks"}, {"startup-tasks", "group:All Tasks"}},
        {{"--rungroup=\"Work\""}, {"startup-tasks", "group:Work"}},
    };
    for (const auto &c : cases) {
        Recorder r;
        qv::ProcessCommandLine(c.args, r, false);
        std::string joined;
        for (const auto &a : c.args) {
            joined += "[" + a + "]";
        }
        EXPECT_EQ(r.calls, c.expect) << joined;
    }
}

TEST(CommandLineRules, HandedOverListIgnoresExitWhenIdle)
{
    Recorder r;
    qv::ProcessCommandLine({"/RunProjectById=ABC", "/EXITWHENIDLE"}, r, true);
    EXPECT_EQ(r.calls, (Calls{"startup-tasks", "id:ABC"}));
}

// What a start refuses before the hand-over, and what the processing reports back: every option
// still acts, and each name or ID that names nothing gives one message.
TEST(CommandLineRules, MistakesAndNamesThatNameNothing)
{
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> mistakes;
        std::vector<std::string> unknown;
    } cases[] = {
        {{"/RunAll", "--show", "/EXITNOW", "/?", "/Icon=ON", "/silent=off", "/RunProject=A"}, {}, {}},
        {{"/unknown", "plain", "/RUNPROJECT", "--bogus=1"},
         {"unknown option \"/unknown\" (quorvellant --help lists the options)",
          "unknown option \"plain\" (quorvellant --help lists the options)",
          "unknown option \"/RUNPROJECT\" (quorvellant --help lists the options)",
          "unknown option \"--bogus=1\" (quorvellant --help lists the options)"},
         {}},
        {{"/ICON=maybe", "/SUSPEND=", "/EXIT=1"},
         {"\"/ICON=maybe\": the value must be ON or OFF", "\"/SUSPEND=\": the value must be ON or OFF",
          "unknown option \"/EXIT=1\" (quorvellant --help lists the options)"},
         {}},
        {{"/RunProject=\"NoSuchTask\"", "/RunProjectById=NoID", "/RunGroup=NoGroup", "/RunProject=Known"},
         {},
         {"no task is named \"NoSuchTask\"", "no task has the ID \"NoID\"", "no task group is named \"NoGroup\""}},
        {{"/RunProject=No" + std::string(200, 'x')}, {}, {"no task is named \"No" + std::string(98, 'x') + "...\""}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(qv::commandLineMistakes(c.args), c.mistakes) << c.args.front();
        Recorder r;
        EXPECT_EQ(qv::ProcessCommandLine(c.args, r, false), c.unknown) << c.args.front();
    }
}

TEST(CommandLineRules, TheToolkitsOwnOptionsAreLeftToIt)
{
    using Args = std::vector<std::string>;
    const struct
    {
        Args args;
        Args own;
    } cases[] = {
        {{"-style", "Fusion", "/SHOW", "-reverse", "-platform", "xcb", "-display", ":1"}, {"/SHOW"}},
        {{"-style=Fusion", "-stylesheet=a.qss", "-qwindowtitle", "T", "-geometry", "10x10", "/RunAll"},
         {"/RunAll"}},
        // The program's own switches stay, a value option without its value is reported, and a
        // single-dash word the toolkit does not know is the program's mistake.
        {{"--icon=ON", "-bogus", "-style"}, {"--icon=ON", "-bogus", "-style"}},
        {{"-session", "/EXIT"}, {}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(qv::withoutToolkitOptions(c.args), c.own) << c.args.front();
    }
    EXPECT_EQ(qv::commandLineMistakes(qv::withoutToolkitOptions({"-reverse", "-style", "Fusion", "/SHOW"})),
              Args{});
}

TEST(CommandLineRules, RestoreAndQuotes)
{
    EXPECT_TRUE(qv::wantsRestore({}));
    EXPECT_TRUE(qv::wantsRestore({"/RunProjectById=X", "/show"}));
    EXPECT_TRUE(qv::wantsRestore({"--show"}));
    EXPECT_FALSE(qv::wantsRestore({"/RunProjectById=X"}));
    // The program's own start shows its window only for an explicit /SHOW.
    EXPECT_FALSE(qv::hasShowSwitch({}));
    EXPECT_TRUE(qv::hasShowSwitch({"/RunProjectById=X", "/Show"}));
    EXPECT_FALSE(qv::hasShowSwitch({"/SHOW=ON"}));
    EXPECT_EQ(qv::unquoteValue("\"a b\""), "a b");
    EXPECT_EQ(qv::unquoteValue("\"unterminated"), "unterminated");
    EXPECT_EQ(qv::unquoteValue("no \"quotes\""), "no \"quotes\"");
    EXPECT_EQ(qv::unquoteValue("\"\""), "");
    EXPECT_EQ(qv::normaliseSwitch("--RUNALL"), "/RUNALL");
    EXPECT_EQ(qv::normaliseSwitch("-x"), "-x");
}

} // namespace
