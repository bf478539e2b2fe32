// Block layer of the deflate encoder: block statistics, the choice of block type, code trees and
// the bit writer.
#include "zip/DeflateBlockWriter.h"

#include "zip/DeflateHuffman.h"

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

constexpr unsigned kStoredBlockMax = 65535;

} // namespace

DeflateBlockWriter::DeflateBlockWriter() : m_tables(DeflateTables::get())
{
    std::memset(m_lit, 0, sizeof m_lit);
    std::memset(m_dist, 0, sizeof m_dist);
    startBlock();
}

void DeflateBlockWriter::reset(int level, const Deflater::WriteFn *write, bool allowStoredFile)
{
    m_level = level;
    m_write = write;
    m_allowStoredFile = allowStoredFile;
    m_bitBuffer = 0;
    m_bitCount = 0;
    m_outPos = 0;
    m_totalOut = 0;
    m_anythingSent = false;
    m_storedFile = false;
    m_internalAttributes = 2;
    startBlock();
}

void DeflateBlockWriter::startBlock()
{
    std::memset(m_litFreq, 0, sizeof m_litFreq);
    std::memset(m_distFreq, 0, sizeof m_distFreq);
    m_litFreq[kDeflateEndOfBlock] = 1;
    m_last = 0;
    m_matches = 0;
}

bool DeflateBlockWriter::endEarly(int64_t blockBytes) const
{
    // End the block early when it compresses well and mostly by literals: a fresh set of codes
    // is then likely to pay for its header.
    uint64_t bits = static_cast<uint64_t>(m_last) * 8;
    for (int d = 0; d < kDeflateDistanceCodes; ++d) {
        bits += static_cast<uint64_t>(m_distFreq[d]) * (5u + m_tables.distanceExtra[d]);
    }
    const uint64_t bytes = bits >> 3;
    return m_matches < m_last / 2 && static_cast<int64_t>(bytes) < blockBytes / 2;
}

void DeflateBlockWriter::decideFileType()
{
    uint64_t binary = 0;
    uint64_t text = 0;
    for (int c = 0; c < 7; ++c) {
        binary += m_litFreq[c];
    }
    for (int c = 7; c < 128; ++c) {
        text += m_litFreq[c];
    }
    for (int c = 128; c < 256; ++c) {
        binary += m_litFreq[c];
    }
    m_internalAttributes = binary > (text >> 2) ? 0 : 1;
}

uint64_t DeflateBlockWriter::buildDynamicTrees()
{
    buildCodeLengths(m_litFreq, kDeflateLiteralSymbols, kDeflateMaxBits, m_litTree.length);
    buildCodeLengths(m_distFreq, kDeflateDistanceCodes, kDeflateMaxBits, m_distTree.length);
    assignCanonicalCodes(m_litTree.length, kDeflateLiteralSymbols, m_litTree.code);
    assignCanonicalCodes(m_distTree.length, kDeflateDistanceCodes, m_distTree.code);

    m_hlit = kDeflateLiteralSymbols;
    while (m_hlit > 257 && m_litTree.length[m_hlit - 1] == 0) {
        --m_hlit;
    }
    m_hdist = kDeflateDistanceCodes;
    while (m_hdist > 1 && m_distTree.length[m_hdist - 1] == 0) {
        --m_hdist;
    }
    // The two length lists are sent as one sequence, run-length coded with symbols 16 (repeat
    // the previous length 3-6 times), 17 (3-10 zeros) and 18 (11-138 zeros).
    uint8_t lengths[kDeflateLiteralSymbols + kDeflateDistanceCodes];
    std::memcpy(lengths, m_litTree.length, m_hlit);
    std::memcpy(lengths + m_hlit, m_distTree.length, m_hdist);
    const unsigned total = m_hlit + m_hdist;
    uint32_t clFreq[kDeflateCodeLengthSymbols] = {};
    m_clCount = 0;
    auto emit = [&](unsigned symbol, unsigned extra) {
        m_clSymbols[m_clCount] = static_cast<uint8_t>(symbol);
        m_clExtra[m_clCount++] = static_cast<uint8_t>(extra);
        ++clFreq[symbol];
    };
    for (unsigned i = 0; i < total;) {
        const uint8_t len = lengths[i];
        unsigned run = 1;
        while (i + run < total && lengths[i + run] == len) {
            ++run;
        }
        i += run;
        if (len == 0) {
            while (run >= 11) {
                unsigned n = std::min(run, 138u);
                emit(18, n - 11);
                run -= n;
            }
            if (run >= 3) {
                emit(17, run - 3);
                run = 0;
            }
        } else {
            emit(len, 0);
            --run;
            while (run >= 3) {
                unsigned n = std::min(run, 6u);
                emit(16, n - 3);
                run -= n;
            }
        }
        while (run > 0) {
            emit(len, 0);
            --run;
        }
    }
    buildCodeLengths(clFreq, kDeflateCodeLengthSymbols, kDeflateMaxCodeLengthBits, m_clLength);
    assignCanonicalCodes(m_clLength, kDeflateCodeLengthSymbols, m_clCode);
    m_hclen = kDeflateCodeLengthSymbols;
    while (m_hclen > 4 && m_clLength[m_tables.codeLengthOrder[m_hclen - 1]] == 0) {
        --m_hclen;
    }

    uint64_t bits = 5 + 5 + 4 + 3ull * m_hclen;
    for (int s = 0; s < kDeflateCodeLengthSymbols; ++s) {
        bits += static_cast<uint64_t>(clFreq[s]) * (m_clLength[s] + m_tables.codeLengthExtra[s]);
    }
    for (int s = 0; s < kDeflateLiteralSymbols; ++s) {
        bits += static_cast<uint64_t>(m_litFreq[s]) * m_litTree.length[s];
    }
    for (int c = 0; c < kDeflateLengthCodes; ++c) {
        bits += static_cast<uint64_t>(m_litFreq[kDeflateEndOfBlock + 1 + c]) * m_tables.lengthExtra[c];
    }
    for (int d = 0; d < kDeflateDistanceCodes; ++d) {
        bits += static_cast<uint64_t>(m_distFreq[d]) * (m_distTree.length[d] + m_tables.distanceExtra[d]);
    }
    return bits;
}

