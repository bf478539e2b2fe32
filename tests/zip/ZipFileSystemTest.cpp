// The zip library's file-system layer: short names and long names of paths, names stored with
// Store83Names, a set of volumes on removable media, and labels and short names on real file
// systems (labels on a loop-mounted ext4 image, short names on a vfat one, as root).
#include "ZipFakeFileSystem.h"
#include "ZipWriterFixture.h"
#include "zip/ZipFileSystem.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace zwtest;

namespace {

ziptest::FakeZipFileSystem sampleFs()
{
    ziptest::FakeZipFileSystem fs;
    fs.shortNames["/data/Long Folder"] = "LONGFO~1";
    fs.shortNames["/data/Long Folder/Long File Name.txt"] = "LONGFI~1.TXT";
    fs.existing = {"/data", "/data/Long Folder", "/data/Long Folder/Long File Name.txt", "/data/short.txt"};
    return fs;
}

TEST(ZipFileSystemLayer, ConvertPathBothWays)
{
    auto fs = sampleFs();
    struct Case
    {
        std::string path;
        bool longNames;
        std::string want;
    };
    const Case cases[] = {
        {"/data/Long Folder/Long File Name.txt", false, "/data/LONGFO~1/LONGFI~1.TXT"},
        {"/data/Long Folder/", false, "/data/LONGFO~1/"},
        {"/data/short.txt", false, "/data/short.txt"},
        {"/data/missing/Long File Name.txt", false, "/data/missing/Long File Name.txt"},
        {"/data/LONGFO~1/LONGFI~1.TXT", true, "/data/Long Folder/Long File Name.txt"},
        {"/data/LONGFO~1/", true, "/data/Long Folder/"},
        {"/data/gone/short.txt", true, "/data"},
        {"/", false, "/"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(qv::ConvertPath(c.path, c.longNames, fs), c.want);
    }
}

TEST(ZipFileSystemLayer, Store83NamesAndRemovableSets)
{
    const std::string dir = qvtest::makeTempDir("n83");
    writeTree(dir + "/src", {{"Long Folder/Long File Name.txt", "x"}, {"plain.txt", "y"}});
    ziptest::FakeZipFileSystem fs;
    fs.shortNames[dir + "/src/Long Folder"] = "LONGFO~1";
    fs.shortNames[dir + "/src/Long Folder/Long File Name.txt"] = "LONGFI~1.TXT";
    struct Case
    {
        bool store83;
        std::vector<std::string> want;
    };
    for (const Case &c : {Case{true, {"LONGFO~1/LONGFI~1.TXT", "plain.txt"}},
                          Case{false, {"Long Folder/Long File Name.txt", "plain.txt"}}}) {
        SCOPED_TRACE(c.store83);
        const std::string archive = dir + (c.store83 ? "/short.zip" : "/long.zip");
        qv::TZipWriter zip;
        zip.SetFileSystem(fs);
        zip.SetZipName(archive);
        zip.SetRootDir(dir + "/src");
        zip.SetRelativePaths(true);
        zip.Store83Names = c.store83;
        zip.FilesList = {"*.txt"};
        ASSERT_EQ(zip.Zip(), 2);
        qv::TZipReader reader;
        reader.SetZipName(archive);
        std::vector<std::string> names;
        for (int i = 0; i < reader.Count(); ++i) {
            names.push_back(reader.FullName(i));
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.want);
    }

    // A set of volumes read from removable media reports it.
    writeTree(dir + "/src", {{"big.bin", randomBytes(300000, 1)}});
    const std::string set = dir + "/set.zip";
    qv::TZipWriter writer;
    writer.SetZipName(set);
    writer.SetMultiMode(qv::mmBlocks);
    writer.MultiZipInfo.BlockSize = writer.MultiZipInfo.FirstBlockSize = 100000;
    writer.PackLevel = 0;
    writer.AddFile(dir + "/src/big.bin", "big.bin");
    ASSERT_EQ(writer.Zip(), 1);
    for (bool removable : {false, true}) {
        ziptest::FakeZipFileSystem media;
        if (removable) {
            media.removable.insert(dir);
        }
        qv::TZipReader reader;
        reader.SetFileSystem(media);
        reader.SetZipName(set);
        EXPECT_EQ(reader.Count(), 1);
        EXPECT_EQ(reader.MultiMode(), removable ? qv::mmSpan : qv::mmBlocks);
    }
}

// Mounts a fresh image of `type` (made by `mkfs`) in a private mount namespace and runs `body`
// there as a shell script; the mount point is $m. Exit code 77: the kernel cannot mount it.
qvtest::CommandResult onImage(const std::string &dir, const std::string &mkfs, const std::string &body)
{
    const std::string script = "set -e\ncd '" + dir + "'\ntruncate -s 40M fs.img\n" + mkfs +
                               " fs.img >/dev/null 2>&1\nm='" + dir + "/mnt'\nmkdir -p \"$m\"\n"
                               "mount -o loop fs.img \"$m\" 2>/dev/null || exit 77\n" + body +
                               "\numount \"$m\"\n";
    return qvtest::runCommand({"unshare", "-m", "--propagation", "private", "sh", "-c", script}, 120);
}

TEST(ZipFileSystemLayer, LabelsOnExt4)
{
    QV_REQUIRE_TOOL("unshare");
    QV_REQUIRE_TOOL("mkfs.ext4");
    QV_REQUIRE_TOOL("e2label");
    if (::geteuid() != 0) {
        GTEST_SKIP() << "loop mounts need root";
    }
    const std::string dir = qvtest::makeTempDir("ext4");
    const std::string qvzip = qvtest::binPath("qv-zip");
    // qv-zip reads the label and sets a new one; e2label (the oracle) reads it back.
    const std::string body = "'" + qvzip + "' fs label \"$m/\" QVSET\n"
                             "echo \"oracle=$(e2label \"$(findmnt -n -o SOURCE \"$m\")\")\"\n";
    auto r = onImage(dir, "mkfs.ext4 -q -L firstlbl", body);
    if (r.exitCode == 77) {
        GTEST_SKIP() << "this kernel cannot mount an ext4 image";
    }
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("label: firstlbl\nremovable: no\nset: QVSET"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("oracle=QVSET"), std::string::npos) << r.output;
}

TEST(ZipFileSystemLayer, ShortNamesOnVfat)
{
    QV_REQUIRE_TOOL("unshare");
    QV_REQUIRE_TOOL("mkfs.vfat");
    if (::geteuid() != 0) {
        GTEST_SKIP() << "loop mounts need root";
    }
    const std::string dir = qvtest::makeTempDir("vfat");
    const std::string qvzip = qvtest::binPath("qv-zip");
    const std::string body = "mkdir \"$m/Long Folder\" && echo x > \"$m/Long Folder/Long File Name.txt\"\n"
                             "s=$('" + qvzip + "' fs short \"$m/Long Folder/Long File Name.txt\")\n"
                             "echo \"short=${s#$m}\"\n"
                             "l=$('" + qvzip + "' fs long \"$s\")\necho \"long=${l#$m}\"\n";
    auto r = onImage(dir, "mkfs.vfat -n FIRSTLBL", body);
    if (r.exitCode == 77) {
        GTEST_SKIP() << "this kernel cannot mount a vfat image (no vfat support)";
    }
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("short=/LONGFO~1/LONGFI~1.TXT\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("long=/Long Folder/Long File Name.txt\n"), std::string::npos) << r.output;
}

} // namespace
