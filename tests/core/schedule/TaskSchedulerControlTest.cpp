// A task's system scheduler entry end to end: the real systemd backend, its unit files in a private
// XDG_CONFIG_HOME, and a stand-in systemctl on PATH recording every call.
// qv-test-timeout: 180
#include "core/schedule/TaskSchedulerControl.h"
#include "platform/SystemScheduler.h"
#include "platform/SystemdScheduler.h"

#include "support/SystemctlStub.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

using namespace qv;
namespace fs = std::filesystem;

namespace {

class SystemTimerEntry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::remove_all(units);
        program = qvtest::makeTempDir("prog") + "/my 100% $HOME";
        fs::create_directories(program);
        program += "/quorvellant";
        qvtest::writeFile(program, "#!/bin/sh\nexit 0\n");
        ::chmod(program.c_str(), 0755);
        stub.takeCalls();
        answer(true, {"Mon *-*-* 09:00"});
    }
    void TearDown() override { SetSystemTimerEditor(nullptr); }

    // The editor answers `ok` with `calendars`, and records what it was shown.
    void answer(bool ok, std::vector<std::string> calendars)
    {
        SetSystemTimerEditor([this, ok, calendars](const std::string &title, std::vector<std::string> &list) {
            shownTitle = title;
            shown = list;
            if (ok) {
                list = calendars;
            }
            return ok;
        });
    }

    TTaskSchedulerControl control(const std::string &name, const std::string &id)
    {
        TTaskSchedulerControl c(name, id);
        c.ProgramPath = program;
        return c;
    }

    std::string file(const std::string &name) { return qvtest::readFile(units + "/" + name); }
    bool exists(const std::string &name) { return fs::exists(units + "/" + name); }

    std::string units = SystemdScheduler::unitFolder();
    std::string program;
    qvtest::SystemctlStub stub;
    std::string shownTitle;
    std::vector<std::string> shown;
};

std::string triggersText(TTaskSchedulerControl &c)
{
    std::string text;
    c.GetTriggersText(text);
    return text;
}

} // namespace

TEST_F(SystemTimerEntry, NewEntryWritesBothUnitsExactly)
{
    auto c = control("Daily copy", "ABC");
    EXPECT_EQ(c.WorkItemName, "");
    ASSERT_TRUE(c.EditSchedule());
    EXPECT_EQ(c.WorkItemName, "quorvellant-ABC");
    EXPECT_EQ(shownTitle, "Quorvellant (Daily copy, ID ABC)");
    EXPECT_EQ(shown, std::vector<std::string>{});
    const std::string folder = program.substr(0, program.rfind('/') + 1);
    // "%" is a specifier everywhere; "$" is expanded in arguments only, never in the program's path.
    auto escaped = [](std::string s) {
        std::string out;
        for (char ch : s) {
            out += ch == '%' ? std::string("%%") : std::string(1, ch);
        }
        return out;
    };
    EXPECT_EQ(file("quorvellant-ABC.service"), "[Unit]\n"
                                               "Description=Quorvellant (Daily copy, ID ABC)\n\n"
                                               "[Service]\n"
                                               "Type=oneshot\n"
                                               "ExecStart=\"" +
                                                   escaped(program) +
                                                   "\" /RunProjectById=ABC /ExitWhenIdle\n"
                                                   "WorkingDirectory=" +
                                                   escaped(folder) + "\n");
    EXPECT_EQ(file("quorvellant-ABC.timer"), "[Unit]\n"
                                             "Description=Quorvellant (Daily copy, ID ABC)\n\n"
                                             "[Timer]\n"
                                             "OnCalendar=Mon *-*-* 09:00\n"
                                             "Persistent=true\n\n"
                                             "[Install]\n"
                                             "WantedBy=timers.target\n");
    // Each change asks for the manager first.
    EXPECT_EQ(stub.takeCalls(), (std::vector<std::string>{"--user is-system-running", "--user daemon-reload",
                                                           "--user is-system-running", "--user daemon-reload",
                                                           "--user enable --now quorvellant-ABC.timer"}));
    // No temporary file is left beside them.
    EXPECT_EQ(std::distance(fs::directory_iterator(units), fs::directory_iterator()), 2);
}

