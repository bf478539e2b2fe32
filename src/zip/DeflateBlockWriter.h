// Block layer of the deflate encoder: collects literals and matches of the current block, decides
// how the block is sent (stored, fixed codes, dynamic codes or, for a whole small file, no
// framing at all) and writes it through the bit writer.
#pragma once

#include "zip/Deflate.h"
#include "zip/DeflateTables.h"

#include <cstdint>

namespace qv {

class DeflateBlockWriter
{
public:
    static constexpr unsigned kBufferEntries = 32768;

    DeflateBlockWriter();

    void reset(int level, const Deflater::WriteFn *write, bool allowStoredFile);

    // Record one literal; `blockBytes` is how many input bytes the block covers so far. True
    // when the block should end now.
    bool tallyLiteral(uint8_t c, int64_t blockBytes)
    {
        m_dist[m_last] = 0;
        m_lit[m_last++] = c;
        ++m_litFreq[c];
        if ((m_last & 0xFFF) == 0 && m_level > 2 && endEarly(blockBytes)) {
            return true;
        }
        return m_last == kBufferEntries - 1;
    }

    // Record one match (distance 1..32768, length 3..258). True when the block should end now.
    bool tallyMatch(unsigned distance, unsigned length, int64_t blockBytes)
    {
        m_dist[m_last] = static_cast<uint16_t>(distance);
        m_lit[m_last++] = static_cast<uint8_t>(length - 3);
        ++m_matches;
        ++m_litFreq[kDeflateEndOfBlock + 1 + m_tables.lengthCode[length - 3]];
        ++m_distFreq[m_tables.distanceCodeOf(distance - 1)];
        if ((m_last & 0xFFF) == 0 && m_level > 2 && endEarly(blockBytes)) {
            return true;
        }
        return m_last == kBufferEntries - 1;
    }

    // Ends the current block. `data` points at the block's input bytes while they are still in
    // the window, else it is null (the block can then not be stored).
    void flushBlock(const uint8_t *data, int64_t size, bool last);

    // Ends a piece that is not the end of the stream: the last block was sent as not final; an
    // empty stored block brings the output to a byte boundary when it is not there already.
    void endPiece();

    uint64_t compressedSize() const { return m_totalOut; }
    bool storedFile() const { return m_storedFile; }
    uint16_t internalAttributes() const { return m_internalAttributes; }

private:
    struct Tree {
        uint8_t length[kDeflateFixedLiteralSymbols];
        uint16_t code[kDeflateFixedLiteralSymbols];
    };

    bool endEarly(int64_t blockBytes) const;
    void startBlock();
    void decideFileType();
    uint64_t buildDynamicTrees();
    uint64_t fixedCodeBits() const;
    void sendStoredBlock(const uint8_t *data, int64_t size, bool last);
    void sendTreeHeader();
    void sendCodes(const uint16_t *litCode, const uint8_t *litLength, const uint16_t *distCode,
                   const uint8_t *distLength);

    void putBits(uint32_t value, unsigned count)
    {
        m_bitBuffer |= static_cast<uint64_t>(value) << m_bitCount;
        m_bitCount += count;
        if (m_bitCount >= 32) {
            putWord();
        }
    }
    void putWord();
    void putByte(uint8_t b);
    void alignToByte();
    void putRaw(const uint8_t *data, size_t size);
    void flushOutput();

    const DeflateTables &m_tables;
    const Deflater::WriteFn *m_write = nullptr;
    int m_level = 6;
    bool m_allowStoredFile = true;

    uint8_t m_lit[kBufferEntries];  // literal byte, or match length minus 3
    uint16_t m_dist[kBufferEntries]; // 0 for a literal, else the match distance
    unsigned m_last = 0;
    unsigned m_matches = 0;
    uint32_t m_litFreq[kDeflateFixedLiteralSymbols];
    uint32_t m_distFreq[kDeflateDistanceCodes];

    Tree m_litTree;
    Tree m_distTree;
    uint8_t m_clLength[kDeflateCodeLengthSymbols];
    uint16_t m_clCode[kDeflateCodeLengthSymbols];
    // Run-length coded code lengths of the current dynamic block: symbol and extra value.
    uint8_t m_clSymbols[kDeflateFixedLiteralSymbols + kDeflateDistanceCodes];
    uint8_t m_clExtra[kDeflateFixedLiteralSymbols + kDeflateDistanceCodes];
    unsigned m_clCount = 0;
    unsigned m_hlit = 0;
    unsigned m_hdist = 0;
    unsigned m_hclen = 0;

    uint64_t m_bitBuffer = 0;
    unsigned m_bitCount = 0;
    uint8_t m_out[Deflater::kOutputPiece];
    size_t m_outPos = 0;
    uint64_t m_totalOut = 0;
    bool m_anythingSent = false;
    bool m_storedFile = false;
    uint16_t m_internalAttributes = 2;
};

} // namespace qv
