// The exit code CTest sees from a test program: skips show as skips, and in CI only listed skips
// pass; a failure is never hidden by a skip beside it.
#include "support/SkipReport.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ProbeCase
{
    const char *what;
    const char *ci;       // value of CI, nullptr: unset
    const char *accepted; // contents of the accepted-skips file
    const char *filter;
    int exitCode;
    const char *mustPrint;
};

const ProbeCase kCases[] = {
    {"all pass", nullptr, "", "SkipProbe.Passes", 0, "[  PASSED  ] 1 test"},
    {"a skip outside CI", nullptr, "", "SkipProbe.Passes:SkipProbe.Skips", 77,
     "qv-test: SKIPPED SkipProbe.Skips: probe skip reason"},
    {"CI=false is not CI", "false", "", "SkipProbe.Skips", 77, "qv-test: SKIPPED SkipProbe.Skips"},
    {"CI=0 is not CI", "0", "", "SkipProbe.Skips", 77, "qv-test: SKIPPED SkipProbe.Skips"},
    {"an unlisted skip in CI", "true", "Other.Test  some reason\n", "SkipProbe.*:-SkipProbe.Fails", 1,
     "qv-test: FAILED SkipProbe.Skips: skipped in CI"},
    {"a listed skip in CI", "1", "# comment\nSkipProbe.Skips   the probe always skips\n", "SkipProbe.Skips", 77,
     "(accepted in CI: the probe always skips)"},
    {"a pattern in the list", "1", "SkipProbe.Sk*  by pattern\n", "SkipProbe.Skips", 77, "accepted in CI: by pattern"},
    {"a listed skip without reason", "1", "SkipProbe.Skips\n", "SkipProbe.Skips", 1, "qv-test: FAILED SkipProbe.Skips"},
    {"a skip beside a failure", nullptr, "", "SkipProbe.*", 1, "probe failure"},
    {"a listed skip beside a failure in CI", "1", "SkipProbe.Skips  listed\n", "SkipProbe.*", 1, "probe failure"},
};

TEST(SkipReport, ExitCodesForCTest)
{
    const std::string dir = qvtest::makeTempDir("skips");
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.what);
        const std::string list = dir + "/accepted.txt";
        qvtest::writeFile(list, c.accepted);
        std::vector<std::string> argv = {"env", "-u", "CI", "QV_CI_ACCEPTED_SKIPS=" + list};
        if (c.ci != nullptr) {
            argv.push_back(std::string("CI=") + c.ci);
        }
        argv.push_back(qvtest::binPath("qv_skip_probe"));
        argv.push_back(std::string("--gtest_filter=") + c.filter);
        const auto r = qvtest::runCommand(argv, 60);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
        EXPECT_NE(r.output.find(c.mustPrint), std::string::npos) << r.output;
    }
}

} // namespace
