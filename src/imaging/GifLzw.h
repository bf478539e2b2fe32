// The LZW coding of GIF frame data: variable-width codes packed least significant bit first into
// sub-blocks of at most 255 bytes, preceded by the minimum code size byte.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace qv::gif {

// Frames above this many pixels are refused before anything is allocated.
inline constexpr unsigned long long kMaxFramePixels = 64ull * 1024 * 1024;

struct DecodeRequest
{
    const std::vector<std::uint8_t> *stream = nullptr; // code size byte and sub-blocks, as read
    int width = 0;
    int height = 0;
    bool interlaced = false;
    int tableCount = 256; // indices at or above it are masked into the table
    bool lenient = true;
    std::function<void(int percent)> progress;
};

struct DecodeResult
{
    std::vector<std::uint8_t> indices; // width * height, rows from the top; missing pixels 0
    bool corrupt = false;
};

// Throws EInvalidGraphicOperation with the format's messages; with `lenient` damaged data mark
// the result corrupt instead, except a frame above kMaxFramePixels, which is always refused.
DecodeResult decodeFrame(const DecodeRequest &request);

// Encodes `indices` (width * height, rows from the top, each below 2^depth) for a colour table
// of `depth` bits (1 to 8), in interlace row order when asked.
std::vector<std::uint8_t> encodeFrame(const std::vector<std::uint8_t> &indices, int width, int height,
                                      int depth, bool interlaced);

// The rows of a frame in the order they are stored: for interlaced frames every 8th row from 0,
// every 8th from 4, every 4th from 2, then every 2nd from 1.
std::vector<int> storedRowOrder(int height, bool interlaced);

} // namespace qv::gif