TEST_F(SystemTimerEntry, IdIsEscapedAsSystemdEscapeDoes)
{
    const std::string id = "a/b c-\xc3\xa9";
    const qvtest::CommandResult oracle = qvtest::runCommand({"systemd-escape", id});
    ASSERT_EQ(oracle.exitCode, 0) << "systemd-escape is needed: " << oracle.output;
    const std::string expected = oracle.output.substr(0, oracle.output.find('\n'));
    EXPECT_EQ(expected, "a-b\\x20c\\x2d\\xc3\\xa9");
    EXPECT_EQ(SystemScheduler::escapeId(id), expected);
    for (const std::string other : {".hidden", "x.y_z:1", "UPPER", "tab\there", "$%"}) {
        const qvtest::CommandResult o = qvtest::runCommand({"systemd-escape", other});
        EXPECT_EQ(SystemScheduler::escapeId(other) + "\n", o.output) << other;
    }
    auto c = control("Task", id);
    ASSERT_TRUE(c.EditSchedule());
    EXPECT_TRUE(exists("quorvellant-" + expected + ".service"));
    EXPECT_TRUE(exists("quorvellant-" + expected + ".timer"));
    EXPECT_NE(file("quorvellant-" + expected + ".service").find(" \"/RunProjectById=a/b c-\xc3\xa9\" "),
              std::string::npos);
    // Found again by its ID.
    EXPECT_EQ(control("Task", id).WorkItemName, "quorvellant-" + expected);
}

TEST_F(SystemTimerEntry, RenamedTaskFindsItsEntry)
{
    auto first = control("Daily copy", "ABC");
    ASSERT_TRUE(first.EditSchedule());
    stub.takeCalls();
    auto renamed = control("Weekly copy", "ABC");
    EXPECT_EQ(renamed.WorkItemName, "quorvellant-ABC");
    answer(true, {"Fri 18:00"});
    ASSERT_TRUE(renamed.EditSchedule());
    EXPECT_EQ(shown, std::vector<std::string>{"Mon *-*-* 09:00"});
    EXPECT_EQ(std::distance(fs::directory_iterator(units), fs::directory_iterator()), 2);
    // The service is not written again; the timer takes the new triggers at once.
    EXPECT_EQ(stub.takeCalls(),
              (std::vector<std::string>{"--user is-system-running", "--user daemon-reload",
                                        "--user enable --now quorvellant-ABC.timer",
                                        "--user restart quorvellant-ABC.timer"}));
    EXPECT_EQ(triggersText(renamed), "Fri 18:00");
}

// A task's entry is the unit of exactly its ID: never one whose name merely holds it, whichever
// of two IDs is part of the other, and never a unit we did not name.
TEST_F(SystemTimerEntry, EachTaskHasTheUnitOfExactlyItsId)
{
    fs::create_directories(units);
    qvtest::writeFile(units + "/zzz-ABC.service", "[Service]\n");
    qvtest::writeFile(units + "/quorvellant-zABC.timer", "[Timer]\n");
    answer(true, {"Mon *-*-* 09:00"});
    ASSERT_TRUE(control("Task", "1A2B3C").EditSchedule());
    const std::string first = file("quorvellant-1A2B3C.service") + file("quorvellant-1A2B3C.timer");
    for (const char *id : {"2B", "B", "1A2B3", "A2B3C", "1A2B3CD", "ABC"}) {
        SCOPED_TRACE(id);
        auto other = control("Other", id);
        EXPECT_EQ(other.WorkItemName, "");
        EXPECT_EQ(triggersText(other), "Not scheduled.");
        DeleteTaskSchedule(id);
        answer(true, {"Sat 10:00"});
        ASSERT_TRUE(other.EditSchedule());
        EXPECT_EQ(other.WorkItemName, "quorvellant-" + std::string(id));
        auto found = control("Other", id);
        EXPECT_EQ(triggersText(found), "Sat 10:00");
        DeleteTaskSchedule(id);
        EXPECT_FALSE(exists("quorvellant-" + std::string(id) + ".timer"));
        // The longer ID's units are untouched by all of it and still found.
        EXPECT_EQ(file("quorvellant-1A2B3C.service") + file("quorvellant-1A2B3C.timer"), first);
        EXPECT_EQ(control("Task", "1A2B3C").WorkItemName, "quorvellant-1A2B3C");
    }
    EXPECT_TRUE(exists("quorvellant-zABC.timer"));
    EXPECT_TRUE(exists("zzz-ABC.service"));
}

