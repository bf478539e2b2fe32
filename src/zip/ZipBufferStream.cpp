// Buffered streams: one buffer that holds read-ahead data or pending writes.
#include "zip/ZipBufferStream.h"

#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstring>

namespace qv {

TS_BufferStream::TS_BufferStream(TStream *stream, int bufferSize)
    : m_stream(stream), m_size(std::max(bufferSize, 16))
{
    m_buffer = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(m_size));
}

TS_BufferStream::~TS_BufferStream()
{
    try {
        finish();
    } catch (...) {
        // A destructor cannot report; callers that care call finish()/Close() first.
    }
}

void TS_BufferStream::finish()
{
    if (m_finished) {
        return;
    }
    if (m_mode == kPendingWrite && !FlushBuffer()) {
        m_finished = true;
        throw EStreamError("Stream write error");
    }
    m_finished = true;
    if (m_flushOnClose && m_written) {
        if (auto *file = dynamic_cast<TFileStream *>(m_stream)) {
            file->Flush();
        }
    }
}

std::int64_t TS_BufferStream::logicalPosition()
{
    const std::int64_t under = m_stream->Position();
    if (m_mode == kReadAhead) {
        return under - (m_end - m_pos);
    }
    if (m_mode == kPendingWrite) {
        return under + m_end;
    }
    return under;
}

bool TS_BufferStream::FillBuffer()
{
    const std::int64_t got = m_stream->Read(m_buffer.get(), m_size);
    m_pos = 0;
    m_end = got;
    m_mode = got > 0 ? kReadAhead : kIdle;
    DoAfterFill();
    return got > 0;
}

bool TS_BufferStream::FlushBuffer()
{
    bool ok = true;
    if (m_mode == kPendingWrite && m_end > 0) {
        ok = m_stream->Write(m_buffer.get(), m_end) == m_end;
    }
    m_pos = 0;
    m_end = 0;
    m_mode = kIdle;
    DoAfterFlush();
    return ok;
}

void TS_BufferStream::PutBackChar(std::uint8_t c)
{
    if (m_mode != kReadAhead || m_pos <= 0) {
        throw EStreamError(ziptext::kPutbackOverflow);
    }
    m_buffer[static_cast<std::size_t>(--m_pos)] = c;
}

void TS_BufferStream::DoAfterFill()
{
    if (OnAfterFill) {
        OnAfterFill();
    }
}

void TS_BufferStream::DoAfterFlush()
{
    if (OnAfterFlush) {
        OnAfterFlush();
    }
}

std::int64_t TS_BufferStream::Read(void *buffer, std::int64_t n)
{
    if (n < 1) {
        return 0;
    }
    if (m_mode == kPendingWrite && !FlushBuffer()) {
        throw EStreamError("Stream write error");
    }
    auto *out = static_cast<std::uint8_t *>(buffer);
    std::int64_t done = 0;
    while (done < n) {
        if (m_mode != kReadAhead || m_pos >= m_end) {
            // Large reads bypass the buffer once it is drained.
            if (n - done >= m_size) {
                if (m_mode == kReadAhead) {
                    m_mode = kIdle;
                    m_pos = m_end = 0;
                }
                const std::int64_t got = m_stream->Read(out + done, n - done);
                done += got;
                break;
            }
            if (!FillBuffer()) {
                break;
            }
        }
        const std::int64_t take = std::min(n - done, m_end - m_pos);
        std::memcpy(out + done, m_buffer.get() + m_pos, static_cast<std::size_t>(take));
        m_pos += take;
        done += take;
    }
    return done;
}

std::int64_t TS_BufferStream::Write(const void *buffer, std::int64_t n)
{
    if (n < 1) {
        return 0;
    }
    if (m_mode == kReadAhead) {
        const std::int64_t pos = logicalPosition();
        m_stream->Seek(pos, soBeginning);
        m_pos = m_end = 0;
        m_mode = kIdle;
    }
    const auto *in = static_cast<const std::uint8_t *>(buffer);
    std::int64_t done = 0;
    while (done < n) {
        if (m_end == m_size) {
            m_mode = kPendingWrite;
            if (!FlushBuffer()) {
                break;
            }
        }
        const std::int64_t take = std::min(n - done, m_size - m_end);
        std::memcpy(m_buffer.get() + m_end, in + done, static_cast<std::size_t>(take));
        m_end += take;
        m_pos = m_end;
        done += take;
        m_mode = kPendingWrite;
    }
    m_written = true;
    m_mode = m_end > 0 ? kPendingWrite : kIdle;
    return done;
}

std::int64_t TS_BufferStream::Size()
{
    std::int64_t size = m_stream->Size();
    if (m_mode == kPendingWrite) {
        size = std::max(size, m_stream->Position() + m_end);
    }
    return size;
}

std::int64_t TS_BufferStream::Seek(std::int64_t offset, int origin)
{
    const std::int64_t current = logicalPosition();
    std::int64_t target = 0;
    switch (origin) {
    case soBeginning:
        target = offset;
        break;
    case soCurrent:
        target = current + offset;
        break;
    case soEnd:
        target = Size() - (offset < 0 ? -offset : offset);
        break;
    default:
        throw EStreamError(formatIndexText(ziptext::kInvalidSeekOrigin, origin));
    }
    if (target == current) {
        return current;
    }
    if (target < 0) {
        throw EStreamError(ziptext::kSeekError);
    }
    // A seek that stays inside the read-ahead data keeps it.
    if (m_mode == kReadAhead) {
        const std::int64_t bufStart = current - m_pos;
        if (target >= bufStart && target <= bufStart + m_end) {
            m_pos = target - bufStart;
            return target;
        }
    }
    if (m_mode == kPendingWrite && !FlushBuffer()) {
        throw EStreamError(ziptext::kSeekError);
    }
    m_stream->Seek(target, soBeginning);
    m_pos = m_end = 0;
    m_mode = kIdle;
    return target;
}

TLFNFileStream::TLFNFileStream(const std::string &fileName, unsigned mode, bool flushOnClose, int bufferSize)
    : TS_BufferStream(nullptr, bufferSize), m_file(std::make_unique<TFileStream>(fileName, mode))
{
    setStream(m_file.get());
    setFlushOnClose(flushOnClose && mode != fmOpenRead && (mode & 3u) != 0);
}

TLFNFileStream::~TLFNFileStream()
{
    try {
        finish();
    } catch (...) {
        // Close() reports; a destructor cannot.
    }
}

void TLFNFileStream::Close()
{
    if (!m_closed) {
        m_closed = true;
        finish();
    }
}

} // namespace qv
