// Compressing tasks through qv-run on generated trees, checked with Info-ZIP, 7-Zip and diff.
// qv-test-labels: interop
// qv-test-timeout: 400
#include "CompressTestSupport.h"

#include "core/runs/Task.h"
#include "core/runs/TaskListStorage.h"

#include <algorithm>

#include <random>

namespace {

using namespace compresstest;

void generateTree(const std::string &root, unsigned seed, int files)
{
    std::mt19937 gen(seed);
    const std::vector<std::string> folders = {"", "docs/", "docs/2024/", "photos/x y/", "a/b/c/", "\xff\xfe-latin/"};
    for (int i = 0; i < files; ++i) {
        const std::string folder = folders[gen() % folders.size()];
        const std::string name = "file-" + std::to_string(i) + (i % 7 == 0 ? " with blank" : "") + ".dat";
        std::size_t size = (i % 10 == 0) ? 0 : gen() % 6000;
        if (i % 40 == 1) {
            size = 100000 + gen() % 50000;
        }
        std::string data(size, '\0');
        const bool text = i % 3 == 0; // some compressible data, some not
        for (std::size_t k = 0; k < size; ++k) {
            data[k] = text ? static_cast<char>('a' + (k * 7 + i) % 13) : static_cast<char>(gen());
        }
        put(root + "/" + folder + name, data, 1600000000 + static_cast<long>(gen() % 100000000));
    }
}

qvtest::CommandResult qvRun(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {qvtest::binPath("qv-run")};
    argv.insert(argv.end(), args.begin(), args.end());
    return qvtest::runCommand(argv, 300);
}

class CompressQvRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        base = qvtest::makeTempDir("compress-qvrun");
        src = base + "/src";
        archive = base + "/out/tree.zip";
    }
    std::string base, src, archive;
};

TEST_F(CompressQvRun, TreeRoundTripsThroughInfoZipAnd7Zip)
{
    QV_REQUIRE_TOOL("unzip");
    QV_REQUIRE_TOOL("7z");
    QV_REQUIRE_TOOL("python3");
    generateTree(src, 11, 400);
    auto r = qvRun({"--source", src, "--compress", archive, "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Total compression summary: ZIP file name: \"" + archive + "\""), std::string::npos)
        << r.output;
    auto test = qvtest::runCommand({"unzip", "-t", archive}, 120);
    EXPECT_EQ(test.exitCode, 0) << test.output;
    auto seven = qvtest::runCommand({"7z", "t", archive}, 120);
    EXPECT_EQ(seven.exitCode, 0) << seven.output;
    const std::string out = base + "/x";
    auto unz = qvtest::runCommand({"unzip", "-q", archive, "-d", out}, 120);
    ASSERT_EQ(unz.exitCode, 0) << unz.output;
    // Info-ZIP's unzip drops bytes of names that are not UTF-8, so that folder is compared
    // through python, which hands back the stored bytes unchanged.
    auto diff = qvtest::runCommand({"diff", "-r", "-x", "\xff\xfe-latin", "-x", "*-latin", src, out}, 120);
    EXPECT_EQ(diff.exitCode, 0) << diff.output;
    auto raw = qvtest::runCommand(
        {"python3", "-c",
         "import sys,zipfile\n"
         "z=zipfile.ZipFile(sys.argv[1])\n"
         "for i in z.infolist():\n"
         "    n=i.filename.encode('cp437') if not i.flag_bits&0x800 else i.filename.encode()\n"
         "    if n.startswith(b'\\xff\\xfe-latin/') and not n.endswith(b'/'):\n"
         "        assert open(sys.argv[2].encode()+b'/'+n,'rb').read()==z.read(i), n\n"
         "        print('ok')\n",
         archive, src});
    EXPECT_EQ(raw.exitCode, 0) << raw.output;
    EXPECT_NE(raw.output.find("ok"), std::string::npos) << "no file below the non-UTF-8 folder was checked";

    // A second run after touching one file rewrites exactly that entry.
    const auto before = rawEntries(archive);
    const std::string touched = "docs/2024/";
    std::string one;
    for (const auto &[name, hash] : before) {
        if (name.rfind(touched, 0) == 0 && name.back() != '/') {
            one = name;
            break;
        }
    }
    ASSERT_FALSE(one.empty());
    put(src + "/" + one, "the new content of one file", 1800000000);
    auto second = qvRun({"--source", src, "--compress", archive});
    ASSERT_EQ(second.exitCode, 0) << second.output;
    const auto after = rawEntries(archive);
    ASSERT_EQ(after.size(), before.size());
    int changed = 0;
    for (const auto &[name, hash] : after) {
        if (before.at(name) != hash) {
            ++changed;
            EXPECT_EQ(name, one);
        }
    }
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(unzipContent(archive, one), "the new content of one file");
    // Only the touched file was compressed again.
    int compressing = 0;
    for (std::size_t p = 0; (p = second.output.find("Compressing \"", p)) != std::string::npos; ++p) {
        ++compressing;
    }
    EXPECT_EQ(compressing, 1) << second.output;
}

// Encryption and the store-only level chosen on the command line.
TEST_F(CompressQvRun, PasswordAndLevelFromTheCommandLine)
{
    QV_REQUIRE_TOOL("unzip");
    generateTree(src, 5, 60);
    auto r = qvRun({"--source", src, "--compress", archive, "--password", "s3cret", "--level", "0", "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    auto test = qvtest::runCommand({"unzip", "-t", "-P", "s3cret", archive}, 120);
    EXPECT_EQ(test.exitCode, 0) << test.output;
    auto wrong = qvtest::runCommand({"unzip", "-t", "-P", "nope", archive}, 120);
    EXPECT_NE(wrong.exitCode, 0);
    auto listing = qvtest::runCommand({"zipinfo", archive}, 60);
    EXPECT_EQ(listing.output.find(" defN "), std::string::npos) << listing.output; // level 0 stores
}

// A stored compressing task runs through qv-run --id with its archive name, password, level and
// filters from the settings store.
TEST_F(CompressQvRun, StoredCompressingTask)
{
    QV_REQUIRE_TOOL("unzip");
    put(src + "/a.txt", "stored a", 1600000000);
    put(src + "/skip.tmp", "t", 1600000000);
    put(src + "/sub/b.txt", "stored b", 1600000000);
    qv::TTasksList tasks;
    auto task = std::make_unique<qv::TTask>();
    task->Name = "Stored compress";
    task->Source = src;
    task->DestLocal = base + "/stored-out";
    task->CompressUse = true;
    task->CompressFilename = "stored.zip";
    task->CompressPassword = "pw";
    task->CompressLevel = 9;
    qv::TTaskFilterItem all;
    all.FilterType = qv::fitInclude;
    all.fnWildcard = "*.*";
    qv::TTaskFilterItem tmp;
    tmp.fnWildcard = "*.tmp";
    task->Filters.Add(tmp);
    task->Filters.Add(all);
    const std::string id = task->ID;
    tasks.Add(std::move(task));
    qv::saveGroupsAndTasks({}, tasks, {});

    auto r = qvRun({"--id", id});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string stored = base + "/stored-out/stored.zip";
    auto test = qvtest::runCommand({"unzip", "-t", "-P", "pw", stored}, 60);
    EXPECT_EQ(test.exitCode, 0) << test.output;
    const auto names = zipNames(stored);
    EXPECT_EQ(std::count(names.begin(), names.end(), "a.txt"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "sub/b.txt"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "skip.tmp"), 0);
    EXPECT_EQ(unzipContent(stored, "sub/b.txt", "pw"), "stored b");
}

} // namespace
