// The command-line tools at the edges of their arguments: a number out of range, a value of the
// wrong type, a path that is not there, a store that does not exist. Each is refused with a
// message naming what was expected and the right exit status, and nothing is made or run.
// qv-test-timeout: 120
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

bool exists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

TEST(ToolArguments, RefusedWithTheReasonAndNothingDone)
{
    const std::string base = qvtest::makeTempDir("tool-args");
    const std::string src = base + "/src", dst = base + "/dst", store = base + "/none/x.db";
    qvtest::writeFile(src + "/a.txt", "a");
    const std::vector<std::string> run = {"--source", src, "--dest", dst};
    struct Case {
        std::string tool;
        std::vector<std::string> args;
        int exitCode;
        std::string says;
    };
    auto withRun = [&run](std::vector<std::string> more) {
        more.insert(more.begin(), run.begin(), run.end());
        return more;
    };
    const std::vector<Case> cases = {
        {"qv-run", withRun({"--versions-num", "-1"}), 2, "--versions-num: -1 (a whole number from 0 to 5000)"},
        {"qv-run", withRun({"--archive-num", "5001"}), 2, "--archive-num: 5001 (a whole number from 0 to 5000)"},
        {"qv-run", withRun({"--bandwidth-kbits", "-5"}), 2, "--bandwidth-kbits: -5 (a whole number from 1 to"},
        {"qv-run", withRun({"--bandwidth-kbits", "0"}), 2, "--bandwidth-kbits: 0 (a whole number from 1 to"},
        {"qv-run", withRun({"--compress", base + "/a.zip", "--level", "99"}), 2, "from 0 to 9"},
        {"qv-run", withRun({"--compress", base + "/a.zip", "--level", "-3"}), 2, "from 0 to 9"},
        {"qv-zip", {"a", "-l", "99", base + "/z.zip", src, "a.txt"}, 2, "a whole number from 0 to 9"},
        {"qv-zip", {"a", "-l", "-3", base + "/z.zip", src, "a.txt"}, 2, "a whole number from 0 to 9"},
        {"qv-zip", {"fs", "label", base + "/nonexistent/x"}, 1, "No such file or directory"},
        {"qv-regtool", {"--db", base + "/r.db", "set", "\\Software\\X", "Count", "dword", "zz"}, 2,
         "the dword value \"Count\" needs a 32-bit number"},
        {"qv-regtool", {"--db", store, "list", "\\Software"}, 1, "the settings store " + store + " does not exist"},
        {"qv-regtool", {"--db", store, "get", "\\Software", "x"}, 1, "does not exist"},
        {"qv-regtool", {"--db", store, "export", base + "/out.reg"}, 1, "does not exist"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> argv = {qvtest::binPath(c.tool)};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const qvtest::CommandResult r = qvtest::runCommand(argv, 60);
        std::string what = c.tool;
        for (const std::string &a : c.args) {
            what += " " + a;
        }
        EXPECT_EQ(r.exitCode, c.exitCode) << what << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << what << "\n" << r.output;
    }
    // Nothing was run, written or made: no copy, no archive, no store or its folder.
    EXPECT_FALSE(exists(dst));
    EXPECT_FALSE(exists(base + "/a.zip"));
    EXPECT_FALSE(exists(base + "/z.zip"));
    EXPECT_FALSE(exists(base + "/none"));
    EXPECT_FALSE(exists(base + "/out.reg"));
    // The control: the same tools with good values do their work.
    EXPECT_EQ(qvtest::runCommand({qvtest::binPath("qv-run"), "--source", src, "--dest", dst, "--versions-num", "0"})
                  .exitCode,
              0);
    EXPECT_TRUE(exists(dst + "/a.txt"));
    EXPECT_EQ(qvtest::runCommand({qvtest::binPath("qv-zip"), "a", "-l", "9", base + "/z.zip", src, "a.txt"}).exitCode,
              0);
    EXPECT_EQ(qvtest::runCommand({qvtest::binPath("qv-regtool"), "--db", store, "set", "\\Software\\X", "Count",
                                  "dword", "0x10"})
                  .exitCode,
              0);
    EXPECT_TRUE(exists(store));
    qvtest::runShell("rm -rf '" + base + "'");
}

} // namespace
