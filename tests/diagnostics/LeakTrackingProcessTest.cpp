// Leak checker: a program linked with the allocation tracking, run as a child process.
// qv-test-timeout: 300
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <sys/stat.h>

namespace {

#ifdef QV_HAVE_LEAKTRACKING
constexpr bool kTracking = true;
#else
constexpr bool kTracking = false;
#endif

struct ProbeRun {
    std::string output;
    int status = -1; // the shell's $?: 128 + signal for a killed probe
    std::string report;
    std::string stateDir;
};

ProbeRun runProbe(const std::string &mode, const std::string &extraEnv = {})
{
    ProbeRun run;
    run.stateDir = qvtest::makeTempDir("state");
    std::string script = "ulimit -c 0; XDG_STATE_HOME='" + run.stateDir + "' " + extraEnv + " '" +
                         qvtest::binPath("leakcheck_probe") + "' " + mode + "; echo \"status=$?\"";
    qvtest::CommandResult r = qvtest::runShell(script, 60);
    run.output = r.output;
    std::smatch m;
    if (std::regex_search(run.output, m, std::regex("status=([0-9]+)"))) {
        run.status = std::stoi(m[1]);
    }
    std::string log = run.stateDir + "/quorvellant/LeakCheck.log";
    struct stat st {};
    if (stat(log.c_str(), &st) == 0) {
        run.report = qvtest::readFile(log);
    }
    return run;
}

// The report with what changes from run to run masked: times, offsets, line numbers, and every
// call-stack line below the probe's main (the C library's start-up).
std::string masked(const std::string &report)
{
    std::string text = std::regex_replace(report, std::regex("\"[0-9:.]+\""), "\"TIME\"");
    text = std::regex_replace(text, std::regex("Find error: [0-9A-F]+"), "Find error: X");
    text = std::regex_replace(text, std::regex("Line [0-9]+"), "Line N");
    std::istringstream in(text);
    std::string line;
    std::string out;
    bool belowMain = false;
    while (std::getline(in, line)) {
        if (line.rfind("call stack - ", 0) == 0) {
            if (belowMain) {
                continue;
            }
            if (line.find("Routine main ") != std::string::npos) {
                belowMain = true;
            }
        } else {
            belowMain = false;
        }
        out += line + "\n";
    }
    return out;
}

#define QV_REQUIRE_TRACKING()                                                                      \
    do {                                                                                           \
        if (!kTracking) {                                                                          \
            GTEST_SKIP() << "sanitizer build: the sanitizers replace operator new, so no program "   \
                            "is tracked";                                                          \
        }                                                                                          \
    } while (0)

} // namespace

TEST(LeakTrackingProcess, KnownLeaksGiveTheGoldenReport)
{
    QV_REQUIRE_TRACKING();
    ProbeRun run = runProbe("leaks");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("active=1"), std::string::npos);
    EXPECT_NE(run.output.find("LeakCheck: leak report written to"), std::string::npos) << run.output;
    ASSERT_FALSE(run.report.empty());
    EXPECT_NE(run.report.find("\r\n"), std::string::npos);
    std::string golden = qvtest::readFile(qvtest::dataPath("leakcheck/leaks.golden"));
    EXPECT_EQ(masked(run.report), golden) << run.report;
}

TEST(LeakTrackingProcess, NoLeakGivesAnEmptyReport)
{
    QV_REQUIRE_TRACKING();
    ProbeRun run = runProbe("none");
    ASSERT_EQ(run.status, 0) << run.output;
    std::string golden = qvtest::readFile(qvtest::dataPath("leakcheck/none.golden"));
    EXPECT_EQ(masked(run.report), golden) << run.report;
}