TEST_F(SystemTimerEntry, TriggerTexts)
{
    auto none = control("Task", "ABC");
    EXPECT_EQ(triggersText(none), "Not scheduled.");
    answer(false, {});
    EXPECT_FALSE(none.EditSchedule()); // cancelled: the service stays, without a timer
    EXPECT_TRUE(exists("quorvellant-ABC.service"));
    EXPECT_FALSE(exists("quorvellant-ABC.timer"));
    EXPECT_EQ(stub.takeCalls(), (std::vector<std::string>{"--user is-system-running", "--user daemon-reload"}));
    EXPECT_EQ(triggersText(none), "No triggers set.");
    qvtest::writeFile(units + "/quorvellant-ABC.timer", "[Timer]\nPersistent=true\n");
    EXPECT_EQ(triggersText(none), "No triggers set.");
    answer(true, {"Mon *-*-* 09:00", "*-*-01 00:00"});
    ASSERT_TRUE(none.EditSchedule());
    EXPECT_EQ(triggersText(none), "Mon *-*-* 09:00\n*-*-01 00:00");
    // OK with an empty list removes the timer and keeps the service.
    stub.takeCalls();
    answer(true, {});
    ASSERT_TRUE(none.EditSchedule());
    EXPECT_FALSE(exists("quorvellant-ABC.timer"));
    EXPECT_TRUE(exists("quorvellant-ABC.service"));
    EXPECT_EQ(stub.takeCalls(), (std::vector<std::string>{"--user is-system-running",
                                                          "--user disable --now quorvellant-ABC.timer",
                                                          "--user daemon-reload"}));
    EXPECT_EQ(triggersText(none), "No triggers set.");
}

TEST_F(SystemTimerEntry, NameWithLineBreaksStaysOneLine)
{
    auto c = control("Daily\ncopy\r\n[Service]\nExecStartPre=/bin/evil %h\\", "ABC");
    ASSERT_TRUE(c.EditSchedule());
    for (const std::string unit : {"quorvellant-ABC.service", "quorvellant-ABC.timer"}) {
        SCOPED_TRACE(unit);
        const std::string text = file(unit);
        EXPECT_NE(text.find("Description=Quorvellant (Daily copy  [Service] ExecStartPre=/bin/evil %%h\\, ID ABC)\n"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("\nExecStartPre"), std::string::npos);
        // The files' own lines only: 7 in the service, 9 in a timer with one trigger.
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), unit.find(".service") != std::string::npos ? 7 : 9);
    }
}

TEST_F(SystemTimerEntry, DeleteDisablesBeforeReloadingAndLeavesNothing)
{
    auto c = control("Task", "ABC");
    ASSERT_TRUE(c.EditSchedule());
    // The link systemctl enable makes (the stub does not).
    fs::create_directories(units + "/timers.target.wants");
    fs::create_symlink(units + "/quorvellant-ABC.timer", units + "/timers.target.wants/quorvellant-ABC.timer");
    stub.takeCalls();
    c.DeleteSchedule();
    EXPECT_EQ(c.WorkItemName, "");
    EXPECT_EQ(stub.takeCalls(), (std::vector<std::string>{"--user is-system-running",
                                                          "--user disable --now quorvellant-ABC.timer",
                                                          "--user daemon-reload"}));
    EXPECT_FALSE(exists("quorvellant-ABC.service"));
    EXPECT_FALSE(exists("quorvellant-ABC.timer"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(units + "/timers.target.wants/quorvellant-ABC.timer")));
    // Nothing to delete: nothing is called.
    c.DeleteSchedule();
    DeleteTaskSchedule("ABC");
    EXPECT_EQ(stub.takeCalls(), std::vector<std::string>{});
}

