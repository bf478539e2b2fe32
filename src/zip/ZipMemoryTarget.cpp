// The caller's memory buffers as the target of an extraction.
#include "zip/ZipMemoryTarget.h"

#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstring>

namespace qv {

std::int64_t ZipMemoryTarget::Write(const void *data, std::int64_t n)
{
    const auto *p = static_cast<const std::uint8_t *>(data);
    std::size_t left = n > 0 ? static_cast<std::size_t>(n) : 0;
    while (left > 0) {
        if (m_buffer == nullptr || m_used == m_size) {
            nextBuffer();
        }
        const std::size_t k = std::min(left, m_size - m_used);
        std::memcpy(m_buffer + m_used, p, k);
        m_used += k;
        m_total += static_cast<std::int64_t>(k);
        p += k;
        left -= k;
    }
    return n;
}

std::int64_t ZipMemoryTarget::Seek(std::int64_t offset, int origin)
{
    if (offset == 0 && (origin == soCurrent || origin == soEnd)) {
        return m_total;
    }
    throw EStreamError("A memory target cannot seek");
}

// A smaller buffer than the one before counts as no room: a handler that hands back the tail of
// its last buffer would otherwise have earlier bytes overwritten.
void ZipMemoryTarget::nextBuffer()
{
    std::uint8_t *buffer = nullptr;
    std::size_t size = m_size;
    bool quit = false;
    if (m_next) {
        m_next(buffer, size, m_fileName, m_used, ++m_buffersAsked, quit);
    }
    if (quit || buffer == nullptr || size == 0 || size < m_size) {
        throw EUserCanceled(ziptext::kCanceledMemoryUnzip);
    }
    m_buffer = buffer;
    m_size = size;
    m_used = 0;
}

} // namespace qv
