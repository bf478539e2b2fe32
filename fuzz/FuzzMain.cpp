// libFuzzer entry for one zip fuzz target, chosen at compile time with -DQV_FUZZ_TARGET=<index>.
#include "fuzz/ZipFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ziptest::kFuzzTargets[QV_FUZZ_TARGET].run(data, size);
    return 0;
}