TEST_F(SystemTimerEntry, FailingOrHangingSystemctlIsReported)
{
    struct Case {
        const char *variable;
        const char *command;
        std::string message;
    };
    const Case cases[] = {
        {"QV_STUB_FAIL", "enable", "systemctl --user enable --now quorvellant-ABC.timer failed: Failed to enable: "
                                   "Access denied"},
        {"QV_STUB_FAIL", "daemon-reload", "systemctl --user daemon-reload failed: Failed to daemon-reload: "
                                          "Access denied"},
        {"QV_STUB_HANG", "enable", "systemctl --user enable --now quorvellant-ABC.timer did not answer within 15 "
                                   "seconds."},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.message);
        fs::remove_all(units);
        ::setenv(k.variable, k.command, 1);
        auto c = control("Task", "ABC");
        try {
            c.EditSchedule();
            ADD_FAILURE() << "no error";
        } catch (const SchedulerError &e) {
            EXPECT_EQ(std::string(e.what()), k.message);
        }
        // Both units or neither: the new entry is gone again, and so is any link to it.
        EXPECT_EQ(c.WorkItemName, "");
        EXPECT_FALSE(exists("quorvellant-ABC.service"));
        EXPECT_FALSE(exists("quorvellant-ABC.timer"));
        EXPECT_FALSE(fs::exists(fs::symlink_status(units + "/timers.target.wants/quorvellant-ABC.timer")));
        ::unsetenv(k.variable);
    }
    // A refused change of an existing timer keeps the old one.
    ASSERT_TRUE(control("Task", "ABC").EditSchedule());
    const std::string before = file("quorvellant-ABC.timer");
    ::setenv("QV_STUB_FAIL", "restart", 1);
    answer(true, {"Sun 12:00"});
    EXPECT_THROW(control("Task", "ABC").EditSchedule(), SchedulerError);
    EXPECT_EQ(file("quorvellant-ABC.timer"), before);
    EXPECT_TRUE(exists("quorvellant-ABC.service"));
    ::unsetenv("QV_STUB_FAIL");
    // A failing disable still removes the files, then reports.
    ::setenv("QV_STUB_FAIL", "disable", 1);
    auto c = control("Task", "ABC");
    ASSERT_EQ(c.WorkItemName, "quorvellant-ABC");
    EXPECT_THROW(c.DeleteSchedule(), SchedulerError);
    EXPECT_FALSE(exists("quorvellant-ABC.service"));
    EXPECT_FALSE(exists("quorvellant-ABC.timer"));
    ::unsetenv("QV_STUB_FAIL");
    fs::remove_all(units);
    // A unit folder that cannot be written (a file in its place stops even the superuser).
    fs::create_directories(fs::path(units).parent_path());
    qvtest::writeFile(units, "");
    try {
        control("Task", "ABC").EditSchedule();
        ADD_FAILURE() << "no error";
    } catch (const SchedulerError &e) {
        EXPECT_NE(std::string(e.what()).find("Cannot write " + units + "/quorvellant-ABC.service: "),
                  std::string::npos)
            << e.what();
    }
    fs::remove(units);
}

TEST_F(SystemTimerEntry, WithoutAUserManagerNothingIsWrittenAndRemovalSucceeds)
{
    for (const char *state : {"offline", "-"}) {
        SCOPED_TRACE(state);
        fs::remove_all(units);
        const std::string path = std::getenv("PATH");
        if (std::string(state) == "-") {
            ::setenv("PATH", qvtest::makeTempDir("emptypath").c_str(), 1); // no systemctl at all
        }
        ::setenv("QV_STUB_STATE", state, 1);
        stub.takeCalls();
        auto c = control("Task", "ABC");
        try {
            c.EditSchedule();
            ADD_FAILURE() << "no error";
        } catch (const SchedulerError &e) {
            EXPECT_EQ(std::string(e.what()).rfind("No systemd user manager answers for this user (", 0), 0u)
                << e.what();
        }
        EXPECT_FALSE(fs::exists(units + "/quorvellant-ABC.service"));
        EXPECT_EQ(control("Task", "ABC").WorkItemName, ""); // and nothing to list
        // Removing what is not there succeeds without asking anyone.
        EXPECT_NO_THROW(DeleteTaskSchedule("ABC"));
        // Units left from before go with their files alone: no manager has them loaded.
        fs::create_directories(units + "/timers.target.wants");
        qvtest::writeFile(units + "/quorvellant-ABC.service", "[Service]\n");
        qvtest::writeFile(units + "/quorvellant-ABC.timer", "[Timer]\n");
        fs::create_symlink(units + "/quorvellant-ABC.timer", units + "/timers.target.wants/quorvellant-ABC.timer");
        EXPECT_NO_THROW(DeleteTaskSchedule("ABC"));
        EXPECT_FALSE(fs::exists(units + "/quorvellant-ABC.service"));
        EXPECT_FALSE(fs::exists(units + "/quorvellant-ABC.timer"));
        EXPECT_FALSE(fs::exists(fs::symlink_status(units + "/timers.target.wants/quorvellant-ABC.timer")));
        ::setenv("PATH", path.c_str(), 1);
        if (std::string(state) == "offline") {
            EXPECT_EQ(stub.takeCalls(), (std::vector<std::string>{"--user is-system-running",
                                                                  "--user is-system-running"}));
        }
    }
    ::setenv("QV_STUB_STATE", "running", 1);
}

