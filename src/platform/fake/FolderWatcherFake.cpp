// A folder watcher for tests.
#include "platform/fake/FolderWatcherFake.h"

#include "platform/FolderWatcherRules.h"
#include "platform/PathText.h"

#include <QObject>

namespace qv {

FolderWatcherFake::FolderWatcherFake() : m_dispatcher(std::make_unique<QObject>()) {}

FolderWatcherFake::~FolderWatcherFake() = default;

FolderWatcher::AddResult FolderWatcherFake::addWatch(const std::string &folder, bool subtree,
                                                     FolderChangeKinds kinds, Callbacks callbacks)
{
    ++m_addCalls;
    const std::string root = withoutSlash(folder);
    AddResult result;
    if (m_failNextCount > 0) {
        --m_failNextCount;
        result.error = m_failNextError;
        result.message = folderWatchErrorText(m_failNextError);
        return result;
    }
    if (auto f = m_failures.find(root); f != m_failures.end() && f->second != 0) {
        result.error = f->second;
        result.message = folderWatchErrorText(f->second);
        return result;
    }
    if (auto w = m_warnings.find(root); w != m_warnings.end()) {
        result.warning = w->second;
    }
    result.id = m_nextId++;
    m_watches[result.id] = Watch{result.id, root, subtree, kinds, std::move(callbacks)};
    return result;
}

void FolderWatcherFake::removeWatch(WatchId id)
{
    m_watches.erase(id);
}

void FolderWatcherFake::failFolder(const std::string &folder, int error)
{
    m_failures[withoutSlash(folder)] = error;
}

void FolderWatcherFake::failNext(int count, int error)
{
    m_failNextCount = count;
    m_failNextError = error;
}

void FolderWatcherFake::warnFolder(const std::string &folder, const std::string &warning)
{
    m_warnings[withoutSlash(folder)] = warning;
}

void FolderWatcherFake::change(const std::string &folder, FolderChangeKinds kinds)
{
    const std::string root = withoutSlash(folder);
    for (const auto &[id, w] : m_watches) {
        if (w.folder == root && (w.kinds & kinds)) {
            queue(id, false, {});
        }
    }
}

void FolderWatcherFake::problem(const std::string &folder, const std::string &text)
{
    const std::string root = withoutSlash(folder);
    for (const auto &[id, w] : m_watches) {
        if (w.folder == root) {
            queue(id, true, text);
        }
    }
}

std::vector<FolderWatcherFake::Watch> FolderWatcherFake::watches() const
{
    std::vector<Watch> out;
    for (const auto &entry : m_watches) {
        out.push_back(entry.second);
    }
    return out;
}

void FolderWatcherFake::queue(WatchId id, bool isProblem, const std::string &text)
{
    QMetaObject::invokeMethod(
        m_dispatcher.get(),
        [this, id, isProblem, text] {
            auto it = m_watches.find(id);
            if (it == m_watches.end()) {
                return;
            }
            if (isProblem) {
                if (auto cb = it->second.callbacks.problem) {
                    cb(text);
                }
            } else if (auto cb = it->second.callbacks.changed) {
                cb();
            }
        },
        Qt::QueuedConnection);
}

} // namespace qv
