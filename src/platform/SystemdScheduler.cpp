// The system scheduler on systemd user units.
//
// An entry "quorvellant-<escaped ID>" is a oneshot service that runs the program and, when it has
// triggers, a timer of the same name with one OnCalendar= per trigger (Persistent=, so that a start
// missed while the machine was off happens at the next boot). Files are written to a temporary
// name and renamed, so the manager never reads half a unit; every systemctl call has a time-out.
// Every change first asks whether a user manager answers and writes nothing when none does; a
// change the manager refuses puts back the files it replaced. Without a manager, removing an entry
// only removes its files (nothing has them loaded), and removing one that is not there succeeds.
#include "platform/SystemdScheduler.h"

#include "beneath/RootFolder.h"
#include "beneath/ShownText.h"
#include "platform/FileIo.h"
#include "platform/Processes.h"
#include "platform/SystemdUnits.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

const std::string kPrefix = "quorvellant-";
// systemd takes unit names of up to 255 bytes, the type's suffix included; ".service" is our longest.
constexpr std::size_t kUnitNameMax = 255;
const std::string kLongestSuffix = ".service";

std::string trimmed(const std::string &s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string commandText(const std::vector<std::string> &argv)
{
    std::string text;
    for (const std::string &a : argv) {
        text += (text.empty() ? "" : " ") + a;
    }
    return text;
}

Processes::Outcome runTool(const std::vector<std::string> &argv, int timeoutMs)
{
    Processes::Command c;
    c.argv = argv;
    c.environment = {"LC_ALL=C", "SYSTEMD_PAGER=", "SYSTEMD_COLORS=0"};
    c.timeoutMs = timeoutMs;
    return Processes::execute(c);
}

// Runs a systemctl change; throws with the tool's own words when it fails.
void systemctl(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {"systemctl", "--user"};
    argv.insert(argv.end(), args.begin(), args.end());
    const Processes::Outcome o = runTool(argv, SystemdScheduler::kChangeTimeoutMs);
    const std::string what = commandText(argv);
    switch (o.end) {
    case Processes::End::Exited:
        if (o.exitCode == 0) {
            return;
        }
        throw SchedulerError(what + " failed: " +
                             trimmed(o.err.empty() ? o.out : o.err + (o.out.empty() ? "" : "\n" + o.out)));
    case Processes::End::NotStarted:
        throw SchedulerError(what + " could not be started: " + o.error);
    case Processes::End::TimedOut:
        throw SchedulerError(what + " did not answer within " +
                             std::to_string(SystemdScheduler::kChangeTimeoutMs / 1000) + " seconds.");
    default:
        throw SchedulerError(what + " ended by signal " + std::to_string(o.signal) + ".");
    }
}

// Writes through a temporary file in the same folder, synced, and renames it over `path`; the
// folder and its missing levels are made first.
void writeUnitFile(const std::string &path, const std::string &data)
{
    int error = 0;
    if (!makeFolderChain(path.substr(0, path.rfind('/')), 0700, error) ||
        !replaceFile(path, data, 0644, error)) {
        throw SchedulerError("Cannot write " + path + ": " + std::strerror(error));
    }
}

bool readFile(const std::string &path, std::string &data)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buf[8192];
    ssize_t n = 0;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) {
            data.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return n == 0;
}

bool exists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Puts back what a failed change replaced: the old text, or no file when there was none.
void restoreFile(const std::string &path, bool existed, const std::string &old)
{
    try {
        if (existed) {
            writeUnitFile(path, old);
        } else {
            ::unlink(path.c_str());
        }
    } catch (const SchedulerError &) {
        // The change's own error is the one reported.
    }
}

void reloadQuietly()
{
    try {
        systemctl({"daemon-reload"});
    } catch (const SchedulerError &) {
    }
}

void removeFile(const std::string &path, std::string &firstError)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT && firstError.empty()) {
        firstError = "Cannot remove " + path + ": " + std::strerror(errno);
    }
}

void checkName(const std::string &name)
{
    if (name.compare(0, kPrefix.size(), kPrefix) != 0 || name.find('/') != std::string::npos ||
        name.size() + kLongestSuffix.size() > kUnitNameMax) {
        throw SchedulerError("\"" + name + "\" is not a name of ours.");
    }
}

} // namespace

