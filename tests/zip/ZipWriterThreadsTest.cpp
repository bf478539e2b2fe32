// Deflating entries on several threads: the archive is byte for byte the same for any number of
// threads, peers read it, and the rules of encrypted entries, updates, changed files and
// cancelling hold.
#include "ZipWriterFixture.h"

#include "zip/ZipErrors.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

using namespace zwtest;

namespace {

// The sample set and many small files of every kind: text, random, runs, empty.
std::map<std::string, std::string> manyFiles()
{
    std::map<std::string, std::string> files = sampleFiles();
    for (int i = 0; i < 240; ++i) {
        const std::string dir = "many/d" + std::to_string(i % 12) + "/";
        switch (i % 4) {
        case 0:
            files[dir + "t" + std::to_string(i) + ".txt"] = textBytes(static_cast<size_t>(100 + i * 97));
            break;
        case 1:
            files[dir + "r" + std::to_string(i) + ".bin"] = randomBytes(static_cast<size_t>(i * 53), static_cast<unsigned>(i));
            break;
        case 2:
            files[dir + "z" + std::to_string(i) + ".bin"] = std::string(static_cast<size_t>(i * 301), static_cast<char>(i));
            break;
        default:
            files[dir + "e" + std::to_string(i) + ".txt"] = "";
            break;
        }
    }
    files["many/photo.jpg"] = textBytes(20000); // stored: on the no-compress list
    return files;
}

struct Built {
    std::string bytes;
    int added = 0;
    int ahead = 0;
};

Built zipWithThreads(const std::string &archive, const std::string &root, const std::map<std::string, std::string> &files,
                     int level, int threads)
{
    qv::TZipWriter zip;
    zip.SetZipName(archive);
    zip.PackLevel = level;
    zip.Threads = threads;
    zip.NoCompressList = {"*.jpg"};
    for (const auto &entry : files) {
        zip.AddFile(root + "/" + entry.first, entry.first);
    }
    Built b;
    b.added = zip.Zip();
    b.ahead = zip.EntriesDeflatedAhead();
    b.bytes = qvtest::readFile(archive);
    return b;
}

// Files large enough to be deflated in pieces: one of whole pieces only, one with a short last
// piece, mixed text and random bytes.
void addPiecedFiles(std::map<std::string, std::string> &files)
{
    files["big/exact.txt"] = textBytes(2u << 20);
    files["big/mixed.bin"] = textBytes(1200000) + randomBytes(700000, 77) + textBytes(300000);
}

TEST(ZipWriterThreads, ArchivesAreByteIdenticalForOneTwoAndEightThreads)
{
    const std::string dir = qvtest::makeTempDir("zipthreads");
    auto files = manyFiles();
    addPiecedFiles(files);
    writeTree(dir + "/src", files);
    for (int level : {1, 6, 9}) {
        SCOPED_TRACE("level " + std::to_string(level));
        for (const char *name : {"/one.zip", "/t2.zip", "/t8.zip"}) {
            ::unlink((dir + name).c_str()); // fresh archives, not updates of the last level's
        }
        const Built one = zipWithThreads(dir + "/one.zip", dir + "/src", files, level, 1);
        EXPECT_EQ(one.added, static_cast<int>(files.size()));
        EXPECT_EQ(one.ahead, 0); // one thread: every entry deflated by the writer
        for (int threads : {2, 8}) {
            SCOPED_TRACE(std::to_string(threads) + " threads");
            const std::string path = dir + "/t" + std::to_string(threads) + ".zip";
            const Built many = zipWithThreads(path, dir + "/src", files, level, threads);
            EXPECT_EQ(many.added, one.added);
            EXPECT_GT(many.ahead, 0); // the workers did deflate entries
            ASSERT_EQ(many.bytes.size(), one.bytes.size());
            EXPECT_TRUE(many.bytes == one.bytes);
        }
        // An independent reader checks every CRC and finds the content.
        const auto listed = python(kPythonList, {dir + "/t8.zip"});
        ASSERT_EQ(listed.exitCode, 0) << listed.output;
        EXPECT_NE(listed.output.find("many/photo.jpg\t"), std::string::npos);
        EXPECT_NE(listed.output.find("big/mixed.bin\t"), std::string::npos);
    }
    if (std::system("unzip -v > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "Info-ZIP unzip is not installed: the Python check above ran, unzip -t did not";
    }
    const auto tested = qvtest::runCommand({"unzip", "-tqq", dir + "/t8.zip"});
    EXPECT_EQ(tested.exitCode, 0) << tested.output << tested.output;
}

TEST(ZipWriterThreads, AnUpdateIsTheSameForAnyNumberOfThreads)
{
    const std::string dir = qvtest::makeTempDir("zipthreadsupd");
    auto files = manyFiles();
    writeTree(dir + "/src", files);
    const std::map<std::string, std::string> first(files.begin(), std::next(files.begin(), 40));
    std::string results[2];
    int i = 0;
    for (int threads : {1, 8}) {
        const std::string archive = dir + "/u" + std::to_string(threads) + ".zip";
        zipWithThreads(archive, dir + "/src", first, 6, 1);
        // Same content and times for both runs: the old archive is copied, so its bytes match.
        const Built updated = zipWithThreads(archive, dir + "/src", files, 6, threads);
        EXPECT_EQ(updated.added, static_cast<int>(files.size() - first.size()));
        if (threads > 1) {
            EXPECT_GT(updated.ahead, 0);
        }
        results[i++] = updated.bytes;
    }
    EXPECT_TRUE(results[0] == results[1]);
    const auto listed = python(kPythonList, {dir + "/u8.zip"});
    EXPECT_EQ(listed.exitCode, 0) << listed.output;
}

TEST(ZipWriterThreads, EveryWorkerRunsTheCallersStartHook)
{
    // The caller gives the threads it did not start its own priority through the hook.
    const std::string dir = qvtest::makeTempDir("zipthreadshook");
    const auto files = sampleFiles();
    writeTree(dir + "/src", files);
    for (int threads : {1, 4}) {
        SCOPED_TRACE(threads);
        std::mutex mutex;
        std::vector<std::thread::id> started;
        qv::TZipWriter zip;
        zip.SetZipName(dir + "/hook" + std::to_string(threads) + ".zip");
        zip.Threads = threads;
        zip.OnWorkerThreadStart = [&] {
            std::lock_guard<std::mutex> lock(mutex);
            started.push_back(std::this_thread::get_id());
        };
        for (const auto &entry : files) {
            zip.AddFile(dir + "/src/" + entry.first, entry.first);
        }
        EXPECT_EQ(zip.Zip(), static_cast<int>(files.size()));
        std::set<std::thread::id> distinct(started.begin(), started.end());
        EXPECT_EQ(started.size(), static_cast<std::size_t>(threads - 1));
        EXPECT_EQ(distinct.size(), started.size());
        EXPECT_EQ(distinct.count(std::this_thread::get_id()), 0u);
    }
}

TEST(ZipWriterThreads, EncryptedEntriesKeepTheirTwoPassRule)
{
    // Encrypted entries are never deflated ahead: their check byte comes from a CRC pass made
    // just before the data pass.
    const std::string dir = qvtest::makeTempDir("zipthreadspw");
    const auto files = sampleFiles();
    writeTree(dir + "/src", files);
    qv::TZipWriter zip;
    zip.SetZipName(dir + "/pw.zip");
    zip.Password = "secret";
    zip.Threads = 8;
    for (const auto &entry : files) {
        zip.AddFile(dir + "/src/" + entry.first, entry.first);
    }
    EXPECT_EQ(zip.Zip(), static_cast<int>(files.size()));
    EXPECT_EQ(zip.EntriesDeflatedAhead(), 0);
    const auto listed = python(kPythonList, {dir + "/pw.zip", "secret"});
    EXPECT_EQ(listed.exitCode, 0) << listed.output;
}

TEST(ZipWriterThreads, AFileChangedAfterItWasDeflatedAheadIsWrittenAsItIsNow)
{
    const std::string dir = qvtest::makeTempDir("zipthreadschg");
    auto files = manyFiles();
    const std::string bigVictim = "many/d1/zbig.bin"; // deflated in pieces
    files[bigVictim] = textBytes(1500000) + randomBytes(600000, 5);
    writeTree(dir + "/src", files);
    const std::string victim = "many/d1/r13.bin"; // within the workers' window when the writer starts
    ASSERT_EQ(files.count(victim), 1u);
    std::string changed = files[victim];
    std::reverse(changed.begin(), changed.end()); // same size, other bytes
    ASSERT_NE(changed, files[victim]);
    std::string bigChanged = files[bigVictim];
    std::reverse(bigChanged.begin(), bigChanged.end());
    qv::TZipWriter zip;
    zip.SetZipName(dir + "/chg.zip");
    zip.Threads = 8;
    bool rewritten = false;
    // The writer reaches the first entries while the workers run ahead; the victim changes then.
    zip.OnStartZip = [&](const std::string &name, qv::TZipHeaderInfo &, bool &) {
        if (!rewritten && name.find("many/d0/") != std::string::npos) {
            rewritten = true;
            ::usleep(200000); // let the workers reach it: the outcome is the same either way
            std::ofstream(dir + "/src/" + victim, std::ios::binary | std::ios::trunc) << changed;
            std::ofstream(dir + "/src/" + bigVictim, std::ios::binary | std::ios::trunc) << bigChanged;
        }
    };
    for (const auto &entry : files) {
        zip.AddFile(dir + "/src/" + entry.first, entry.first);
    }
    EXPECT_EQ(zip.Zip(), static_cast<int>(files.size()));
    ASSERT_TRUE(rewritten);
    const auto read = python("import sys, zipfile\nsys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))",
                             {dir + "/chg.zip", victim});
    ASSERT_EQ(read.exitCode, 0) << read.output;
    EXPECT_TRUE(read.output == changed);
    const auto readBig = python("import sys, zipfile\nsys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))",
                                {dir + "/chg.zip", bigVictim});
    ASSERT_EQ(readBig.exitCode, 0) << readBig.output.substr(0, 300);
    EXPECT_TRUE(readBig.output == bigChanged);
}

TEST(ZipWriterThreads, CancellingKeepsTheOldArchiveAndEndsTheWorkers)
{
    const std::string dir = qvtest::makeTempDir("zipthreadscancel");
    const auto files = manyFiles();
    writeTree(dir + "/src", files);
    const std::map<std::string, std::string> first(files.begin(), std::next(files.begin(), 10));
    zipWithThreads(dir + "/c.zip", dir + "/src", first, 6, 1);
    const std::string before = qvtest::readFile(dir + "/c.zip");
    qv::TZipWriter zip;
    zip.SetZipName(dir + "/c.zip");
    zip.Threads = 8;
    int started = 0;
    zip.OnStartZip = [&](const std::string &, qv::TZipHeaderInfo &, bool &) {
        if (++started == 30) {
            zip.CancelTheOperation();
        }
    };
    for (const auto &entry : files) {
        zip.AddFile(dir + "/src/" + entry.first, entry.first);
    }
    EXPECT_THROW(zip.Zip(), qv::EUserCanceled);
    EXPECT_GE(started, 30);
    EXPECT_TRUE(qvtest::readFile(dir + "/c.zip") == before);
    const auto left = qvtest::runCommand({"sh", "-c", "ls -A '" + dir + "' | grep -c KPZ || true"});
    EXPECT_EQ(left.output, "0\n"); // no temporary archive left behind
}

} // namespace
