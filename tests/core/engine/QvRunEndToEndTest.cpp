// qv-run end to end on generated trees, checked with rsync, diff and trash-list as oracles.
// qv-test-labels: interop
// qv-test-timeout: 300
#include "EngineTestSupport.h"

#include "core/runs/Task.h"
#include "core/runs/TaskListStorage.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace enginetest;

// A tree of a few hundred files: nested folders, sizes from 0 to 200 KB, blanks, non-UTF-8 bytes.
void generateTree(const std::string &root, unsigned seed, int files = 300)
{
    std::mt19937 gen(seed);
    const std::vector<std::string> folders = {"",          "docs/",          "docs/2024/", "photos/",
                                              "photos/x y/", "a/b/c/d/",     "\xff\xfe-latin/", "empty-later/"};
    for (int i = 0; i < files; ++i) {
        const std::string folder = folders[gen() % folders.size()];
        std::string name = "file-" + std::to_string(i) + (i % 7 == 0 ? " with blank" : "") + (i % 11 == 0 ? "\xe9" : "");
        std::size_t size = (i % 10 == 0) ? 0 : gen() % 4096;
        if (i % 50 == 1) {
            size = 150000 + gen() % 50000;
        }
        std::string data(size, '\0');
        for (auto &c : data) {
            c = static_cast<char>(gen());
        }
        put(root + "/" + folder + name, data, 1600000000 + static_cast<long>(gen() % 100000000));
    }
}

std::string qvRun(const std::vector<std::string> &args, int *exitCode = nullptr)
{
    std::vector<std::string> argv = {qvtest::binPath("qv-run")};
    argv.insert(argv.end(), args.begin(), args.end());
    auto r = qvtest::runCommand(argv, 240);
    if (exitCode != nullptr) {
        *exitCode = r.exitCode;
    }
    return r.output;
}

std::string rsyncDiff(const std::string &src, const std::string &dst, bool withDelete,
                      const std::vector<std::string> &excludes = {})
{
    std::vector<std::string> argv = {"rsync", "-rcn", "--out-format=%n"};
    if (withDelete) {
        argv.push_back("--delete");
    }
    for (const auto &e : excludes) {
        argv.push_back("--exclude=" + e);
    }
    argv.push_back(src + "/");
    argv.push_back(dst + "/");
    auto r = qvtest::runCommand(argv, 120);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return r.output;
}

int countLines(const std::string &text, const std::string &part)
{
    int n = 0;
    std::size_t pos = 0;
    while ((pos = text.find(part, pos)) != std::string::npos) {
        ++n;
        pos += part.size();
    }
    return n;
}

TEST(EngineQvRunEndToEnd, SimpleCopyThenOneTouchedFile)
{
    QV_REQUIRE_TOOL("rsync");
    QV_REQUIRE_TOOL("diff");
    const std::string base = qvtest::makeTempDir("e2e-simple");
    const std::string src = base + "/src", dst = base + "/dst";
    generateTree(src, 1);
    int rc = -1;
    std::string out = qvRun({"--source", src, "--dest", dst}, &rc);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("Backup finished."), std::string::npos);
    EXPECT_EQ(qvtest::runCommand({"diff", "-r", src, dst}).exitCode, 0);
    EXPECT_EQ(rsyncDiff(src, dst, false), "");

    // Touch exactly one file: the next run copies exactly that one.
    const std::string touched = src + "/docs/2024/" + "touched.txt";
    put(touched, "new content", 1800000000);
    out = qvRun({"--source", src, "--dest", dst}, &rc);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(countLines(out, "Copying \""), 1) << out;
    EXPECT_NE(out.find("Copying \"" + touched + "\""), std::string::npos);
    EXPECT_EQ(rsyncDiff(src, dst, false), "");
}

// A name can neither forge a line of the output nor reach the terminal as a control sequence; the
// file itself keeps its name.
TEST(EngineQvRunEndToEnd, NamesAreShownEscaped)
{
    const std::string base = qvtest::makeTempDir("e2e-names");
    const std::string src = base + "/src", dst = base + "/dst";
    const std::string forged = "a\nBackup finished.\x1b[2J";
    put(src + "/" + forged, "x");
    put(src + "/b\r\xc2\x9b" + "c", "y");
    int rc = -1;
    const std::string out = qvRun({"--source", src, "--dest", dst}, &rc);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(countLines(out, "\nBackup finished."), 1) << out;
    EXPECT_NE(out.find("a\\nBackup finished.\\x1b[2J"), std::string::npos) << out;
    EXPECT_NE(out.find("b\\r\\xc2\\x9bc"), std::string::npos) << out;
    EXPECT_EQ(out.find_first_of("\x1b\r"), std::string::npos) << out;
    EXPECT_EQ(qvtest::readFile(dst + "/" + forged), "x");
}

