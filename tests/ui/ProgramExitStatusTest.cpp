// The real program's exit status after the runs its command line asked for, without a display:
// 3 when a run finished but left files undone (a destination folder that cannot be created, a
// read-only destination, one out of room), 1 when a run was aborted or refused before it started,
// and 1 at once when nothing it was asked to run exists.
// qv-test-labels: slow
// qv-test-timeout: 240
#include "ProgramProcessFixture.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class ProgramExitStatus : public ProgramProcessFixture
{
protected:
    struct StoredTask {
        std::string id;
        std::string source;
        std::string destination;
    };
    // Puts the tasks into the program's store through qv-regtool, as a user's shell would.
    void storeTasks(const std::vector<StoredTask> &tasks)
    {
        const std::string key = "HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant";
        std::ostringstream reg;
        reg << "REGEDIT4\r\n\r\n[" << key << "\\Main]\r\n\"FirstStart\"=dword:00000000\r\n\r\n";
        for (const StoredTask &t : tasks) {
            const std::string k = key + "\\Tasks\\" + t.id;
            reg << "[" << k << "]\r\n\"Name\"=\"" << t.id << "\"\r\n\"ID\"=\"" << t.id
                << "\"\r\n\"TaskType\"=\"ttSimpleCopy\"\r\n\r\n"
                << "[" << k << "\\Source]\r\n\"Source\"=\"" << t.source << "\"\r\n"
                << "\"SourceIncludeSubfolders\"=dword:00000001\r\n\r\n"
                << "[" << k << "\\Destination]\r\n\"DestLocal\"=\"" << t.destination << "\"\r\n\r\n"
                << "[" << k << "\\Filters\\1]\r\n\"Enabled\"=dword:00000001\r\n\"FilterType\"=\"fitInclude\"\r\n"
                << "\"FilterKind\"=\"fikFileName\"\r\n\"fnKind\"=\"fnkWildcard\"\r\n\"fnWildcard\"=\"*.*\"\r\n\r\n";
        }
        qvtest::writeFile(home + "/tasks.reg", reg.str());
        std::vector<std::string> import = {"env"};
        import.insert(import.end(), env.begin(), env.end());
        import.insert(import.end(), {qvtest::binPath("qv-regtool"), "import", home + "/tasks.reg"});
        const qvtest::CommandResult r = qvtest::runCommand(import);
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
};

TEST_F(ProgramExitStatus, RunsThatLeaveFilesUndoneOrAbortSayItInTheExitStatus)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to mount file systems in a private mount namespace";
    }
    QV_REQUIRE_TOOL("unshare");
    const std::string src = home + "/src", ro = home + "/ro", full = home + "/full";
    for (int i = 0; i < 8; ++i) {
        qvtest::writeFile(src + "/f" + std::to_string(i) + ".txt", std::string(1000, 'x'));
    }
    qvtest::writeFile(src + "/sub/g.txt", "g");
    qvtest::writeFile(home + "/blocked/sub", "a file where a folder should be");
    qvtest::runShell("mkdir -p '" + home + "/empty' '" + ro + "' '" + full + "'");
    struct Case {
        std::string id;
        std::string source;
        std::string destination;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {"UNDONE00000000000001", src, home + "/blocked", 3},     // sub cannot be created
        {"UNDONE00000000000002", src, ro, 3},                    // read-only
        {"UNDONE00000000000003", src, full, 3},                  // out of room (no inode left)
        {"ABORTED0000000000004", home + "/empty", home + "/dst", 1}, // nothing to copy: aborted
        {"REFUSED0000000000006", src, home + "/blocked/sub/dst", 1}, // refused by the task's check
        {"DONE0000000000000005", src, home + "/good", 0},        // the control
    };
    std::vector<StoredTask> tasks;
    for (const Case &c : cases) {
        tasks.push_back({c.id, c.source, c.destination});
    }
    storeTasks(tasks);
    std::string script = "echo in-namespace; mount -t tmpfs -o size=1m,ro tmpfs '" + ro +
                         "' && mount -t tmpfs -o size=4m,nr_inodes=4 tmpfs '" + full + "' || exit 77\n";
    for (const Case &c : cases) {
        script += "env -i";
        for (const std::string &e : env) {
            script += " '" + e + "'";
        }
        script += " '" + program + "' /RunProjectById=" + c.id + " /ExitWhenIdle >> '" + home +
                  "/runs.log' 2>&1; echo $? > '" + home + "/" + c.id + ".rc'\n";
    }
    const qvtest::CommandResult r = qvtest::runCommand({"unshare", "-m", "sh", "-c", script}, 200);
    if (r.output.find("in-namespace") == std::string::npos || r.exitCode == 77) {
        GTEST_SKIP() << "no private mount namespace or tmpfs mount here: " << r.output;
    }
    for (const Case &c : cases) {
        EXPECT_EQ(qvtest::readFile(home + "/" + c.id + ".rc"), std::to_string(c.exitCode) + "\n")
            << c.id << "\n" << qvtest::readFile(home + "/runs.log");
    }
    EXPECT_EQ(qvtest::readFile(home + "/good/f0.txt"), std::string(1000, 'x'));
}

TEST_F(ProgramExitStatus, NothingToRunEndsAtOnce)
{
    // The idle end of /ExitWhenIdle as it ships (31 seconds): an end within 20 can only be the
    // start's own.
    std::erase(env, std::string("QV_TEST_IDLE_EXIT_SECONDS=5"));
    EXPECT_EQ(runToEnd({"/RunProjectById=NOPE", "/ExitWhenIdle"}, 20), 1);
    EXPECT_EQ(runToEnd({"/RunProject=NoSuchTask"}, 20), 1);
    EXPECT_EQ(runToEnd({"/RunGroup=NoSuchGroup", "/SILENT=ON"}, 20), 1);
    EXPECT_EQ(qvtest::readFile(home + "/second.log"),
              "quorvellant: no task has the ID \"NOPE\"\nquorvellant: no task is named \"NoSuchTask\"\n"
              "quorvellant: no task group is named \"NoSuchGroup\"\n");
    // The control: a start that also asks for something that exists keeps running.
    const pid_t p = spawn({"/RunProject=NoSuchTask", "/RunAll"});
    EXPECT_EQ(waitFor(p, 3), -2);
    EXPECT_EQ(runToEnd({"/EXITNOW"}), 0);
    EXPECT_EQ(waitFor(p, 20), 1); // its own line named a task that does not exist
}

} // namespace
