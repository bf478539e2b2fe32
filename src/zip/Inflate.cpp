// Inflate (RFC 1951): stored, fixed and dynamic Huffman blocks.
//
// Speed matters here: restoring a large archive is bound by this loop. The bit buffer is 64 bits
// wide and refilled from the input buffer with one unaligned load, so one refill covers a whole
// length/distance pair; Huffman codes decode through a 10-bit (literal/length) and 8-bit
// (distance) main table. Output goes into a window with 32 KiB of history and a large chunk that
// is flushed to the sink when full; matches copy eight bytes at a time where they may.
#include "zip/DecodeIO.h"
#include "zip/HuffmanTable.h"

#include <algorithm>
#include <new>

namespace qv {
namespace {

using namespace huff;

constexpr unsigned kLitBits = 10;
constexpr unsigned kDistBits = 8;
constexpr std::size_t kLitCapacity = (1u << kLitBits) + 288 * 32;
constexpr std::size_t kDistCapacity = (1u << kDistBits) + 32 * 128;
constexpr std::size_t kHistory = 32768;
constexpr std::size_t kChunk = 1u << 18;
constexpr std::size_t kSlack = 258 + 16;
constexpr std::size_t kInBuf = 1u << 15;

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                         33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

struct ResultTables
{
    std::uint32_t lit[288];
    std::uint32_t dist[32];
    std::uint32_t plain[19];
    ResultTables()
    {
        for (std::uint32_t s = 0; s < 288; ++s) {
            if (s < 256) {
                lit[s] = entry(kLiteral, s);
            } else if (s == 256) {
                lit[s] = entry(kEnd, 0);
            } else if (s < 286) {
                lit[s] = entry(kLength, kLengthBase[s - 257], kLengthExtra[s - 257]);
            } else {
                lit[s] = entry(kInvalid, 0);
            }
        }
        for (std::uint32_t s = 0; s < 32; ++s) {
            dist[s] = s < 30 ? entry(kValue, kDistBase[s], kDistExtra[s]) : entry(kInvalid, 0);
        }
        for (std::uint32_t s = 0; s < 19; ++s) {
            plain[s] = entry(kValue, s);
        }
    }
};

const ResultTables &results()
{
    static const ResultTables r;
    return r;
}

struct FixedTables
{
    std::uint32_t lit[kLitCapacity];
    std::uint32_t dist[kDistCapacity];
    FixedTables()
    {
        std::uint8_t lens[288];
        std::fill(lens, lens + 144, 8);
        std::fill(lens + 144, lens + 256, 9);
        std::fill(lens + 256, lens + 280, 7);
        std::fill(lens + 280, lens + 288, 8);
        buildTable(lens, 288, results().lit, kLitBits, lit, kLitCapacity);
        std::uint8_t dl[32];
        std::fill(dl, dl + 32, 5);
        buildTable(dl, 32, results().dist, kDistBits, dist, kDistCapacity);
    }
};

const FixedTables &fixedTables()
{
    static const FixedTables t;
    return t;
}

inline std::uint64_t load64le(const std::uint8_t *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

class Inflater
{
public:
    Inflater(ByteSource &source, ByteSink &sink) : m_source(source), m_sink(sink) {}

    DecodeStatus run()
    {
        try {
            m_in.reset(new std::uint8_t[kInBuf + 8]);
            m_win.reset(new std::uint8_t[kHistory + kChunk + kSlack]);
            m_litTable.reset(new std::uint32_t[kLitCapacity]);
            m_distTable.reset(new std::uint32_t[kDistCapacity]);
        } catch (const std::bad_alloc &) {
            return DecodeStatus::OutOfMemory;
        }
        m_next = m_end = m_in.get();
        bool last = false;
        DecodeStatus st = DecodeStatus::Ok;
        while (!last && st == DecodeStatus::Ok) {
            refill();
            if (truncated()) {
                return DecodeStatus::Truncated;
            }
            last = take(1) != 0;
            const unsigned type = take(2);
            if (type == 0) {
                st = storedBlock();
            } else if (type == 1) {
                st = huffmanBlock(fixedTables().lit, fixedTables().dist);
            } else if (type == 2) {
                st = dynamicBlock();
            } else {
                st = DecodeStatus::DataError;
            }
        }
        flush();
        return st;
    }

private:
    // --- input -----------------------------------------------------------------------------

    std::uint32_t take(unsigned n)
    {
        const auto v = static_cast<std::uint32_t>(m_bits & ((std::uint64_t{1} << n) - 1));
        m_bits >>= n;
        m_count -= n;
        return v;
    }

    bool truncated() const { return m_pad > m_count; }

    // At least 56 bits in the buffer afterwards (zeros past the end of the input).
    void refill()
    {
        if (m_end - m_next >= 8) {
            m_bits |= load64le(m_next) << m_count;
            m_next += (63 - m_count) >> 3;
            m_count |= 56;
            return;
        }
        slowRefill();
    }

    bool loadInput()
    {
        if (m_dry) {
            return false;
        }
        const std::size_t keep = static_cast<std::size_t>(m_end - m_next);
        std::memmove(m_in.get(), m_next, keep);
        m_next = m_in.get();
        m_end = m_next + keep;
        while (static_cast<std::size_t>(m_end - m_next) < 8) {
            const std::size_t got = m_source.fill(m_end, kInBuf - static_cast<std::size_t>(m_end - m_next));
            if (got == 0) {
                m_dry = true;
                break;
            }
            m_end += got;
        }
        return m_end > m_next;
    }

    void slowRefill()
    {
        if (!m_dry) {
            loadInput();
            if (m_end - m_next >= 8) {
                refill();
                return;
            }
        }
        while (m_count <= 56) {
            if (m_next < m_end) {
                m_bits |= static_cast<std::uint64_t>(*m_next++) << m_count;
            } else {
                m_pad += 8;
            }
            m_count += 8;
        }
    }

    // --- output ----------------------------------------------------------------------------

    void flush()
    {
        if (m_pos > m_flushed) {
            m_sink.write(m_win.get() + m_flushed, m_pos - m_flushed);
        }
        const std::size_t keep = std::min(m_pos, kHistory);
        std::memmove(m_win.get(), m_win.get() + m_pos - keep, keep);
        m_pos = keep;
        m_flushed = keep;
    }

    // --- blocks ----------------------------------------------------------------------------

    DecodeStatus storedBlock()
    {
        take(m_count & 7);
        refill();
        const std::uint32_t len = take(16);
        const std::uint32_t nlen = take(16);
        if (truncated()) {
            return DecodeStatus::Truncated;
        }
        if ((len ^ 0xFFFFu) != nlen) {
            return DecodeStatus::DataError;
        }
        std::uint32_t left = len;
        // Whole bytes still in the bit buffer come first.
        while (left > 0 && m_count >= 8) {
            if (m_count - 8 < m_pad) {
                return DecodeStatus::Truncated;
            }
            putByte(static_cast<std::uint8_t>(take(8)));
            --left;
        }
        if (m_count == 0 || left > 0) {
            m_bits = 0;
            m_count = 0;
        }
        while (left > 0) {
            if (m_next == m_end && !loadInput()) {
                return DecodeStatus::Truncated;
            }
            std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(m_end - m_next));
            n = std::min(n, kHistory + kChunk - m_pos);
            std::memcpy(m_win.get() + m_pos, m_next, n);
            m_pos += n;
            m_total += n;
            m_next += n;
            left -= static_cast<std::uint32_t>(n);
            if (m_pos >= kHistory + kChunk) {
                flush();
            }
        }
        return DecodeStatus::Ok;
    }

    void putByte(std::uint8_t b)
    {
        m_win[m_pos++] = b;
        ++m_total;
        if (m_pos >= kHistory + kChunk) {
            flush();
        }
    }

    DecodeStatus dynamicBlock()
    {
        refill();
        const unsigned nlit = take(5) + 257;
        const unsigned ndist = take(5) + 1;
        const unsigned ncode = take(4) + 4;
        if (nlit > 286 || ndist > 30) {
            return DecodeStatus::DataError;
        }
        std::uint8_t codeLens[19] = {};
        for (unsigned i = 0; i < ncode; ++i) {
            if ((i & 7) == 0) {
                refill();
            }
            codeLens[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(take(3));
        }
        std::uint32_t clTable[128];
        if (!buildTable(codeLens, 19, results().plain, 7, clTable, 128)) {
            return DecodeStatus::DataError;
        }
        std::uint8_t lens[288 + 32] = {};
        unsigned n = 0;
        while (n < nlit + ndist) {
            refill();
            if (truncated()) {
                return DecodeStatus::Truncated;
            }
            const std::uint32_t e = clTable[m_bits & 127];
            if (entryKind(e) != kValue) {
                return DecodeStatus::DataError;
            }
            take(entryBits(e));
            const unsigned sym = entryValue(e);
            if (sym < 16) {
                lens[n++] = static_cast<std::uint8_t>(sym);
                continue;
            }
            unsigned repeat = 0;
            std::uint8_t value = 0;
            if (sym == 16) {
                if (n == 0) {
                    return DecodeStatus::DataError;
                }
                value = lens[n - 1];
                repeat = 3 + take(2);
            } else if (sym == 17) {
                repeat = 3 + take(3);
            } else {
                repeat = 11 + take(7);
            }
            if (n + repeat > nlit + ndist) {
                return DecodeStatus::DataError;
            }
            while (repeat-- > 0) {
                lens[n++] = value;
            }
        }
        if (truncated()) {
            return DecodeStatus::Truncated;
        }
        if (lens[256] == 0) {
            return DecodeStatus::DataError; // no end-of-block code
        }
        if (!buildTable(lens, nlit, results().lit, kLitBits, m_litTable.get(), kLitCapacity) ||
            !buildTable(lens + nlit, ndist, results().dist, kDistBits, m_distTable.get(), kDistCapacity)) {
            return DecodeStatus::DataError;
        }
        return huffmanBlock(m_litTable.get(), m_distTable.get());
    }

    DecodeStatus huffmanBlock(const std::uint32_t *lit, const std::uint32_t *dist)
    {
        constexpr std::uint64_t kLitMask = (1u << kLitBits) - 1;
        constexpr std::uint64_t kDistMask = (1u << kDistBits) - 1;
        std::uint8_t *const win = m_win.get();
        for (;;) {
            if (m_pos >= kHistory + kChunk) {
                flush();
            }
            refill();
            if (m_pad != 0 && truncated()) {
                return DecodeStatus::Truncated;
            }
            std::uint32_t e = lit[m_bits & kLitMask];
            if (entryKind(e) == kSub) {
                m_bits >>= kLitBits;
                m_count -= kLitBits;
                e = lit[entryValue(e) + (m_bits & ((1u << entryExtra(e)) - 1))];
            }
            m_bits >>= entryBits(e);
            m_count -= entryBits(e);
            const std::uint32_t kind = entryKind(e);
            if (kind == kLiteral) {
                win[m_pos++] = static_cast<std::uint8_t>(entryValue(e));
                ++m_total;
                // A second literal often follows; the buffer still holds enough bits for it.
                if (m_count >= 15 + 0) {
                    std::uint32_t e2 = lit[m_bits & kLitMask];
                    if (entryKind(e2) == kLiteral) {
                        m_bits >>= entryBits(e2);
                        m_count -= entryBits(e2);
                        win[m_pos++] = static_cast<std::uint8_t>(entryValue(e2));
                        ++m_total;
                    }
                }
                continue;
            }
            if (kind == kLength) {
                const std::uint32_t len = entryValue(e) + take(entryExtra(e));
                std::uint32_t d = dist[m_bits & kDistMask];
                if (entryKind(d) == kSub) {
                    m_bits >>= kDistBits;
                    m_count -= kDistBits;
                    d = dist[entryValue(d) + (m_bits & ((1u << entryExtra(d)) - 1))];
                }
                if (entryKind(d) != kValue) {
                    return truncated() ? DecodeStatus::Truncated : DecodeStatus::DataError;
                }
                m_bits >>= entryBits(d);
                m_count -= entryBits(d);
                const std::uint32_t distance = entryValue(d) + take(entryExtra(d));
                if (truncated()) {
                    return DecodeStatus::Truncated;
                }
                if (distance > m_total) {
                    return DecodeStatus::DataError;
                }
                copyMatch(win, distance, len);
                continue;
            }
            if (truncated()) {
                return DecodeStatus::Truncated;
            }
            return kind == kEnd ? DecodeStatus::Ok : DecodeStatus::DataError;
        }
    }

    void copyMatch(std::uint8_t *win, std::uint32_t distance, std::uint32_t len)
    {
        std::uint8_t *out = win + m_pos;
        const std::uint8_t *src = out - distance;
        if (distance >= 8) {
            for (std::uint32_t i = 0; i < len; i += 8) {
                std::memcpy(out + i, src + i, 8);
            }
        } else if (distance == 1) {
            std::memset(out, *src, len);
        } else {
            for (std::uint32_t i = 0; i < len; ++i) {
                out[i] = src[i];
            }
        }
        m_pos += len;
        m_total += len;
    }

    ByteSource &m_source;
    ByteSink &m_sink;
    std::unique_ptr<std::uint8_t[]> m_in;
    std::unique_ptr<std::uint8_t[]> m_win;
    std::unique_ptr<std::uint32_t[]> m_litTable;
    std::unique_ptr<std::uint32_t[]> m_distTable;
    std::uint8_t *m_next = nullptr;
    std::uint8_t *m_end = nullptr;
    bool m_dry = false;
    std::uint64_t m_bits = 0;
    unsigned m_count = 0;
    unsigned m_pad = 0;
    std::size_t m_pos = 0;
    std::size_t m_flushed = 0;
    std::uint64_t m_total = 0;
};

} // namespace

DecodeStatus inflateStream(ByteSource &source, ByteSink &sink)
{
    Inflater inflater(source, sink);
    return inflater.run();
}

} // namespace qv
