// The snapshot of a stored task that a run takes when it starts.
#pragma once

#include "core/engine/RunSnapshot.h"

#include <memory>

namespace qv {

class TaskDefinition;
struct FilterTestDraft;

// Reads the task through its getters (program-wide defaults resolved), expands its folders once
// and prepares its own copy of the filters. `diskSpanDialog`: whether the disk-full dialog is on
// for the run's start mode (TTask::GetEventsDiskSpanDialog). Main thread.
std::shared_ptr<RunSnapshot> makeRunSnapshot(const TaskDefinition &task, bool diskSpanDialog);
// The snapshot of a filter test: the task's, with the filters and destination of `draft` (the
// destination folders and those named after it expanded again, as for a run).
std::shared_ptr<RunSnapshot> makeTestSnapshot(const TaskDefinition &task, const FilterTestDraft &draft);

} // namespace qv
