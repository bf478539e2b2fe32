// Runs whose destination is their source, or lies inside it, are refused before they touch a file:
// through qv-run (a described task and a stored one), and, with a bind mount of the source in a
// private mount namespace, through the program too (where the build folder has it). A move never deletes a source whose "copy" is
// the source itself.
// qv-test-labels: interop
// qv-test-timeout: 300
#include "EngineTestSupport.h"

#include "core/engine/LocalBackup.h"
#include "core/runs/Task.h"
#include "core/runs/TaskListStorage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <unistd.h>

namespace {

using qvtest::lineOf;

using namespace enginetest;
namespace fs = std::filesystem;

const std::string kSame = "Source and destination must be different folders!";
const std::string kUnder = "Destination folder can't be placed under Source folder path!";
const char *const kTypes[] = {"move", "simple", "exact", "sync"};

// Every entry below `root` with the content of each file ("/" for a folder).
std::map<std::string, std::string> tree(const std::string &root)
{
    std::map<std::string, std::string> entries;
    for (const auto &e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).string();
        entries[rel] = e.is_directory() && !e.is_symlink() ? "/" : qvtest::readFile(e.path().string());
    }
    return entries;
}

// A source of two files, one in a subfolder (the one the ".." row passes through).
std::string makeSource(const std::string &base)
{
    put(base + "/S/a.txt", "alpha", 1600000000);
    put(base + "/S/sub/b.txt", "beta", 1600000000);
    return base + "/S";
}

qvtest::CommandResult qvRun(std::vector<std::string> args)
{
    args.insert(args.begin(), qvtest::binPath("qv-run"));
    return qvtest::runCommand(args, 120);
}

qv::TTaskType storedType(const std::string &type)
{
    static const std::map<std::string, qv::TTaskType> types = {
        {"simple", qv::ttSimpleCopy}, {"exact", qv::ttExactCopy}, {"move", qv::ttMove}, {"sync", qv::ttSynchronize}};
    return types.at(type);
}

// Stores one task of each type from `source` to `destination`, its log in `logFolder`; their IDs.
std::vector<std::string> storeTasks(const std::string &source, const std::string &destination,
                                    const std::string &logFolder = {})
{
    qv::TTasksList tasks;
    std::vector<std::string> ids;
    for (const char *type : kTypes) {
        auto task = std::make_unique<qv::TTask>();
        task->Name = std::string("to itself ") + type;
        task->Source = source;
        task->DestLocal = destination;
        task->TaskType = storedType(type);
        qv::TTaskFilterItem all;
        all.FilterType = qv::fitInclude;
        all.fnWildcard = "*";
        task->Filters.Add(all);
        if (!logFolder.empty()) {
            task->Log.UseDefault = false;
            task->Log.FileName = logFolder + "/" + type + ".log";
        }
        ids.push_back(task->ID);
        tasks.Add(std::move(task));
    }
    qv::saveGroupsAndTasks({}, tasks, {});
    return ids;
}

