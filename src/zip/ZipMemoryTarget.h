// The caller's memory buffers as the target of an extraction.
//
// Bytes fill the current buffer; when it is full and more bytes come, the caller's handler is
// asked for the next buffer. No buffer, a request to quit, or a buffer smaller than the one
// before ends the extraction with EUserCanceled ("User canceled Buffered Memory UnZip"); bytes
// are never dropped or written past a buffer's end.
#pragma once

#include "zip/ZipStream.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace qv {

// (buffer, size: the next buffer to fill, or none; fileName; amountUsed: bytes in the buffer just
// filled; bufferNum: 1 for the first buffer asked for; quit)
using GetNextBufferHandler = std::function<void(std::uint8_t *&buffer, std::size_t &size,
                                                const std::string &fileName, std::size_t amountUsed,
                                                int bufferNum, bool &quit)>;

class ZipMemoryTarget : public TStream
{
public:
    ZipMemoryTarget(std::uint8_t *buffer, std::size_t size, std::string fileName, GetNextBufferHandler next)
        : m_buffer(buffer), m_size(size), m_fileName(std::move(fileName)), m_next(std::move(next))
    {
    }

    std::int64_t Write(const void *data, std::int64_t n) override;
    std::int64_t Read(void *, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, int origin) override;

    // Bytes in the buffer being filled.
    std::size_t used() const { return m_used; }
    std::int64_t total() const { return m_total; }

private:
    void nextBuffer();

    std::uint8_t *m_buffer;
    std::size_t m_size;
    std::size_t m_used = 0;
    std::int64_t m_total = 0;
    int m_buffersAsked = 0;
    std::string m_fileName;
    GetNextBufferHandler m_next;
};

} // namespace qv