uint64_t DeflateBlockWriter::fixedCodeBits() const
{
    uint64_t bits = 0;
    for (int s = 0; s < kDeflateLiteralSymbols; ++s) {
        bits += static_cast<uint64_t>(m_litFreq[s]) * m_tables.fixedLiteralLength[s];
    }
    for (int c = 0; c < kDeflateLengthCodes; ++c) {
        bits += static_cast<uint64_t>(m_litFreq[kDeflateEndOfBlock + 1 + c]) * m_tables.lengthExtra[c];
    }
    for (int d = 0; d < kDeflateDistanceCodes; ++d) {
        bits += static_cast<uint64_t>(m_distFreq[d]) * (5u + m_tables.distanceExtra[d]);
    }
    return bits;
}

void DeflateBlockWriter::flushBlock(const uint8_t *data, int64_t size, bool last)
{
    if (m_internalAttributes == 2) {
        decideFileType();
    }
    const uint64_t dynamicBytes = (buildDynamicTrees() + 3 + 7) >> 3;
    const uint64_t fixedBytes = (fixedCodeBits() + 3 + 7) >> 3;
    const uint64_t best = std::min(dynamicBytes, fixedBytes);
    const uint64_t storedSize = static_cast<uint64_t>(size);

    if (last && !m_anythingSent && m_allowStoredFile && data != nullptr && storedSize <= best) {
        // The whole file is this one block and does not shrink: keep it as it is.
        putRaw(data, static_cast<size_t>(size));
        m_storedFile = true;
    } else if (data != nullptr && storedSize + 4 <= best) {
        sendStoredBlock(data, size, last);
    } else if (fixedBytes == best) {
        putBits(2u | (last ? 1u : 0u), 3);
        sendCodes(m_tables.fixedLiteralCode, m_tables.fixedLiteralLength, m_tables.fixedDistanceCode,
                  m_tables.fixedDistanceLength);
    } else {
        putBits(4u | (last ? 1u : 0u), 3);
        sendTreeHeader();
        sendCodes(m_litTree.code, m_litTree.length, m_distTree.code, m_distTree.length);
    }
    m_anythingSent = true;
    startBlock();
    if (last) {
        alignToByte();
        flushOutput();
    }
}

void DeflateBlockWriter::endPiece()
{
    if (m_bitCount > 0) {
        putBits(0, 3);
        alignToByte();
        putByte(0);
        putByte(0);
        putByte(0xFF);
        putByte(0xFF);
    }
    flushOutput();
}

