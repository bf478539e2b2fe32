// Archive records: layouts, names, dates, Zip64 fields and the search for the end record.
#include "zip/TEndCentral.h"
#include "zip/ZipRecords.h"
#include "zip/TSortedZip.h"
#include "zip/ZipLib.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using qv::TEndCentral;
using qv::TMemoryStream;
using qv::TZipHeaderInfo;

TEST(ZipEntryRecord, LocalAndCentralRoundTrip)
{
    TZipHeaderInfo e;
    e.SetDirectory("docs/sub");
    e.SetFileName("report.txt");
    e.CRC32 = 0x12345678;
    e.CompressedSize = 100;
    e.UncompressedSize = 250;
    e.DateTime = 0x5A2B6C3D;
    e.SetFileComment("a comment");
    e.CentralExtra = {0x55, 0x54, 0x01, 0x00, 0x07};
    TMemoryStream ms;
    ms.Write("xxxx", 4);
    e.SaveLocalToStream(ms);
    EXPECT_EQ(e.RelativeOffset, 4u);
    const auto centralAt = ms.Position();
    e.SaveCentralToStream(ms);
    const auto &d = ms.Data();
    // Local header: signature, then the name right after the 30 fixed bytes.
    EXPECT_EQ(qv::getLE32(d.data() + 4), qv::kLocalSignature);
    EXPECT_EQ(std::string(d.begin() + 34, d.begin() + 34 + 19), "docs/sub/report.txt");
    // Central record: name, extra field, comment in that order.
    const std::uint8_t *c = d.data() + centralAt;
    EXPECT_EQ(qv::getLE32(c), qv::kCentralSignature);
    EXPECT_EQ(qv::getLE16(c + 28), 19);
    EXPECT_EQ(qv::getLE16(c + 30), 5);
    EXPECT_EQ(qv::getLE16(c + 32), 9);
    EXPECT_EQ(std::string(c + 46 + 19 + 5, c + 46 + 19 + 5 + 9), "a comment");

    qv::TStream *s = &ms;
    ms.Seek(centralAt, qv::soBeginning);
    TZipHeaderInfo r;
    ASSERT_TRUE(r.ReadCentralFromStream(s));
    EXPECT_EQ(r.FullName(), "docs/sub/report.txt");
    EXPECT_EQ(r.Directory(), "docs/sub/");
    EXPECT_EQ(r.FileName(), "report.txt");
    EXPECT_EQ(r.CRC32, 0x12345678u);
    EXPECT_EQ(r.CompressedSize, 100u);
    EXPECT_EQ(r.UncompressedSize, 250u);
    EXPECT_EQ(r.RelativeOffset, 4u);
    EXPECT_EQ(r.CentralOffset, static_cast<std::uint64_t>(centralAt));
    EXPECT_EQ(r.FileCommentLen, 9);
    EXPECT_EQ(r.CentralExtra, e.CentralExtra);
    EXPECT_EQ(ms.Position(), centralAt + 46 + 19 + 5); // left at the comment

    ms.Seek(4, qv::soBeginning);
    TZipHeaderInfo l;
    ASSERT_TRUE(l.ReadLocalFromStream(ms));
    EXPECT_EQ(l.FullName(), "docs/sub/report.txt");
    EXPECT_EQ(l.RelativeOffset, 4u);
    // A foreign record leaves the position unchanged.
    ms.Seek(0, qv::soBeginning);
    EXPECT_FALSE(l.ReadLocalFromStream(ms));
    EXPECT_EQ(ms.Position(), 0);
}

