// TZipReader: opening, directory edge cases, properties, selection, safety and failure paths.
#include "ZipTestUtil.h"
#include "zip/Crc32.h"
#include "zip/ZipCipher.h"
#include "zip/ZipExtractFiles.h"
#include "zip/ZipLib.h"
#include "zip/ZipRecords.h"
#include "zip/ZipWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using ziptest::EventLog;
using ziptest::python;

// A one-entry archive written record by record: full control over sizes and CRC.
std::string craftArchive(const std::string &path, const std::string &name, const std::string &data,
                         int method, std::uint64_t declaredSize, std::uint32_t crc,
                         std::size_t keepData = std::string::npos)
{
    qv::TMemoryStream ms;
    qv::TZipHeaderInfo e;
    e.SetFullName(name);
    e.CompressionMethod = static_cast<std::uint16_t>(method);
    e.CRC32 = crc;
    e.UncompressedSize = declaredSize;
    e.CompressedSize = data.size();
    e.DateTime = 0x5A210000;
    e.SaveLocalToStream(ms);
    const std::size_t keep = std::min(keepData, data.size());
    ms.WriteBuffer(data.data(), static_cast<std::int64_t>(keep));
    qv::TEndCentral ec;
    ec.CentralOffset = static_cast<std::uint64_t>(ms.Position());
    e.SaveCentralToStream(ms);
    ec.CentralSize = static_cast<std::uint64_t>(ms.Position()) - ec.CentralOffset;
    ec.TotalEntries = ec.EntriesOnDisk = 1;
    ec.SaveToStream(ms);
    qvtest::writeFile(path, std::string(ms.Data().begin(), ms.Data().end()));
    return path;
}

std::string rawDeflate(const std::string &in)
{
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, static_cast<uLong>(in.size())), '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::uint32_t crcOf(const std::string &s)
{
    return qv::crc32(0, s.data(), s.size());
}

TEST(ZipReaderOpen, ArchiveFileSizes)
{
    const std::string dir = qvtest::makeTempDir("sizes");
    qvtest::writeFile(dir + "/zero.zip", "");
    qvtest::writeFile(dir + "/short.zip", std::string(21, '\0'));
    qvtest::writeFile(dir + "/end.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    qv::TZipReader z;
    z.SetZipName(dir + "/zero.zip");
    EXPECT_THROW(z.Count(), qv::ENotAZipFile) << "an empty file is no archive";
    z.SetZipName(dir + "/end.zip");
    EXPECT_EQ(z.Count(), 0);
    z.SetZipName(dir + "/short.zip");
    struct ModeCase
    {
        qv::TIncompleteZipMode mode;
        std::string text;
    };
    for (const ModeCase &c : {ModeCase{qv::izAssumeMulti, "Incomplete Zip File"},
                              ModeCase{qv::izAssumeNotAZip, "Not a valid zip file!"},
                              ModeCase{qv::izAssumeBad, "Not a valid zip file!"}}) {
        z.IncompleteZipMode = c.mode;
        try {
            z.Count();
            ADD_FAILURE() << "no exception for mode " << c.mode;
        } catch (const qv::EZipError &e) {
            EXPECT_EQ(e.what(), c.text);
        }
    }
    // Multi-volume archives are refused; a disk number above 999 means no end record at all.
    for (const int disk : {1, 1000}) {
        std::string rec = std::string("PK\x05\x06", 4) + std::string(18, '\0');
        rec[4] = static_cast<char>(disk & 0xFF);
        rec[5] = static_cast<char>(disk >> 8);
        qvtest::writeFile(dir + "/disk.zip", rec);
        qv::TZipReader d;
        d.SetZipName(dir + "/disk.zip");
        d.IncompleteZipMode = qv::izAssumeNotAZip;
        if (disk == 1) {
            EXPECT_THROW(d.Count(), qv::EIncompleteZip);
        } else {
            EXPECT_THROW(d.Count(), qv::ENotAZipFile);
        }
    }
    // The handler may change the mode.
    z.IncompleteZipMode = qv::izAssumeMulti;
    z.OnInCompleteZip = [](qv::TIncompleteZipMode &m) { m = qv::izAssumeNotAZip; };
    EXPECT_THROW(z.Count(), qv::ENotAZipFile);
}

TEST(ZipReaderOpen, CommentsAndEntrySizes)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("comments");
    python(dir, R"(
z = zipfile.ZipFile('c.zip', 'w')
for n in (0, 21, 22):
    z.writestr('f%d' % n, bytes(range(n)))
i = zipfile.ZipInfo('commented.txt')
i.comment = b'entry comment'
z.writestr(i, b'data')
z.comment = b'PK\x05\x06' + b'\x01' * 30 + b'x' * (65535 - 34)
z.close()
)");
    qv::TZipReader z;
    z.SetZipName(dir + "/c.zip");
    ASSERT_EQ(z.Count(), 4);
    EXPECT_EQ(z.ZipComment().size(), 65535u);
    EXPECT_EQ(z.ZipComment().substr(0, 4), std::string("PK\x05\x06", 4));
    EXPECT_EQ(z.FileComment(3), "entry comment");
    EXPECT_EQ(z.FileComment(0), "");
    z.SetDestDir(dir + "/out");
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 4);
    for (int n : {0, 21, 22}) {
        std::string want;
        for (int k = 0; k < n; ++k) {
            want += static_cast<char>(k);
        }
        EXPECT_EQ(qvtest::readFile(dir + "/out/f" + std::to_string(n)), want);
    }
}

