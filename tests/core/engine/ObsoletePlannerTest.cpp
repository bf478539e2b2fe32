// Which destination entries an exact copy deletes, and in which order.
#include "EngineTestSupport.h"

#include "core/engine/FolderScanner.h"
#include "core/engine/ObsoletePlanner.h"
#include "core/engine/RunControl.h"
#include "platform/FileIo.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

// The exact copy walks the destination after its copy instead of keeping a list of it: the walk
// must give, case by case, the actions the planner gives for the scan of the same folder.
TEST(EngineObsoletePlanner, WalkOfTheFolderGivesWhatTheScanListGives)
{
    using enginetest::put;
    const std::string root = qvtest::makeTempDir("walk") + "/";
    for (const char *p : {"keep", "old", "gone/x", "gone/sub/y", "mixed/new", "mixed/old", "deep/a/b/kept",
                          "deep/a/b/old", "deep/a/c/old", "prot/inner/z", "above/prot2/w", "skip/inside",
                          "mixed/.qv.qvtmp-AbCd1234", "zz/last"}) {
        put(root + p, "x");
    }
    put(root + "mixed/" + qv::tempNameBeside("qv"), "x"); // a killed copy's; the one above is a user's
    ::mkdir((root + "empty").c_str(), 0755);
    ::mkdir((root + "gone/empty").c_str(), 0755);
    ASSERT_EQ(::mkfifo((root + "fifo").c_str(), 0644), 0);
    ASSERT_EQ(::symlink((root + "keep").c_str(), (root + "linkfile").c_str()), 0);
    ASSERT_EQ(::symlink((root + "gone").c_str(), (root + "linkdir").c_str()), 0);
    ASSERT_EQ(::symlink((root + "nothing").c_str(), (root + "dangling").c_str()), 0);
    std::set<std::string> wantedPaths;
    for (const char *p : {"keep", "mixed/", "mixed/new", "deep/", "deep/a/", "deep/a/b/", "deep/a/b/kept"}) {
        wantedPaths.insert(root + p);
    }
    const auto wanted = [&](std::string_view p) { return wantedPaths.count(std::string(p)) != 0; };
    const std::set<std::string> noDescend = {root + "skip/"};
    struct Case {
        const char *name;
        std::vector<std::string> protectedFolders;
        std::set<std::string> failing; // folders that cannot be listed
        bool wholeTrees;
    } cases[] = {
        {"plain", {}, {}, false},
        {"whole trees", {}, {}, true},
        {"protected folders", {root + "prot/", root + "above/prot2/", root + "skip/"}, {}, true},
        {"protected, one by one", {root + "prot/", root + "above/prot2/"}, {}, false},
        {"unreadable folder", {}, {root + "deep/a/c/"}, true},
        {"unreadable obsolete folder", {}, {root + "gone/sub/"}, false},
        {"unreadable root", {}, {root}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        enginetest::FailingReader reader(c.failing);
        qv::RunControl control;
        std::vector<std::string> unreadable;
        qv::ScanCallbacks callbacks;
        callbacks.unreadable = [&](const std::string &folder, int) { unreadable.push_back(folder); };
        qv::FolderScanner scanner(reader, control, callbacks);
        qv::ScanOptions options;
        options.applyFilters = false;
        options.noDescend = noDescend;
        qv::TFilesList list;
        qv::ScanTotals totals;
        scanner.ReadFolder(root, list, options, totals, std::string());
        std::vector<std::string> protectedFolders = c.protectedFolders;
        protectedFolders.insert(protectedFolders.end(), unreadable.begin(), unreadable.end());
        const auto fromList = qv::planObsolete(list, wanted, protectedFolders, c.wholeTrees);
        const auto fromWalk = qv::planObsoleteWalk(reader, root, noDescend, wanted, c.protectedFolders,
                                                   c.wholeTrees, [] { return true; });
        EXPECT_EQ(fromWalk, fromList);
        EXPECT_EQ(fromWalk.empty(), c.failing.count(root) != 0);
        // The copy pass decides folder by folder, for the top and each wanted folder, in any order,
        // with what could not be listed at its first look protected.
        std::vector<qv::ObsoleteAction> byFolder;
        for (const std::string &folder : {root + "deep/a/b/", root + "mixed/", root, root + "deep/a/", root + "deep/"}) {
            const auto part = qv::planObsoleteFolder(reader, folder, noDescend, wanted, protectedFolders,
                                                     c.wholeTrees, [] { return true; });
            byFolder.insert(byFolder.end(), part.begin(), part.end());
        }
        qv::orderObsolete(byFolder);
        EXPECT_EQ(byFolder, fromList);
    }
    // A stopped walk ends without looking further.
    qv::DirectoryReader reader;
    EXPECT_TRUE(qv::planObsoleteWalk(reader, root, noDescend, wanted, {}, true, [] { return false; }).empty());
}

} // namespace