TEST(ZipEntryRecord, Zip64FieldsRoundTrip)
{
    struct Case
    {
        std::uint64_t packed, size, offset;
        bool zip64;
    };
    const Case cases[] = {
        {10, 20, 30, false},
        {0xFFFFFFFEull, 0xFFFFFFFEull, 0xFFFFFFFEull, false},
        {5, 0xFFFFFFFFull, 7, true},
        {0x1'0000'0000ull, 0x2'0000'0000ull, 9, true},
        {1, 2, 0x5'0000'0000ull, true},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(std::to_string(k.size) + "/" + std::to_string(k.offset));
        TZipHeaderInfo e;
        e.SetFileName("big.bin");
        e.CompressedSize = k.packed;
        e.UncompressedSize = k.size;
        EXPECT_EQ(e.NeedsZip64Local(), k.packed >= 0xFFFFFFFFull || k.size >= 0xFFFFFFFFull);
        TMemoryStream local;
        e.SaveLocalToStream(local);
        e.RelativeOffset = k.offset;
        EXPECT_EQ(e.NeedsZip64Central(), k.zip64);
        TMemoryStream central;
        e.SaveCentralToStream(central);
        qv::TStream *s = &central;
        central.Seek(0, qv::soBeginning);
        TZipHeaderInfo r;
        ASSERT_TRUE(r.ReadCentralFromStream(s));
        EXPECT_EQ(r.CompressedSize, k.packed);
        EXPECT_EQ(r.UncompressedSize, k.size);
        EXPECT_EQ(r.RelativeOffset, k.offset);
        EXPECT_TRUE(r.CentralExtra.empty());
        local.Seek(0, qv::soBeginning);
        TZipHeaderInfo l;
        ASSERT_TRUE(l.ReadLocalFromStream(local));
        std::vector<std::uint8_t> extra(l.LocalExtraLen);
        local.ReadBuffer(extra.data(), l.LocalExtraLen);
        l.ApplyZip64Extra(extra.data(), extra.size(), true);
        EXPECT_EQ(l.CompressedSize, k.packed);
        EXPECT_EQ(l.UncompressedSize, k.size);
    }
}

TEST(ZipEntryRecord, NamesByHostAndFlag)
{
    struct Case
    {
        int host;
        std::uint16_t flags;
        bool oem;
        std::string raw;
        std::string dir, name;
    };
    const Case cases[] = {
        {0, 0, true, "dir\\sub\\a.txt", "dir/sub/", "a.txt"},
        {0, 0, true, "na\x8Fve.txt", "", "na\xC3\x85ve.txt"}, // CP437 0x8F = Å
        {0, 0, false, "na\x8Fve.txt", "", "na\x8Fve.txt"},    // OEM conversion off
        {11, 0, true, "x\\y", "x/", "y"},                     // NTFS
        {3, 0, true, "dir\\file", "", "dir\\file"},           // Unix: "\" is a name byte
        {3, 0, true, "d/\xFF\xFE.bin", "d/", "\xFF\xFE.bin"}, // raw bytes kept
        {0, qv::kFlagUtf8, true, "\xC3\xA9t\xC3\xA9/x", "\xC3\xA9t\xC3\xA9/", "x"},
        {3, 0, true, "folder/", "folder/", ""},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.raw);
        std::uint8_t rec[46] = {};
        rec[5] = static_cast<std::uint8_t>(k.host);
        rec[8] = static_cast<std::uint8_t>(k.flags);
        rec[9] = static_cast<std::uint8_t>(k.flags >> 8);
        rec[28] = static_cast<std::uint8_t>(k.raw.size());
        TZipHeaderInfo e(k.oem);
        e.SetFromCentral(rec, k.raw);
        EXPECT_EQ(e.Directory(), k.dir);
        EXPECT_EQ(e.FileName(), k.name);
        EXPECT_EQ(e.RawName(), k.raw);
        // Unchanged entries are written back with their stored bytes.
        EXPECT_EQ(e.StoredName(), k.raw);
        EXPECT_EQ(e.FileNameLen, k.raw.size());
    }
}