TEST_F(SystemTimerEntry, AvailabilityFromTheUserManagersState)
{
    struct Case {
        std::string state; // "" with `hang`: never answers; "-": no systemctl at all
        bool hang;
        bool available;
    };
    const Case cases[] = {
        {"running", false, true}, {"degraded", false, true}, {"starting", false, true},
        {"offline", false, false}, {"unknown", false, false}, {"", false, false},
        {"running", true, false}, {"-", false, false},
    };
    for (const Case &k : cases) {
        SystemdScheduler scheduler; // each one probes once
        SCOPED_TRACE(k.state + (k.hang ? " (hangs)" : ""));
        ::setenv("QV_STUB_STATE", k.state.c_str(), 1);
        if (k.hang) {
            ::setenv("QV_STUB_HANG", "is-system-running", 1);
        }
        const std::string path = std::getenv("PATH");
        if (k.state == "-") {
            ::setenv("PATH", qvtest::makeTempDir("emptypath").c_str(), 1);
        }
        EXPECT_EQ(scheduler.available(), k.available);
        ::setenv("PATH", path.c_str(), 1);
        ::unsetenv("QV_STUB_HANG");
    }
    // The answer is kept: the probe's process is not started again.
    ::setenv("QV_STUB_STATE", "running", 1);
    SystemdScheduler kept;
    EXPECT_TRUE(kept.available());
    ::setenv("QV_STUB_STATE", "offline", 1);
    EXPECT_TRUE(kept.available());
}

// An ID that no unit name can hold is refused before anything is printed or written, with the
// reason, by the tool and by the dialog's control alike; the longest ID that fits is taken.
TEST_F(SystemTimerEntry, IdsNoUnitNameCanHoldAreRefusedFirst)
{
    const std::string longest(235, 'A'); // "quorvellant-" + ID + ".service": 255 bytes
    struct Case
    {
        std::string id;
        const char *reason;
    };
    const Case cases[] = {
        {"A\tB", "control character"},     {"A\x1b[2J", "control character"},
        {"AB\xff\xfe", "not valid UTF-8"}, {"A\tB\xff", "control character"},
        {longest + "A", "256 bytes"},      {std::string(60, '-'), "260 bytes"}, // each "-" is written "\x2d"
    };
    const std::string tool = qvtest::binPath("qv-systimer");
    for (const Case &k : cases) {
        SCOPED_TRACE(k.reason);
        for (const char *command : {"add", "show", "remove"}) {
            std::vector<std::string> argv = {tool, "--program", program, command, "--id", k.id};
            if (std::string(command) == "add") {
                argv.insert(argv.end(), {"--name", "Task", "Mon *-*-* 09:00"});
            }
            const auto r = qvtest::runCommand(argv, 60);
            EXPECT_EQ(r.exitCode, 2) << command << ": " << r.output;
            EXPECT_NE(r.output.find(k.reason), std::string::npos) << r.output;
            EXPECT_EQ(r.output.find("next start"), std::string::npos) << r.output;
        }
        auto c = control("Task", k.id);
        try {
            c.EditSchedule();
            ADD_FAILURE() << "no error";
        } catch (const SchedulerError &e) {
            EXPECT_NE(std::string(e.what()).find(k.reason), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(units) && !fs::is_empty(units));
        EXPECT_EQ(stub.takeCalls(), std::vector<std::string>{});
    }
    const auto made = qvtest::runCommand(
        {tool, "--program", program, "add", "--id", longest, "--name", "Task", "Mon *-*-* 09:00"}, 60);
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_TRUE(exists("quorvellant-" + longest + ".service"));
    // A trigger edited into the file by hand is shown escaped too.
    qvtest::writeFile(units + "/quorvellant-" + longest + ".timer", "[Timer]\nOnCalendar=Sat\x1b[2J 10:00\n");
    const auto shown = qvtest::runCommand({tool, "show", "--id", longest}, 60);
    EXPECT_EQ(shown.output, "quorvellant-" + longest + "\nSat\\x1b[2J 10:00\n");
    EXPECT_EQ(qvtest::runCommand({tool, "remove", "--id", longest}, 60).exitCode, 0);
    EXPECT_FALSE(exists("quorvellant-" + longest + ".timer"));
}