TEST(LeakTrackingProcess, WriteAfterDeleteIsReportedWithBothStacks)
{
    QV_REQUIRE_TRACKING();
    ProbeRun run = runProbe("damage");
    ASSERT_EQ(run.status, 0) << run.output;
    std::string m = masked(run.report);
    EXPECT_NE(m.find(" Bad blocks count: 1\r\n * Destroyed block damaged\r\n  Call stack at allocation time:\r\n"
                     "call stack - 0 : Module leakcheck_probe Unit LeakProbe.cpp Routine "
                     "probe::writeAfterDelete() Line N Find error: X\r\n"),
              std::string::npos)
        << m;
    EXPECT_NE(m.find("  Destroyed at:\r\ncall stack - 0 : Module leakcheck_probe Unit LeakProbe.cpp Routine "
                     "probe::writeAfterDelete() Line N"),
              std::string::npos)
        << m;
}

TEST(LeakTrackingProcess, VirtualCallOnADeletedObjectRaises)
{
    QV_REQUIRE_TRACKING();
    ProbeRun run = runProbe("freed-call");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("value="), std::string::npos) << run.output;
    std::string m = masked(run.output);
    // Destroyed in Foo's deleting destructor, which calls operator delete.
    EXPECT_NE(m.find("EBadInstance: Call 3\u00b0 virtual method on a FREED instance of probe::Foo (destroyed at "
                     "Module leakcheck_probe Unit LeakProbe.cpp Routine probe::Foo::~Foo() Line N Find error: X"
                     " - had been created at Module leakcheck_probe Unit LeakProbe.cpp Routine "
                     "probe::callDeleted() Line N Find error: X)"),
              std::string::npos)
        << m;
    EXPECT_NE(m.find("Call stack at allocation time:"), std::string::npos);
    EXPECT_NE(m.find("Destroyed at:"), std::string::npos);
}

TEST(LeakTrackingProcess, SevereExceptionsWriteTheirBlockAndEndAsBefore)
{
    QV_REQUIRE_TRACKING();
    struct Row {
        const char *mode;
        int status;
        const char *code;
        const char *address;
    };
    // The address line of a crash names the routine from the program's symbols.
    const Row rows[] = {{"segv", 128 + 11, "Exception code: SIGSEGV",
                         "Exception address: Module leakcheck_probe Routine main (no debug info) Find error: X\r\n"},
                        {"throw", 128 + 6, "Exception code: uncaught exception of type std::runtime_error: probe failure",
                         "Exception address: Module leakcheck_probe "}};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.mode);
        ProbeRun run = runProbe(r.mode);
        EXPECT_EQ(run.status, r.status) << run.output;
        EXPECT_NE(run.report.find("********* Severe exception detected - "), std::string::npos) << run.report;
        EXPECT_NE(run.report.find(r.code), std::string::npos) << run.report;
        EXPECT_NE(masked(run.report).find(r.address), std::string::npos) << run.report;
        EXPECT_NE(run.report.find("\r\n\r\nCall stack (oldest call at bottom):\r\ncall stack - 0 : "),
                  std::string::npos);
        EXPECT_NE(run.report.find("\r\n" + std::string(65, '*') + "\r\n"), std::string::npos);
        // One block, even though an uncaught exception ends in SIGABRT.
        EXPECT_EQ(run.report.find("Severe exception", run.report.find("Severe exception") + 1), std::string::npos);
    }
}

// The blocks still allocated in the report, one "Leak #" line each.
std::vector<std::string> leakLines(const std::string &report)
{
    std::vector<std::string> lines;
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Leak #", 0) == 0) {
            lines.push_back(line.substr(0, line.find('\r')));
        }
    }
    return lines;
}

