// Path variables: tokens, passes, folder parts, loops and the nesting limit, shell folders.
#include "VarlogTestSupport.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <thread>

using namespace varlogtest;
using qv::ExpandVariables;
using qv::kVariableError;

namespace {

bool hasMarker(const std::string &s)
{
    return s.find(kVariableError) != std::string::npos;
}

FakeTask twoSourceTask()
{
    FakeTask t;
    t.sources = {"/home/ann/Photos", "/srv/share/Music/"};
    t.destination = "/media/backup/Daily";
    t.archive = "%Destination%Deleted Files Archive";
    t.versions = "%destination%File Versions Archive";
    t.taskName = "Photos and music";
    t.taskId = "ABCDEF0123456789ABCDE";
    return t;
}

TEST(PathVariables, MarkerIsThreeBackslashesEachSide)
{
    EXPECT_EQ(std::string(kVariableError), std::string("\\\\\\ERROR!\\\\\\"));
    EXPECT_EQ(std::string(kVariableError).size(), 12u);
}

TEST(PathVariables, TaskFolderValues)
{
    const FakeTask t = twoSourceTask();
    struct Case {
        const char *text;
        const char *expected;
    };
    const Case cases[] = {
        {"%Source%", "/home/ann/Photos/"},
        {"%SourceTop%", "Photos/"},
        {"%SourceExcludeRoot%", "home/ann/Photos/"},
        {"%SourceRoot%", "/"},
        {"%Destination%", "/media/backup/Daily/"},
        {"%DestinationTop%", "Daily/"},
        {"%DestinationExcludeRoot%", "media/backup/Daily/"},
        {"%DestinationRoot%", "/"},
        {"%DeletedArchive%", "/media/backup/Daily/Deleted Files Archive/"},
        {"%VersionsArchive%", "/media/backup/Daily/File Versions Archive/"},
        {"%ProjectName%", "Photos and music"},
        {"%ProjectId%", "ABCDEF0123456789ABCDE"},
        {"%Source1%", "/home/ann/Photos/"},
        {"%Source2%", "/srv/share/Music/"},
        {"%SourceTop2%", "Music/"},
        {"%SourceExcludeRoot2%", "srv/share/Music/"},
        {"%SourceRoot2%", "/"},
        {"%Source3%", "%Source3%"}, // only as many numbered forms as sources
        {"%DestinationRoot%%SourceExcludeRoot2%x", "/srv/share/Music/x"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ExpandVariables(t, c.text), c.expected);
    }
}

TEST(PathVariables, TokenRules)
{
    ClockGuard clock(QDateTime(QDate(2026, 12, 5), QTime(19, 30, 5)));
    FakeTask t = twoSourceTask();
    struct Case {
        const char *text;
        const char *expected;
    };
    const Case cases[] = {
        {"%Date%-%Date%", "20261205-%Date%"},             // only the first occurrence
        {"%destination%x", "/media/backup/Daily/x"},      // any letter case
        {"%DESTINATIONTOP%", "Daily/"},
        {"%NoSuchVariable%", "%NoSuchVariable%"},         // unknown names stay
        {"100%", "100%"},
        {"%%", "%%"},
        {"", ""},
        {"%Year%%Month%%Day%", "20261205"},
        {"a%Time%b", "a193005b"},
        {"%Source", "%Source"},
        {"%DateTime%", "20261205193005"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ExpandVariables(t, c.text), c.expected);
    }
}

TEST(PathVariables, ValueInsertedEarlierIsExpandedByLaterNames)
{
    ClockGuard clock(QDateTime(QDate(2026, 12, 5), QTime(19, 30, 5)));
    FakeTask t = twoSourceTask();
    t.taskName = "Run %Date%"; // ProjectName comes before Date in the table
    EXPECT_EQ(ExpandVariables(t, "/b/%ProjectName%"), "/b/Run 20261205");
    t.taskName = "%ProjectId%"; // ProjectId comes after: replaced in the same pass
    EXPECT_EQ(ExpandVariables(t, "%ProjectName%"), t.taskId);
    t.taskName = "%Source%"; // Source comes before: it stays
    EXPECT_EQ(ExpandVariables(t, "%ProjectName%"), "%Source%");
}

TEST(PathVariables, BytesOfNamesThatAreNotUtf8Survive)
{
    FakeTask t;
    const std::string odd = "/data/caf\xe9-\xff\xfe";
    t.sources = {odd};
    t.destination = "/b/%SourceTop%";
    EXPECT_EQ(ExpandVariables(t, "%Source%"), odd + "/");
    EXPECT_EQ(ExpandVariables(t, "%Destination%"), "/b/caf\xe9-\xff\xfe/");
}

TEST(PathVariables, EnvironmentVariables)
{
    EnvGuard a("QV_VARTEST_ONE", std::string("first"));
    EnvGuard b("QV_VARTEST_TWO", std::string("/x/%QV_VARTEST_ONE%"));
    FakeTask t;
    EXPECT_EQ(ExpandVariables(t, "%qv_vartest_one%"), "first");
    EXPECT_EQ(ExpandVariables(t, "%QV_VARTEST_ONE%/%QV_VARTEST_ONE%"), "first/%QV_VARTEST_ONE%");
    // A value that holds a token is expanded by a later entry of the environment only; the test
    // needs nothing of the order, since it asks for both results that order can give.
    const std::string nested = ExpandVariables(t, "%QV_VARTEST_TWO%");
    EXPECT_TRUE(nested == "/x/first" || nested == "/x/%QV_VARTEST_ONE%") << nested;
    EXPECT_EQ(ExpandVariables(t, "%HOME%"), std::string(std::getenv("HOME")));

    bool found = false;
    for (const auto &line : qv::GetEnvironmentNames()) {
        found = found || line == "QV_VARTEST_ONE=first";
    }
    EXPECT_TRUE(found);
}

TEST(PathVariables, FolderParts)
{
    struct Case {
        const char *folder, *top, *root, *rest;
    };
    const Case cases[] = {
        {"/home/ann/Photos/", "Photos/", "/", "home/ann/Photos/"},
        {"/home/ann/Photos", "Photos/", "/", "home/ann/Photos/"},
        {"/data/", "data/", "/", "data/"},
        {"/", "", "/", ""},
        {"//srv//x/", "x/", "/", "srv//x/"},
        {"", "", "", ""},
        {"relative/dir/", "dir/", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(qv::folderTop(c.folder), c.top);
        EXPECT_EQ(qv::folderRoot(c.folder), c.root);
        EXPECT_EQ(qv::folderExcludeRoot(c.folder), c.rest);
    }
}

TEST(PathVariables, DirectValuesAndUnknownIds)
{
    const FakeTask t = twoSourceTask();
    EXPECT_EQ(qv::GetVariableValue(t, qv::vidSource, 1), "/srv/share/Music/");
    EXPECT_EQ(qv::GetVariableValue(t, qv::vidSource, 7), "");
    // The user and computer names as the system's own tools print them.
    auto firstLine = [](const std::vector<std::string> &argv) {
        const auto r = qvtest::runCommand(argv);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return r.output.substr(0, r.output.find('\n'));
    };
    const std::string user = firstLine({"id", "-un"});
    const std::string computer = firstLine({"uname", "-n"});
    ASSERT_FALSE(user.empty());
    ASSERT_FALSE(computer.empty());
    EXPECT_EQ(qv::GetVariableValue(t, qv::vidUserName, 0), user);
    EXPECT_EQ(ExpandVariables(t, "%UserName%"), user);
    EXPECT_EQ(qv::GetVariableValue(t, qv::vidComputerName, 0), computer);
    for (int id : {-1, 14, 19, 49, 1000}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(qv::GetVariableValue(t, id, 0), kVariableError);
    }
}

TEST(PathVariableLoops, SelfReferenceGivesMarkerAtOnce)
{
    struct Case {
        const char *source, *destination, *asked;
    };
    const Case cases[] = {
        {"/data/%Source%", "/b", "%Source%"},                 // one token naming itself
        {"/a/%Destination%", "/b/%Source%", "%Source%"},      // two tokens naming each other
        {"/a/%Destination%", "/b/%Source%", "%Destination%"},
        {"/a/%SourceTop%", "/b", "%Source%"},                 // a part of itself
        {"/a/%DeletedArchive%", "/b/%VersionsArchive%", "%Source%%Destination%"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source);
        FakeTask t;
        t.sources = {c.source};
        t.destination = c.destination;
        t.archive = "%Destination%Deleted/";
        t.versions = "%Source%Versions/";
        const std::string out = ExpandVariables(t, c.asked);
        EXPECT_TRUE(hasMarker(out)) << out;
        EXPECT_LT(t.getterCalls, 10) << "the loop was walked instead of cut";
    }
}

// A task whose getters build a fresh view of it for every expansion, as the adapter over a real
// task does: the loop must still be seen as the same task's.
struct StoredFolders {
    std::string source, destination;
    mutable long getterCalls = 0;
};

class FreshView : public qv::VariableContext
{
public:
    explicit FreshView(const StoredFolders &d) : m_d(d) {}
    int sourceCount() const override { return 1; }
    std::string sourceFolder(int) const override { return expand(m_d.source); }
    std::string destinationFolder() const override { return expand(m_d.destination); }
    std::string archiveFolder() const override { return {}; }
    std::string versionsFolder() const override { return {}; }
    std::string name() const override { return "n"; }
    std::string id() const override { return "i"; }
    const void *identity() const override { return &m_d; }

private:
    std::string expand(const std::string &raw) const
    {
        ++m_d.getterCalls;
        return withSlash(ExpandVariables(FreshView(m_d), raw));
    }
    const StoredFolders &m_d;
};

TEST(PathVariableLoops, LoopSeenThroughFreshViewsOfOneTask)
{
    StoredFolders d{"/a/%Destination%", "/b/%Source%"};
    EXPECT_TRUE(hasMarker(ExpandVariables(FreshView(d), "%Source%")));
    EXPECT_LT(d.getterCalls, 10);
}

TEST(PathVariableLoops, ManyCrossReferencesStayCheap)
{
    // Ten sources each naming every other one: a walk of every path through them would take
    // billions of steps; each value is computed once per expansion.
    FakeTask t;
    for (int i = 1; i <= 10; ++i) {
        std::string s = "/s" + std::to_string(i);
        for (int j = 1; j <= 10; ++j) {
            s += "/%Source" + std::to_string(j) + "%%SourceTop" + std::to_string(j) + "%";
        }
        t.sources.push_back(s);
    }
    t.destination = "%Source1%%Source2%%Source3%";
    const std::string out = ExpandVariables(t, "%Destination%");
    EXPECT_TRUE(hasMarker(out));
    EXPECT_LT(t.getterCalls, 500);
}

TEST(PathVariableLoops, DiamondWithoutLoopExpandsFully)
{
    FakeTask t;
    t.sources = {"/base", "%Source1%a", "%Source1%b", "%Source2%%SourceTop3%"};
    EXPECT_EQ(ExpandVariables(t, "%Source4%"), "/base/a/b/");
    EXPECT_FALSE(hasMarker(ExpandVariables(t, "%Source4%%Source3%")));
}

// A chain Source1 -> Source2 -> ... -> SourceN -> "/end": N nested values.
FakeTask chain(int n)
{
    FakeTask t;
    for (int i = 1; i < n; ++i) {
        t.sources.push_back("%Source" + std::to_string(i + 1) + "%");
    }
    t.sources.push_back("/end");
    return t;
}

TEST(PathVariableLoops, FifteenNestedLevelsAndNoMore)
{
    for (int n : {1, 2, 14, 15}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(ExpandVariables(chain(n), "%Source1%"), "/end/");
    }
    for (int n : {16, 17, 40}) {
        SCOPED_TRACE(n);
        EXPECT_TRUE(hasMarker(ExpandVariables(chain(n), "%Source1%")));
    }
}

TEST(PathVariableLoops, NestingCountsPerThread)
{
    // Deep chains expanded on several threads at once must each see only their own depth.
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k) {
        threads.emplace_back([&failures] {
            const FakeTask t = chain(15);
            for (int i = 0; i < 200; ++i) {
                if (ExpandVariables(t, "%Source1%") != "/end/") {
                    ++failures;
                }
            }
        });
    }
    for (auto &th : threads) {
        th.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

TEST(PathVariableLoops, StateIsFreshForEachExpansion)
{
    // A value computed in one expansion is not reused by the next one: the folders may change.
    FakeTask t;
    t.sources = {"/one"};
    EXPECT_EQ(ExpandVariables(t, "%Source%"), "/one/");
    t.sources = {"/two"};
    EXPECT_EQ(ExpandVariables(t, "%Source%"), "/two/");
    // ...and a loop in one expansion leaves nothing behind for the next.
    t.sources = {"%Source%"};
    EXPECT_TRUE(hasMarker(ExpandVariables(t, "%Source%")));
    t.sources = {"/three"};
    EXPECT_EQ(ExpandVariables(t, "%Source%"), "/three/");
}

class ShellFolderVariables : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_home = qvtest::makeTempDir("shellhome");
        m_homeGuard.emplace("HOME", m_home);
        m_config.emplace("XDG_CONFIG_HOME", m_home + "/cfg");
        m_data.emplace("XDG_DATA_HOME", m_home + "/data");
        m_cache.emplace("XDG_CACHE_HOME", m_home + "/cache");
        ::mkdir((m_home + "/cfg").c_str(), 0700);
    }
    std::string m_home;
    std::optional<EnvGuard> m_homeGuard, m_config, m_data, m_cache;
};

TEST_F(ShellFolderVariables, UserDirsFileNamesTheDocumentsFolder)
{
    ::mkdir((m_home + "/Dokumente").c_str(), 0700);
    ::mkdir((m_home + "/Schreibtisch").c_str(), 0700);
    qvtest::writeFile(m_home + "/cfg/user-dirs.dirs",
                      "# written by xdg-user-dirs-update\n"
                      "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
                      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    FakeTask t;
    EXPECT_EQ(ExpandVariables(t, "%WindowsPersonal%/Backup"), m_home + "/Dokumente/Backup");
    EXPECT_EQ(ExpandVariables(t, "%WindowsDesktop%"), m_home + "/Schreibtisch");
    EXPECT_EQ(ExpandVariables(t, "%windowsdesktopdirectory%"), m_home + "/Schreibtisch");
}

TEST_F(ShellFolderVariables, XdgLocations)
{
    FakeTask t;
    struct Case {
        const char *token;
        std::string expected;
    };
    const Case cases[] = {
        {"%WindowsAppData%", m_home + "/cfg"},
        {"%WindowsStartup%", m_home + "/cfg/autostart"},
        {"%WindowsAltStartup%", m_home + "/cfg/autostart"},
        {"%WindowsPrograms%", m_home + "/data/applications"},
        {"%WindowsStartMenu%", m_home + "/data/applications"},
        {"%WindowsFonts%", m_home + "/data/fonts"},
        {"%WindowsInternetCache%", m_home + "/cache"},
        {"%WindowsBitbucket%", m_home + "/data/Trash/files"},
        {"%WindowsPersonal%", m_home + "/Documents"},
        {"%WindowsTemplates%", m_home + "/Templates"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.token);
        EXPECT_EQ(ExpandVariables(t, c.token), c.expected);
    }
}

TEST_F(ShellFolderVariables, FoldersWithoutLinuxCounterpartFail)
{
    FakeTask t;
    int unmapped = 0;
    for (const auto &f : qv::shellFolderNames()) {
        const std::string out = ExpandVariables(t, std::string("%") + f.name + "%/x");
        if (qv::GetSpecialFolderPath(f.id).empty()) {
            ++unmapped;
            EXPECT_EQ(out, std::string(kVariableError) + "/x") << f.name;
        } else {
            EXPECT_EQ(out.front(), '/') << f.name;
        }
    }
    EXPECT_EQ(qv::shellFolderNames().size(), 30u);
    EXPECT_EQ(unmapped, 30 - 12);
    EXPECT_EQ(ExpandVariables(t, "%WindowsControls%"), kVariableError);
    EXPECT_EQ(ExpandVariables(t, "%WindowsCookies%"), kVariableError);
}

TEST_F(ShellFolderVariables, RelativeXdgVariableIsIgnored)
{
    EnvGuard relative("XDG_CONFIG_HOME", std::string("not/absolute"));
    FakeTask t;
    EXPECT_EQ(ExpandVariables(t, "%WindowsAppData%"), m_home + "/.config");
}

} // namespace
