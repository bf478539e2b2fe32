// Folder search: masks, names without an extension, recursion, wildcard folder levels, links.
#include "zip/TDirSearch.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

namespace {

std::vector<std::string> all(qv::TDirSearch &s, const std::string &root)
{
    std::vector<std::string> out;
    std::int64_t size = 0;
    for (std::string p = s.NextFile(size); !p.empty(); p = s.NextFile(size)) {
        out.push_back(p.substr(root.size()));
    }
    return out;
}

TEST(ZipFolderSearch, MasksRecursionAndLevels)
{
    const std::string root = qvtest::makeTempDir("search");
    qvtest::runShell(
        "cd '" + root +
        "' && mkdir -p a/logs b/logs b/other c/deep/er && touch readme x.TXT a/logs/1.log "
        "b/logs/2.log b/other/3.log c/deep/er/4.txt && mkfifo pipe && ln -s c loop && ln -s x.TXT link.txt");
    struct Case
    {
        std::string start, mask;
        bool recurse;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {root, "*.*", false, {"/link.txt", "/readme", "/x.TXT"}},
        {root, "*.txt", false, {"/link.txt", "/x.TXT"}},
        {root,
         "*.txt",
         true,
         {"/a/", "/a/logs/", "/b/", "/b/logs/", "/b/other/", "/c/", "/c/deep/", "/c/deep/er/",
          "/c/deep/er/4.txt", "/link.txt", "/x.TXT"}},
        {root + "/*/logs", "*.log", false, {"/a/logs/1.log", "/b/logs/2.log"}},
        {root + "/<ab>/*", "*", false, {"/a/logs/1.log", "/b/logs/2.log", "/b/other/3.log"}},
        {root + "/missing", "*", true, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.start + " " + c.mask);
        qv::TDirSearch s(c.start, c.mask, c.recurse);
        EXPECT_EQ(all(s, root), c.want);
    }
    qv::TDirSearch sized(root + "/", "readme", false);
    qvtest::writeFile(root + "/readme", "12345");
    std::int64_t size = -1;
    EXPECT_EQ(sized.NextFile(size), root + "/readme");
    EXPECT_EQ(size, 5);
}

} // namespace
