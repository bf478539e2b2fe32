// CRC-32 against zlib's crc32 as the control, over lengths and alignments the sliced loop splits.
#include "zip/Crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(Crc32Checksum, KnownValues)
{
    struct Case
    {
        const char *text;
        std::uint32_t crc;
    };
    const Case cases[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(qv::crc32(0, c.text, std::strlen(c.text)), c.crc);
        qv::Crc32 acc;
        acc.update(c.text, std::strlen(c.text));
        EXPECT_EQ(acc.value(), c.crc);
    }
    EXPECT_EQ(qv::crc32Table()[1], 0x77073096u);
}

TEST(Crc32Checksum, MatchesZlibOverLengthsAndOffsets)
{
    std::mt19937 rng(12345);
    std::vector<unsigned char> buf(70000);
    for (auto &b : buf) {
        b = static_cast<unsigned char>(rng());
    }
    for (std::size_t off = 0; off < 17; ++off) {
        for (std::size_t len : {0u, 1u, 7u, 15u, 16u, 17u, 31u, 32u, 33u, 255u, 4096u, 65521u, 69000u}) {
            if (off + len > buf.size()) {
                continue;
            }
            SCOPED_TRACE(std::to_string(off) + "+" + std::to_string(len));
            const uLong want = ::crc32(0L, buf.data() + off, static_cast<uInt>(len));
            EXPECT_EQ(qv::crc32(0, buf.data() + off, len), static_cast<std::uint32_t>(want));
        }
    }
}

TEST(Crc32Checksum, PiecewiseEqualsWhole)
{
    std::mt19937 rng(99);
    std::vector<unsigned char> buf(100000);
    for (auto &b : buf) {
        b = static_cast<unsigned char>(rng());
    }
    const auto whole = static_cast<std::uint32_t>(::crc32(0L, buf.data(), static_cast<uInt>(buf.size())));
    std::uint32_t running = 0;
    std::uint32_t reg = qv::kCrc32Init;
    qv::Crc32 acc;
    std::size_t pos = 0;
    while (pos < buf.size()) {
        const std::size_t n = std::min<std::size_t>(rng() % 5000, buf.size() - pos);
        running = qv::crc32(running, buf.data() + pos, n);
        acc.update(buf.data() + pos, n);
        for (std::size_t i = 0; i < n; ++i) {
            reg = qv::UpdateCRC32(reg, buf[pos + i]);
        }
        pos += n;
    }
    EXPECT_EQ(running, whole);
    EXPECT_EQ(acc.value(), whole);
    EXPECT_EQ(~reg, whole);
    acc.reset();
    EXPECT_EQ(acc.value(), 0u);
}

TEST(Crc32Checksum, CombineMatchesZlibAndTheWhole)
{
    std::mt19937 rng(4242);
    std::vector<unsigned char> buf(300000);
    for (auto &b : buf) {
        b = static_cast<unsigned char>(rng());
    }
    const auto whole = qv::crc32(0, buf.data(), buf.size());
    for (std::size_t split : {0u, 1u, 2u, 3u, 4u, 16u, 255u, 4096u, 32768u, 65536u, 123457u, 299999u, 300000u}) {
        SCOPED_TRACE(split);
        const std::uint32_t a = qv::crc32(0, buf.data(), split);
        const std::uint32_t b = qv::crc32(0, buf.data() + split, buf.size() - split);
        const std::uint64_t lengthB = buf.size() - split;
        EXPECT_EQ(qv::crc32Combine(a, b, lengthB), whole);
        EXPECT_EQ(qv::crc32Combine(a, b, lengthB),
                  static_cast<std::uint32_t>(::crc32_combine(a, b, static_cast<z_off_t>(lengthB))));
    }
    // Lengths beyond 4 GiB, against zlib alone.
    for (std::uint64_t lengthB : {0x100000000ull, 0x123456789ull, (1ull << 40) + 7}) {
        EXPECT_EQ(qv::crc32Combine(0x12345678u, 0x9abcdef0u, lengthB),
                  static_cast<std::uint32_t>(::crc32_combine(0x12345678u, 0x9abcdef0u, static_cast<z_off_t>(lengthB))));
    }
}

} // namespace
