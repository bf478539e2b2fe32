// Fuzz targets of the GIF reader and writer and of the colour reduction. Each takes any bytes and
// must neither crash, hang, leak nor read out of bounds; a target aborts when it sees a plainly
// wrong result. libFuzzer drives them in the fuzzing build, and the test suite replays the seed
// corpus through them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace giftest {

// Reads the bytes as a GIF, decodes every frame, writes the frames again with our encoder and
// reads that back: the indices and colour tables must match.
void fuzzGifRead(const std::uint8_t *data, std::size_t size);
// The first five bytes choose width, height, method, target and source depth; the rest are the
// palette and pixels. Every index must lie inside the palette and the bitmap file's sizes must
// agree with BytesPerScanline.
void fuzzColourReduce(const std::uint8_t *data, std::size_t size);

struct FuzzTarget
{
    const char *name;
    void (*run)(const std::uint8_t *, std::size_t);
};
extern const FuzzTarget kFuzzTargets[2];

} // namespace giftest
