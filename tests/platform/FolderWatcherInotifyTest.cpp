// The inotify folder watcher on real temporary folders: change kinds, recursive watches, shared
// descriptors, vanished roots, late deliveries and queue overflow.
// qv-test-run: serial
#include "platform/FolderWatcherInotify.h"

#include "WatchTestSupport.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace watchtest;
using qv::FolderChangeKinds;
using qv::FolderWatcherInotify;
namespace CK = qv::ChangeKind;

namespace {

constexpr FolderChangeKinds kAll = 0xFF;

struct KindCase
{
    const char *action;
    std::function<void(const std::string &dir, const std::string &outside)> run;
    FolderChangeKinds expected;
};

// Every action runs in a folder with "old.txt" (some text) and "sub/" in it.
const std::vector<KindCase> &kindCases()
{
    static const std::vector<KindCase> cases = {
        {"move a file in",
         [](const std::string &d, const std::string &o) {
             writeBytes(o + "/in.txt", "x");
             fs::rename(o + "/in.txt", d + "/in.txt");
         },
         CK::kFileName},
        {"create an empty file",
         [](const std::string &d, const std::string &) { writeBytes(d + "/new.txt", ""); },
         CK::kFileName | CK::kCreation | CK::kSize | CK::kLastWrite},
        {"make a folder",
         [](const std::string &d, const std::string &) { fs::create_directory(d + "/newdir"); },
         CK::kDirName | CK::kCreation},
        {"remove a folder", [](const std::string &d, const std::string &) { fs::remove(d + "/sub"); },
         CK::kDirName},
        {"delete a file", [](const std::string &d, const std::string &) { fs::remove(d + "/old.txt"); },
         CK::kFileName},
        {"rename a file",
         [](const std::string &d, const std::string &) { fs::rename(d + "/old.txt", d + "/renamed.txt"); },
         CK::kFileName},
        {"rename a folder",
         [](const std::string &d, const std::string &) { fs::rename(d + "/sub", d + "/sub2"); },
         CK::kDirName},
        {"append to a file",
         [](const std::string &d, const std::string &) { writeBytes(d + "/old.txt", "more", true); },
         CK::kSize | CK::kLastWrite},
        {"change a file's mode",
         [](const std::string &d, const std::string &) { ::chmod((d + "/old.txt").c_str(), 0600); },
         CK::kAttributes | CK::kSecurity},
        {"read a file",
         [](const std::string &d, const std::string &) {
             std::ifstream in(d + "/old.txt");
             std::string s;
             std::getline(in, s);
         },
         CK::kLastAccess},
    };
    return cases;
}

TEST(InotifyKinds, EachActionReachesExactlyTheKindsItStandsFor)
{
    for (const KindCase &c : kindCases()) {
        SCOPED_TRACE(c.action);
        const std::string dir = qvtest::makeTempDir("kinds");
        const std::string outside = qvtest::makeTempDir("outside");
        writeBytes(dir + "/old.txt", "some text\n");
        fs::create_directory(dir + "/sub");

        Recorder control;
        Recorder perKind[8];
        FolderWatcherInotify watcher;
        ASSERT_NE(watcher.addWatch(dir, false, kAll, control.callbacks()).id, 0u);
        for (int bit = 0; bit < 8; ++bit) {
            ASSERT_NE(watcher.addWatch(dir, false, FolderChangeKinds(1u << bit), perKind[bit].callbacks()).id,
                      0u);
        }
        EXPECT_EQ(watcher.kernelWatchCount(), 1u);
        c.run(dir, outside);
        // One action may come in several batches: wait for every kind it stands for, then give
        // the others time to show up if they wrongly would.
        ASSERT_TRUE(waitUntil([&] {
            for (int bit = 0; bit < 8; ++bit) {
                if ((c.expected & (1u << bit)) && perKind[bit].changes == 0) {
                    return false;
                }
            }
            return control.changes > 0;
        }));
        settle(200);
        for (int bit = 0; bit < 8; ++bit) {
            SCOPED_TRACE("kind bit " + std::to_string(bit));
            EXPECT_EQ(perKind[bit].changes > 0, (c.expected & (1u << bit)) != 0);
        }
    }
}

TEST(InotifyKinds, MissingFolderOrFileIsRefusedWithItsError)
{
    const std::string dir = qvtest::makeTempDir("refuse");
    writeBytes(dir + "/file", "x");
    FolderWatcherInotify watcher;
    Recorder r;
    const struct
    {
        std::string path;
        int error;
    } cases[] = {{dir + "/missing", ENOENT}, {dir + "/file", ENOTDIR}, {"", ENOENT}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        auto result = watcher.addWatch(c.path, true, kAll, r.callbacks());
        EXPECT_EQ(result.id, 0u);
        EXPECT_EQ(result.error, c.error);
        EXPECT_FALSE(result.message.empty());
    }
    EXPECT_EQ(watcher.kernelWatchCount(), 0u);
}

TEST(InotifySubtree, FoldersCreatedLaterAreWatchedOnlyWithSubtree)
{
    const std::string dir = qvtest::makeTempDir("subtree");
    fs::create_directories(dir + "/existing/deep");
    Recorder withSubtree;
    Recorder withoutSubtree;
    FolderWatcherInotify watcher;
    const auto a = watcher.addWatch(dir, true, CK::kLastWrite, withSubtree.callbacks());
    const auto b = watcher.addWatch(dir, false, CK::kLastWrite, withoutSubtree.callbacks());
    ASSERT_TRUE(waitUntil([&] { return watcher.isSettled(a.id); }));
    EXPECT_EQ(watcher.folderCount(a.id), 3u);
    EXPECT_EQ(watcher.folderCount(b.id), 1u);

    writeBytes(dir + "/existing/deep/f.txt", "1");
    ASSERT_TRUE(waitUntil([&] { return withSubtree.changes > 0; }));

    // New folders, several levels at once: the watcher walks them as they appear.
    fs::create_directories(dir + "/n1/n2/n3");
    ASSERT_TRUE(waitUntil([&] { return watcher.folderCount(a.id) == 6u; }));
    withSubtree.changes = 0;
    writeBytes(dir + "/n1/n2/n3/f.txt", "2");
    ASSERT_TRUE(waitUntil([&] { return withSubtree.changes > 0; }));
    settle(150);
    EXPECT_EQ(withoutSubtree.changes, 0);
}

TEST(InotifySubtree, AFolderMovedInIsScannedAndWatched)
{
    const std::string dir = qvtest::makeTempDir("movein");
    const std::string outside = qvtest::makeTempDir("prepared");
    fs::create_directories(outside + "/tree/a/b");
    writeBytes(outside + "/tree/a/b/file.txt", "made before any watch");
    Recorder names;
    FolderWatcherInotify watcher;
    // File names only: the folder itself moving in is no file-name change, the file found in it is.
    const auto id = watcher.addWatch(dir, true, CK::kFileName, names.callbacks()).id;
    ASSERT_TRUE(waitUntil([&] { return watcher.isSettled(id); }));
    fs::rename(outside + "/tree", dir + "/tree");
    ASSERT_TRUE(waitUntil([&] { return names.changes > 0; }));
    ASSERT_TRUE(waitUntil([&] { return watcher.folderCount(id) == 4u; }));
    names.changes = 0;
    fs::rename(dir + "/tree/a/b/file.txt", dir + "/tree/a/b/renamed.txt");
    EXPECT_TRUE(waitUntil([&] { return names.changes > 0; }));
}

TEST(InotifySubtree, AFolderMovedOutIsNoLongerWatched)
{
    const std::string dir = qvtest::makeTempDir("moveout");
    const std::string outside = qvtest::makeTempDir("elsewhere");
    fs::create_directories(dir + "/leaving/inner");
    Recorder tree;
    Recorder control;
    FolderWatcherInotify watcher;
    const auto id = watcher.addWatch(dir, true, CK::kLastWrite, tree.callbacks()).id;
    ASSERT_TRUE(waitUntil([&] { return watcher.isSettled(id); }));
    ASSERT_EQ(watcher.folderCount(id), 3u);
    fs::rename(dir + "/leaving", outside + "/left");
    ASSERT_TRUE(waitUntil([&] { return watcher.folderCount(id) == 1u; }));
    EXPECT_EQ(watcher.kernelWatchCount(), 1u);

    watcher.addWatch(outside + "/left/inner", false, CK::kLastWrite, control.callbacks());
    writeBytes(outside + "/left/inner/f.txt", "x");
    ASSERT_TRUE(waitUntil([&] { return control.changes > 0; }));
    settle(150);
    EXPECT_EQ(tree.changes, 0);
}

TEST(InotifySubtree, SymbolicLinksToFoldersAreNotDescended)
{
    const std::string dir = qvtest::makeTempDir("links");
    const std::string target = qvtest::makeTempDir("target");
    fs::create_directory_symlink(target, dir + "/link");
    Recorder tree;
    Recorder control;
    FolderWatcherInotify watcher;
    const auto id = watcher.addWatch(dir, true, CK::kLastWrite | CK::kFileName, tree.callbacks()).id;
    ASSERT_TRUE(waitUntil([&] { return watcher.isSettled(id); }));
    EXPECT_EQ(watcher.folderCount(id), 1u);
    watcher.addWatch(target, false, CK::kLastWrite, control.callbacks());
    writeBytes(target + "/f.txt", "x");
    ASSERT_TRUE(waitUntil([&] { return control.changes > 0; }));
    settle(150);
    EXPECT_EQ(tree.changes, 0);
}

TEST(InotifyLifecycle, ADeletedOrMovedRootGivesOneChangeThenNothing)
{
    for (bool move : {false, true}) {
        SCOPED_TRACE(move ? "moved" : "deleted");
        const std::string base = qvtest::makeTempDir("root");
        const std::string root = base + "/watched";
        fs::create_directories(root + "/sub");
        Recorder r;
        FolderWatcherInotify watcher;
        // Security only: deleting the contents is no change of that kind, losing the root is.
        const auto id = watcher.addWatch(root, true, CK::kSecurity, r.callbacks()).id;
        ASSERT_TRUE(waitUntil([&] { return watcher.isSettled(id); }));
        if (move) {
            fs::rename(root, base + "/moved");
        } else {
            fs::remove_all(root);
        }
        ASSERT_TRUE(waitUntil([&] { return r.changes > 0; }));
        settle(150);
        EXPECT_EQ(r.changes, 1);
        EXPECT_EQ(watcher.kernelWatchCount(), 0u);
        fs::create_directories(root);
        ::chmod(root.c_str(), 0700);
        writeBytes(root + "/again.txt", "x");
        ::chmod((root + "/again.txt").c_str(), 0600);
        settle(250);
        EXPECT_EQ(r.changes, 1);
    }
}

TEST(InotifyLifecycle, NoCallAfterRemovalEvenWhenTheChangeWasAlreadyRead)
{
    const std::string dir = qvtest::makeTempDir("late");
    Recorder removed;
    Recorder replacement;
    Recorder control;
    FolderWatcherInotify watcher;
    const auto old = watcher.addWatch(dir, false, CK::kFileName, removed.callbacks()).id;
    watcher.addWatch(dir, false, CK::kFileName, control.callbacks());
    writeBytes(dir + "/a.txt", "x");
    // Give the watcher thread time to read and queue the change, but run no events yet.
    QThread::msleep(150);
    watcher.removeWatch(old);
    const auto fresh = watcher.addWatch(dir, false, CK::kFileName, replacement.callbacks()).id;
    EXPECT_NE(fresh, old);
    ASSERT_TRUE(waitUntil([&] { return control.changes > 0; }));
    settle(150);
    EXPECT_EQ(removed.changes, 0);
    EXPECT_EQ(replacement.changes, 0);
    watcher.removeWatch(old); // twice is harmless
}

TEST(InotifyLifecycle, DestroyingTheWatcherDropsQueuedDeliveries)
{
    const std::string dir = qvtest::makeTempDir("destroy");
    Recorder r;
    Recorder control; // a second watcher that lives on: the change did happen and was delivered
    FolderWatcherInotify controlWatcher;
    controlWatcher.addWatch(dir, true, kAll, control.callbacks());
    {
        FolderWatcherInotify watcher;
        watcher.addWatch(dir, true, kAll, r.callbacks());
        writeBytes(dir + "/a.txt", "x");
        QThread::msleep(100);
    }
    ASSERT_TRUE(waitUntil([&] { return control.changes > 0; }));
    settle(150);
    EXPECT_EQ(r.changes, 0);
}

int inotifyDescriptorsOfProcess()
{
    int count = 0;
    for (const auto &entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const auto target = fs::read_symlink(entry.path(), ec);
        if (!ec && target.string() == "anon_inode:inotify") {
            ++count;
        }
    }
    return count;
}

TEST(InotifySharing, TwoHundredWatchesShareOneDescriptor)
{
    const int before = inotifyDescriptorsOfProcess();
    const std::string same = qvtest::makeTempDir("same");
    const std::string many = qvtest::makeTempDir("many");
    std::vector<Recorder> onSame(200);
    std::vector<Recorder> onMany(200);
    FolderWatcherInotify watcher;
    std::vector<qv::FolderWatcher::WatchId> sameIds;
    for (int i = 0; i < 200; ++i) {
        const std::string folder = many + "/f" + std::to_string(i);
        fs::create_directory(folder);
        ASSERT_NE(watcher.addWatch(folder, true, CK::kFileName, onMany[i].callbacks()).id, 0u);
        sameIds.push_back(watcher.addWatch(same, i % 2 == 0, CK::kFileName, onSame[i].callbacks()).id);
        ASSERT_NE(sameIds.back(), 0u);
    }
    EXPECT_EQ(inotifyDescriptorsOfProcess(), before + 1);
    EXPECT_EQ(watcher.kernelWatchCount(), 201u);

    writeBytes(same + "/x.txt", "x");
    for (int i = 0; i < 200; ++i) {
        writeBytes(many + "/f" + std::to_string(i) + "/x.txt", "x");
    }
    ASSERT_TRUE(waitUntil([&] {
        for (int i = 0; i < 200; ++i) {
            if (onSame[i].changes == 0 || onMany[i].changes == 0) {
                return false;
            }
        }
        return true;
    }));

    // Letting go of all but one of the shared registrations keeps the kernel's watch for the last.
    for (int i = 0; i < 199; ++i) {
        watcher.removeWatch(sameIds[i]);
    }
    EXPECT_EQ(watcher.kernelWatchCount(), 201u);
    onSame[199].changes = 0;
    fs::remove(same + "/x.txt");
    EXPECT_TRUE(waitUntil([&] { return onSame[199].changes > 0; }));
    watcher.removeWatch(sameIds[199]);
    EXPECT_EQ(watcher.kernelWatchCount(), 200u);
}

TEST(InotifySharing, OverlappingTreesKeepEachOthersWatches)
{
    const std::string dir = qvtest::makeTempDir("overlap");
    fs::create_directories(dir + "/a/inner");
    fs::create_directories(dir + "/b");
    Recorder outer;
    Recorder inner;
    FolderWatcherInotify watcher;
    const auto outerId = watcher.addWatch(dir, true, CK::kFileName, outer.callbacks()).id;
    const auto innerId = watcher.addWatch(dir + "/a", true, CK::kFileName, inner.callbacks()).id;
    ASSERT_TRUE(waitUntil([&] { return watcher.isSettled(outerId) && watcher.isSettled(innerId); }));
    EXPECT_EQ(watcher.kernelWatchCount(), 4u);

    writeBytes(dir + "/b/f.txt", "x");
    ASSERT_TRUE(waitUntil([&] { return outer.changes > 0; }));
    settle(100);
    EXPECT_EQ(inner.changes, 0);

    watcher.removeWatch(outerId);
    EXPECT_EQ(watcher.kernelWatchCount(), 2u);
    writeBytes(dir + "/a/inner/f.txt", "x");
    EXPECT_TRUE(waitUntil([&] { return inner.changes > 0; }));
}

int maxQueuedEvents()
{
    std::ifstream in("/proc/sys/fs/inotify/max_queued_events");
    int value = 0;
    in >> value;
    return value;
}

TEST(InotifyOverflow, LostEventsCountAsAChangeAndTheTreeIsRebuilt)
{
    const int limit = maxQueuedEvents();
    if (limit <= 0 || limit > 200000) {
        GTEST_SKIP() << "queue limit " << limit << " is too large to fill in a test";
    }
    const std::string dir = qvtest::makeTempDir("overflow");
    fs::create_directory(dir + "/files");
    Recorder files;
    Recorder unrelated;
    FolderWatcherInotify watcher;
    const auto id = watcher.addWatch(dir, true, CK::kFileName, files.callbacks()).id;
    // A registration that none of the events below concerns still hears of the overflow.
    watcher.addWatch(dir, false, CK::kSecurity, unrelated.callbacks());
    ASSERT_TRUE(waitUntil([&] { return watcher.isSettled(id); }));

    watcher.setReadingPaused(true);
    fs::create_directory(dir + "/made-while-blind");
    for (int i = 0; i < limit + 100; ++i) {
        const std::string name = dir + "/files/" + std::to_string(i);
        ::mknod(name.c_str(), S_IFREG | 0644, 0);
    }
    watcher.setReadingPaused(false);
    ASSERT_TRUE(waitUntil([&] { return unrelated.changes > 0; }, 20000));
    ASSERT_TRUE(waitUntil([&] { return watcher.folderCount(id) == 3u; }));
    files.changes = 0;
    writeBytes(dir + "/made-while-blind/f.txt", "x");
    EXPECT_TRUE(waitUntil([&] { return files.changes > 0; }));
}

} // namespace

