// Zip writer: round trips at every level with and without a password (Python's zipfile and
// zlib's raw inflate as independent readers), header fields, update actions, deletion, names.
#include "ZipWriterFixture.h"

#include "zip/ZipArchiveOutput.h"
#include "zip/ZipEntryWriter.h"
#include "zip/ZipErrors.h"
#include "zip/ZipLib.h"
#include "zip/ZipRecords.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <zlib.h>

#include <cstring>
#include <ctime>

using namespace zwtest;

namespace {

// Reads every local entry of an archive without a reader of ours: the central directory from its
// end record, each entry's data inflated by zlib. name -> content.
std::map<std::string, std::string> inflateWithZlib(const std::string &archive)
{
    const std::string raw = qvtest::readFile(archive);
    std::map<std::string, std::string> out;
    const size_t eocd = raw.rfind(std::string("PK\x05\x06", 4));
    if (eocd == std::string::npos) {
        ADD_FAILURE() << "no end record";
        return out;
    }
    auto u16 = [&](size_t p) { return static_cast<uint32_t>(static_cast<uint8_t>(raw[p]) | static_cast<uint8_t>(raw[p + 1]) << 8); };
    auto u32 = [&](size_t p) { return u16(p) | u16(p + 2) << 16; };
    const uint32_t count = u16(eocd + 10);
    size_t p = u32(eocd + 16);
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(u32(p), 0x02014B50u);
        const uint32_t method = u16(p + 10);
        const uint32_t crc = u32(p + 16);
        const uint32_t csize = u32(p + 20);
        const uint32_t usize = u32(p + 24);
        const uint32_t n = u16(p + 28);
        const uint32_t m = u16(p + 30);
        const uint32_t k = u16(p + 32);
        const uint32_t offset = u32(p + 42);
        const std::string name = raw.substr(p + 46, n);
        p += 46 + n + m + k;
        const size_t data = offset + 30 + u16(offset + 26) + u16(offset + 28);
        std::string content;
        if (method == 0) {
            content = raw.substr(data, csize);
        } else {
            EXPECT_EQ(method, 8u);
            z_stream zs{};
            inflateInit2(&zs, -15);
            content.resize(usize);
            zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(raw.data() + data));
            zs.avail_in = csize;
            zs.next_out = reinterpret_cast<Bytef *>(content.data());
            zs.avail_out = usize;
            EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END) << name;
            EXPECT_EQ(zs.avail_in, 0u) << name;
            inflateEnd(&zs);
        }
        EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef *>(content.data()), static_cast<uInt>(content.size())), crc)
            << name;
        out[name] = content;
    }
    return out;
}

class ZipWriterRoundTrip : public ::testing::TestWithParam<int>
{
};

