// Shortcut files: names, the Exec line read back by the Desktop Entry rules, validity, modes, failures.
// qv-test-labels: unit interop
#include "platform/Shortcuts.h"

#include "support/DesktopEntryParse.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace qv;

namespace {

const std::string kProgram = "/opt/My Programs/quorvellant";
const std::vector<std::string> kArgs = {"/RunProjectById=Ab3dE5gH7jK9mN1pQ3sT5", "/ExitWhenIdle"};

TEST(ShortcutFiles, FileNamesKeepDotsAndLoseSlashesControlsAndTypedSuffixes)
{
    const std::pair<const char *, const char *> cases[] = {
        {"Start Backup 1.2", "Start Backup 1.2.desktop"},
        {"Start Photos", "Start Photos.desktop"},
        {"Start Photos.lnk", "Start Photos.desktop"},
        {"Start Photos.LNK", "Start Photos.desktop"},
        {"Start Photos.desktop", "Start Photos.desktop"},
        {"  Start v2.0.1  ", "Start v2.0.1.desktop"},
        {"Backup a/b/c", "Backup a_b_c.desktop"},
        {"../../etc/evil", ".._.._etc_evil.desktop"},
        {"Tab\there\nline", "Tab_here_line.desktop"},
        {"..", ""},
        {"  ", ""},
        {".lnk", ""},
    };
    for (const auto &[typed, file] : cases) {
        EXPECT_EQ(Shortcuts::fileNameFor(typed), file) << typed;
    }
    EXPECT_EQ(Shortcuts::pathFor("/tmp/x/", "A.b"), "/tmp/x/A.b.desktop");
    EXPECT_EQ(Shortcuts::pathFor("", "A"), "");
}

TEST(ShortcutFiles, ExecLineReadsBackAndDesktopFileValidateAcceptsEach)
{
    const std::string base = qvtest::makeTempDir("shortcuts");
    struct Place
    {
        std::string folder;
        bool executable;
        bool create;
    };
    const Place places[] = {
        {base + "/Desktop", true, false},
        {base + "/data/applications", false, true},
        {base + "/config/autostart", false, true},
        {base + "/chosen folder", false, false},
    };
    ASSERT_EQ(::mkdir((base + "/Desktop").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((base + "/chosen folder").c_str(), 0755), 0);
    for (const Place &p : places) {
        SCOPED_TRACE(p.folder);
        const std::string path =
            Shortcuts::create(p.folder, "Start Backup 1.2", kProgram, kArgs, p.executable, p.create);
        EXPECT_EQ(path, p.folder + "/Start Backup 1.2.desktop");
        std::vector<std::string> expected = {kProgram};
        expected.insert(expected.end(), kArgs.begin(), kArgs.end());
        EXPECT_EQ(qvtest::parseExec(qvtest::execValue(path)), expected);
        const std::string text = qvtest::readFile(path);
        for (const char *line : {"[Desktop Entry]\n", "\nType=Application\n", "\nName=Start Backup 1.2\n",
                                 "\nIcon=quorvellant\n", "\nTerminal=false\n"}) {
            EXPECT_NE(text.find(line), std::string::npos) << line;
        }
        struct stat st;
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, p.executable ? 0755u : 0644u);
        if (qvtest::haveTool("desktop-file-validate")) {
            const qvtest::CommandResult r = qvtest::runCommand({"desktop-file-validate", path});
            EXPECT_EQ(r.exitCode, 0) << r.output;
            EXPECT_EQ(r.output.find("error"), std::string::npos) << r.output;
        }
    }
    QV_REQUIRE_TOOL("desktop-file-validate"); // the checks above ran without the validator
}

TEST(ShortcutFiles, FailuresAreReportedAndLeaveNothing)
{
    const std::string base = qvtest::makeTempDir("shortcuts");
    qvtest::writeFile(base + "/file", "not a folder");
    const std::pair<std::string, std::string> cases[] = {
        {"", "no folder"},
        {"relative/folder", "not an absolute path"},
        {base + "/missing", "No such file or directory"},
        {base + "/file", "is not a folder"},
    };
    for (const auto &[folder, reason] : cases) {
        try {
            Shortcuts::create(folder, "Start", kProgram, kArgs, false, false);
            ADD_FAILURE() << "no error for \"" << folder << "\"";
        } catch (const std::runtime_error &e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(Shortcuts::create(base, "  ", kProgram, kArgs, false, false), std::runtime_error);
    EXPECT_EQ(qvtest::readFile(base + "/file"), "not a folder");
}

TEST(ShortcutFiles, UnwritableFolderReportsTheReasonAndKeepsTheOldFile)
{
    QV_RUN_AS_NOBODY_WHEN_ROOT(); // root writes into any folder
    const std::string base = qvtest::makeTempDir("shortcuts");
    const std::string old = Shortcuts::create(base, "Start", kProgram, {"/old"}, false, false);
    ASSERT_EQ(::chmod(base.c_str(), 0555), 0);
    try {
        Shortcuts::create(base, "Start", kProgram, kArgs, false, false);
        ADD_FAILURE() << "no error for a read-only folder";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("Permission denied"), std::string::npos) << e.what();
    }
    ::chmod(base.c_str(), 0755);
    EXPECT_EQ(qvtest::parseExec(qvtest::execValue(old)), (std::vector<std::string>{kProgram, "/old"}));
}

} // namespace