TEST(RunFolderCheck, QvRunRefusesADestinationThatIsTheSourceOrInsideIt)
{
    const struct {
        const char *name;
        const char *destination; // below the case's folder, which holds the source S
        std::string message;
    } rows[] = {
        {"same", "S", kSame},         {"trailing slash", "S/", kSame}, {"link", "link", kSame},
        {"dot-dot", "S/sub/..", kSame}, {"inside", "S/out", kUnder},
    };
    for (const auto &row : rows) {
        for (const char *type : kTypes) {
            const std::string base = qvtest::makeTempDir("itself");
            const std::string src = makeSource(base);
            fs::create_directory_symlink(src, base + "/link");
            const auto before = tree(src);
            const auto r = qvRun({"--type", type, "--source", src, "--dest", base + "/" + row.destination});
            EXPECT_EQ(r.exitCode, 1) << row.name << ", " << type << ":\n" << r.output;
            EXPECT_NE(r.output.find("ERROR: " + row.message), std::string::npos) << row.name << ", " << type;
            EXPECT_EQ(tree(src), before) << row.name << ", " << type;
        }
    }

    // A stored task, spelt differently from its source or inside it, is refused the same way.
    for (const char *destination : {"S/", "S/out"}) {
        for (std::size_t i = 0; i < std::size(kTypes); ++i) {
            const std::string base = qvtest::makeTempDir("stored");
            const std::string src = makeSource(base);
            const auto before = tree(src);
            const auto ids = storeTasks(src, base + "/" + destination);
            const auto r = qvRun({"--id", ids[i]});
            EXPECT_EQ(r.exitCode, 1) << destination << ", " << kTypes[i] << ":\n" << r.output;
            EXPECT_EQ(tree(src), before) << destination << ", " << kTypes[i];
        }
    }

    // Control: beside the source, every type runs and does its work.
    for (const char *type : kTypes) {
        const std::string base = qvtest::makeTempDir("apart");
        const std::string src = makeSource(base);
        const auto r = qvRun({"--type", type, "--source", src, "--dest", base + "/D"});
        EXPECT_EQ(r.exitCode, 0) << type << ":\n" << r.output;
        EXPECT_EQ(qvtest::readFile(base + "/D/sub/b.txt"), "beta") << type;
    }
}

// A move whose destination entry is a link to the source file keeps the source; a hard link of it
// in the destination is a copy of its own, and the source's name goes.
TEST(RunFolderCheck, MoveOntoALinkOfTheSourceFile)
{
    const std::string base = qvtest::makeTempDir("linked");
    const std::string src = makeSource(base);
    fs::create_directories(base + "/D/sub");
    fs::create_symlink(src + "/a.txt", base + "/D/a.txt");
    fs::create_hard_link(src + "/sub/b.txt", base + "/D/sub/b.txt");
    const auto r = qvRun({"--type", "move", "--source", src, "--dest", base + "/D"});
    EXPECT_TRUE(exists(src + "/a.txt") || !fs::is_symlink(base + "/D/a.txt")) << r.output;
    EXPECT_EQ(qvtest::readFile(base + "/D/a.txt"), "alpha") << r.output;
    EXPECT_FALSE(exists(src + "/sub/b.txt")) << r.output;
    EXPECT_EQ(qvtest::readFile(base + "/D/sub/b.txt"), "beta") << r.output;
}

// A move past the check (a bind mount made after it, say).
class UncheckedMove : public qv::TLocalBackup
{
public:
    using TLocalBackup::TLocalBackup;

protected:
    std::string startRefusal() const override { return {}; }
};

TEST(RunFolderCheck, MoveKeepsASourceThatIsItsOwnDestination)
{
    const std::string base = qvtest::makeTempDir("own");
    const std::string src = makeSource(base);
    const auto before = tree(src);
    RecordingHost host;
    UncheckedMove run(makeSnapshot({src}, src, qv::BackupTaskType::Move), &host);
    run.runInPlace();
    EXPECT_EQ(tree(src), before);
    EXPECT_TRUE(host.loggedContaining(qv::kLogError, "\" is the source file \"" + src + "/a.txt\" itself"));
}

