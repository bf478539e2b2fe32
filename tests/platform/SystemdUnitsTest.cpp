// The systemd unit files of scheduler entries: quoting rules, and every generated pair checked by
// `systemd-analyze verify` (installed by the set-up script; missing, these tests fail).
// qv-test-labels: interop
// qv-test-timeout: 180
#include "platform/Processes.h"
#include "platform/SystemdUnits.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace qv;
namespace fs = std::filesystem;

TEST(SystemdUnitText, ExecWordsAndDescriptions)
{
    struct Case {
        std::string word;
        bool program;
        std::string exec;
    };
    const Case cases[] = {
        {"/usr/bin/quorvellant", true, "/usr/bin/quorvellant"},
        {"/RunProjectById=ABC", false, "/RunProjectById=ABC"},
        {"/opt/my app/qv", true, "\"/opt/my app/qv\""},
        {"/opt/100%/$HOME/qv", true, "/opt/100%%/$HOME/qv"},
        {"/RunProjectById=$x%y", false, "/RunProjectById=$$x%%y"},
        {"say \"hi\" \\ now", false, "\"say \\\"hi\\\" \\\\ now\""},
        {"line\nbreak\ttab", false, "\"line\\x0abreak\\x09tab\""},
        {"a;b", false, "\"a;b\""},
        {"-dash", false, "\"-dash\""},
        {"", false, "\"\""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(SystemdUnits::execArgument(c.word, c.program), c.exec);
    }
    EXPECT_EQ(SystemdUnits::description("a\nb\r\x7f" "c 100%\\"), "a b  c 100%%");
    EXPECT_EQ(SystemdUnits::calendarsOf(SystemdUnits::timerText("d", {"daily", "Mon 09:00"})),
              (std::vector<std::string>{"daily", "Mon 09:00"}));
    EXPECT_EQ(SystemdUnits::calendarsOf("OnCalendar=daily\nOnCalendar=\nOnCalendar=weekly\n"),
              std::vector<std::string>{"weekly"});
    EXPECT_THROW(SystemdUnits::timerText("d", {"daily\n[Service]"}), SchedulerError);
    SystemScheduler::Entry relative{"quorvellant-A", "d", {"qv"}, "/tmp/"};
    EXPECT_THROW(SystemdUnits::serviceText(relative), SchedulerError);
    for (const std::string path : {"/opt/a\"b/qv", "/opt/a'b/qv", "/opt/a\\b/qv", "/opt/a\nb/qv"}) {
        SystemScheduler::Entry refused{"quorvellant-A", "d", {path}, "/tmp/"};
        EXPECT_THROW(SystemdUnits::serviceText(refused), SchedulerError) << path;
    }
    SystemScheduler::Entry badFolder{"quorvellant-A", "d", {"/bin/true"}, "/tmp/a\nb/"};
    EXPECT_THROW(SystemdUnits::serviceText(badFolder), SchedulerError);
}

TEST(SystemdUnitText, EveryGeneratedPairPassesVerify)
{
    ASSERT_TRUE(qvtest::haveTool("systemd-analyze")) << "systemd-analyze is part of the set-up; it is missing";
    const std::string root = qvtest::makeTempDir("verify");
    const std::string runtime = root + "/runtime";
    const std::string units = root + "/config/systemd/user";
    fs::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    fs::create_directories(units);
    struct Case {
        std::string folder; // of the program, below root
        std::string id;
        std::string name;
        std::vector<std::string> calendars;
    };
    const Case cases[] = {
        {"plain", "ABC", "Daily copy", {"Mon *-*-* 09:00"}},
        {"my 100% $HOME", "a/b c-\xc3\xa9", "Name with\nline break %h $USER", {"daily", "*-*-01 03:00"}},
        {"semi;colon #hash & -dash", ".hidden$\"'\\", "\xc3\xa9t\xc3\xa9 \\", {"Sat,Sun 10:00", "hourly"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string folder = root + "/" + c.folder + "/";
        fs::create_directories(folder);
        const std::string program = folder + "quorvellant";
        qvtest::writeFile(program, "#!/bin/sh\nexit 0\n");
        ::chmod(program.c_str(), 0755);
        const std::string name = "quorvellant-" + SystemdUnits::escapeName(c.id);
        const std::string title = "Quorvellant (" + c.name + ", ID " + c.id + ")";
        SystemScheduler::Entry entry{name, title, {program, "/RunProjectById=" + c.id, "/ExitWhenIdle"}, folder};
        qvtest::writeFile(units + "/" + name + ".service", SystemdUnits::serviceText(entry));
        qvtest::writeFile(units + "/" + name + ".timer", SystemdUnits::timerText(title, c.calendars));

        Processes::Command verify;
        verify.argv = {"systemd-analyze", "verify", "--user", units + "/" + name + ".service",
                       units + "/" + name + ".timer"};
        verify.environment = {"XDG_CONFIG_HOME=" + root + "/config", "XDG_RUNTIME_DIR=" + runtime, "HOME=" + root,
                              "LC_ALL=C"};
        verify.timeoutMs = 60000;
        const Processes::Outcome o = Processes::execute(verify);
        EXPECT_EQ(o.end, Processes::End::Exited);
        EXPECT_EQ(o.exitCode, 0) << o.err << o.out;
        EXPECT_EQ(o.err, "");

        // A broken unit is caught: the same check fails for a program that is not there.
        if (&c == &cases[0]) {
            SystemScheduler::Entry missing = entry;
            missing.command[0] = folder + "missing";
            qvtest::writeFile(units + "/" + name + ".service", SystemdUnits::serviceText(missing));
            const Processes::Outcome bad = Processes::execute(verify);
            EXPECT_NE(bad.exitCode, 0) << "verify accepted a missing program";
        }
    }
}