std::string SystemdScheduler::unitFolder()
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/systemd/user";
    }
    const char *home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/systemd/user";
}

bool SystemdScheduler::available()
{
    {
        const std::lock_guard<std::mutex> guard(m_probeLock);
        if (m_available.has_value()) {
            return *m_available;
        }
    }
    std::string state;
    return probe(state);
}

bool SystemdScheduler::probe(std::string &state)
{
    const Processes::Outcome o = runTool({"systemctl", "--user", "is-system-running"}, kQueryTimeoutMs);
    // Any answer but these means a manager runs ("degraded" exits with 1 but schedules all the same).
    state = trimmed(o.out);
    const bool answers = o.end == Processes::End::Exited && !state.empty() && state != "offline" && state != "unknown";
    if (state.empty()) {
        state = o.end == Processes::End::NotStarted ? "systemctl could not be started: " + o.error
                : o.end == Processes::End::TimedOut ? "no answer within 2 seconds"
                                                      : "no answer";
    }
    const std::lock_guard<std::mutex> guard(m_probeLock);
    m_available = answers;
    return answers;
}

void SystemdScheduler::requireManager()
{
    std::string state;
    if (!probe(state)) {
        throw SchedulerError("No systemd user manager answers for this user (systemctl --user is-system-running: " +
                             state + "); nothing was written.");
    }
}

