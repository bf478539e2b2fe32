// Path texts against dirname(1) and basename(1), and the final-slash rules.
#include "platform/PathText.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace qv;
using namespace qvtest;

namespace {

std::string toolOutput(const char *tool, const std::string &path)
{
    const CommandResult r = runCommand({tool, "--", path});
    std::string out = r.output;
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return r.exitCode == 0 ? out : "(" + std::string(tool) + " failed)";
}

} // namespace

TEST(PathText, ParentAndNameAgreeWithDirnameAndBasename)
{
    const char *paths[] = {"/a/b",  "/a/b/",  "/a/b//", "/a",    "/a/",      "a",          "a/b",
                           "a/b/",  "/",      "//",     "/a//b", "./x",      "../x/y",     "/a b/c d",
                           "/ü/\xff", ".hidden", "/x/.y", "a/./b", "/home/user/Documents/report.txt"};
    for (const std::string path : paths) {
        EXPECT_EQ(parentOf(path), toolOutput("dirname", path)) << path;
        if (path.find_first_not_of('/') != std::string::npos) {
            EXPECT_EQ(nameOf(path), toolOutput("basename", path)) << path;
        }
    }
}

TEST(PathText, FolderOfAndTheFinalSlash)
{
    struct Case
    {
        std::string path, folder, without, with;
    };
    const Case cases[] = {
        {"/a/b", "/a/", "/a/b", "/a/b/"},
        {"/a/b/", "/a/", "/a/b", "/a/b/"},
        {"/a/b//", "/a/", "/a/b", "/a/b//"},
        {"/a", "/", "/a", "/a/"},
        {"/", "/", "/", "/"},
        {"a", "", "a", "a/"},
        {"a/b", "a/", "a/b", "a/b/"},
        {"", "", "", ""}, // an empty folder never turns into the root
    };
    for (const Case &c : cases) {
        EXPECT_EQ(folderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(withoutSlash(c.path), c.without) << c.path;
        EXPECT_EQ(withSlash(c.path), c.with) << c.path;
        // The folder and the name give the path back (less its trailing slashes).
        if (!c.folder.empty() && c.path != "/") {
            EXPECT_EQ(folderOf(c.path) + nameOf(c.path), withoutSlash(c.path)) << c.path;
        }
    }
}
