// A drive mounted below a source that is not connected now deletes nothing of its backup: in a
// private mount namespace, a tmpfs below the source is backed up by qv-run, then unmounted (or a
// private mount configuration names it); an exact copy, a synchronisation and a compress task that
// removes entries each leave its place alone, name it once and end with exit 3. A plain folder
// emptied the same way is the control: its files go (come back, for the synchronisation).
// qv-test-labels: interop
// qv-test-timeout: 300
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using qvtest::lineOf;

const std::string kWarning = "is a drive that is not connected";

std::string q(const std::string &s)
{
    return "'" + s + "'";
}

enum class Way { Remembered, Fstab, PlainFolder };

struct Outcome
{
    std::string output;
    bool refused = false;
};

// Backs up B/src (photos/ three files, other/ one) with `type`, then takes photos away the `way`
// says and runs again; prints "second exit N", "kept ..." (what the destination holds of photos)
// and "back ..." (what the source's photos folder holds).
Outcome run(const std::string &type, Way way, bool forgetAfter = false)
{
    const std::string base = qvtest::makeTempDir("drive");
    const std::string src = base + "/src", dst = base + "/dst", zip = base + "/out/backup.zip";
    std::string args = "--quiet --delete-kind normal --source " + q(src);
    args += type == "compress" ? " --compress " + q(zip) + " --remove-entries"
                               : " --type " + type + " --dest " + q(dst);
    const std::string qvrun = "XDG_CONFIG_HOME=\"$CFG\" " + q(qvtest::binPath("qv-run")) + " " + args;
    const std::string kept = type == "compress"
                                 ? "unzip -Z1 " + q(zip) + " 2>/dev/null | grep '^photos/.' | tr '\\n' ' '"
                                 : "ls " + q(dst + "/photos") + " 2>/dev/null | tr '\\n' ' '";
    std::string script = "set -u\nCFG=" + q(base + "/cfg") + "\nmkdir -p " + q(src + "/photos") + " " +
                         q(src + "/other") + " " + q(base + "/out") + "\necho o >" + q(src + "/other/o.txt") +
                         "\n";
    if (way != Way::PlainFolder) {
        script += "mount -t tmpfs tmpfs " + q(src + "/photos") + " || { echo 'mount refused'; exit 0; }\n";
    }
    script += "for i in 1 2 3; do echo p$i >" + q(src + "/photos/p") + "$i.jpg; done\n" + qvrun +
              " >/dev/null; echo \"first exit $?\"\n";
    switch (way) {
    case Way::Remembered: // as udisks does: unmounted, its folder removed
        script += "umount " + q(src + "/photos") + " && rmdir " + q(src + "/photos") + "\n";
        break;
    case Way::Fstab: // nothing remembered; the mount configuration names the empty folder
        script += "umount " + q(src + "/photos") + "\nCFG=" + q(base + "/cfg2") +
                  "\nprintf '/dev/sdz1 %s ext4 " + "defaults 0 2\\n' " + q(src + "/photos") + " >" +
                  q(base + "/fstab") + "\nmount --bind " + q(base + "/fstab") +
                  " /etc/fstab || { echo 'mount refused'; exit 0; }\n";
        break;
    case Way::PlainFolder:
        script += "rm " + q(src) + "/photos/*\n";
        break;
    }
    script += qvrun + " >" + q(base + "/second.txt") + " 2>&1; echo \"second exit $?\"\ncat " +
              q(base + "/second.txt") + "\necho \"kept $(" + kept + ")\"\necho \"back $(ls " +
              q(src + "/photos") + " 2>/dev/null | tr '\\n' ' ')\"\n";
    if (forgetAfter) { // the user removes the drive's backup by hand: it is forgotten
        script += "rm -r " + q(dst + "/photos") + "\n" + qvrun + " >" + q(base + "/third.txt") +
                  " 2>&1; echo \"third exit $?\"\necho \"third warns $(grep -c '" + kWarning + "' " +
                  q(base + "/third.txt") + ")\"\n";
    }
    const auto r = qvtest::runCommand({"unshare", "-m", "--propagation", "private", "sh", "-c", script}, 120);
    return {r.output, r.output.find("mount refused") != std::string::npos || r.exitCode != 0};
}

TEST(DriveNotConnected, ItsBackupStaysForExactCopySyncAndCompress)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private mount namespace";
    }
    QV_REQUIRE_TOOL("unshare");
    QV_REQUIRE_TOOL("unzip");
    const struct
    {
        const char *type;
        Way way;
        const char *exit; // of the second run
        const char *kept; // of photos in the destination after it
        const char *back; // in the source's photos folder after it
    } rows[] = {
        {"exact", Way::Remembered, "3", "p1.jpg p2.jpg p3.jpg ", ""},
        {"exact", Way::Fstab, "3", "p1.jpg p2.jpg p3.jpg ", ""},
        {"exact", Way::PlainFolder, "0", "", ""},
        {"sync", Way::Remembered, "3", "p1.jpg p2.jpg p3.jpg ", ""},
        {"sync", Way::Fstab, "3", "p1.jpg p2.jpg p3.jpg ", ""},
        {"sync", Way::PlainFolder, "0", "p1.jpg p2.jpg p3.jpg ", "p1.jpg p2.jpg p3.jpg "},
        {"compress", Way::Remembered, "3", "photos/p1.jpg photos/p2.jpg photos/p3.jpg ", ""},
        {"compress", Way::Fstab, "3", "photos/p1.jpg photos/p2.jpg photos/p3.jpg ", ""},
        {"compress", Way::PlainFolder, "0", "", ""},
    };
    for (const auto &row : rows) {
        const std::string name = std::string(row.type) + " " + std::to_string(static_cast<int>(row.way));
        const Outcome o = run(row.type, row.way);
        if (o.refused) {
            GTEST_SKIP() << "no private mount namespace here:\n" << o.output;
        }
        EXPECT_EQ(lineOf(o.output, "first exit"), "0") << name << ":\n" << o.output;
        EXPECT_EQ(lineOf(o.output, "second exit"), row.exit) << name << ":\n" << o.output;
        EXPECT_EQ(lineOf(o.output, "kept"), row.kept) << name << ":\n" << o.output;
        EXPECT_EQ(lineOf(o.output, "back"), row.back) << name << ":\n" << o.output;
        EXPECT_EQ(qvtest::countOf(o.output, kWarning), row.way == Way::PlainFolder ? 0u : 1u) << name << ":\n"
                                                                                    << o.output;
    }
}

// Once its place in the destination is gone, a drive no longer connected is forgotten.
TEST(DriveNotConnected, ABackupRemovedByHandLetsTheDriveGo)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private mount namespace";
    }
    QV_REQUIRE_TOOL("unshare");
    const Outcome o = run("exact", Way::Remembered, true);
    if (o.refused) {
        GTEST_SKIP() << "no private mount namespace here:\n" << o.output;
    }
    EXPECT_EQ(lineOf(o.output, "second exit"), "3") << o.output;
    EXPECT_EQ(lineOf(o.output, "third exit"), "0") << o.output;
    EXPECT_EQ(lineOf(o.output, "third warns"), "0") << o.output;
}

} // namespace