namespace {

TEST(InotifyLimits, SubfoldersThatCannotBeWatchedAreReportedOnce)
{
    const struct
    {
        int error;
        const char *text;
    } cases[] = {{ENOSPC, "limit of folder watches"}, {EACCES, "Permission denied"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        const std::string dir = qvtest::makeTempDir("limits");
        for (const char *sub : {"/a", "/a/x", "/b", "/c", "/c/y"}) {
            fs::create_directories(dir + sub);
        }
        Recorder r;
        FolderWatcherInotify watcher;
        // Every folder but the root fails: with the limit the walk stops at the first one, an
        // unreadable folder is skipped and the walk goes on.
        watcher.setAddFailureForTest([&](const std::string &path) { return path == dir ? 0 : c.error; });
        const auto id = watcher.addWatch(dir, true, CK::kFileName, r.callbacks()).id;
        ASSERT_NE(id, 0u);
        ASSERT_TRUE(waitUntil([&] { return watcher.isSettled(id); }));
        ASSERT_TRUE(waitUntil([&] { return !r.problems.empty(); }));
        fs::create_directory(dir + "/later");
        writeBytes(dir + "/f", "x");
        ASSERT_TRUE(waitUntil([&] { return r.changes > 0; }));
        settle(150);
        ASSERT_EQ(r.problems.size(), 1u) << "reported once per registration";
        EXPECT_NE(r.problems[0].find(c.text), std::string::npos) << r.problems[0];
        EXPECT_NE(r.problems[0].find(dir), std::string::npos) << r.problems[0];
        EXPECT_EQ(watcher.folderCount(id), 1u);

        // The limit lifted, a folder created later is watched again.
        watcher.setAddFailureForTest({});
        fs::create_directory(dir + "/after");
        EXPECT_TRUE(waitUntil([&] { return watcher.folderCount(id) == 2u; }));
    }
}

} // namespace

namespace {

TEST(InotifySubtree, ARootThatIsALinkToAFolderIsWatchedWithItsSubtree)
{
    const std::string target = qvtest::makeTempDir("link-target");
    const std::string links = qvtest::makeTempDir("links-to");
    fs::create_directories(target + "/sub/deeper");
    fs::create_directory_symlink(target, links + "/data");
    Recorder r;
    FolderWatcherInotify watcher;
    const auto id = watcher.addWatch(links + "/data", true, CK::kFileName, r.callbacks()).id;
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(waitUntil([&] { return watcher.isSettled(id); }));
    EXPECT_EQ(watcher.folderCount(id), 3u);
    writeBytes(target + "/sub/deeper/f.txt", "x");
    EXPECT_TRUE(waitUntil([&] { return r.changes > 0; }));
}

} // namespace
