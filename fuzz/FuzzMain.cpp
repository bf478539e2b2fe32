// libFuzzer entry for one fuzz target, chosen at compile time: -DQV_FUZZ_TARGET=<index> within
// the zip targets, or within the GIF targets when QV_FUZZ_GIF is defined.
#include <cstdlib>
#include <cstring>

#if defined(QV_FUZZ_GIF)
#include "fuzz/GifFuzzTargets.h"
namespace suite = giftest;
#else
#include "fuzz/ZipFuzzTargets.h"
namespace suite = ziptest;
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
#if defined(QV_FUZZ_PLANTED_CRASH)
    // The script's self-check: this input must end the run with a finding.
    static const char kPlanted[] = "PLANTED-CRASH";
    if (size >= sizeof kPlanted - 1 && std::memcmp(data, kPlanted, sizeof kPlanted - 1) == 0) {
        std::abort();
    }
#endif
    suite::kFuzzTargets[QV_FUZZ_TARGET].run(data, size);
    return 0;
}