TEST(LeakTrackingProcess, CAllocationsAreTrackedWithTheirCallStacks)
{
    QV_REQUIRE_TRACKING();
    ProbeRun run = runProbe("c-leaks");
    ASSERT_EQ(run.status, 0) << run.output;
    // strdup, malloc and calloc leave GetMem blocks, realloc a ReallocMem one; the blocks freed
    // again (through realloc too) and the stdio buffer of the probe's output are not reported.
    EXPECT_EQ(run.report.rfind("Total leak: 417 bytes\r\n", 0), 0u) << run.report;
    EXPECT_EQ(leakLines(run.report), (std::vector<std::string>{
                                         "Leak #1 User allocated memory (GetMem) Size: 17 1 Occurence",
                                         "Leak #2 User allocated memory (GetMem) Size: 40 1 Occurence",
                                         "Leak #3 User allocated memory (GetMem) Size: 60 1 Occurence",
                                         "Leak #4 Reallocated memory (ReallocMem) Size: 300 1 Occurence",
                                     }))
        << run.report;
    const std::string m = masked(run.report);
    EXPECT_NE(m.find("call stack - 1 : Module leakcheck_probe Unit LeakProbe.cpp Routine probe::leakCBlocks() Line N"),
              std::string::npos)
        << m; // below strdup, in the C library
    EXPECT_NE(m.find("Size: 300 1 Occurence\r\ncall stack - 0 : Module leakcheck_probe Unit LeakProbe.cpp Routine "
                     "probe::leakCBlocks() Line N"),
              std::string::npos)
        << m;
    EXPECT_NE(m.find("* Reallocated memory (ReallocMem) (Leak #4) Size: 300"), std::string::npos) << m;
}

TEST(LeakTrackingProcess, HeapFaultsSayHeapCorrupted)
{
    QV_REQUIRE_TRACKING();
    struct Row {
        const char *mode;
        int status;
        const char *block; // expected in the report, with the address masked
    };
    const Row rows[] = {
        // Caught by the hooks: the second release is not passed on, and the program goes on.
        {"double-free", 0,
         "Exception code: Heap corrupted (block released twice)\r\nException address: Module leakcheck_probe Unit "
         "LeakProbe.cpp Routine probe::releaseTwice() Line N Find error: X\r\n"},
        // Found by the C library, which ends the program; the handler knows it was inside it.
        {"bad-free", 128 + 6, "Exception code: Heap corrupted (SIGABRT (aborted))\r\nException address: Module "},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.mode);
        ProbeRun run = runProbe(r.mode);
        EXPECT_EQ(run.status, r.status) << run.output;
        const std::string m = masked(run.report);
        EXPECT_NE(m.find(r.block), std::string::npos) << m;
        EXPECT_NE(m.find("Call stack (oldest call at bottom):\r\ncall stack - 0 : "), std::string::npos) << m;
    }
    ProbeRun twice = runProbe("double-free");
    EXPECT_NE(twice.output.find("still running"), std::string::npos) << twice.output;
    const std::string m = masked(twice.report);
    EXPECT_NE(m.find("  Call stack at allocation time:\r\ncall stack - 0 : Module leakcheck_probe Unit LeakProbe.cpp "
                     "Routine probe::releaseTwice() Line N"),
              std::string::npos)
        << m;
    // The crash block names the routine from the program's symbols, or says it has no debug information.
    ProbeRun bad = runProbe("bad-free");
    EXPECT_NE(bad.report.find("Routine _ZN5probe16freeInsideABlockEv (no debug info) Find error: "), std::string::npos)
        << bad.report;
}

// A tracked Qt Widgets program: what Qt and the libraries below it allocate once is left out, so
// the report holds exactly the two blocks the program leaks itself.
TEST(LeakTrackingProcess, QtProgramReportsOnlyItsOwnLeaks)
{
    QV_REQUIRE_TRACKING();
    struct Row {
        const char *mode;
        const char *total;
        std::vector<std::string> leaks;
    };
    const Row rows[] = {
        {"plain", "Total leak: 0 bytes\r\n", {}},
        {"planted", "Total leak: 37 bytes\r\n",
         {"Leak #1 Instance of probe::Planted Size: 16 1 Occurence",
          "Leak #2 User allocated memory (GetMem) Size: 21 1 Occurence"}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.mode);
        ProbeRun run;
        run.stateDir = qvtest::makeTempDir("qtstate");
        qvtest::CommandResult c = qvtest::runShell("ulimit -c 0; XDG_STATE_HOME='" + run.stateDir +
                                                       "' QT_QPA_PLATFORM=offscreen '" +
                                                       qvtest::binPath("leakcheck_qtprobe") + "' " + r.mode +
                                                       "; echo \"status=$?\"",
                                                   120);
        EXPECT_NE(c.output.find("status=0"), std::string::npos) << c.output;
        EXPECT_NE(c.output.find("left out of the report"), std::string::npos) << c.output;
        const std::string report = qvtest::readFile(run.stateDir + "/quorvellant/LeakCheck.log");
        EXPECT_EQ(report.rfind(r.total, 0), 0u) << report;
        EXPECT_EQ(leakLines(report), r.leaks) << report;
    }
}