std::vector<std::string> SystemdScheduler::entryNames()
{
    std::vector<std::string> names;
    DIR *dir = ::opendir(unitFolder().c_str());
    if (dir == nullptr) {
        return names;
    }
    const std::string suffix = ".service";
    while (const dirent *e = ::readdir(dir)) {
        const std::string n = e->d_name;
        if (n.size() > kPrefix.size() + suffix.size() && n.compare(0, kPrefix.size(), kPrefix) == 0 &&
            n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0) {
            names.push_back(n.substr(0, n.size() - suffix.size()));
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void SystemdScheduler::writeEntry(const Entry &entry)
{
    checkName(entry.name);
    requireManager();
    const std::string path = unitFolder() + "/" + entry.name + ".service";
    std::string old;
    const bool existed = readFile(path, old);
    writeUnitFile(path, SystemdUnits::serviceText(entry));
    try {
        systemctl({"daemon-reload"});
    } catch (const SchedulerError &) {
        restoreFile(path, existed, old);
        throw;
    }
}

void SystemdScheduler::setTriggers(const std::string &name, const std::string &description,
                                   const std::vector<std::string> &calendars)
{
    checkName(name);
    const std::string timer = name + ".timer";
    const std::string path = unitFolder() + "/" + timer;
    requireManager();
    if (calendars.empty()) {
        if (exists(path)) {
            systemctl({"disable", "--now", timer});
            std::string error;
            removeFile(path, error);
            systemctl({"daemon-reload"});
            if (!error.empty()) {
                throw SchedulerError(error);
            }
        }
        return;
    }
    std::string old;
    const bool existed = readFile(path, old);
    writeUnitFile(path, SystemdUnits::timerText(description, calendars));
    try {
        systemctl({"daemon-reload"});
        systemctl({"enable", "--now", timer});
        if (existed) {
            systemctl({"restart", timer}); // a running timer takes its new triggers
        }
    } catch (const SchedulerError &) {
        // The entry stays as it was: the old timer, or none (and no link that enabling made).
        if (!existed) {
            std::string ignored;
            removeFile(unitFolder() + "/timers.target.wants/" + timer, ignored);
        }
        restoreFile(path, existed, old);
        reloadQuietly();
        throw;
    }
}

std::optional<std::vector<std::string>> SystemdScheduler::triggers(const std::string &name)
{
    std::string text;
    if (!readFile(unitFolder() + "/" + name + ".timer", text)) {
        return std::nullopt;
    }
    return SystemdUnits::calendarsOf(text);
}

void SystemdScheduler::removeEntry(const std::string &name)
{
    checkName(name);
    const std::string folder = unitFolder();
    const std::string timer = name + ".timer";
    const std::string wants = folder + "/timers.target.wants/" + timer;
    if (!exists(folder + "/" + timer) && !exists(wants) && !exists(folder + "/" + name + ".service")) {
        return; // nothing there: removed already
    }
    std::string state;
    if (!probe(state)) {
        // No manager has the units loaded: removing the files is all there is to do.
        std::string error;
        removeFile(folder + "/" + timer, error);
        removeFile(wants, error);
        removeFile(folder + "/" + name + ".service", error);
        if (!error.empty()) {
            throw SchedulerError(error);
        }
        return;
    }
    // The files go whatever systemctl says; its failure is reported afterwards.
    std::string error;
    if (exists(folder + "/" + timer)) {
        try {
            systemctl({"disable", "--now", timer});
        } catch (const SchedulerError &e) {
            error = e.what();
        }
    }
    removeFile(folder + "/" + timer, error);
    removeFile(wants, error);
    removeFile(folder + "/" + name + ".service", error);
    try {
        systemctl({"daemon-reload"});
    } catch (const SchedulerError &e) {
        if (error.empty()) {
            error = e.what();
        }
    }
    if (!error.empty()) {
        throw SchedulerError(error);
    }
}

SystemScheduler::CalendarCheck SystemdScheduler::checkCalendar(const std::string &expression)
{
    CalendarCheck check;
    const std::string trimmedExpression = trimmed(expression);
    if (trimmedExpression.empty() || trimmedExpression.find_first_of("\r\n\t") != std::string::npos) {
        check.message = "Enter one calendar expression on one line.";
        return check;
    }
    const Processes::Outcome o = runTool({"systemd-analyze", "calendar", trimmedExpression}, kQueryTimeoutMs);
    if (o.end == Processes::End::NotStarted) {
        check.message = "systemd-analyze could not be started: " + o.error;
        return check;
    }
    if (o.end == Processes::End::TimedOut) {
        check.message = "systemd-analyze did not answer within 2 seconds.";
        return check;
    }
    if (o.end != Processes::End::Exited || o.exitCode != 0) {
        check.message = trimmed(o.err.empty() ? o.out : o.err);
        return check;
    }
    std::string::size_type pos = 0;
    while (pos < o.out.size()) {
        const auto end = std::min(o.out.find('\n', pos), o.out.size());
        const std::string line = trimmed(o.out.substr(pos, end - pos));
        const auto colon = line.find(": ");
        if (colon != std::string::npos && line.compare(0, colon, "Normalized form") == 0) {
            check.normalized = line.substr(colon + 2);
        } else if (colon != std::string::npos && line.compare(0, colon, "Next elapse") == 0) {
            check.nextElapse = line.substr(colon + 2);
        }
        pos = end + 1;
    }
    check.accepted = !check.normalized.empty();
    if (!check.accepted) {
        check.message = "systemd-analyze gave no normalized form: " + trimmed(o.out);
    }
    return check;
}

// ---- The program's one scheduler ----------------------------------------------------------------

namespace {
std::atomic<SystemScheduler *> g_scheduler{nullptr};
} // namespace

SystemScheduler &systemScheduler()
{
    static SystemdScheduler systemd;
    SystemScheduler *s = g_scheduler.load();
    return s != nullptr ? *s : systemd;
}

void setSystemScheduler(SystemScheduler *s)
{
    g_scheduler.store(s);
}

std::string SystemScheduler::escapeId(const std::string &taskId)
{
    return SystemdUnits::escapeName(taskId);
}

std::string SystemScheduler::entryNameFor(const std::string &taskId)
{
    return kPrefix + escapeId(taskId);
}

// Escaped, a control character or a byte that is not UTF-8 would make a valid name, but the ID
// also stands in the service's command line and description, where systemd refuses such text.
std::string SystemScheduler::idProblem(const std::string &taskId)
{
    if (taskId.empty()) {
        return "A task without an ID cannot have a system timer.";
    }
    const std::string cannot = "The task ID \"" + shownText(taskId) + "\" cannot name a system timer: ";
    for (const unsigned char c : taskId) {
        if (c < 0x20 || c == 0x7f) {
            return cannot + "it holds a control character.";
        }
    }
    if (!isValidUtf8(taskId)) {
        return cannot + "it is not valid UTF-8.";
    }
    const std::size_t length = entryNameFor(taskId).size() + kLongestSuffix.size();
    if (length > kUnitNameMax) {
        return cannot + "its unit name would be " + std::to_string(length) +
               " bytes long, and systemd takes " + std::to_string(kUnitNameMax) + " at most.";
    }
    return {};
}

} // namespace qv
