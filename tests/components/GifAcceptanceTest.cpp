// Runs the shell acceptance script of the GIF tool (tests/gif-acceptance) over its own samples.
// qv-test-labels: interop
// qv-test-timeout: 600
#include "support/GifTestUtil.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(GifAcceptance, QvGifAgainstPillowOnPillowAndConvertSamples)
{
    QV_REQUIRE_PILLOW();
    QV_REQUIRE_TOOL("convert");
    const std::string script = std::string(std::getenv("QV_SOURCE_DIR")) + "/tests/gif-acceptance";
    const qvtest::CommandResult r =
        qvtest::runCommand({giftest::pillowPython(), script, qvtest::binPath("qv-gif")}, 500);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("7 files, 0 with differences"), std::string::npos) << r.output;
}

TEST(GifAcceptance, QvGifReportsBadInputWithoutCrashing)
{
    const std::string dir = qvtest::makeTempDir("qv-gif-bad");
    qvtest::writeFile(dir + "/bad.gif", "GIF90a not a picture");
    qvtest::writeFile(dir + "/ext.gif", std::string("GIF89a\x01\x00\x01\x00\x00\x00\x00\x21\x7f", 15));
    struct Case
    {
        std::vector<std::string> args;
        const char *message;
    };
    const Case cases[] = {
        {{"info", dir + "/bad.gif"}, "Unknown GIF version"},
        {{"decode", dir + "/ext.gif", dir}, "Unrecognized extension block: 7f"},
        {{"info", dir + "/missing.gif"}, "cannot open"},
        {{"encode", dir + "/bad.gif", dir + "/out.gif"}, "cannot read the picture"},
        {{"frobnicate"}, "usage"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> argv{qvtest::binPath("qv-gif")};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const qvtest::CommandResult r = qvtest::runCommand(argv, 60);
        EXPECT_GT(r.exitCode, 0) << c.args[0];
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    }
}

} // namespace
