// What every decoder reads from and writes to: a pull source of compressed bytes, a push sink for
// decoded bytes, an LSB-first bit reader that knows where its input ends, and a history window.
//
// Decoders never read past their input: once the source is dry the bit reader supplies zero bits
// for look-ahead, and a decoder that actually consumes such a bit reports Truncated. Sinks may
// throw (a full target, a short write, a cancel request); decoders hold their memory in RAII
// objects so an exception leaves nothing behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace qv {

enum class DecodeStatus {
    Ok,          // the stream ended where it should
    DataError,   // an invalid code, block type or distance
    Truncated,   // the input ended inside the stream
    OutOfMemory, // the decoder could not get memory for its tables or window
};

const char *decodeStatusText(DecodeStatus status);

class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Up to `max` bytes into `dst`; 0 only at the end of the input.
    virtual std::size_t fill(std::uint8_t *dst, std::size_t max) = 0;
};

class ByteSink
{
public:
    virtual ~ByteSink() = default;
    virtual void write(const std::uint8_t *data, std::size_t n) = 0;
};

class MemorySource : public ByteSource
{
public:
    MemorySource(const std::uint8_t *data, std::size_t size, std::size_t chunk = 1 << 16)
        : m_data(data), m_size(size), m_chunk(chunk == 0 ? 1 : chunk)
    {
    }
    std::size_t fill(std::uint8_t *dst, std::size_t max) override
    {
        std::size_t n = m_size - m_pos;
        n = n < max ? n : max;
        n = n < m_chunk ? n : m_chunk;
        if (n > 0) {
            std::memcpy(dst, m_data + m_pos, n);
        }
        m_pos += n;
        return n;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_chunk;
    std::size_t m_pos = 0;
};

class VectorSink : public ByteSink
{
public:
    explicit VectorSink(std::size_t limit = SIZE_MAX) : m_limit(limit) {}
    void write(const std::uint8_t *data, std::size_t n) override;
    std::vector<std::uint8_t> data;
    bool overflow = false; // more than `limit` bytes were offered (the rest was dropped)

private:
    std::size_t m_limit;
};

// LSB-first bit reader over a ByteSource for the decoders that are not speed-critical.
class BitReader
{
public:
    explicit BitReader(ByteSource &source);
    // Makes at least n (≤ 32) bits available, padding with zeros past the end of the input.
    void need(unsigned n)
    {
        while (m_count < n) {
            pullByte();
        }
    }
    std::uint32_t peek(unsigned n) const { return static_cast<std::uint32_t>(m_bits & ((1ull << n) - 1)); }
    void drop(unsigned n)
    {
        m_bits >>= n;
        m_count -= n;
    }
    std::uint32_t take(unsigned n)
    {
        need(n);
        const std::uint32_t v = peek(n);
        drop(n);
        return v;
    }
    // True once a bit past the end of the input has been consumed.
    bool overrun() const { return m_pad > m_count; }
    std::uint64_t bits() const { return m_bits; }

private:
    void pullByte();

    ByteSource &m_source;
    std::uint64_t m_bits = 0;
    unsigned m_count = 0;
    unsigned m_pad = 0;
    std::uint8_t m_buf[4096];
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
    bool m_dry = false;
};

// Output with history for the old decoders: bytes before the start of the output read as zero.
class HistoryWindow
{
public:
    static constexpr std::size_t kHistory = 32768;
    static constexpr std::size_t kChunk = 32768;

    explicit HistoryWindow(ByteSink &sink);
    void put(std::uint8_t b)
    {
        m_buf[m_pos++] = b;
        ++m_total;
        if (m_pos == kHistory + kChunk) {
            flush();
        }
    }
    // Copies `len` bytes from `dist` bytes back (dist ≤ kHistory).
    void copy(std::size_t dist, std::size_t len)
    {
        for (std::size_t i = 0; i < len; ++i) {
            put(m_buf[m_pos - dist]);
        }
    }
    void flush();
    std::uint64_t total() const { return m_total; }

private:
    ByteSink &m_sink;
    std::unique_ptr<std::uint8_t[]> m_buf;
    std::size_t m_pos = kHistory;
    std::uint64_t m_total = 0;
};

// The decoders. `size` is the entry's uncompressed size: the old methods have no end marker and
// stop there.
DecodeStatus inflateStream(ByteSource &source, ByteSink &sink);
DecodeStatus unshrinkStream(ByteSource &source, ByteSink &sink, std::uint64_t size);
DecodeStatus unreduceStream(ByteSource &source, ByteSink &sink, std::uint64_t size, int factor);
DecodeStatus explodeStream(ByteSource &source, ByteSink &sink, std::uint64_t size, bool window8k,
                           bool threeTrees);

} // namespace qv