TEST(ZipReaderOpen, ManyEntriesThroughZip64)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("many");
    python(dir, R"(
z = zipfile.ZipFile('m.zip', 'w', allowZip64=True)
for n in range(70000):
    z.writestr('d%d/e%05d' % (n % 7, n), str(n))
z.close()
)");
    qv::TZipReader z;
    z.SetZipName(dir + "/m.zip");
    ASSERT_EQ(z.Count(), 70000);
    EXPECT_EQ(z.FullName(69999), "d6/e69999");
    EXPECT_TRUE(z.EndCentral().Zip64);
    std::vector<std::uint8_t> data;
    EXPECT_TRUE(z.UnZipToMemory(data, "D2/E65536"));
    EXPECT_EQ(std::string(data.begin(), data.end()), "65536");
}

TEST(ZipReaderProperties, NamesAndIndexes)
{
    const std::string dir = qvtest::makeTempDir("props");
    craftArchive(dir + "/a.zip", "x.txt", "abc", 0, 3, crcOf("abc"));
    craftArchive(dir + "/A.zip", "y.txt", "abcd", 0, 4, crcOf("abcd"));
    qv::TZipReader z;
    z.SetDestDir("/some/where/");
    EXPECT_EQ(z.DestDir(), "/some/where");
    z.SetRootDir("base");
    EXPECT_EQ(z.RootDir(), "base/");
    z.SetRootDir("");
    EXPECT_EQ(z.RootDir(), "");
    try {
        z.SetDestDir("?");
        ADD_FAILURE();
    } catch (const qv::EUserCanceled &e) {
        // "Desination" is the program's own text, misspelt on purpose: do not correct it.
        EXPECT_STREQ(e.what(), "User canceled Set Desination Directory");
    }
    EXPECT_EQ(z.DestDir(), "/some/where");
    z.OnChooseDestDir = [](std::string &d) {
        d = "/chosen/";
        return true;
    };
    z.SetDestDir("?");
    EXPECT_EQ(z.DestDir(), "/chosen");
    EXPECT_THROW(z.SetZipName(dir + "/b.zip?"), qv::EUserCanceled);
    z.SetZipName(dir + "/a.zip");
    EXPECT_EQ(z.FullName(0), "x.txt");
    try {
        z.FullName(z.Count());
        ADD_FAILURE();
    } catch (const qv::EListError &e) {
        EXPECT_STREQ(e.what(), "Index 1 is out of range");
    }
    z.SetZipName(dir + "/A.zip");
    EXPECT_EQ(z.FullName(0), "y.txt") << "names differing in case are two archives";
    // Another program rewrites the archive: the next question sees the new contents.
    sleep(0);
    craftArchive(dir + "/A.zip", "zz.txt", "q", 0, 1, crcOf("q"));
    EXPECT_EQ(z.FullName(0), "zz.txt");
}

