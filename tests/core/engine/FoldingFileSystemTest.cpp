// Runs onto a file system that folds case and keeps times to the second (exFAT through FUSE, on a
// loop device, in a private mount namespace): names that only case tells apart are never copied
// over one another, an exact copy keeps the copy of a file renamed in case only, an unchanged
// second run copies nothing and keeps no version, and a folder's clean-up of stale temporary files
// spares the one being written through another spelling of it.
// qv-test-labels: interop
// qv-test-timeout: 300
#include "platform/FileCopy.h"
#include "platform/FileIo.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <unistd.h>

namespace {

using qvtest::lineOf;

using namespace qv;

const char kMountEnv[] = "QV_FOLDING_MOUNT";
const char kTwinError[] = "does not tell upper from lower case";

std::string selfPath()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

std::string q(const std::string &s)
{
    return "'" + s + "'";
}

// The shell lines that mount a new exFAT image on `mnt` (and take it down on exit), or say
// "mount refused" and end.
std::string mountScript(const std::string &base, const std::string &mnt)
{
    const std::string img = q(base + "/exfat.img");
    return "set -u\nmkdir -p " + q(mnt) + "\ntruncate -s 64M " + img + " && mkfs.exfat " + img +
           " >/dev/null || { echo 'mount refused: mkfs'; exit 0; }\n" + "dev=$(losetup -f --show " + img +
           ") || { echo 'mount refused: losetup'; exit 0; }\n" + "mount.exfat-fuse $dev " + q(mnt) +
           " || { losetup -d $dev; echo 'mount refused: fuse'; exit 0; }\n" + "trap 'cd /; umount " + q(mnt) +
           "; losetup -d $dev' EXIT\n" +
           "files() { (cd \"$1\" && find . -type f | sort | while read -r f; do printf "
           "'%s=%s ' \"$f\" \"$(cat \"$f\")\"; done); }\n";
}

} // namespace

