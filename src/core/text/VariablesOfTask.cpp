// Path variables of a task: the task's folder getters, name and ID as the variables' context.
#include "core/task/Task.h"
#include "core/text/Variables.h"

namespace qv {

namespace {

class TaskVariables : public VariableContext
{
public:
    explicit TaskVariables(const TTask &task) : m_task(task) {}
    int sourceCount() const override { return m_task.GetSourceCount(); }
    std::string sourceFolder(int index) const override { return m_task.GetSourceFolder(index); }
    std::string destinationFolder() const override { return m_task.GetDestinationFolder(-1); }
    std::string archiveFolder() const override { return m_task.GetArchiveFolder(); }
    std::string versionsFolder() const override { return m_task.GetVersionsFolder(); }
    std::string name() const override { return m_task.Name; }
    std::string id() const override { return m_task.ID; }
    const void *identity() const override { return &m_task; }

private:
    const TTask &m_task;
};

} // namespace

std::string ExpandVariables(const TTask &task, const std::string &text)
{
    return ExpandVariables(TaskVariables(task), text);
}

std::string GetVariableValue(const TTask &task, int id, int sourceIndex)
{
    return GetVariableValue(TaskVariables(task), id, sourceIndex);
}

} // namespace qv
