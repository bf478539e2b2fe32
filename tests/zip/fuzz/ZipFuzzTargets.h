// Fuzz targets of the zip library. Each takes any bytes and must neither crash, hang, leak nor
// read out of bounds; a target aborts when it sees a plainly wrong result (output that disagrees
// with zlib where zlib accepts the stream). libFuzzer drives them in the fuzzing build, and the
// test suite replays the seed corpus through them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ziptest {

// Opens the bytes as an archive, lists it, reads comments, tests every entry.
void fuzzReadDirectory(const std::uint8_t *data, std::size_t size);
// Raw inflate, compared with zlib.
void fuzzInflate(const std::uint8_t *data, std::size_t size);
// The old decoders; the first bytes choose the size and the variant.
void fuzzUnshrink(const std::uint8_t *data, std::size_t size);
void fuzzUnreduce(const std::uint8_t *data, std::size_t size);
void fuzzExplode(const std::uint8_t *data, std::size_t size);
// A streamed object list (plain, then sorted); what reads back must write back to the same bytes.
void fuzzListStream(const std::uint8_t *data, std::size_t size);
// The bytes as the ".zfc" configuration file of a small set of volumes: the set is listed and
// tested; a mismatch must be an error, never a crash or a read outside the volumes.
void fuzzVolumeConfig(const std::uint8_t *data, std::size_t size);

struct FuzzTarget
{
    const char *name;
    void (*run)(const std::uint8_t *, std::size_t);
};
extern const FuzzTarget kFuzzTargets[7];

} // namespace ziptest
