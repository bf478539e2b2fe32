// Symbolic links below the destination, the versions folder and the deleted-files archive, run
// through qv-run: nothing outside them is ever written, replaced or deleted. An exact copy removes
// a link where its source has an entry and puts the real entry in its place; the other modes leave
// the link alone and name it once.
// qv-test-timeout: 300
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace enginetest;

// Every entry below `folder` with its content (a link as "-> target").
std::map<std::string, std::string> snapshotOf(const std::string &folder)
{
    std::map<std::string, std::string> out;
    DIR *d = ::opendir(folder.c_str());
    if (d == nullptr) {
        return out;
    }
    while (const dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = folder + "/" + name;
        struct stat st;
        ::lstat(path.c_str(), &st);
        if (S_ISLNK(st.st_mode)) {
            char target[512] = {};
            out[name] = "-> " + std::string(target, static_cast<std::size_t>(
                                                        ::readlink(path.c_str(), target, sizeof target - 1)));
        } else if (S_ISDIR(st.st_mode)) {
            for (const auto &[inner, data] : snapshotOf(path)) {
                out[name + "/" + inner] = data;
            }
            out[name + "/"] = "";
        } else {
            out[name] = qvtest::readFile(path);
        }
    }
    ::closedir(d);
    return out;
}

bool isLink(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

enum class Where { Destination, Versions, Archive };

struct Case {
    const char *type;
    Where where;
    bool folderLink; // a link to a folder (else to a file)
};

std::string caseName(const Case &c)
{
    const char *where[] = {"destination", "versions", "archive"};
    return std::string(c.type) + "/" + where[static_cast<int>(c.where)] + "/" +
           (c.folderLink ? "folder" : "file");
}

class DestinationLinks : public ::testing::TestWithParam<Case>
{
};

TEST_P(DestinationLinks, NothingOutsideIsTouched)
{
    const Case c = GetParam();
    const std::string base = qvtest::makeTempDir("links");
    const std::string src = base + "/src", dst = base + "/dst", outside = base + "/outside";
    const std::string versions = base + "/versions", archive = base + "/archive";
    put(src + "/ok.txt", "ok", 1700000000);               // the control: copied in every mode
    put(src + "/sub/b.txt", "new b", 1700000000);
    put(src + "/f.txt", "new f", 1700000000);
    put(outside + "/b.txt", "victim b", 1600000000);
    put(outside + "/f.txt", "victim f", 1600000000);
    ASSERT_EQ(::mkdir(dst.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(versions.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(archive.c_str(), 0755), 0);
    std::vector<std::string> args = {qvtest::binPath("qv-run"), "--source", src, "--dest", dst,
                                     "--type", c.type};
    std::string link;
    if (c.where == Where::Destination) {
        link = dst + (c.folderLink ? "/sub" : "/f.txt");
        ASSERT_EQ(::symlink(c.folderLink ? "../outside" : "../outside/f.txt", link.c_str()), 0);
        args.insert(args.end(), {"--delete-kind", "normal"});
    } else if (c.where == Where::Versions) {
        put(dst + "/sub/b.txt", "old b", 1600000000); // replaced: its version goes below versions/sub
        link = versions + "/sub";
        ASSERT_EQ(::symlink("../outside", link.c_str()), 0);
        args.insert(args.end(), {"--versions", versions});
    } else {
        put(dst + "/sub/gone.txt", "obsolete", 1600000000); // deleted into archive/sub
        link = archive + "/sub";
        ASSERT_EQ(::symlink("../outside", link.c_str()), 0);
        args.insert(args.end(), {"--delete-kind", "archive", "--archive", archive});
    }
    const auto before = snapshotOf(outside);
    const auto r = qvtest::runCommand(args, 120);
    const std::string why = caseName(c) + "\n" + r.output;

    EXPECT_EQ(snapshotOf(outside), before) << why;
    EXPECT_EQ(qvtest::readFile(dst + "/ok.txt"), "ok") << why;
    const bool exact = std::string(c.type) == "exact";
    // A link left alone leaves what the source has there undone: the run says so in its status.
    EXPECT_EQ(r.exitCode, c.where == Where::Destination && exact ? 0 : 3) << why;
    if (c.where == Where::Destination && exact) {
        EXPECT_FALSE(isLink(link)) << why;
        EXPECT_EQ(qvtest::readFile(c.folderLink ? dst + "/sub/b.txt" : link),
                  c.folderLink ? "new b" : "new f")
            << why;
        EXPECT_NE(r.output.find("\"" + link + "\" is a symbolic link where the source has"),
                  std::string::npos)
            << why;
    } else if (c.where == Where::Destination) {
        EXPECT_TRUE(isLink(link)) << why;
        EXPECT_NE(r.output.find("Leaving \"" + link + "\""), std::string::npos) << why;
    } else {
        EXPECT_TRUE(isLink(link)) << why;
        EXPECT_NE(r.output.find("Unable to write into \"" + link + "\""), std::string::npos) << why;
        // What could not be kept was not given up: the old file and the obsolete one stay.
        EXPECT_EQ(qvtest::readFile(dst + (c.where == Where::Versions ? "/sub/b.txt" : "/sub/gone.txt")),
                  c.where == Where::Versions ? "old b" : "obsolete")
            << why;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, DestinationLinks,
    ::testing::Values(Case{"simple", Where::Destination, true}, Case{"exact", Where::Destination, true},
                      Case{"move", Where::Destination, true}, Case{"sync", Where::Destination, true},
                      Case{"simple", Where::Destination, false}, Case{"exact", Where::Destination, false},
                      Case{"move", Where::Destination, false}, Case{"sync", Where::Destination, false},
                      Case{"simple", Where::Versions, true}, Case{"exact", Where::Versions, true},
                      Case{"exact", Where::Archive, true}),
    [](const auto &info) {
        std::string name = caseName(info.param);
        for (char &ch : name) {
            ch = ch == '/' ? '_' : ch;
        }
        return name;
    });

// A link to a file just like the source's (the same content and time): nothing to copy by the
// dates, yet an exact copy still puts the real file in its place, and the other modes name it.
TEST(DestinationLinksUpToDate, ALinkIsNoCopyOfTheFile)
{
    for (const std::string type : {"exact", "simple", "sync"}) {
        const std::string base = qvtest::makeTempDir("uptodate");
        const std::string src = base + "/src", dst = base + "/dst", link = dst + "/f.txt";
        put(src + "/f.txt", "same", 1700000000);
        put(base + "/outside/f.txt", "same", 1700000000);
        ASSERT_EQ(::mkdir(dst.c_str(), 0755), 0);
        ASSERT_EQ(::symlink("../outside/f.txt", link.c_str()), 0);
        const auto r = qvtest::runCommand(
            {qvtest::binPath("qv-run"), "--source", src, "--dest", dst, "--type", type, "--delete-kind",
             "normal"},
            120);
        const std::string why = type + "\n" + r.output;
        EXPECT_EQ(qvtest::readFile(base + "/outside/f.txt"), "same") << why;
        EXPECT_EQ(isLink(link), type != "exact") << why;
        EXPECT_EQ(qvtest::readFile(link), "same") << why;
        EXPECT_NE(r.output.find(type == "exact" ? "\"" + link + "\" is a symbolic link where"
                                                : "Leaving \"" + link + "\""),
                  std::string::npos)
            << why;
    }
}

// A synchronisation reads the destination as a source of files: a link there is not taken, so no
// file outside it comes into the source through one.
TEST(DestinationLinksSync, ALinkIsNotPulledIntoTheSource)
{
    const std::string base = qvtest::makeTempDir("synclink");
    const std::string src = base + "/src", dst = base + "/dst";
    put(src + "/a.txt", "a", 1700000000);
    put(dst + "/back.txt", "back", 1700000000); // the control: a real file comes back
    put(base + "/outside/victim.txt", "secret", 1700000000);
    ASSERT_EQ(::symlink("../outside/victim.txt", (dst + "/extra.txt").c_str()), 0);
    const auto r =
        qvtest::runCommand({qvtest::binPath("qv-run"), "--source", src, "--dest", dst, "--type", "sync"}, 120);
    EXPECT_EQ(qvtest::readFile(src + "/back.txt"), "back") << r.output;
    EXPECT_FALSE(exists(src + "/extra.txt")) << r.output;
    EXPECT_TRUE(isLink(dst + "/extra.txt"));
    EXPECT_NE(r.output.find("\"" + dst + "/extra.txt\""), std::string::npos) << r.output;
}

// A compress task reads and replaces its archive where it stands: an archive below the destination
// that is a link is refused, and what it points at stays as it was.
TEST(DestinationLinksCompress, AnArchiveThatIsALinkIsRefused)
{
    const std::string base = qvtest::makeTempDir("ziplink");
    const std::string src = base + "/src", dst = base + "/dst";
    put(base + "/other/secret.txt", "secret", 1700000000);
    put(src + "/a.txt", "a", 1700000000);
    ASSERT_EQ(qvtest::runCommand({qvtest::binPath("qv-run"), "--source", base + "/other", "--dest",
                                  base + "/outside", "--compress", base + "/outside/victim.zip"},
                                 120)
                  .exitCode,
              0);
    const std::string victim = qvtest::readFile(base + "/outside/victim.zip");
    ASSERT_FALSE(victim.empty());
    ASSERT_EQ(::mkdir(dst.c_str(), 0755), 0);
    ASSERT_EQ(::symlink("../outside/victim.zip", (dst + "/x.zip").c_str()), 0);
    const auto refused = qvtest::runCommand(
        {qvtest::binPath("qv-run"), "--source", src, "--dest", dst, "--compress", dst + "/x.zip"}, 120);
    EXPECT_NE(refused.exitCode, 0) << refused.output;
    EXPECT_TRUE(isLink(dst + "/x.zip")) << refused.output;
    EXPECT_EQ(qvtest::readFile(base + "/outside/victim.zip"), victim);
    // The control: the same run writes a real archive there.
    ASSERT_EQ(::unlink((dst + "/x.zip").c_str()), 0);
    const auto written = qvtest::runCommand(
        {qvtest::binPath("qv-run"), "--source", src, "--dest", dst, "--compress", dst + "/x.zip"}, 120);
    EXPECT_EQ(written.exitCode, 0) << written.output;
    EXPECT_TRUE(exists(dst + "/x.zip"));

    // An entry whose source is gone goes into the deleted-files archive: never through a link there.
    put(src + "/sub/gone.txt", "gone", 1700000000);
    ASSERT_EQ(qvtest::runCommand({qvtest::binPath("qv-run"), "--source", src, "--dest", dst, "--compress",
                                  dst + "/x.zip"},
                                 120)
                  .exitCode,
              0);
    ASSERT_EQ(::unlink((src + "/sub/gone.txt").c_str()), 0);
    ASSERT_EQ(::mkdir((base + "/archive").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("../outside", (base + "/archive/sub").c_str()), 0);
    const auto removed =
        qvtest::runCommand({qvtest::binPath("qv-run"), "--source", src, "--dest", dst, "--compress", dst + "/x.zip",
                            "--remove-entries", "--delete-kind", "archive", "--archive", base + "/archive"},
                           120);
    EXPECT_NE(removed.output.find("Unable to write into \"" + base + "/archive/sub\""), std::string::npos)
        << removed.output;
    EXPECT_EQ(snapshotOf(base + "/outside").size(), 1u) << removed.output; // the victim alone
    const auto names = qvtest::runCommand({qvtest::binPath("qv-zip"), "l", dst + "/x.zip"}, 60);
    EXPECT_NE(names.output.find("sub/gone.txt"), std::string::npos) << names.output; // kept, not lost
}

} // namespace