TEST(EngineQvRunEndToEnd, ExactCopyAfterDeletesAndRenames)
{
    QV_REQUIRE_TOOL("rsync");
    const std::string base = qvtest::makeTempDir("e2e-exact");
    const std::string src = base + "/src", dst = base + "/dst";
    generateTree(src, 2);
    int rc = -1;
    ASSERT_EQ((qvRun({"--source", src, "--dest", dst, "--type", "exact", "--delete-kind", "normal"}, &rc), rc), 0);
    // Deletes, renames of files and of a folder, a new empty folder.
    qvtest::runShell("cd '" + src + "' && rm -f file-3 file-4* && mv docs/2024 docs/2025 && mv 'photos/x y' photos/xy"
                     " && rm -rf a/b/c && mkdir -p newly/empty && for f in file-1*; do mv \"$f\" \"renamed-$f\"; done");
    std::string out = qvRun({"--source", src, "--dest", dst, "--type", "exact", "--delete-kind", "normal",
                             "--versions", dst + "/Versions"},
                            &rc);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(rsyncDiff(src, dst, true, {"/Versions"}), "");
    EXPECT_EQ(qvtest::runCommand({"diff", "-r", "-x", "Versions", src, dst}).exitCode, 0);
    EXPECT_NE(out.find("Deleting obsolete folder: \"" + dst + "/docs/2024\"."), std::string::npos) << out;
}

TEST(EngineQvRunEndToEnd, SynchronizeEditsOnBothSides)
{
    const std::string base = qvtest::makeTempDir("e2e-sync");
    const std::string a = base + "/a", b = base + "/b";
    generateTree(a, 3, 120);
    int rc = -1;
    ASSERT_EQ((qvRun({"--source", a, "--dest", b, "--type", "sync"}, &rc), rc), 0);
    put(a + "/docs/edited-on-a", "from a", 1900000000);
    put(b + "/docs/edited-on-b", "from b", 1900000000);
    put(a + "/both", "older, on a", 1800000000);
    put(b + "/both", "newer, on b", 1900000000);
    put(b + "/photos/only-b/deep/file", "b only", 1900000000);
    std::string out = qvRun({"--source", a, "--dest", b, "--type", "sync"}, &rc);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(qvtest::runCommand({"diff", "-r", a, b}).exitCode, 0) << out;
    EXPECT_EQ(qvtest::readFile(a + "/both"), "newer, on b");
    EXPECT_EQ(qvtest::readFile(a + "/photos/only-b/deep/file"), "b only");
}

