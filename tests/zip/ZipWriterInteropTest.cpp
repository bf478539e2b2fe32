// Zip writer against real peers: Info-ZIP unzip/zip/zipinfo, 7-Zip and Python's zipfile test our
// archives, and updating their archives keeps their entries byte for byte.
// qv-test-labels: interop
// qv-test-timeout: 300
#include "ZipWriterFixture.h"

#include "zip/ZipWriterCommands.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <sstream>

using namespace zwtest;

namespace {

int runWriteCommand(const std::vector<std::string> &args, std::string *output = nullptr)
{
    std::ostringstream out;
    std::ostringstream err;
    const int rc = qv::runZipWriteCommand(args, out, err);
    if (output != nullptr) {
        *output = out.str() + err.str();
    }
    return rc;
}

// A tree with a non-ASCII name, an executable, a read-only file and an empty folder.
std::string makeTree()
{
    const std::string dir = qvtest::makeTempDir("tree");
    auto files = sampleFiles();
    files["r\xC3\xA9pertoire/\xC3\xBC" "ber.txt"] = textBytes(7000);
    files["tool.sh"] = "#!/bin/sh\necho hi\n";
    files["readonly.txt"] = "do not change";
    writeTree(dir + "/src", files);
    ::chmod((dir + "/src/tool.sh").c_str(), 0755);
    ::chmod((dir + "/src/readonly.txt").c_str(), 0444);
    qvtest::runCommand({"mkdir", "-p", dir + "/src/empty/folder"});
    return dir;
}

TEST(ZipWriterInterop, PeersTestAndExtractOurArchives)
{
    QV_REQUIRE_TOOL("unzip");
    QV_REQUIRE_TOOL("7z");
    const std::string dir = makeTree();
    for (int level : {0, 1, 6, 9}) {
        SCOPED_TRACE(level);
        const std::string archive = dir + "/l" + std::to_string(level) + ".zip";
        ASSERT_EQ(runWriteCommand({"a", "-l", std::to_string(level), archive, dir + "/src", "."}), 0);
        auto t = qvtest::runCommand({"unzip", "-t", archive});
        EXPECT_EQ(t.exitCode, 0) << t.output;
        auto s = qvtest::runCommand({"7z", "t", archive});
        EXPECT_EQ(s.exitCode, 0) << s.output;
        auto p = python("import sys,zipfile\nassert zipfile.ZipFile(sys.argv[1]).testzip() is None", {archive});
        EXPECT_EQ(p.exitCode, 0) << p.output;
        const std::string out = dir + "/x" + std::to_string(level);
        auto x = qvtest::runCommand({"unzip", "-q", archive, "-d", out});
        ASSERT_EQ(x.exitCode, 0) << x.output;
        auto d = qvtest::runCommand({"diff", "-r", dir + "/src", out});
        EXPECT_EQ(d.exitCode, 0) << d.output;
        struct stat st;
        ASSERT_EQ(::stat((out + "/tool.sh").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0755u);
        ASSERT_EQ(::stat((out + "/readonly.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0444u);
        EXPECT_EQ(::stat((out + "/r\xC3\xA9pertoire/\xC3\xBC" "ber.txt").c_str(), &st), 0) << "non-ASCII name intact";
        EXPECT_EQ(::stat((out + "/empty/folder").c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
}

TEST(ZipWriterInterop, PeersOpenEncryptedArchives)
{
    QV_REQUIRE_TOOL("unzip");
    QV_REQUIRE_TOOL("7z");
    const std::string dir = makeTree();
    const std::string archive = dir + "/pw.zip";
    ASSERT_EQ(runWriteCommand({"a", "-P", "Tr0ub4dor", archive, dir + "/src", "."}), 0);
    auto t = qvtest::runCommand({"unzip", "-t", "-P", "Tr0ub4dor", archive});
    EXPECT_EQ(t.exitCode, 0) << t.output;
    auto bad = qvtest::runCommand({"unzip", "-t", "-P", "wrong", archive});
    EXPECT_NE(bad.exitCode, 0);
    auto s = qvtest::runCommand({"7z", "t", "-pTr0ub4dor", archive});
    EXPECT_EQ(s.exitCode, 0) << s.output;
    const std::string out = dir + "/x";
    ASSERT_EQ(qvtest::runCommand({"7z", "x", "-y", "-pTr0ub4dor", "-o" + out, archive}).exitCode, 0);
    auto d = qvtest::runCommand({"diff", "-r", dir + "/src", out});
    EXPECT_EQ(d.exitCode, 0) << d.output;
}

TEST(ZipWriterInterop, ZipinfoShowsMethodFlagsMadeByAndType)
{
    QV_REQUIRE_TOOL("zipinfo");
    const std::string dir = qvtest::makeTempDir("zipinfo");
    writeTree(dir, {{"text.txt", textBytes(20000)}, {"tiny.txt", "tiny"}});
    qvtest::runCommand({"mkdir", "-p", dir + "/sub"});
    const std::string archive = dir + "/i.zip";
    ASSERT_EQ(runWriteCommand({"a", "-l", "9", archive, dir, "text.txt", "tiny.txt", "sub"}), 0);
    auto v = qvtest::runCommand({"zipinfo", "-v", archive});
    ASSERT_EQ(v.exitCode, 0) << v.output;
    const std::string &o = v.output;
    EXPECT_NE(o.find("file system or operating system of origin:      Unix"), std::string::npos) << o;
    EXPECT_NE(o.find("version of encoding software:                   2.0"), std::string::npos) << o;
    EXPECT_NE(o.find("compression method:                             deflated"), std::string::npos) << o;
    EXPECT_NE(o.find("compression sub-type (deflation):               maximum"), std::string::npos) << o;
    EXPECT_NE(o.find("compression method:                             none (stored)"), std::string::npos) << o;
    EXPECT_NE(o.find("apparent file type:                             text"), std::string::npos) << o;
    EXPECT_NE(o.find("Unix file attributes (100644 octal):"), std::string::npos) << o;
    EXPECT_NE(o.find("Unix file attributes (040755 octal):"), std::string::npos) << o;
    auto s = qvtest::runCommand({"zipinfo", archive});
    EXPECT_NE(s.output.find("-rw-r--r--  2.0 unx"), std::string::npos) << s.output;
}

// Every entry carries the extended timestamp (the "UT" field): zipinfo shows it, and unzip and
// 7-Zip give the extracted files their time to the second (an MS-DOS time has even seconds only).
TEST(ZipWriterInterop, PeersReadTheExtendedTimestamp)
{
    QV_REQUIRE_TOOL("zipinfo");
    QV_REQUIRE_TOOL("7z");
    const std::string dir = qvtest::makeTempDir("ut");
    writeTree(dir + "/src", {{"odd.txt", textBytes(3000)}, {"sub/deep.bin", randomBytes(5000, 9)}});
    for (const char *path : {"/src/odd.txt", "/src/sub/deep.bin", "/src/sub"}) {
        const struct timespec t[2] = {{1600000001, 700000000}, {1600000001, 700000000}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir + path).c_str(), t, 0), 0);
    }
    const std::string archive = dir + "/t.zip";
    ASSERT_EQ(runWriteCommand({"a", "-R", archive, dir + "/src", "*"}), 0);
    auto v = qvtest::runCommand({"zipinfo", "-v", archive});
    ASSERT_EQ(v.exitCode, 0) << v.output;
    std::size_t shown = 0;
    for (std::size_t at = 0; (at = v.output.find("(UT extra field modtime): 2020 Sep 13 12:26:41 UTC", at)) !=
                             std::string::npos;
         ++at) {
        ++shown;
    }
    EXPECT_GE(shown, 2u) << v.output;
    auto p = python("import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\nassert z.testzip() is None\n"
                    "for i in z.infolist():\n"
                    "    assert b'UT\\x05\\x00\\x01' in i.extra, (i.filename, i.extra)",
                    {archive});
    EXPECT_EQ(p.exitCode, 0) << p.output;
    const std::vector<std::vector<std::string>> peers = {{"unzip", "-q", archive, "-d", dir + "/unzip"},
                                                         {"7z", "x", "-bd", "-o" + dir + "/7z", archive}};
    for (const auto &peer : peers) {
        SCOPED_TRACE(peer[0]);
        auto x = qvtest::runCommand(peer);
        ASSERT_EQ(x.exitCode, 0) << x.output;
        const std::string out = dir + (peer[0] == "unzip" ? "/unzip" : "/7z");
        for (const char *name : {"/odd.txt", "/sub/deep.bin"}) {
            struct stat st {};
            ASSERT_EQ(::stat((out + name).c_str(), &st), 0) << name;
            EXPECT_EQ(st.st_mtime, 1600000001) << name;
        }
    }
}

// Updating an archive written by Info-ZIP (plain and with -P) keeps every kept entry byte for
// byte; Info-ZIP can update ours afterwards.
TEST(ZipWriterInterop, UpdatingInfoZipArchivesKeepsTheirEntries)
{
    QV_REQUIRE_TOOL("zip");
    QV_REQUIRE_TOOL("unzip");
    for (const std::vector<std::string> &extra : {std::vector<std::string>{}, std::vector<std::string>{"-P", "pw"}}) {
        SCOPED_TRACE(extra.empty() ? "plain" : "password");
        const std::string dir = qvtest::makeTempDir("infozip");
        writeTree(dir, {{"keep1.txt", textBytes(9000)}, {"keep2.bin", randomBytes(5000, 9)}, {"new.txt", "new"}});
        std::vector<std::string> cmd = {"zip", "-q", "-X"};
        cmd.insert(cmd.end(), extra.begin(), extra.end());
        cmd.insert(cmd.end(), {"peer.zip", "keep1.txt", "keep2.bin"});
        ASSERT_EQ(qvtest::runCommand(cmd, 60, dir).exitCode, 0);
        // Also one streamed entry: data descriptor and Zip64 local extra.
        ASSERT_EQ(qvtest::runShell("cd '" + dir + "' && cat keep1.txt | zip -q " + (extra.empty() ? "" : "-P pw ") +
                                   "peer.zip -")
                      .exitCode,
                  0);
        const auto before = rawEntries(dir + "/peer.zip");
        ASSERT_EQ(before.size(), 3u);
        ASSERT_EQ(runWriteCommand({"a", dir + "/peer.zip", dir, "new.txt"}), 0);
        const auto after = rawEntries(dir + "/peer.zip");
        for (const auto &[name, hash] : before) {
            EXPECT_EQ(after.at(name), hash) << name;
        }
        EXPECT_EQ(after.count("new.txt"), 1u);
        std::vector<std::string> test = {"unzip", "-t"};
        if (!extra.empty()) {
            test.insert(test.end(), {"-P", "pw"});
        }
        test.push_back(dir + "/peer.zip");
        auto t = qvtest::runCommand(test);
        EXPECT_EQ(t.exitCode, 0) << t.output;
        // zip -u updates our archive in turn (replacing one newer file, keeping the others).
        qvtest::writeFile(dir + "/keep1.txt", "changed later");
        ASSERT_EQ(qvtest::runCommand({"touch", "-d", "+1 hour", dir + "/keep1.txt"}).exitCode, 0);
        auto u = qvtest::runCommand({"zip", "-q", "-u", "peer.zip", "keep1.txt"}, 60, dir);
        EXPECT_EQ(u.exitCode, 0) << u.output;
        t = qvtest::runCommand(test);
        EXPECT_EQ(t.exitCode, 0) << t.output;
    }
}

TEST(ZipWriterInterop, EntryCommentsAndExtraFieldsSurviveAnUpdate)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("pycomment");
    writeTree(dir, {{"new.txt", "new"}});
    const std::string archive = dir + "/py.zip";
    auto made = python(R"PY(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    for n in ('one.txt', 'two.txt'):
        i = zipfile.ZipInfo(n, (2020, 1, 2, 3, 4, 6))
        i.comment = ('comment of ' + n).encode()
        i.extra = b'\xfe\xca\x04\x00abcd'
        z.writestr(i, 'data of ' + n)
    z.comment = b'archive comment'
)PY",
                       {archive});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ASSERT_EQ(runWriteCommand({"a", archive, dir, "new.txt"}), 0);
    auto r = python(R"PY(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
for i in z.infolist():
    print(i.filename, i.comment.decode(), 'UT' if i.extra[:4] == b'UT\x05\x00' else i.extra.hex())
print(z.comment.decode())
)PY",
                    {archive});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "one.txt comment of one.txt feca040061626364\n"
                            "two.txt comment of two.txt feca040061626364\n"
                            "new.txt  UT\n"
                            "archive comment\n");
}

TEST(ZipWriterInterop, DeleteCommandAgainstUnzipListing)
{
    QV_REQUIRE_TOOL("unzip");
    const std::string dir = qvtest::makeTempDir("dcmd");
    writeTree(dir, {{"a.txt", "a"}, {"b.log", "b"}, {"c/d.txt", "d"}});
    const std::string archive = dir + "/d.zip";
    ASSERT_EQ(runWriteCommand({"a", archive, dir, "a.txt", "b.log", "c"}), 0);
    std::string output;
    EXPECT_EQ(runWriteCommand({"d", archive, "*.log", "c/d.txt"}, &output), 0);
    EXPECT_NE(output.find("2 entries deleted"), std::string::npos) << output;
    auto l = qvtest::runShell("unzip -Z1 '" + archive + "'");
    EXPECT_EQ(l.output, "a.txt\nc/\n");
    EXPECT_EQ(runWriteCommand({"a", "-l", "x", archive, dir, "a.txt"}), 2);
    EXPECT_EQ(runWriteCommand({"a", archive}), 2);
    EXPECT_EQ(runWriteCommand({"a", archive, dir, "missing.txt"}), 1);
}

} // namespace

namespace {

// 70,000 entries need the Zip64 end record and locator; peers and our reader read them all.
TEST(ZipWriterZip64, ManyEntriesUseTheZip64EndRecord)
{
    QV_REQUIRE_TOOL("unzip");
    const std::string dir = qvtest::makeTempDir("many");
    qvtest::writeFile(dir + "/one.txt", "same small content\n");
    qv::TZipWriter zip;
    zip.SetZipName(dir + "/many.zip");
    constexpr int kEntries = 70000;
    for (int i = 0; i < kEntries; ++i) {
        zip.AddFile(dir + "/one.txt", "d" + std::to_string(i / 1000) + "/f" + std::to_string(i) + ".txt");
    }
    ASSERT_EQ(zip.Zip(), kEntries);
    const std::string raw = qvtest::readFile(dir + "/many.zip");
    EXPECT_NE(raw.find(std::string("PK\x06\x06", 4)), std::string::npos) << "Zip64 end record";
    EXPECT_NE(raw.find(std::string("PK\x06\x07", 4)), std::string::npos) << "Zip64 locator";
    auto p = python("import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\nassert z.testzip() is None\nprint(len(z.infolist()))",
                    {dir + "/many.zip"});
    EXPECT_EQ(p.output, "70000\n");
    auto t = qvtest::runCommand({"unzip", "-tq", dir + "/many.zip"}, 300);
    EXPECT_EQ(t.exitCode, 0) << t.output;
    qv::TZipReader reader;
    reader.SetZipName(dir + "/many.zip");
    EXPECT_EQ(reader.Count(), kEntries);
    // An update of a Zip64 archive keeps every entry.
    qvtest::writeFile(dir + "/two.txt", "another");
    qv::TZipWriter again;
    again.SetZipName(dir + "/many.zip");
    again.AddFile(dir + "/two.txt", "two.txt");
    EXPECT_EQ(again.Zip(), 1);
    EXPECT_EQ(again.Count(), kEntries + 1);
}

} // namespace
