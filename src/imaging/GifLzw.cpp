// LZW decoding and encoding of GIF frame data.
//
// The decoder trusts nothing: codes that are not yet defined, chains that run too long, pixels
// past the end of the frame and indices past the colour table are all caught, and with lenient
// reading only mark the frame corrupt. The encoder keeps a 17777-slot hash of (prefix, pixel)
// pairs and starts a new table (clear code) when 4094 codes are in use.
#include "imaging/GifLzw.h"

#include "imaging/GifTypes.h"
#include "imaging/GraphicsCore.h"

#include <algorithm>
#include <array>
#include <memory>

namespace qv::gif {
namespace {

constexpr int kMaxCodes = 4096;

// Concatenates the payload of the sub-blocks that follow the code size byte. `truncated` is set
// when the data end before the zero-length terminator.
std::vector<std::uint8_t> payloadOf(const std::vector<std::uint8_t> &stream, bool &truncated)
{
    std::vector<std::uint8_t> out;
    std::size_t at = 1;
    truncated = true;
    while (at < stream.size()) {
        const std::size_t len = stream[at++];
        if (len == 0) {
            truncated = false;
            break;
        }
        const std::size_t take = std::min(len, stream.size() - at);
        out.insert(out.end(), stream.begin() + static_cast<long>(at),
                   stream.begin() + static_cast<long>(at + take));
        at += take;
    }
    return out;
}

class BitReader
{
public:
    explicit BitReader(const std::vector<std::uint8_t> &data) : m_data(data) {}
    // -1 at the end of the data.
    int read(int bits)
    {
        while (m_count < bits) {
            if (m_pos >= m_data.size()) {
                return -1;
            }
            m_acc |= static_cast<std::uint32_t>(m_data[m_pos++]) << m_count;
            m_count += 8;
        }
        const int v = static_cast<int>(m_acc & ((1u << bits) - 1));
        m_acc >>= bits;
        m_count -= bits;
        return v;
    }

private:
    const std::vector<std::uint8_t> &m_data;
    std::size_t m_pos = 0;
    std::uint32_t m_acc = 0;
    int m_count = 0;
};

// Places decoded pixels into the frame in stored row order, dropping any beyond its end.
class PixelSink
{
public:
    PixelSink(DecodeResult &out, const DecodeRequest &rq)
        : m_out(out), m_width(static_cast<std::size_t>(rq.width)),
          m_rows(storedRowOrder(rq.height, rq.interlaced)), m_total(m_width * m_rows.size()),
          m_tableCount(rq.tableCount), m_progress(rq.progress)
    {
    }
    void put(int index)
    {
        if (m_done >= m_total) {
            return;
        }
        if (index >= m_tableCount) {
            index &= m_tableCount - 1;
            m_out.corrupt = true;
        }
        const std::size_t row = static_cast<std::size_t>(m_rows[m_done / m_width]);
        m_out.indices[row * m_width + m_done % m_width] = static_cast<std::uint8_t>(index);
        ++m_done;
        if (m_progress && (m_done % (m_total / 8 + 1) == 0 || m_done == m_total)) {
            m_progress(static_cast<int>(m_done * 100 / m_total));
        }
    }
    bool full() const { return m_done >= m_total; }

private:
    DecodeResult &m_out;
    std::size_t m_width;
    std::vector<int> m_rows;
    std::size_t m_total;
    std::size_t m_done = 0;
    int m_tableCount;
    const std::function<void(int)> &m_progress;
};

struct Table
{
    std::array<std::uint16_t, kMaxCodes> prefix{};
    std::array<std::uint8_t, kMaxCodes> suffix{};
    std::array<std::uint8_t, kMaxCodes + 1> stack{};
};

int clampCodeSize(int size, const DecodeRequest &rq, DecodeResult &out)
{
    if (size >= 2 && size <= 9) {
        return size;
    }
    if (!rq.lenient) {
        throw EInvalidGraphicOperation(kGifCodeSizeRange);
    }
    out.corrupt = true;
    return size < 2 ? 2 : 9;
}

} // namespace

std::vector<int> storedRowOrder(int height, bool interlaced)
{
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y) {
            rows.push_back(y);
        }
        return rows;
    }
    const int start[4] = {0, 4, 2, 1};
    const int step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = start[pass]; y < height; y += step[pass]) {
            rows.push_back(y);
        }
    }
    return rows;
}