TEST(ZipExtractSafety, NamesStayInsideDestination)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("safety");
    python(dir, R"(
z = zipfile.ZipFile('evil.zip', 'w')
for name, host in (('../x', 3), ('a/../../y', 3), ('/abs/z', 3), ('C:\\dos\\w', 0), ('ok/fine.txt', 3),
                   ('./dot/v', 3), ('..\\win', 0)):
    i = zipfile.ZipInfo(name)
    i.create_system = host
    z.writestr(i, name)
z.close()
)");
    const std::string dest = dir + "/dest";
    qv::TZipReader z;
    EventLog log;
    log.attach(z);
    z.SetZipName(dir + "/evil.zip");
    z.SetDestDir(dest);
    z.RecreateDirs = true;
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 4);
    EXPECT_EQ(qvtest::readFile(dest + "/abs/z"), "/abs/z");
    EXPECT_EQ(qvtest::readFile(dest + "/dos/w"), "C:\\dos\\w");
    EXPECT_EQ(qvtest::readFile(dest + "/ok/fine.txt"), "ok/fine.txt");
    EXPECT_EQ(qvtest::readFile(dest + "/dot/v"), "./dot/v");
    ASSERT_EQ(log.skipped.size(), 3u);
    for (const auto &s : log.skipped) {
        EXPECT_EQ(s.first, qv::srCreateError) << s.second;
    }
    struct stat st
    {
    };
    EXPECT_NE(::stat((dir + "/x").c_str(), &st), 0);
    EXPECT_NE(::stat((dir + "/y").c_str(), &st), 0);
    EXPECT_NE(::stat((dir + "/win").c_str(), &st), 0);
    EXPECT_NE(::stat("/abs/z", &st), 0);

    // An empty DestDir is the current folder, never the root.
    const std::string cwdDir = qvtest::makeTempDir("cwd");
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(cwdDir.c_str()), 0);
    qv::TZipReader here;
    here.SetZipName(dir + "/evil.zip");
    here.RecreateDirs = true;
    here.FilesList = {"/abs/*"};
    EXPECT_EQ(here.UnZip(), 1);
    EXPECT_TRUE(here.FilesList.empty());
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(qvtest::readFile(cwdDir + "/abs/z"), "/abs/z");
}

