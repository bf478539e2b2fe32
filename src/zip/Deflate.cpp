// Raw deflate encoder: the sliding window, the hash-chain match finder and the greedy and lazy
// parsing loops. The block layer (DeflateBlockWriter) decides how each block is sent.
#include "zip/Deflate.h"

#include "zip/DeflateBlockWriter.h"

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

constexpr unsigned kWSize = 32768;
constexpr unsigned kWMask = kWSize - 1;
constexpr unsigned kWindowBytes = 2 * kWSize;
constexpr unsigned kHashSize = 32768;
constexpr unsigned kHashMask = kHashSize - 1;
constexpr unsigned kHashShift = 5;
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 258;
constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr unsigned kMaxDist = kWSize - kMinLookahead;
constexpr unsigned kTooFar = 4096;
// Strands of a hash chain walk (see Deflater::State::links); chains of fewer than
// kStrandedChain candidates are walked as one strand.
constexpr unsigned kMaxStrands = 3;
constexpr unsigned kStrandedChain = 16;
// The match comparison reads whole machine words and may look a few bytes past the data.
constexpr unsigned kWindowSlack = 16;

struct LevelParams {
    unsigned good;
    unsigned lazy;
    unsigned nice;
    unsigned chain;
    bool fast;
};

constexpr LevelParams kLevels[10] = {
    {0, 0, 0, 0, true},          {4, 4, 8, 4, true},       {4, 5, 16, 8, true},      {4, 6, 32, 32, true},
    {4, 4, 16, 16, false},       {8, 16, 32, 32, false},   {8, 16, 128, 128, false}, {8, 32, 128, 256, false},
    {32, 128, 258, 1024, false}, {32, 258, 258, 4096, false},
};

