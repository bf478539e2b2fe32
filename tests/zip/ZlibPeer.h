// zlib as the peer decoder of the deflate tests.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

namespace ziptest {

// Inflates a raw deflate stream with zlib; fails the test on any zlib error or trailing data.
inline std::vector<uint8_t> zlibInflate(const std::vector<uint8_t> &in, size_t expectedSize)
{
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, -15), Z_OK);
    std::vector<uint8_t> out(expectedSize + 64);
    zs.next_in = const_cast<uint8_t *>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    EXPECT_EQ(rc, Z_STREAM_END) << (zs.msg ? zs.msg : "");
    EXPECT_EQ(zs.avail_in, 0u) << "bytes after the final block";
    out.resize(zs.total_out);
    inflateEnd(&zs);
    return out;
}

} // namespace ziptest