void DeflateBlockWriter::sendStoredBlock(const uint8_t *data, int64_t size, bool last)
{
    // A stored block holds at most 65535 bytes; a longer block goes out as several.
    do {
        const unsigned n = static_cast<unsigned>(std::min<int64_t>(size, kStoredBlockMax));
        const bool final = last && static_cast<int64_t>(n) == size;
        putBits(final ? 1u : 0u, 3);
        alignToByte();
        putByte(static_cast<uint8_t>(n));
        putByte(static_cast<uint8_t>(n >> 8));
        putByte(static_cast<uint8_t>(~n));
        putByte(static_cast<uint8_t>(~n >> 8));
        putRaw(data, n);
        data += n;
        size -= n;
    } while (size > 0);
}

void DeflateBlockWriter::sendTreeHeader()
{
    putBits(m_hlit - 257, 5);
    putBits(m_hdist - 1, 5);
    putBits(m_hclen - 4, 4);
    for (unsigned i = 0; i < m_hclen; ++i) {
        putBits(m_clLength[m_tables.codeLengthOrder[i]], 3);
    }
    for (unsigned i = 0; i < m_clCount; ++i) {
        const unsigned s = m_clSymbols[i];
        putBits(m_clCode[s], m_clLength[s]);
        if (m_tables.codeLengthExtra[s] != 0) {
            putBits(m_clExtra[i], m_tables.codeLengthExtra[s]);
        }
    }
}

void DeflateBlockWriter::sendCodes(const uint16_t *litCode, const uint8_t *litLength, const uint16_t *distCode,
                                   const uint8_t *distLength)
{
    const DeflateTables &t = m_tables;
    for (unsigned i = 0; i < m_last; ++i) {
        const unsigned dist = m_dist[i];
        const unsigned lc = m_lit[i];
        if (dist == 0) {
            putBits(litCode[lc], litLength[lc]);
            continue;
        }
        const unsigned code = t.lengthCode[lc];
        const unsigned symbol = kDeflateEndOfBlock + 1 + code;
        // Length code with its extra bits (at most 15 + 5 bits) in one go.
        putBits(litCode[symbol] | ((lc - t.lengthBase[code]) << litLength[symbol]),
                litLength[symbol] + t.lengthExtra[code]);
        const unsigned d = dist - 1;
        const unsigned dcode = t.distanceCodeOf(d);
        putBits(distCode[dcode] | ((d - t.distanceBase[dcode]) << distLength[dcode]),
                distLength[dcode] + t.distanceExtra[dcode]);
    }
    putBits(litCode[kDeflateEndOfBlock], litLength[kDeflateEndOfBlock]);
}

void DeflateBlockWriter::putWord()
{
    if (m_outPos + 4 > sizeof m_out) {
        flushOutput();
    }
    const uint32_t w = static_cast<uint32_t>(m_bitBuffer);
    m_out[m_outPos] = static_cast<uint8_t>(w);
    m_out[m_outPos + 1] = static_cast<uint8_t>(w >> 8);
    m_out[m_outPos + 2] = static_cast<uint8_t>(w >> 16);
    m_out[m_outPos + 3] = static_cast<uint8_t>(w >> 24);
    m_outPos += 4;
    m_bitBuffer >>= 32;
    m_bitCount -= 32;
}

void DeflateBlockWriter::putByte(uint8_t b)
{
    if (m_outPos == sizeof m_out) {
        flushOutput();
    }
    m_out[m_outPos++] = b;
}

void DeflateBlockWriter::alignToByte()
{
    while (m_bitCount > 0) {
        putByte(static_cast<uint8_t>(m_bitBuffer));
        m_bitBuffer >>= 8;
        m_bitCount = m_bitCount > 8 ? m_bitCount - 8 : 0;
    }
    m_bitBuffer = 0;
}

void DeflateBlockWriter::putRaw(const uint8_t *data, size_t size)
{
    while (size > 0) {
        if (m_outPos == sizeof m_out) {
            flushOutput();
        }
        const size_t n = std::min(size, sizeof m_out - m_outPos);
        std::memcpy(m_out + m_outPos, data, n);
        m_outPos += n;
        data += n;
        size -= n;
    }
}

void DeflateBlockWriter::flushOutput()
{
    if (m_outPos == 0) {
        return;
    }
    const size_t n = m_outPos;
    m_outPos = 0;
    m_totalOut += n;
    (*m_write)(m_out, n);
}

} // namespace qv
