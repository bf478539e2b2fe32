// CRC-32 of the zip format (reflected polynomial 0xEDB88320): the one checksum of the whole program.
//
// Archive entries, the traditional cipher's key schedule and the copy engine's file comparison all
// use this one implementation. The bulk update processes 16 bytes per step with sixteen derived
// tables ("slicing-by-16"), which is several times faster than the byte-wise loop and needs no
// special CPU instructions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// The register value a fresh CRC starts from; the finished CRC is the register inverted.
inline constexpr std::uint32_t kCrc32Init = 0xFFFFFFFFu;

// The standard 256-entry table (entry 1 is 0x77073096).
const std::uint32_t *crc32Table();

// One byte into a raw register: table[(crc xor b) and 0xFF] xor (crc shr 8). The cipher's key
// schedule needs exactly this step.
inline std::uint32_t UpdateCRC32(std::uint32_t crc, std::uint8_t b)
{
    return crc32Table()[(crc ^ b) & 0xFFu] ^ (crc >> 8);
}

// Feeds `len` bytes into a raw register (no conditioning before or after).
std::uint32_t crc32UpdateRaw(std::uint32_t reg, const void *data, std::size_t len);

// The usual running form: start with 0, pass the previous result back in, the result is the
// finished CRC of everything fed so far (the same contract as zlib's crc32()).
std::uint32_t crc32(std::uint32_t crc, const void *data, std::size_t len);

// The finished CRC of A followed by B, from the finished CRCs of A and of B and the length of B
// (the same contract as zlib's crc32_combine()).
std::uint32_t crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::uint64_t lengthB);

// Accumulates a CRC over pieces of data.
class Crc32
{
public:
    void update(const void *data, std::size_t len) { m_reg = crc32UpdateRaw(m_reg, data, len); }
    std::uint32_t value() const { return ~m_reg; }
    void reset() { m_reg = kCrc32Init; }

private:
    std::uint32_t m_reg = kCrc32Init;
};

} // namespace qv
