// The logger of a task: the task's Log getters as the logger's settings.
#include "core/task/TaskDefinition.h"
#include "core/log/TaskLogger.h"

#include <QTimer>

namespace qv {

namespace {

class TaskLogSettings : public LogSettingsSource
{
public:
    explicit TaskLogSettings(const TaskDefinition *task) : m_task(task) {}
    bool logEnabled() const override { return m_task->GetLogEnabled(); }
    std::string logFileName() const override { return m_task->GetLogFileName(); }
    int logMaxSize() const override { return static_cast<int>(m_task->GetLogMaxSize()); }
    bool logIncludeSummary() const override { return m_task->GetLogIncludeSummary(); }
    bool logIncludeFiles() const override { return m_task->GetLogIncludeFiles(); }
    bool logIncludeSkipping() const override { return m_task->GetLogIncludeSkipping(); }
    bool logIncludeWarnings() const override { return m_task->GetLogIncludeWarnings(); }
    bool logIncludeErrors() const override { return m_task->GetLogIncludeErrors(); }

private:
    const TaskDefinition *m_task;
};

} // namespace

TTaskLogger::TTaskLogger(const TaskDefinition *task)
    : m_ownSettings(task != nullptr ? std::make_unique<TaskLogSettings>(task) : nullptr),
      m_task(m_ownSettings.get())
{
    CheckLogSize();
}

} // namespace qv
