// The old methods (shrink, reduce, implode) against real encoder output with known results.
#include "support/TestEnv.h"
#include "zip/Crc32.h"
#include "zip/DecodeIO.h"
#include "zip/ZipRecords.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes load(const std::string &name)
{
    const std::string s = qvtest::readFile(qvtest::dataPath("zip-legacy/" + name));
    return {s.begin(), s.end()};
}

struct RawCase
{
    const char *input;
    const char *method; // explode4k2, unreduce4
    std::size_t size;
    const char *expected; // file holding the expected output (a prefix when shorter)
    std::size_t zeros;    // trailing zero bytes expected after it
};

TEST(LegacyRawStreams, DecodeToExpectedOutput)
{
    const RawCase cases[] = {
        {"implode_hamlet_256.bin", "explode4k2", 256, "implode_hamlet_256.out", 0},
        {"reduce_hamlet_2048.bin", "unreduce4", 2048, "implode_hamlet_2048.out", 0},
        {"reduce_zero_reduced.bin", "unreduce4", 3072, "implode_hamlet_2048.out", 1024},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        const Bytes in = load(c.input);
        Bytes want = load(c.expected);
        want.insert(want.end(), c.zeros, 0);
        ASSERT_EQ(want.size(), c.size);
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{65536}}) {
            qv::MemorySource src(in.data(), in.size(), chunk);
            qv::VectorSink sink;
            const auto st = std::string(c.method) == "explode4k2"
                                ? qv::explodeStream(src, sink, c.size, false, false)
                                : qv::unreduceStream(src, sink, c.size, 4);
            EXPECT_EQ(st, qv::DecodeStatus::Ok);
            EXPECT_EQ(sink.data, want);
        }
    }
}

TEST(LegacyRawStreams, CutStreamsEndWithoutHanging)
{
    const RawCase cases[] = {
        {"implode_hamlet_256.bin", "explode4k2", 256, "", 0},
        {"reduce_hamlet_2048.bin", "unreduce4", 2048, "", 0},
    };
    for (const auto &c : cases) {
        const Bytes in = load(c.input);
        for (std::size_t cut = 0; cut < in.size(); cut += 7) {
            qv::MemorySource src(in.data(), cut);
            qv::VectorSink sink;
            const auto st = std::string(c.method) == "explode4k2"
                                ? qv::explodeStream(src, sink, c.size, false, false)
                                : qv::unreduceStream(src, sink, c.size, 4);
            EXPECT_NE(st, qv::DecodeStatus::Ok) << c.input << " cut at " << cut;
            EXPECT_LT(sink.data.size(), c.size);
        }
    }
    const Bytes zip = load("shrink.zip");
    const std::size_t start = 30 + qv::getLE16(zip.data() + 26) + qv::getLE16(zip.data() + 28);
    const std::size_t packed = qv::getLE32(zip.data() + 18);
    for (std::size_t cut = 0; cut < packed; cut += 5) {
        qv::MemorySource src(zip.data() + start, cut);
        qv::VectorSink sink;
        EXPECT_NE(qv::unshrinkStream(src, sink, 1092), qv::DecodeStatus::Ok) << cut;
    }
}

// Decodes the first entry of a single-entry archive straight from its local header.
TEST(LegacyArchives, FirstEntryMatchesStoredCrc)
{
    struct Case
    {
        const char *file;
        int method;
        std::uint32_t crc;
        std::size_t size;
    };
    const Case cases[] = {
        {"shrink.zip", 1, 0x22957a6e, 1092},
        {"reduce.zip", 5, 0x22957a6e, 1092},
        {"implode.zip", 6, 0x22957a6e, 1092},
        {"cc-imploding-4Kdict-2trees.zip", 6, 0x3222d8c7, 818},
        {"cc-imploding-8Kdict-3trees.zip", 6, 0x495fc599, 11560},
        {"cc-lorem-ipsum-implode.zip", 6, 0xb9034f7e, 144060},
    };
    const Bytes first = load("first.txt");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes zip = load(c.file);
        ASSERT_GE(zip.size(), 30u);
        ASSERT_EQ(qv::getLE32(zip.data()), qv::kLocalSignature);
        const std::uint16_t flags = qv::getLE16(zip.data() + 6);
        EXPECT_EQ(qv::getLE16(zip.data() + 8), c.method);
        const std::size_t packed = qv::getLE32(zip.data() + 18);
        const std::size_t start = 30 + qv::getLE16(zip.data() + 26) + qv::getLE16(zip.data() + 28);
        ASSERT_LE(start + packed, zip.size());
        qv::MemorySource src(zip.data() + start, packed);
        qv::VectorSink sink;
        qv::DecodeStatus st = qv::DecodeStatus::DataError;
        switch (c.method) {
        case 1:
            st = qv::unshrinkStream(src, sink, c.size);
            break;
        case 5:
            st = qv::unreduceStream(src, sink, c.size, 4);
            break;
        default:
            st = qv::explodeStream(src, sink, c.size, (flags & 2) != 0, (flags & 4) != 0);
            break;
        }
        EXPECT_EQ(st, qv::DecodeStatus::Ok);
        ASSERT_EQ(sink.data.size(), c.size);
        EXPECT_EQ(qv::crc32(0, sink.data.data(), sink.data.size()), c.crc);
        if (c.size == first.size()) {
            EXPECT_EQ(sink.data, first);
        }
    }
}

} // namespace
