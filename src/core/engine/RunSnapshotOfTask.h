// The snapshot of a stored task that a run takes when it starts.
#pragma once

#include "core/engine/RunSnapshot.h"

#include <memory>

namespace qv {

class TTask;

// Reads the task through its getters (program-wide defaults resolved), expands its folders once
// and prepares its own copy of the filters. Main thread.
std::shared_ptr<RunSnapshot> makeRunSnapshot(const TTask &task);

} // namespace qv
