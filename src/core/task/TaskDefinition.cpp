// A task's definition: defaults, ID, display texts, source and destination folders, variables.
#include "core/task/TaskDefinition.h"

#include "core/task/TaskValidate.h"
#include "core/text/Language.h"
#include "core/text/Variables.h"
#include "core/util/Utils.h"
#include "platform/PathText.h"

#include <QLocale>

#include <random>

namespace qv {
namespace {

constexpr char kIdAlphabet[] = "1234567890ABCDEF";
constexpr int kIdLength = 21;

std::mt19937_64 &randomGenerator()
{
    thread_local std::mt19937_64 generator{std::random_device{}()};
    return generator;
}

// The path variables' view of a task: its folder getters, name and ID.
class TaskVariables : public VariableContext
{
public:
    explicit TaskVariables(const TaskDefinition &task) : m_task(task) {}
    int sourceCount() const override { return m_task.GetSourceCount(); }
    std::string sourceFolder(int index) const override { return m_task.GetSourceFolder(index); }
    std::string destinationFolder() const override { return m_task.GetDestinationFolder(-1); }
    std::string archiveFolder() const override { return m_task.GetArchiveFolder(); }
    std::string versionsFolder() const override { return m_task.GetVersionsFolder(); }
    std::string name() const override { return m_task.Name; }
    std::string id() const override { return m_task.ID; }
    const void *identity() const override { return &m_task; }

private:
    const TaskDefinition &m_task;
};

// The last enabled entry of `kind`, or null.
const TTaskScheduleItem *lastEnabledOfKind(const TQuorvellantScheduleList &list, TScheduleKind kind)
{
    const TTaskScheduleItem *found = nullptr;
    for (const TTaskScheduleItem &item : list.Items) {
        if (item.Enabled && item.Kind == kind) {
            found = &item;
        }
    }
    return found;
}

} // namespace

TaskDefinition::TaskDefinition()
{
    Name = GetLangString("Untitled", "strUntitled");
    ID = newRandomID();
    Created = Now();
    LastRun = Created;
}

std::string TaskDefinition::newRandomID()
{
    std::uniform_int_distribution<int> pick(0, 15);
    std::string id;
    id.reserve(kIdLength);
    for (int i = 0; i < kIdLength; ++i) {
        id += kIdAlphabet[pick(randomGenerator())];
    }
    return id;
}

std::string TaskDefinition::GetStrTaskType() const
{
    switch (TaskType) {
    case ttSimpleCopy:
        return GetLangString("Simple Copy", "strTaskTypesSimpleCopy");
    case ttExactCopy:
        return GetLangString("Exact Copy", "strTaskTypesExactCopy");
    case ttMove:
        return GetLangString("Move", "strTaskTypesMove");
    case ttSynchronize:
        return GetLangString("Synchronize", "strTaskTypesSynchronize");
    }
    return {};
}

std::string TaskDefinition::GetStrLastRun() const
{
    // A task stored without a last-run time (day 0, 30 December 1899) has never run.
    if (!(LastRun > 0)) {
        return GetLangString("Never", "strTaskLastRunNever");
    }
    const QDateTime dt = fromDayCount(LastRun);
    const QLocale locale = QLocale::system();
    return (locale.toString(dt.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
            locale.toString(dt.time(), QLocale::LongFormat))
        .toStdString();
}

int TaskDefinition::GetSourceCount() const
{
    if (Source.empty()) {
        return 0;
    }
    if (Source[0] == '!') {
        return static_cast<int>(SplitDelimitedText(Source.substr(1), ',').size());
    }
    return 1;
}

std::string TaskDefinition::GetSourceFolder(int index) const
{
    std::string folder;
    if (!Source.empty() && Source[0] == '!') {
        const auto items = decodeSourceList(Source);
        if (index >= 0 && index < static_cast<int>(items.size())) {
            folder = items[static_cast<std::size_t>(index)].folder;
        }
    } else {
        folder = Source;
    }
    if (folder.empty()) {
        return folder;
    }
    return withSlash(Expand(folder));
}

bool TaskDefinition::GetSourceIncludeSubfolders(int index) const
{
    if (!Source.empty() && Source[0] == '!') {
        const auto items = decodeSourceList(Source);
        if (index >= 0 && index < static_cast<int>(items.size())) {
            return items[static_cast<std::size_t>(index)].includeSubfolders;
        }
        return false;
    }
    return SourceIncludeSubfolders;
}

int TaskDefinition::IndexOfSourceFolder(const std::string &path) const
{
    const int count = GetSourceCount();
    for (int i = 0; i < count; ++i) {
        const std::string folder = GetSourceFolder(i);
        if (!folder.empty() && isPathInside(path, folder)) {
            return i;
        }
    }
    return -1;
}

std::string TaskDefinition::GetDestinationFolder(int sourceIndex) const
{
    std::string dest = DestLocal.empty() ? std::string() : withSlash(Expand(DestLocal));
    if (sourceIndex != -1 && TaskType != ttSynchronize && KeepStructureFromRoot && !dest.empty()) {
        std::string source = GetSourceFolder(sourceIndex);
        std::size_t root = source.find_first_not_of('/');
        if (root != std::string::npos) {
            dest += source.substr(root);
        }
    }
    return dest;
}

std::string TaskDefinition::GetCompressFilePath() const
{
    return GetDestinationFolder(-1) + CompressFilename;
}

std::string TaskDefinition::GetArchiveFolder() const
{
    return ArchiveFolder.empty() ? std::string() : withSlash(Expand(ArchiveFolder));
}

std::string TaskDefinition::GetVersionsFolder() const
{
    return VersionsFolder.empty() ? std::string() : withSlash(Expand(VersionsFolder));
}

std::string TaskDefinition::Expand(const std::string &text) const
{
    return ExpandVariables(*this, text);
}

std::string TaskDefinition::Validate() const
{
    return validateTask(*this);
}

bool TaskDefinition::GetSystemStartupWait(bool &wait, int &seconds) const
{
    const TTaskScheduleItem *item = lastEnabledOfKind(Schedules, skAtSystemStartup);
    if (item != nullptr) {
        wait = item->AtSystemStartupWait;
        seconds = item->AtSystemStartupWaitSecValue;
    }
    return item != nullptr;
}

bool TaskDefinition::GetProgramStartupWait(bool &wait, int &seconds) const
{
    const TTaskScheduleItem *item = lastEnabledOfKind(Schedules, skAtProgramStartup);
    if (item != nullptr) {
        wait = item->AtProgramStartupWait;
        seconds = item->AtProgramStartupWaitSecValue;
    }
    return item != nullptr;
}

bool TaskDefinition::GetSystemShutdownLimit(bool &limit, int &seconds) const
{
    const TTaskScheduleItem *item = lastEnabledOfKind(Schedules, skAtSystemShutdown);
    if (item != nullptr) {
        limit = item->SystemShutdownLimitExecTime;
        seconds = item->SystemShutdownMaxSec;
    }
    return item != nullptr;
}

std::string ExpandVariables(const TaskDefinition &task, const std::string &text)
{
    return ExpandVariables(TaskVariables(task), text);
}

std::string GetVariableValue(const TaskDefinition &task, int id, int sourceIndex)
{
    return GetVariableValue(TaskVariables(task), id, sourceIndex);
}

int progressPercent(std::int64_t done, std::int64_t total)
{
    if (total <= 0 || done <= 0) {
        return 0;
    }
    // 128-bit, so that done * 100 cannot overflow for any 64-bit count.
    return static_cast<int>(static_cast<__int128>(done) * 100 / total);
}

std::vector<SourceFolderItem> decodeSourceList(std::string_view source, bool singleIncludeSubfolders)
{
    std::vector<SourceFolderItem> items;
    if (source.empty()) {
        return items;
    }
    if (source[0] != '!') {
        items.push_back({std::string(source), singleIncludeSubfolders});
        return items;
    }
    for (std::string &text : SplitDelimitedText(std::string(source.substr(1)), ',')) {
        SourceFolderItem item;
        if (!text.empty() && (text[0] == '>' || text[0] == '|')) {
            item.includeSubfolders = text[0] == '>';
            item.folder = text.substr(1);
        } else {
            item.folder = std::move(text);
        }
        items.push_back(std::move(item));
    }
    return items;
}

std::string encodeSourceList(const std::vector<SourceFolderItem> &items)
{
    std::vector<std::string> texts;
    texts.reserve(items.size());
    for (const auto &item : items) {
        texts.push_back((item.includeSubfolders ? ">" : "|") + item.folder);
    }
    return "!" + ToCommaText(texts);
}

bool isPathInside(std::string_view path, std::string_view folder)
{
    while (folder.size() > 1 && folder.back() == '/') {
        folder.remove_suffix(1);
    }
    if (folder == "/") {
        return !path.empty() && path[0] == '/';
    }
    if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) {
        return false;
    }
    return path.size() == folder.size() || path[folder.size()] == '/';
}

} // namespace qv
