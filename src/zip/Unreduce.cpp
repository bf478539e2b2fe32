// Unreduce (methods 2 to 5): follower sets, then the run-length state machine with back copies.
//
// The compressed stream first gives, for each byte value from 255 down to 0, a set of up to 32
// likely successors. Each following byte is either one of the current byte's followers (a short
// index) or a literal. The bytes then drive a small machine where 144 (DLE) introduces a copy of
// 3 or more bytes from up to 4 KiB back; copies from before the start give zeros.
#include "zip/DecodeIO.h"

namespace qv {
namespace {

unsigned bitsForSet(unsigned n)
{
    unsigned b = 1;
    while ((1u << b) < n) {
        ++b;
    }
    return b; // 1 for sets of 1 or 2, 2 for 3-4, ... 5 for 17-32
}

} // namespace

DecodeStatus unreduceStream(ByteSource &source, ByteSink &sink, std::uint64_t size, int factor)
{
    if (factor < 1 || factor > 4) {
        return DecodeStatus::DataError;
    }
    BitReader in(source);
    HistoryWindow out(sink);
    std::uint8_t followers[256][64];
    unsigned count[256];
    for (int j = 255; j >= 0; --j) {
        count[j] = in.take(6);
        for (unsigned i = 0; i < count[j]; ++i) {
            followers[j][i] = static_cast<std::uint8_t>(in.take(8));
        }
        if (in.overrun()) {
            return DecodeStatus::Truncated;
        }
    }
    const unsigned lenMask = 0xFFu >> factor;
    unsigned state = 0;
    unsigned v = 0;
    unsigned len = 0;
    unsigned last = 0;
    while (out.total() < size) {
        unsigned c = 0;
        if (count[last] == 0) {
            c = in.take(8);
        } else if (in.take(1) != 0) {
            c = in.take(8);
        } else {
            const unsigned i = in.take(bitsForSet(count[last]));
            if (i >= count[last]) {
                return DecodeStatus::DataError;
            }
            c = followers[last][i];
        }
        if (in.overrun()) {
            out.flush();
            return DecodeStatus::Truncated;
        }
        last = c;
        switch (state) {
        case 0:
            if (c != 144) {
                out.put(static_cast<std::uint8_t>(c));
            } else {
                state = 1;
            }
            break;
        case 1:
            if (c == 0) {
                out.put(144);
                state = 0;
            } else {
                v = c;
                len = v & lenMask;
                state = len == lenMask ? 2 : 3;
            }
            break;
        case 2:
            len += c;
            state = 3;
            break;
        default: {
            const std::size_t dist = ((v >> (8 - factor)) << 8) + c + 1;
            std::uint64_t n = len + 3;
            if (n > size - out.total()) {
                n = size - out.total();
            }
            out.copy(dist, static_cast<std::size_t>(n));
            state = 0;
            break;
        }
        }
    }
    out.flush();
    return DecodeStatus::Ok;
}

} // namespace qv
