// Zip writer reliability: an update killed at random moments or stopped by a full disk leaves the
// old archive byte-identical, and the next run leaves no temporary file behind.
// qv-test-labels: interop slow
// qv-test-timeout: 600
#include "ZipWriterFixture.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

extern char **environ;

using namespace zwtest;

namespace {

int countTemporaries(const std::string &dir)
{
    auto r = qvtest::runShell("ls -a '" + dir + "' | grep -c '\\.KPZ'");
    return std::stoi(r.output.empty() ? "0" : r.output);
}

TEST(ZipWriterReliability, KilledUpdateLeavesOldArchive)
{
    QV_REQUIRE_TOOL("unzip");
    const std::string qvzip = qvtest::binPath("qv-zip");
    const std::string dir = qvtest::makeTempDir("kill");
    std::map<std::string, std::string> files;
    for (int i = 0; i < 12; ++i) {
        files["f" + std::to_string(i) + ".bin"] = randomBytes(400000, static_cast<unsigned>(i)) + textBytes(400000);
    }
    writeTree(dir + "/src", files);
    const std::string archive = dir + "/k.zip";
    ASSERT_EQ(qvtest::runCommand({qvzip, "a", archive, dir + "/src", "f0.bin", "f1.bin"}).exitCode, 0);
    const auto update = [&](const std::string &zip) {
        return std::vector<std::string>{qvzip, "a", "-r", "-l", "9", "-P", "pw", zip, dir + "/src", "."};
    };
    // The kills land at random moments inside the length of one whole update, measured here on a
    // copy, so that they fall inside the run on a fast machine as on a slow one.
    const std::string measured = dir + "/measured.zip";
    qvtest::writeFile(measured, qvtest::readFile(archive));
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(qvtest::runCommand(update(measured), 300).exitCode, 0);
    const auto window = std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
    std::mt19937 rng(42);
    int killedBeforeCommit = 0;
    for (int round = 0; round < 12; ++round) {
        const std::string before = qvtest::readFile(archive);
        std::vector<std::string> args = update(archive);
        std::vector<char *> argv;
        for (auto &a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_t pid = -1;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        ASSERT_EQ(posix_spawn(&pid, qvzip.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long long>(rng() % window)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const std::string after = qvtest::readFile(archive);
        if (after != before) {
            // The run got as far as its rename: the archive must then be complete.
            auto t = qvtest::runCommand({"unzip", "-tq", "-P", "pw", archive});
            EXPECT_EQ(t.exitCode, 0) << t.output;
        } else {
            ++killedBeforeCommit;
        }
        auto t = qvtest::runCommand({"unzip", "-tq", "-P", "pw", archive});
        EXPECT_EQ(t.exitCode, 0) << "round " << round << ": " << t.output;
    }
    EXPECT_GT(killedBeforeCommit, 0) << "no kill landed inside a run";
    // The next run removes what the killed ones left.
    ASSERT_EQ(qvtest::runCommand({qvzip, "a", archive, dir + "/src", "f0.bin"}).exitCode, 0);
    EXPECT_EQ(countTemporaries(dir), 0);
}

TEST(ZipWriterReliability, FullDiskLeavesOldArchive)
{
    QV_REQUIRE_TOOL("unshare");
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    const std::string qvzip = qvtest::binPath("qv-zip");
    const std::string dir = qvtest::makeTempDir("full");
    writeTree(dir + "/src", {{"small.txt", textBytes(100000)}, {"big.bin", randomBytes(3 << 20, 7)}});
    // In a private mount namespace: a 2 MiB tmpfs holding an archive, then an update that cannot
    // fit. The script prints the exit code of the update, then whether the archive is unchanged
    // and how many temporary files remain.
    // Only a refused namespace or mount skips: any other failure of the set-up fails the test.
    const std::string script = "echo in-namespace\nset -e\n"
                               "mnt='" + dir + "/mnt'\nmkdir -p \"$mnt\"\n"
                               "mount -t tmpfs -o size=2m tmpfs \"$mnt\" || exit 77\n"
                               "'" + qvzip + "' a \"$mnt/a.zip\" '" + dir + "/src' small.txt >/dev/null\n"
                               "cp \"$mnt/a.zip\" '" + dir + "/before.zip'\n"
                               "set +e\n'" + qvzip + "' a -l 0 \"$mnt/a.zip\" '" + dir + "/src' big.bin > '" + dir +
                               "/out.txt' 2>&1\necho \"rc=$?\"\n"
                               "cmp -s \"$mnt/a.zip\" '" + dir + "/before.zip' && echo same\n"
                               "echo \"temps=$(ls -a \"$mnt\" | grep -c KPZ)\"\n"
                               "umount \"$mnt\"\n";
    auto r = qvtest::runCommand({"unshare", "-m", "--propagation", "private", "sh", "-c", script}, 120);
    if (r.output.find("in-namespace") == std::string::npos) {
        GTEST_SKIP() << "no private mount namespace here: " << r.output;
    }
    if (r.exitCode == 77) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << r.output;
    }
    ASSERT_NE(r.output.find("rc="), std::string::npos) << "the set-up failed (exit " << r.exitCode << "): " << r.output;
    EXPECT_NE(r.output.find("rc=3"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("same"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("temps=0"), std::string::npos) << r.output;
    EXPECT_NE(qvtest::readFile(dir + "/out.txt").find("Not enough room to write archive"), std::string::npos)
        << qvtest::readFile(dir + "/out.txt");
}

} // namespace
