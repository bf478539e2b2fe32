// The task logger: gates, log file lines and the activity list.
//
// The log file is opened, appended to with one write and closed for every line: a line is never
// split by another writer, and other programs may read, rotate or remove the file in between.
// Opening never blocks (a FIFO without a reader is simply not written).
#include "core/log/TaskLogger.h"

#include "core/text/LocaleText.h"
#include "core/util/Utils.h"
#include "platform/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace qv {

namespace {

ActivityLogNotifier &activityLogNotifier()
{
    static ActivityLogNotifier notifier;
    return notifier;
}

std::string homeFolder()
{
    const char *home = std::getenv("HOME");
    return (home != nullptr && home[0] == '/') ? std::string(home) : std::string("/");
}

std::string currentFolder()
{
    std::string buf(4096, '\0');
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE || buf.size() > (1u << 20)) {
            return "/";
        }
        buf.resize(buf.size() * 2);
    }
    buf.resize(std::char_traits<char>::length(buf.c_str()));
    return buf;
}

// A file name may hold a line break; written as it is, it would split the message and let the rest
// pass for a line of its own. Line breaks are written as the two characters "\n" and "\r"; every
// other byte stays as it is.
std::string oneLine(const std::string &text)
{
    if (text.find_first_of("\r\n") == std::string::npos) {
        return text;
    }
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

void setActivityLogNotifier(ActivityLogNotifier notifier)
{
    activityLogNotifier() = std::move(notifier);
}

bool logKindPasses(const LogSettingsSource &task, int kind)
{
    switch (kind) {
    case kLogStarted:
    case kLogFinished:
    case kLogAborted:
    case kLogInformation:
        return task.logIncludeSummary();
    case kLogFile:
        return task.logIncludeFiles();
    case kLogSkipped:
        return task.logIncludeSkipping();
    case kLogWarning:
        return task.logIncludeWarnings();
    case kLogError:
        return task.logIncludeErrors();
    default:
        return false;
    }
}

std::string loggedText(int kind, const std::string &message)
{
    switch (kind) {
    case kLogStarted:
        return "Backup started.";
    case kLogFinished:
        return "Backup finished.";
    case kLogAborted:
        return "Backup ABORTED!";
    case kLogWarning:
        return "WARNING: " + message;
    case kLogError:
        return "ERROR: " + message;
    default:
        return message;
    }
}

TTaskLogger::TTaskLogger(const LogSettingsSource *task) : m_task(task)
{
    CheckLogSize();
}

TTaskLogger::~TTaskLogger() = default;

void TTaskLogger::Add(int kind, const std::string &message)
{
    if (m_task == nullptr || !logKindPasses(*m_task, kind)) {
        return;
    }
    const std::string text = oneLine(loggedText(kind, message));
    const QDateTime now = nowDateTime();
    WriteToFile(kind, DateTimeToStr(now) + ": " + text);
    AddEvent(kind, text, toDayCount(now));
}

void TTaskLogger::Clear()
{
    m_events.clear();
    notify(LogChange::Reset);
}

const TLogItem &TTaskLogger::Item(std::size_t index) const
{
    if (index >= m_events.size()) {
        throw std::out_of_range("log event " + std::to_string(index) + " does not exist (the log holds " +
                                std::to_string(m_events.size()) + " events)");
    }
    return m_events[index];
}

std::string TTaskLogger::GetEventText(std::size_t index) const
{
    const TLogItem &item = Item(index);
    return DateTimeToStr(fromDayCount(item.Time)) + ": " + item.Text;
}

std::string TTaskLogger::GetLogFileName() const
{
    if (m_task == nullptr) {
        return {};
    }
    std::string name = m_task->logFileName();
    if (name.empty()) {
        name = kDefaultLogFileName;
    }
    if (name == "~" || name.rfind("~/", 0) == 0) {
        return homeFolder() + name.substr(1);
    }
    if (name.front() == '/') {
        return name;
    }
    if (name.find('/') == std::string::npos) {
        return GetDataFolder() + name; // ends in "/"
    }
    return currentFolder() + "/" + name;
}

void TTaskLogger::CheckLogSize()
{
    if (m_task == nullptr) {
        return;
    }
    const long long maxKb = m_task->logMaxSize();
    if (maxKb <= 0) {
        return; // no limit
    }
    const std::string path = GetLogFileName();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return;
    }
    if (static_cast<long long>(st.st_size) >= maxKb * 1024) {
        (void)::truncate(path.c_str(), 0);
    }
}

void TTaskLogger::WriteToFile(int /*kind*/, const std::string &line)
{
    if (!m_task->logEnabled()) {
        return;
    }
    const std::string path = GetLogFileName();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd >= 0) {
        const std::string text = line + "\n";
        int error = 0;
        (void)writeAll(fd, text.data(), text.size(), error);
        ::close(fd);
    }
    if (++m_linesWritten > 100) {
        m_linesWritten = 0;
        CheckLogSize();
    }
}

void TTaskLogger::AddEvent(int kind, const std::string &text, TDateTime time)
{
    while (m_events.size() >= kMaxLogEvents) {
        m_events.pop_front();
        ++m_dropped;
    }
    m_events.push_back(TLogItem{kind, time, text});
    notify(LogChange::Added);
}

void TTaskLogger::notify(LogChange change) const
{
    if (const auto &n = activityLogNotifier()) {
        n(*this, change);
    }
}

} // namespace qv
