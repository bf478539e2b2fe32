// The folder listing against find(1): every entry once, folders told apart, links followed and
// marked, and a folder that cannot be opened.
#include "platform/FolderListing.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace qv;
using namespace qvtest;

TEST(FolderListingTest, AgreesWithFind)
{
    const std::string base = makeTempDir("listing");
    ASSERT_EQ(::mkdir((base + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((base + "/.hidden dir").c_str(), 0755), 0);
    writeFile(base + "/plain.txt", "abc");
    writeFile(base + "/caf\xff.bin", "12345");
    ASSERT_EQ(::symlink("sub", (base + "/to-sub").c_str()), 0);
    ASSERT_EQ(::symlink("plain.txt", (base + "/to-file").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (base + "/dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo((base + "/pipe").c_str(), 0644), 0);

    // find's view: name -> kind of what it leads to (%Y follows links; N for a dangling one).
    const CommandResult found = runCommand({"find", base, "-mindepth", "1", "-maxdepth", "1", "-printf", "%f/%Y/%y\\n"});
    ASSERT_EQ(found.exitCode, 0) << found.output;
    std::map<std::string, std::string> expected;
    std::istringstream lines(found.output);
    for (std::string line; std::getline(lines, line);) {
        const auto slash = line.find('/');
        expected[line.substr(0, slash)] = line.substr(slash + 1);
    }
    ASSERT_EQ(expected.size(), 8u) << found.output;

    FolderListing listing;
    int error = 0;
    ASSERT_TRUE(listing.open(base, error)) << error;
    std::map<std::string, std::string> seen;
    bool listedAsFolder = false;
    while (const char *name = listing.next(listedAsFolder)) {
        const PathStat st = listing.stat(name);
        std::string target = !st.exists ? "N" : st.isFolder ? "d" : st.isRegular ? "f" : "p";
        std::string own = st.isSymlink ? "l" : target;
        if (listedAsFolder) {
            EXPECT_TRUE(st.isFolder && !st.isSymlink) << name << " listed as a folder";
        }
        EXPECT_TRUE(seen.emplace(name, target + "/" + own).second) << name << " twice";
        if (std::string(name) == "caf\xff.bin") {
            EXPECT_EQ(st.size, 5);
        }
    }
    EXPECT_EQ(listing.failed(), 0);
    EXPECT_EQ(seen, expected);
}

TEST(FolderListingTest, AFolderThatCannotBeListed)
{
    const std::string base = makeTempDir("listing");
    writeFile(base + "/file", "x");
    struct Case
    {
        std::string path;
        int error;
    };
    const Case cases[] = {{base + "/missing", ENOENT}, {base + "/file", ENOTDIR}};
    for (const Case &c : cases) {
        FolderListing listing;
        int error = 0;
        EXPECT_FALSE(listing.open(c.path, error)) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
        bool isFolder = false;
        EXPECT_EQ(listing.next(isFolder), nullptr);
    }
}
