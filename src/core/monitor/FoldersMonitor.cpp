// TFoldersMonitor: a task's folder-change settings and watches.
#include "core/monitor/FoldersMonitor.h"

#include "platform/FileStat.h"
#include "platform/LastOSError.h"
#include "platform/PathText.h"

#include <climits>
#include <exception>

namespace qv {
namespace {

// A QTimer waits at most INT_MAX milliseconds.
constexpr std::int32_t kMaxWaitSeconds = INT_MAX / 1000;

bool isExistingFolder(const std::string &path)
{
    return !path.empty() && statPath(path).isFolder;
}


} // namespace

TFoldersMonitor::TFoldersMonitor(TTask *task) : Task(task) {}

TFoldersMonitor::~TFoldersMonitor()
{
    Clear();
}

TFileChangeFilters TFoldersMonitor::GetFilter() const
{
    TFileChangeFilters filter = 0;
    const struct
    {
        bool ticked;
        TFileChangeFilter kind;
    } kinds[] = {{MonitorFileName, fnFileName},     {MonitorFolderName, fnDirName},
                 {MonitorAttributes, fnAttributes}, {MonitorSize, fnSize},
                 {MonitorLastWrite, fnLastWrite},   {MonitorSecurity, fnSecurity}};
    for (const auto &k : kinds) {
        if (k.ticked) {
            filter = static_cast<TFileChangeFilters>(filter | (1u << k.kind));
        }
    }
    return filter;
}

int TFoldersMonitor::GetDelayMilliseconds() const
{
    // A stored value out of range must neither wrap into a negative delay nor overflow.
    const std::int32_t seconds =
        WaitSeconds < 0 ? 0 : (WaitSeconds > kMaxWaitSeconds ? kMaxWaitSeconds : WaitSeconds);
    return seconds * 1000;
}

std::unique_ptr<TFolderChangeMonitor> TFoldersMonitor::makeMonitor(const std::string &folder,
                                                                   bool includeSubfolders)
{
    const TFileChangeFilters filter = GetFilter();
    if (filter == 0) {
        return nullptr;
    }
    auto monitor = std::make_unique<TFolderChangeMonitor>();
    monitor->SetDelayTime(GetDelayMilliseconds());
    monitor->SetFilter(filter);
    monitor->SetFolderName(withoutSlash(folder));
    monitor->SetMonitorSubtree(includeSubfolders);
    monitor->OnChange = [this](TFolderChangeMonitor *) {
        // The start may rebuild or free these watches; nothing of them is used after it. A start
        // that fails is the task's warning, and watching goes on.
        auto start = OnFolderChanged;
        auto warning = OnWarning;
        if (!start) {
            return;
        }
        try {
            start();
        } catch (const std::exception &e) {
            if (warning) {
                warning(std::string("A change in the task's folders could not start it: ") + e.what());
            }
        }
    };
    monitor->OnWarning = [this](TFolderChangeMonitor *, const std::string &text) { warnOnce(text); };
    return monitor;
}

void TFoldersMonitor::AddFolder(const std::string &folder, bool includeSubfolders)
{
    auto monitor = makeMonitor(folder, includeSubfolders);
    if (monitor == nullptr) {
        return;
    }
    monitor->SetActive(true);
    if (monitor->Active()) {
        Monitors.push_back(std::move(monitor));
    }
}

void TFoldersMonitor::Clear()
{
    Monitors.clear();
}

std::vector<std::string> TFoldersMonitor::Rebuild(const std::vector<WatchedFolder> &folders)
{
    Clear();
    std::vector<std::string> errors;
    for (const WatchedFolder &f : folders) {
        if (!isExistingFolder(f.path)) {
            // Watched from when it is there, as a folder that came back (a drive mounted later).
            if (auto monitor = makeMonitor(f.path, f.includeSubfolders)) {
                monitor->AwaitFolder();
                Monitors.push_back(std::move(monitor));
                warnOnce("The folder \"" + withoutSlash(f.path) +
                         "\" does not exist: its changes are not watched until it is there.");
            }
            continue;
        }
        try {
            AddFolder(f.path, f.includeSubfolders);
        } catch (const ELastOSError &e) {
            errors.push_back(e.what());
            warnOnce("Changes in the folder \"" + withoutSlash(f.path) + "\" cannot start the task: " + e.Text() +
                     " (error " + std::to_string(e.ErrorCode()) + ").");
        }
    }
    return errors;
}

void TFoldersMonitor::warnOnce(const std::string &text)
{
    if (m_warned.insert(text).second && OnWarning) {
        OnWarning(text);
    }
}

} // namespace qv
