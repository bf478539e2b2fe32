// The scan: order, totals, filters and empty folders, special files, unreadable folders; the file
// list's duplicate handling.
#include "EngineTestSupport.h"

#include "core/engine/FilesList.h"
#include "core/engine/FolderScanner.h"
#include "core/engine/RunControl.h"
#include "core/engine/SourceStream.h"
#include "platform/FileIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <unistd.h>

namespace {

using namespace enginetest;

std::vector<std::string> paths(const qv::TFilesList &list, const std::string &root)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        out.push_back(std::string(list.path(i)).substr(root.size()));
    }
    return out;
}

struct ScanRun {
    qv::TFilesList list;
    qv::ScanTotals totals;
    std::vector<std::string> skipped;
    std::vector<std::string> unreadable;
};

ScanRun scan(const std::string &root, const qv::EntryFilter *filter, bool applyFilters = true,
             qv::DirectoryReader *reader = nullptr, bool subfolders = true)
{
    static qv::DirectoryReader plain;
    qv::RunControl control;
    ScanRun r;
    qv::ScanCallbacks cb;
    cb.skippedSpecial = [&](const std::string &p) { r.skipped.push_back(p.substr(root.size())); };
    cb.unreadable = [&](const std::string &p, int) { r.unreadable.push_back(p.substr(root.size())); };
    qv::FolderScanner scanner(reader != nullptr ? *reader : plain, control, cb);
    qv::ScanOptions o;
    o.applyFilters = applyFilters;
    o.includeSubfolders = subfolders;
    o.filter = filter;
    scanner.ReadFolder(root, r.list, o, r.totals, "Reading");
    return r;
}

