// Whether a task may run.
#include "core/task/TaskValidate.h"

#include "core/util/FileUtils.h"
#include "core/text/Language.h"
#include "core/task/TaskDefinition.h"
#include "platform/FileOps.h"
#include "platform/FileStat.h"
#include "platform/PathText.h"
#include "platform/UserAccount.h"

#include <QDir>
#include <QString>

#include <cstdlib>
#include <vector>

namespace qv {

namespace {

bool statIsFolder(const std::string &path)
{
    return statPath(path).isFolder;
}

DriveFacts &installedFacts()
{
    static DriveFacts facts;
    return facts;
}

MountTable currentMounts()
{
    const DriveFacts &f = installedFacts();
    return f.mounts ? f.mounts() : MountTable::system();
}

std::string currentUser()
{
    const DriveFacts &f = installedFacts();
    return f.userName ? f.userName() : accountName();
}

std::function<bool(const std::string &)> currentIsFolder()
{
    const DriveFacts &f = installedFacts();
    return f.isFolder ? f.isFolder : std::function<bool(const std::string &)>(statIsFolder);
}

std::string cleanPath(const std::string &path)
{
    return QDir::cleanPath(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()))).toStdString();
}

// The first folder below `base` on the way to `path`, or empty text when `path` is not below it.
std::string firstFolderBelow(const std::string &path, const std::string &base)
{
    if (!pathWithin(path, base) || path.size() <= base.size() + 1) {
        return {};
    }
    const std::size_t end = path.find('/', base.size() + 1);
    return path.substr(0, end);
}

} // namespace

void setDriveFactsForTests(DriveFacts facts)
{
    installedFacts() = std::move(facts);
}

std::string missingDriveFor(const std::string &path, const MountTable &mounts, const std::string &userName,
                            const std::function<bool(const std::string &)> &isFolder)
{
    const std::string clean = cleanPath(path);
    std::string missing = mounts.missingMountFor(clean);
    if (!missing.empty()) {
        return missing;
    }
    std::vector<std::string> bases{"/mnt"};
    if (!userName.empty() && userName.find('/') == std::string::npos) {
        bases.push_back("/media/" + userName);
        bases.push_back("/run/media/" + userName);
    }
    for (const std::string &base : bases) {
        const std::string first = firstFolderBelow(clean, base);
        if (!first.empty() && !isFolder(first)) {
            return first;
        }
    }
    return {};
}

namespace {

// The nearest folder on the way to `destination` that is there, the system resolving links and
// ".." in it; `missing` tells whether that is a folder above the destination.
std::string nearestExisting(const std::string &destination, PathStat &st, bool &missing)
{
    std::string existing = withoutSlash(destination);
    missing = false;
    st = statPath(existing);
    while (!st.exists) {
        const std::string up = parentOf(existing);
        if (up == existing || up == ".") {
            return {};
        }
        existing = up;
        missing = true;
        st = statPath(existing);
    }
    return resolvedPath(existing);
}

// The place found by the folders' identity: the nearest existing folder, then each one above it.
FolderPlace placeByIdentity(std::string folder, const PathStat &st, bool missing, const PathStat &source)
{
    for (bool first = true; !folder.empty(); first = false) {
        const PathStat here = first ? st : statPath(folder);
        if (here.exists && here.dev == source.dev && here.ino == source.ino) {
            return first && !missing ? FolderPlace::Same : FolderPlace::Inside;
        }
        if (folder == "/") {
            break;
        }
        folder = parentOf(folder);
    }
    return FolderPlace::Apart;
}

// Where the folder at the resolved path `real` lies in its file system: the folder of the file
// system its mount shows, then the rest of the path below the mount point.
std::string placeInFileSystem(const std::string &real, const MountTable &mounts)
{
    const MountEntry *m = mounts.mountFor(real);
    if (m == nullptr || m->root.empty() || m->root[0] != '/') {
        return {};
    }
    const std::string rest = m->mountPoint == "/" ? real : real.substr(m->mountPoint.size());
    return m->root == "/" ? (rest.empty() ? "/" : rest) : m->root + rest;
}

// On one device, a folder shown by a bind mount elsewhere is found by its place in the file system.
FolderPlace placeByMount(const std::string &folder, const PathStat &st, bool missing, const std::string &source,
                         const PathStat &sourceStat, const MountTable &mounts)
{
    if (st.dev != sourceStat.dev) {
        return FolderPlace::Apart;
    }
    const std::string inside = placeInFileSystem(folder, mounts);
    const std::string outer = placeInFileSystem(resolvedPath(source), mounts);
    if (inside.empty() || outer.empty() || !pathWithin(inside, outer)) {
        return FolderPlace::Apart;
    }
    return withoutSlash(inside) == withoutSlash(outer) && !missing ? FolderPlace::Same : FolderPlace::Inside;
}

FolderPlace placeByText(const std::string &destination, const std::string &source)
{
    const std::string dst = cleanPath(destination);
    const std::string src = cleanPath(source);
    if (withoutSlash(dst) == withoutSlash(src)) {
        return FolderPlace::Same;
    }
    return pathWithin(dst, src) ? FolderPlace::Inside : FolderPlace::Apart;
}

// The destinations that are a source or lie inside one: whether any is a source itself, and one
// message for each source that holds one.
struct Containment {
    bool same = false;
    std::vector<std::string> underSource;
};

Containment containmentOf(const std::vector<std::string> &sources, const std::vector<std::string> &destinations,
                          const MountTable &mounts)
{
    Containment c;
    for (const std::string &source : sources) {
        bool holds = false;
        for (const std::string &destination : destinations) {
            const FolderPlace place = destinationPlace(destination, source, mounts);
            c.same = c.same || place == FolderPlace::Same;
            holds = holds || place != FolderPlace::Apart;
        }
        if (holds) {
            c.underSource.push_back(GetLangString("Destination folder can't be placed under Source folder path!",
                                                  "strBackupDestinationUnderSource"));
        }
    }
    return c;
}

std::string differentFoldersText()
{
    return GetLangString("Source and destination must be different folders!",
                         "strBackupSrcAndDstMustBeDifferent");
}

// Whether a path needs a drive that is missing, with the machine's facts read once. The user name
// is looked up only for a path below the removable-media folders (a run's start stays small).
class DriveCheck
{
public:
    DriveCheck() : m_mounts(currentMounts()), m_isFolder(currentIsFolder()) {}
    bool missing(const std::string &path) const
    {
        const std::string clean = cleanPath(path);
        if (!m_userRead && (pathWithin(clean, "/media") || pathWithin(clean, "/run/media"))) {
            m_user = currentUser();
            m_userRead = true;
        }
        return !missingDriveFor(clean, m_mounts, m_user, m_isFolder).empty();
    }