TEST(ZipEntryRecord, NewNamesAndDefaults)
{
    TZipHeaderInfo e;
    EXPECT_EQ(e.VersionMadeBy, 20);
    EXPECT_EQ(e.CompressionMethod, 8);
    EXPECT_EQ(e.CRC32, 0xFFFFFFFFu);
    EXPECT_EQ(e.InternalAttributes, 1);
    EXPECT_EQ(e.ExternalAttributes, 0x20u);
    e.SetDirectory("abc");
    EXPECT_EQ(e.Directory(), "abc/");
    e.SetFileName("\xC3\xA9.txt");
    EXPECT_EQ(e.FileNameLen, 10);
    TMemoryStream ms;
    e.SaveLocalToStream(ms);
    EXPECT_NE(e.Flags & qv::kFlagUtf8, 0) << "a UTF-8 name is flagged";
    e.SetFileName("plain.txt");
    e.SaveLocalToStream(ms);
    EXPECT_EQ(e.Flags & qv::kFlagUtf8, 0);
    // A renamed entry no longer uses its old raw bytes.
    std::uint8_t rec[46] = {};
    rec[28] = 3;
    TZipHeaderInfo r(true);
    r.SetFromCentral(rec, "a\\b");
    r.SetFileName("c");
    EXPECT_EQ(r.StoredName(), "a/c");
    TZipHeaderInfo copy;
    copy.OEMConvert = true;
    copy = r;
    EXPECT_TRUE(copy.OEMConvert) << "the OEM flag is not copied";
    EXPECT_EQ(copy.FullName(), "a/c");
}

TEST(ZipDosDate, RepairAndConvert)
{
    auto pack = [](unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s2) {
        return (((y - 1980) << 9 | mo << 5 | d) << 16) | (h << 11 | mi << 5 | s2);
    };
    struct Case
    {
        std::uint32_t in, out;
    };
    const Case cases[] = {
        {pack(2020, 5, 17, 10, 30, 15), pack(2020, 5, 17, 10, 30, 15)},
        {pack(2020, 0, 17, 10, 30, 15), pack(2020, 1, 17, 10, 30, 15)},
        {pack(2020, 5, 0, 25, 30, 15), pack(2020, 5, 1, 23, 30, 15)},
        {pack(2020, 13, 3, 1, 61, 30), pack(2020, 12, 3, 1, 59, 29)},
        {pack(2100, 1, 1, 0, 0, 0), pack(2099, 1, 1, 0, 0, 0)},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(qv::repairDosDateTime(c.in), c.out);
    }
    EXPECT_DOUBLE_EQ(qv::dosDateTimeToDayCount(pack(1980, 1, 1, 0, 0, 0)), 29221.0);
    EXPECT_DOUBLE_EQ(qv::dosDateTimeToDayCount(pack(1980, 1, 2, 12, 0, 0)), 29222.5);
    EXPECT_EQ(qv::dosDateTimeToDayCount(pack(2021, 2, 30, 0, 0, 0)), 0.0);
    const std::int64_t t = qv::dosDateTimeToUnix(pack(2021, 6, 1, 12, 34, 28));
    EXPECT_EQ(qv::unixToDosDateTime(t), pack(2021, 6, 1, 12, 34, 28));
}

