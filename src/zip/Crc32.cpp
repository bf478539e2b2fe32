// CRC-32 by slicing-by-16: sixteen tables built once at compile time.
#include "zip/Crc32.h"

#include <array>
#include <cstring>

namespace qv {
namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 16>;

constexpr Tables makeTables()
{
    Tables t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        }
        t[0][n] = c;
    }
    for (std::size_t n = 0; n < 256; ++n) {
        for (std::size_t k = 1; k < 16; ++k) {
            t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFFu];
        }
    }
    return t;
}

constexpr Tables kTables = makeTables();
static_assert(kTables[0][1] == 0x77073096u, "CRC-32 table entry 1");

inline std::uint32_t load32le(const unsigned char *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

// Product of two polynomials modulo the CRC polynomial, in the reflected bit order of the CRC.
constexpr std::uint32_t multiplyModP(std::uint32_t a, std::uint32_t b)
{
    std::uint32_t product = 0;
    for (std::uint32_t m = 1u << 31; m != 0; m >>= 1) {
        if ((a & m) != 0) {
            product ^= b;
        }
        b = (b & 1u) ? (b >> 1) ^ 0xEDB88320u : b >> 1;
    }
    return product;
}

// x^(2^k) modulo the polynomial, for k = 0..63.
constexpr std::array<std::uint32_t, 64> makePowers()
{
    std::array<std::uint32_t, 64> p{};
    p[0] = 1u << 30; // x^1
    for (std::size_t k = 1; k < p.size(); ++k) {
        p[k] = multiplyModP(p[k - 1], p[k - 1]);
    }
    return p;
}

constexpr std::array<std::uint32_t, 64> kPowers = makePowers();

} // namespace

std::uint32_t crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::uint64_t lengthB)
{
    // Appending n zero bytes to A multiplies its CRC by x^(8n); the CRC of B then adds on.
    std::uint32_t shift = 1u << 31; // x^0
    std::uint64_t bits = lengthB;
    for (std::size_t k = 3; bits != 0 && k < kPowers.size(); ++k, bits >>= 1) {
        if ((bits & 1u) != 0) {
            shift = multiplyModP(kPowers[k], shift);
        }
    }
    return multiplyModP(shift, crcA) ^ crcB;
}

const std::uint32_t *crc32Table()
{
    return kTables[0].data();
}

std::uint32_t crc32UpdateRaw(std::uint32_t reg, const void *data, std::size_t len)
{
    const auto *p = static_cast<const unsigned char *>(data);
    std::uint32_t c = reg;
    while (len >= 16) {
        const std::uint32_t a = load32le(p) ^ c;
        const std::uint32_t b = load32le(p + 4);
        const std::uint32_t d = load32le(p + 8);
        const std::uint32_t e = load32le(p + 12);
        c = kTables[15][a & 0xFF] ^ kTables[14][(a >> 8) & 0xFF] ^ kTables[13][(a >> 16) & 0xFF] ^
            kTables[12][a >> 24] ^ kTables[11][b & 0xFF] ^ kTables[10][(b >> 8) & 0xFF] ^
            kTables[9][(b >> 16) & 0xFF] ^ kTables[8][b >> 24] ^ kTables[7][d & 0xFF] ^
            kTables[6][(d >> 8) & 0xFF] ^ kTables[5][(d >> 16) & 0xFF] ^ kTables[4][d >> 24] ^
            kTables[3][e & 0xFF] ^ kTables[2][(e >> 8) & 0xFF] ^ kTables[1][(e >> 16) & 0xFF] ^
            kTables[0][e >> 24];
        p += 16;
        len -= 16;
    }
    while (len-- > 0) {
        c = kTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    }
    return c;
}

std::uint32_t crc32(std::uint32_t crc, const void *data, std::size_t len)
{
    return ~crc32UpdateRaw(~crc, data, len);
}

} // namespace qv
