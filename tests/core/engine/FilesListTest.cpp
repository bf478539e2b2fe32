// The file list keeps a folder index and a name per entry: every path comes back byte for byte,
// lookups and "inside a folder" agree with plain string rules, and removal keeps order.
#include "core/engine/FilesList.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Paths of every shape the list can be handed: folders and files, no folder at all, empty
// names, doubled slashes, names that are not valid UTF-8, long names, names that share prefixes.
std::vector<std::string> oddPaths()
{
    std::vector<std::string> paths = {
        "/",
        "",
        "a",
        "a/",
        "a//",
        "/a",
        "/a/",
        "/a/b",
        "/a/b/",
        "/a/bc",
        "/a/b/c",
        "/a/b//c",
        "/ab/c",
        "/a/b c/\xff\xfe",
        std::string("/a/nul\0in/name", 14),
        "/a/\xc3\x28.txt",
        "/a/b/c/d/e/f/g/h/",
        "/a/" + std::string(255, 'n'),
        "/a/" + std::string(4000, 'x') + "/y",
        "/A/B",
        "/a/B",
    };
    return paths;
}

bool naiveInside(const std::string &path, const std::string &folder)
{
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0;
}

TEST(FilesList, EveryPathComesBackAsItWasAddedAndIsFoundAgain)
{
    qv::TFilesList list;
    const auto paths = oddPaths();
    for (std::size_t k = 0; k < paths.size(); ++k) {
        const qv::FileEntryInfo info{static_cast<std::int64_t>(k) * 1000, static_cast<std::int64_t>(k) - 5,
                                     static_cast<std::uint32_t>(0100000 | k), !paths[k].empty() && paths[k].back() == '/'};
        EXPECT_EQ(list.FileAdd(paths[k], info), k) << paths[k];
    }
    ASSERT_EQ(list.size(), paths.size());
    for (std::size_t k = 0; k < paths.size(); ++k) {
        EXPECT_EQ(list.path(k), paths[k]);
        EXPECT_EQ(list.indexOf(paths[k]), static_cast<std::ptrdiff_t>(k)) << paths[k];
        EXPECT_EQ(std::string(list.folderOf(k)) + std::string(list.nameOf(k)) +
                      (!paths[k].empty() && paths[k].back() == '/' ? "/" : ""),
                  paths[k]);
        const qv::FileEntryInfo info = list.info(k);
        EXPECT_EQ(info.size, static_cast<std::int64_t>(k) * 1000);
        EXPECT_EQ(info.mtimeNs, static_cast<std::int64_t>(k) - 5);
        EXPECT_EQ(info.mode, static_cast<std::uint32_t>(0100000 | k));
        // Adding the same path again changes nothing and gives the first index.
        EXPECT_EQ(list.FileAdd(paths[k]), k);
    }
    EXPECT_EQ(list.size(), paths.size());
    for (const char *absent : {"/a/b/c/", "/a/b/d", "/x", "/a/bc/", "a/b", "/a/b/c/d/e/f/g/h"}) {
        EXPECT_EQ(list.indexOf(absent), -1) << absent;
    }
}

// An entry holds sizes below 256 TiB and names by their length in one or two bytes; larger sizes
// are kept aside, and everything comes back the same, also after a removal.
TEST(FilesList, SizesAndNameLengthsAtTheEdgesOfTheEntry)
{
    const std::int64_t edge = std::int64_t{1} << 48;
    const struct {
        std::int64_t size;
        std::size_t nameLength;
    } cases[] = {{0, 1}, {edge - 2, 127}, {edge - 1, 128}, {edge, 255}, {INT64_MAX, 1000}, {-1, 32767}, {7, 2}};
    qv::TFilesList list;
    std::vector<std::string> names;
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        names.push_back(std::string(cases[k].nameLength - 1, 'n') + std::to_string(k % 10));
        list.FileAdd("/f/", names.back(), false, qv::FileEntryInfo{cases[k].size, -3, 0120777, false});
    }
    EXPECT_THROW(list.FileAdd("/f/", std::string(32768, 'z'), false, {}), std::length_error);
    list.removeIf({true}); // the first goes: the others move down one place
    ASSERT_EQ(list.size(), std::size(cases) - 1);
    for (std::size_t k = 1; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(list.nameOf(k - 1), names[k]);
        EXPECT_EQ(list.info(k - 1).size, cases[k].size);
        EXPECT_EQ(list.info(k - 1).mode, 0120777u);
        EXPECT_EQ(list.indexOf("/f/" + names[k]), static_cast<std::ptrdiff_t>(k - 1));
    }
}

