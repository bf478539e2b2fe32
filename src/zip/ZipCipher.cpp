// The traditional PKWARE stream cipher.
#include "zip/ZipCipher.h"

#include "zip/Crc32.h"
#include "zip/ZipErrors.h"

#include <cerrno>
#include <sys/random.h>

namespace qv {

void TZipCipher::InitKeys(const std::string &password)
{
    m_key0 = 0x12345678;
    m_key1 = 0x23456789;
    m_key2 = 0x34567890;
    for (const char c : password) {
        UpdateKeys(static_cast<std::uint8_t>(c));
    }
}

void TZipCipher::UpdateKeys(std::uint8_t c)
{
    m_key0 = UpdateCRC32(m_key0, c);
    m_key1 = (m_key1 + (m_key0 & 0xFFu)) * 134775813u + 1u;
    m_key2 = UpdateCRC32(m_key2, static_cast<std::uint8_t>(m_key1 >> 24));
}

void TZipCipher::DecryptBuffer(std::uint8_t *buffer, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = static_cast<std::uint8_t>(buffer[i] ^ DecryptByte());
        UpdateKeys(c);
        buffer[i] = c;
    }
}

std::uint8_t TZipCipher::EncryptByte(std::uint8_t c)
{
    const std::uint8_t t = DecryptByte();
    UpdateKeys(c);
    return static_cast<std::uint8_t>(c ^ t);
}

void TZipCipher::EncryptBuffer(std::uint8_t *buffer, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = EncryptByte(buffer[i]);
    }
}

std::uint8_t TZipCipher::DecryptHeader(const std::string &password, std::uint8_t *header)
{
    InitKeys(password);
    DecryptBuffer(header, kEncryptionHeaderSize);
    return header[kEncryptionHeaderSize - 1];
}

std::array<std::uint8_t, kEncryptionHeaderSize> TZipCipher::MakeHeader(const std::string &password,
                                                                       std::uint32_t crc)
{
    std::array<std::uint8_t, kEncryptionHeaderSize> h{};
    std::size_t got = 0;
    while (got < 10) {
        const ssize_t r = ::getrandom(h.data() + got, 10 - got, 0);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EZipError("The system's random generator failed");
        }
        got += static_cast<std::size_t>(r);
    }
    h[10] = static_cast<std::uint8_t>(crc >> 16);
    h[11] = static_cast<std::uint8_t>(crc >> 24);
    InitKeys(password);
    EncryptBuffer(h.data(), h.size());
    return h;
}

std::uint8_t expectedCheckByte(std::uint16_t flags, std::uint32_t dosDateTime, std::uint32_t crc)
{
    if ((flags & 0x0008u) != 0) {
        return static_cast<std::uint8_t>(dosDateTime >> 8);
    }
    return static_cast<std::uint8_t>(crc >> 24);
}

} // namespace qv