TEST(FoldingFileSystem, CaseTwinsTimesAndLiveTemporaryFiles)
{
    if (std::getenv(kMountEnv) != nullptr) {
        GTEST_SKIP() << "already inside";
    }
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private mount namespace and a loop device";
    }
    for (const char *tool : {"unshare", "mkfs.exfat", "mount.exfat-fuse", "losetup"}) {
        QV_REQUIRE_TOOL(tool);
    }
    ASSERT_EQ(::access("/dev/fuse", R_OK | W_OK), 0) << "no /dev/fuse";
    const std::string base = qvtest::makeTempDir("folding");
    const std::string mnt = base + "/mnt";
    const std::string qvrun = q(qvtest::binPath("qv-run"));
    std::string script = mountScript(base, mnt);
    // Times with fractions of a second, five runs of each with versions kept.
    const std::string times = q(base + "/times");
    script += "mkdir -p " + times + " && for i in 1 2 3; do printf v$i >" + times +
              "/f$i; done && touch -d @1600000000.5 " + times + "/f1 && touch -d @1600000001.25 " + times +
              "/f2 " + times + "/f3\n";
    for (const char *type : {"simple", "sync"}) {
        const std::string t = type;
        script += "for run in 1 2 3 4 5; do n=$(" + qvrun + " --type " + t + " --source " + times +
                  " --dest " + q(mnt + "/times-" + t) + " --versions " + q(mnt + "/versions-" + t) +
                  " --versions-num 3 | grep -c '^Copying'); echo \"times " + t +
                  " run$run copied $n\"; done\n";
        script += "echo \"times " + t + " versions $(find " + q(mnt + "/versions-" + t) +
                  " -type f 2>/dev/null | wc -l)\"\n";
    }
    // A file and its folder renamed in case only: an exact copy keeps their copies (spelled as before).
    const std::string renamed = q(base + "/renamed");
    script += "mkdir -p " + renamed + "/Sub && printf content >" + renamed + "/Sub/a.txt && " + qvrun +
              " --type exact --delete-kind normal --source " + renamed + " --dest " + q(mnt + "/renamed") +
              " >/dev/null && mv " + renamed + "/Sub/a.txt " + renamed + "/Sub/A.txt && mv " + renamed + "/Sub " +
              renamed + "/sub\n";
    script += "for run in 2 3; do sleep 1; " + qvrun + " --type exact --delete-kind normal --source " + renamed +
              " --dest " + q(mnt + "/renamed") + "; echo \"renamed run$run exit $? dest $(files " +
              q(mnt + "/renamed") + ")\"; done\n";
    // Twins in the source, in a folder and as folders; each type runs twice.
    for (const char *type : {"simple", "exact", "move"}) {
        const std::string s = q(base + "/twins-" + type);
        const std::string t = type;
        script += "mkdir -p " + s + "/Sub2 " + s + "/sub2 && printf lower >" + s +
                  "/a.txt && printf UPPER >" + s + "/A.txt && printf F1 >" + s + "/Sub2/f && printf f2 >" +
                  s + "/sub2/f && touch -d @1600000000 " + s + "/*.txt " + s + "/*/f\n";
        for (const char *run : {"1", "2"}) {
            script += qvrun + " --type " + t + " --source " + s + " --dest " + q(mnt + "/" + t) + " > " +
                      q(base + "/" + t + run + ".out") + " 2>&1; echo \"twins " + t + " run" + run +
                      " exit $? dest $(files " + q(mnt + "/" + t) + ")\"; cat " +
                      q(base + "/" + t + run + ".out") + "\n";
        }
        script += "echo \"twins " + t + " source $(files " + s + ")\"\n";
    }
    script += "env " + std::string(kMountEnv) + "=" + q(mnt) + " " + q(selfPath()) +
              " --gtest_filter='FoldingFileSystemInside.*'; echo \"inside exit $?\"\n";
    const auto r = qvtest::runCommand({"unshare", "-m", "--propagation", "private", "sh", "-c", script}, 280);
    ASSERT_EQ(r.output.find("mount refused"), std::string::npos) << r.output;
    ASSERT_EQ(r.exitCode, 0) << r.output;

    for (const char *type : {"simple", "exact", "move"}) {
        SCOPED_TRACE(type);
        const std::string t = std::string("twins ") + type;
        const std::string first = lineOf(r.output, t + " run1 exit");
        // One of each pair is copied (or moved) whole; the other is an error, never an overwrite.
        EXPECT_TRUE(first == "3 dest ./A.txt=UPPER ./Sub2/f=F1 " ||
                    first == "3 dest ./a.txt=lower ./sub2/f=f2 ")
            << r.output;
        EXPECT_EQ(lineOf(r.output, t + " run2 exit"), first) << r.output;
        if (std::string(type) == "move") {
            EXPECT_EQ(lineOf(r.output, t + " source"),
                      first[9] == 'A' ? "./a.txt=lower ./sub2/f=f2 " : "./A.txt=UPPER ./Sub2/f=F1 ")
                << r.output;
        }
    }
    EXPECT_EQ(qvtest::countOf(r.output, kTwinError), 12u) << r.output; // two per run
    for (const char *type : {"simple", "sync"}) {
        SCOPED_TRACE(type);
        const std::string t = std::string("times ") + type;
        EXPECT_EQ(lineOf(r.output, t + " run1 copied"), "3") << r.output;
        for (const char *run : {" run2", " run3", " run4", " run5"}) {
            EXPECT_EQ(lineOf(r.output, t + run + " copied"), "0") << run << "\n" << r.output;
        }
        EXPECT_EQ(lineOf(r.output, t + " versions"), "0") << r.output;
    }
    for (const char *run : {"renamed run2 exit", "renamed run3 exit"}) {
        EXPECT_EQ(lineOf(r.output, run), "0 dest ./Sub/a.txt=content ") << run << "\n" << r.output;
    }
    EXPECT_EQ(lineOf(r.output, "inside exit"), "0") << r.output;
    EXPECT_NE(r.output.find("[  PASSED  ] 1 test"), std::string::npos) << r.output;
}

// Inside the namespace, on the mounted file system: a copy under way into Sub2/ keeps its
// temporary file through the clean-up of sub2/, which finds a stale one all the same.
TEST(FoldingFileSystemInside, CleanUpThroughAnotherSpellingSparesALiveCopy)
{
    const char *mnt = std::getenv(kMountEnv);
    if (mnt == nullptr) {
        GTEST_SKIP() << "runs only on the mount the outer test makes";
    }
    const std::string src = qvtest::makeTempDir("fsrc") + "/big";
    qvtest::writeFile(src, std::string(300000, 'n'));
    const std::string folder = std::string(mnt) + "/Live";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    qvtest::writeFile(folder + "/f", "old");
    const std::string stale = folder + "/" + tempNameBeside("g");
    qvtest::writeFile(stale, "left by a killed run");
    StagedCopy copy;
    int error = 0;
    ASSERT_TRUE(copy.write(src, folder + "/f", CopyOptions{}, error)) << copyErrorText(error);
    ASSERT_FALSE(copy.tempPath().empty());
    EXPECT_EQ(removeStaleCopyTemps(std::string(mnt) + "/live"), 1); // the stale one only
    EXPECT_TRUE(copy.commit(error)) << copyErrorText(error);
    EXPECT_TRUE(qvtest::readFile(folder + "/f") == std::string(300000, 'n'));
    // Listed, not looked up: the kernel may still hold the stale name of the other spelling.
    const auto r = qvtest::runCommand({"ls", "-A", folder}, 30);
    EXPECT_EQ(r.output, "f\n");
}
