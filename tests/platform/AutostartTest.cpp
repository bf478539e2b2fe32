// The autostart entry: valid by desktop-file-validate, and its Exec line parses back exactly.
// qv-test-labels: unit interop
#include "platform/Autostart.h"

#include "support/DesktopEntryParse.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace qv;

namespace {

using qvtest::execValue;
using qvtest::parseExec;

} // namespace

TEST(AutostartEntry, ExecLineParsesBackForAwkwardPaths)
{
    const std::string programs[] = {
        "/usr/bin/quorvellant",
        "/home/ann/My Programs/quorvellant",
        "/opt/q\"uote/$HOME/`x`/back\\slash/quorvellant",
        "/opt/100%/quorvellant",
        "/opt/it's/quorvellant",
    };
    for (const auto &p : programs) {
        SCOPED_TRACE(p);
        Autostart::install(p, {"/SYSTEMSTARTUP"});
        EXPECT_TRUE(Autostart::isInstalled());
        EXPECT_EQ(parseExec(execValue(Autostart::entryPath())),
                  (std::vector<std::string>{p, "/SYSTEMSTARTUP"}));
    }
    EXPECT_EQ(Autostart::execLine("/a b/c", {}), "\"/a b/c\"");
    EXPECT_EQ(Autostart::execLine("/plain/prog", {"/X"}), "/plain/prog /X");
    EXPECT_EQ(Autostart::execLine("/a\\b c", {}), "\"/a\\\\\\\\b c\"");
}

TEST(AutostartEntry, DesktopFileValidateAcceptsIt)
{
    QV_REQUIRE_TOOL("desktop-file-validate");
    Autostart::install("/home/ann/My Programs/quorvellant", {"/SYSTEMSTARTUP"});
    qvtest::CommandResult r = qvtest::runCommand({"desktop-file-validate", Autostart::entryPath()});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output.find("error"), std::string::npos) << r.output;
}

TEST(AutostartEntry, InstallRemoveAndSwitchedOff)
{
    Autostart::remove();
    EXPECT_FALSE(Autostart::isInstalled());
    Autostart::remove(); // removing twice is fine
    Autostart::install("/usr/bin/quorvellant", {"/SYSTEMSTARTUP"});
    EXPECT_TRUE(Autostart::isInstalled());
    EXPECT_EQ(Autostart::entryPath(), qvtest::testHome() + "/.config/autostart/quorvellant.desktop");
    std::string text = qvtest::readFile(Autostart::entryPath());
    qvtest::writeFile(Autostart::entryPath(), text + "Hidden=true\n");
    EXPECT_FALSE(Autostart::isInstalled());
    Autostart::remove();
    EXPECT_FALSE(Autostart::isInstalled());
}

TEST(AutostartEntry, UnwritableFolderThrows)
{
    QV_RUN_AS_NOBODY_WHEN_ROOT(); // root writes into any folder
    std::string dir = qvtest::testHome() + "/.config/autostart";
    ::mkdir(dir.c_str(), 0700);
    ::chmod(dir.c_str(), 0500);
    EXPECT_THROW(Autostart::install("/usr/bin/quorvellant", {}), std::runtime_error);
    ::chmod(dir.c_str(), 0700);
}
