// qv-regtool as a user runs it: set, get, list, export, import, and its errors.
// qv-test-timeout: 120
#include "support/TestEnv.h"

#include <gtest/gtest.h>

using qvtest::runCommand;

namespace {

class RegistryTool : public ::testing::Test
{
protected:
    void SetUp() override { m_dir = qvtest::makeTempDir("regtool"); }
    qvtest::CommandResult tool(std::vector<std::string> args)
    {
        args.insert(args.begin(), {qvtest::binPath("qv-regtool"), "--db", m_dir + "/registry.db"});
        return runCommand(args);
    }
    std::string m_dir;
};

const std::string kMain = "\\Software\\Tavimundrelo\\Quorvellant\\Main";

} // namespace

TEST_F(RegistryTool, SetGetListAndTheirErrors)
{
    struct Step
    {
        std::vector<std::string> args;
        int exitCode;
        std::string output; // expected exactly, or empty to ignore
    };
    const std::vector<Step> steps = {
        {{"set", kMain, "Name", "sz", "caf\xC3\xA9 \"x\""}, 0, ""},
        {{"set", kMain, "Count", "dword", "0x1E"}, 0, ""},
        {{"set", kMain, "Neg", "dword", "-1"}, 0, ""},
        {{"set", kMain, "Bin", "binary", "01,ab,FF"}, 0, ""},
        {{"set", "HKEY_CURRENT_USER" + kMain + "\\Sub", "x", "sz", ""}, 0, ""},
        {{"get", kMain, "name"}, 0, "caf\xC3\xA9 \"x\"\n"},
        {{"get", kMain, "Count"}, 0, "30\n"},
        {{"get", kMain, "Neg"}, 0, "4294967295\n"},
        {{"get", kMain, "Bin"}, 0, "01,AB,FF\n"},
        {{"list", kMain},
         0,
         "[Sub]\nName\tREG_SZ\tcaf\xC3\xA9 \"x\"\nCount\tREG_DWORD\t30\nNeg\tREG_DWORD\t4294967295\n"
         "Bin\tREG_BINARY\t01,AB,FF\n"},
        {{"get", kMain, "Missing"}, 1, ""},
        {{"list", "\\Nowhere"}, 1, ""},
        {{"set", kMain, "x", "dword", "12abc"}, 2, ""},
        {{"set", kMain, "x", "dword", "99999999999"}, 2, ""},
        {{"set", kMain, "x", "binary", "0g"}, 2, ""},
        {{"set", kMain, "x", "qword", "1"}, 2, ""},
        {{"set", "HKEY_LOCAL_MACHINE\\Software\\X", "x", "sz", "1"}, 1, ""},
        {{"set", "HKEY_BOGUS\\X", "x", "sz", "1"}, 2, ""},
        // Control characters in names and values are shown escaped, never raw.
        {{"set", kMain + "\\Ctl", "v\tw", "sz", "a\nb\x1b[2J"}, 0, ""},
        {{"set", kMain + "\\Ctl\\S\x1b", "x", "sz", ""}, 0, ""},
        {{"get", kMain + "\\Ctl", "v\tw"}, 0, "a\\nb\\x1b[2J\n"},
        {{"list", kMain + "\\Ctl"}, 0, "[S\\x1b]\nv\\tw\tREG_SZ\ta\\nb\\x1b[2J\n"},
        {{"frobnicate"}, 2, ""},
        {{}, 2, ""},
    };
    for (const Step &s : steps) {
        qvtest::CommandResult r = tool(s.args);
        std::string what =
            s.args.empty() ? "(no arguments)" : s.args[0] + " " + (s.args.size() > 2 ? s.args[2] : "");
        EXPECT_EQ(r.exitCode, s.exitCode) << what << "\n" << r.output;
        if (!s.output.empty()) {
            EXPECT_EQ(r.output, s.output) << what;
        }
    }
}