inline uint64_t load64(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint16_t load16(const uint8_t *p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Number of equal leading bytes of a and b, at most `limit`.
inline unsigned commonPrefix(const uint8_t *a, const uint8_t *b, unsigned limit)
{
    unsigned len = 0;
    while (len < limit) {
        const uint64_t diff = load64(a + len) ^ load64(b + len);
        if (diff != 0) {
            len += static_cast<unsigned>(__builtin_ctzll(diff)) >> 3;
            return std::min(len, limit);
        }
        len += 8;
    }
    return limit;
}

} // namespace

struct Deflater::State {
    uint8_t window[kWindowBytes + kWindowSlack];
    // The hash chains: links[0][p & kWMask] is the position inserted before p with the same
    // hash, links[k] the one k+1 steps back. A walk follows `strands` interleaved strands of
    // the chain (candidate i+strands from candidate i), so the memory loads of neighbouring
    // candidates overlap instead of waiting for each other. The candidates and their order are
    // those of the plain chain.
    uint16_t links[kMaxStrands][kWSize];
    uint16_t head[kHashSize];
    DeflateBlockWriter blocks;

    const ReadFn *read = nullptr;
    bool eof = false;
    uint64_t totalIn = 0;
    LevelParams params{};
    unsigned strands = 1;
    bool lastPiece = true; // the input ends the stream (else it ends byte-aligned, not final)

    unsigned strstart = 0;
    unsigned lookahead = 0;
    int64_t blockStart = 0;
    unsigned insH = 0;
    unsigned matchStart = 0;
    unsigned matchLength = 0;
    unsigned prevLength = 0;
    unsigned prevMatch = 0;
    bool matchAvailable = false;

    State()
    {
        std::memset(window, 0, sizeof window);
        std::memset(links, 0, sizeof links);
        std::memset(head, 0, sizeof head);
    }

    void start(int level, unsigned strandChoice, const ReadFn *readFn, const WriteFn *writeFn, bool allowStoredFile,
               const uint8_t *history = nullptr, unsigned historySize = 0);
    template <unsigned S>
    void insertHistory(unsigned historySize);
    void finish()
    {
        flushBlock(lastPiece);
        if (!lastPiece) {
            blocks.endPiece();
        }
    }
    void fillWindow();
    void slide();
    template <unsigned S>
    unsigned longestMatch(unsigned curMatch, unsigned bestLen);

    // Compares one candidate with the string at `scan`; true (and bestLen, matchStart and
    // scanEnd updated) when it is longer than the best so far.
    bool tryCandidate(unsigned cand, const uint8_t *scan, unsigned maxLen, uint16_t scanStart, uint16_t &scanEnd,
                      unsigned &bestLen)
    {
        const uint8_t *match = window + cand;
        if (load16(match + bestLen - 1) != scanEnd || load16(match) != scanStart) {
            return false;
        }
        const unsigned len = commonPrefix(scan, match, maxLen);
        if (len <= bestLen) {
            return false;
        }
        matchStart = cand;
        bestLen = len;
        scanEnd = load16(scan + bestLen - 1);
        return true;
    }
    template <unsigned S>
    void deflateFast();
    template <unsigned S>
    void deflateLazy();
    // Runs the level's match loop over the whole input and reports what it wrote.
    DeflateResult run(int level);

    template <unsigned S>
    unsigned insertString(unsigned pos)
    {
        insH = ((insH << kHashShift) ^ window[pos + kMinMatch - 1]) & kHashMask;
        const unsigned h = head[insH];
        const unsigned slot = pos & kWMask;
        links[0][slot] = static_cast<uint16_t>(h);
        // Position h's own links are those of p one step further. When h is 0 the chain ends
        // here; when h has left the window its links are stale, but a walk stops at h then.
        for (unsigned k = 1; k < S; ++k) {
            links[k][slot] = h != 0 ? links[k - 1][h & kWMask] : 0;
        }
        head[insH] = static_cast<uint16_t>(pos);
        return h;
    }

    int64_t blockBytes() const { return static_cast<int64_t>(strstart) - blockStart; }

    void flushBlock(bool last)
    {
        const uint8_t *data = blockStart >= 0 ? window + blockStart : nullptr;
        blocks.flushBlock(data, blockBytes(), last);
        blockStart = strstart;
    }
};

void Deflater::State::start(int level, unsigned strandChoice, const ReadFn *readFn, const WriteFn *writeFn,
                            bool allowStoredFile, const uint8_t *history, unsigned historySize)
{
    params = kLevels[level];
    if (strandChoice == 0) {
        strands = params.chain >= kStrandedChain ? kMaxStrands : 1;
    } else {
        strands = strandChoice == 1 ? 1 : kMaxStrands;
    }
    read = readFn;
    eof = false;
    totalIn = 0;
    std::memset(head, 0, sizeof head);
    blocks.reset(level, writeFn, allowStoredFile);
    strstart = 0;
    lookahead = 0;
    blockStart = 0;
    matchStart = 0;
    matchLength = kMinMatch - 1;
    prevLength = kMinMatch - 1;
    prevMatch = 0;
    matchAvailable = false;
    lastPiece = history == nullptr;
    if (historySize > 0) {
        // The history sits in the window as if it had just been compressed.
        std::memcpy(window, history, historySize);
        strstart = historySize;
        blockStart = historySize;
    }
    fillWindow();
    insH = ((static_cast<unsigned>(window[0]) << kHashShift) ^ window[1]) & kHashMask;
}

// Every string of the history goes into the hash chains, so that matches may reach back into it.
template <unsigned S>
void Deflater::State::insertHistory(unsigned historySize)
{
    for (unsigned pos = 0; pos < historySize; ++pos) {
        insertString<S>(pos);
    }
}

void Deflater::State::slide()
{
    std::memcpy(window, window + kWSize, kWSize);
    // A pending lazy match may start below the new base: its position then wraps around, and
    // the distance, computed in the same unsigned arithmetic, still comes out right.
    matchStart -= kWSize;
    prevMatch -= kWSize;
    strstart -= kWSize;
    blockStart -= kWSize;
    for (uint16_t &h : head) {
        h = static_cast<uint16_t>(h >= kWSize ? h - kWSize : 0);
    }
    for (unsigned k = 0; k < strands; ++k) {
        for (uint16_t &p : links[k]) {
            p = static_cast<uint16_t>(p >= kWSize ? p - kWSize : 0);
        }
    }
}

void Deflater::State::fillWindow()
{
    do {
        if (strstart >= kWSize + kMaxDist) {
            slide();
        }
        if (eof) {
            return;
        }
        const unsigned room = kWindowBytes - lookahead - strstart;
        const size_t n = (*read)(window + strstart + lookahead, room);
        if (n == 0) {
            eof = true;
            // Bytes past the data take part in hashing; keep them defined.
            std::memset(window + strstart + lookahead, 0, kMinMatch);
            return;
        }
        lookahead += static_cast<unsigned>(n);
        totalIn += n;
    } while (lookahead < kMinLookahead);
}

template <unsigned S>
unsigned Deflater::State::longestMatch(unsigned curMatch, unsigned bestLen)
{
    unsigned chain = params.chain;
    if (prevLength >= params.good) {
        chain >>= 2;
    }
    const unsigned maxLen = std::min(kMaxMatch, lookahead);
    const unsigned nice = std::min(params.nice, maxLen);
    const unsigned limit = strstart > kMaxDist ? strstart - kMaxDist : 0;
    const uint8_t *scan = window + strstart;
    if (bestLen >= maxLen) {
        return bestLen;
    }
    uint16_t scanEnd = load16(scan + bestLen - 1);
    const uint16_t scanStart = load16(scan);
    // cand[k] is the k-th of the next S candidates in chain order. A candidate is used only
    // while every earlier one lies inside the window and the chain budget lasts, exactly as in
    // a walk of one strand; links read for candidates past that point are never used.
    unsigned cand[S];
    cand[0] = curMatch;
#pragma GCC unroll 8
    for (unsigned k = 1; k < S; ++k) {
        cand[k] = links[k - 1][curMatch & kWMask];
    }
    for (;;) {
        unsigned next[S];
    #pragma GCC unroll 8
    for (unsigned k = 0; k < S; ++k) {
            next[k] = links[S - 1][cand[k] & kWMask];
        }
    #pragma GCC unroll 8
    for (unsigned k = 0; k < S; ++k) {
            if (tryCandidate(cand[k], scan, maxLen, scanStart, scanEnd, bestLen) && bestLen >= nice) {
                return bestLen;
            }
            const unsigned following = k + 1 < S ? cand[k + 1] : next[0];
            if (following <= limit || --chain == 0) {
                return bestLen;
            }
        }
    #pragma GCC unroll 8
    for (unsigned k = 0; k < S; ++k) {
            cand[k] = next[k];
        }
    }
}

// Levels 1 to 3: each match is taken at once; short matches enter all their strings into the
// hash table, long ones only their first.
template <unsigned S>
void Deflater::State::deflateFast()
{
    for (;;) {
        if (lookahead < kMinLookahead) {
            fillWindow();
            if (lookahead == 0) {
                break;
            }
        }
        unsigned hashHead = 0;
        if (lookahead >= kMinMatch) {
            hashHead = insertString<S>(strstart);
        }
        unsigned length = 0;
        if (hashHead != 0 && strstart - hashHead <= kMaxDist) {
            length = longestMatch<S>(hashHead, kMinMatch - 1);
        }
        bool endBlock;
        if (length >= kMinMatch) {
            lookahead -= length;
            const unsigned distance = strstart - matchStart;
            if (length <= params.lazy && lookahead >= kMinMatch) {
                endBlock = blocks.tallyMatch(distance, length, blockBytes() + length);
                for (unsigned k = 1; k < length; ++k) {
                    insertString<S>(strstart + k);
                }
                strstart += length;
            } else {
                strstart += length;
                endBlock = blocks.tallyMatch(distance, length, blockBytes());
                insH = ((static_cast<unsigned>(window[strstart]) << kHashShift) ^ window[strstart + 1]) & kHashMask;
            }
        } else {
            endBlock = blocks.tallyLiteral(window[strstart], blockBytes() + 1);
            --lookahead;
            ++strstart;
        }
        if (endBlock) {
            flushBlock(false);
        }
    }
    finish();
}

// Levels 4 to 9: a match is only taken when the match at the next position is not longer.
template <unsigned S>
void Deflater::State::deflateLazy()
{
    for (;;) {
        if (lookahead < kMinLookahead) {
            fillWindow();
            if (lookahead == 0) {
                break;
            }
        }
        unsigned hashHead = 0;
        if (lookahead >= kMinMatch) {
            hashHead = insertString<S>(strstart);
        }
        prevLength = matchLength;
        prevMatch = matchStart;
        matchLength = kMinMatch - 1;
        if (hashHead != 0 && prevLength < params.lazy && strstart - hashHead <= kMaxDist) {
            matchLength = longestMatch<S>(hashHead, prevLength);
            if (matchLength == kMinMatch && strstart - matchStart > kTooFar) {
                matchLength = kMinMatch - 1;
            }
            if (matchLength <= prevLength) {
                matchLength = kMinMatch - 1;
            }
        }
        if (prevLength >= kMinMatch && matchLength <= prevLength) {
            const unsigned maxInsert = strstart + lookahead - kMinMatch;
            const bool endBlock = blocks.tallyMatch(strstart - 1 - prevMatch, prevLength, blockBytes() + prevLength - 1);
            // The match began at the previous position; its strings from here on go into the
            // hash table (the first one already did).
            lookahead -= prevLength - 1;
            for (unsigned k = 1; k < prevLength - 1; ++k) {
                if (strstart + k <= maxInsert) {
                    insertString<S>(strstart + k);
                }
            }
            strstart += prevLength - 1;
            matchAvailable = false;
            matchLength = kMinMatch - 1;
            if (endBlock) {
                flushBlock(false);
            }
        } else if (matchAvailable) {
            if (blocks.tallyLiteral(window[strstart - 1], blockBytes())) {
                flushBlock(false);
            }
            ++strstart;
            --lookahead;
        } else {
            matchAvailable = true;
            ++strstart;
            --lookahead;
        }
    }
    if (matchAvailable) {
        blocks.tallyLiteral(window[strstart - 1], blockBytes());
        matchAvailable = false;
    }
    finish();
}

Deflater::Deflater() : m_state(std::make_unique<State>()) {}

Deflater::~Deflater() = default;

uint16_t Deflater::flagBitsForLevel(int level)
{
    if (level == 1 || level == 2) {
        return 4;
    }
    if (level == 8 || level == 9) {
        return 2;
    }
    return 0;
}

DeflateResult Deflater::State::run(int level)
{
    if (kLevels[level].fast) {
        strands == 1 ? deflateFast<1>() : deflateFast<kMaxStrands>();
    } else {
        strands == 1 ? deflateLazy<1>() : deflateLazy<kMaxStrands>();
    }
    DeflateResult result;
    result.compressedSize = blocks.compressedSize();
    result.uncompressedSize = totalIn;
    result.internalAttributes = blocks.internalAttributes();
    return result;
}

DeflateResult Deflater::deflateFile(int level, const ReadFn &read, const WriteFn &write, bool allowStoredFile)
{
    level = std::clamp(level, 1, 9);
    State &s = *m_state;
    s.start(level, m_strands, &read, &write, allowStoredFile);
    DeflateResult result = s.run(level);
    result.stored = s.blocks.storedFile();
    return result;
}

DeflateResult Deflater::deflatePiece(int level, const uint8_t *history, size_t historySize, const uint8_t *data,
                                     size_t size, const WriteFn &write)
{
    level = std::clamp(level, 1, 9);
    historySize = std::min(historySize, kPieceHistory);
    size_t pos = 0;
    const ReadFn read = [&](uint8_t *buffer, size_t n) {
        const size_t k = std::min(n, size - pos);
        std::memcpy(buffer, data + pos, k);
        pos += k;
        return k;
    };
    static const uint8_t kNoHistory = 0;
    State &s = *m_state;
    s.start(level, m_strands, &read, &write, false, historySize > 0 ? history : &kNoHistory,
            static_cast<unsigned>(historySize));
    if (s.strands == 1) {
        s.insertHistory<1>(static_cast<unsigned>(historySize));
    } else {
        s.insertHistory<kMaxStrands>(static_cast<unsigned>(historySize));
    }
    return s.run(level);
}

DeflateResult Deflater::deflateBuffer(int level, const uint8_t *data, size_t size, std::vector<uint8_t> &out,
                                      bool allowStoredFile)
{
    size_t pos = 0;
    ReadFn read = [&](uint8_t *buffer, size_t n) {
        const size_t k = std::min(n, size - pos);
        if (k > 0) {
            std::memcpy(buffer, data + pos, k);
        }
        pos += k;
        return k;
    };
    WriteFn write = [&](const uint8_t *buffer, size_t n) { out.insert(out.end(), buffer, buffer + n); };
    Deflater deflater;
    return deflater.deflateFile(level, read, write, allowStoredFile);
}

} // namespace qv
