// Archives made by Info-ZIP zip, 7-Zip and python's zipfile list and extract exactly as unzip and
// python see them.
// qv-test-labels: interop
// qv-test-timeout: 300
#include "ZipTestUtil.h"
#include "zip/TZipReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

// A tree with the sizes and names that tend to break readers.
std::string makeTree(const std::string &root)
{
    const std::string src = root + "/src";
    qvtest::runShell("mkdir -p '" + src + "/sub/deeper' '" + src + "/empty-folder'");
    std::mt19937 rng(11);
    for (std::size_t n : {0u, 1u, 21u, 22u, 1000u, 65536u}) {
        std::string data(n, '\0');
        for (auto &c : data) {
            c = static_cast<char>('a' + rng() % 26);
        }
        qvtest::writeFile(src + "/f" + std::to_string(n) + ".txt", data);
    }
    std::string random(300000, '\0');
    for (auto &c : random) {
        c = static_cast<char>(rng());
    }
    qvtest::writeFile(src + "/sub/random.bin", random);
    std::string text;
    for (int i = 0; i < 40000; ++i) {
        text += "line " + std::to_string(i * 7919 % 10007) + " of a longer text file\n";
    }
    qvtest::writeFile(src + "/sub/deeper/text.txt", text);
    qvtest::writeFile(src + "/caf\xC3\xA9 name.txt", "utf-8 name");
    return src;
}

// "size crc name" lines as python's zipfile reads them.
std::string pythonListing(const std::string &dir, const std::string &zip)
{
    ziptest::python(dir, "z = zipfile.ZipFile(sys.argv[1] if len(sys.argv) > 1 else '" + zip +
                             "')\n"
                             "out = open('listing.txt', 'w', encoding='utf-8', errors='surrogateescape')\n"
                             "for i in z.infolist():\n"
                             "    name = i.filename\n"
                             "    if not i.flag_bits & 0x800 and i.create_system not in (0, 6, 11):\n"
                             "        name = name.encode('cp437').decode('utf-8', 'surrogateescape')\n"
                             "    out.write('%d %08x %s\\n' % (i.file_size, i.CRC, name))\n");
    return qvtest::readFile(dir + "/listing.txt");
}

std::string ourListing(const std::string &zip)
{
    qv::TZipReader z;
    z.SetZipName(zip);
    std::string out;
    for (int i = 0; i < z.Count(); ++i) {
        const auto &e = z.Entry(i);
        char buf[40];
        std::snprintf(buf, sizeof buf, "%llu %08x ", static_cast<unsigned long long>(e.UncompressedSize),
                      e.CRC32);
        out += buf + e.FullName() + "\n";
    }
    return out;
}

// Extracts with qv-zip and with unzip and compares the two trees; returns qv-zip's exit code.
int compareWithUnzip(const std::string &dir, const std::string &zip, const std::string &password = {})
{
    const std::string ours = dir + "/ours";
    const std::string theirs = dir + "/theirs";
    qvtest::runShell("rm -rf '" + ours + "' '" + theirs + "'");
    std::vector<std::string> qv = {qvtest::binPath("qv-zip"), "x"};
    std::vector<std::string> uz = {"unzip", "-q", "-o"};
    if (!password.empty()) {
        qv.insert(qv.end(), {"-P", password});
        uz.insert(uz.end(), {"-P", password});
    }
    qv.insert(qv.end(), {zip, ours});
    uz.insert(uz.end(), {zip, "-d", theirs});
    const auto r = qvtest::runCommand(qv, 120);
    const auto u = qvtest::runCommand(uz, 120);
    EXPECT_LE(u.exitCode, 1) << u.output;
    const auto d = qvtest::runShell("diff -r '" + ours + "' '" + theirs + "'");
    EXPECT_EQ(d.exitCode, 0) << d.output << r.output;
    return r.exitCode;
}

class ZipInterop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *tool : {"zip", "unzip", "python3"}) {
            if (!qvtest::haveTool(tool)) {
                GTEST_SKIP() << "needs " << tool;
            }
        }
        m_dir = qvtest::makeTempDir("interop");
        makeTree(m_dir);
    }
    std::string m_dir;
};