// holds() answers as contains() does: through its folder index for a list in scan order, through
// the table for any other, and again after entries are added.
TEST(FilesList, HoldsAnswersAsContainsInScanOrderAndOtherwise)
{
    const std::vector<std::string> scanOrder = {"/r/a", "/r/b", "/r/\xc3\xa9", "/r/d/", "/r/d/x", "/r/d/y", "/r/d/e/",
                                                "/r/d/e/z", "/r/d/empty/", "/r/f/", "/r/f/q"};
    const std::vector<std::string> otherOrder = {"/r/b", "/r/a", "/r/d/", "/r/d/x"}; // files not sorted
    const std::vector<std::string> split = {"/r/a", "/r/d/", "/r/d/x", "/r/b"};      // a folder's files apart
    const std::vector<std::string> probes = {"/r/a",  "/r/b",   "/r/c",   "/r/d",   "/r/d/",  "/r/d/x", "/r/d/e/",
                                             "/r/d/e", "/r/d/empty/", "/r/d/empty", "/r/f/q", "/r/f/", "/x/a", "/r/",
                                             "/r/\xc3\xa9", "/r/d/z", "/r/zz", ""};
    for (const auto *paths : {&scanOrder, &otherOrder, &split}) {
        qv::TFilesList list;
        for (const std::string &p : *paths) {
            list.FileAdd(p, qv::FileEntryInfo{0, 0, 0, p.back() == '/'});
        }
        for (int round = 0; round < 2; ++round) {
            for (const std::string &p : probes) {
                EXPECT_EQ(list.holds(p), list.contains(p)) << p;
            }
            list.FileAdd("/r/d/w"); // after the folder's other files, out of order
        }
    }
}

TEST(FilesList, InsideAFolderAgreesWithThePlainPrefixRule)
{
    qv::TFilesList list;
    const auto paths = oddPaths();
    for (const std::string &p : paths) {
        list.FileAdd(p);
    }
    std::vector<std::string> folders = {"", "/", "/a", "/a/", "/a/b", "/a/b/", "/a/b/c/", "/a/b//", "a/", "a//",
                                        "/ab/", "/a/b c/", "/a/nu", "/a/" + std::string(4000, 'x') + "/", "/A/"};
    for (const std::string &p : paths) {
        folders.push_back(p); // every entry against every other as a folder
    }
    for (std::size_t k = 0; k < list.size(); ++k) {
        for (const std::string &f : folders) {
            EXPECT_EQ(list.isInside(k, f), naiveInside(paths[k], f)) << "entry '" << paths[k] << "' folder '" << f << "'";
        }
    }
}

TEST(FilesList, ManyEntriesAcrossChunksBlocksAndTableGrowth)
{
    qv::TFilesList list;
    std::map<std::string, std::size_t> expected;
    // 30,000 names in 300 folders, added folder by folder and then once more in a different order.
    for (int f = 0; f < 300; ++f) {
        const std::string folder = "/tree/d" + std::to_string(f % 17) + "/s" + std::to_string(f) + "/";
        expected.emplace(folder, list.FileAdd(folder, qv::FileEntryInfo{0, 0, 0, true}));
        for (int n = 0; n < 100; ++n) {
            const std::string path = folder + "file-" + std::to_string(n * 7919 % 1000) + ".dat";
            expected.emplace(path, list.FileAdd(path, qv::FileEntryInfo{n, f, 0644, false}));
        }
    }
    const std::size_t count = list.size();
    EXPECT_EQ(count, expected.size());
    for (const auto &[path, index] : expected) {
        EXPECT_EQ(list.FileAdd(path), index);
    }
    EXPECT_EQ(list.size(), count);
    for (const auto &[path, index] : expected) {
        ASSERT_EQ(list.path(index), path);
        ASSERT_EQ(list.indexOf(path), static_cast<std::ptrdiff_t>(index));
    }
}

