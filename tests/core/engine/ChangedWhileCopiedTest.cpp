// qv-run on a file that a writer keeps changing while a slowed copy or move reads it: the run
// says so, exits 3, keeps the source and leaves the destination as it was; the next run, with
// the file at rest, copies it.
// qv-test-labels: interop
// qv-test-timeout: 300
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using qvtest::patternData;

bool exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Grows `path` by a byte and shrinks it again, over and over, until stopped. It never holds the
// file open, which the run would take for a file in use and skip.
class Writer
{
public:
    explicit Writer(const std::string &path, off_t size)
        : m_thread([this, path, size] {
              for (unsigned i = 0; !m_stop; ++i) {
                  m_writes += ::truncate(path.c_str(), size + (i & 1)) == 0 ? 1 : 0;
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          })
    {
    }
    ~Writer() { stop(); }
    int stop()
    {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_writes;
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_writes{0};
    std::thread m_thread;
};

} // namespace

TEST(ChangedWhileCopied, RunSaysSoKeepsTheSourceAndCopiesNextTime)
{
    struct Case {
        const char *type;
        bool destinationExists;
        bool otherFileSystem; // the destination in memory: a move copies, then deletes
        const char *said;
    };
    const Case cases[] = {
        {"simple", false, false, "changed while it was copied"},
        {"simple", true, false, "changed while it was copied"},
        {"exact", true, false, "changed while it was copied"},
        {"move", false, true, "changed while it was moved"},
        {"move", true, true, "changed while it was moved"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.type) + (c.destinationExists ? ", replacing a file" : ", new file"));
        const std::string base = qvtest::makeTempDir("changing");
        std::string dst = base + "/dst";
        char memory[] = "/dev/shm/qv-changing-XXXXXX";
        if (c.otherFileSystem) {
            if (::access("/dev/shm", W_OK) != 0 || ::mkdtemp(memory) == nullptr) {
                GTEST_SKIP() << "no /dev/shm for a destination on another file system";
            }
            dst = std::string(memory) + "/dst";
        }
        const std::string src = base + "/src";
        ASSERT_EQ(qvtest::runShell("mkdir -p '" + src + "' '" + dst + "'").exitCode, 0);
        qvtest::writeFile(src + "/keep.txt", "keep");
        constexpr off_t kSize = 2 * 1024 * 1024;
        qvtest::writeFile(src + "/live.bin", patternData(kSize, 1));
        if (c.destinationExists) {
            qvtest::writeFile(dst + "/live.bin", "old");
        }
        const std::vector<std::string> run = {qvtest::binPath("qv-run"), "--type", c.type, "--source", src,
                                              "--dest", dst};
        std::vector<std::string> slowed = run;
        slowed.insert(slowed.end(), {"--bandwidth-kbits", "8000"}); // about 2 s for the file
        qvtest::CommandResult changing;
        int writes = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
            Writer writer(src + "/live.bin", kSize);
            changing = qvtest::runCommand(slowed, 120);
            writes = writer.stop();
            // A truncation under way while the run asks whether the file is in use counts as a
            // writer holding it, and the run rightly skips the file: then it is tried again.
            if (changing.output.find("Skipping in use file") == std::string::npos) {
                break;
            }
        }
        EXPECT_GT(writes, 10);
        EXPECT_EQ(changing.exitCode, 3) << changing.output;
        EXPECT_NE(changing.output.find("\"" + src + "/live.bin\" " + c.said), std::string::npos)
            << changing.output;
        EXPECT_TRUE(exists(src + "/live.bin"));
        if (c.destinationExists) {
            EXPECT_TRUE(qvtest::readFile(dst + "/live.bin") == "old") << "the old destination is replaced";
        } else {
            EXPECT_FALSE(exists(dst + "/live.bin"));
        }
        EXPECT_EQ(qvtest::readFile(dst + "/keep.txt"), "keep") << "the other file is done";

        const std::string final = qvtest::readFile(src + "/live.bin");
        const qvtest::CommandResult atRest = qvtest::runCommand(run, 120);
        EXPECT_EQ(atRest.exitCode, 0) << atRest.output;
        EXPECT_TRUE(qvtest::readFile(dst + "/live.bin") == final);
        EXPECT_EQ(exists(src + "/live.bin"), std::string(c.type) != "move");
        if (c.otherFileSystem) {
            qvtest::runShell("rm -rf '" + std::string(memory) + "'");
        }
    }
}
