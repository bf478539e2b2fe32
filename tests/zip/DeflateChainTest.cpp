// Deflate match finder: walking the hash chains in several interleaved strands must find exactly
// the candidates of a plain one-strand walk, so the output bytes may not depend on the walk, on
// the read sizes, or on what the same encoder object compressed before; zlib inflates every
// stream as the control decoder.
#include "zip/Deflate.h"

#include "ZlibPeer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using ziptest::zlibInflate;

// Compresses `data` with the given encoder, reading pieces of at most `piece` bytes (0: as much
// as the encoder asks for).
Bytes pack(qv::Deflater &d, int level, const Bytes &data, size_t piece = 0, uint32_t seed = 0)
{
    std::mt19937 rng(seed);
    size_t pos = 0;
    Bytes out;
    d.deflateFile(
        level,
        [&](uint8_t *buf, size_t n) {
            size_t k = std::min(n, data.size() - pos);
            if (piece != 0) {
                k = std::min<size_t>(k, 1 + rng() % piece);
            }
            if (k > 0) {
                std::memcpy(buf, data.data() + pos, k);
            }
            pos += k;
            return k;
        },
        [&](const uint8_t *buf, size_t n) { out.insert(out.end(), buf, buf + n); }, false);
    return out;
}

// Inputs whose chains are long, full of hash collisions, or reach across the window's slide.
struct Input {
    std::string name;
    Bytes data;
};

std::vector<Input> inputs()
{
    std::vector<Input> in;
    std::mt19937 rng(31);
    {
        // A small alphabet: every chain is long and most candidates match only briefly.
        Bytes b(300000);
        for (auto &c : b) {
            c = static_cast<uint8_t>("abcd"[rng() % 4]);
        }
        in.push_back({"four letters", b});
    }
    {
        // Bytes that differ only in their top three bits share a hash: chains are mostly
        // collisions that the comparison has to reject.
        Bytes b(250000);
        for (auto &c : b) {
            c = static_cast<uint8_t>(((rng() % 8) << 5) | (rng() % 2));
        }
        in.push_back({"hash collisions", b});
    }
    {
        // Random records repeated at distances just inside and just beyond the window's reach.
        Bytes b;
        while (b.size() < 400000) {
            if (b.size() > 33000 && rng() % 3 == 0) {
                const size_t distance = 32400 + rng() % 400;
                const size_t len = 3 + rng() % 280;
                for (size_t k = 0; k < len; ++k) {
                    b.push_back(b[b.size() - distance]);
                }
            } else {
                for (int k = 0; k < 200; ++k) {
                    b.push_back(static_cast<uint8_t>(rng() % 16));
                }
            }
        }
        in.push_back({"far repeats", b});
    }
    {
        // Runs, zeros and noise as in executables.
        Bytes b;
        while (b.size() < 300000) {
            const uint32_t kind = rng() % 3;
            const size_t len = 1 + rng() % 3000;
            for (size_t k = 0; k < len; ++k) {
                b.push_back(kind == 0 ? 0 : kind == 1 ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(k % 7));
            }
        }
        in.push_back({"runs and noise", b});
    }
    {
        // Text with many short repeats.
        static const char *words[] = {"sync ", "backup ", "back ", "up ", "task\n", "tasks ", "ask ", "folder "};
        Bytes b;
        while (b.size() < 200000) {
            const char *w = words[rng() % 8];
            b.insert(b.end(), w, w + std::strlen(w));
        }
        in.push_back({"words", b});
    }
    return in;
}

TEST(DeflateChains, StrandedWalkGivesTheBytesOfAPlainWalk)
{
    const std::vector<Input> all = inputs();
    qv::Deflater plain;
    plain.setChainStrands(1);
    qv::Deflater stranded;
    stranded.setChainStrands(4);
    qv::Deflater byLevel;
    for (int level = 1; level <= 9; ++level) {
        for (const Input &input : all) {
            SCOPED_TRACE(input.name + ", level " + std::to_string(level));
            const Bytes a = pack(plain, level, input.data);
            const Bytes b = pack(stranded, level, input.data);
            const Bytes c = pack(byLevel, level, input.data);
            ASSERT_EQ(zlibInflate(a, input.data.size()), input.data);
            EXPECT_TRUE(a == b) << "sizes " << a.size() << " and " << b.size();
            EXPECT_TRUE(a == c) << "sizes " << a.size() << " and " << c.size();
        }
    }
}

// The bytes do not depend on how the input arrives, nor on the files and levels the same
// encoder object compressed before (its chains hold positions of those files).
TEST(DeflateChains, BytesIndependentOfReadSizesAndEarlierFiles)
{
    const std::vector<Input> all = inputs();
    qv::Deflater reused;
    std::mt19937 rng(7);
    for (int round = 0; round < 12; ++round) {
        const Input &input = all[rng() % all.size()];
        const int level = 1 + static_cast<int>(rng() % 9);
        SCOPED_TRACE(input.name + ", level " + std::to_string(level) + ", round " + std::to_string(round));
        qv::Deflater fresh;
        const Bytes expected = pack(fresh, level, input.data);
        const size_t piece = round % 3 == 0 ? 0 : (round % 3 == 1 ? 700 : 40000);
        const Bytes got = pack(reused, level, input.data, piece, static_cast<uint32_t>(round));
        EXPECT_TRUE(got == expected) << "sizes " << got.size() << " and " << expected.size();
        ASSERT_EQ(zlibInflate(got, input.data.size()), input.data);
    }
}

} // namespace
