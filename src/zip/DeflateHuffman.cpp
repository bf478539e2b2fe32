// Length-limited Huffman codes for the deflate encoder.
#include "zip/DeflateHuffman.h"

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

constexpr int kMaxSymbols = 288;
constexpr int kMaxCodeBitsPlusOne = 16;

// In-place minimum-redundancy code lengths (Moffat and Katajainen): `a` holds the weights of n
// symbols in ascending order and receives their code lengths in the same order.
void minimumRedundancy(uint32_t *a, int n)
{
    if (n == 1) {
        a[0] = 1;
        return;
    }
    // Phase 1: build the tree; internal nodes store the index of their parent.
    a[0] += a[1];
    int root = 0;
    int leaf = 2;
    for (int next = 1; next < n - 1; ++next) {
        if (leaf >= n || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = static_cast<uint32_t>(next);
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= n || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = static_cast<uint32_t>(next);
        } else {
            a[next] += a[leaf++];
        }
    }
    // Phase 2: depth of every internal node.
    a[n - 2] = 0;
    for (int next = n - 3; next >= 0; --next) {
        a[next] = a[a[next]] + 1;
    }
    // Phase 3: depth of every leaf.
    int available = 1;
    int used = 0;
    uint32_t depth = 0;
    root = n - 2;
    int next = n - 1;
    while (available > 0) {
        while (root >= 0 && a[root] == depth) {
            ++used;
            --root;
        }
        while (available > used) {
            a[next--] = depth;
            --available;
        }
        available = 2 * used;
        ++depth;
        used = 0;
    }
}

} // namespace

void buildCodeLengths(const uint32_t *freqs, int count, int maxBits, uint8_t *lengths)
{
    std::memset(lengths, 0, static_cast<size_t>(count));
    // Sort the used symbols by frequency (ties by symbol, so the result is deterministic).
    uint16_t order[kMaxSymbols];
    int used = 0;
    for (int s = 0; s < count; ++s) {
        if (freqs[s] != 0) {
            order[used++] = static_cast<uint16_t>(s);
        }
    }
    if (used < 2) {
        // One or no symbol: send a complete code of two one-bit symbols.
        int first = used == 1 ? order[0] : 0;
        int second = first == 0 ? 1 : 0;
        lengths[first] = 1;
        lengths[second] = 1;
        return;
    }
    std::sort(order, order + used, [freqs](uint16_t x, uint16_t y) {
        return freqs[x] != freqs[y] ? freqs[x] < freqs[y] : x < y;
    });
    uint32_t work[kMaxSymbols];
    for (int i = 0; i < used; ++i) {
        work[i] = freqs[order[i]];
    }
    minimumRedundancy(work, used);

    // Count the codes of each length, folding longer ones into the maximum.
    int lengthCount[32] = {};
    for (int i = 0; i < used; ++i) {
        ++lengthCount[std::min<int>(static_cast<int>(work[i]), maxBits)];
    }
    // Restore the Kraft sum: each step turns a leaf at the maximum depth plus a shallower leaf
    // into two leaves one level deeper than that shallower one.
    uint32_t kraft = 0;
    for (int len = maxBits; len > 0; --len) {
        kraft += static_cast<uint32_t>(lengthCount[len]) << (maxBits - len);
    }
    while (kraft > (1u << maxBits)) {
        --lengthCount[maxBits];
        for (int len = maxBits - 1; len > 0; --len) {
            if (lengthCount[len] != 0) {
                --lengthCount[len];
                lengthCount[len + 1] += 2;
                break;
            }
        }
        --kraft;
    }
    // Hand out the lengths: the longest codes go to the least frequent symbols.
    int i = 0;
    for (int len = maxBits; len > 0; --len) {
        for (int k = lengthCount[len]; k > 0; --k) {
            lengths[order[i++]] = static_cast<uint8_t>(len);
        }
    }
}

void assignCanonicalCodes(const uint8_t *lengths, int count, uint16_t *codes)
{
    int lengthCount[kMaxCodeBitsPlusOne] = {};
    for (int s = 0; s < count; ++s) {
        ++lengthCount[lengths[s]];
    }
    lengthCount[0] = 0;
    uint32_t nextCode[kMaxCodeBitsPlusOne] = {};
    uint32_t code = 0;
    for (int len = 1; len < kMaxCodeBitsPlusOne; ++len) {
        code = (code + static_cast<uint32_t>(lengthCount[len - 1])) << 1;
        nextCode[len] = code;
    }
    for (int s = 0; s < count; ++s) {
        int len = lengths[s];
        if (len == 0) {
            codes[s] = 0;
            continue;
        }
        uint32_t c = nextCode[len]++;
        uint32_t reversed = 0;
        for (int b = 0; b < len; ++b) {
            reversed = (reversed << 1) | ((c >> b) & 1u);
        }
        codes[s] = static_cast<uint16_t>(reversed);
    }
}

} // namespace qv
