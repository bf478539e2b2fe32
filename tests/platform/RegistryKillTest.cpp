// A save killed with SIGKILL half-way leaves the store exactly as before it or exactly as after it.
// qv-test-timeout: 300
#include "platform/RegistryFile.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace qv;

namespace {

const char *const kProgramKey = "\\Software\\Tavimundrelo\\Quorvellant";
constexpr int kKeys = 40;
constexpr int kValuesPerKey = 1000;

// The same keys and value names, with data tagged `tag`; the new state adds a last key.
std::string bigSettingsFile(const std::string &tag, bool withMarker)
{
    std::string out = "REGEDIT4\r\n";
    for (int k = 0; k < kKeys; ++k) {
        out += "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Tasks\\" + std::to_string(k) +
               "]\r\n";
        for (int i = 0; i < kValuesPerKey; ++i) {
            out += "\"v" + std::to_string(i) + "\"=\"" + tag + "-" + std::to_string(k) + "-" +
                   std::to_string(i) + "\"\r\n";
        }
    }
    if (withMarker) {
        out += "\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Done]\r\n\"Marker\"=dword:"
               "00000001\r\n";
    }
    return out;
}

// Runs qv-regtool import --progress and kills it: after its first progress line (`afterProgress`),
// after `delayMs`, or never (delayMs < 0). Returns true when it was killed before it ended.
bool runAndKill(const std::string &db, const std::string &file, bool afterProgress, int delayMs)
{
    int pipeFd[2];
    if (::pipe(pipeFd) != 0) {
        ADD_FAILURE() << "pipe";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFd[0]);
    std::string tool = qvtest::binPath("qv-regtool");
    std::vector<std::string> args = {tool, "--db", db, "import", "--progress", file};
    std::vector<char *> argv;
    for (std::string &a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFd[1]);
    if (rc != 0) {
        ::close(pipeFd[0]);
        ADD_FAILURE() << "cannot start " << tool;
        return false;
    }
    std::string seen;
    if (afterProgress) {
        char buf[256];
        while (seen.find("progress") == std::string::npos) {
            ssize_t n = ::read(pipeFd[0], buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            seen.append(buf, static_cast<std::size_t>(n));
        }
        ::kill(pid, SIGKILL);
    } else if (delayMs >= 0) {
        ::usleep(static_cast<useconds_t>(delayMs) * 1000);
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(pipeFd[0]);
    if (afterProgress) {
        EXPECT_NE(seen.find("progress"), std::string::npos) << "the import never reported progress";
    }
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

std::string exportOf(const std::string &db)
{
    RegistryStore store(db);
    return exportRegistryText(store, RegRoot::CurrentUser, kProgramKey);
}

std::string stateAfterImport(const std::string &db, const std::string &text)
{
    RegistryStore store(db);
    RegistryImportOptions opt;
    opt.allowedKey = kProgramKey;
    importRegistryText(store, text, opt);
    return exportRegistryText(store, RegRoot::CurrentUser, kProgramKey);
}

} // namespace

class RegistryKilledSave : public ::testing::Test
{
};

TEST_F(RegistryKilledSave, OldOrNewStateNeverAMix)
{
    const std::string dir = qvtest::makeTempDir("kill");
    const std::string oldText = bigSettingsFile("old", false);
    const std::string newText = bigSettingsFile("new", true);
    const std::string newFile = dir + "/new.reg";
    qvtest::writeFile(newFile, newText);
    const std::string oldState = stateAfterImport(dir + "/expect-old.db", oldText);
    const std::string newState = stateAfterImport(dir + "/expect-new.db", newText);
    ASSERT_NE(oldState, newState);

    struct Round
    {
        bool afterProgress;
        int delayMs;
    };
    std::vector<Round> rounds = {{true, 0}, {true, 0}, {true, 0}, {false, -1}};
    std::mt19937 rng(7);
    for (int i = 0; i < 12; ++i) {
        rounds.push_back({false, static_cast<int>(rng() % 400)});
    }
    int killedMidway = 0;
    int olds = 0;
    int news = 0;
    for (std::size_t r = 0; r < rounds.size(); ++r) {
        const std::string db = dir + "/round" + std::to_string(r) + ".db";
        ASSERT_EQ(stateAfterImport(db, oldText), oldState);
        bool killed = runAndKill(db, newFile, rounds[r].afterProgress, rounds[r].delayMs);
        const std::string state = exportOf(db);
        const bool isOld = state == oldState;
        const bool isNew = state == newState;
        EXPECT_TRUE(isOld || isNew) << "round " << r << ": the store holds a mix of both saves";
        olds += isOld;
        news += isNew;
        if (rounds[r].afterProgress) {
            EXPECT_TRUE(killed);
            EXPECT_TRUE(isOld) << "killed before its commit, yet the new state is there";
            killedMidway += killed;
        }
        if (rounds[r].delayMs < 0 && !rounds[r].afterProgress) {
            EXPECT_FALSE(killed);
            EXPECT_TRUE(isNew) << "a save that ran to its end is missing";
        }
    }
    EXPECT_EQ(killedMidway, 3);
    RecordProperty("old_states", olds);
    RecordProperty("new_states", news);
}