    const MountTable &mounts() const { return m_mounts; }

private:
    MountTable m_mounts;
    std::function<bool(const std::string &)> m_isFolder;
    mutable std::string m_user;
    mutable bool m_userRead = false;
};

void addSourceErrors(const std::vector<std::string> &sources, const DriveCheck &drives,
                     std::vector<std::string> &errors)
{
    for (const std::string &folder : sources) {
        if (folder.empty() || drives.missing(folder) || !ValidateFolder(folder, false)) {
            errors.push_back(formatLangString("Invalid source folder (%s)!", "strBackupSourceInvalid", {folder}));
        }
    }
}

std::string joined(const std::vector<std::string> &errors)
{
    std::string text;
    for (const std::string &e : errors) {
        if (!text.empty()) {
            text += "; ";
        }
        text += e;
    }
    return text;
}

} // namespace

FolderPlace destinationPlace(const std::string &destination, const std::string &source, const MountTable &mounts)
{
    if (destination.empty() || source.empty()) {
        return FolderPlace::Apart;
    }
    const PathStat src = statPath(source);
    PathStat st;
    bool missing = false;
    const std::string folder = src.exists && src.isFolder ? nearestExisting(destination, st, missing) : std::string();
    if (!folder.empty()) {
        FolderPlace place = placeByIdentity(folder, st, missing, src);
        if (place == FolderPlace::Apart) {
            place = placeByMount(folder, st, missing, source, src, mounts);
        }
        if (place != FolderPlace::Apart) {
            return place;
        }
    }
    return placeByText(destination, source);
}

std::string validateRunFolders(const std::vector<std::string> &sources,
                               const std::vector<std::string> &destinations)
{
    std::vector<std::string> errors;
    const DriveCheck drives;
    const Containment contained = containmentOf(sources, destinations, drives.mounts());
    if (contained.same) {
        errors.push_back(differentFoldersText());
    }
    addSourceErrors(sources, drives, errors);
    if (!destinations.empty() && drives.missing(destinations.front())) {
        errors.push_back(formatLangString("Invalid destination folder (%s)!", "strBackupDestinationInvalid",
                                          {destinations.front()}));
    }
    errors.insert(errors.end(), contained.underSource.begin(), contained.underSource.end());
    return joined(errors);
}

std::string validateTask(const TaskDefinition &task, bool createDestination)
{
    std::vector<std::string> errors;
    const DriveCheck drives;

    const int count = task.GetSourceCount();
    std::vector<std::string> sources;
    // The destination folder, then each source's own destination under it.
    std::vector<std::string> destinations{task.GetDestinationFolder(-1)};
    for (int i = 0; i < count; ++i) {
        sources.push_back(task.GetSourceFolder(i));
        destinations.push_back(task.GetDestinationFolder(i));
    }
    // Containment is decided before anything is created: a destination inside a source is never
    // made, or the next scan of that source would take the backup along.
    const Containment contained = containmentOf(sources, destinations, drives.mounts());
    if ((!task.Source.empty() && task.Source == task.DestLocal) || contained.same) {
        errors.push_back(differentFoldersText());
    }
    addSourceErrors(sources, drives, errors);
    if (count == 0) {
        errors.push_back(GetLangString("No source folder(s) defined!", "strBackupSourceEmpty"));
    }

    const std::string &destination = destinations.front();
    bool destinationValid = false;
    if (!task.DestLocal.empty() && !drives.missing(destination)) {
        // A destination refused only for lying inside a source is reported by that message alone.
        destinationValid = !contained.underSource.empty() ||
                           (createDestination ? ValidateFolder(destination, true) : FolderCouldBeMade(destination));
    }
    if (!destinationValid) {
        errors.push_back(
            formatLangString("Invalid destination folder (%s)!", "strBackupDestinationInvalid", {destination}));
    }

    if (task.CompressUse && task.CompressFilename.empty()) {
        errors.push_back(formatText("Invalid Zip file names %s!", {task.CompressFilename}));
    }
    errors.insert(errors.end(), contained.underSource.begin(), contained.underSource.end());
    return joined(errors);
}

} // namespace qv
