// A stand-in for the task properties dialog as its pages see it: a stored task and a live draft.
#pragma once

#include "core/runs/Task.h"
#include "ui/taskprops/TaskPropertiesPage.h"

#include <memory>

namespace taskpagetest {

class FakeTaskContext : public qv::TaskPageContext
{
public:
    explicit FakeTaskContext(qv::TTask *task) : m_task(task), m_draft(task->settings()) {}

    qv::TTask *task() const override { return m_task; }
    qv::TaskSettings &draft() override { return m_draft; }
    std::string expand(const std::string &text) const override { return m_task->Expand(text); }

private:
    qv::TTask *m_task;
    qv::TaskSettings m_draft;
};

inline qv::TTaskFilterItem wildcardFilter(const std::string &mask, qv::TFilterType type = qv::fitInclude)
{
    qv::TTaskFilterItem f;
    f.FilterType = type;
    f.FilterKind = qv::fikFileName;
    f.fnWildcard = mask;
    return f;
}

} // namespace taskpagetest
