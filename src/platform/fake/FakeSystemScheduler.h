// A system scheduler for tests: entries in memory, a record of every change, calendar checks by list.
#pragma once

#include "platform/SystemScheduler.h"

#include <map>
#include <set>

namespace qv {

class FakeSystemScheduler : public SystemScheduler
{
public:
    struct Stored {
        Entry entry;
        std::optional<std::vector<std::string>> calendars;
    };

    bool isAvailable = true;
    std::map<std::string, Stored> entries;
    std::set<std::string> refusedCalendars; // checkCalendar refuses these, accepts the rest
    std::vector<std::string> calls;         // "write:NAME", "triggers:NAME:N", "remove:NAME"
    std::string failWith;                   // when set, every change throws it

    bool available() override { return isAvailable; }

    std::vector<std::string> entryNames() override
    {
        std::vector<std::string> names;
        for (const auto &[name, stored] : entries) {
            names.push_back(name);
        }
        return names;
    }

    void writeEntry(const Entry &entry) override
    {
        change("write:" + entry.name);
        entries[entry.name].entry = entry;
    }

    void setTriggers(const std::string &name, const std::string &, const std::vector<std::string> &calendars) override
    {
        change("triggers:" + name + ":" + std::to_string(calendars.size()));
        entries[name].calendars = calendars.empty() ? std::nullopt : std::optional(calendars);
    }

    std::optional<std::vector<std::string>> triggers(const std::string &name) override
    {
        const auto it = entries.find(name);
        return it == entries.end() ? std::nullopt : it->second.calendars;
    }

    void removeEntry(const std::string &name) override
    {
        change("remove:" + name);
        entries.erase(name);
    }

    CalendarCheck checkCalendar(const std::string &expression) override
    {
        CalendarCheck c;
        c.accepted = refusedCalendars.count(expression) == 0;
        c.message = c.accepted ? "" : "not a calendar expression: '" + expression + "'";
        c.normalized = c.accepted ? expression : "";
        return c;
    }

private:
    void change(const std::string &call)
    {
        calls.push_back(call);
        if (!failWith.empty()) {
            throw SchedulerError(failWith);
        }
    }
};

} // namespace qv
