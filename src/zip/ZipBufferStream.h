// A buffered stream over any other stream, and the buffered file stream built on it.
//
// The archive is read through small records and single bytes (the recovery scan reads byte by
// byte), so every access goes through one buffer. The buffer holds either data read ahead or
// data not yet written, never both; the logical position is the underlying position corrected by
// what the buffer holds, so reads, writes and seeks can be mixed freely.
#pragma once

#include "zip/ZipStream.h"

#include <functional>
#include <memory>

namespace qv {

class TS_BufferStream : public TStream
{
public:
    enum Mode : std::uint8_t { kIdle = 0, kReadAhead = 1, kPendingWrite = 2 };

    // The underlying stream is not owned.
    TS_BufferStream(TStream *stream, int bufferSize);
    ~TS_BufferStream() override;
    TS_BufferStream(const TS_BufferStream &) = delete;
    TS_BufferStream &operator=(const TS_BufferStream &) = delete;

    std::int64_t Read(void *buffer, std::int64_t n) override;
    std::int64_t Write(const void *buffer, std::int64_t n) override;
    std::int64_t Seek(std::int64_t offset, int origin) override;
    std::int64_t Size() override;

    virtual bool FillBuffer();
    virtual bool FlushBuffer();
    // Steps back one byte and stores `c` there; raises EStreamError "Putback overflow" at the
    // start of the buffer.
    virtual void PutBackChar(std::uint8_t c);

    // Reads one byte; -1 at the end of data. The fast path of byte-wise scans.
    int ReadByte()
    {
        if (m_mode == kReadAhead && m_pos < m_end) {
            return m_buffer[static_cast<std::size_t>(m_pos++)];
        }
        std::uint8_t b = 0;
        return Read(&b, 1) == 1 ? b : -1;
    }

    std::function<void()> OnAfterFill;
    std::function<void()> OnAfterFlush;

    TStream *Underlying() const { return m_stream; }
    bool Written() const { return m_written; }

protected:
    virtual void DoAfterFill();
    virtual void DoAfterFlush();
    void setFlushOnClose(bool on) { m_flushOnClose = on; }
    void setStream(TStream *stream) { m_stream = stream; }
    bool flushOnClose() const { return m_flushOnClose; }
    // Flushes pending bytes; raises when they cannot be written. Subclasses call it before they
    // release the underlying stream.
    void finish();

private:
    std::int64_t logicalPosition();

    TStream *m_stream;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::int64_t m_pos = 0; // current position in the buffer
    std::int64_t m_end = 0; // end of valid (read-ahead or pending) data
    std::int64_t m_size;
    Mode m_mode = kIdle;
    bool m_flushOnClose = false;
    bool m_written = false;
    bool m_finished = false;
};

// A buffered file stream that owns its file.
class TLFNFileStream : public TS_BufferStream
{
public:
    // `flushOnClose` syncs the file to the disk when it is closed after writing (only honoured
    // when `mode` grants write access).
    TLFNFileStream(const std::string &fileName, unsigned mode, bool flushOnClose, int bufferSize);
    ~TLFNFileStream() override;

    int Handle() const { return m_file->Handle(); }
    TFileStream &File() { return *m_file; }
    // Flushes the buffer (and syncs when asked to at creation); raises on failure. Call it before
    // trusting that a written file is complete: the destructor cannot report errors.
    void Close();

private:
    std::unique_ptr<TFileStream> m_file;
    bool m_closed = false;
};

} // namespace qv
