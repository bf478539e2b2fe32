// Inflate against zlib as the control: every level and strategy, tiny input pieces, cut and
// damaged streams.
#include "zip/DecodeIO.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes rawDeflate(const Bytes &in, int level, int strategy, int memLevel = 8)
{
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, -15, memLevel, strategy), Z_OK);
    Bytes out(deflateBound(&zs, static_cast<uLong>(in.size())) + 16);
    zs.next_in = const_cast<Bytef *>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// zlib's verdict on a raw stream: true when it ends properly; `out` gets what it produced.
bool zlibInflate(const Bytes &in, Bytes &out)
{
    z_stream zs{};
    inflateInit2(&zs, -15);
    zs.next_in = const_cast<Bytef *>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    int rc = Z_OK;
    Bytes buf(1 << 16);
    while (rc == Z_OK) {
        zs.next_out = buf.data();
        zs.avail_out = static_cast<uInt>(buf.size());
        rc = inflate(&zs, Z_NO_FLUSH);
        out.insert(out.end(), buf.data(), buf.data() + (buf.size() - zs.avail_out));
        if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
            break;
        }
    }
    inflateEnd(&zs);
    return rc == Z_STREAM_END;
}

qv::DecodeStatus ours(const Bytes &in, Bytes &out, std::size_t chunk = 1 << 16)
{
    qv::MemorySource src(in.data(), in.size(), chunk);
    qv::VectorSink sink;
    const auto st = qv::inflateStream(src, sink);
    out = std::move(sink.data);
    return st;
}

Bytes mixedData(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes out;
    const char *words[] = {"alpha ", "beta ", "gamma\n", "delta\t", "{\"key\": 12}, ", "zzzzzzzz"};
    while (out.size() < size) {
        switch (rng() % 4) {
        case 0:
            for (int i = 0; i < 200; ++i) {
                out.push_back(static_cast<std::uint8_t>(rng()));
            }
            break;
        case 1: {
            const std::string w = words[rng() % 6];
            for (int i = 0; i < 40; ++i) {
                out.insert(out.end(), w.begin(), w.end());
            }
            break;
        }
        case 2:
            out.insert(out.end(), rng() % 3000, static_cast<std::uint8_t>(rng()));
            break;
        default:
            if (out.size() > 100) {
                const std::size_t from = rng() % (out.size() - 50);
                const Bytes copy(out.begin() + static_cast<long>(from),
                                 out.begin() + static_cast<long>(from) + 50);
                out.insert(out.end(), copy.begin(), copy.end());
            }
            break;
        }
    }
    out.resize(size);
    return out;
}

TEST(InflateDecoder, MatchesZlibOverLevelsAndStrategies)
{
    const std::size_t sizes[] = {0, 1, 21, 22, 1000, 70000, 400000};
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    unsigned seed = 1;
    for (const std::size_t size : sizes) {
        const Bytes data = mixedData(size, seed++);
        for (int level = 0; level <= 9; level += (size > 70000 ? 3 : 1)) {
            for (const int strategy : strategies) {
                SCOPED_TRACE(std::to_string(size) + " L" + std::to_string(level) + " S" +
                             std::to_string(strategy));
                const Bytes packed = rawDeflate(data, level, strategy);
                Bytes out;
                ASSERT_EQ(ours(packed, out), qv::DecodeStatus::Ok);
                ASSERT_EQ(out, data);
            }
        }
    }
}

TEST(InflateDecoder, TinyInputPieces)
{
    const Bytes data = mixedData(50000, 77);
    const Bytes packed = rawDeflate(data, 6, Z_DEFAULT_STRATEGY, 1);
    for (const std::size_t chunk : {1u, 2u, 3u, 7u, 8u, 9u, 4096u}) {
        Bytes out;
        ASSERT_EQ(ours(packed, out, chunk), qv::DecodeStatus::Ok) << chunk;
        ASSERT_EQ(out, data);
    }
}

TEST(InflateDecoder, CutStreamsAreTruncatedNeverOk)
{
    const Bytes data = mixedData(20000, 5);
    for (const int level : {0, 1, 9}) {
        const Bytes packed = rawDeflate(data, level, Z_DEFAULT_STRATEGY);
        for (std::size_t cut = 0; cut < packed.size(); cut += 1 + packed.size() / 97) {
            const Bytes head(packed.begin(), packed.begin() + static_cast<long>(cut));
            Bytes out;
            const auto st = ours(head, out);
            EXPECT_NE(st, qv::DecodeStatus::Ok) << "level " << level << " cut " << cut;
            EXPECT_LE(out.size(), data.size());
        }
    }
}

TEST(InflateDecoder, HandMadeStreams)
{
    struct Case
    {
        const char *name;
        Bytes stream;
        qv::DecodeStatus status;
        Bytes output;
    };
    const Case cases[] = {
        {"empty stored final block", {0x01, 0x00, 0x00, 0xFF, 0xFF}, qv::DecodeStatus::Ok, {}},
        {"stored with bad NLEN", {0x01, 0x01, 0x00, 0x00, 0x00, 0x41}, qv::DecodeStatus::DataError, {}},
        {"stored 2 bytes", {0x01, 0x02, 0x00, 0xFD, 0xFF, 'h', 'i'}, qv::DecodeStatus::Ok, {'h', 'i'}},
        {"block type 3", {0x07, 0x00}, qv::DecodeStatus::DataError, {}},
        {"fixed empty", {0x03, 0x00}, qv::DecodeStatus::Ok, {}},
        // Fixed block: literal 'a', then a match at distance 2 before anything exists.
        {"distance too far", {0x4B, 0x04, 0x42, 0x00}, qv::DecodeStatus::DataError, {}},
        {"no input", {}, qv::DecodeStatus::Truncated, {}},
        // Trailing bytes after the final block are left alone.
        {"trailing garbage", {0x03, 0x00, 0xDE, 0xAD}, qv::DecodeStatus::Ok, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out;
        EXPECT_EQ(ours(c.stream, out), c.status);
        if (c.status == qv::DecodeStatus::Ok) {
            EXPECT_EQ(out, c.output);
        }
    }
}

TEST(InflateDecoder, DamagedStreamsAgreeWithZlib)
{
    const Bytes data = mixedData(30000, 9);
    const Bytes packed = rawDeflate(data, 6, Z_DEFAULT_STRATEGY);
    std::mt19937 rng(2024);
    int checked = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes bad = packed;
        const int flips = 1 + static_cast<int>(rng() % 3);
        for (int f = 0; f < flips; ++f) {
            bad[rng() % bad.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        Bytes zout;
        const bool zok = zlibInflate(bad, zout);
        Bytes out;
        const auto st = ours(bad, out);
        // Where zlib accepts the stream, the bytes must agree; we may be stricter, never looser
        // with different output.
        if (zok) {
            EXPECT_EQ(st, qv::DecodeStatus::Ok) << round;
            EXPECT_EQ(out, zout) << round;
            ++checked;
        } else if (st == qv::DecodeStatus::Ok) {
            // zlib refuses incomplete code sets that we decode leniently; the output is then the
            // same as far as zlib got.
            ASSERT_GE(out.size(), zout.size()) << round;
            EXPECT_TRUE(std::equal(zout.begin(), zout.end(), out.begin())) << round;
        }
    }
    (void)checked;
}

} // namespace