// The destination is a bind mount of the source: its path tells nothing, its identity does. Runs
// through qv-run (a described and a stored task) or through the program, in a private mount
// namespace; each run starts from the whole source and says what it left there.
void checkBindMountOfTheSource(bool throughTheProgram)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private mount namespace";
    }
    QV_REQUIRE_TOOL("unshare");
    const std::string base = qvtest::makeTempDir("bind");
    const std::string src = makeSource(base);
    const std::string bind = base + "/B";
    fs::create_directories(bind);
    fs::create_directories(base + "/logs");
    const auto before = tree(src);
    const auto ids = storeTasks(src, bind, base + "/logs");

    auto q = [](const std::string &s) { return "'" + s + "'"; };
    std::string script = "mount --bind " + q(src) + " " + q(bind) + " || { echo 'mount refused'; exit 0; }\n" +
                         "fill() { mkdir -p " + q(src + "/sub") + "; printf alpha >" + q(src + "/a.txt") +
                         "; printf beta >" + q(src + "/sub/b.txt") + "; touch -d @1600000000 " + q(src + "/a.txt") +
                         " " + q(src + "/sub/b.txt") + "; }\n" + "left() { echo \"$1 exit $2 left $(cat " +
                         q(src + "/a.txt") + " " + q(src + "/sub/b.txt") + " 2>/dev/null)\"; }\n";
    const std::string qvrun = q(qvtest::binPath("qv-run"));
    const std::string program = "QT_QPA_PLATFORM=offscreen QV_TEST_IDLE_EXIT_SECONDS=2 timeout 150 " +
                                q(qvtest::binPath("quorvellant"));
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const std::string type = kTypes[i];
        if (throughTheProgram) {
            script += "rm -f " + q(base + "/logs/" + type + ".log") + "\n"; // the program's own lines only
            script += "fill; " + program + " /RunProjectById=" + ids[i] + " /ExitWhenIdle; left 'program " +
                      type + "' $?\n";
            continue;
        }
        script += "fill; " + qvrun + " --type " + type + " --source " + q(src) + " --dest " + q(bind) +
                  "; left 'described " + type + "' $?\n";
        script += "fill; " + qvrun + " --id " + ids[i] + "; left 'stored " + type + "' $?\n";
    }
    if (!throughTheProgram) {
        // A folder inside the source shown elsewhere: its own device and inode are not the source's.
        script += "mkdir -p " + q(base + "/B2") + " && mount --bind " + q(src + "/sub") + " " + q(base + "/B2") + "\n";
        for (const char *type : {"simple", "move"}) {
            script += "fill; " + qvrun + " --type " + type + " --source " + q(src) + " --dest " + q(base + "/B2") +
                      "; echo \"inner " + type + " exit $? holds $(ls " + q(src + "/sub") + ")\"\n";
        }
    }
    const auto r = qvtest::runCommand({"unshare", "-m", "--propagation", "private", "sh", "-c", script}, 240);
    if (r.output.find("mount refused") != std::string::npos || r.exitCode != 0) {
        GTEST_SKIP() << "no private mount namespace here:\n" << r.output;
    }
    for (const char *type : kTypes) {
        if (throughTheProgram) {
            const std::string program = lineOf(r.output, std::string("program ") + type + " exit");
            EXPECT_TRUE(program.ends_with(" left alphabeta") && !program.starts_with("124")) << type << ":\n"
                                                                                              << r.output;
            const std::string log = qvtest::readFile(base + "/logs/" + type + ".log");
            EXPECT_NE(log.find(kSame), std::string::npos) << "the program's run, " << type << ":\n" << log;
            continue;
        }
        for (const char *way : {"described", "stored"}) {
            EXPECT_EQ(lineOf(r.output, std::string(way) + " " + type + " exit"), "1 left alphabeta")
                << way << " " << type << ":\n" << r.output;
        }
    }
    if (!throughTheProgram) {
        for (const char *type : {"simple", "move"}) {
            EXPECT_EQ(lineOf(r.output, std::string("inner ") + type + " exit"), "1 holds b.txt") << type << ":\n"
                                                                                              << r.output;
        }
        EXPECT_NE(r.output.find("ERROR: " + kUnder), std::string::npos) << r.output;
    }
    EXPECT_EQ(tree(src), before) << r.output;
}

TEST(RunFolderCheck, BindMountOfTheSourceInAPrivateMountNamespace)
{
    checkBindMountOfTheSource(false);
}

// The program's own runs (/RunProjectById=... /ExitWhenIdle) pass the same check.
TEST(RunFolderCheck, TheProgramRefusesABindMountOfItsSource)
{
    if (!fs::exists(qvtest::binPath("quorvellant"))) {
        GTEST_SKIP() << "the program is not built in this build folder";
    }
    checkBindMountOfTheSource(true);
}

} // namespace