TEST(EngineQvRunEndToEnd, ObsoleteFilesGoToTheTrash)
{
    QV_REQUIRE_TOOL("trash-list");
    const std::string base = qvtest::makeTempDir("e2e-trash");
    const std::string src = base + "/src", dst = base + "/dst";
    put(src + "/kept", "k");
    put(dst + "/kept", "k");
    put(dst + "/gone-file-e2e", "g");
    put(dst + "/gone-folder-e2e/inside", "i");
    int rc = -1;
    std::string out = qvRun({"--source", src, "--dest", dst, "--type", "exact", "--delete-kind", "recycle"}, &rc);
    ASSERT_EQ(rc, 0) << out;
    auto listed = qvtest::runCommand({"trash-list"});
    EXPECT_NE(listed.output.find(dst + "/gone-file-e2e"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find(dst + "/gone-folder-e2e"), std::string::npos) << listed.output;
    EXPECT_FALSE(exists(dst + "/gone-file-e2e"));
    EXPECT_TRUE(exists(dst + "/kept"));
}

TEST(EngineQvRunEndToEnd, StoredTaskByIdAndByName)
{
    const std::string base = qvtest::makeTempDir("e2e-stored");
    put(base + "/src/a.txt", "a");
    put(base + "/src/skip.tmp", "t");
    put(base + "/src/sub/b.txt", "b");
    qv::TTasksList tasks;
    auto task = std::make_unique<qv::TTask>();
    task->Name = "Stored e2e";
    task->Source = base + "/src";
    task->DestLocal = base + "/Stored e2e";
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

    int rc = -1;
    std::string out = qvRun({"--id", id}, &rc);
    ASSERT_EQ(rc, 0) << out;
    const std::string dst = base + "/Stored e2e";
    EXPECT_EQ(qvtest::readFile(dst + "/a.txt"), "a");
    EXPECT_EQ(qvtest::readFile(dst + "/sub/b.txt"), "b");
    EXPECT_FALSE(exists(dst + "/skip.tmp"));

    put(base + "/src/c.txt", "c");
    out = qvRun({"--name", "Stored e2e", "--quiet"}, &rc);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(qvtest::readFile(dst + "/c.txt"), "c");
    EXPECT_EQ(out.find("Copying"), std::string::npos) << out;

    qvRun({"--id", "NO-SUCH-TASK"}, &rc);
    EXPECT_EQ(rc, 2);
    qvRun({"--name", "Stored e2e", "--type", "exact"}, &rc);
    EXPECT_EQ(rc, 2);
}

// For real: a folder and a file the running user may not read, with the runs (a copy, an archive)
// started as uid 65534. Both are left undone (exit status 3), each with its real reason.
TEST(EngineQvRunEndToEnd, UnreadableFolderAsAnotherUser)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run qv-run as uid 65534";
    }
    QV_REQUIRE_TOOL("setpriv");
    const std::vector<std::string> asNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    std::vector<std::string> probe = asNobody;
    probe.push_back(qvtest::binPath("qv-run"));
    if (qvtest::runCommand(probe, 30).exitCode != 2) {
        GTEST_SKIP() << "uid 65534 cannot start qv-run from the build tree";
    }
    char pattern[] = "/tmp/qv-e2e-nobody-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string base = pattern;
    const std::string src = base + "/src", dst = base + "/dst";
    put(src + "/open/a", "a");
    put(src + "/open/secret", "s");
    put(src + "/closed/b", "b");
    put(dst + "/closed/b", "backup of b");
    put(dst + "/closed/only-in-backup", "kept");
    put(dst + "/obsolete", "goes");
    qvtest::runShell("chmod 755 '" + base + "' && chmod -R a+rX '" + src + "' && chmod 700 '" + src +
                     "/closed' && chmod 000 '" + src + "/open/secret' && mkdir '" + base +
                     "/zip' && chown -R 65534:65534 '" + dst + "' '" + base + "/zip'");
    std::vector<std::string> argv = asNobody;
    for (const char *a : {"--type", "exact", "--delete-kind", "normal", "--source"}) {
        argv.push_back(a);
    }
    argv.insert(argv.begin() + 4, qvtest::binPath("qv-run"));
    argv.push_back(src);
    argv.push_back("--dest");
    argv.push_back(dst);
    auto r = qvtest::runCommand(argv, 60);
    EXPECT_EQ(r.exitCode, 3) << r.output;
    EXPECT_NE(r.output.find("WARNING: Unable to read folder \"" + src + "/closed/\""), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("ERROR: Can't copy file \"" + src + "/open/secret\" to \"" + dst +
                            "/open/secret\"! (Description: Permission denied;"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("in use"), std::string::npos) << r.output;
    EXPECT_FALSE(exists(dst + "/open/secret"));
    std::vector<std::string> zip = asNobody;
    // The archive's lock lives in the user's runtime folder: one of its own.
    for (const std::string &a :
         {std::string("env"), "XDG_RUNTIME_DIR=" + base + "/zip", qvtest::binPath("qv-run"),
          std::string("--source"), src, std::string("--compress"), base + "/zip/a.zip"}) {
        zip.push_back(a);
    }
    r = qvtest::runCommand(zip, 60);
    EXPECT_EQ(r.exitCode, 3) << r.output;
    EXPECT_NE(r.output.find("secret"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Permission denied"), std::string::npos) << r.output;
    EXPECT_EQ(qvtest::readFile(dst + "/open/a"), "a");
    EXPECT_EQ(qvtest::readFile(dst + "/closed/only-in-backup"), "kept");
    EXPECT_EQ(qvtest::readFile(dst + "/closed/b"), "backup of b");
    EXPECT_FALSE(exists(dst + "/obsolete"));
    qvtest::runShell("rm -rf '" + base + "'");
}

// A run that finishes without doing all it was asked exits 3, whatever the mode: a destination
// folder that cannot be created (a file stands in its place), a read-only destination, one that
// runs out of room while the free-space check still passes (a tmpfs out of inodes refuses new files
// with ENOSPC). Both file systems live in a private mount namespace. (An archive that leaves a file
// out: above.)
TEST(EngineQvRunEndToEnd, RunsThatLeaveFilesUndoneExitThree)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to mount file systems in a private mount namespace";
    }
    QV_REQUIRE_TOOL("unshare");
    const std::string base = qvtest::makeTempDir("e2e-undone");
    const std::string src = base + "/src", ro = base + "/ro", full = base + "/full";
    for (int i = 0; i < 8; ++i) {
        put(src + "/f" + std::to_string(i), std::string(1000, 'x'));
    }
    put(src + "/sub/g", "g");
    put(base + "/blocked/sub", "a file where a folder should be");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"--dest", base + "/blocked"}, 3, "Unable to create folder"},
        {{"--dest", ro}, 3, "Read-only file system"},
        {{"--dest", ro, "--type", "exact"}, 3, "Read-only file system"},
        {{"--dest", ro, "--type", "sync"}, 3, "Read-only file system"},
        {{"--dest", full}, 3, "No space left on device"},
        {{"--dest", base + "/good"}, 0, "Backup finished."}, // the control
        {{"--dest", ro, "--type", "move"}, 3, "ERROR: "},    // last: the sources stay where they are
    };
    std::string script = "echo in-namespace; mkdir -p '" + ro + "' '" + full +
                         "' && mount -t tmpfs -o size=1m,ro tmpfs '" + ro +
                         "' && mount -t tmpfs -o size=4m,nr_inodes=5 tmpfs '" + full + "' || exit 77\n";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        script += "'" + qvtest::binPath("qv-run") + "' --source '" + src + "'";
        for (const std::string &a : cases[i].args) {
            script += " '" + a + "'";
        }
        script += " > '" + base + "/out" + std::to_string(i) + "' 2>&1; echo $? > '" + base + "/rc" +
                  std::to_string(i) + "'\n";
    }
    const qvtest::CommandResult r = qvtest::runCommand({"unshare", "-m", "sh", "-c", script}, 240);
    if (r.output.find("in-namespace") == std::string::npos || r.exitCode == 77) {
        GTEST_SKIP() << "no private mount namespace or tmpfs mount here: " << r.output;
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string out = qvtest::readFile(base + "/out" + std::to_string(i));
        const std::string rc = qvtest::readFile(base + "/rc" + std::to_string(i));
        EXPECT_EQ(rc, std::to_string(cases[i].exitCode) + "\n") << cases[i].args[1] << "\n" << out;
        EXPECT_NE(out.find(cases[i].says), std::string::npos) << out;
        EXPECT_NE(out.find("Backup finished."), std::string::npos) << out; // finished, not aborted
    }
    EXPECT_TRUE(exists(src + "/f0")); // the move that could not write kept its sources
    qvtest::runShell("rm -rf '" + base + "'");
}

