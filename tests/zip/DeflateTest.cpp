// Deflate encoder: every level against zlib's raw inflate as the control decoder, block-type
// choices, the whole-file stored fallback and the flag bits.
#include "zip/Deflate.h"

#include "ZlibPeer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using ziptest::zlibInflate;

Bytes textData(size_t size)
{
    static const char *words[] = {"backup ", "folder ", "the ", "archive ", "schedule\n", "task ", "zip ",
                                  "filter ", "copy, ", "source ", "destination. ", "Quorvellant "};
    std::mt19937 rng(7);
    Bytes out;
    while (out.size() < size) {
        const char *w = words[rng() % 12];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(size);
    return out;
}

Bytes randomData(size_t size, uint32_t seed = 1)
{
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto &b : out) {
        b = static_cast<uint8_t>(rng());
    }
    return out;
}

// Executable-like data: structured records with small numbers, repeated opcodes and random parts.
Bytes binaryData(size_t size)
{
    std::mt19937 rng(3);
    Bytes out;
    while (out.size() < size) {
        const uint32_t kind = rng() % 4;
        if (kind == 0) {
            for (int i = 0; i < 16; ++i) {
                out.push_back(static_cast<uint8_t>(rng() % 8));
            }
        } else if (kind == 1) {
            static const uint8_t ops[] = {0x48, 0x89, 0xe5, 0x55, 0xc3, 0x0f, 0x1f, 0x44, 0x00, 0x00};
            out.insert(out.end(), ops, ops + sizeof ops);
        } else if (kind == 2) {
            for (int i = 0; i < 8; ++i) {
                out.push_back(static_cast<uint8_t>(rng()));
            }
        } else {
            uint32_t v = rng() % 65536;
            out.insert(out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), 0, 0});
        }
    }
    out.resize(size);
    return out;
}

struct Sample {
    std::string name;
    Bytes data;
};

std::vector<Sample> samples()
{
    std::vector<Sample> s;
    s.push_back({"empty", {}});
    s.push_back({"one byte", {0x41}});
    s.push_back({"run 258", Bytes(258, 'a')});
    s.push_back({"run 259", Bytes(259, 'a')});
    for (size_t size : {32767u, 32768u, 32769u, 65535u, 65536u, 65537u}) {
        s.push_back({"text " + std::to_string(size), textData(size)});
        s.push_back({"random " + std::to_string(size), randomData(size, static_cast<uint32_t>(size))});
    }
    s.push_back({"1 MiB zeros", Bytes(1 << 20, 0)});
    s.push_back({"100 KB random", randomData(100000)});
    s.push_back({"text 300 KB", textData(300000)});
    s.push_back({"binary 300 KB", binaryData(300000)});
    // Random blocks with repeats at every distance up to the window edge.
    Bytes far = randomData(40000, 9);
    far.insert(far.end(), far.begin(), far.begin() + 40000);
    s.push_back({"far repeats", far});
    return s;
}

class DeflateRoundTrip : public ::testing::TestWithParam<int>
{
};

