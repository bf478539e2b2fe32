// The steps of a run below the destination besides its copies and renames: the clean-up of a killed
// copy's temporary files, the look at a destination file that may be a link, the content test
// before a move deletes its source, a synchronisation's read on its way back, and the deletes to
// the trash and into the deleted-files archive. A folder the run checked is swapped for a link to
// an outside folder just before the step (or the link stands there from the start): the outside
// folder stays as it was, and the same step acts on a real folder beside it (the control).
// qv-test-timeout: 120
#include "EngineTestSupport.h"

#include "core/engine/LocalBackup.h"
#include "platform/FileIo.h"
#include "platform/fake/FakeFileIo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace enginetest;
using Type = qv::BackupTaskType;

enum class Step { StaleTemps, FileLink, SameContent, WayBack, TrashFile, TrashFolder, ArchiveFolder };

struct Case {
    const char *name;
    Step step;
    Type type;
    bool placed; // the link stands there before the run (else it is swapped in during the run)
};

bool isLink(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The listing of `folder` with contents, links as "-> target".
std::string tree(const std::string &folder)
{
    return qvtest::runShell("cd '" + folder + "' 2>/dev/null && find . | sort | while read -r f; do "
                            "if [ -L \"$f\" ]; then echo \"$f -> $(readlink \"$f\")\"; "
                            "elif [ -f \"$f\" ]; then echo \"$f: $(cat \"$f\")\"; "
                            "else echo \"$f/\"; fi; done")
        .output;
}

// Swaps `folder` for a link to `outside` (keeping it as `kept`) once, when `trigger` is met.
struct Swap {
    std::string folder, outside, kept, trigger;
    bool done = false;
    void at(const std::string &text)
    {
        if (!done && !trigger.empty() && text.find(trigger) != std::string::npos) {
            done = true;
            ::rename(folder.c_str(), kept.c_str());
            ::symlink(outside.c_str(), folder.c_str());
        }
    }
};

class SwapHost : public RecordingHost
{
public:
    Swap *swap = nullptr;
    void log(int kind, const std::string &text) override
    {
        RecordingHost::log(kind, text);
        swap->at(text);
    }
};

class DestinationSwapSteps : public ::testing::TestWithParam<Case>
{
};

TEST_P(DestinationSwapSteps, OutsideStaysAndTheRealFolderIsActedOn)
{
    const Case c = GetParam();
    const std::string base = qvtest::makeTempDir("swapsteps");
    const std::string src = base + "/src", src2 = base + "/src2", dst = base + "/dst";
    const std::string outside = base + "/outside", kept = base + "/kept", trash = base + "/xdg/Trash/files";
    std::vector<std::string> sources = {src};
    Swap swap{dst + "/a", outside, kept, ""};
    auto s = makeSnapshot(sources, dst, c.type);
    std::function<void()> expect; // the control, and what the step did in the folder it checked
    std::string refused;          // an entry whose delete is refused with an error, the link named
    const std::string killedX = qv::tempNameBeside("x"); // temporary files a killed run left
    const std::string killedY = qv::tempNameBeside("y");
    switch (c.step) {
    case Step::StaleTemps:
        // The first source holds a/ with files only in a subfolder: its second source's file in
        // a/ is the folder's first visit, after the swap.
        put(src + "/a/s/n", "n", 1700000000);
        put(src2 + "/a/x", "x", 1700000000);
        put(src2 + "/b/y", "y", 1700000000);
        put(dst + "/a/" + killedX, "killed copy");
        put(dst + "/b/" + killedY, "killed copy");
        put(outside + "/" + killedX, "someone's file");
        s = makeSnapshot({src, src2}, dst, c.type);
        swap.trigger = src + "/a/s/n";
        expect = [&] { EXPECT_FALSE(exists(dst + "/b/" + killedY)); };
        break;
    case Step::FileLink:
        // a/w opens the folder; its in-use test swaps it; a/x is then looked at where it was opened.
        put(src + "/a/w", "w", 1700000000);
        put(src + "/a/x", "new x", 1700000000);
        put(dst + "/a/w", "old", 1600000000);
        put(dst + "/a/x", "old", 1600000000);
        put(outside + "/target", "outside");
        qvtest::runShell("ln -s target '" + outside + "/x'");
        swap.trigger = src + "/a/w";
        s->deleteKind = qv::BackupDeleteKind::Recycle;
        expect = [&] { EXPECT_EQ(qvtest::readFile((c.placed ? dst : kept) + "/x"), "new x"); };
        if (c.placed) {
            expect = [&] { EXPECT_EQ(qvtest::readFile(dst + "/a/x"), "new x"); }; // an exact copy's own
        }
        break;
    case Step::SameContent:
        // Same size and time at the destination: the source goes only when its content is there.
        put(src + "/a/x", "same", 1700000000);
        put(src + "/b/y", "same", 1700000000);
        put(dst + "/a/x", "diff", 1700000000);
        put(dst + "/b/y", "same", 1700000000);
        put(outside + "/x", "same", 1700000000);
        s->compareAfterCopy = true;
        swap.trigger = dst + "/a/x";
        expect = [&] {
            EXPECT_FALSE(exists(src + "/b/y"));
            EXPECT_EQ(qvtest::readFile(src + "/a/x"), "same"); // its content is not at the destination
        };
        break;
    case Step::WayBack:
        // Newer at the destination: a synchronisation's way back reads them there; the in-use test
        // of its first file, w at the top, swaps a/.
        put(src + "/a/x", "old", 1600000000);
        put(src + "/c/z", "old", 1600000000);
        put(dst + "/w", "w", 1700000000);
        put(dst + "/a/x", "new x", 1700000000);
        put(dst + "/c/z", "new z", 1700000000);
        put(outside + "/x", "outside", 1700000000);
        swap.trigger = dst + "/w";
        expect = [&] {
            EXPECT_EQ(qvtest::readFile(src + "/c/z"), "new z");
            EXPECT_EQ(qvtest::readFile(src + "/a/x"), "old"); // nothing read through the link
        };
        break;
    case Step::TrashFile:
    case Step::TrashFolder:
    case Step::ArchiveFolder: {
        put(src + "/a/k", "k", 1700000000);
        put(src + "/b/k", "k", 1700000000);
        put(dst + "/a/k", "k", 1700000000);
        put(dst + "/b/k", "k", 1700000000);
        const bool file = c.step == Step::TrashFile;
        const std::string name = file ? "gone" : c.step == Step::TrashFolder ? "old" : "e";
        const std::string entry = file ? name : c.step == Step::TrashFolder ? "old/f" : "e/";
        for (const std::string &f : {dst + "/a/", dst + "/b/", outside + "/"}) {
            if (c.step == Step::ArchiveFolder) {
                qvtest::runShell("mkdir -p '" + f + entry + "'");
            } else {
                put(f + entry, "obsolete " + f);
            }
        }
        swap.trigger = dst + "/a/" + name;
        refused = c.placed ? std::string() : swap.trigger;
        s->deleteKind =
            c.step == Step::ArchiveFolder ? qv::BackupDeleteKind::Archive : qv::BackupDeleteKind::Recycle;
        s->archiveFolder = base + "/deleted/";
        expect = [&, entry] {
            if (c.step == Step::TrashFile) {
                EXPECT_EQ(qvtest::readFile(trash + "/gone"), "obsolete " + dst + "/b/");
            } else if (c.step == Step::TrashFolder) {
                EXPECT_EQ(qvtest::readFile(trash + "/old/f"), "obsolete " + dst + "/b/");
            } else {
                EXPECT_TRUE(qvtest::runShell("test -d '" + base + "/deleted/b/e'").exitCode == 0);
            }
            EXPECT_FALSE(exists(dst + "/b/" + entry));
        };
        break;
    }
    }
    if (c.placed) {
        swap.trigger = "";
        swap.done = true;
        ::rename(swap.folder.c_str(), kept.c_str());
        ::symlink(outside.c_str(), swap.folder.c_str());
    }
    const std::string before = tree(outside);
    qv::BackupServices services;
    services.isInUse = [&swap](const std::string &path, int) {
        swap.at(path);
        return false;
    };
    SwapHost host;
    host.swap = &swap;
    ::setenv("XDG_DATA_HOME", (base + "/xdg").c_str(), 1);
    ::setenv("QV_COPY_WORKERS", "1", 1);
    qv::TLocalBackup backup(s, &host, services);
    backup.runInPlace();
    ::unsetenv("QV_COPY_WORKERS");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(swap.done) << host.dump();
    EXPECT_TRUE(c.placed || isLink(dst + "/a")) << host.dump(); // the swap happened
    EXPECT_EQ(tree(outside), before) << host.dump();
    expect();
    if (!refused.empty()) {
        EXPECT_TRUE(host.loggedContaining(qv::kLogError, refused));
        EXPECT_TRUE(host.loggedContaining(qv::kLogWarning, "\"" + dst + "/a\""));
    }
    if (HasFailure()) {
        ADD_FAILURE() << host.dump();
    }
    qvtest::runShell("rm -rf '" + base + "'");
}

INSTANTIATE_TEST_SUITE_P(
    Steps, DestinationSwapSteps,
    ::testing::Values(Case{"StaleTempsMove", Step::StaleTemps, Type::Move, false},
                      Case{"StaleTempsSimple", Step::StaleTemps, Type::SimpleCopy, false},
                      Case{"StaleTempsSync", Step::StaleTemps, Type::Synchronize, false},
                      Case{"StaleTempsMovePlaced", Step::StaleTemps, Type::Move, true},
                      Case{"FileLinkExact", Step::FileLink, Type::ExactCopy, false},
                      Case{"FileLinkSimple", Step::FileLink, Type::SimpleCopy, false},
                      Case{"FileLinkSync", Step::FileLink, Type::Synchronize, false},
                      Case{"FileLinkMove", Step::FileLink, Type::Move, false},
                      Case{"FileLinkExactPlaced", Step::FileLink, Type::ExactCopy, true},
                      Case{"SameContentMove", Step::SameContent, Type::Move, false},
                      Case{"WayBackSync", Step::WayBack, Type::Synchronize, false},
                      Case{"TrashFileExact", Step::TrashFile, Type::ExactCopy, false},
                      Case{"TrashFileExactPlaced", Step::TrashFile, Type::ExactCopy, true},
                      Case{"TrashFolderExact", Step::TrashFolder, Type::ExactCopy, false},
                      Case{"ArchiveFolderExact", Step::ArchiveFolder, Type::ExactCopy, false}),
    [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

} // namespace