// The one converter from a file's time to an entry's, over 1970-2108: times before 1980 become
// 1980-01-01 00:00:00, times after 2099 the last time an entry holds (2099-12-31 23:59:58), and
// every time in between keeps its fields with the seconds rounded down to even.
TEST(ZipDosDate, FileTimeToEntryTimeOverTheWholeRange)
{
    const std::string oldTz = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";
    const bool hadTz = std::getenv("TZ") != nullptr;
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    auto pack = [](unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s) {
        return (((y - 1980) << 9 | mo << 5 | d) << 16) | (h << 11 | mi << 5 | s / 2);
    };
    auto at = [](int y, int mo, int d, int h, int mi, int s) {
        std::tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = s;
        return static_cast<std::int64_t>(::timegm(&tm));
    };
    const std::uint32_t first = pack(1980, 1, 1, 0, 0, 0);
    const std::uint32_t last = pack(2099, 12, 31, 23, 59, 58);
    const struct {
        std::int64_t time;
        std::uint32_t dos;
    } cases[] = {
        {0, first},
        {at(1979, 12, 31, 23, 59, 59), first},
        {at(1980, 1, 1, 0, 0, 0), first},
        {at(1980, 1, 1, 0, 0, 1), first},
        {at(1980, 1, 1, 0, 0, 2), pack(1980, 1, 1, 0, 0, 2)},
        {at(2024, 2, 29, 13, 45, 59), pack(2024, 2, 29, 13, 45, 58)},
        {at(2099, 12, 31, 23, 59, 58), last},
        {at(2099, 12, 31, 23, 59, 59), last},
        {at(2100, 1, 1, 0, 0, 0), last},
        {at(2100, 6, 1, 12, 0, 0), last},
        {at(2107, 12, 31, 23, 59, 59), last},
        {at(2108, 6, 1, 0, 0, 0), last},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.time);
        EXPECT_EQ(qv::unixToDosDateTime(c.time), c.dos);
        EXPECT_EQ(qv::repairDosDateTime(c.dos), c.dos) << "an entry's reader takes it as it stands";
    }
    if (hadTz) {
        ::setenv("TZ", oldTz.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

std::vector<std::uint8_t> endRecord(std::uint16_t entries, std::uint32_t cdSize, std::uint32_t cdOffset,
                                    const std::string &comment)
{
    std::vector<std::uint8_t> out;
    qv::putLE32(out, qv::kEndSignature);
    qv::putLE16(out, 0);
    qv::putLE16(out, 0);
    qv::putLE16(out, entries);
    qv::putLE16(out, entries);
    qv::putLE32(out, cdSize);
    qv::putLE32(out, cdOffset);
    qv::putLE16(out, static_cast<std::uint16_t>(comment.size()));
    out.insert(out.end(), comment.begin(), comment.end());
    return out;
}

TEST(ZipEndRecord, SearchRules)
{
    {
        TMemoryStream empty;
        TEndCentral ec;
        EXPECT_TRUE(ec.ReadFromStream(empty));
        EXPECT_EQ(ec.TotalEntries, 0u);
    }
    for (int n = 1; n <= 21; ++n) {
        TMemoryStream tiny(std::vector<std::uint8_t>(static_cast<std::size_t>(n), 0x50));
        TEndCentral ec;
        EXPECT_FALSE(ec.ReadFromStream(tiny)) << n;
    }
    // A comment of 65,535 bytes.
    {
        std::vector<std::uint8_t> data(100, 'x');
        const auto rec = endRecord(0, 0, 100, std::string(65535, 'c'));
        data.insert(data.end(), rec.begin(), rec.end());
        TMemoryStream ms(data);
        TEndCentral ec;
        ASSERT_TRUE(ec.ReadFromStream(ms));
        EXPECT_EQ(ec.ZipCommentLen, 65535);
        EXPECT_EQ(ec.ZipCommentPos, 122u);
    }
    // A comment that holds an end signature of its own, nearer the end than the real record.
    {
        std::vector<std::uint8_t> data(40, 'd');
        const auto fake = endRecord(7, 1, 1, "");
        std::string comment = "note " + std::string(fake.begin(), fake.end()) + " more text";
        const auto rec = endRecord(3, 10, 30, comment);
        data.insert(data.end(), rec.begin(), rec.end());
        TMemoryStream ms(data);
        TEndCentral ec;
        ASSERT_TRUE(ec.ReadFromStream(ms));
        EXPECT_EQ(ec.TotalEntries, 3u);
        EXPECT_EQ(ec.RecordOffset, 40u);
    }
    // Trailing bytes after the comment: the directory still ties the record down.
    {
        std::vector<std::uint8_t> data(40, 'd');
        auto rec = endRecord(2, 15, 25, "");
        data.insert(data.end(), rec.begin(), rec.end());
        data.insert(data.end(), 30, 'z');
        TMemoryStream ms(data);
        TEndCentral ec;
        ASSERT_TRUE(ec.ReadFromStream(ms));
        EXPECT_EQ(ec.TotalEntries, 2u);
    }
    // Nothing counts: the candidate nearest the end is taken.
    {
        std::vector<std::uint8_t> data(40, 'd');
        auto rec = endRecord(5, 99, 99, "");
        data.insert(data.end(), rec.begin(), rec.end());
        data.insert(data.end(), 10, 'z');
        TMemoryStream ms(data);
        TEndCentral ec;
        ASSERT_TRUE(ec.ReadFromStream(ms));
        EXPECT_EQ(ec.TotalEntries, 5u);
    }
}

TEST(ZipEndRecord, Zip64RoundTrip)
{
    struct Case
    {
        std::uint64_t entries, size, offset;
    };
    const Case cases[] = {{3, 100, 200}, {65535, 100, 200}, {70000, 5'000'000, 1}, {2, 10, 0x1'2345'6789ull}};
    for (const auto &k : cases) {
        TEndCentral ec;
        ec.TotalEntries = ec.EntriesOnDisk = k.entries;
        ec.CentralSize = k.size;
        ec.CentralOffset = k.offset;
        ec.SetZipComment("hello");
        TMemoryStream ms(std::vector<std::uint8_t>(64, 'p'));
        ms.Seek(0, qv::soEnd);
        ec.SaveToStream(ms);
        EXPECT_EQ(ms.Size(), static_cast<std::int64_t>(64 + ec.EndCentralSize()));
        TEndCentral rd;
        ASSERT_TRUE(rd.ReadFromStream(ms));
        EXPECT_EQ(rd.TotalEntries, k.entries);
        EXPECT_EQ(rd.CentralSize, k.size);
        EXPECT_EQ(rd.CentralOffset, k.offset);
        EXPECT_EQ(rd.Zip64, ec.NeedsZip64());
        EXPECT_EQ(rd.ZipCommentLen, 5);
    }
}

TEST(ZipSortedDirectory, SortModes)
{
    std::vector<TZipHeaderInfo *> items;
    auto make = [&](const char *name, std::uint32_t date, std::uint64_t packed, std::uint64_t size,
                    std::uint64_t off) {
        auto *e = new TZipHeaderInfo;
        e->SetFullName(name);
        e->DateTime = date;
        e->CompressedSize = packed;
        e->UncompressedSize = size;
        e->RelativeOffset = off;
        items.push_back(e);
    };
    make("b/Zeta.txt", 0x50000000, 10, 100, 300);
    make("a/alpha.txt", 0x52000000, 90, 100, 100);
    make("C/beta.txt", 0x51000000, 50, 1000, 200);
    struct Case
    {
        qv::TZipSortMode mode;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {qv::ByName, {"a/alpha.txt", "b/Zeta.txt", "C/beta.txt"}},
        {qv::ByFileName, {"a/alpha.txt", "C/beta.txt", "b/Zeta.txt"}},
        {qv::ByDate, {"a/alpha.txt", "C/beta.txt", "b/Zeta.txt"}},
        {qv::ByCompressedSize, {"a/alpha.txt", "C/beta.txt", "b/Zeta.txt"}},
        {qv::ByUnCompressedSize, {"C/beta.txt", "b/Zeta.txt", "a/alpha.txt"}},
        {qv::ByRate, {"a/alpha.txt", "b/Zeta.txt", "C/beta.txt"}},
        {qv::ByNone, {"a/alpha.txt", "C/beta.txt", "b/Zeta.txt"}},
    };
    for (const auto &k : cases) {
        qv::TSortedZip view(qv::dupAccept, false);
        view.SortMode = k.mode;
        for (auto *e : items) {
            view.Add(e);
        }
        std::vector<std::string> got;
        for (auto *e : view) {
            got.push_back(e->FullName());
        }
        EXPECT_EQ(got, k.order) << k.mode;
    }
    qv::TSortedZip byDate(qv::dupAccept, false);
    byDate.SortMode = qv::ByDate;
    EXPECT_EQ(byDate.Compare(items[0], items[0]), -1) << "equal dates never compare equal";
    for (auto *e : items) {
        delete e;
    }
}

} // namespace
