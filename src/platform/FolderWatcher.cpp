// The program's folder watcher and the texts of its failures.
#include "platform/FolderWatcher.h"

#include "platform/FolderWatcherInotify.h"

#include <atomic>
#include <cerrno>
#include <cstring>

namespace qv {
namespace {

std::atomic<FolderWatcher *> g_installed{nullptr};

} // namespace

FolderWatcher &folderWatcher()
{
    if (FolderWatcher *w = g_installed.load()) {
        return *w;
    }
    static FolderWatcherInotify real;
    return real;
}

void setFolderWatcher(FolderWatcher *watcher)
{
    g_installed.store(watcher);
}

std::string folderWatchErrorText(int error)
{
    switch (error) {
    case ENOSPC:
        return "The system's limit of folder watches was reached (raise fs.inotify.max_user_watches).";
    case EMFILE:
        return "The system's limit of folder watchers was reached (raise fs.inotify.max_user_instances).";
    default:
        return std::strerror(error);
    }
}

} // namespace qv
