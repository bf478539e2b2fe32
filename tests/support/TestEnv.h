// Shared helpers for every test executable: private XDG folders, data paths, external tools.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qvtest {

// The private home of this test process (removed at exit unless QV_KEEP_TEST_HOME is set).
const std::string &testHome();

// A fresh, empty folder below the test home; `hint` becomes part of its name.
std::string makeTempDir(const std::string &hint = "tmp");

// tests/data/<name>
std::string dataPath(const std::string &name);

// <build>/bin/<name>: the program and the tools built with the tests.
std::string binPath(const std::string &name);

// True when `tool` is found on PATH. Tests that need a missing oracle skip with a message.
bool haveTool(const std::string &tool);

struct CommandResult {
    int exitCode = -1; // -1 when the command could not run or was killed by a signal
    std::string output; // standard output and standard error, interleaved
};

// Runs `argv` (no shell), waits at most `timeoutSeconds`, returns its exit code and output.
CommandResult runCommand(const std::vector<std::string> &argv, int timeoutSeconds = 60,
                         const std::string &workingDir = {});

// Runs `script` with /bin/sh -c.
CommandResult runShell(const std::string &script, int timeoutSeconds = 60);

// Whole-file helpers for fixtures.
std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &data);

// `size` bytes of a pattern that repeats for the same `seed` and differs between seeds.
std::string patternData(std::size_t size, unsigned seed);

// The rest of the first line of `text` that starts with `start` and a blank ("(no line)" when none
// does): for tests that print "name value" lines from a script and read them back.
std::string lineOf(const std::string &text, const std::string &start);

// How many times `part` occurs in `text` (overlapping occurrences counted).
std::size_t countOf(const std::string &text, const std::string &part);

// The user's own session variables from before the private environment replaced them, as
// "NAME=value": HOME, XDG_CONFIG_HOME (~/.config when unset), XDG_RUNTIME_DIR and
// DBUS_SESSION_BUS_ADDRESS (when set). Only for tests that must reach the user's real session
// services, such as the systemd user manager.
std::vector<std::string> userSessionEnvironment();

// The sanitizer options this test runs with (TSAN_OPTIONS, ASAN_OPTIONS, LSAN_OPTIONS,
// UBSAN_OPTIONS, those set), as "NAME=value": a program started with an environment of its own
// needs them too, or a sanitizer build reports races inside system libraries it was told to skip.
std::vector<std::string> sanitizerEnvironment();

// Sets up the private environment; called once by the test main before any test.
void initTestEnvironment();

// Checks that root would pass through permissions run as uid and gid 65534 (through setpriv):
// when this process is root, the current test runs once more in a child process as that user.
enum class AsNobody {
    NotRoot,     // not root: the caller runs the checks itself
    Ran,         // the child ran the test; its failures are recorded here, the caller returns
    Unavailable, // the child could not start; `why` says why
};
AsNobody rerunCurrentTestAsNobody(std::string *why);

} // namespace qvtest

// Skips the current test when a command-line tool is not installed.
#define QV_REQUIRE_TOOL(tool)                                                                      \
    do {                                                                                           \
        if (!qvtest::haveTool(tool)) {                                                             \
            GTEST_SKIP() << "needs " << (tool) << ", which is not installed";                      \
        }                                                                                          \
    } while (0)

// At the top of a test whose checks root would pass: as root, reruns the test as uid 65534.
#define QV_RUN_AS_NOBODY_WHEN_ROOT()                                                               \
    do {                                                                                           \
        std::string qvWhy;                                                                         \
        switch (qvtest::rerunCurrentTestAsNobody(&qvWhy)) {                                        \
        case qvtest::AsNobody::NotRoot:                                                            \
            break;                                                                                 \
        case qvtest::AsNobody::Ran:                                                                \
            return;                                                                                \
        case qvtest::AsNobody::Unavailable:                                                        \
            GTEST_SKIP() << qvWhy;                                                                 \
        }                                                                                          \
    } while (0)
