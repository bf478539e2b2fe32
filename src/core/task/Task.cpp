// The task object: creation, IDs, display texts, source and destination folders.
#include "core/task/Task.h"

#include "core/monitor/FoldersMonitor.h"
#include "core/text/Language.h"
#include "core/util/Utils.h"

#include <QLocale>
#include <QTimer>

#include "core/engine/CustomBackup.h"
#include "platform/PathText.h"

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

} // namespace

TTask::TTask()
{
    Timer = std::make_unique<QTimer>();
    Timer->setInterval(1000);
    Name = GetLangString("Untitled", "strUntitled");
    ID = newRandomID();
    FoldersMonitor = std::make_unique<TFoldersMonitor>(this);
    FoldersMonitor->DoWait = true;
    FoldersMonitor->WaitSeconds = 30;
    Logger = std::make_unique<TTaskLogger>(this);
    // A change starts the task the way every automatic start does: refused while it runs, a
    // warning in its log while the scheduler is disabled. A watch that cannot start is a warning
    // in the task's log; the task works without it.
    FoldersMonitor->OnFolderChanged = [this] { ScheduledStart(); };
    FoldersMonitor->OnWarning = [this](const std::string &text) { Logger->Add(kLogWarning, text); };
    Created = Now();
    LastRun = Created;
}

TTask::~TTask()
{
    // The watches go first, while the logger they report to still exists: none may report a change
    // or a warning to a task that is being freed.
    FoldersMonitor.reset();
    // Buffered log lines are written while the task's log settings can still be read.
    if (Logger) {
        Logger->Flush();
    }
}

TaskSettings TTask::settings() const
{
    TaskSettings s;
    static_cast<TaskSettingsFields &>(s) = *this;
    s.FolderMonitor = *FoldersMonitor;
    return s;
}

void TTask::assignSettings(const TaskSettings &s)
{
    static_cast<TaskSettingsFields &>(*this) = s;
    static_cast<TFolderMonitorSettings &>(*FoldersMonitor) = s.FolderMonitor;
}

std::string TTask::newRandomID()
{
    std::uniform_int_distribution<int> pick(0, 15);
    std::string id;
    id.reserve(kIdLength);
    for (int i = 0; i < kIdLength; ++i) {
        id += kIdAlphabet[pick(randomGenerator())];
    }
    return id;
}

void TTask::GenerateID(const TTasksList *inUse)
{
    do {
        ID = newRandomID();
    } while (inUse != nullptr && inUse->TaskIDInUse(ID, this));
}

std::string TTask::GetStrTaskType() const
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

std::string TTask::GetStrLastRun() const
{
    const QDateTime dt = fromDayCount(LastRun);
    const QLocale locale = QLocale::system();
    return (locale.toString(dt.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
            locale.toString(dt.time(), QLocale::LongFormat))
        .toStdString();
}

int TTask::GetSourceCount() const
{
    if (Source.empty()) {
        return 0;
    }
    if (Source[0] == '!') {
        return static_cast<int>(SplitDelimitedText(Source.substr(1), ',').size());
    }
    return 1;
}

std::string TTask::GetSourceFolder(int index) const
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

bool TTask::GetSourceIncludeSubfolders(int index) const
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

int TTask::IndexOfSourceFolder(const std::string &path) const
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

std::string TTask::GetDestinationFolder(int sourceIndex) const
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

std::string TTask::GetCompressFilePath() const
{
    return GetDestinationFolder(-1) + CompressFilename;
}

std::string TTask::GetArchiveFolder() const
{
    return ArchiveFolder.empty() ? std::string() : withSlash(Expand(ArchiveFolder));
}

std::string TTask::GetVersionsFolder() const
{
    return VersionsFolder.empty() ? std::string() : withSlash(Expand(VersionsFolder));
}

int progressPercent(std::int64_t done, std::int64_t total)
{
    if (total <= 0 || done <= 0) {
        return 0;
    }
    // 128-bit, so that done * 100 cannot overflow for any 64-bit count.
    return static_cast<int>(static_cast<__int128>(done) * 100 / total);
}

bool TTask::GetSuspended() const
{
    const TCustomBackup *thread = Thread();
    return thread != nullptr && thread->suspended();
}

std::string TTask::GetProgressCaption() const
{
    const TCustomBackup *thread = Thread();
    return thread != nullptr ? thread->progress().caption : std::string();
}

int TTask::GetProgressPercent() const
{
    const TCustomBackup *thread = Thread();
    if (thread == nullptr) {
        return 0;
    }
    const ProgressState progress = thread->progress();
    return progressPercent(progress.position, progress.maximum);
}

std::vector<std::string> TTask::UpdateFoldersMonitor()
{
    // Folders that do not exist now get no watch; a watch that cannot start is reported by the
    // monitor and never stops the caller.
    std::vector<WatchedFolder> folders;
    const int count = GetSourceCount();
    for (int i = 0; i < count; ++i) {
        const std::string folder = GetSourceFolder(i);
        if (!folder.empty() && folder[0] == '/') {
            folders.push_back({folder, GetSourceIncludeSubfolders(i)});
        }
    }
    if (TaskType == ttSynchronize) {
        const std::string dest = GetDestinationFolder(-1);
        if (!dest.empty() && dest[0] == '/') {
            folders.push_back({dest, SourceIncludeSubfolders});
        }
    }
    return FoldersMonitor->Rebuild(folders);
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
