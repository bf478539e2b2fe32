// Test doubles for the path variables and the logger: a task that expands its folders the way a
// real task's folder getters do, log settings, and guards for the clock, locale and environment.
#pragma once

#include "core/settings/DateTime.h"
#include "core/log/TaskLogger.h"
#include "core/text/Variables.h"

#include <QLocale>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace varlogtest {

inline std::string withSlash(std::string s)
{
    if (!s.empty() && s.back() != '/') {
        s += '/';
    }
    return s;
}

// Stored folder texts, expanded on every call like a task's folder getters; counts the calls so
// that a test can bound the work an expansion does.
class FakeTask : public qv::VariableContext
{
public:
    std::vector<std::string> sources;
    std::string destination;
    std::string archive;
    std::string versions;
    std::string taskName = "Untitled";
    std::string taskId = "0123456789ABCDEF01234";
    mutable long getterCalls = 0;
    static constexpr long kRunaway = 100000;

    int sourceCount() const override { return static_cast<int>(sources.size()); }
    std::string sourceFolder(int index) const override
    {
        if (index < 0 || index >= sourceCount()) {
            return {};
        }
        return expand(sources[static_cast<std::size_t>(index)]);
    }
    std::string destinationFolder() const override { return expand(destination); }
    std::string archiveFolder() const override { return expand(archive); }
    std::string versionsFolder() const override { return expand(versions); }
    std::string name() const override { return taskName; }
    std::string id() const override { return taskId; }

private:
    std::string expand(const std::string &raw) const
    {
        // A runaway expansion fails the test quickly instead of hanging it.
        if (++getterCalls > kRunaway) {
            throw std::runtime_error("runaway expansion");
        }
        return raw.empty() ? std::string() : withSlash(qv::ExpandVariables(*this, raw));
    }
};

struct FakeLogSettings : qv::LogSettingsSource {
    bool enabled = true;
    std::string fileName = "quorvellant.log";
    int maxSize = 0;
    bool summary = true, files = true, skipping = true, warnings = true, errors = true;

    bool logEnabled() const override { return enabled; }
    std::string logFileName() const override { return fileName; }
    int logMaxSize() const override { return maxSize; }
    bool logIncludeSummary() const override { return summary; }
    bool logIncludeFiles() const override { return files; }
    bool logIncludeSkipping() const override { return skipping; }
    bool logIncludeWarnings() const override { return warnings; }
    bool logIncludeErrors() const override { return errors; }
};

// Installs a fixed clock for the lifetime of the guard.
class ClockGuard
{
public:
    explicit ClockGuard(const QDateTime &t) : m_clock(t) { qv::setClock(&m_clock); }
    ~ClockGuard() { qv::setClock(nullptr); }
    qv::FixedClock &clock() { return m_clock; }

private:
    qv::FixedClock m_clock;
};

class LocaleGuard
{
public:
    explicit LocaleGuard(const QLocale &l) : m_old(QLocale()) { QLocale::setDefault(l); }
    ~LocaleGuard() { QLocale::setDefault(m_old); }

private:
    QLocale m_old;
};

// Sets (or, with nullopt, removes) one environment variable and restores it afterwards.
class EnvGuard
{
public:
    EnvGuard(const char *name, const std::optional<std::string> &value) : m_name(name)
    {
        if (const char *old = std::getenv(name)) {
            m_old = old;
        }
        set(value);
    }
    ~EnvGuard() { set(m_old); }

private:
    void set(const std::optional<std::string> &v)
    {
        if (v) {
            ::setenv(m_name.c_str(), v->c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }
    std::string m_name;
    std::optional<std::string> m_old;
};

} // namespace varlogtest