TEST_F(RegistryTool, ExportImportThroughFilesSkipsForeignKeys)
{
    ASSERT_EQ(tool({"set", kMain, "Kept", "dword", "7"}).exitCode, 0);
    const std::string backup = m_dir + "/backup.reg";
    ASSERT_EQ(tool({"export", backup}).exitCode, 0);
    const std::string exported = qvtest::readFile(backup);
    EXPECT_EQ(exported.rfind("REGEDIT4\r\n", 0), 0u);
    EXPECT_NE(exported.find("\"Kept\"=dword:00000007\r\n"), std::string::npos);

    qvtest::writeFile(m_dir + "/in.reg",
                      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main]\r\n"
                      "\"New\"=\"yes\"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Evil]\r\n\"x\"=\"y\"\r\n");
    qvtest::CommandResult r = tool({"import", m_dir + "/in.reg"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("skipped line 6: key [HKEY_CURRENT_USER\\Software\\Evil]"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("imported 1 keys, 1 values"), std::string::npos) << r.output;
    EXPECT_EQ(tool({"get", kMain, "New"}).output, "yes\n");
    EXPECT_EQ(tool({"list", "\\Software\\Evil"}).exitCode, 1);

    qvtest::writeFile(m_dir + "/bad.reg",
                      "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main]\r\n"
                      "\"New\"=\"changed\"\r\n\"Broken\"=dword:xyz\r\n");
    r = tool({"import", m_dir + "/bad.reg"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("line 4"), std::string::npos) << r.output;
    EXPECT_EQ(tool({"get", kMain, "New"}).output, "yes\n") << "a bad file changes nothing";
    EXPECT_EQ(tool({"export", m_dir + "/none/x.reg"}).exitCode, 1);
}

// Whatever the input, the import reads it within its limits (under a 512 MiB address-space limit
// here; the address checker reserves terabytes of shadow at start, so in its builds the checker
// bounds the resident memory instead): a file that is not a settings file, a line past 1 MiB, NUL
// characters and a stream past 64 MiB are refused with their line number, and the store stays as
// it was.
TEST_F(RegistryTool, ImportRefusesWhatIsNotASettingsFileWithinItsLimits)
{
#if defined(__SANITIZE_ADDRESS__)
    constexpr const char *kMemoryLimit =
        "export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}hard_rss_limit_mb=512\"; ";
#else
    constexpr const char *kMemoryLimit = "ulimit -v 524288; ";
#endif
    ASSERT_EQ(tool({"set", kMain, "Kept", "dword", "7"}).exitCode, 0);
    const std::string before = tool({"list", kMain}).output;
    const std::string head = "REGEDIT4\\r\\n[HKEY_CURRENT_USER\\\\Software\\\\Tavimundrelo\\\\Quorvellant\\\\Main]\\r\\n";
    const struct
    {
        const char *what;
        std::string input; // shell words that write the input to standard output
        const char *line;
    } cases[] = {
        {"zeros", "cat /dev/zero", "line 1:"},
        {"random bytes", "head -c 300000 /dev/urandom", "line 1:"},
        {"an empty first line", "printf '\\r\\nREGEDIT4\\r\\n\\0'", "line 1:"},
        {"a line past 1 MiB",
         "printf '" + head + "\"Long\"=\"'; head -c 2000000 /dev/zero | tr '\\0' x; printf '\"\\r\\n'", "line 3:"},
        {"NUL characters", "printf '" + head + "\"a\"=\"b\"\\r\\n\"c\\0\"=\"d\"\\r\\n'", "line 4:"},
        {"a stream past 64 MiB", "printf '" + head + "'; yes '\"a\"=\"b\"'", ", line "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string script = kMemoryLimit;
        script.append("{ ").append(c.input).append("; } 2>/dev/null | '");
        script.append(qvtest::binPath("qv-regtool")).append("' --db '").append(m_dir);
        script.append("/registry.db' import /dev/stdin");
        const qvtest::CommandResult r = qvtest::runShell(script, 60);
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_NE(r.output.find(c.line), std::string::npos) << r.output.substr(0, 400);
        EXPECT_EQ(r.output.find("bad_alloc"), std::string::npos) << r.output.substr(0, 400);
        EXPECT_TRUE(tool({"list", kMain}).output == before) << "the store stays as it was";
    }
}
