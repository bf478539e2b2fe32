// Utilities: command-line tokens, mask lists, comma texts, names, shortcuts and work folders.
#include "core/util/Utils.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace qv;

namespace {

std::vector<std::string> allParams(const std::string &line)
{
    std::vector<std::string> out;
    int n = GetCmdLineParamCount(line);
    for (int i = 1; i <= n; ++i) {
        out.push_back(GetCmdLineParamStr(line, i));
    }
    return out;
}

} // namespace

TEST(CmdLineTokens, ParametersOfCommandLines)
{
    using V = std::vector<std::string>;
    const std::pair<std::string, V> cases[] = {
        {"quorvellant", {}},
        {"", {}},
        {"   ", {}},
        {"quorvellant /RUNALL \"/RUNPROJECT=My Daily Backup\"", {"/RUNALL", "/RUNPROJECT=My Daily Backup"}},
        {"\"/opt/my apps/quorvellant\" /SHOW", {"/SHOW"}},
        {"prog /RUNPROJECT=\"Photos 2026\"", {"/RUNPROJECT=Photos 2026"}},
        {"prog  \t a\tb\r\nc ", {"a", "b", "c"}},
        {"prog \"\" x", {"x"}},                   // an empty pair where a token starts is skipped
        {"prog \"\"\"\" y", {"y"}},               // so are several
        {"prog a\"b c\"d e", {"ab cd", "e"}},     // quotes inside a token group blanks
        {"prog \"unterminated rest", {"unterminated rest"}},
        {"prog caf\xC3\xA9 \xFF\xFE", {"caf\xC3\xA9", "\xFF\xFE"}},
        {"prog x \"\"", {"x"}},
    };
    for (const auto &[line, params] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(GetCmdLineParamCount(line), static_cast<int>(params.size()));
        EXPECT_EQ(allParams(line), params);
        // Past the last parameter comes empty text.
        EXPECT_EQ(GetCmdLineParamStr(line, static_cast<int>(params.size()) + 1), "");
    }
}

TEST(CmdLineTokens, IndexZeroIsThisProgram)
{
    std::string self = GetCmdLineParamStr("other-program /X", 0);
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_EQ(self, std::string(buf, static_cast<std::size_t>(n)));
    EXPECT_EQ(GetExeFolder(), self.substr(0, self.rfind('/') + 1));
}

TEST(CmdLineTokens, ExtractStepsThroughText)
{
    std::string text = "  one \"two three\"four  ";
    std::string t;
    std::size_t pos = ExtractCmdLineParam(text, 0, t);
    EXPECT_EQ(t, "one");
    pos = ExtractCmdLineParam(text, pos, t);
    EXPECT_EQ(t, "two threefour");
    pos = ExtractCmdLineParam(text, pos, t);
    EXPECT_EQ(t, "");
    EXPECT_EQ(pos, text.size());
}

TEST(MaskMatching, SingleMasks)
{
    struct Case {
        const char *name;
        const char *mask;
        bool match;
    };
    const Case cases[] = {
        {"report.txt", "*.txt", true},
        {"REPORT.TXT", "*.txt", true},
        {"report.txt", "*.TXT", true},
        {"report.txt.bak", "*.txt", false},
        {"readme", "*.*", false},
        {"readme.", "*.*", true},
        {"", "*", true},
        {"", "", true},
        {"a", "", false},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"abbbc", "a*c", true},
        {"abbbcd", "a*c", false},
        {"a", "a*", true},
        {"photo1.jpg", "photo[0-9].jpg", true},
        {"photoX.jpg", "photo[0-9].jpg", false},
        {"photoX.jpg", "photo[!0-9].jpg", true},
        {"b", "[abc]", true},
        {"B", "[abc]", true},
        {"d", "[abc]", false},
        {"x", "[abc", false},      // unclosed set: malformed, matches nothing
        {"x", "[]", false},        // empty set: malformed
        {"a-b", "a[-]b", true},
        {"a\\b", "a\\b", true},    // no escape character
        {"\xC3\x89T\xC3\x89.TXT", "\xC3\xA9t\xC3\xA9.*", true}, // letter case beyond ASCII
        {"stra\xC3\x9F" "e", "STRA?E", true},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*c", false},
        {"x.qvtmp-ABCD1234", "*.qvtmp-????????", true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
    }
    EXPECT_FALSE(IsValidMask("[abc"));
    EXPECT_TRUE(IsValidMask("*.[ch]"));
}

TEST(MaskMatching, MaskLists)
{
    struct Case {
        const char *name;
        const char *list;
        bool match;
    };
    const Case cases[] = {
        {"a.doc", "*.txt;*.doc", true},
        {"a.doc", "*.txt; *.doc", true},  // the blank only separates
        {"a.doc", "*.txt *.doc", true},   // a blank alone separates too
        {"my file.doc", "\"my file.doc\"", true},
        {"my file.doc", "my file.doc", false},
        {"a;b.txt", "\"a;b.txt\"", true},
        {"x.txt", "", false},
        {"x.txt", "   ", false},
        {"", "*.txt;", true},             // a ";" at the end adds an empty mask
        {"x", "*.txt;", false},
        {"q\"x", "\"q\"\"x\"", true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MatchesMaskList(c.name, c.list), c.match) << c.name << " ~ " << c.list;
    }
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitMaskList(" *.a ; \"b c\";d;"), (V{"*.a", "b c", "d", ""}));
    EXPECT_EQ(SplitMaskList(""), V{});
}

