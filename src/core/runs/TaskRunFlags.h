// Process-wide flags of runs that the command line sets and nothing stores.
#pragma once

namespace qv {

// "/SILENT=ON": runs use the Silent alert settings. Main thread only.
inline bool SilentMode = false;

} // namespace qv