// Links that stand in the target already: nothing is written through a link to a folder, an
// entry below one is refused with a message naming it (and a non-zero exit), and a link where a
// file entry goes is replaced itself, its target untouched.
TEST(ZipExtractSafety, LinksInTheTargetAreNeverFollowed)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("targetlinks");
    python(dir, R"(
z = zipfile.ZipFile('l.zip', 'w')
for name in ('ok/fine.txt', 'abslink/pwned.txt', 'abslink/deep/er.txt', 'abslink/newdir/', 'flink'):
    z.writestr(name, '' if name.endswith('/') else name)
z.close()
)");
    ASSERT_EQ(::mkdir((dir + "/outside").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dir + "/target").c_str(), 0755), 0);
    qvtest::writeFile(dir + "/outside/victim.txt", "victim");
    ASSERT_EQ(::symlink("../outside", (dir + "/target/abslink").c_str()), 0);
    ASSERT_EQ(::symlink("../outside/victim.txt", (dir + "/target/flink").c_str()), 0);
    const auto r = qvtest::runCommand({qvtest::binPath("qv-zip"), "x", "-o", dir + "/l.zip", dir + "/target"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("\"" + dir + "/target/abslink\" is a symbolic link"), std::string::npos) << r.output;
    EXPECT_EQ(qvtest::readFile(dir + "/target/ok/fine.txt"), "ok/fine.txt"); // the control
    struct stat st
    {
    };
    for (const char *gone : {"/outside/pwned.txt", "/outside/deep", "/outside/newdir"}) {
        EXPECT_NE(::lstat((dir + gone).c_str(), &st), 0) << gone;
    }
    EXPECT_EQ(qvtest::readFile(dir + "/outside/victim.txt"), "victim");
    ASSERT_EQ(::lstat((dir + "/target/flink").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(qvtest::readFile(dir + "/target/flink"), "flink");
}

TEST(ZipExtractSafety, SymlinkEntriesAndModes)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("modes");
    python(dir, R"(
z = zipfile.ZipFile('m.zip', 'w')
for name, mode, data in (('setuid', 0o104755, b'x'), ('link', 0o120777, b'/etc/passwd'), ('plain', 0o100640, b'p'),
                         ('shared', 0o100666, b's')):
    i = zipfile.ZipInfo(name)
    i.create_system = 3
    i.external_attr = mode << 16
    z.writestr(i, data)
i = zipfile.ZipInfo('dosro')
i.create_system = 0
i.external_attr = 0x21
z.writestr(i, b'r')
z.close()
)");
    qv::TZipReader z;
    z.SetZipName(dir + "/m.zip");
    z.SetDestDir(dir + "/out");
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 5);
    const mode_t mask = qv::processUmask();
    struct stat st
    {
    };
    ASSERT_EQ(::lstat((dir + "/out/setuid").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u & ~mask);
    ASSERT_EQ(::lstat((dir + "/out/link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0644u & ~mask);
    EXPECT_EQ(qvtest::readFile(dir + "/out/link"), "/etc/passwd");
    ASSERT_EQ(::lstat((dir + "/out/plain").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u & ~mask);
    ASSERT_EQ(::lstat((dir + "/out/shared").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0664u & ~mask);
    ASSERT_EQ(::lstat((dir + "/out/dosro").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
}

// The mode of an extracted file under several masks: the mask always applies, nothing is ever
// writable by others, and a link's 0777 never reaches the file that holds its text.
TEST(ZipExtractSafety, ModeFollowsTheMask)
{
    struct Case
    {
        int host;
        std::uint32_t attributes;
        bool retain;
        mode_t umask;
        mode_t expected;
    };
    const Case cases[] = {
        {3, 0100640u << 16, true, 022, 0640},  {3, 0100777u << 16, true, 022, 0755},
        {3, 0100777u << 16, true, 0, 0775},    {3, 0100666u << 16, true, 077, 0600},
        {3, 0120777u << 16, true, 022, 0644},  {3, 0120777u << 16, true, 0, 0644},
        {3, 0120777u << 16, true, 027, 0640},  {3, 0104755u << 16, true, 0, 0755},
        {3, 0100666u << 16 | 1, true, 0, 0444}, {0, 0x20, true, 0, 0664},
        {0, 0x21, true, 022, 0444},            {0, 0x20, true, 027, 0640},
        {3, 0100600u << 16, false, 0, 0664},   {0, 0x21, false, 022, 0644},
    };
    for (const Case &c : cases) {
        qv::TZipHeaderInfo e;
        e.VersionMadeBy = static_cast<std::uint16_t>(c.host << 8 | 20);
        e.ExternalAttributes = c.attributes;
        EXPECT_EQ(qv::entryMode(e, c.retain, c.umask), c.expected)
            << std::oct << "attributes " << c.attributes << " umask " << c.umask << " retain " << c.retain;
    }
}

TEST(ZipExtractFailures, ExistingFileSurvivesEveryFailure)
{
    const std::string dir = qvtest::makeTempDir("fail");
    const std::string data(10000, 'd');
    const std::string deflated = rawDeflate(data);
    struct Case
    {
        const char *what;
        std::string zip;
        const char *exception; // nullptr: the CRC path, no exception
    };
    const Case cases[] = {
        {"cut short", craftArchive(dir + "/cut.zip", "t.txt", data, 0, data.size(), crcOf(data), 100),
         "The entries of the archive overlap each other or its central directory (at \"t.txt\")"},
        {"under-declared",
         craftArchive(dir + "/under.zip", "t.txt", deflated, 8, data.size() - 1, crcOf(data)),
         "File is larger than uncompressed size!"},
        {"bad crc", craftArchive(dir + "/crc.zip", "t.txt", data, 0, data.size(), crcOf(data) ^ 1), nullptr},
        {"bad deflate",
         craftArchive(dir + "/inv.zip", "t.txt", std::string(50, '\xFF'), 8, data.size(), crcOf(data)),
         nullptr},
        {"unknown method", craftArchive(dir + "/m.zip", "t.txt", data, 12, data.size(), crcOf(data)),
         nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dest = qvtest::makeTempDir("dest");
        qvtest::writeFile(dest + "/t.txt", "precious old contents");
        qv::TZipReader z;
        EventLog log;
        log.attach(z);
        z.SetZipName(c.zip);
        z.SetDestDir(dest);
        z.OverwriteMode = qv::TUZOverwriteMode::Always;
        z.FilesList = {"*"};
        int extracted = -1;
        if (c.exception != nullptr) {
            try {
                z.UnZip();
                ADD_FAILURE() << "no exception";
            } catch (const qv::EZipError &e) {
                EXPECT_STREQ(e.what(), c.exception);
            }
        } else {
            extracted = z.UnZip();
            EXPECT_EQ(extracted, 0);
            EXPECT_EQ(log.badCrc.size(), 1u);
        }
        EXPECT_TRUE(z.FilesList.empty());
        EXPECT_EQ(qvtest::readFile(dest + "/t.txt"), "precious old contents");
        EXPECT_TRUE(ziptest::leftovers(dest).empty());
    }
}

TEST(ZipExtractPassword, PlainEntriesIgnoreAPassword)
{
    const std::string dir = qvtest::makeTempDir("plainpw");
    const std::string data = "stored and not encrypted";
    qv::TZipReader z;
    z.SetZipName(craftArchive(dir + "/p.zip", "p.txt", data, 0, data.size(), crcOf(data)));
    z.Password = "unused";
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(z.UnZipToMemory(out, "p.txt"));
    EXPECT_EQ(std::string(out.begin(), out.end()), data);
}

TEST(ZipExtractFailures, ForeignLocalHeaderIsSkipped)
{
    const std::string dir = qvtest::makeTempDir("sig");
    std::string zip = qvtest::readFile(craftArchive(dir + "/s.zip", "t.txt", "abc", 0, 3, crcOf("abc")));
    zip[2] = 'X'; // local header signature
    qvtest::writeFile(dir + "/s.zip", zip);
    qv::TZipReader z;
    EventLog log;
    log.attach(z);
    z.SetZipName(dir + "/s.zip");
    z.SetDestDir(dir + "/out");
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 0);
    ASSERT_EQ(log.skipped.size(), 1u);
    EXPECT_EQ(log.skipped[0].first, qv::srFileOpenError);
    EXPECT_EQ(z.TestZip(), 0);
}

TEST(ZipExtractPassword, CheckByteMatchByChanceReachesCrc)
{
    const std::string dir = qvtest::makeTempDir("pw");
    const std::string plain = "The plain text of an encrypted entry. " + std::string(300, 'z');
    const std::uint32_t crc = crcOf(plain);
    qv::TZipCipher enc;
    const auto header = enc.MakeHeader("right", crc);
    std::string data(header.begin(), header.end());
    std::string body = plain;
    enc.EncryptBuffer(reinterpret_cast<std::uint8_t *>(body.data()), body.size());
    data += body;
    // A wrong password whose check byte matches this header.
    std::string wrong;
    for (int n = 0; n < 100000 && wrong.empty(); ++n) {
        auto h = header;
        qv::TZipCipher t;
        const std::string candidate = "guess" + std::to_string(n);
        if (t.DecryptHeader(candidate, h.data()) == static_cast<std::uint8_t>(crc >> 24)) {
            wrong = candidate;
        }
    }
    ASSERT_FALSE(wrong.empty());
    const std::string zipPath = craftArchive(dir + "/p.zip", "secret.txt", data, 0, plain.size(), crc);
    {
        std::string zip = qvtest::readFile(zipPath);
        zip[6] = 1; // encrypted, in the local header
        const std::size_t central = zip.find(std::string("PK\x01\x02", 4));
        zip[central + 8] = 1;
        qvtest::writeFile(zipPath, zip);
    }
    struct Case
    {
        bool handler;
        int extracted;
        int asked;
    };
    for (const Case &c : {Case{true, 1, 1}, Case{false, 0, 0}}) {
        qv::TZipReader z;
        EventLog log;
        log.attach(z);
        int asked = 0;
        if (c.handler) {
            z.OnBadPassword = [&](int, std::string &pw) {
                ++asked;
                pw = "right";
            };
        }
        z.SetZipName(zipPath);
        z.SetDestDir(qvtest::makeTempDir("pwout"));
        z.Password = wrong;
        z.DoAll = true;
        EXPECT_EQ(z.UnZip(), c.extracted);
        EXPECT_EQ(asked, c.asked);
        if (c.handler) {
            EXPECT_EQ(qvtest::readFile(z.DestDir() + "/secret.txt"), plain);
            EXPECT_TRUE(log.skipped.empty());
        } else {
            ASSERT_EQ(log.skipped.size(), 1u);
            EXPECT_EQ(log.skipped[0].first, qv::srBadPassword);
            struct stat st
            {
            };
            EXPECT_NE(::stat((z.DestDir() + "/secret.txt").c_str(), &st), 0);
        }
        EXPECT_TRUE(ziptest::leftovers(z.DestDir()).empty());
    }
}

TEST(ZipExtractOverwrite, ModesTable)
{
    const std::string dir = qvtest::makeTempDir("ow");
    const std::string zip = craftArchive(dir + "/o.zip", "f.txt", "new", 0, 3, crcOf("new"));
    qv::TZipReader probe;
    probe.SetZipName(zip);
    const std::int64_t entryTime = qv::dosDateTimeToUnix(probe.Entry(0).DateTime);
    struct Case
    {
        qv::TUZOverwriteMode mode;
        std::int64_t fileTimeDelta; // file's time relative to the entry's
        int promptAnswer;           // -1 no handler, 0 no, 1 yes
        bool replaced;
    };
    const Case cases[] = {
        {qv::TUZOverwriteMode::Always, 0, -1, true},   {qv::TUZOverwriteMode::Never, -1000, -1, false},  {qv::TUZOverwriteMode::ifNewer, -1000, -1, true},
        {qv::TUZOverwriteMode::ifNewer, 0, -1, false}, {qv::TUZOverwriteMode::ifNewer, 1000, -1, false}, {qv::TUZOverwriteMode::ifOlder, 1000, -1, true},
        {qv::TUZOverwriteMode::ifOlder, 0, -1, false}, {qv::TUZOverwriteMode::Prompt, 0, -1, false},     {qv::TUZOverwriteMode::Prompt, 0, 0, false},
        {qv::TUZOverwriteMode::Prompt, 0, 1, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.mode)) + "/" + std::to_string(c.fileTimeDelta) + "/" +
                     std::to_string(c.promptAnswer));
        const std::string dest = qvtest::makeTempDir("owd");
        qvtest::writeFile(dest + "/f.txt", "old");
        const struct timespec t[2] = {{entryTime + c.fileTimeDelta, 0}, {entryTime + c.fileTimeDelta, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dest + "/f.txt").c_str(), t, 0), 0);
        qv::TZipReader z;
        EventLog log;
        log.attach(z);
        if (c.promptAnswer >= 0) {
            z.OnPromptForOverwrite = [&](bool &yes, int, std::string &) { yes = c.promptAnswer == 1; };
        }
        z.SetZipName(zip);
        z.SetDestDir(dest);
        z.OverwriteMode = c.mode;
        z.DoAll = true;
        EXPECT_EQ(z.UnZip(), c.replaced ? 1 : 0);
        EXPECT_EQ(qvtest::readFile(dest + "/f.txt"), c.replaced ? "new" : "old");
        if (!c.replaced) {
            ASSERT_EQ(log.skipped.size(), 1u);
            EXPECT_EQ(log.skipped[0].first, qv::srNoOverwrite);
        }
    }
}

// A file dated past the last time an entry holds is written with that last time, and extraction
// "if newer" compares the file with the same converter: the entry made from the file is not newer
// than the file itself.
TEST(ZipExtractOverwrite, IfNewerTakesFilesPast2099AsTheEntryMadeOfThem)
{
    const std::string dir = qvtest::makeTempDir("ow2100");
    // 2100-01-02 12:00 and 2105-06-01 12:00 UTC: past 2099 in every time zone.
    for (const std::int64_t year2100s : {4102574400LL, 4273300800LL}) {
        SCOPED_TRACE(year2100s);
        const std::string file = dir + "/f.txt";
        qvtest::writeFile(file, "as zipped");
        const struct timespec t[2] = {{year2100s, 0}, {year2100s, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), t, 0), 0);
        ::unlink((dir + "/f.zip").c_str());
        qv::TZipWriter w;
        w.SetZipName(dir + "/f.zip");
        w.AddFile(file, "f.txt");
        ASSERT_EQ(w.Zip(), 1);
        qvtest::writeFile(file, "changed since");
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), t, 0), 0);
        qv::TZipReader z;
        z.SetZipName(dir + "/f.zip");
        z.SetDestDir(dir);
        z.OverwriteMode = qv::TUZOverwriteMode::ifNewer;
        z.DoAll = true;
        EXPECT_EQ(z.UnZip(), 0);
        EXPECT_EQ(qvtest::readFile(file), "changed since");
    }
}

TEST(ZipReaderRecovery, DamagedCentralDirectory)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("recover");
    python(dir, R"(
z = zipfile.ZipFile('r.zip', 'w', zipfile.ZIP_DEFLATED)
z.writestr('one.txt', 'first entry ' * 50)
z.writestr('two.txt', 'second entry ' * 50)
z.close()
d = bytearray(open('r.zip', 'rb').read())
cd = d.rfind(b'PK\x01\x02')
d[cd:cd+4] = b'XXXX'
open('damaged.zip', 'wb').write(d)
e = d[:d.find(b'PK\x05\x06')]
open('noend.zip', 'wb').write(e)
)");
    qv::TZipReader z;
    z.SetZipName(dir + "/damaged.zip");
    ASSERT_EQ(z.Count(), 2);
    EXPECT_TRUE(z.Recovered());
    z.SetDestDir(dir + "/out");
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 2);
    EXPECT_EQ(qvtest::readFile(dir + "/out/two.txt").substr(0, 13), "second entry ");

    qv::TZipReader n;
    n.SetZipName(dir + "/noend.zip");
    EXPECT_THROW(n.Count(), qv::EIncompleteZip);
    n.IncompleteZipMode = qv::izAssumeBad;
    EXPECT_EQ(n.Count(), 2);
}

