// Extracting and testing with several threads: the same files, events and counts as with one, and
// a failure or a cancel puts in place only a prefix of the entries, never a temporary file.
#include "ZipTestUtil.h"

#include "zip/ZipErrors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using ziptest::EventLog;

// Nested folders, stored and deflated entries, a folder entry, a duplicate name, an unsafe name
// and, in the middle, a stored entry whose data no longer match its CRC.
void makeArchive(const std::string &dir)
{
    ziptest::python(dir, R"(
import random, warnings
warnings.simplefilter('ignore')
rnd = random.Random(8)
z = zipfile.ZipFile('m.zip', 'w')
z.writestr(zipfile.ZipInfo('top/'), b'')
for i in range(300):
    name = 'top/d%d/e%d/f%d.%s' % (i % 7, i % 3, i, 'bin' if i % 4 == 0 else 'txt')
    if i % 4 == 0:
        data = bytes(rnd.getrandbits(8) for _ in range(rnd.randint(0, 3000)))
    else:
        data = (' '.join(rnd.choice(['zip', 'folder', 'task', 'the']) for _ in range(rnd.randint(0, 9000)))).encode()
    z.writestr(name, data, zipfile.ZIP_STORED if i % 5 == 0 else zipfile.ZIP_DEFLATED)
    if i == 150:
        z.writestr('top/bad.txt', b'these bytes are damaged below' * 10, zipfile.ZIP_STORED)
z.writestr('top/dup.txt', b'first', zipfile.ZIP_DEFLATED)
z.writestr('top/dup.txt', b'second', zipfile.ZIP_DEFLATED)
z.writestr('../evil.txt', b'outside')
z.close()
d = bytearray(open('m.zip', 'rb').read())
at = d.find(b'these bytes are damaged')
d[at] ^= 0xFF
open('m.zip', 'wb').write(d)
)");
}

// Every file below `root` with its content.
std::map<std::string, std::string> tree(const std::string &root)
{
    std::map<std::string, std::string> files;
    const auto list = qvtest::runShell("cd '" + root + "' && find . -type f | sort");
    std::size_t pos = 0;
    while (pos < list.output.size()) {
        const auto nl = list.output.find('\n', pos);
        const std::string name = list.output.substr(pos, nl - pos);
        if (!name.empty()) {
            files[name] = qvtest::readFile(root + "/" + name);
        }
        pos = nl == std::string::npos ? list.output.size() : nl + 1;
    }
    return files;
}

struct Extraction {
    int count = 0;
    EventLog log;
};

// Names reported as done, relative to the destination.
std::vector<std::string> relative(const std::vector<std::string> &names, const std::string &dest)
{
    std::vector<std::string> out;
    for (const std::string &n : names) {
        out.push_back(n.compare(0, dest.size(), dest) == 0 ? n.substr(dest.size()) : n);
    }
    return out;
}

Extraction extract(const std::string &archive, const std::string &dest, int threads, bool test)
{
    qv::TZipReader z;
    z.SetZipName(archive);
    z.SetDestDir(dest);
    z.DoAll = true;
    z.RecreateDirs = true;
    z.OverwriteMode = qv::TUZOverwriteMode::Always;
    z.Threads = threads;
    Extraction run;
    run.log.attach(z);
    run.count = test ? z.TestZip() : z.UnZip();
    run.log.ended = relative(run.log.ended, dest);
    return run;
}

TEST(ZipExtractThreads, SameFilesEventsAndCountsForAnyNumberOfThreads)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("xthreads");
    makeArchive(dir);
    for (bool test : {false, true}) {
        SCOPED_TRACE(test ? "test" : "extract");
        const Extraction one = extract(dir + "/m.zip", dir + "/out1", 1, test);
        // The files, the folder entry, both duplicates; a test also reads the unsafe name.
        EXPECT_EQ(one.count, 300 + 1 + 2 + (test ? 1 : 0));
        ASSERT_EQ(one.log.badCrc.size(), 1u);
        for (int threads : {2, 8}) {
            SCOPED_TRACE(std::to_string(threads) + " threads");
            const std::string out = dir + "/out" + std::to_string(threads);
            const Extraction many = extract(dir + "/m.zip", out, threads, test);
            EXPECT_EQ(many.count, one.count);
            EXPECT_EQ(many.log.ended, one.log.ended);
            EXPECT_EQ(many.log.badCrc, one.log.badCrc);
            EXPECT_EQ(many.log.skipped, one.log.skipped);
            EXPECT_EQ(many.log.errors, one.log.errors);
            if (!test) {
                EXPECT_TRUE(tree(out) == tree(dir + "/out1"));
                EXPECT_EQ(qvtest::readFile(out + "/top/dup.txt"), "second");
                EXPECT_TRUE(ziptest::leftovers(out).empty());
            }
        }
    }
    EXPECT_EQ(tree(dir + "/out1").size(), 300u + 1u); // the files and dup.txt; bad.txt is not there
}

TEST(ZipExtractThreads, ACancelPutsInPlaceAPrefixOfTheEntries)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("xthreadscancel");
    makeArchive(dir);
    const Extraction all = extract(dir + "/m.zip", dir + "/all", 1, false);
    for (int cancelAt : {1, 40, 200}) {
        SCOPED_TRACE("cancel after " + std::to_string(cancelAt) + " entries");
        const std::string out = dir + "/c" + std::to_string(cancelAt);
        qv::TZipReader z;
        z.SetZipName(dir + "/m.zip");
        z.SetDestDir(out);
        z.DoAll = true;
        z.RecreateDirs = true;
        z.Threads = 8;
        EventLog log;
        log.attach(z);
        z.OnEndUnZip = [&](int, const std::string &name) {
            log.ended.push_back(name);
            if (static_cast<int>(log.ended.size()) == cancelAt) {
                z.CancelTheOperation();
            }
        };
        EXPECT_THROW(z.UnZip(), qv::EUserCanceled);
        log.ended = relative(log.ended, out);
        ASSERT_GE(log.ended.size(), static_cast<std::size_t>(cancelAt));
        ASSERT_LT(log.ended.size(), all.log.ended.size());
        EXPECT_TRUE(std::equal(log.ended.begin(), log.ended.end(), all.log.ended.begin()));
        // On disk: exactly the files reported done.
        const auto files = tree(out);
        EXPECT_EQ(files.size(), log.ended.size());
        for (std::size_t i = 0; i < log.ended.size(); ++i) {
            EXPECT_EQ(files.count("." + log.ended[i]), 1u) << log.ended[i];
        }
        EXPECT_TRUE(ziptest::leftovers(out).empty());
    }
}

} // namespace
