// Shared pieces of the decoders.
#include "zip/DecodeIO.h"

namespace qv {

const char *decodeStatusText(DecodeStatus status)
{
    switch (status) {
    case DecodeStatus::Ok:
        return "ok";
    case DecodeStatus::DataError:
        return "invalid compressed data";
    case DecodeStatus::Truncated:
        return "compressed data ends early";
    case DecodeStatus::OutOfMemory:
        return "out of memory";
    }
    return "unknown";
}

void VectorSink::write(const std::uint8_t *p, std::size_t n)
{
    const std::size_t room = m_limit - data.size();
    if (n > room) {
        overflow = true;
        n = room;
    }
    data.insert(data.end(), p, p + n);
}

BitReader::BitReader(ByteSource &source) : m_source(source) {}

void BitReader::pullByte()
{
    if (m_pos == m_len && !m_dry) {
        m_len = m_source.fill(m_buf, sizeof m_buf);
        m_pos = 0;
        m_dry = m_len == 0;
    }
    if (m_pos < m_len) {
        m_bits |= static_cast<std::uint64_t>(m_buf[m_pos++]) << m_count;
    } else {
        m_pad += 8;
    }
    m_count += 8;
}

HistoryWindow::HistoryWindow(ByteSink &sink) : m_sink(sink), m_buf(new std::uint8_t[kHistory + kChunk]()) {}

void HistoryWindow::flush()
{
    if (m_pos > kHistory) {
        m_sink.write(m_buf.get() + kHistory, m_pos - kHistory);
        std::memmove(m_buf.get(), m_buf.get() + m_pos - kHistory, kHistory);
        m_pos = kHistory;
    }
}

} // namespace qv
