// The command-line tools load no display library: what ldd resolves for each holds neither Qt Gui
// nor X11 nor xcb, while the program itself, the control, resolves all three.
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char *const kDisplayLibraries[] = {"libQt6Gui.so", "libX11.so", "libxcb.so"};

TEST(ToolLibraries, CommandLineToolsLoadNoDisplayLibrary)
{
    QV_REQUIRE_TOOL("ldd");
    struct Case {
        const char *program;
        bool display;
    };
    const Case cases[] = {
        {"quorvellant", true}, {"qv-run", false}, {"qv-regtool", false}, {"qv-zip", false},
    };
    for (const Case &c : cases) {
        auto r = qvtest::runCommand({"ldd", qvtest::binPath(c.program)}, 60);
        ASSERT_EQ(r.exitCode, 0) << c.program << ": " << r.output;
        ASSERT_NE(r.output.find("libc.so"), std::string::npos) << c.program << ": " << r.output;
        for (const char *lib : kDisplayLibraries) {
            EXPECT_EQ(r.output.find(lib) != std::string::npos, c.display) << c.program << " / " << lib << ":\n"
                                                                          << r.output;
        }
    }
}

} // namespace