// A file another program holds locked is skipped as in use: a copy and a move that skip it are not
// done (exit status 3); once the lock is gone the same runs do all (the control).
TEST(EngineQvRunEndToEnd, InUseFileSkippedIsNotDone)
{
    const std::string base = qvtest::makeTempDir("e2e-inuse");
    put(base + "/src/a", "a");
    put(base + "/src/held", "held");
    const int fd = ::open((base + "/src/held").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    for (const char *type : {"simple", "move"}) {
        int rc = -1;
        const std::string out = qvRun({"--source", base + "/src", "--dest", base + "/" + type, "--type", type}, &rc);
        EXPECT_EQ(rc, 3) << out;
        EXPECT_NE(out.find("WARNING: Skipping in use file \"" + base + "/src/held\"."), std::string::npos) << out;
    }
    ::close(fd);
    for (const char *type : {"simple", "move"}) {
        int rc = -1;
        const std::string out = qvRun({"--source", base + "/src", "--dest", base + "/" + type, "--type", type}, &rc);
        EXPECT_EQ(rc, 0) << out;
        EXPECT_EQ(qvtest::readFile(base + "/" + type + "/held"), "held");
    }
}

TEST(EngineQvRunEndToEnd, UsageErrors)
{
    int rc = -1;
    qvRun({}, &rc);
    EXPECT_EQ(rc, 2);
    qvRun({"--source", "/tmp", "--dest"}, &rc);
    EXPECT_EQ(rc, 2);
    qvRun({"--source", "/tmp", "--dest", "/tmp/x", "--type", "mirror"}, &rc);
    EXPECT_EQ(rc, 2);
    const std::string base = qvtest::makeTempDir("e2e-abort");
    qvtest::runShell("mkdir -p '" + base + "/empty'");
    std::string out = qvRun({"--source", base + "/empty", "--dest", base + "/d"}, &rc);
    EXPECT_EQ(rc, 1) << out;
    EXPECT_NE(out.find("Backup ABORTED!"), std::string::npos);
}

} // namespace