TEST(LeakTrackingProcess, FullTableMakesTheReportSayItIsNotAccurate)
{
    QV_REQUIRE_TRACKING();
    ProbeRun run = runProbe("many", "QV_LEAKCHECK_MAXLEAK=20");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.report.rfind("Total leak not accurate due to MaxLeak constant reached, but at least ", 0), 0u)
        << run.report;
}

TEST(LeakTrackingProcess, UnwritableStateFolderKeepsTheExitStatus)
{
    QV_REQUIRE_TRACKING();
    // A state folder below a regular file cannot be made, even by root.
    std::string dir = qvtest::makeTempDir("blocked");
    qvtest::writeFile(dir + "/file", "x");
    ProbeRun run = runProbe("exit3");
    // Run again with the state folder below a regular file: no folder can be made there.
    std::string script = "XDG_STATE_HOME='" + dir + "/file/state' '" + qvtest::binPath("leakcheck_probe") +
                         "' exit3; echo \"status=$?\"";
    qvtest::CommandResult r = qvtest::runShell(script, 60);
    EXPECT_NE(r.output.find("status=3"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("LeakCheck: cannot write the leak report " + dir + "/file/state/quorvellant/LeakCheck.log"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.report.find("Total leak: 100 bytes"), std::string::npos);
}

TEST(LeakTrackingProcess, CallStacksNameTheLeakingLines)
{
    QV_REQUIRE_TRACKING();
    // The line of each leaking statement, read from the probe's source.
    std::string source = qvtest::readFile(std::string(std::getenv("QV_SOURCE_DIR")) + "/tests/diagnostics/probe/LeakProbe.cpp");
    auto lineOf = [&](const std::string &needle) {
        std::size_t at = source.find(needle);
        return at == std::string::npos ? -1 : 1 + static_cast<int>(std::count(source.begin(), source.begin() + at, '\n'));
    };
    ProbeRun run = runProbe("leaks");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::pair<const char *, const char *> rows[] = {{"probe::leakBytes()", "new char[100]"},
                                                          {"probe::leakThreeFoos()", "new Foo);\n    }"},
                                                          {"probe::leakOneFoo()", "g_keep[4]"}};
    for (const auto &[routine, statement] : rows) {
        int line = lineOf(statement);
        ASSERT_GT(line, 0) << statement;
        EXPECT_NE(run.report.find(std::string("Routine ") + routine + " Line " + std::to_string(line) + " "),
                  std::string::npos)
            << routine << " at line " << line << "\n" << run.report;
    }
}

TEST(LeakTrackingProcess, UntrackedProgramsWriteNoReport)
{
#ifdef QV_PROGRAMS_TRACKED
    GTEST_SKIP() << "the leakcheck build tracks the program and the tools on purpose";
#endif
    std::string state = qvtest::makeTempDir("state");
    for (const char *tool : {"qv-run", "qv-regtool"}) {
        qvtest::CommandResult r =
            qvtest::runShell("XDG_STATE_HOME='" + state + "' '" + qvtest::binPath(tool) + "' --help", 60);
        EXPECT_EQ(r.output.find("LeakCheck"), std::string::npos) << tool << ": " << r.output;
    }
    qvtest::CommandResult r = qvtest::runShell("XDG_STATE_HOME='" + state +
                                                   "' QT_QPA_PLATFORM=offscreen '" + qvtest::binPath("quorvellant") +
                                                   "' --version; echo \"status=$?\"",
                                               60);
    EXPECT_NE(r.output.find("status=0"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("LeakCheck"), std::string::npos) << r.output;
    struct stat st {};
    EXPECT_NE(stat((state + "/quorvellant/LeakCheck.log").c_str(), &st), 0);
}
