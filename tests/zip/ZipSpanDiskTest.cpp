// An archive spanning real disks: loop-mounted ext4 images changed under one mount point by the
// command qv-zip runs for each new disk. qv-zip reads the set back from the disks through the
// same command, and Info-ZIP joins them as a split archive and extracts it; a full first disk is
// filled to the last byte the file system takes.
// qv-test-timeout: 300
#include "ZipWriterFixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace zwtest;

namespace {

TEST(ZipSpanDisks, WrittenAcrossLoopMountedDisks)
{
    QV_REQUIRE_TOOL("unshare");
    QV_REQUIRE_TOOL("mkfs.ext4");
    QV_REQUIRE_TOOL("zip");
    QV_REQUIRE_TOOL("unzip");
    if (::geteuid() != 0) {
        GTEST_SKIP() << "loop mounts need root";
    }
    const std::string dir = qvtest::makeTempDir("spandisks");
    std::map<std::string, std::string> files;
    for (int i = 0; i < 3; ++i) {
        files["rand" + std::to_string(i) + ".bin"] = randomBytes(1500000, static_cast<unsigned>(90 + i));
    }
    files["docs/notes.txt"] = textBytes(300000);
    writeTree(dir + "/src", files);
    const std::string qvzip = qvtest::binPath("qv-zip");
    // Eight blank 2 MiB disks; the swap command puts disk $QV_DISK in and notes its number.
    const std::string script =
        "set -e\ncd '" + dir + "'\nm=\"$PWD/mnt\"\nmkdir -p \"$m\" peer out\n"
        "for n in 1 2 3 4 5 6 7 8; do truncate -s 2M disk$n.img; "
        "mkfs.ext4 -q -m 0 -O ^has_journal disk$n.img >/dev/null 2>&1; done\n"
        "mount -o loop disk1.img \"$m\" 2>/dev/null || exit 77\necho 1 > last\n"
        "cat > swap.sh <<EOS\nset -e\numount \"$m\"\nmount -o loop \"$PWD/disk\\$QV_DISK.img\" \"$m\"\n"
        "echo \\$QV_DISK > \"$PWD/last\"\nEOS\n"
        "set +e\n'" + qvzip + "' a -s -D \"sh $PWD/swap.sh\" \"$m/a.zip\" \"$PWD/src\" . > qvzip.txt 2>&1\n"
        "echo \"rc=$?\"\nset -e\nlast=$(cat last)\necho \"disks=$last\"\numount \"$m\"\n"
        "for n in $(seq 1 $last); do mount -o loop disk$n.img \"$m\"; "
        "if [ $n -eq $last ]; then cp \"$m/a.zip\" peer/a.zip; else cp \"$m/a.zip\" peer/a.z$(printf %02d $n); fi; "
        "echo \"disk$n: $(stat -c %s \"$m/a.zip\") of $(df -B1 --output=avail \"$m\" | tail -1) left; "
        "$(ls -a \"$m\" | grep -c KPZ || true) temporary\"; umount \"$m\"; done\n"
        "mount -o loop disk$last.img \"$m\"\nset +e\n'" + qvzip + "' x -D \"sh $PWD/swap.sh\" \"$m/a.zip\" \"$PWD/ours\" "
        "> ours.txt 2>&1\necho \"read=$?\"\nset -e\numount \"$m\"\n"
        "cd peer\nzip -q -s 0 a.zip --out whole.zip\nunzip -q whole.zip -d ../out\necho joined\n";
    auto r = qvtest::runCommand({"unshare", "-m", "--propagation", "private", "sh", "-c", script}, 240);
    if (r.exitCode == 77) {
        GTEST_SKIP() << "this kernel cannot mount an ext4 image";
    }
    const std::string log = qvtest::readFile(dir + "/qvzip.txt");
    ASSERT_EQ(r.exitCode, 0) << r.output << log;
    EXPECT_NE(r.output.find("rc=0"), std::string::npos) << r.output << log;
    EXPECT_NE(r.output.find("joined"), std::string::npos) << r.output;
    // About 4.8 MB on disks of under 2 MiB each: at least three disks, none keeping a temporary file.
    const auto at = r.output.find("disks=");
    ASSERT_NE(at, std::string::npos) << r.output;
    EXPECT_GE(std::stoi(r.output.substr(at + 6)), 3) << r.output;
    EXPECT_EQ(r.output.find(" 1 temporary"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("disk1: "), std::string::npos) << r.output;
    // qv-zip reads the set back from these disks, which the kernel reports as fixed, changing
    // them through the same command.
    EXPECT_NE(r.output.find("read=0"), std::string::npos) << r.output << qvtest::readFile(dir + "/ours.txt");
    for (const auto &[name, data] : files) {
        EXPECT_TRUE(qvtest::readFile(dir + "/out/" + name) == data) << name;
        EXPECT_TRUE(qvtest::readFile(dir + "/ours/" + name) == data) << name;
    }
}

} // namespace