TEST(EngineFolderScan, OrderAndTotals)
{
    const std::string root = qvtest::makeTempDir("scan") + "/";
    put(root + "b.txt", "12345");
    put(root + "a.txt", "1");
    put(root + "sub/z", "xx");
    put(root + "sub/deeper/q", "");
    put(root + "aaa/k", "kkk");
    put(root + "sub/" + qv::tempNameBeside("qv"), "left by a killed copy");
    ScanRun r = scan(root, nullptr);
    const std::vector<std::string> expected = {"a.txt", "b.txt", "aaa/", "aaa/k", "sub/", "sub/z", "sub/deeper/",
                                               "sub/deeper/q"};
    EXPECT_EQ(paths(r.list, root), expected);
    EXPECT_EQ(r.totals.files, 5);
    EXPECT_EQ(r.totals.folders, 3);
    EXPECT_EQ(r.totals.bytes, 11);

    ScanRun flat = scan(root, nullptr, true, nullptr, false);
    EXPECT_EQ(paths(flat.list, root), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(flat.totals.folders, 0);
}

TEST(EngineFolderScan, EmptyFoldersWithAndWithoutFilters)
{
    const std::string root = qvtest::makeTempDir("empty") + "/";
    put(root + "keep/a.doc", "a");
    put(root + "tmponly/x.tmp", "t");
    put(root + "nested/inner/deep/y.tmp", "t");
    qvtest::runShell("mkdir -p '" + root + "bare/one/two'");

    SuffixFilter dropTmp({".tmp"}, false);
    ScanRun r = scan(root, &dropTmp);
    EXPECT_EQ(paths(r.list, root), (std::vector<std::string>{"keep/", "keep/a.doc"}));
    EXPECT_EQ(r.totals.folders, 1);
    EXPECT_EQ(r.totals.files, 1);

    SuffixFilter keepEmpty({".tmp"}, true);
    ScanRun withEmpty = scan(root, &keepEmpty);
    EXPECT_EQ(withEmpty.totals.folders, 8);
    EXPECT_EQ(withEmpty.list.size(), 9u);
    EXPECT_TRUE(withEmpty.list.contains(root + "bare/one/two/"));

    // Without filters (a destination scan) nothing is dropped, files of every kind are taken.
    ScanRun all = scan(root, &dropTmp, false);
    EXPECT_EQ(all.totals.files, 3);
    EXPECT_EQ(all.totals.folders, 8);
}

TEST(EngineFolderScan, SpecialFilesAndLinks)
{
    const std::string root = qvtest::makeTempDir("special") + "/";
    put(root + "real/file", "data");
    ASSERT_EQ(::mkfifo((root + "pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("../real", (root + "real/loop").c_str()), 0);   // a link to a folder, forming a loop
    ASSERT_EQ(::symlink("file", (root + "real/alias").c_str()), 0);     // a link to a regular file
    ASSERT_EQ(::symlink("missing", (root + "dangling").c_str()), 0);
    ScanRun r = scan(root, nullptr);
    EXPECT_EQ(paths(r.list, root), (std::vector<std::string>{"real/", "real/alias", "real/file"}));
    std::sort(r.skipped.begin(), r.skipped.end());
    EXPECT_EQ(r.skipped, (std::vector<std::string>{"dangling", "pipe", "real/loop"}));
    EXPECT_EQ(r.totals.bytes, 8);
}

TEST(EngineFolderScan, UnreadableFolderIsReportedAndSkipped)
{
    const std::string root = qvtest::makeTempDir("unreadable") + "/";
    put(root + "ok/a", "a");
    put(root + "locked/b", "b");
    put(root + "locked/inner/c", "c");
    FailingReader reader({root + "locked/"});
    ScanRun r = scan(root, nullptr, true, &reader);
    EXPECT_EQ(paths(r.list, root), (std::vector<std::string>{"locked/", "ok/", "ok/a"}));
    EXPECT_EQ(r.unreadable, (std::vector<std::string>{"locked/"}));
}

TEST(EngineFolderScan, ParallelScanGivesTheSameList)
{
    const std::string root = qvtest::makeTempDir("parallel") + "/";
    for (int d = 0; d < 7; ++d) {
        for (int f = 0; f < 30; ++f) {
            put(root + "d" + std::to_string(d) + "/s" + std::to_string(f % 3) + "/f" + std::to_string(f), "x");
        }
    }
    put(root + "top-file", "t");
    put(root + "skip/inside", "not entered");
    put(root + "d3/s1/only.tmp", "filtered");
    qvtest::runShell("mkdir -p '" + root + "empty/deeper'");
    FailingReader reader({root + "d5/s2/"});
    SuffixFilter dropTmp({".tmp"}, false);
    for (bool applyFilters : {true, false}) {
        SCOPED_TRACE(applyFilters ? "filtered" : "unfiltered");
        qv::RunControl control;
        qv::ScanOptions o;
        o.applyFilters = applyFilters;
        o.filter = &dropTmp;
        o.noDescend = {root + "skip/"};
        qv::FolderScanner serial(reader, control, {});
        qv::TFilesList one;
        qv::ScanTotals oneTotals;
        serial.ReadFolder(root, one, o, oneTotals, "");
        o.parallel = 3;
        qv::FolderScanner parallel(reader, control, {});
        qv::TFilesList many;
        qv::ScanTotals manyTotals;
        parallel.ReadFolder(root, many, o, manyTotals, "");
        EXPECT_EQ(paths(many, root), paths(one, root));
        EXPECT_EQ(manyTotals.files, oneTotals.files);
        EXPECT_EQ(manyTotals.folders, oneTotals.folders);
        EXPECT_EQ(manyTotals.bytes, oneTotals.bytes);
        EXPECT_EQ(parallel.unreadableFolders(), serial.unreadableFolders());
        EXPECT_EQ(one.contains(root + "skip/"), !applyFilters); // listed, not entered: empty when filtered
        EXPECT_FALSE(one.contains(root + "skip/inside"));
        EXPECT_EQ(one.contains(root + "d3/s1/only.tmp"), !applyFilters);
    }
}

// A count-only scan (names and kinds only, nothing kept) counts and reports what a full scan
// without filters lists, serial or parallel; links to files count as files, other specials and
// links to folders are reported.
TEST(EngineFolderScan, CountOnlyScanCountsAndReportsWhatTheFullScanLists)
{
    const std::string root = qvtest::makeTempDir("countonly") + "/";
    for (int d = 0; d < 5; ++d) {
        put(root + "d" + std::to_string(d) + "/s/f", "x");
    }
    put(root + "top", "t");
    put(root + "skip/inside", "not entered");
    put(root + "d1/" + qv::tempNameBeside("qv"), "left by a killed copy");
    ASSERT_EQ(::mkfifo((root + "d2/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("../top", (root + "d2/alias").c_str()), 0);
    ASSERT_EQ(::symlink("..", (root + "d3/up").c_str()), 0);
    ASSERT_EQ(::symlink("missing", (root + "dangling").c_str()), 0);
    FailingReader reader({root + "d4/s/"});
    for (int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        ScanRun runs[2];
        for (int k = 0; k < 2; ++k) {
            qv::RunControl control;
            qv::ScanCallbacks cb;
            std::mutex mutex; // reported from the scan threads
            cb.skippedSpecial = [&, k](const std::string &p) {
                std::lock_guard<std::mutex> lock(mutex);
                runs[k].skipped.push_back(p.substr(root.size()));
            };
            qv::FolderScanner scanner(reader, control, cb);
            qv::ScanOptions o;
            o.applyFilters = false;
            o.noDescend = {root + "skip/"};
            o.parallel = threads;
            o.countOnly = k == 1;
            scanner.ReadFolder(root, runs[k].list, o, runs[k].totals, "");
            runs[k].unreadable = scanner.unreadableFolders();
            std::sort(runs[k].skipped.begin(), runs[k].skipped.end());
        }
        const ScanRun &full = runs[0];
        const ScanRun &counted = runs[1];
        EXPECT_TRUE(counted.list.empty());
        EXPECT_EQ(counted.totals.files + counted.totals.folders, static_cast<std::int64_t>(full.list.size()));
        EXPECT_EQ(counted.totals.files, full.totals.files);
        EXPECT_EQ(counted.totals.folders, full.totals.folders);
        EXPECT_EQ(counted.skipped, full.skipped);
        EXPECT_EQ(counted.skipped, (std::vector<std::string>{"d2/pipe", "d3/up", "dangling"}));
        EXPECT_EQ(counted.unreadable, full.unreadable);
        EXPECT_EQ(counted.unreadable, (std::vector<std::string>{root + "d4/s/"}));
    }
}

// Subtrees listed ahead of the join wait in lists of their own: their number stays bounded
// however many folders the top level holds, even while the joining thread is held up.
TEST(EngineFolderScan, ParallelScanListsOnlyAFewSubtreesAhead)
{
    const std::string root = qvtest::makeTempDir("ahead") + "/";
    const int folders = 60;
    for (int d = 0; d < folders; ++d) {
        put(root + "d" + std::to_string(100 + d) + "/f", "x");
    }
    struct CountingReader : qv::DirectoryReader {
        std::string root;
        std::atomic<int> subtrees{0};
        bool list(const std::string &folder, std::vector<qv::DirItem> &items, int &error) override
        {
            if (folder != root) {
                ++subtrees;
            }
            return qv::DirectoryReader::list(folder, items, error);
        }
    } reader;
    reader.root = root;
    qv::RunControl control;
    int seenAtFirstJoin = -1;
    qv::ScanCallbacks cb;
    cb.progress = [&](const std::string &) {
        if (seenAtFirstJoin < 0) {
            // Give the workers every chance to run ahead before the first subtree is joined.
            for (int k = 0; k < 200 && reader.subtrees < folders; ++k) {
                ::usleep(1000);
            }
            seenAtFirstJoin = reader.subtrees;
        }
    };
    qv::FolderScanner scanner(reader, control, cb);
    qv::ScanOptions o;
    o.parallel = 3;
    qv::TFilesList list;
    qv::ScanTotals totals;
    scanner.ReadFolder(root, list, o, totals, "Reading");
    EXPECT_EQ(totals.files, folders);
    EXPECT_GE(seenAtFirstJoin, 1);
    EXPECT_LE(seenAtFirstJoin, 1 + 2 * 3);
}

// A scan that would take more than its budget keeps no list but counts, reports (in scan order,
// with any number of threads) and remembers what the full scan does; the stream then hands out the full scan's entries in its order, passing over
// the folders the scan could not list and handing out, in its place, one it cannot list now.
TEST(EngineFolderScan, OverBudgetScanCountsAndTheStreamGivesTheFullList)
{
    const std::string root = qvtest::makeTempDir("budget") + "/";
    for (int d = 0; d < 4; ++d) {
        for (int f = 0; f < 12; ++f) {
            put(root + "d" + std::to_string(d) + "/s" + std::to_string(f % 3) + "/f" + std::to_string(f),
                std::string(static_cast<std::size_t>(f), 'x'));
        }
    }
    put(root + "top", "t");
    put(root + "d1/only.tmp", "filtered");
    put(root + "d2/s1/deep/er/y.tmp", "filtered: the folders above go when empty ones are dropped");
    put(root + "d2/" + qv::tempNameBeside("qv"), "left by a killed copy");
    put(root + "d3/s0/locked/inner/z", "in a folder the scan cannot list");
    qvtest::runShell("mkdir -p '" + root + "bare/one/two' '" + root + "d0/s2/empty'");
    ASSERT_EQ(::mkfifo((root + "d1/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("../top", (root + "d2/alias").c_str()), 0);
    FailingReader reader({root + "d3/s0/locked/"});
    SuffixFilter dropTmp({".tmp"}, false);
    SuffixFilter keepEmpty({".tmp"}, true);
    std::vector<std::string> serialReports; // special files and unreadable folders as a serial scan reports them
    for (const qv::EntryFilter *filter : {static_cast<const qv::EntryFilter *>(&dropTmp),
                                          static_cast<const qv::EntryFilter *>(&keepEmpty),
                                          static_cast<const qv::EntryFilter *>(nullptr)}) {
        for (int threads : {1, 3}) {
            for (std::size_t budget : {std::size_t{0}, std::size_t{400}}) {
                SCOPED_TRACE(testing::Message() << (filter == &dropTmp ? "drop empty" : filter ? "keep empty" : "no filter")
                                                << ", threads " << threads << ", budget " << budget);
                ScanRun runs[2];
                bool overflowed[2] = {false, false};
                for (int k = 0; k < 2; ++k) {
                    qv::RunControl control;
                    qv::ScanCallbacks cb;
                    std::mutex mutex;
                    std::vector<std::string> reports;
                    cb.skippedSpecial = [&, k](const std::string &p) {
                        std::lock_guard<std::mutex> lock(mutex);
                        runs[k].skipped.push_back(p.substr(root.size()));
                        reports.push_back(p);
                    };
                    cb.unreadable = [&](const std::string &p, int) {
                        std::lock_guard<std::mutex> lock(mutex);
                        reports.push_back(p);
                    };
                    qv::FolderScanner scanner(reader, control, cb);
                    qv::ScanOptions o;
                    o.filter = filter;
                    o.parallel = threads;
                    o.keepAtMost = k == 0 ? SIZE_MAX : budget;
                    scanner.ReadFolder(root, runs[k].list, o, runs[k].totals, "");
                    runs[k].unreadable = scanner.unreadableFolders();
                    overflowed[k] = scanner.overflowed();
                    std::sort(runs[k].skipped.begin(), runs[k].skipped.end());
                    // In scan order whatever the threads.
                    if (serialReports.empty()) {
                        serialReports = reports;
                        EXPECT_EQ(serialReports.size(), 2u);
                    } else {
                        EXPECT_EQ(reports, serialReports);
                    }
                }
                const ScanRun &full = runs[0];
                const ScanRun &counted = runs[1];
                ASSERT_FALSE(overflowed[0]);
                ASSERT_TRUE(overflowed[1]);
                EXPECT_TRUE(counted.list.empty());
                EXPECT_EQ(counted.totals.files, full.totals.files);
                EXPECT_EQ(counted.totals.folders, full.totals.folders);
                EXPECT_EQ(counted.totals.bytes, full.totals.bytes);
                EXPECT_EQ(static_cast<std::size_t>(full.totals.files + full.totals.folders), full.list.size());
                EXPECT_EQ(counted.skipped, full.skipped);
                EXPECT_EQ(counted.unreadable, full.unreadable);
                EXPECT_EQ(full.unreadable, (std::vector<std::string>{root + "d3/s0/locked/"}));

                // The stream after the scan: the full list, entry for entry; then with a folder
                // that became unreadable since the scan.
                for (bool another : {false, true}) {
                    SCOPED_TRACE(another ? "another folder unreadable now" : "as scanned");
                    FailingReader now({root + "d3/s0/locked/", root + "d0/s1/"});
                    qv::SourceStream::Options so;
                    so.filter = filter;
                    so.passOver = {root + "d3/s0/locked/"};
                    so.window = 5; // the thread waits for the caller again and again
                    so.listers = budget == 0 ? 0 : 3; // subfolders listed ahead by threads of their own
                    std::atomic<bool> stop{false};
                    qv::SourceStream stream(another ? static_cast<qv::DirectoryReader &>(now) : reader, stop, root,
                                            so);
                    std::vector<std::string> streamed;
                    std::vector<std::string> unreadable;
                    qv::SourceStream::Item item;
                    while (stream.next(item)) {
                        if (item.kind == qv::SourceStream::Item::Unreadable) {
                            unreadable.push_back(item.path.substr(root.size()));
                            continue;
                        }
                        streamed.push_back(item.path.substr(root.size()));
                        const std::ptrdiff_t i = full.list.indexOf(item.path);
                        ASSERT_GE(i, 0) << item.path;
                        const qv::FileEntryInfo expected = full.list.info(static_cast<std::size_t>(i));
                        EXPECT_EQ(item.info.size, expected.size);
                        EXPECT_EQ(item.info.mtimeNs, expected.mtimeNs);
                        EXPECT_EQ(item.info.mode, expected.mode);
                        EXPECT_EQ(item.info.isFolder, expected.isFolder);
                    }
                    std::vector<std::string> expected = paths(full.list, root);
                    if (another) {
                        std::erase_if(expected, [](const std::string &p) { return p.starts_with("d0/s1/"); });
                        EXPECT_EQ(unreadable, (std::vector<std::string>{"d0/s1/"}));
                        if (filter == &dropTmp) {
                            EXPECT_EQ(std::count(streamed.begin(), streamed.end(), "d0/s1/"), 0);
                        } else {
                            expected.insert(std::find(expected.begin(), expected.end(), "d0/s2/"), "d0/s1/");
                        }
                    } else {
                        EXPECT_TRUE(unreadable.empty());
                    }
                    EXPECT_EQ(streamed, expected);
                }
            }
        }
    }
}

// A stream dropped before its end, its thread waiting for room, ends at once; so does one of a
// stopped run.
TEST(EngineFolderScan, StreamEndsWhenDroppedOrStopped)
{
    const std::string root = qvtest::makeTempDir("streamstop") + "/";
    for (int f = 0; f < 50; ++f) {
        put(root + "d/f" + std::to_string(f), "x");
    }
    qv::DirectoryReader reader;
    qv::SourceStream::Options so;
    so.window = 2;
    std::atomic<bool> stop{false};
    {
        qv::SourceStream stream(reader, stop, root, so);
        qv::SourceStream::Item item;
        ASSERT_TRUE(stream.next(item));
        EXPECT_EQ(item.path, root + "d/");
    }
    stop = true;
    qv::SourceStream stopped(reader, stop, root, so);
    qv::SourceStream::Item item;
    int count = 0;
    while (stopped.next(item)) {
        ++count;
    }
    EXPECT_EQ(count, 0);
}

TEST(EngineFolderScan, StopEndsTheScan)
{
    const std::string root = qvtest::makeTempDir("stop") + "/";
    put(root + "a", "1");
    put(root + "b", "2");
    qv::RunControl control;
    control.requestStop();
    qv::DirectoryReader reader;
    qv::FolderScanner scanner(reader, control, {});
    qv::TFilesList list;
    qv::ScanTotals totals;
    scanner.ReadFolder(root, list, qv::ScanOptions{}, totals, "");
    EXPECT_TRUE(list.empty());
}

TEST(EngineFilesList, DuplicatesAndCaseSensitiveNames)
{
    qv::TFilesList list;
    EXPECT_EQ(list.FileAdd("/a/File"), 0u);
    EXPECT_EQ(list.FileAdd("/a/file"), 1u);
    EXPECT_EQ(list.FileAdd("/a/File"), 0u);
    EXPECT_EQ(list.indexOf("/a/file"), 1);
    EXPECT_EQ(list.indexOf("/a/FILE"), -1);
    // Many entries: the table grows and every entry is still found.
    for (int i = 0; i < 5000; ++i) {
        list.FileAdd("/bulk/" + std::to_string(i));
    }
    for (int i = 0; i < 5000; i += 97) {
        EXPECT_EQ(list.indexOf("/bulk/" + std::to_string(i)), i + 2);
    }
    std::vector<bool> remove(list.size(), false);
    remove[0] = true;
    list.removeIf(remove);
    EXPECT_EQ(list.indexOf("/a/file"), 0);
    EXPECT_EQ(list.indexOf("/a/File"), -1);
    EXPECT_EQ(list.indexOf("/bulk/4999"), 5000);
}

TEST(EngineFilesList, RemoveEmptyFoldersInOnePass)
{
    qv::TFilesList list;
    for (const char *p : {"/r/a/", "/r/a/b/", "/r/a/b/c/", "/r/d/", "/r/d/f", "/r/e/", "/r/ee/", "/r/ee/x"}) {
        list.FileAdd(p, qv::FileEntryInfo{0, 0, 0, std::string(p).back() == '/'});
    }
    EXPECT_EQ(qv::removeEmptyFolders(list), 4);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list.path(0), "/r/d/");
    EXPECT_EQ(list.path(2), "/r/ee/");
}

} // namespace
