// An archive past 4 GiB (a sparse file): an entry larger than 4 GiB and one that starts beyond
// 4 GiB read and test completely through the Zip64 fields.
// qv-test-labels: slow hugefile
// qv-test-timeout: 600
#include "support/TestEnv.h"
#include "zip/Crc32.h"
#include "zip/TZipReader.h"

#include <gtest/gtest.h>

namespace {

TEST(ZipLargeArchive, EntriesBeyondFourGigabytes)
{
    QV_REQUIRE_TOOL("unzip"); // the outside check of the archive's zip64 records
    const std::string dir = qvtest::makeTempDir("large");
    const std::string path = dir + "/large.zip";
    const std::uint64_t bigSize = (std::uint64_t{1} << 32) + 12345; // all zero bytes
    std::uint32_t zeroCrc = 0;
    {
        std::vector<std::uint8_t> zeros(1 << 20, 0);
        qv::Crc32 acc;
        std::uint64_t left = bigSize;
        while (left > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
            acc.update(zeros.data(), n);
            left -= n;
        }
        zeroCrc = acc.value();
    }
    qv::TEndCentral ec;
    std::vector<qv::TZipHeaderInfo> entries(2);
    {
        qv::TFileStream f(path, qv::fmCreate);
        qv::TZipHeaderInfo &big = entries[0];
        big.SetFullName("big/zeros.bin");
        big.CompressionMethod = 0;
        big.CompressedSize = big.UncompressedSize = bigSize;
        big.CRC32 = zeroCrc;
        big.SaveLocalToStream(f);
        // The data is a hole of the file.
        f.Seek(static_cast<std::int64_t>(bigSize), qv::soCurrent);
        qv::TZipHeaderInfo &small = entries[1];
        small.SetFullName("after.txt");
        small.CompressionMethod = 0;
        const std::string text = "placed beyond four gigabytes";
        small.CompressedSize = small.UncompressedSize = text.size();
        small.CRC32 = qv::crc32(0, text.data(), text.size());
        small.SaveLocalToStream(f);
        f.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
        ec.CentralOffset = static_cast<std::uint64_t>(f.Position());
        for (auto &e : entries) {
            e.SaveCentralToStream(f);
        }
        ec.CentralSize = static_cast<std::uint64_t>(f.Position()) - ec.CentralOffset;
        ec.TotalEntries = ec.EntriesOnDisk = entries.size();
        ec.SaveToStream(f);
    }
    ASSERT_GT(entries[1].RelativeOffset, 0xFFFFFFFFull);
    qv::TZipReader z;
    z.SetZipName(path);
    ASSERT_EQ(z.Count(), 2);
    EXPECT_TRUE(z.EndCentral().Zip64);
    EXPECT_EQ(z.Entry(0).UncompressedSize, bigSize);
    EXPECT_EQ(z.Entry(1).RelativeOffset, entries[1].RelativeOffset);
    std::vector<std::uint8_t> text;
    ASSERT_TRUE(z.UnZipToMemory(text, "after.txt"));
    EXPECT_EQ(std::string(text.begin(), text.end()), "placed beyond four gigabytes");
    z.DoAll = true;
    EXPECT_EQ(z.TestZip(), 2);
    const auto r = qvtest::runCommand({"unzip", "-l", path});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("4294979641"), std::string::npos) << r.output;
}

} // namespace
