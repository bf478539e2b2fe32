// Archives in volumes: 50 MB written in 1.4 MB volumes and read back byte for byte, updated and
// shrunk, with a volume removed or a damaged configuration file giving an error that names it,
// and the volume settings kept in step.
// qv-test-labels: slow
// qv-test-timeout: 600
#include "ZipWriterFixture.h"
#include "zip/ZipVolumes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace zwtest;

namespace {

std::int64_t fileSize(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

int volumeCount(const std::string &archive)
{
    int n = 0;
    while (fileSize(qv::zipVolumeName(archive, n)) >= 0) {
        ++n;
    }
    return n;
}

TEST(ZipVolumes, SettingsDefaultsAndStep)
{
    qv::TMultiZipInfo info;
    EXPECT_EQ(info.BlockSize, 1457600);
    EXPECT_EQ(info.FirstBlockSize, 1457600);
    EXPECT_EQ(info.SaveOnFirstDisk, 0);
    EXPECT_FALSE(info.SaveZipInfoOnFirstDisk);
    EXPECT_EQ(info.MultiMode, qv::mmNone);
    EXPECT_TRUE(info.CheckDiskLabels);
    EXPECT_TRUE(info.WriteDiskLabels);
    qv::TZipWriter a;
    a.SetMultiMode(qv::mmBlocks);
    a.SetCheckDiskLabels(false);
    a.MultiZipInfo.BlockSize = 70000;
    EXPECT_EQ(a.MultiZipInfo.MultiMode, qv::mmBlocks);
    EXPECT_EQ(a.MultiMode(), qv::mmBlocks);
    EXPECT_FALSE(a.CheckDiskLabels());
    qv::TZipWriter b;
    b.Assign(a);
    EXPECT_EQ(b.MultiMode(), qv::mmBlocks);
    EXPECT_EQ(b.MultiZipInfo.BlockSize, 70000);
    EXPECT_FALSE(b.MultiZipInfo.CheckDiskLabels);
    struct Name
    {
        int disk;
        const char *want;
    };
    for (const Name &n : {Name{0, "/b/set.zip"}, Name{1, "/b/set.002"}, Name{11, "/b/set.012"}}) {
        EXPECT_EQ(qv::zipVolumeName("/b/set.zip", n.disk), n.want);
    }
    EXPECT_EQ(qv::zipConfigName("/b/set.zip"), "/b/set.zfc");
}

TEST(ZipVolumes, FiftyMegabytesInBlocksRoundTrip)
{
    const std::string dir = qvtest::makeTempDir("vol");
    std::map<std::string, std::string> files;
    for (int i = 0; i < 5; ++i) {
        files["part" + std::to_string(i) + ".bin"] = randomBytes(10 << 20, static_cast<unsigned>(40 + i));
    }
    files["notes/text.txt"] = textBytes(300000);
    files["empty.txt"] = "";
    writeTree(dir + "/src", files);
    const std::string archive = dir + "/set.zip";
    auto writeSet = [&](const std::vector<std::string> &names) {
        qv::TZipWriter zip;
        zip.SetZipName(archive);
        zip.SetMultiMode(qv::mmBlocks);
        zip.PackLevel = 1;
        if (fileSize(archive) >= 0) {
            zip.SetZipComment("volumes"); // kept in the configuration file's end record
        }
        for (const auto &name : names) {
            zip.AddFile(dir + "/src/" + name, name);
        }
        return zip.Zip();
    };
    std::vector<std::string> names;
    for (const auto &[name, data] : files) {
        names.push_back(name);
    }
    ASSERT_EQ(writeSet(names), static_cast<int>(files.size()));
    const int volumes = volumeCount(archive);
    EXPECT_GE(volumes, 35);
    for (int d = 0; d + 1 < volumes; ++d) {
        EXPECT_LE(fileSize(qv::zipVolumeName(archive, d)), 1457600) << d;
    }
    EXPECT_GT(fileSize(qv::zipConfigName(archive)), 0);
    EXPECT_EQ(qvtest::runShell("ls -a '" + dir + "' | grep -c KPZ").output, "0\n");

    auto readBack = [&](const std::map<std::string, std::string> &want, const std::string &comment,
                        qv::TMultiMode mode = qv::mmBlocks) {
        qv::TZipReader z;
        z.SetZipName(archive);
        ASSERT_EQ(z.Count(), static_cast<int>(want.size()));
        EXPECT_EQ(z.MultiMode(), mode);
        EXPECT_EQ(z.ZipComment(), comment);
        const std::string out = qvtest::makeTempDir("vol-out");
        z.SetDestDir(out);
        z.RecreateDirs = true;
        z.DoAll = true;
        z.OverwriteMode = qv::TUZOverwriteMode::Always;
        EXPECT_EQ(z.UnZip(), static_cast<int>(want.size()));
        for (const auto &[name, data] : want) {
            EXPECT_TRUE(qvtest::readFile(out + "/" + name) == data) << name;
        }
    };
    readBack(files, "");

    // An update reads the old set through its volumes and writes a new set.
    qvtest::writeFile(dir + "/src/added.txt", "added later");
    files["added.txt"] = "added later";
    ASSERT_EQ(writeSet({"added.txt"}), 1);
    readBack(files, "volumes");

    // Deleting most of it shrinks the set to one volume, a plain archive; the other volumes and
    // the configuration file are gone.
    {
        qv::TZipWriter zip;
        zip.SetZipName(archive);
        zip.SetMultiMode(qv::mmBlocks);
        zip.FilesList = {"part*.bin"};
        EXPECT_EQ(zip.DeleteEntries(), 5);
    }
    for (int i = 0; i < 5; ++i) {
        files.erase("part" + std::to_string(i) + ".bin");
    }
    EXPECT_EQ(volumeCount(archive), 1);
    EXPECT_LT(fileSize(qv::zipConfigName(archive)), 0);
    readBack(files, "volumes", qv::mmNone);
    auto test = qvtest::runCommand({"unzip", "-tq", archive});
    EXPECT_TRUE(!qvtest::haveTool("unzip") || test.exitCode == 0) << test.output;
}

TEST(ZipVolumes, MissingVolumeOrDamagedConfigurationIsNamed)
{
    const std::string dir = qvtest::makeTempDir("volbad");
    writeTree(dir + "/src", {{"a.bin", randomBytes(600000, 3)}});
    const std::string archive = dir + "/set.zip";
    qv::TZipWriter zip;
    zip.SetZipName(archive);
    zip.SetMultiMode(qv::mmBlocks);
    zip.MultiZipInfo.FirstBlockSize = 100000;
    zip.MultiZipInfo.BlockSize = 100000;
    zip.PackLevel = 0;
    zip.AddFile(dir + "/src/a.bin", "a.bin");
    ASSERT_EQ(zip.Zip(), 1);
    ASSERT_EQ(volumeCount(archive), 7);
    const std::string config = qvtest::readFile(qv::zipConfigName(archive));

    struct Case
    {
        const char *what;
        std::function<void()> damage;
        const char *named;
    };
    const std::string third = qv::zipVolumeName(archive, 2);
    const Case cases[] = {
        {"a volume removed", [&] { ::rename(third.c_str(), (third + ".away").c_str()); }, "set.003"},
        {"the configuration counts more volumes",
         [&] {
             std::string c = config;
             c[4] = 9; // this disk number
             c[6] = 0; // the directory on disk 0
             qvtest::writeFile(qv::zipConfigName(archive), c);
         },
         "set.008"},
        {"the configuration is not an end record", [&] { qvtest::writeFile(qv::zipConfigName(archive), "junk"); },
         "set.zfc"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.damage();
        qv::TZipReader z;
        z.SetZipName(archive);
        try {
            z.Count();
            ADD_FAILURE() << "read a damaged set";
        } catch (const qv::EIncompleteZip &e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
        ::rename((third + ".away").c_str(), third.c_str());
        qvtest::writeFile(qv::zipConfigName(archive), config);
    }
    qv::TZipReader whole;
    whole.SetZipName(archive);
    EXPECT_EQ(whole.Count(), 1);
}

// The configuration file cannot be put in place (a folder holds its name): the write fails with
// the configuration file's own text and leaves the old archive as it was.
TEST(ZipVolumes, UnsavableConfigurationFileIsNamed)
{
    const std::string dir = qvtest::makeTempDir("volcfg");
    writeTree(dir + "/src", {{"a.bin", randomBytes(300000, 5)}});
    const std::string archive = dir + "/set.zip";
    {
        qv::TZipWriter plain;
        plain.SetZipName(archive);
        plain.AddFile(dir + "/src/a.bin", "old.bin");
        ASSERT_EQ(plain.Zip(), 1);
    }
    const std::string old = qvtest::readFile(archive);
    ASSERT_EQ(::mkdir(qv::zipConfigName(archive).c_str(), 0755), 0);
    qv::TZipWriter zip;
    zip.SetZipName(archive);
    zip.SetMultiMode(qv::mmBlocks);
    zip.MultiZipInfo.FirstBlockSize = zip.MultiZipInfo.BlockSize = 100000;
    zip.PackLevel = 0;
    zip.ZipAction = qv::zaReplace;
    zip.AddFile(dir + "/src/a.bin", "a.bin");
    try {
        zip.Zip();
        ADD_FAILURE() << "wrote a set without its configuration file";
    } catch (const qv::EZipError &e) {
        EXPECT_EQ(std::string(e.what()).rfind("Unable to save Zip Configuration File to disk \"" + dir + "/set.zfc\"", 0),
                  0u)
            << e.what();
    }
    EXPECT_TRUE(qvtest::readFile(archive) == old);
    EXPECT_EQ(volumeCount(archive), 1);
}

TEST(ZipVolumes, FullDiskWhileCuttingVolumesLeavesOldArchive)
{
    QV_REQUIRE_TOOL("unshare");
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    const std::string qvzip = qvtest::binPath("qv-zip");
    const std::string dir = qvtest::makeTempDir("volfull");
    writeTree(dir + "/src", {{"small.txt", textBytes(100000)}, {"big.bin", randomBytes(1100000, 9)}});
    // In a private mount namespace: a 2 MiB tmpfs that holds the old archive and the new one as
    // one temporary file, but not the volumes cut from it as well.
    const std::string script = "set -e\nmnt='" + dir + "/mnt'\nmkdir -p \"$mnt\"\n"
                               "mount -t tmpfs -o size=2m tmpfs \"$mnt\" || exit 77\n"
                               "'" + qvzip + "' a \"$mnt/a.zip\" '" + dir + "/src' small.txt >/dev/null\n"
                               "cp \"$mnt/a.zip\" '" + dir + "/before.zip'\n"
                               "set +e\n'" + qvzip + "' a -l 0 -v 100000 \"$mnt/a.zip\" '" + dir +
                               "/src' big.bin > '" + dir + "/out.txt' 2>&1\necho \"rc=$?\"\n"
                               "cmp -s \"$mnt/a.zip\" '" + dir + "/before.zip' && echo same\n"
                               "echo \"left=$(ls -a \"$mnt\" | grep -v -x -e . -e .. -e a.zip | wc -l)\"\n"
                               "umount \"$mnt\"\n";
    auto r = qvtest::runCommand({"unshare", "-m", "--propagation", "private", "sh", "-c", script}, 120);
    if (r.exitCode == 77 || r.output.find("rc=") == std::string::npos) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << r.output;
    }
    const std::string out = qvtest::readFile(dir + "/out.txt");
    EXPECT_NE(r.output.find("rc=3"), std::string::npos) << r.output << out;
    EXPECT_NE(r.output.find("same"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("left=0"), std::string::npos) << r.output;
    EXPECT_NE(out.find("Not enough room to write archive volume"), std::string::npos) << out;
    EXPECT_NE(out.find("/a.0"), std::string::npos) << out;
}

} // namespace
