// Explode (method 6): the "imploded" format of PKZIP 1.x.
//
// Literals (Shannon-Fano coded when a literal tree is present, else raw bytes) alternate with
// copies whose length and upper distance bits come from two more trees. The trees are sent as
// run-length-coded bit lengths. Their codes are the complement of the canonical Huffman codes of
// the same lengths, so the canonical tables decode them from the complemented bit buffer.
#include "zip/DecodeIO.h"
#include "zip/HuffmanTable.h"

#include <vector>

namespace qv {
namespace {

using namespace huff;

constexpr unsigned kMainBits = 8;
// Real trees need a few subtables; a tree of many 16-bit codes may need up to the full bound.
constexpr std::size_t kSmallCapacity = (1u << kMainBits) + 16 * 256;
constexpr std::size_t kFullCapacity = (1u << kMainBits) + 256 * 256;

struct Tree
{
    std::vector<std::uint32_t> table;
};

bool readTree(BitReader &in, unsigned symbols, Tree &tree)
{
    std::uint8_t lengths[256] = {};
    const unsigned bytes = in.take(8) + 1;
    unsigned n = 0;
    for (unsigned i = 0; i < bytes; ++i) {
        const unsigned b = in.take(8);
        const unsigned len = (b & 15) + 1;
        const unsigned run = (b >> 4) + 1;
        if (n + run > symbols) {
            return false;
        }
        for (unsigned k = 0; k < run; ++k) {
            lengths[n++] = static_cast<std::uint8_t>(len);
        }
    }
    if (n != symbols || in.overrun()) {
        return false;
    }
    std::uint32_t results[256];
    for (std::uint32_t s = 0; s < symbols; ++s) {
        results[s] = entry(kValue, s);
    }
    tree.table.resize(kSmallCapacity);
    if (buildTable(lengths, symbols, results, kMainBits, tree.table.data(), tree.table.size())) {
        return true;
    }
    tree.table.resize(kFullCapacity);
    return buildTable(lengths, symbols, results, kMainBits, tree.table.data(), tree.table.size());
}

// Decodes one symbol; -1 for an invalid code.
int decode(BitReader &in, const Tree &tree)
{
    in.need(16);
    const std::uint64_t inverted = ~in.bits();
    std::uint32_t e = tree.table[inverted & ((1u << kMainBits) - 1)];
    if (entryKind(e) == kSub) {
        e = tree.table[entryValue(e) + ((inverted >> kMainBits) & ((1u << entryExtra(e)) - 1))];
        if (entryKind(e) != kValue) {
            return -1;
        }
        in.drop(kMainBits + entryBits(e));
        return static_cast<int>(entryValue(e));
    }
    if (entryKind(e) != kValue) {
        return -1;
    }
    in.drop(entryBits(e));
    return static_cast<int>(entryValue(e));
}

} // namespace

DecodeStatus explodeStream(ByteSource &source, ByteSink &sink, std::uint64_t size, bool window8k,
                           bool threeTrees)
{
    BitReader in(source);
    HistoryWindow out(sink);
    Tree literal;
    Tree length;
    Tree distance;
    if ((threeTrees && !readTree(in, 256, literal)) || !readTree(in, 64, length) ||
        !readTree(in, 64, distance)) {
        return in.overrun() ? DecodeStatus::Truncated : DecodeStatus::DataError;
    }
    const unsigned lowBits = window8k ? 7 : 6;
    const unsigned minMatch = threeTrees ? 3 : 2;
    while (out.total() < size) {
        if (in.take(1) != 0) {
            const int c = threeTrees ? decode(in, literal) : static_cast<int>(in.take(8));
            if (c < 0) {
                out.flush();
                return DecodeStatus::DataError;
            }
            if (in.overrun()) {
                break;
            }
            out.put(static_cast<std::uint8_t>(c));
            continue;
        }
        const unsigned low = in.take(lowBits);
        const int high = decode(in, distance);
        const int lenSym = high < 0 ? -1 : decode(in, length);
        if (lenSym < 0) {
            out.flush();
            return DecodeStatus::DataError;
        }
        std::uint64_t len = static_cast<unsigned>(lenSym);
        if (lenSym == 63) {
            len += in.take(8);
        }
        len += minMatch;
        if (in.overrun()) {
            break;
        }
        const std::size_t dist = ((static_cast<std::size_t>(high) << lowBits) | low) + 1;
        if (len > size - out.total()) {
            len = size - out.total();
        }
        out.copy(dist, static_cast<std::size_t>(len));
    }
    out.flush();
    return out.total() < size ? DecodeStatus::Truncated : DecodeStatus::Ok;
}

} // namespace qv
