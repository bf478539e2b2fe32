// TFolderChangeMonitor: one folder watch with a burst delay.
#include "core/monitor/FolderChangeMonitor.h"
#include "platform/FileStat.h"
#include "platform/FolderListing.h"
#include "platform/LastOSError.h"

#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

namespace qv {
namespace {

bool isExistingFolder(const std::string &path)
{
    return !path.empty() && statPath(path).isFolder;
}

std::atomic<int> g_returnInterval{2000};

// True when the folder holds any entry (or cannot be listed: then it may).
bool holdsEntries(const std::string &path)
{
    FolderListing listing;
    int error = 0;
    if (!listing.open(path, error)) {
        return true;
    }
    bool isFolder = false;
    return listing.next(isFolder) != nullptr;
}

} // namespace

void TFolderChangeMonitor::SetFolderReturnInterval(int milliseconds)
{
    g_returnInterval = std::max(milliseconds, 1);
}

std::uint32_t notifyFlagsOf(TFileChangeFilters filters)
{
    std::uint32_t flags = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (filters & (1u << bit)) {
            flags |= bit == fnSecurity ? 0x100u : (1u << bit);
        }
    }
    return flags;
}

TFolderChangeMonitor::TFolderChangeMonitor(QObject *owner) : QObject(owner), m_delayTimer(new QTimer(this))
{
    m_delayTimer->setSingleShot(true);
    m_delayTimer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5% early
    QObject::connect(m_delayTimer, &QTimer::timeout, this, [this] { Timer(); });
    m_returnTimer = new QTimer(this);
    QObject::connect(m_returnTimer, &QTimer::timeout, this, [this] { lookForFolder(); });
}

TFolderChangeMonitor::~TFolderChangeMonitor()
{
    m_delayTimer->stop();
    letGoOfWorker();
}

void TFolderChangeMonitor::SetActive(bool value)
{
    if (m_loading) {
        m_streamedActive = value;
        return;
    }
    if (value != Active()) {
        SetMonitorActive(value);
    }
}

int TFolderChangeMonitor::DelayTime() const
{
    return DelayPending() ? m_delayTimer->interval() : m_delayTime;
}

void TFolderChangeMonitor::SetDelayTime(int milliseconds)
{
    m_delayTime = milliseconds;
    if (!DelayPending()) {
        return;
    }
    if (milliseconds == 0) {
        m_delayTimer->stop(); // the pending change is dropped
    } else {
        m_delayTimer->start(std::max(milliseconds, 0));
    }
}

void TFolderChangeMonitor::SetFilter(TFileChangeFilters filter)
{
    if (filter == m_filter) {
        return;
    }
    const TFileChangeFilters old = m_filter;
    const bool wasActive = Active();
    m_filter = filter;
    try {
        SetMonitorActive(wasActive);
    } catch (...) {
        m_filter = old;
        if (wasActive) {
            try {
                SetMonitorActive(true);
            } catch (...) {
                // The first error is the one to report.
            }
        }
        throw;
    }
}

void TFolderChangeMonitor::SetFolderName(const std::string &folder)
{
    if (folder != m_folderName) {
        m_folderName = folder;
        SetMonitorActive(Active());
    }
}

void TFolderChangeMonitor::SetMonitorSubtree(bool subtree)
{
    if (subtree != m_monitorSubtree) {
        m_monitorSubtree = subtree;
        SetMonitorActive(Active());
    }
}

bool TFolderChangeMonitor::DelayPending() const
{
    return m_delayTimer->isActive();
}

void TFolderChangeMonitor::Loaded()
{
    m_loading = false;
    if (m_streamedActive) {
        SetActive(true);
    }
}

void TFolderChangeMonitor::SetMonitorActive(bool value)
{
    letGoOfWorker();
    if (!value || !isExistingFolder(m_folderName)) {
        return;
    }
    startWatch();
}

void TFolderChangeMonitor::startWatch()
{
    // The registration id is captured, so that a delivery meant for an earlier start of this
    // monitor is recognised as stale even if it were to arrive.
    auto id = std::make_shared<FolderWatcher::WatchId>(0);
    FolderWatcher::Callbacks callbacks;
    callbacks.changed = [this, id] { Changed(*id); };
    callbacks.problem = [this, id](const std::string &text) { warn(*id, text); };
    callbacks.gone = [this, id] { folderGone(*id); };
    FolderWatcher &watcher = folderWatcher();
    const FolderWatcher::AddResult result =
        watcher.addWatch(m_folderName, m_monitorSubtree, m_filter, std::move(callbacks));
    if (result.id == 0) {
        RaiseWin32Error(result.error != 0 ? result.error : EIO, result.message);
    }
    *id = result.id;
    m_watcher = &watcher;
    m_worker = result.id;
    if (!result.warning.empty()) {
        warn(result.id, result.warning);
    }
}

void TFolderChangeMonitor::DoChange()
{
    // The handler may free this monitor (a task rebuilding its watches), so it runs from a copy
    // and nothing of the monitor is touched after it.
    if (auto handler = OnChange) {
        handler(this);
    }
}

void TFolderChangeMonitor::Changed(FolderWatcher::WatchId from)
{
    if (from != m_worker) {
        return;
    }
    if (m_delayTime > 0) {
        // Later changes of the burst are absorbed: the delay counts from the first one.
        if (!DelayPending()) {
            m_delayTimer->start(m_delayTime);
        }
        return;
    }
    DoChange();
}

void TFolderChangeMonitor::Timer()
{
    DoChange();
}

void TFolderChangeMonitor::warn(FolderWatcher::WatchId from, const std::string &text)
{
    if (from == m_worker && OnWarning) {
        OnWarning(this, text);
    }
}

void TFolderChangeMonitor::AwaitFolder()
{
    letGoOfWorker();
    m_awaitingFolder = true;
    m_returnFailureReported = false;
    m_returnTimer->start(g_returnInterval.load());
}

void TFolderChangeMonitor::folderGone(FolderWatcher::WatchId from)
{
    if (from != m_worker) {
        return;
    }
    AwaitFolder();
    if (OnWarning) {
        OnWarning(this, "The folder \"" + m_folderName +
                            "\" was deleted or moved away: its changes are not watched until it is back.");
    }
}

void TFolderChangeMonitor::lookForFolder()
{
    if (!isExistingFolder(m_folderName)) {
        return;
    }
    try {
        startWatch();
    } catch (const ELastOSError &e) {
        // Tried again at every look; said once.
        if (!m_returnFailureReported && OnWarning) {
            m_returnFailureReported = true;
            OnWarning(this, "Changes in the folder \"" + m_folderName + "\" are not watched: " + e.Text() +
                                " (error " + std::to_string(e.ErrorCode()) + ").");
        }
        return;
    }
    m_awaitingFolder = false;
    m_returnTimer->stop();
    // What the folder holds now may differ from what it held: its return is a change, unless it
    // came back empty (what it receives from now on is seen: it is listed after the watch began).
    if (holdsEntries(m_folderName)) {
        Changed(m_worker);
    }
}

void TFolderChangeMonitor::letGoOfWorker()
{
    m_awaitingFolder = false;
    m_returnTimer->stop();
    if (m_worker != 0) {
        m_watcher->removeWatch(m_worker);
        m_worker = 0;
        m_watcher = nullptr;
    }
}

} // namespace qv