TEST_P(DeflateRoundTrip, EverySampleInflatesToItsInput)
{
    const int level = GetParam();
    for (const Sample &sample : samples()) {
        SCOPED_TRACE(sample.name);
        for (bool allowStored : {false, true}) {
            Bytes packed;
            qv::DeflateResult r =
                qv::Deflater::deflateBuffer(level, sample.data.data(), sample.data.size(), packed, allowStored);
            EXPECT_EQ(r.uncompressedSize, sample.data.size());
            EXPECT_EQ(r.compressedSize, packed.size());
            if (r.stored) {
                ASSERT_TRUE(allowStored);
                EXPECT_EQ(packed, sample.data);
            } else {
                EXPECT_EQ(zlibInflate(packed, sample.data.size()), sample.data);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, DeflateRoundTrip, ::testing::Range(1, 10));

// Output arrives in pieces of at most 1024 bytes, input in whatever pieces the reader returns.
TEST(DeflateStreaming, OddReadSizesAndBoundedWritePieces)
{
    const Bytes data = textData(200000);
    std::mt19937 rng(5);
    size_t pos = 0;
    size_t biggestPiece = 0;
    Bytes packed;
    qv::Deflater d;
    qv::DeflateResult r = d.deflateFile(
        6,
        [&](uint8_t *buf, size_t n) {
            size_t k = std::min<size_t>({n, data.size() - pos, 1 + rng() % 5000});
            std::memcpy(buf, data.data() + pos, k);
            pos += k;
            return k;
        },
        [&](const uint8_t *buf, size_t n) {
            biggestPiece = std::max(biggestPiece, n);
            packed.insert(packed.end(), buf, buf + n);
        });
    EXPECT_LE(biggestPiece, 1024u);
    EXPECT_EQ(r.compressedSize, packed.size());
    EXPECT_EQ(zlibInflate(packed, data.size()), data);
    // The same encoder object is reused for the next file and gives the same result as a fresh one.
    Bytes again;
    Bytes fresh;
    pos = 0;
    d.deflateFile(
        6,
        [&](uint8_t *buf, size_t n) {
            size_t k = std::min(n, data.size() - pos);
            std::memcpy(buf, data.data() + pos, k);
            pos += k;
            return k;
        },
        [&](const uint8_t *buf, size_t n) { again.insert(again.end(), buf, buf + n); });
    qv::Deflater::deflateBuffer(6, data.data(), data.size(), fresh);
    EXPECT_EQ(again, fresh);
}

TEST(DeflateBlockChoice, WholeFileStoredFallback)
{
    Bytes packed;
    // An empty file is stored with no data.
    qv::DeflateResult r = qv::Deflater::deflateBuffer(6, nullptr, 0, packed, true);
    EXPECT_TRUE(r.stored);
    EXPECT_EQ(r.compressedSize, 0u);
    // A small text that does not shrink is stored unchanged.
    const std::string small = "Hi there";
    packed.clear();
    r = qv::Deflater::deflateBuffer(6, reinterpret_cast<const uint8_t *>(small.data()), small.size(), packed, true);
    EXPECT_TRUE(r.stored);
    EXPECT_EQ(std::string(packed.begin(), packed.end()), small);
    EXPECT_EQ(r.internalAttributes, 1);
    // 20 KB of random bytes, one block: stored as the file.
    Bytes rnd = randomData(20000);
    packed.clear();
    r = qv::Deflater::deflateBuffer(6, rnd.data(), rnd.size(), packed, true);
    EXPECT_TRUE(r.stored);
    EXPECT_EQ(packed, rnd);
    EXPECT_EQ(r.internalAttributes, 0);
    // A compressible text is never stored.
    Bytes text = textData(20000);
    packed.clear();
    r = qv::Deflater::deflateBuffer(6, text.data(), text.size(), packed, true);
    EXPECT_FALSE(r.stored);
    EXPECT_LT(packed.size(), text.size() / 2);
    EXPECT_EQ(r.internalAttributes, 1);
}

TEST(DeflateBlockChoice, RandomDataLargerThanABlockUsesStoredBlocks)
{
    const Bytes rnd = randomData(100000);
    for (int level = 1; level <= 9; ++level) {
        Bytes packed;
        qv::DeflateResult r = qv::Deflater::deflateBuffer(level, rnd.data(), rnd.size(), packed, true);
        ASSERT_FALSE(r.stored) << level;
        // First block header: BFINAL 0, BTYPE 00; stored blocks cost 5 bytes per block at most.
        EXPECT_EQ(packed[0] & 0x7, 0) << level;
        EXPECT_LE(packed.size(), rnd.size() + 5 * (rnd.size() / 16000 + 2)) << level;
        EXPECT_EQ(zlibInflate(packed, rnd.size()), rnd);
    }
}

TEST(DeflateBlockChoice, ShortRepetitiveInputUsesFixedCodes)
{
    const std::string s = "abcabcabcabcabcabcabcabcabcabcabcabc";
    Bytes packed;
    qv::Deflater::deflateBuffer(6, reinterpret_cast<const uint8_t *>(s.data()), s.size(), packed);
    ASSERT_FALSE(packed.empty());
    EXPECT_EQ(packed[0] & 0x7, 0x3); // final, fixed codes
    EXPECT_LE(packed.size(), 10u);
}

TEST(DeflateFlags, LevelFlagBits)
{
    const int expected[10] = {0, 4, 4, 0, 0, 0, 0, 0, 2, 2};
    for (int level = 0; level <= 9; ++level) {
        EXPECT_EQ(qv::Deflater::flagBitsForLevel(level), expected[level]) << level;
    }
}

// Higher levels never lose to lower ones by much and all beat the fast level on text.
TEST(DeflateRatio, LevelsOrderOnText)
{
    const Bytes text = binaryData(400000);
    std::vector<size_t> sizes;
    for (int level = 1; level <= 9; ++level) {
        Bytes packed;
        qv::Deflater::deflateBuffer(level, text.data(), text.size(), packed);
        sizes.push_back(packed.size());
    }
    EXPECT_LT(sizes[8], sizes[0]);
    EXPECT_LE(sizes[8], sizes[5] + sizes[5] / 100);
    // Level 6 lands within 3% of zlib's level 6 on the same data.
    uLongf zlen = compressBound(text.size());
    Bytes z(zlen);
    ASSERT_EQ(compress2(z.data(), &zlen, text.data(), text.size(), 6), Z_OK);
    EXPECT_LE(sizes[5], (zlen - 6) * 103 / 100);
}

} // namespace

namespace {

// A lazy match found just before the window slides is emitted just after it; its start then lies
// below the new window base and its distance must still come out right. With a first read one
// byte short of the window, the slide happens at position 65274, so the match found at 65273
// against position 32767 (distance 32506, the farthest allowed) crosses it.
//
// The case is built from the format alone: zero filler, a marker of 32 high bytes at both
// places, and a control stream whose far copy is the marker reversed (the same literals, but no
// three bytes in common with the marker). The two streams then hold the same symbols, except that
// the near marker can go out as one match only in the first: it is shorter only if that match, across
// the slide, was made. Both streams must inflate to their input.
TEST(DeflateWindow, MatchPendingAcrossTheSlide)
{
    constexpr size_t kSize = 70000;
    constexpr size_t kFar = 32767;
    constexpr size_t kHere = 65273;
    auto deflateFirstReadShort = [](const Bytes &data, int level) {
        size_t pos = 0;
        bool first = true;
        Bytes packed;
        qv::Deflater d;
        d.deflateFile(
            level,
            [&](uint8_t *buf, size_t n) {
                size_t k = std::min(n, data.size() - pos);
                if (first) {
                    k = std::min<size_t>(k, 65535);
                    first = false;
                }
                std::memcpy(buf, data.data() + pos, k);
                pos += k;
                return k;
            },
            [&](const uint8_t *buf, size_t n) { packed.insert(packed.end(), buf, buf + n); }, false);
        return packed;
    };
    // Markers of 32 different high bytes each, so that no three bytes repeat within a marker or
    // between a marker and its reversal.
    std::vector<Bytes> markers;
    std::mt19937 rng(11);
    for (int m = 0; m < 4; ++m) {
        Bytes all(128);
        std::iota(all.begin(), all.end(), uint8_t{0x80});
        std::shuffle(all.begin(), all.end(), rng);
        markers.emplace_back(all.begin(), all.begin() + 32);
    }
    for (int level : {4, 5, 6, 7, 8, 9}) {
        int crossed = 0;
        for (const auto &marker : markers) {
            Bytes data(kSize, 0);
            std::copy(marker.begin(), marker.end(), data.begin() + kFar);
            std::copy(marker.begin(), marker.end(), data.begin() + kHere);
            data[kHere - 1] = 1; // the byte before differs from the far copy's, so the match starts here
            Bytes control = data;
            std::reverse_copy(marker.begin(), marker.end(), control.begin() + kFar);
            const Bytes packed = deflateFirstReadShort(data, level);
            const Bytes packedControl = deflateFirstReadShort(control, level);
            ASSERT_TRUE(zlibInflate(packed, data.size()) == data) << "level " << level;
            ASSERT_TRUE(zlibInflate(packedControl, control.size()) == control) << "level " << level;
            crossed += packed.size() < packedControl.size() ? 1 : 0;
        }
        EXPECT_GT(crossed, 0) << "level " << level << ": no marker went out as a match across the slide";
    }
}

} // namespace

namespace {

// Randomised inputs built to meet the window edges: repeats at distances around 32 KiB, runs,
// text and noise, read in pieces of random sizes; every level's output must inflate to the input.
TEST(DeflateStress, RandomStructuredInputsAndReadSizes)
{
    std::mt19937 rng(20261206);
    const Bytes text = textData(40000);
    for (int round = 0; round < 100; ++round) {
        Bytes data;
        const size_t target = rng() % 300000;
        while (data.size() < target) {
            switch (rng() % 5) {
            case 0: { // noise
                Bytes r = randomData(1 + rng() % 5000, rng());
                data.insert(data.end(), r.begin(), r.end());
                break;
            }
            case 1: // a run
                data.insert(data.end(), 1 + rng() % 600, static_cast<uint8_t>(rng()));
                break;
            case 2: { // text
                const size_t at = rng() % (text.size() - 3000);
                data.insert(data.end(), text.begin() + static_cast<long>(at),
                            text.begin() + static_cast<long>(at + 1 + rng() % 3000));
                break;
            }
            default: { // a copy from near the window's reach
                if (data.size() < 40000) {
                    break;
                }
                const size_t distance = 32000 + rng() % 1200;
                const size_t from = data.size() - std::min(distance, data.size());
                const size_t len = 3 + rng() % 300;
                for (size_t k = 0; k < len; ++k) {
                    data.push_back(data[from + k]);
                }
                break;
            }
            }
        }
        const int level = 1 + static_cast<int>(rng() % 9);
        size_t pos = 0;
        Bytes packed;
        qv::Deflater d;
        d.deflateFile(
            level,
            [&](uint8_t *buf, size_t n) {
                const size_t k = std::min({n, data.size() - pos, static_cast<size_t>(1 + rng() % 70000)});
                std::memcpy(buf, data.data() + pos, k);
                pos += k;
                return k;
            },
            [&](const uint8_t *buf, size_t n) { packed.insert(packed.end(), buf, buf + n); }, false);
        ASSERT_TRUE(zlibInflate(packed, data.size()) == data) << "round " << round << " level " << level;
    }
}

// A stream cut into pieces: each piece compressed alone with the bytes before it as history,
// pieces concatenated, then the final block.
Bytes deflateInPieces(const Bytes &data, int level, size_t pieceSize, size_t historyLimit)
{
    qv::Deflater d;
    Bytes out;
    const qv::Deflater::WriteFn write = [&](const uint8_t *p, size_t n) { out.insert(out.end(), p, p + n); };
    for (size_t at = 0; at < data.size(); at += pieceSize) {
        const size_t history = std::min(at, historyLimit);
        const size_t size = std::min(pieceSize, data.size() - at);
        d.deflatePiece(level, data.data() + at - history, history, data.data() + at, size, write);
    }
    out.insert(out.end(), std::begin(qv::Deflater::kFinalBlock), std::end(qv::Deflater::kFinalBlock));
    return out;
}

TEST(DeflatePieces, ConcatenatedPiecesInflateToTheInput)
{
    Bytes mixed = textData(150000);
    const Bytes rnd = randomData(70000, 5);
    mixed.insert(mixed.end(), rnd.begin(), rnd.end());
    const Bytes bin = binaryData(90000);
    mixed.insert(mixed.end(), bin.begin(), bin.end());
    struct Case {
        const char *name;
        size_t pieceSize;
    };
    // Piece sizes below, at and above the window, and pieces of one to four bytes.
    const Case cases[] = {{"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}, {"1000", 1000}, {"32768", 32768},
                          {"50001", 50001}, {"one piece", mixed.size()}};
    for (int level : {1, 3, 4, 6, 9}) {
        for (const Case &c : cases) {
            if (c.pieceSize < 1000 && level != 6) {
                continue;
            }
            SCOPED_TRACE("level " + std::to_string(level) + ", pieces of " + c.name);
            const Bytes input = c.pieceSize < 1000 ? Bytes(mixed.begin(), mixed.begin() + 3000) : mixed;
            const Bytes packed = deflateInPieces(input, level, c.pieceSize, qv::Deflater::kPieceHistory);
            EXPECT_TRUE(zlibInflate(packed, input.size()) == input);
        }
    }
}

TEST(DeflatePieces, HistoryIsUsedAcrossPieces)
{
    // Every piece repeats the random bytes just before it: with history, only the first one costs.
    const Bytes unit = randomData(20000, 11);
    Bytes data;
    for (int i = 0; i < 6; ++i) {
        data.insert(data.end(), unit.begin(), unit.end());
    }
    const Bytes withHistory = deflateInPieces(data, 6, unit.size(), qv::Deflater::kPieceHistory);
    const Bytes without = deflateInPieces(data, 6, unit.size(), 0);
    EXPECT_TRUE(zlibInflate(withHistory, data.size()) == data);
    EXPECT_TRUE(zlibInflate(without, data.size()) == data);
    EXPECT_LT(withHistory.size(), unit.size() + 2000);
    EXPECT_GT(without.size(), 5 * unit.size());
}

} // namespace
