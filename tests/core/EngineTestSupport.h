// Shared fixtures of the backup engine tests: a recording host, snapshots, small file helpers.
#pragma once

#include "core/engine/BackupHost.h"
#include "core/engine/BackupTypes.h"
#include "core/engine/FolderScanner.h"
#include "core/engine/RunSnapshot.h"
#include "support/TestEnv.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <vector>

namespace enginetest {

struct LoggedLine {
    int kind;
    std::string text;
};

struct RaisedAlert {
    int kind;
    std::string buttons;
    std::string text;
};

// Records everything a run reports; answers alerts through `answer` (default: no dialog).
class RecordingHost : public qv::BackupHost
{
public:
    void log(int kind, const std::string &text) override { lines.push_back({kind, text}); }
    qv::AlertAnswer alert(int kind, const std::string &buttons, const std::string &text) override
    {
        alerts.push_back({kind, buttons, text});
        qv::AlertAnswer a(answer ? answer(kind, buttons, text) : 0);
        a.mail = mail;
        return a;
    }
    // Given to every alert as its mail (tests of mail sent by the run).
    std::function<std::string()> mail;
    void openReport(const std::string &path) override { reports.push_back(path); }
    void finished(qv::RunEnd end) override
    {
        ended = true;
        aborted = end == qv::RunEnd::Aborted;
        undone = end == qv::RunEnd::Undone;
        if (onFinished) {
            onFinished();
        }
    }

    int count(int kind) const
    {
        int n = 0;
        for (const auto &l : lines) {
            n += l.kind == kind ? 1 : 0;
        }
        return n;
    }
    bool logged(int kind, const std::string &text) const
    {
        for (const auto &l : lines) {
            if (l.kind == kind && l.text == text) {
                return true;
            }
        }
        return false;
    }
    bool loggedContaining(int kind, const std::string &part) const
    {
        for (const auto &l : lines) {
            if (l.kind == kind && l.text.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    std::string dump() const
    {
        std::string s;
        for (const auto &l : lines) {
            s += std::to_string(l.kind) + " " + l.text + "\n";
        }
        return s;
    }

    std::function<int(int, const std::string &, const std::string &)> answer;
    std::function<void()> onFinished;
    std::vector<LoggedLine> lines;
    std::vector<RaisedAlert> alerts;
    std::vector<std::string> reports; // reports a filter test asked to open
    bool ended = false;
    bool aborted = false;
    bool undone = false; // finished, with something it was asked for left undone
};

// A snapshot with one source per folder (subfolders included) and plain destinations.
inline std::shared_ptr<qv::RunSnapshot> makeSnapshot(const std::vector<std::string> &sources, const std::string &dest,
                                                     qv::BackupTaskType type = qv::BackupTaskType::SimpleCopy)
{
    auto s = std::make_shared<qv::RunSnapshot>();
    s->taskName = "test";
    s->taskType = type;
    s->destinationRoot = dest.back() == '/' ? dest : dest + "/";
    for (const std::string &src : sources) {
        s->sources.push_back(qv::RunSource{src.back() == '/' ? src : src + "/", true, s->destinationRoot});
    }
    s->deleteKind = qv::BackupDeleteKind::Normal;
    s->diskSpanDialog = false;
    return s;
}

// Writes a file (creating its folders) and gives it a modification time in seconds since the epoch.
inline void put(const std::string &path, const std::string &data, long mtime = 0)
{
    std::string folder = path.substr(0, path.rfind('/'));
    qvtest::runShell("mkdir -p '" + folder + "'");
    qvtest::writeFile(path, data);
    if (mtime != 0) {
        struct timeval tv[2] = {{mtime, 0}, {mtime, 0}};
        ::utimes(path.c_str(), tv);
    }
}

inline bool exists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Filters for tests: excludes names by suffix; optionally includes empty folders.
class SuffixFilter : public qv::EntryFilter
{
public:
    SuffixFilter(std::vector<std::string> excluded, bool emptyFolders)
        : m_excluded(std::move(excluded)), m_emptyFolders(emptyFolders)
    {
    }
    bool match(const std::string &, const qv::ScanItem &item) const override
    {
        for (const auto &e : m_excluded) {
            if (item.name.size() >= e.size() && item.name.compare(item.name.size() - e.size(), e.size(), e) == 0) {
                return false;
            }
        }
        return true;
    }
    bool includesEmptyFolders() const override { return m_emptyFolders; }

private:
    std::vector<std::string> m_excluded;
    bool m_emptyFolders;
};

// A directory reader that fails on chosen folders, as an unreadable folder would.
class FailingReader : public qv::DirectoryReader
{
public:
    explicit FailingReader(std::set<std::string> failing) : m_failing(std::move(failing)) {}
    bool list(const std::string &folder, std::vector<qv::DirItem> &items, int &error) override
    {
        if (m_failing.count(folder) != 0) {
            error = 13; // EACCES
            return false;
        }
        return qv::DirectoryReader::list(folder, items, error);
    }
    bool listKinds(const std::string &folder, std::vector<qv::DirItem> &items, int &error) override
    {
        if (m_failing.count(folder) != 0) {
            error = 13;
            return false;
        }
        return qv::DirectoryReader::listKinds(folder, items, error);
    }

private:
    std::set<std::string> m_failing;
};

} // namespace enginetest
