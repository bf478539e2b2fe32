// The stored settings of a task's folder monitor: which kinds of change start the task, and the wait.
//
// They are part of a task's settings (stored with it, edited in its dialog) and are held by the
// task's folder monitor, which watches with them.
#pragma once

#include <cstdint>

namespace qv {

struct TFolderMonitorSettings
{
    bool DoWait = false;
    std::int32_t WaitSeconds = 0;
    bool MonitorFileName = false;
    bool MonitorFolderName = false;
    bool MonitorAttributes = false;
    bool MonitorSize = false;
    bool MonitorLastWrite = false;
    bool MonitorSecurity = false;
    bool operator==(const TFolderMonitorSettings &) const = default;
};

} // namespace qv
