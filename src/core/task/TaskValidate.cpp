// Whether a task may run.
#include "core/task/TaskValidate.h"

#include "core/util/FileUtils.h"
#include "core/text/Language.h"
#include "core/task/TaskDefinition.h"
#include "platform/FileOps.h"
#include "platform/FileStat.h"
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

bool folderInside(const std::string &inner, const std::string &outer)
{
    if (inner.empty() || outer.empty()) {
        return false;
    }
    if (pathWithin(cleanPath(inner), cleanPath(outer))) {
        return true;
    }
    const std::string realInner = resolvedPath(inner);
    const std::string realOuter = resolvedPath(outer);
    return !realInner.empty() && !realOuter.empty() && pathWithin(realInner, realOuter);
}

std::string validateTask(const TaskDefinition &task, bool createDestination)
{
    std::vector<std::string> errors;
    const MountTable mounts = currentMounts();
    const std::string user = currentUser();
    const auto isFolder = currentIsFolder();
    auto onMissingDrive = [&](const std::string &path) {
        return !missingDriveFor(path, mounts, user, isFolder).empty();
    };

    if (!task.Source.empty() && task.Source == task.DestLocal) {
        errors.push_back(GetLangString("Source and destination must be different folders!",
                                       "strBackupSrcAndDstMustBeDifferent"));
    }

    const int count = task.GetSourceCount();
    std::vector<std::string> sources;
    for (int i = 0; i < count; ++i) {
        const std::string folder = task.GetSourceFolder(i);
        sources.push_back(folder);
        if (folder.empty() || onMissingDrive(folder) || !ValidateFolder(folder, false)) {
            errors.push_back(formatLangString("Invalid source folder (%s)!", "strBackupSourceInvalid", {folder}));
        }
    }
    if (count == 0) {
        errors.push_back(GetLangString("No source folder(s) defined!", "strBackupSourceEmpty"));
    }

    // Containment is decided before anything is created: a destination inside a source is never
    // made, or the next scan of that source would take the backup along.
    const std::string destination = task.GetDestinationFolder(-1);
    std::vector<std::string> underSource;
    for (const std::string &source : sources) {
        if (!source.empty() && folderInside(destination, source)) {
            underSource.push_back(GetLangString("Destination folder can't be placed under Source folder path!",
                                                "strBackupDestinationUnderSource"));
        }
    }
    bool destinationValid = false;
    if (!task.DestLocal.empty() && !onMissingDrive(destination)) {
        // A destination refused only for lying inside a source is reported by that message alone.
        destinationValid = !underSource.empty() ||
                           (createDestination ? ValidateFolder(destination, true) : FolderCouldBeMade(destination));
    }
    if (!destinationValid) {
        errors.push_back(
            formatLangString("Invalid destination folder (%s)!", "strBackupDestinationInvalid", {destination}));
    }

    if (task.CompressUse && task.CompressFilename.empty()) {
        errors.push_back(formatText("Invalid Zip file names %s!", {task.CompressFilename}));
    }
    errors.insert(errors.end(), underSource.begin(), underSource.end());

    std::string text;
    for (const std::string &e : errors) {
        if (!text.empty()) {
            text += "; ";
        }
        text += e;
    }
    return text;
}

} // namespace qv