TEST_F(ZipInterop, InfoZipLevelsAndPassword)
{
    for (int level = 0; level <= 9; ++level) {
        SCOPED_TRACE(level);
        const std::string zip = m_dir + "/l" + std::to_string(level) + ".zip";
        ASSERT_EQ(qvtest::runCommand({"zip", "-q", "-r", "-" + std::to_string(level), zip, "src"}, 120, m_dir)
                      .exitCode,
                  0);
        EXPECT_EQ(ourListing(zip), pythonListing(m_dir, zip));
        EXPECT_EQ(compareWithUnzip(m_dir, zip), 0);
    }
    const std::string zip = m_dir + "/pw.zip";
    ASSERT_EQ(qvtest::runCommand({"zip", "-q", "-r", "-P", "s3cret", zip, "src"}, 120, m_dir).exitCode, 0);
    EXPECT_EQ(compareWithUnzip(m_dir, zip, "s3cret"), 0);
    const auto bad = qvtest::runCommand({qvtest::binPath("qv-zip"), "t", "-P", "wrong", zip});
    EXPECT_EQ(bad.exitCode, 1) << bad.output;
    const auto good = qvtest::runCommand({qvtest::binPath("qv-zip"), "t", "-P", "s3cret", zip});
    EXPECT_EQ(good.exitCode, 0) << good.output;
}

TEST_F(ZipInterop, StreamedWithDescriptorAndZip64Extra)
{
    const std::string zip = m_dir + "/streamed.zip";
    ASSERT_EQ(qvtest::runShell("cd '" + m_dir +
                               "' && cat src/sub/deeper/text.txt | zip -q - - | cat > streamed.zip")
                  .exitCode,
              0);
    EXPECT_EQ(ourListing(zip), pythonListing(m_dir, zip));
    EXPECT_EQ(compareWithUnzip(m_dir, zip), 0);
    const std::string pw = m_dir + "/streamed-pw.zip";
    ASSERT_EQ(qvtest::runShell("cd '" + m_dir +
                               "' && cat src/sub/random.bin | zip -q -P k - - | cat > streamed-pw.zip")
                  .exitCode,
              0);
    EXPECT_EQ(compareWithUnzip(m_dir, pw, "k"), 0);
}

TEST_F(ZipInterop, CommentsAndSevenZip)
{
    const std::string zip = m_dir + "/c.zip";
    ASSERT_EQ(qvtest::runShell("cd '" + m_dir + "' && echo 'the archive comment' | zip -q -r -z c.zip src")
                  .exitCode,
              0);
    qv::TZipReader z;
    z.SetZipName(zip);
    ziptest::python(m_dir, "open('comment.bin', 'wb').write(zipfile.ZipFile('c.zip').comment)\n");
    EXPECT_EQ(z.ZipComment(), qvtest::readFile(m_dir + "/comment.bin"));
    EXPECT_EQ(z.ZipComment().substr(0, 19), "the archive comment");
    EXPECT_EQ(compareWithUnzip(m_dir, zip), 0);
    if (!qvtest::haveTool("7z")) {
        GTEST_SKIP() << "needs 7z";
    }
    for (const char *level : {"-mx0", "-mx1", "-mx9"}) {
        SCOPED_TRACE(level);
        const std::string sz = m_dir + "/7z" + level + ".zip";
        ASSERT_EQ(qvtest::runCommand({"7z", "a", "-tzip", level, sz, "src"}, 120, m_dir).exitCode, 0);
        EXPECT_EQ(ourListing(sz), pythonListing(m_dir, sz));
        EXPECT_EQ(compareWithUnzip(m_dir, sz), 0);
    }
}

TEST_F(ZipInterop, UnsupportedMethodIsReportedOthersExtract)
{
    const std::string zip = m_dir + "/bz.zip";
    ASSERT_EQ(
        qvtest::runCommand({"zip", "-q", "-Z", "bzip2", zip, "src/sub/deeper/text.txt"}, 120, m_dir).exitCode,
        0);
    ASSERT_EQ(qvtest::runCommand({"zip", "-q", "-Z", "deflate", zip, "src/f1000.txt"}, 120, m_dir).exitCode,
              0);
    const auto r = qvtest::runCommand({qvtest::binPath("qv-zip"), "x", zip, m_dir + "/out"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("src/sub/deeper/text.txt: Unknown Compression Method (BZip2)"), std::string::npos)
        << r.output;
    EXPECT_EQ(qvtest::readFile(m_dir + "/out/src/f1000.txt"), qvtest::readFile(m_dir + "/src/f1000.txt"));
    EXPECT_TRUE(ziptest::leftovers(m_dir + "/out").empty());
}

TEST_F(ZipInterop, LegacyMethodsDecodeToTheirCrc)
{
    for (const char *name : {"shrink.zip", "reduce.zip", "implode.zip", "cc-imploding-4Kdict-2trees.zip",
                             "cc-imploding-8Kdict-3trees.zip", "cc-lorem-ipsum-implode.zip"}) {
        SCOPED_TRACE(name);
        const auto r = qvtest::runCommand(
            {qvtest::binPath("qv-zip"), "t", qvtest::dataPath(std::string("zip-legacy/") + name)});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        if (std::string(name) != "reduce.zip") { // unzip cannot decode reduce
            EXPECT_EQ(compareWithUnzip(m_dir, qvtest::dataPath(std::string("zip-legacy/") + name)), 0);
        }
    }
}

} // namespace
