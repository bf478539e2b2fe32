// Raw deflate encoder (no zlib or gzip wrapper) for the zip writer.
//
// A classic hash-chain match finder with lazy evaluation (levels 4 to 9) or greedy matching
// (levels 1 to 3), and a per-block choice between stored, fixed-code and dynamic-code blocks.
// The encoder pulls the file through a read routine (which lets the writer compute the CRC and
// report progress) and pushes its output, in pieces of at most 1024 bytes, through a write
// routine (which lets the writer encrypt and count). When the whole file fits one block that
// does not shrink, the encoder copies the bytes without any deflate framing and reports that
// the entry is stored instead.
//
// All work buffers are allocated once with the encoder object and reused for every file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace qv {

struct DeflateResult {
    uint64_t compressedSize = 0;   // bytes handed to the write routine
    uint64_t uncompressedSize = 0; // bytes obtained from the read routine
    bool stored = false;           // the bytes were copied as they are: compression method 0
    uint16_t internalAttributes = 2; // 0 binary, 1 text, 2 not decided (nothing was flushed)
};

class Deflater
{
public:
    // Reads up to n bytes into the buffer; returns how many, 0 at the end of the input.
    using ReadFn = std::function<size_t(uint8_t *buffer, size_t n)>;
    // Takes n bytes of output. Throwing aborts the file.
    using WriteFn = std::function<void(const uint8_t *buffer, size_t n)>;

    static constexpr size_t kOutputPiece = 1024;

    // A file larger than kPieceSize is cut into pieces of kPieceSize bytes (the last one may be
    // shorter), each compressed on its own with the kPieceHistory bytes before it as history, so
    // that several threads can compress one file and the output does not depend on which thread
    // made which piece. Every piece ends on a byte boundary and none is final; the stream ends
    // with kFinalBlock, an empty final block with the fixed codes.
    static constexpr size_t kPieceSize = size_t{1} << 20;
    static constexpr size_t kPieceHistory = 32768;
    static constexpr uint8_t kFinalBlock[2] = {0x03, 0x00};
    static bool cutIntoPieces(uint64_t fileSize) { return fileSize > kPieceSize; }

    Deflater();
    ~Deflater();
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    // Compresses one file at `level` (clamped to 1..9). `allowStoredFile` permits the whole-file
    // stored fallback (the caller must then be able to record method 0 for the entry).
    DeflateResult deflateFile(int level, const ReadFn &read, const WriteFn &write, bool allowStoredFile = true);

    // Compresses one piece: `history` holds the historySize (at most kPieceHistory) bytes just
    // before `data`. The piece's output goes to `write`; it never becomes a stored file.
    DeflateResult deflatePiece(int level, const uint8_t *history, size_t historySize, const uint8_t *data,
                               size_t size, const WriteFn &write);

    // How the match finder walks its hash chains: 0 (the default) picks by level, 1 walks each
    // chain as one strand, any other value as several interleaved strands. The output is the
    // same either way; only the speed differs. For tests and benchmarks.
    void setChainStrands(unsigned strands) { m_strands = strands; }

    // General purpose flag bits that announce the level: 4 for levels 1 and 2 (fast),
    // 2 for levels 8 and 9 (maximum), 0 otherwise.
    static uint16_t flagBitsForLevel(int level);

    // Compresses a whole buffer into a vector: a convenience for tests and tools.
    static DeflateResult deflateBuffer(int level, const uint8_t *data, size_t size, std::vector<uint8_t> &out,
                                       bool allowStoredFile = false);

private:
    struct State;
    std::unique_ptr<State> m_state;
    unsigned m_strands = 0;
};

} // namespace qv
