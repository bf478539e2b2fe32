// Mask items of the zip writer through qv-zip a: "*.*", wildcard folder levels and recursion
// select exactly what find selects; inputs that are not there leave no archive behind.
// qv-test-labels: interop
#include "ZipWriterFixture.h"

#include <gtest/gtest.h>

#include <sstream>
#include <unistd.h>

using namespace zwtest;

namespace {

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            out.push_back(line);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

class ZipWriterMasks : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = qvtest::makeTempDir("masks");
        m_root = m_dir + "/root";
        writeTree(m_root, {{"README", "no extension"},
                           {"notes.txt", "n"},
                           {".profile", "dot"},
                           {"data/a/logs/1.log", "1"},
                           {"data/a/logs/X.LOG", "upper"},
                           {"data/a/logs/keep.txt", "k"},
                           {"data/a/logs/deeper/4.log", "4"},
                           {"data/b/logs/2.log", "2"},
                           {"data/b/logs/Makefile", "m"},
                           {"data/c/other/3.log", "3"},
                           {"data/d/logs-not/5.log", "5"}});
    }

    // The names of the archive as Info-ZIP lists them, sorted.
    std::vector<std::string> archiveNames(const std::string &archive)
    {
        auto r = qvtest::runCommand({"unzip", "-Z1", archive});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return lines(r.output);
    }

    std::vector<std::string> findNames(const std::string &findArgs)
    {
        auto r = qvtest::runShell("cd '" + m_root + "' && find " + findArgs + " | sed 's|^\\./||'");
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return lines(r.output);
    }

    std::string m_dir;
    std::string m_root;
};

TEST_F(ZipWriterMasks, MasksSelectWhatFindSelects)
{
    QV_REQUIRE_TOOL("unzip");
    const std::string qvzip = qvtest::binPath("qv-zip");
    struct Case
    {
        std::vector<std::string> options;
        std::string mask;
        std::string find; // shell glob in the folder part, as the folder levels of the mask
    };
    const Case cases[] = {
        {{"-R"}, "*.*", ". -type f"},
        {{}, "*.*", ". -maxdepth 1 -type f"},
        {{"-R"}, "data/*/logs/*.log", "data/*/logs -type f -iname '*.log'"},
        {{}, "data/*/logs/*.log", "data/*/logs -maxdepth 1 -type f -iname '*.log'"},
        {{}, "data/?/*/*", "data/?/* -maxdepth 1 -type f"},
        {{"-R"}, "data/*", "data -type f"},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mask + (c.options.empty() ? "" : " " + c.options[0]));
        const std::string archive = m_dir + "/m" + std::to_string(n++) + ".zip";
        std::vector<std::string> argv = {qvzip, "a"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        argv.insert(argv.end(), {archive, m_root, c.mask});
        auto r = qvtest::runCommand(argv);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        const auto want = findNames(c.find);
        ASSERT_FALSE(want.empty());
        EXPECT_EQ(archiveNames(archive), want);
    }
}

TEST_F(ZipWriterMasks, MissingInputsLeaveNoArchive)
{
    const std::string qvzip = qvtest::binPath("qv-zip");
    struct Case
    {
        std::vector<std::string> files;
        bool archiveWritten;
    };
    const Case cases[] = {
        {{"no-such-file.txt"}, false},
        {{"*.nomatch"}, false},
        {{"nothere/*/logs/*.log"}, false},
        {{"no-such-file.txt", "*.nomatch"}, false},
        {{"no-such-file.txt", "notes.txt"}, true},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.files[0]);
        const std::string archive = m_dir + "/x" + std::to_string(n++) + ".zip";
        std::vector<std::string> argv = {qvzip, "a", archive, m_root};
        argv.insert(argv.end(), c.files.begin(), c.files.end());
        auto r = qvtest::runCommand(argv);
        EXPECT_NE(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find("no such file"), std::string::npos) << r.output;
        EXPECT_EQ(::access(archive.c_str(), F_OK) == 0, c.archiveWritten);
    }
    // An existing archive is left exactly as it was.
    const std::string archive = m_dir + "/kept.zip";
    ASSERT_EQ(qvtest::runCommand({qvzip, "a", archive, m_root, "notes.txt"}).exitCode, 0);
    const std::string before = qvtest::readFile(archive);
    EXPECT_NE(qvtest::runCommand({qvzip, "a", archive, m_root, "*.nomatch"}).exitCode, 0);
    EXPECT_EQ(qvtest::readFile(archive), before);
}

} // namespace