DecodeResult decodeFrame(const DecodeRequest &rq)
{
    const auto pixels =
        static_cast<unsigned long long>(rq.width) * static_cast<unsigned long long>(rq.height);
    if (rq.width < 0 || rq.height < 0 || pixels > kMaxFramePixels) {
        throw EInvalidGraphicOperation(kGifCorrupt);
    }
    DecodeResult out;
    out.indices.assign(pixels, 0);
    if (!rq.stream || rq.stream->empty()) {
        if (!rq.lenient) {
            throw EInvalidGraphicOperation(kGifStreamRead);
        }
        out.corrupt = true;
        return out;
    }
    const int size = clampCodeSize((*rq.stream)[0], rq, out);
    bool truncated = false;
    const std::vector<std::uint8_t> payload = payloadOf(*rq.stream, truncated);
    BitReader bits(payload);
    PixelSink sink(out, rq);
    auto table = std::make_unique<Table>();
    const int clear = 1 << size;
    const int end = clear + 1;
    int width = size + 1;
    int avail = clear + 2;
    int prev = -1;
    int first = 0;
    for (int code = bits.read(width); code >= 0 && code != end; code = bits.read(width)) {
        if (code == clear) {
            width = size + 1;
            avail = clear + 2;
            prev = -1;
            continue;
        }
        if (code > avail || (prev < 0 && code >= clear)) {
            if (!rq.lenient) {
                throw EInvalidGraphicOperation(kGifCorrupt);
            }
            out.corrupt = true; // a code that is not defined yet
            break;
        }
        int in = code;
        int depth = 0;
        if (code == avail) { // the string of the previous code plus its own first pixel
            table->stack[depth++] = static_cast<std::uint8_t>(first);
            in = prev;
        }
        while (in >= clear) {
            if (depth >= kMaxCodes) {
                if (!rq.lenient) {
                    throw EInvalidGraphicOperation(kGifCorrupt);
                }
                out.corrupt = true;
                break;
            }
            table->stack[depth++] = table->suffix[static_cast<std::size_t>(in)];
            in = table->prefix[static_cast<std::size_t>(in)];
        }
        if (in >= clear) {
            break;
        }
        first = in;
        sink.put(in);
        while (depth > 0) {
            sink.put(table->stack[static_cast<std::size_t>(--depth)]);
        }
        if (prev >= 0 && avail < kMaxCodes) {
            table->prefix[static_cast<std::size_t>(avail)] = static_cast<std::uint16_t>(prev);
            table->suffix[static_cast<std::size_t>(avail)] = static_cast<std::uint8_t>(first);
            ++avail;
            if (avail == (1 << width) && width < 12) {
                ++width;
            }
        }
        prev = code;
    }
    if (!sink.full()) {
        if (!rq.lenient && truncated) {
            throw EInvalidGraphicOperation(kGifStreamRead);
        }
        out.corrupt = true;
    }
    return out;
}

namespace {

// Packs codes least significant bit first and cuts the bytes into sub-blocks of 255.
class CodeWriter
{
public:
    explicit CodeWriter(std::vector<std::uint8_t> &out) : m_out(out) {}
    void write(int code, int bits)
    {
        m_acc |= static_cast<std::uint32_t>(code) << m_count;
        m_count += bits;
        while (m_count >= 8) {
            byte(static_cast<std::uint8_t>(m_acc));
            m_acc >>= 8;
            m_count -= 8;
        }
    }
    void finish()
    {
        if (m_count > 0) {
            byte(static_cast<std::uint8_t>(m_acc));
        }
        flushBlock();
        m_out.push_back(0);
    }

private:
    void byte(std::uint8_t b)
    {
        m_block[m_used++] = b;
        if (m_used == 255) {
            flushBlock();
        }
    }
    void flushBlock()
    {
        if (m_used > 0) {
            m_out.push_back(static_cast<std::uint8_t>(m_used));
            m_out.insert(m_out.end(), m_block.begin(), m_block.begin() + static_cast<long>(m_used));
            m_used = 0;
        }
    }
    std::vector<std::uint8_t> &m_out;
    std::array<std::uint8_t, 255> m_block{};
    std::size_t m_used = 0;
    std::uint32_t m_acc = 0;
    int m_count = 0;
};

constexpr int kHashSize = 17777;
constexpr int kClearAt = 4094;

// Open addressing over (prefix, pixel) keys; -1 marks a free slot.
class CodeHash
{
public:
    void reset() { m_keys.fill(-1); }
    int find(int key) const
    {
        for (int slot = slotOf(key);; slot = (slot + 1) % kHashSize) {
            if (m_keys[static_cast<std::size_t>(slot)] == key) {
                return m_codes[static_cast<std::size_t>(slot)];
            }
            if (m_keys[static_cast<std::size_t>(slot)] < 0) {
                return -1;
            }
        }
    }
    void insert(int key, int code)
    {
        int slot = slotOf(key);
        while (m_keys[static_cast<std::size_t>(slot)] >= 0) {
            slot = (slot + 1) % kHashSize;
        }
        m_keys[static_cast<std::size_t>(slot)] = key;
        m_codes[static_cast<std::size_t>(slot)] = static_cast<std::uint16_t>(code);
    }

private:
    static int slotOf(int key)
    {
        return static_cast<int>((static_cast<unsigned>(key) * 2654435761u) % kHashSize);
    }
    std::array<int, kHashSize> m_keys{};
    std::array<std::uint16_t, kHashSize> m_codes{};
};

} // namespace

std::vector<std::uint8_t> encodeFrame(const std::vector<std::uint8_t> &indices, int width, int height,
                                      int depth, bool interlaced)
{
    const int size = depth <= 1 ? 2 : depth;
    const int mask = (1 << depth) - 1;
    const int clear = 1 << size;
    const int end = clear + 1;
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(size)};
    CodeWriter writer(out);
    auto hash = std::make_unique<CodeHash>();
    hash->reset();
    int bits = size + 1;
    int next = clear + 2;
    writer.write(clear, bits);
    int prefix = -1;
    for (const int row : storedRowOrder(height, interlaced)) {
        const std::uint8_t *p =
            indices.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            const int pixel = p[x] & mask;
            if (prefix < 0) {
                prefix = pixel;
                continue;
            }
            const int key = (prefix << 8) | pixel;
            const int found = hash->find(key);
            if (found >= 0) {
                prefix = found;
                continue;
            }
            writer.write(prefix, bits);
            if (next < kClearAt) {
                hash->insert(key, next++);
                if (next - 1 >= (1 << bits) && bits < 12) {
                    ++bits;
                }
            } else {
                writer.write(clear, bits);
                hash->reset();
                bits = size + 1;
                next = clear + 2;
            }
            prefix = pixel;
        }
    }
    if (prefix >= 0) {
        writer.write(prefix, bits);
        // The reader adds a code on reading that last one and may widen before the end code.
        if (next >= (1 << bits) && bits < 12) {
            ++bits;
        }
    }
    writer.write(end, bits);
    writer.finish();
    return out;
}

} // namespace qv::gif
