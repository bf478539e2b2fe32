// A folder watcher for tests: records registrations, fails on demand and delivers changes when told.
//
// Deliveries are queued to the registering thread and looked up by id when they arrive, as the real
// watcher does, so tests see the same "no call after removal" rule.
#pragma once

#include "platform/FolderWatcher.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace qv {

class FolderWatcherFake final : public FolderWatcher
{
public:
    struct Watch
    {
        WatchId id = 0;
        std::string folder;
        bool subtree = false;
        FolderChangeKinds kinds = 0;
        Callbacks callbacks;
    };

    FolderWatcherFake();
    ~FolderWatcherFake() override;

    AddResult addWatch(const std::string &folder, bool subtree, FolderChangeKinds kinds,
                       Callbacks callbacks) override;
    void removeWatch(WatchId id) override;

    // Every later watch of `folder` fails with `error` (0 lets it succeed again).
    void failFolder(const std::string &folder, int error);
    // The next `count` watches of any folder fail with `error`.
    void failNext(int count, int error);
    // Every later watch of `folder` succeeds with this warning.
    void warnFolder(const std::string &folder, const std::string &warning);

    // Queues one change (or one problem) for every active watch of `folder` whose kinds meet `kinds`.
    void change(const std::string &folder, FolderChangeKinds kinds = 0xFF);
    void problem(const std::string &folder, const std::string &text);

    // The active watches, in the order they were added.
    std::vector<Watch> watches() const;
    int addCalls() const { return m_addCalls; }

private:
    void queue(WatchId id, bool isProblem, const std::string &text);

    std::unique_ptr<QObject> m_dispatcher;
    std::map<WatchId, Watch> m_watches;
    std::map<std::string, int> m_failures;
    std::map<std::string, std::string> m_warnings;
    WatchId m_nextId = 1;
    int m_addCalls = 0;
    int m_failNextCount = 0;
    int m_failNextError = 0;
};

} // namespace qv
