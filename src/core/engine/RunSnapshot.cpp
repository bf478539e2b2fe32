// The bandwidth limit of a run.
#include "core/engine/RunSnapshot.h"

#include <limits>

namespace qv {

std::int64_t RunSnapshot::bandwidthLimit(bool use, std::int64_t value, int measure)
{
    if (!use) {
        return -1;
    }
    const std::int64_t unit = measure == 0 ? 128 : 131072; // 1 KBit and 1 MBit in bytes
    if (value < 1) {
        value = 1;
    }
    if (value > std::numeric_limits<std::int64_t>::max() / unit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return value * unit;
}

} // namespace qv
