// Dial-up entries as NetworkManager connection profiles, driven through nmcli.
#include "platform/NmcliDialer.h"

#include "platform/Processes.h"

#include <algorithm>

namespace qv {

namespace {

Processes::Outcome runNmcli(const std::vector<std::string> &args, int timeoutMs,
                            const std::atomic<bool> *stop = nullptr)
{
    Processes::Command c;
    c.argv.reserve(args.size() + 1);
    c.argv.push_back("nmcli");
    c.argv.insert(c.argv.end(), args.begin(), args.end());
    c.environment = {"LC_ALL=C"};
    c.timeoutMs = timeoutMs;
    c.stop = stop;
    return Processes::execute(c);
}

} // namespace

std::vector<std::string> NmcliDialer::names(bool active) const
{
    // Terse output of one field needs no unescaping: with "--escape no" a name holding ":" or "\"
    // comes back as it stands, one name a line, however many profiles there are.
    std::vector<std::string> args = {"-t", "--escape", "no", "-f", "NAME", "connection", "show"};
    if (active) {
        args.push_back("--active");
    }
    const Processes::Outcome o = runNmcli(args, m_limits.listMs);
    std::vector<std::string> list;
    if (o.end != Processes::End::Exited || o.exitCode != 0 || o.outTruncated) {
        return list;
    }
    std::string::size_type pos = 0;
    while (pos < o.out.size()) {
        std::string::size_type end = o.out.find('\n', pos);
        if (end == std::string::npos) {
            end = o.out.size();
        }
        if (end > pos) {
            list.push_back(o.out.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return list;
}

std::vector<std::string> NmcliDialer::phonebookEntries()
{
    return names(false);
}

std::vector<std::string> NmcliDialer::activeConnections()
{
    return names(true);
}

bool NmcliDialer::isEntryConnected(const std::string &entry)
{
    const std::vector<std::string> active = names(true);
    return std::find(active.begin(), active.end(), entry) != active.end();
}

int NmcliDialer::change(const std::vector<std::string> &args, int timeoutMs, const std::atomic<bool> *stop) const
{
    const Processes::Outcome o = runNmcli(args, timeoutMs, stop);
    switch (o.end) {
    case Processes::End::Exited:
        return o.exitCode == kManagerNotRunning ? -1 : o.exitCode;
    case Processes::End::TimedOut:
        return kTimedOut; // nmcli's own time-out code: it did not answer in time either
    case Processes::End::Stopped:
        return kStopped;
    default:
        return -1;
    }
}

int NmcliDialer::dial(const std::string &entry, const std::atomic<bool> *stop)
{
    const int code = change({"--wait", "90", "connection", "up", "id", entry}, m_limits.dialMs, stop);
    if (code == kStopped || code == kTimedOut) {
        // NetworkManager goes on activating after nmcli has gone: an attempt given up is called off,
        // so that no connection comes up later with no run to take it down.
        runNmcli({"connection", "down", "id", entry}, m_limits.hangUpMs);
    }
    return code;
}

int NmcliDialer::hangUp(const std::string &entry)
{
    return change({"connection", "down", "id", entry}, m_limits.hangUpMs);
}

} // namespace qv
