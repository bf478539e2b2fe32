// Unshrink (method 1): LZW with codes of 9 to 13 bits and partial clearing.
//
// Code 256 is a control code: the next code says 1 (codes grow by one bit) or 2 (partial clear:
// every entry that is no other entry's prefix is freed). New entries take the lowest free code.
// Entries are stored as (prefix code, last byte) and expanded backwards; the expansion is bounded
// by the table size, so a hostile stream that makes a prefix loop is rejected, not followed.
#include "zip/DecodeIO.h"

#include <algorithm>
#include <vector>

namespace qv {
namespace {

constexpr unsigned kTableSize = 8192;
constexpr int kFree = -1;
constexpr int kRoot = -2;

class Unshrinker
{
public:
    Unshrinker(ByteSource &source, ByteSink &sink, std::uint64_t size)
        : m_in(source), m_out(sink), m_size(size), m_parent(kTableSize, kFree), m_value(kTableSize, 0)
    {
        for (unsigned i = 0; i < 256; ++i) {
            m_parent[i] = kRoot;
            m_value[i] = static_cast<std::uint8_t>(i);
        }
        m_parent[256] = kRoot; // never a string
    }

    DecodeStatus run()
    {
        unsigned codeSize = 9;
        int prev = -1;
        std::vector<std::uint8_t> str;
        str.reserve(kTableSize);
        while (m_out.total() < m_size) {
            const unsigned code = m_in.take(codeSize);
            if (m_in.overrun()) {
                m_out.flush();
                return DecodeStatus::Truncated;
            }
            if (code == 256) {
                const unsigned sub = m_in.take(codeSize);
                if (sub == 1 && codeSize < 13) {
                    ++codeSize;
                } else if (sub == 2) {
                    partialClear();
                } else {
                    m_out.flush();
                    return DecodeStatus::DataError;
                }
                continue;
            }
            if (prev < 0) {
                if (code > 255) {
                    return DecodeStatus::DataError;
                }
                m_out.put(static_cast<std::uint8_t>(code));
                prev = static_cast<int>(code);
                continue;
            }
            std::uint8_t first = 0;
            if (m_parent[code] == kFree) {
                // The code being defined right now: the previous string plus its own first byte.
                if (code != m_nextFree || !expand(static_cast<unsigned>(prev), str)) {
                    m_out.flush();
                    return DecodeStatus::DataError;
                }
                str.push_back(str.front());
            } else if (!expand(code, str)) {
                m_out.flush();
                return DecodeStatus::DataError;
            }
            first = str.front();
            for (const std::uint8_t b : str) {
                if (m_out.total() >= m_size) {
                    break;
                }
                m_out.put(b);
            }
            if (m_nextFree < kTableSize) {
                m_parent[m_nextFree] = prev;
                m_value[m_nextFree] = first;
                advanceFree();
            }
            prev = static_cast<int>(code);
        }
        m_out.flush();
        return DecodeStatus::Ok;
    }

private:
    bool expand(unsigned code, std::vector<std::uint8_t> &str) const
    {
        str.clear();
        int c = static_cast<int>(code);
        while (c >= 0) {
            if (str.size() >= kTableSize || c == 256) {
                return false;
            }
            str.push_back(m_value[static_cast<unsigned>(c)]);
            const int p = m_parent[static_cast<unsigned>(c)];
            if (p == kFree) {
                return false;
            }
            c = p;
        }
        std::reverse(str.begin(), str.end());
        return true;
    }

    void advanceFree()
    {
        while (m_nextFree < kTableSize && m_parent[m_nextFree] != kFree) {
            ++m_nextFree;
        }
    }

    void partialClear()
    {
        std::vector<bool> isPrefix(kTableSize, false);
        for (unsigned c = 257; c < kTableSize; ++c) {
            if (m_parent[c] >= 257) {
                isPrefix[static_cast<unsigned>(m_parent[c])] = true;
            }
        }
        for (unsigned c = 257; c < kTableSize; ++c) {
            if (!isPrefix[c]) {
                m_parent[c] = kFree;
            }
        }
        m_nextFree = 257;
        advanceFree();
    }

    BitReader m_in;
    HistoryWindow m_out;
    std::uint64_t m_size;
    std::vector<int> m_parent;
    std::vector<std::uint8_t> m_value;
    unsigned m_nextFree = 257;
};

} // namespace

DecodeStatus unshrinkStream(ByteSource &source, ByteSink &sink, std::uint64_t size)
{
    Unshrinker u(source, sink, size);
    return u.run();
}

} // namespace qv
