// The traditional PKWARE stream cipher: three keys driven by the password and the plain bytes.
//
// It is weak by today's standards but it is what every zip tool reads, so archives written with a
// password stay usable by peers. The 12-byte header before each entry's data ends in a check byte
// (the high byte of the CRC, or of the time when a data descriptor follows the data), which lets a
// reader reject most wrong passwords before it decodes anything.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

inline constexpr std::size_t kEncryptionHeaderSize = 12;

class TZipCipher
{
public:
    void InitKeys(const std::string &password);
    void UpdateKeys(std::uint8_t c);
    std::uint8_t DecryptByte() const
    {
        const std::uint32_t t = (m_key2 & 0xFFFFu) | 2u;
        return static_cast<std::uint8_t>((t * (t ^ 1u)) >> 8);
    }
    void DecryptBuffer(std::uint8_t *buffer, std::size_t n);
    std::uint8_t EncryptByte(std::uint8_t c);
    void EncryptBuffer(std::uint8_t *buffer, std::size_t n);
    // InitKeys(password), decrypts the 12 header bytes in place, returns the last plain byte. The
    // keys are then ready for the entry's data.
    std::uint8_t DecryptHeader(const std::string &password, std::uint8_t *header);
    // InitKeys(password) and builds an encrypted header: ten random bytes from the system's
    // generator, then bits 16-23 and 24-31 of `crc`.
    std::array<std::uint8_t, kEncryptionHeaderSize> MakeHeader(const std::string &password,
                                                               std::uint32_t crc);

    std::uint32_t Key0() const { return m_key0; }
    std::uint32_t Key1() const { return m_key1; }
    std::uint32_t Key2() const { return m_key2; }

private:
    std::uint32_t m_key0 = 0x12345678;
    std::uint32_t m_key1 = 0x23456789;
    std::uint32_t m_key2 = 0x34567890;
};

// The byte a right password reproduces as the header's last plain byte.
std::uint8_t expectedCheckByte(std::uint16_t flags, std::uint32_t dosDateTime, std::uint32_t crc);

} // namespace qv
