// qv-run with a stored task that dials: the task goes into the store through qv-regtool, the
// stand-in nmcli on PATH records what the run brought up and down.
// qv-test-timeout: 120
#include "EngineTestSupport.h"

#include "core/runs/Task.h"
#include "core/runs/TaskListStorage.h"
#include "support/NmcliStub.h"

#include <gtest/gtest.h>

namespace {

using namespace enginetest;
using Strings = std::vector<std::string>;

class EngineDialQvRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        base = qvtest::makeTempDir("dial-qvrun");
        put(base + "/src/a.txt", "a");
        // The task as the program stores it, exported and wiped, then imported by the tool.
        qv::TTasksList tasks;
        auto task = std::make_unique<qv::TTask>();
        task->Name = "Dial acceptance";
        task->Source = base + "/src";
        task->DestLocal = base + "/dst";
        qv::TTaskFilterItem all;
        all.FilterType = qv::fitInclude;
        all.fnWildcard = "*.*";
        task->Filters.Add(all);
        id = task->ID;
        tasks.Add(std::move(task));
        qv::saveGroupsAndTasks({}, tasks, {});
        const std::string key = "\\Software\\Tavimundrelo\\Quorvellant\\Tasks\\" + id;
        const std::string reg = base + "/task.reg";
        ASSERT_EQ(tool({"export", reg, "HKEY_CURRENT_USER" + key}).exitCode, 0);
        std::string text = qvtest::readFile(reg);
        text += "\n[HKEY_CURRENT_USER" + key + "\\Dial]\n\"UseDefault\"=dword:00000000\n"
                "\"DialEntry\"=\"VPN1\"\n\"DisconnectAfter\"=dword:00000001\n";
        qv::TTasksList none;
        qv::saveGroupsAndTasks({}, none, {});
        qvtest::writeFile(reg, text);
        const auto imported = tool({"import", reg});
        ASSERT_EQ(imported.exitCode, 0) << imported.output;
        ASSERT_EQ(tool({"get", key + "\\Dial", "DialEntry"}).output, "VPN1\n");
    }

    static qvtest::CommandResult tool(const Strings &args)
    {
        Strings argv = {qvtest::binPath("qv-regtool")};
        argv.insert(argv.end(), args.begin(), args.end());
        return qvtest::runCommand(argv, 60);
    }
    qvtest::CommandResult qvRun()
    {
        return qvtest::runCommand({qvtest::binPath("qv-run"), "--name", "Dial acceptance"}, 60);
    }

    std::string base, id;
};

TEST_F(EngineDialQvRun, DialsBeforeAndHangsUpAfterTheRun)
{
    qvtest::NmcliStub nm;
    nm.setProfiles({"VPN1", "VPN2"});
    nm.setActive({"VPN2"});
    const auto r = qvRun();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Connecting to VPN1.\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Connection established (VPN1).\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("WARNING: Disconnecting from VPN1.\n"), std::string::npos) << r.output;
    EXPECT_EQ(qvtest::readFile(base + "/dst/a.txt"), "a");
    Strings changes;
    for (const std::string &c : nm.takeCalls()) {
        if (c.find("[show]") == std::string::npos) {
            changes.push_back(c);
        }
    }
    EXPECT_EQ(changes, (Strings{"[--wait][90][connection][up][id][VPN1]", "[connection][down][id][VPN1]"}));
    EXPECT_EQ(nm.active(), Strings{"VPN2"});
}

TEST_F(EngineDialQvRun, AConnectionMadeOutsideIsLeftUp)
{
    qvtest::NmcliStub nm;
    nm.setProfiles({"VPN1"});
    nm.setActive({"VPN1"});
    const auto r = qvRun();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("WARNING: Already connected to RAS (VPN1). Skipping.\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("WARNING: Connection established not by Quorvellant application. Disconnection "
                            "skipped (VPN1).\n"),
              std::string::npos)
        << r.output;
    for (const std::string &c : nm.takeCalls()) {
        EXPECT_EQ(c.find("[down]"), std::string::npos) << c;
        EXPECT_EQ(c.find("[up]"), std::string::npos) << c;
    }
    EXPECT_EQ(nm.active(), Strings{"VPN1"});
}

} // namespace
