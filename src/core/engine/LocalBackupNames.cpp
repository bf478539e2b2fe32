// TLocalBackup: how the destination's file systems keep times and names, names that only case
// tells apart on one that folds case, and times in the future.
#include "core/engine/BackupMessages.h"
#include "core/engine/LocalBackup.h"

#include <QString>

#include <chrono>
#include <ctime>

namespace qv {

namespace {

std::string folded(const std::string &path)
{
    return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())).toCaseFolded().toStdString();
}

} // namespace

bool TLocalBackup::claimedInAnotherCase(std::string_view path) const
{
    if (m_caseClaims.empty()) {
        return false;
    }
    const std::string key = folded(std::string(path));
    return m_caseClaims.count(key) != 0 || m_caseFolderClaims.count(key) != 0;
}

const FileSystemHabits &TLocalBackup::habitsAt(std::uint64_t dev, int folder, const std::string &folderPath)
{
    for (const auto &[known, habits] : m_habits) {
        if (known == dev || dev == 0) {
            return habits;
        }
    }
    FileSystemHabits habits = folder != AT_FDCWD ? habitsOf(folder) : habitsOf(folderPath);
    if (dev == 0) {
        dev = statPath(folderPath).dev;
    }
    m_habits.emplace_back(dev, habits);
    return m_habits.back().second;
}

// The names in `folder`, listed once while its files are decided.
const std::unordered_set<std::string> &TLocalBackup::namesIn(const std::string &folder)
{
    if (m_caseFolder != folder) {
        std::vector<std::string> names;
        int error = 0;
        listNames(folder, names, error);
        m_caseNames = std::unordered_set<std::string>(names.begin(), names.end());
        m_caseFolder = folder;
    }
    return m_caseNames;
}

// The name in `folder` that `name` finds there under another spelling, when it stands for another
// source name: one the source folder `sourceFolder` still has, or any for a move (whose sources
// are gone once moved).
std::string TLocalBackup::spelledForAnother(const std::string &folder, const std::string &name,
                                            const std::string &sourceFolder)
{
    const auto &names = namesIn(folder);
    if (names.count(name) != 0) {
        return {};
    }
    const std::string key = folded(name);
    for (const std::string &n : names) {
        if (folded(n) == key &&
            (m_snapshot->taskType == BackupTaskType::Move || pathTaken(sourceFolder + n))) {
            return n;
        }
    }
    return {};
}

// Whether `folder` (below the destination root) or a folder above it has another spelling there,
// kept for another source name; found once per folder.
bool TLocalBackup::folderOfAnother(const std::string &folder, const std::string &sourceFolder)
{
    const std::string &root = m_snapshot->destinationRoot;
    if (withoutSlash(folder).size() <= withoutSlash(root).size() || sourceFolder.empty()) {
        return false;
    }
    if (const auto known = m_caseFolders.find(folder); known != m_caseFolders.end()) {
        return known->second;
    }
    const std::string parent = folderOf(withoutSlash(folder));
    const std::string sourceParent = folderOf(withoutSlash(sourceFolder));
    const bool other = folderOfAnother(parent, sourceParent) ||
                       !spelledForAnother(parent, nameOf(withoutSlash(folder)), sourceParent).empty();
    m_caseFolders.emplace(folder, other);
    return other;
}

bool TLocalBackup::nameStandsAlone(PendingCopy &p, bool freshFolder)
{
    const PathStat &dst = p.destinationBefore;
    const std::uint64_t dev = p.folder != nullptr ? p.folder->dev : dst.exists ? dst.dev : 0;
    const std::string folder = folderOf(p.destination);
    if (dev == 0 || !habitsAt(dev, folderFd(p), folder).foldsCase) {
        return true;
    }
    // Its folders stand for source folders too, whatever their spelling there.
    if (folder != m_caseClaimedFolder) {
        m_caseClaimedFolder = folder;
        const std::string root = withoutSlash(m_snapshot->destinationRoot);
        for (std::string f = folder; withoutSlash(f).size() > root.size(); f = folderOf(withoutSlash(f))) {
            if (!m_caseFolderClaims.insert(folded(f)).second) {
                break;
            }
        }
    }
    // The name this entry stands for: one this run gave it, else the one it had before the run.
    std::string other;
    const auto [claim, fresh] = m_caseClaims.emplace(folded(p.destination), p.destination);
    if (!fresh && claim->second != p.destination) {
        other = claim->second;
    } else if (dst.exists && !freshFolder) {
        // Kept for another name (of the file or of a folder above it): not this file's to replace.
        if (const std::string n = spelledForAnother(folder, nameOf(p.destination), folderOf(p.source));
            !n.empty()) {
            other = folder + n;
        } else if (folderOfAnother(folder, folderOf(p.source))) {
            other = folder;
        }
    }
    if (other.empty()) {
        return true;
    }
    if (fresh) {
        m_caseClaims.erase(claim);
    }
    NotDone();
    notify(&p, kLogError, akError, "CS", formatMessage(msg::FileCaseTwin, {p.source, p.destination, other}));
    return false;
}

void TLocalBackup::nameFutureTime(const std::string &sourcePath, const FileEntryInfo &info)
{
    if (m_futureFromNs == 0) {
        // A minute's grace for clocks of other machines (a network share) a little ahead of this one.
        const auto now = std::chrono::system_clock::now() + std::chrono::minutes(1);
        m_futureFromNs = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
    }
    if (info.isFolder || info.mtimeNs <= m_futureFromNs || !m_futureNamed.insert(sourcePath).second) {
        return;
    }
    const std::time_t seconds = static_cast<std::time_t>(info.mtimeNs / 1000000000);
    struct tm local = {};
    char when[64] = "";
    if (::localtime_r(&seconds, &local) != nullptr) {
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    }
    Log(kLogWarning, formatMessage(msg::FileTimeInFuture, {sourcePath, when}));
}

void TLocalBackup::compareUnchanged(PendingCopy &p)
{
    if (m_differingNamed.count(p.source) != 0 || m_differingNamed.count(p.destination) != 0 ||
        sameCrc(p.source, p.destination, folderFd(p))) {
        return;
    }
    m_differingNamed.insert(p.source);
    m_differingNamed.insert(p.destination);
    NotDone();
    say(&p, kLogWarning, formatMessage(msg::SameTimeOtherContent, {p.source, p.destination}));
}

} // namespace qv