TEST(ZipReaderCancel, CancelEndsTheRunAndTheReaderStaysUsable)
{
    const std::string dir = qvtest::makeTempDir("cancel");
    const std::string data(200000, 'c');
    const std::string zip = craftArchive(dir + "/c.zip", "big.txt", data, 0, data.size(), crcOf(data));
    qv::TZipReader z;
    z.SetZipName(zip);
    z.SetDestDir(dir + "/out");
    z.DoAll = true;
    int calls = 0;
    z.OnProcessMessages = [&]() {
        if (++calls == 2) {
            z.CancelTheOperation();
        }
    };
    try {
        z.UnZip();
        ADD_FAILURE();
    } catch (const qv::EUserCanceled &e) {
        EXPECT_STREQ(e.what(), "User Aborted Operation");
    }
    EXPECT_TRUE(ziptest::leftovers(dir).empty());
    z.OnProcessMessages = nullptr;
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 1);
    EXPECT_EQ(qvtest::readFile(dir + "/out/big.txt"), data);
}

} // namespace

namespace {

TEST(ZipReaderRecovery, SelfExtractorScanStartsPastItsProgram)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("sfx");
    python(dir, R"(
z = zipfile.ZipFile('r.zip', 'w')
z.writestr('real.txt', 'the real entry')
z.close()
d = open('r.zip', 'rb').read()
local = d[:d.find(b'PK\x01\x02')]
fake = b'PK\x03\x04' + bytes([20, 0, 0, 0, 0, 0]) + bytes(16) + bytes([4, 0, 0, 0]) + b'junk'
prefix = b'x' * 100 + fake + b'y' * 14500
for name in ('sfx.exe', 'SFX2.EXE', 'sfx.zip'):
    open(name, 'wb').write(prefix + local)
)");
    struct Case
    {
        const char *file;
        const char *firstName;
    };
    for (const Case &c : {Case{"sfx.exe", "real.txt"}, Case{"SFX2.EXE", "real.txt"}, Case{"sfx.zip", "junk"}}) {
        SCOPED_TRACE(c.file);
        qv::TZipReader z;
        z.SetZipName(dir + "/" + c.file);
        z.IncompleteZipMode = qv::izAssumeBad;
        ASSERT_GE(z.Count(), 1);
        EXPECT_EQ(z.FullName(0), c.firstName);
    }
}

TEST(ZipExtractSafety, RootDirIsStrippedCaseInsensitively)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("rootdir");
    python(dir, R"(
z = zipfile.ZipFile('r.zip', 'w')
z.writestr('Base/sub/f.txt', 'below the root')
z.writestr('other/g.txt', 'elsewhere')
z.close()
)");
    qv::TZipReader z;
    z.SetZipName(dir + "/r.zip");
    z.SetDestDir(dir + "/out");
    z.SetRootDir("base");
    z.RecreateDirs = true;
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 2);
    EXPECT_EQ(qvtest::readFile(dir + "/out/sub/f.txt"), "below the root");
    EXPECT_EQ(qvtest::readFile(dir + "/out/other/g.txt"), "elsewhere");
}

} // namespace
