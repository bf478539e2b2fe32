// The system scheduler on systemd user units, driven by `systemctl --user`.
#pragma once

#include "platform/SystemScheduler.h"

#include <mutex>
#include <optional>

namespace qv {

class SystemdScheduler : public SystemScheduler
{
public:
    static constexpr int kQueryTimeoutMs = 2000;
    static constexpr int kChangeTimeoutMs = 15000;

    // $XDG_CONFIG_HOME/systemd/user (or ~/.config/systemd/user), where the user manager looks.
    static std::string unitFolder();

    bool available() override;
    std::vector<std::string> entryNames() override;
    void writeEntry(const Entry &entry) override;
    void setTriggers(const std::string &name, const std::string &description,
                     const std::vector<std::string> &calendars) override;
    std::optional<std::vector<std::string>> triggers(const std::string &name) override;
    void removeEntry(const std::string &name) override;
    CalendarCheck checkCalendar(const std::string &expression) override;

private:
    // Asks the user manager; `state` is its answer or why there is none. Updates the kept answer.
    bool probe(std::string &state);
    // Every change asks first, so that nothing is written for a manager that is not there.
    void requireManager();

    // The probe starts a process: its answer is kept for available().
    std::mutex m_probeLock;
    std::optional<bool> m_available;
};

} // namespace qv