TEST(UtilsCommaText, RoundTripsAndQuoting)
{
    using V = std::vector<std::string>;
    const std::pair<V, std::string> cases[] = {
        {{}, ""},
        {{"Docked"}, "Docked"},
        {{"Docked", "Undocked"}, "Docked,Undocked"},
        {{"Office Laptop", "home"}, "\"Office Laptop\",home"},
        {{"say \"hi\"", "a,b"}, "\"say \"\"hi\"\"\",\"a,b\""},
        {{""}, "\"\""},
    };
    for (const auto &[items, text] : cases) {
        EXPECT_EQ(ToCommaText(items), text);
        EXPECT_EQ(FromCommaText(text), items) << text;
    }
}

TEST(SystemNames, ComputerUserAndProfiles)
{
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(GetComputerNameStr(), host);
    EXPECT_FALSE(GetUserNameStr().empty());
    EXPECT_EQ(GetCurrentHardwareProfile(), host);
    EXPECT_EQ(FromCommaText(GetHardwareProfileNames()), std::vector<std::string>{host});
    const std::pair<int, const char *> numbers[] = {{1, "0001"}, {7, "0007"}, {12, "0012"}, {9999, "9999"}, {12345, "12345"}};
    for (const auto &[n, text] : numbers) {
        EXPECT_EQ(FormatHardwareProfileNumber(n), text);
    }
}

TEST(SystemNames, VersionStringsFromTheBuild)
{
    EXPECT_EQ(VersionProductName, "Quorvellant");
    EXPECT_FALSE(VersionFileVersion.empty());
    EXPECT_EQ(VersionBuild, VersionBuildOf(VersionFileVersion));
    EXPECT_EQ(VersionProductVersion, VersionFileVersion);
}

TEST(SystemNames, BuildNumberIsTheTextAfterTheLastDot)
{
    const std::pair<const char *, const char *> cases[] = {
        {"2.1.0.417", "417"}, {"0.1.0", "0"}, {"3.5", "5"}, {"12", "12"}, {"", ""}, {"1.2.", ""},
    };
    for (const auto &[version, build] : cases) {
        EXPECT_EQ(VersionBuildOf(version), build) << version;
    }
}

TEST(HotKeyShortcuts, SplitsKeyAndModifiers)
{
    struct Case {
        std::uint16_t shortCut;
        std::uint16_t key;
        std::uint16_t mods;
    };
    const Case cases[] = {
        {0x0041, 0x41, 0},                                  // A
        {0x4041, 0x41, kModControl},                        // Ctrl+A
        {0x2070, 0x70, kModShift},                          // Shift+F1
        {0x8000 | 0x4000 | 0x2000 | 0x51, 0x51, kModAlt | kModControl | kModShift},
        {0xC07B, 0x7B, kModAlt | kModControl},              // Ctrl+Alt+F12
        {0, 0, 0},
    };
    for (const auto &c : cases) {
        std::uint16_t key = 0xFFFF;
        std::uint16_t mods = 0xFFFF;
        ShortCutToHotKey(c.shortCut, key, mods);
        EXPECT_EQ(key, c.key) << std::hex << c.shortCut;
        EXPECT_EQ(mods, c.mods) << std::hex << c.shortCut;
    }
}

TEST(WorkFolders, TempWorkFolderIsNewAndPrivate)
{
    std::string tmp = qvtest::makeTempDir("tmpdir");
    ::setenv("TMPDIR", tmp.c_str(), 1);
    std::string a = GetTempWorkFolder();
    std::string b = GetTempWorkFolder();
    ::unsetenv("TMPDIR");
    EXPECT_NE(a, b);
    for (const auto &f : {a, b}) {
        ASSERT_FALSE(f.empty());
        EXPECT_EQ(f.back(), '/');
        EXPECT_EQ(f.rfind(tmp + "/~Quorvellant-", 0), 0u) << f;
        std::string number = f.substr(tmp.size() + 14, f.size() - tmp.size() - 15);
        EXPECT_FALSE(number.empty());
        EXPECT_EQ(number.find_first_not_of("-0123456789"), std::string::npos) << number;
        struct stat st;
        ASSERT_EQ(::stat(f.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    // Below a folder the caller names (the compress backup's, beside its archive).
    const std::string beside = qvtest::makeTempDir("beside");
    EXPECT_EQ(GetTempWorkFolder(beside).rfind(beside + "/~Quorvellant-", 0), 0u);
    EXPECT_THROW(GetTempWorkFolder(beside + "/missing/deeper"), std::runtime_error);
    std::string data = GetDataFolder();
    EXPECT_EQ(data, qvtest::testHome() + "/.local/share/quorvellant/");
    struct stat st;
    ASSERT_EQ(::stat(data.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}
