// Which destination entries an exact copy deletes, and in which order.
#include "core/engine/ObsoletePlanner.h"

#include <gtest/gtest.h>

namespace {

qv::TFilesList listOf(std::initializer_list<const char *> paths)
{
    qv::TFilesList l;
    for (const char *p : paths) {
        l.FileAdd(p, qv::FileEntryInfo{0, 0, 0, std::string(p).back() == '/'});
    }
    return l;
}

TEST(EngineObsoletePlanner, DeletesContentsBeforeFolders)
{
    auto dest = listOf({"/d/keep", "/d/old", "/d/gone/", "/d/gone/x", "/d/gone/sub/", "/d/gone/sub/y"});
    auto wanted = listOf({"/d/keep"});
    auto actions = qv::planObsolete(dest, wanted, {}, false);
    std::vector<qv::ObsoleteAction> expected = {{"/d/gone/sub/y", false, false},
                                                {"/d/gone/sub/", true, false},
                                                {"/d/gone/x", false, false},
                                                {"/d/gone/", true, false},
                                                {"/d/old", false, false}};
    EXPECT_EQ(actions, expected);
}

TEST(EngineObsoletePlanner, WholeTreesForTheTrash)
{
    auto dest = listOf({"/d/gone/", "/d/gone/x", "/d/gone/sub/", "/d/gone/sub/y", "/d/mixed/", "/d/mixed/old",
                        "/d/mixed/new"});
    auto wanted = listOf({"/d/mixed/", "/d/mixed/new"});
    auto actions = qv::planObsolete(dest, wanted, {}, true);
    std::vector<qv::ObsoleteAction> expected = {{"/d/mixed/old", false, false}, {"/d/gone/", true, true}};
    EXPECT_EQ(actions, expected);

    // A folder that holds something kept is never taken whole.
    auto dest2 = listOf({"/d/f/", "/d/f/keep", "/d/f/old"});
    auto wanted2 = listOf({"/d/f/keep"});
    auto actions2 = qv::planObsolete(dest2, wanted2, {}, true);
    std::vector<qv::ObsoleteAction> expected2 = {{"/d/f/old", false, false}, {"/d/f/", true, false}};
    EXPECT_EQ(actions2, expected2);
}

TEST(EngineObsoletePlanner, ProtectedFoldersTheirContentsAndAncestors)
{
    auto dest = listOf({"/d/a/", "/d/a/src/", "/d/a/src/file", "/d/arch/", "/d/arch/v.1", "/d/other",
                        "/d/archive2/", "/d/archive2/z"});
    auto wanted = listOf({});
    auto actions = qv::planObsolete(dest, wanted, {"/d/a/src/", "/d/arch/"}, true);
    // "/d/archive2/" is not inside "/d/arch/": whole components only.
    std::vector<qv::ObsoleteAction> expected = {{"/d/archive2/", true, true}, {"/d/other", false, false}};
    EXPECT_EQ(actions, expected);
}

} // namespace
