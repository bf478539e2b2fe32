// Destination stats taken ahead of the copy pass: what is handed out, what is left to the caller.
#include "EngineTestSupport.h"

#include "core/engine/StatLookahead.h"

#include <gtest/gtest.h>

#include <set>
#include <unistd.h>

namespace {

using enginetest::put;

TEST(EngineStatLookahead, HandsOutRegularFilesOnlyAndForgetsWhenInvalidated)
{
    const std::string root = qvtest::makeTempDir("lookahead") + "/";
    const int count = 300;
    for (int i = 0; i < count; i += 2) {
        put(root + "f" + std::to_string(i), std::string(static_cast<std::size_t>(i), 'x'), 1600000000 + i);
    }
    ::mkdir((root + "folder").c_str(), 0755);
    ASSERT_EQ(::symlink((root + "f2").c_str(), (root + "link").c_str()), 0);
    // Item i: even ones exist, odd ones do not; 3 is a folder, 5 a link to f2, 7 has no path.
    auto pathOf = [&](std::size_t i) -> std::string {
        switch (i) {
        case 3:
            return root + "folder";
        case 5:
            return root + "link";
        case 7:
            return {};
        default:
            return root + "f" + std::to_string(i);
        }
    };
    // Waits (at most 10 s) until the thread has taken item i.
    auto waitFor = [](qv::StatLookahead &ahead, std::size_t i, qv::PathStat &st) {
        for (int attempt = 0; attempt < 10000; ++attempt) {
            if (ahead.take(i, st)) {
                return true;
            }
            ::usleep(1000);
        }
        return false;
    };
    for (const auto &[threads, window] : {std::pair<int, std::size_t>{1, 1}, {1, 16}, {3, 16}, {3, 1024}}) {
        SCOPED_TRACE(std::to_string(threads) + " threads, window " + std::to_string(window));
        qv::StatLookahead ahead(count, pathOf, threads, window);
        qv::PathStat first;
        ASSERT_TRUE(waitFor(ahead, 0, first));
        int handed = 0; // what the thread has not taken yet is simply not handed out
        for (std::size_t i = 0; i < count; ++i) {
            qv::PathStat st;
            if (!ahead.take(i, st)) {
                continue;
            }
            ++handed;
            const qv::PathStat now = qv::statPath(pathOf(i));
            EXPECT_TRUE(i % 2 == 0 || i == 5) << i;
            EXPECT_TRUE(st.exists && st.isRegular);
            EXPECT_EQ(st.size, now.size);
            EXPECT_EQ(st.mtimeNs, now.mtimeNs);
            EXPECT_EQ(st.ino, now.ino);
        }
        EXPECT_GT(handed, 0);
        EXPECT_LE(handed, count / 2 + 1);
    }
    // Invalidated: what was taken before is left to the caller, what is taken after is handed out.
    qv::StatLookahead ahead(count, pathOf, 2, 64);
    qv::PathStat st;
    ASSERT_TRUE(waitFor(ahead, 0, st));
    // Let the threads fill the window and sleep: the take below wakes them while the window is
    // still closed, and they must be woken again when the pass moves on.
    ::usleep(100000);
    ahead.invalidate();
    EXPECT_FALSE(ahead.take(0, st));
    // The pass moves on, one item at a time, giving the threads a moment at each: an item they
    // have not taken when it is asked for is the pass's own, and they go on ahead of it.
    std::size_t handedAt = 0;
    for (std::size_t i = 200; i < count && handedAt == 0; ++i) {
        for (int attempt = 0; attempt < 20 && handedAt == 0; ++attempt) {
            if (ahead.take(i, st)) {
                handedAt = i;
            } else {
                ::usleep(1000);
            }
        }
    }
    ASSERT_GT(handedAt, 0u);
    EXPECT_EQ(st.size, static_cast<std::int64_t>(handedAt));
}

// Each thread holds its last item's folder open and looks the next items up by name there: what
// it hands out is the item's own file, in whichever folder the items move on to.
TEST(EngineStatLookahead, FilesOfSeveralFoldersLookedUpByName)
{
    const std::string root = qvtest::makeTempDir("lookahead-folders") + "/";
    const int count = 400;
    for (int d = 0; d < count / 50; ++d) {
        ASSERT_EQ(::mkdir((root + "d" + std::to_string(d)).c_str(), 0755), 0);
    }
    for (int i = 0; i < count; ++i) {
        qvtest::writeFile(root + "d" + std::to_string(i / 50) + "/f" + std::to_string(i % 50),
                          std::string(static_cast<std::size_t>(i), 'x'));
    }
    auto pathOf = [&](std::size_t i) { return root + "d" + std::to_string(i / 50) + "/f" + std::to_string(i % 50); };
    for (const int threads : {1, 3}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        qv::StatLookahead ahead(count, pathOf, threads, 64);
        std::set<std::size_t> folders;
        for (std::size_t i = 0; i < count; ++i) {
            qv::PathStat st;
            if (i % 25 == 0) {
                ::usleep(2000); // the threads get ahead now and then
            }
            if (ahead.take(i, st)) {
                folders.insert(i / 50);
                EXPECT_EQ(st.size, static_cast<std::int64_t>(i));
                EXPECT_EQ(st.ino, qv::statPath(pathOf(i)).ino);
            }
        }
        EXPECT_GT(folders.size(), 1u);
    }
}

} // namespace
