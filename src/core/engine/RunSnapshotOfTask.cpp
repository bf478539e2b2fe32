// The snapshot of a stored task that a run takes when it starts.
#include "core/engine/RunSnapshotOfTask.h"

#include "core/task/DirEntry.h"
#include "core/task/Filters.h"
#include "core/settings/Settings.h"
#include "core/task/TaskDefinition.h"
#include "core/text/Variables.h"
#include "platform/PathText.h"
#include "platform/FileAttributes.h"


namespace qv {

namespace {

// The task's filters, prepared once for the run. Attributes that need the file itself (the archive
// mark) are read only when an enabled attribute filter asks for them.
class TaskFilter : public EntryFilter
{
public:
    explicit TaskFilter(const TTaskFiltersList &list) : m_filters(list)
    {
        for (const TTaskFilterItem &item : list.Items) {
            m_needsAttributes = m_needsAttributes || (item.Enabled && item.FilterKind == fikAttributes);
        }
    }

    bool match(const std::string &folder, const ScanItem &item) const override
    {
        DirEntry entry;
        entry.name = item.name;
        entry.size = static_cast<std::uint64_t>(item.size);
        entry.lastWriteTime = {item.mtimeNs / 1000000000, static_cast<std::int32_t>(item.mtimeNs % 1000000000)};
        entry.lastAccessTime = {item.atimeNs / 1000000000, static_cast<std::int32_t>(item.atimeNs % 1000000000)};
        entry.creationTime = {item.createdNs / 1000000000, static_cast<std::int32_t>(item.createdNs % 1000000000)};
        entry.isSymlink = item.isSymlink;
        entry.attributes = item.attributes;
        if (m_needsAttributes) {
            std::uint32_t attributes = 0;
            if (FileAttributes::read(folder + item.name, attributes)) {
                entry.attributes = attributes;
            }
        }
        return m_filters.match(folder, entry);
    }

    bool includesEmptyFolders() const override { return m_filters.includesEmptyFolders(); }

private:
    CompiledFilterList m_filters;
    bool m_needsAttributes = false;
};

} // namespace

std::shared_ptr<RunSnapshot> makeRunSnapshot(const TaskDefinition &task, bool diskSpanDialog)
{
    auto s = std::make_shared<RunSnapshot>();
    s->taskId = task.ID;
    s->taskName = task.Name;
    s->taskType = static_cast<BackupTaskType>(task.TaskType);
    for (int i = 0; i < task.GetSourceCount(); ++i) {
        s->sources.push_back(
            RunSource{task.GetSourceFolder(i), task.GetSourceIncludeSubfolders(i), task.GetDestinationFolder(i)});
    }
    s->destinationRoot = task.GetDestinationFolder(-1);
    s->keepStructureFromRoot = task.KeepStructureFromRoot;
    s->sourceIncludeSubfolders = task.SourceIncludeSubfolders;

    s->overwriteNeverDestination = task.BackupOverwriteNeverDestination;
    s->copyInUseFiles = task.BackupCopyInUseFiles;
    s->compareAfterCopy = task.BackupCompareAfterCopy;
    s->copyIfSourceLengthIsZero = task.CopyIfSourceLengthIsZero;
    s->dontSkipIfDateEqButSrcBiggerDst = task.OptionsDontSkipIfDateEqButSrcBiggerDst;
    s->clearSourceArchiveBit = task.ClearSourceArchiveBit;
    s->bandwidthBytesPerSecond =
        RunSnapshot::bandwidthLimit(task.GetBandwidthUse(), task.GetBandwidthValue(), task.GetBandwidthMeasure());

    s->versionsKeep = task.VersionsKeep;
    s->versionsFolder = task.GetVersionsFolder();
    s->versionsFilesNum = task.VersionsFilesNum;
    s->deleteKind = static_cast<BackupDeleteKind>(task.DeleteKind);
    s->archiveFolder = task.GetArchiveFolder();
    s->keepDeletedFilesNum = task.KeepDeletedFilesNum;

    s->dialEntry = task.GetDialEntry();
    s->dialDisconnectAfter = task.GetDialDisconnectAfter();
    s->runBefore = task.GetRunBefore();
    s->runBeforeProgram = task.GetRunBeforeProgramName();
    s->runBeforeWait = task.GetRunBeforeWaitProgram();
    s->runAfter = task.GetRunAfter();
    s->runAfterProgram = task.GetRunAfterProgramName();
    s->runAfterWait = task.GetRunAfterWaitProgram();

    s->compressUse = task.GetCompressUse();
    s->compressFilePath = task.GetCompressFilePath();
    s->compressPassword = task.GetCompressPassword();
    s->compressLevel = task.GetCompressLevel();

    s->diskSpanDialog = diskSpanDialog;
    s->logIncludeSkipping = LogIncludeSkipping;
    s->cpuPerformance = checkedCpuPerformance();
    s->disallowSimultaneousBackup = DisallowSimultaneousBackup;
    s->filters = std::make_shared<TaskFilter>(task.Filters);
    return s;
}

namespace {

// The task as a filter test sees it: the stored task with the draft's destination, so that the
// variables naming the destination expand to the draft's folder.
class DraftDestinationView : public VariableContext
{
public:
    DraftDestinationView(const TaskDefinition &task, const std::string &destLocal) : m_task(task), m_destLocal(destLocal) {}

    int sourceCount() const override { return m_task.GetSourceCount(); }
    std::string sourceFolder(int index) const override { return m_task.GetSourceFolder(index); }
    std::string destinationFolder() const override { return folder(m_destLocal); }
    std::string archiveFolder() const override { return folder(m_task.ArchiveFolder); }
    std::string versionsFolder() const override { return folder(m_task.VersionsFolder); }
    std::string name() const override { return m_task.Name; }
    std::string id() const override { return m_task.ID; }

    // The destination of source `index` (-1: the destination itself), as TTask::GetDestinationFolder
    // computes it from the stored one.
    std::string destinationOf(int index) const
    {
        std::string dest = destinationFolder();
        if (index != -1 && m_task.TaskType != ttSynchronize && m_task.KeepStructureFromRoot && !dest.empty()) {
            const std::string source = m_task.GetSourceFolder(index);
            const std::size_t root = source.find_first_not_of('/');
            if (root != std::string::npos) {
                dest += source.substr(root);
            }
        }
        return dest;
    }

private:
    std::string folder(const std::string &setting) const
    {
        return setting.empty() ? std::string() : withSlash(ExpandVariables(*this, setting));
    }

    const TaskDefinition &m_task;
    std::string m_destLocal;
};

} // namespace

std::shared_ptr<RunSnapshot> makeTestSnapshot(const TaskDefinition &task, const FilterTestDraft &draft)
{
    // A filter test copies nothing, so it never meets a full disk.
    std::shared_ptr<RunSnapshot> s = makeRunSnapshot(task, false);
    const DraftDestinationView view(task, draft.destLocal);
    s->destinationRoot = view.destinationOf(-1);
    for (std::size_t i = 0; i < s->sources.size(); ++i) {
        s->sources[i].destination = view.destinationOf(static_cast<int>(i));
    }
    s->versionsFolder = view.versionsFolder();
    s->archiveFolder = view.archiveFolder();
    s->compressFilePath = s->destinationRoot + task.CompressFilename;
    s->filters = std::make_shared<TaskFilter>(draft.filters);
    return s;
}

} // namespace qv