TEST_P(ZipWriterRoundTrip, PythonAndZlibReadEveryEntry)
{
    QV_REQUIRE_TOOL("python3");
    const int level = GetParam();
    const auto files = sampleFiles();
    const std::string dir = qvtest::makeTempDir("rt");
    writeTree(dir + "/src", files);
    for (const std::string password : {"", "s3cret pass"}) {
        SCOPED_TRACE(password.empty() ? "no password" : "password");
        const std::string archive = dir + "/out" + (password.empty() ? "" : "-pw") + ".zip";
        EXPECT_EQ(zipTree(archive, dir + "/src", files, level, password), static_cast<int>(files.size()));
        auto r = python(kPythonList, {archive, password});
        ASSERT_EQ(r.exitCode, 0) << r.output;
        auto listing = parseListing(r.output);
        ASSERT_EQ(listing.size(), files.size()) << r.output;
        for (const auto &[name, data] : files) {
            ASSERT_TRUE(listing.count(name)) << name;
            EXPECT_EQ(listing[name][0], sha1Of(data)) << name;
            const int method = std::stoi(listing[name][1]);
            const int flags = std::stoi(listing[name][2]);
            EXPECT_EQ(std::stoi(listing[name][3]), 3) << "made by Unix";
            EXPECT_EQ((flags & 1) != 0, !password.empty()) << name;
            if (level == 0 || data.empty()) {
                EXPECT_EQ(method, 0) << name;
            }
            if (method == 8) {
                // Bits 1 and 2 of a deflated entry: 4 "fast" for levels 1-2, 2 "maximum" for 8-9,
                // 0 "normal" between, as Info-ZIP's zip -1 ... -9 writes them.
                const int expected = level <= 2 ? 4 : level >= 8 ? 2 : 0;
                EXPECT_EQ(flags & 6, expected) << name;
            }
        }
        // Our own reader, with the password.
        qv::TZipReader reader;
        reader.SetZipName(archive);
        reader.Password = password;
        ASSERT_EQ(reader.Count(), static_cast<int>(files.size()));
        for (const auto &[name, data] : files) {
            std::vector<uint8_t> content;
            ASSERT_TRUE(reader.UnZipToMemory(content, name)) << name;
            EXPECT_EQ(std::string(content.begin(), content.end()), data) << name;
        }
        if (password.empty()) {
            auto inflated = inflateWithZlib(archive);
            for (const auto &[name, data] : files) {
                EXPECT_EQ(inflated[name], data) << name;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, ZipWriterRoundTrip, ::testing::Range(0, 10));

TEST(ZipWriterHeaders, DosTimeClampAndAttributes)
{
    struct Case {
        int year;
        uint32_t expectYear; // years since 1980 in the result
    };
    for (const Case c : {Case{1970, 0}, Case{1979, 0}, Case{1980, 0}, Case{2024, 44}, Case{2099, 119}, Case{2150, 119}}) {
        struct tm tm {};
        tm.tm_year = c.year - 1900;
        tm.tm_mon = 5;
        tm.tm_mday = 15;
        tm.tm_hour = 12;
        tm.tm_isdst = -1;
        const uint32_t dos = qv::unixToDosDateTime(static_cast<int64_t>(::mktime(&tm)));
        EXPECT_EQ(dos >> 25, c.expectYear) << c.year;
        if (c.year < 1980) {
            EXPECT_EQ(dos, (1u << 21) | (1u << 16)) << "1980-01-01 00:00:00";
        }
        if (c.year > 2099) {
            EXPECT_EQ(dos & 0xFFFF, (23u << 11) | (59u << 5) | 29u) << "23:59:58";
        }
    }
    EXPECT_EQ(qv::ZipEntryWriter::dosAttributes("/a/.hidden", 0100444, true), 0x23u);
    EXPECT_EQ(qv::ZipEntryWriter::dosAttributes("/a/plain", 0100644, false), 0x00u);
    EXPECT_EQ(qv::ZipEntryWriter::dosAttributes("/a/dir/", 040755, true), 0x30u);
}

// The fields of every new entry as they stand in the central directory.
TEST(ZipWriterHeaders, CentralFieldsOfNewEntries)
{
    const std::string dir = qvtest::makeTempDir("hdr");
    writeTree(dir + "/src", {{"a.txt", textBytes(5000)}, {"r\xC3\xA9sum\xC3\xA9.txt", "utf8"}, {"raw\xFF.bin", "x"},
                             {"back\\slash.txt", "b"}});
    ::chmod((dir + "/src/a.txt").c_str(), 0640);
    qv::TZipWriter zip;
    zip.SetZipName(dir + "/a.zip");
    zip.AddFile(dir + "/src/a.txt", "a.txt");
    zip.AddFile(dir + "/src/r\xC3\xA9sum\xC3\xA9.txt", "r\xC3\xA9sum\xC3\xA9.txt");
    zip.AddFile(dir + "/src/raw\xFF.bin", "raw\xFF.bin");
    zip.AddFile(dir + "/src/back\\slash.txt", "back\\slash.txt");
    zip.AddFile(dir + "/src", "folder/");
    ASSERT_EQ(zip.Zip(), 5);
    qv::TZipReader reader;
    reader.SetZipName(zip.ZipName());
    ASSERT_EQ(reader.Count(), 5);
    std::map<std::string, const qv::TZipHeaderInfo *> byName;
    for (int i = 0; i < reader.Count(); ++i) {
        const qv::TZipHeaderInfo &e = reader.Entry(i);
        byName[e.StoredName()] = &e;
        EXPECT_EQ(e.VersionMadeBy, 0x0314);
        EXPECT_EQ(e.VersionNeeded, 20);
    }
    ASSERT_TRUE(byName.count("a.txt"));
    EXPECT_EQ(byName["a.txt"]->ExternalAttributes >> 16, 0100640u);
    EXPECT_EQ(byName["a.txt"]->ExternalAttributes & 0xFF, 0x20u);
    EXPECT_EQ(byName["a.txt"]->InternalAttributes, 1) << "text";
    EXPECT_EQ(byName["a.txt"]->Flags & qv::kFlagUtf8, 0);
    ASSERT_TRUE(byName.count("r\xC3\xA9sum\xC3\xA9.txt"));
    EXPECT_NE(byName["r\xC3\xA9sum\xC3\xA9.txt"]->Flags & qv::kFlagUtf8, 0);
    ASSERT_TRUE(byName.count("raw\xFF.bin"));
    EXPECT_EQ(byName["raw\xFF.bin"]->Flags & qv::kFlagUtf8, 0) << "not UTF-8: stored as bytes";
    EXPECT_TRUE(byName.count("back\\slash.txt")) << "a backslash stays part of the name";
    ASSERT_TRUE(byName.count("folder/"));
    EXPECT_EQ(byName["folder/"]->ExternalAttributes & 0x10, 0x10u);
    EXPECT_TRUE(S_ISDIR(byName["folder/"]->ExternalAttributes >> 16));
    EXPECT_EQ(byName["folder/"]->CompressionMethod, 0);
}


TEST(ZipWriterUpdate, UpdateReplaceFreshenTable)
{
    QV_REQUIRE_TOOL("python3");
    struct Case {
        qv::TZipAction action;
        bool touchNewer; // b.txt changes and gets a newer time
        std::vector<std::string> listed;
        int expectedCount;
        bool aChanged;
        bool bChanged;
        bool cPresent;
    };
    const std::vector<Case> cases = {
        {qv::zaUpdate, false, {"a.txt", "b.txt"}, 0, false, false, false},
        {qv::zaUpdate, true, {"a.txt", "b.txt"}, 1, false, true, false},
        {qv::zaUpdate, true, {"a.txt", "b.txt", "c.txt"}, 2, false, true, true},
        {qv::zaReplace, false, {"a.txt", "b.txt"}, 2, true, false, false},
        {qv::zaFreshen, true, {"b.txt", "c.txt"}, 1, false, true, false},
        {qv::zaFreshen, false, {"c.txt"}, 0, false, false, false},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(n++);
        const std::string dir = qvtest::makeTempDir("upd");
        writeTree(dir, {{"a.txt", textBytes(3000)}, {"b.txt", textBytes(4000)}, {"c.txt", "new file"}});
        age(dir + "/a.txt", 3600);
        age(dir + "/b.txt", 3600);
        const std::string archive = dir + "/t.zip";
        ASSERT_EQ(zipTree(archive, dir, {{"a.txt", ""}, {"b.txt", ""}}, 6), 2);
        const auto before = rawEntries(archive);
        // a.txt gets other content but keeps its old time: only a replace takes it.
        qvtest::writeFile(dir + "/a.txt", textBytes(2999) + "!");
        age(dir + "/a.txt", 3600);
        if (c.touchNewer) {
            qvtest::writeFile(dir + "/b.txt", "changed content");
        }
        qv::TZipWriter zip;
        zip.SetZipName(archive);
        zip.ZipAction = c.action;
        for (const auto &name : c.listed) {
            zip.AddFile(dir + "/" + name, name);
        }
        EXPECT_EQ(zip.Zip(), c.expectedCount);
        const auto after = rawEntries(archive);
        EXPECT_EQ(after.at("a.txt") != before.at("a.txt"), c.aChanged);
        EXPECT_EQ(after.at("b.txt") != before.at("b.txt"), c.bChanged);
        EXPECT_EQ(after.count("c.txt") == 1, c.cPresent);
        // Order of the directory: old entries keep their places.
        auto listing = python("import sys,zipfile\nprint(' '.join(zipfile.ZipFile(sys.argv[1]).namelist()))", {archive});
        EXPECT_EQ(listing.output.substr(0, 11), "a.txt b.txt");
    }
}

// An update takes a changed file whatever the clock did between the two runs: the entry's
// extended timestamp (seconds since the epoch, independent of the time zone) decides when it is
// there, and a differing size is always a change. A file that did not change keeps its entry.
TEST(ZipWriterUpdate, ChangesWithinTwoSecondsAcrossDstAndTimeZones)
{
    QV_REQUIRE_TOOL("python3");
    const char *berlin = "CET-1CEST,M3.5.0,M10.5.0/3";
    struct Case {
        const char *what;
        const char *tzFirst;
        std::int64_t first; // seconds and nanoseconds of the first version
        long firstNs;
        const char *tzSecond;
        std::int64_t second;
        long secondNs;
        const char *content; // of the second version ("version one" is the first)
        bool foreign;        // the archive was written by python's zipfile (no extended timestamp)
        bool replaced;
    };
    const std::int64_t t0 = 1600000010; // an even second
    const Case cases[] = {
        {"same two-second slot", "UTC0", t0, 200000000, "UTC0", t0 + 1, 500000000, "version two", false,
         true},
        {"autumn hour repeated", berlin, 1603585800, 0, berlin, 1603588200, 0, "version two", false, true},
        {"time zone moved west", "UTC0", t0, 0, "EST5", t0 + 3600, 0, "version two", false, true},
        {"older but another size", "UTC0", t0, 0, "UTC0", t0 - 9999, 0, "version 2", false, true},
        {"older, same size", "UTC0", t0, 0, "UTC0", t0 - 9999, 0, "version two", false, false},
        {"unchanged", "UTC0", t0, 0, "UTC0", t0, 0, "version one", false, false},
        {"foreign, same slot, longer", "UTC0", t0, 200000000, "UTC0", t0 + 1, 500000000, "version 2, longer",
         true, true},
    };
    const std::string oldTz = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";
    const bool hadTz = std::getenv("TZ") != nullptr;
    auto stamp = [](const std::string &path, std::int64_t s, long ns) {
        const struct timespec t[2] = {{s, ns}, {s, ns}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = qvtest::makeTempDir("upd-ut");
        const std::string archive = dir + "/t.zip";
        const std::string file = dir + "/f.txt";
        ::setenv("TZ", c.tzFirst, 1);
        ::tzset();
        qvtest::writeFile(file, "version one");
        stamp(file, c.first, c.firstNs);
        if (c.foreign) {
            const char *script = "import sys,zipfile\n"
                                 "zipfile.ZipFile(sys.argv[1],'w').write(sys.argv[2],'f.txt')";
            ASSERT_EQ(python(script, {archive, file}).exitCode, 0);
        } else {
            ASSERT_EQ(zipTree(archive, dir, {{"f.txt", ""}}, 6), 1);
        }
        const std::string before = qvtest::readFile(archive);
        ::setenv("TZ", c.tzSecond, 1);
        ::tzset();
        qvtest::writeFile(file, c.content);
        stamp(file, c.second, c.secondNs);
        EXPECT_EQ(zipTree(archive, dir, {{"f.txt", ""}}, 6), c.replaced ? 1 : 0);
        const char *read = "import sys,zipfile\n"
                           "sys.stdout.write(zipfile.ZipFile(sys.argv[1]).read('f.txt').decode())";
        const auto r = python(read, {archive});
        EXPECT_EQ(r.output, c.replaced ? std::string(c.content) : std::string("version one"));
        if (!c.replaced) {
            EXPECT_TRUE(qvtest::readFile(archive) == before) << "a kept archive is not rewritten";
        }
    }
    if (hadTz) {
        ::setenv("TZ", oldTz.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

TEST(ZipWriterDelete, MasksAndNamesKeepOrder)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("del");
    std::map<std::string, std::string> files = {
        {"a.txt", "a"}, {"b.log", "b"}, {"sub/c.txt", "c"}, {"sub/d.log", "d"}, {"e.TXT", "e"}};
    writeTree(dir, files);
    const std::string archive = dir + "/t.zip";
    ASSERT_EQ(zipTree(archive, dir, files, 6), 5);
    struct Case {
        std::vector<std::string> items;
        int deleted;
        std::string remaining;
    };
    const std::vector<Case> cases = {
        {{"*.txt"}, 3, "b.log sub/d.log"},
        {{"sub/*"}, 2, "a.txt b.log e.TXT"},
        {{"b.log", "nothing"}, 1, "a.txt e.TXT sub/c.txt sub/d.log"},
        {{"missing*"}, 0, "a.txt b.log e.TXT sub/c.txt sub/d.log"},
    };
    for (const Case &c : cases) {
        const std::string copy = dir + "/copy.zip";
        qvtest::runCommand({"cp", archive, copy});
        qv::TZipWriter zip;
        zip.SetZipName(copy);
        zip.FilesList = c.items;
        EXPECT_EQ(zip.DeleteEntries(), c.deleted) << c.items[0];
        auto listing = python("import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\nassert z.testzip() is None\n"
                              "print(' '.join(z.namelist()))",
                              {copy});
        EXPECT_EQ(listing.exitCode, 0) << listing.output;
        EXPECT_EQ(listing.output, c.remaining + "\n") << c.items[0];
    }
}

TEST(ZipWriterNames, StoredNamesFromFilesList)
{
    const std::string dir = qvtest::makeTempDir("names");
    writeTree(dir, {{"Data/Sub/a.txt", "a"}, {"Data/b.txt", "b"}, {"Data2/c.txt", "c"}, {"Data/skip.tmp", "t"}});
    qv::TZipWriter zip;
    zip.SetZipName(dir + "/n.zip");
    zip.SetRelativePaths(true);
    zip.SetRootDir(dir + "/Data");
    zip.ExcludeList = {"*.TMP"};
    zip.FilesList = {"Sub/a.txt", "b.txt", dir + "/Data2/c.txt", ">*.tmp"};
    EXPECT_EQ(zip.Zip(), 3);
    std::vector<std::string> names;
    for (int i = 0; i < zip.Count(); ++i) {
        names.push_back(zip.FullName(i));
    }
    const std::string outside = (dir + "/Data2/c.txt").substr(1);
    EXPECT_EQ(names, (std::vector<std::string>{"Sub/a.txt", "b.txt", outside}));
    EXPECT_TRUE(zip.RelativePaths && zip.StorePaths && zip.Recurse);
    zip.SetStorePaths(false);
    EXPECT_FALSE(zip.RelativePaths || zip.StoreVolumes);
}

TEST(ZipWriterNames, DuplicatesAndTheArchiveItselfAreLeftOut)
{
    const std::string dir = qvtest::makeTempDir("dup");
    writeTree(dir, {{"a.txt", "one"}, {"b.txt", "two"}});
    const std::string archive = dir + "/self.zip";
    ASSERT_EQ(zipTree(archive, dir, {{"a.txt", ""}}, 6), 1);
    qv::TZipWriter zip;
    zip.SetZipName(archive);
    zip.SetRootDir(dir);
    zip.FilesList = {"*"}; // the search meets self.zip and its temporary file
    zip.AddFile(dir + "/b.txt", "x.txt");
    zip.AddFile(dir + "/a.txt", "x.txt");
    zip.AddFile(archive, "self-literal.zip");
    std::vector<std::pair<qv::TZipSkipReason, std::string>> skips;
    zip.OnSkippingFileDetail = [&](qv::TZipSkipReason reason, const std::string &name, const std::string &) {
        skips.emplace_back(reason, name);
    };
    int readerReasons = 0;
    zip.OnSkippingFile = [&](qv::TSkipReason, const std::string &, int index, bool &) {
        EXPECT_EQ(index, -1);
        ++readerReasons;
    };
    zip.ZipAction = qv::zaReplace;
    EXPECT_EQ(zip.Zip(), 3); // x.txt, a.txt replaced, b.txt
    std::vector<std::string> names;
    for (int i = 0; i < zip.Count(); ++i) {
        names.push_back(zip.FullName(i));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "x.txt", "b.txt"}));
    bool sawDuplicate = false;
    bool sawSelf = false;
    for (const auto &[reason, name] : skips) {
        sawDuplicate = sawDuplicate || reason == qv::zsrDuplicate;
        sawSelf = sawSelf || (reason == qv::zsrIsArchive && name == archive);
    }
    EXPECT_TRUE(sawDuplicate);
    EXPECT_TRUE(sawSelf);
    EXPECT_EQ(readerReasons, static_cast<int>(skips.size()));
}

TEST(ZipWriterSafety, CancelDuringSecondFileLeavesOldArchive)
{
    const std::string dir = qvtest::makeTempDir("cancel");
    writeTree(dir, {{"a.bin", randomBytes(300000, 5)}, {"b.bin", randomBytes(300000, 6)}});
    const std::string archive = dir + "/c.zip";
    ASSERT_EQ(zipTree(archive, dir, {{"a.bin", ""}}, 6), 1);
    const std::string before = qvtest::readFile(archive);
    qv::TZipWriter zip;
    zip.SetZipName(archive);
    zip.ZipAction = qv::zaReplace;
    zip.AddFile(dir + "/a.bin", "a.bin");
    zip.AddFile(dir + "/b.bin", "b.bin");
    int started = 0;
    zip.OnStartZip = [&](const std::string &, qv::TZipHeaderInfo &, bool &) { ++started; };
    zip.OnFilePercentDone = [&](int percent) {
        if (started == 2 && percent > 30) {
            zip.CancelTheOperation();
        }
    };
    EXPECT_THROW(zip.Zip(), qv::EUserCanceled);
    EXPECT_TRUE(qvtest::readFile(archive) == before) << "old archive byte-identical";
    auto ls = qvtest::runShell("ls -a '" + dir + "' | grep -c KPZ");
    EXPECT_EQ(ls.output, "0\n");
}

TEST(ZipWriterSafety, NotAnArchiveIsNeverOverwritten)
{
    const std::string dir = qvtest::makeTempDir("notzip");
    writeTree(dir, {{"a.txt", "a"}});
    const std::string archive = dir + "/text.zip";
    const std::string text = "this is a letter, not an archive\n" + std::string(100, '.');
    qvtest::writeFile(archive, text);
    qv::TZipWriter zip;
    zip.SetZipName(archive);
    zip.AddFile(dir + "/a.txt", "a.txt");
    EXPECT_THROW(zip.Zip(), qv::EZipError);
    EXPECT_TRUE(qvtest::readFile(archive) == text);
    // A directory whose record count disagrees with its size is not rewritten either.
    ASSERT_EQ(zipTree(dir + "/ok.zip", dir, {{"a.txt", ""}}, 6), 1);
    std::string raw = qvtest::readFile(dir + "/ok.zip");
    const size_t eocd = raw.rfind(std::string("PK\x05\x06", 4));
    raw[eocd + 8] = 2;
    raw[eocd + 10] = 2;
    qvtest::writeFile(dir + "/bad.zip", raw);
    zip.SetZipName(dir + "/bad.zip");
    zip.AddFile(dir + "/a.txt", "b.txt");
    EXPECT_THROW(zip.Zip(), qv::EBadZipFile);
    EXPECT_TRUE(qvtest::readFile(dir + "/bad.zip") == raw);
}

// The reader can piece a damaged directory together from the local headers; such an archive is
// read, but never rewritten, since whatever the scan missed would be lost.
TEST(ZipWriterSafety, RecoveredArchiveIsNeverRewritten)
{
    const std::string dir = qvtest::makeTempDir("recovered");
    writeTree(dir, {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}});
    ASSERT_EQ(zipTree(dir + "/r.zip", dir, {{"a.txt", ""}, {"b.txt", ""}}, 6), 2);
    std::string raw = qvtest::readFile(dir + "/r.zip");
    const size_t central = raw.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    const size_t second = raw.find(std::string("PK\x01\x02", 4), central + 4);
    ASSERT_NE(second, std::string::npos);
    raw[second + 2] = 9; // damage the second central record's signature
    qvtest::writeFile(dir + "/r.zip", raw);
    qv::TZipReader probe; // the reader gets both entries back by its scan
    probe.SetZipName(dir + "/r.zip");
    EXPECT_EQ(probe.Count(), 2);
    EXPECT_TRUE(probe.Recovered());
    qv::TZipWriter zip;
    zip.SetZipName(dir + "/r.zip");
    zip.IncompleteZipMode = qv::izAssumeBad;
    zip.AddFile(dir + "/c.txt", "c.txt");
    EXPECT_THROW(zip.Zip(), qv::EBadZipFile);
    EXPECT_TRUE(qvtest::readFile(dir + "/r.zip") == raw);
    EXPECT_EQ(qvtest::runShell("ls -a '" + dir + "' | grep -c KPZ").output, "0\n");
}

TEST(ZipWriterSafety, NewArchiveModeFollowsUmaskAndOldModeIsKept)
{
    const std::string dir = qvtest::makeTempDir("mode");
    writeTree(dir, {{"a.txt", "a"}, {"b.txt", "b"}});
    // The mask is the one the program starts with (it is read once, never set and set back).
    const auto made = qvtest::runShell("umask 027 && '" + qvtest::binPath("qv-zip") + "' a '" + dir + "/m.zip' '" +
                                       dir + "' a.txt");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    struct stat st;
    ASSERT_EQ(::stat((dir + "/m.zip").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ::chmod((dir + "/m.zip").c_str(), 0604);
    ASSERT_EQ(zipTree(dir + "/m.zip", dir, {{"b.txt", ""}}, 6), 1);
    ASSERT_EQ(::stat((dir + "/m.zip").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
}

TEST(ZipWriterSafety, LeftoverTemporaryFilesAreRemoved)
{
    const std::string dir = qvtest::makeTempDir("left");
    writeTree(dir, {{"a.txt", "a"}});
    const std::string stale = dir + "/" + qv::ZipArchiveOutput::tempPrefix(dir + "/l.zip") + "Ab12Cd";
    const std::string other = dir + "/.other.zip.KPZAb12Cd";
    qvtest::writeFile(stale, "half an archive");
    qvtest::writeFile(other, "belongs to another archive");
    ASSERT_EQ(zipTree(dir + "/l.zip", dir, {{"a.txt", ""}}, 6), 1);
    EXPECT_NE(::access(stale.c_str(), F_OK), 0);
    EXPECT_EQ(::access(other.c_str(), F_OK), 0);
}

TEST(ZipWriterComment, CommentIsWrittenAndCarriedOver)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("comment");
    writeTree(dir, {{"a.txt", "a"}, {"b.txt", "b"}});
    qv::TZipWriter zip;
    zip.SetZipName(dir + "/c.zip");
    zip.AddFile(dir + "/a.txt", "a.txt");
    zip.OnStartZipInfo = [](int files, int64_t bytes, qv::TEndCentral &end, bool &) {
        EXPECT_EQ(files, 1);
        EXPECT_EQ(bytes, 1);
        end.SetZipComment("Created with Quorvellant");
    };
    ASSERT_EQ(zip.Zip(), 1);
    ASSERT_EQ(zipTree(dir + "/c.zip", dir, {{"b.txt", ""}}, 6), 1);
    auto r = python("import sys,zipfile\nprint(zipfile.ZipFile(sys.argv[1]).comment.decode())", {dir + "/c.zip"});
    EXPECT_EQ(r.output, "Created with Quorvellant\n");
}

} // namespace
