// The task logger: gates, log file lines and the activity list.
//
// The log file is opened, appended to with one write and closed for every batch of buffered lines:
// a line is never split by another writer, and other programs may read, rotate or remove the file
// between batches. Opening never blocks (a FIFO without a reader is simply not written).
#include "core/log/TaskLogger.h"

#include "beneath/ShownText.h"

#include "core/text/LocaleText.h"
#include "core/util/Utils.h"
#include "platform/FileIo.h"
#include "platform/FileStat.h"
#include "platform/UserAccount.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace qv {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr auto kFlushInterval = std::chrono::seconds(1);
constexpr std::size_t kFlushBytes = 256 * 1024; // a larger buffer is written at once
constexpr long long kMsPerDay = 86400000;

long long floorDiv(long long a, long long b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

ActivityLogNotifier &activityLogNotifier()
{
    static ActivityLogNotifier notifier;
    return notifier;
}

std::string currentFolder()
{
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    return ec ? std::string("/") : here.string();
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

TTaskLogger::~TTaskLogger()
{
    notify(LogChange::Destroyed);
    Flush();
}

void TTaskLogger::Add(int kind, const std::string &message)
{
    if (m_task == nullptr || !logKindPasses(*m_task, kind)) {
        return;
    }
    // A name may hold a line break or an escape sequence: written as it is, it would let the rest
    // pass for a line of its own or act on the terminal that shows the log.
    std::string text = shownText(loggedText(kind, message));
    const Moment moment = now();
    // The start and the end of a run reach the file at once.
    const bool runEdge = kind == kLogStarted || kind == kLogFinished || kind == kLogAborted;
    WriteToFile(*moment.stamp, text, runEdge);
    AddEvent(kind, std::move(text), moment.time);
}

// The moment of a message and its date and time text. The text is made once per whole second;
// only the first second of a day is made afresh each time, since its text leaves the time out
// at exactly midnight and not a millisecond later.
TTaskLogger::Moment TTaskLogger::now()
{
    const long long ms = clock().msecsSinceEpoch();
    const long long second = floorDiv(ms, 1000);
    if (!m_stampValid || second != m_stampSecond) {
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(second * 1000).toLocalTime();
        m_stampSecond = second;
        m_stampValid = true;
        m_stampDays = dayCountOfDate(local.date());
        m_stampMsOfDay = local.time().msecsSinceStartOfDay();
        m_stamp = DateTimeToStr(local);
    }
    const long long msOfDay = m_stampMsOfDay + (ms - second * 1000);
    const double fraction = static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay);
    Moment moment;
    moment.time = m_stampDays >= 0 ? m_stampDays + fraction : m_stampDays - fraction;
    moment.stamp = &m_stamp;
    if (m_stampMsOfDay == 0) {
        m_oneStamp = DateTimeToStr(QDateTime::fromMSecsSinceEpoch(ms).toLocalTime());
        moment.stamp = &m_oneStamp;
    }
    return moment;
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
    return resolveLogFileName(m_task->logFileName());
}

std::string TTaskLogger::resolveLogFileName(std::string name)
{
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
    const PathStat st = statPath(path);
    if (!st.exists || !st.isRegular) {
        return;
    }
    if (st.size >= maxKb * 1024) {
        int error = 0;
        (void)truncateFile(path, error);
    }
}

void TTaskLogger::WriteToFile(const std::string &stamp, const std::string &text, bool flushNow)
{
    if (!m_task->logEnabled()) {
        return;
    }
    std::string name = m_task->logFileName();
    if (m_pendingLines > 0 && name != m_pendingName) {
        Flush(); // the lines logged before the change go to the file named then
    }
    if (m_pendingLines == 0) {
        m_pendingName = std::move(name);
        m_pendingSince = SteadyClock::now();
        armFlushTimer();
    }
    m_pending += stamp;
    m_pending += ": ";
    m_pending += text;
    m_pending += '\n';
    ++m_pendingLines;
    if (flushNow || m_pending.size() >= kFlushBytes || SteadyClock::now() - m_pendingSince >= kFlushInterval) {
        Flush();
    }
}

void TTaskLogger::Flush()
{
    if (m_pendingLines == 0 || m_task == nullptr) {
        return;
    }
    const std::string path = resolveLogFileName(m_pendingName);
    int error = 0;
    const int fd = openForAppend(path, error);
    if (fd >= 0) {
        (void)writeAll(fd, m_pending.data(), m_pending.size(), error);
        (void)closeChecked(fd, error);
    }
    m_linesWritten += m_pendingLines;
    m_pending.clear();
    m_pendingLines = 0;
    if (m_pending.capacity() > 2 * kFlushBytes) {
        m_pending.shrink_to_fit();
    }
    if (m_flushTimer) {
        m_flushTimer->stop();
    }
    if (m_linesWritten > 100) {
        m_linesWritten = 0;
        CheckLogSize();
    }
}

// A quiet second after a buffered line still writes it: a one-shot timer, where the logger lives on
// a thread with an event loop (the program's main thread). Elsewhere the next line, Flush() or the
// destructor writes the buffer.
void TTaskLogger::armFlushTimer()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        return;
    }
    if (!m_flushTimer) {
        m_flushTimer = std::make_unique<QTimer>();
        m_flushTimer->setSingleShot(true);
        m_flushTimer->setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(kFlushInterval));
        QObject::connect(m_flushTimer.get(), &QTimer::timeout, [this] { Flush(); });
    }
    m_flushTimer->start();
}

void TTaskLogger::AddEvent(int kind, std::string text, TDateTime time)
{
    while (m_events.size() >= kMaxLogEvents) {
        m_events.pop_front();
        ++m_dropped;
    }
    m_events.push_back(TLogItem{kind, time, std::move(text)});
    notify(LogChange::Added);
}

void TTaskLogger::notify(LogChange change) const
{
    if (const auto &n = activityLogNotifier()) {
        n(*this, change);
    }
}

} // namespace qv
