// `cmake --install` into a temporary prefix: every file in its XDG place, a valid menu entry,
// and the installed tools run from there.
// qv-test-labels: interop slow
// qv-test-timeout: 300
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

bool isExecutableFile(const std::string &path)
{
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR) != 0;
}

bool isFile(const std::string &path)
{
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

TEST(CMakeInstall, PutsEveryFileInItsPlaceAndTheToolsRunFromThere)
{
    QV_REQUIRE_TOOL("cmake");
    QV_REQUIRE_TOOL("desktop-file-validate");
    const std::string build = qvtest::binPath("..");
    const std::string prefix = qvtest::makeTempDir("prefix") + "/usr";
    auto r = qvtest::runCommand({"cmake", "--install", build, "--prefix", prefix}, 240);
    ASSERT_EQ(r.exitCode, 0) << r.output;

    for (const char *tool : {"quorvellant", "qv-run", "qv-regtool", "qv-zip", "qv-systimer"}) {
        EXPECT_TRUE(isExecutableFile(prefix + "/bin/" + tool)) << tool;
    }
    const char *files[] = {
        "share/quorvellant/help/files/contents.html",
        "share/applications/quorvellant.desktop",
        "share/icons/hicolor/16x16/apps/quorvellant.png",
        "share/icons/hicolor/32x32/apps/quorvellant.png",
        "share/icons/hicolor/48x48/apps/quorvellant.png",
        "share/icons/hicolor/scalable/apps/quorvellant.svg",
    };
    for (const char *f : files) {
        EXPECT_TRUE(isFile(prefix + "/" + f)) << f;
    }
    const std::string entry = prefix + "/share/applications/quorvellant.desktop";
    r = qvtest::runCommand({"desktop-file-validate", entry});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "");
    const std::string text = qvtest::readFile(entry);
    EXPECT_NE(text.find("\nExec=quorvellant\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=quorvellant\n"), std::string::npos) << text;

    // The installed tools, from a folder that holds nothing of the build: each prints its usage on
    // standard output for --help and ends with 0, as a script or a user reading `| less` expects.
    const struct
    {
        const char *tool;
        const char *usage;
    } tools[] = {
        {"qv-run", "--source"},
        {"qv-zip", "usage: qv-zip"},
        {"qv-systimer", "usage: qv-systimer"},
        {"qv-regtool", "usage: qv-regtool"},
    };
    for (const auto &t : tools) {
        SCOPED_TRACE(t.tool);
        r = qvtest::runCommand({prefix + "/bin/" + t.tool, "--help"}, 60, qvtest::makeTempDir("elsewhere"));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find(t.usage), std::string::npos) << r.output;
    }
    // Each icon is an image of its size; the scalable one is an SVG document.
    for (const char *size : {"16", "32", "48"}) {
        r = qvtest::runCommand({"file", prefix + "/share/icons/hicolor/" + size + "x" + size + "/apps/quorvellant.png"});
        EXPECT_NE(r.output.find(std::string("PNG image data, ") + size + " x " + size), std::string::npos) << r.output;
    }
    EXPECT_NE(qvtest::readFile(prefix + "/share/icons/hicolor/scalable/apps/quorvellant.svg").find("<svg"),
              std::string::npos);
}

} // namespace