TEST(FilesList, RemovingEntriesKeepsTheOrderTheInfoAndTheLookups)
{
    qv::TFilesList list;
    const auto paths = oddPaths();
    for (std::size_t k = 0; k < paths.size(); ++k) {
        list.FileAdd(paths[k], qv::FileEntryInfo{static_cast<std::int64_t>(k), 0, 0, false});
    }
    std::vector<bool> remove(paths.size(), false);
    for (std::size_t k = 0; k < paths.size(); k += 3) {
        remove[k] = true;
    }
    list.removeIf(remove);
    std::size_t at = 0;
    for (std::size_t k = 0; k < paths.size(); ++k) {
        if (remove[k]) {
            EXPECT_EQ(list.indexOf(paths[k]), -1) << paths[k];
            continue;
        }
        ASSERT_LT(at, list.size());
        EXPECT_EQ(list.path(at), paths[k]);
        EXPECT_EQ(list.info(at).size, static_cast<std::int64_t>(k));
        EXPECT_EQ(list.indexOf(paths[k]), static_cast<std::ptrdiff_t>(at));
        ++at;
    }
    EXPECT_EQ(at, list.size());
    // A moved list keeps working: its folder paths did not move with it.
    qv::TFilesList moved = std::move(list);
    for (std::size_t k = 0; k < moved.size(); ++k) {
        EXPECT_EQ(moved.indexOf(moved.path(k)), static_cast<std::ptrdiff_t>(k));
    }
    moved.clear();
    EXPECT_TRUE(moved.empty());
    EXPECT_EQ(moved.indexOf("/a/b"), -1);
    EXPECT_EQ(moved.FileAdd("/a/b"), 0u);
}

} // namespace

namespace {

// Entries appended without a lookup are found by later lookups, also after the table was dropped,
// and a later addition of the same path still gives the first entry.
TEST(FilesList, EntriesAppendedWithoutALookupAreFoundLater)
{
    qv::TFilesList list;
    for (int f = 0; f < 40; ++f) {
        const std::string folder = "/r/f" + std::to_string(f) + "/";
        list.appendNew("/r/", "f" + std::to_string(f), true, qv::FileEntryInfo{0, 0, 0, true});
        for (int n = 0; n < 50; ++n) {
            list.appendNew(folder, "n" + std::to_string(n), false, qv::FileEntryInfo{n, 0, 0, false});
        }
    }
    std::size_t count = list.size();
    for (int round = 0; round < 2; ++round) {
        for (int f = 0; f < 40; f += 7) {
            const std::string folder = "/r/f" + std::to_string(f) + "/";
            const std::ptrdiff_t at = list.indexOf(folder + "n13");
            ASSERT_GE(at, 0);
            EXPECT_EQ(list.path(static_cast<std::size_t>(at)), folder + "n13");
            EXPECT_EQ(list.info(static_cast<std::size_t>(at)).size, 13);
            EXPECT_EQ(list.FileAdd(folder), static_cast<std::size_t>(list.indexOf(folder)));
            EXPECT_TRUE(list.isFolder(static_cast<std::size_t>(list.indexOf(folder))));
            EXPECT_EQ(list.FileAdd(folder + "n49"), static_cast<std::size_t>(list.indexOf(folder + "n49")));
        }
        EXPECT_EQ(list.size(), count);
        EXPECT_EQ(list.indexOf("/r/f3/n50"), -1);
        list.dropIndex();
        // More entries without a lookup after the table went: the next lookup covers them too.
        list.appendNew("/r/late/", "x" + std::to_string(round), false, qv::FileEntryInfo{});
        EXPECT_GE(list.indexOf("/r/late/x" + std::to_string(round)), 0);
        EXPECT_EQ(list.FileAdd("/r/late/x" + std::to_string(round)), list.size() - 1);
        count = list.size();
    }
}

} // namespace
