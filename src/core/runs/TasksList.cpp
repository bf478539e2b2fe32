// The list of all tasks.
#include "core/runs/Task.h"

#include <algorithm>

namespace qv {
namespace {

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lx = static_cast<unsigned char>(x);
        auto ly = static_cast<unsigned char>(y);
        return (lx >= 'A' && lx <= 'Z' ? lx + 32 : lx) == (ly >= 'A' && ly <= 'Z' ? ly + 32 : ly);
    });
}

} // namespace

TTask *TTasksList::Add(std::unique_ptr<TTask> task)
{
    if (task->ID.empty() || TaskIDInUse(task->ID, task.get())) {
        task->GenerateID(this);
    }
    m_tasks.push_back(std::move(task));
    return m_tasks.back().get();
}

void TTasksList::Delete(int index)
{
    m_tasks.erase(m_tasks.begin() + index);
}

std::unique_ptr<TTask> TTasksList::Extract(int index)
{
    std::unique_ptr<TTask> task = std::move(m_tasks[static_cast<std::size_t>(index)]);
    m_tasks.erase(m_tasks.begin() + index);
    return task;
}

int TTasksList::IndexOf(const TTask *task) const
{
    for (std::size_t i = 0; i < m_tasks.size(); ++i) {
        if (m_tasks[i].get() == task) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TTasksList::Move(int from, int to)
{
    if (from == to) {
        return;
    }
    std::unique_ptr<TTask> task = Extract(from);
    m_tasks.insert(m_tasks.begin() + to, std::move(task));
}

bool TTasksList::TaskIDExists(const std::string &id) const
{
    return FindByID(id) != nullptr;
}

TTask *TTasksList::FindByID(const std::string &id) const
{
    for (const auto &task : m_tasks) {
        if (task->ID == id) {
            return task.get();
        }
    }
    return nullptr;
}

bool TTasksList::TaskIDInUse(const std::string &id, const TTask *except) const
{
    for (const auto &task : m_tasks) {
        if (task.get() != except && equalIgnoringAsciiCase(task->ID, id)) {
            return true;
        }
    }
    return false;
}

} // namespace qv
