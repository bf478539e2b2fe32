// The recursive watches stay in step with a tree that changes fast: after a burst of random folder
// creations, renames, moves in and out and deletions, the folders a registration covers are exactly
// the folders of the tree.
#include "platform/FolderWatcherInotify.h"

#include "WatchTestSupport.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;
using namespace watchtest;

namespace {

std::vector<std::string> foldersOnDisk(const std::string &root)
{
    std::vector<std::string> out{root};
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            out.push_back(it->path().string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string describe(const std::vector<std::string> &watched, const std::vector<std::string> &disk)
{
    std::string text;
    for (const auto &p : disk) {
        if (!std::binary_search(watched.begin(), watched.end(), p)) {
            text += "  not watched: " + p + "\n";
        }
    }
    for (const auto &p : watched) {
        if (!std::binary_search(disk.begin(), disk.end(), p)) {
            text += "  stale: " + p + "\n";
        }
    }
    return text;
}

class Churn
{
public:
    Churn(std::string root, std::string outside, unsigned seed)
        : m_root(std::move(root)), m_outside(std::move(outside)), m_random(seed)
    {
    }

    void step()
    {
        const auto dirs = foldersOnDisk(m_root);
        const std::string &any = dirs[pick(dirs.size())];
        const std::string fresh = "n" + std::to_string(m_counter++);
        std::error_code ec;
        switch (pick(7)) {
        case 0:
        case 1:
            fs::create_directory(any + "/" + fresh, ec);
            break;
        case 2:
            fs::create_directories(any + "/" + fresh + "/a/b", ec);
            break;
        case 3: { // rename or move inside the tree, never into its own subtree
            const std::string &to = dirs[pick(dirs.size())];
            if (any != m_root && to.rfind(any + "/", 0) != 0 && to != any) {
                fs::rename(any, to + "/" + fresh, ec);
            }
            break;
        }
        case 4: // move out
            if (any != m_root) {
                fs::rename(any, m_outside + "/" + fresh, ec);
            }
            break;
        case 5: { // move a prepared tree in
            const std::string prepared = m_outside + "/p" + fresh;
            fs::create_directories(prepared + "/x/y", ec);
            fs::rename(prepared, any + "/" + fresh, ec);
            break;
        }
        case 6:
            if (any != m_root) {
                fs::remove_all(any, ec);
            }
            break;
        }
        if (pick(5) == 0) {
            writeBytes(any + "/file" + std::to_string(m_counter), "noise");
        }
    }

private:
    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random); }

    std::string m_root;
    std::string m_outside;
    std::mt19937 m_random;
    int m_counter = 0;
};

TEST(InotifyChurn, WatchesMatchTheTreeAfterABurstOfChanges)
{
    for (unsigned seed : {1u, 7u, 42u, 2024u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const std::string root = qvtest::makeTempDir("churn");
        const std::string outside = qvtest::makeTempDir("churn-out");
        fs::create_directories(root + "/a/b/c");
        fs::create_directories(root + "/d");
        Recorder r;
        qv::FolderWatcherInotify watcher;
        const auto id = watcher.addWatch(root, true, qv::ChangeKind::kDirName, r.callbacks()).id;
        ASSERT_TRUE(waitUntil([&] { return watcher.isSettled(id); }));

        Churn churn(root, outside, seed);
        for (int i = 0; i < 300; ++i) {
            churn.step();
            if (i % 50 == 0) {
                QCoreApplication::processEvents();
            }
        }
        const auto disk = foldersOnDisk(root);
        const bool same = waitUntil([&] { return watcher.folders(id) == disk; }, 10000);
        EXPECT_TRUE(same) << describe(watcher.folders(id), disk);
        EXPECT_GT(r.changes, 0);
        EXPECT_EQ(watcher.kernelWatchCount(), disk.size());
        EXPECT_TRUE(r.problems.empty());
    }
}

} // namespace
