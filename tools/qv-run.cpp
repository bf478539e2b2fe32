// qv-run: runs one backup task without a display and prints its log lines.
//
// The task is either a stored one (--id or --name) or described on the command line (--source,
// --dest, --type, ...). Alerts are answered as a run whose alert dialogs are switched off: no
// answer, so a question lets the run go on and an out-of-space condition ends it. Exit status: 0
// when the run finished and did all it was asked (or --help), 1 when it was aborted or refused,
// 2 on bad usage, 3 when it finished but left something undone.
#include "beneath/ShownText.h"
#include "core/engine/BackupMessages.h"
#include "core/engine/BackupTypes.h"
#include "core/engine/CompressBackup.h"
#include "core/engine/LocalBackup.h"
#include "core/engine/RunSnapshot.h"
#include "core/engine/RunSnapshotOfTask.h"
#include "core/runs/RunQueue.h"
#include "core/runs/TaskListStorage.h"
#include "core/settings/Settings.h"
#include "core/util/FiltersMask.h"
#include "platform/NmcliDialer.h"
#include "platform/RegistryStore.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char *const kUsage =
    "usage: qv-run (--id ID | --name NAME | --source DIR... --dest DIR [options]) [--quiet]\n"
    "  --id ID               run the stored task with this ID\n"
    "  --name NAME           run the stored task with this name\n"
    "  --source DIR          a source folder with its subfolders (repeatable)\n"
    "  --source-flat DIR     a source folder without its subfolders (repeatable)\n"
    "  --dest DIR            the destination folder\n"
    "  --type T              simple | exact | move | sync (default simple)\n"
    "  --exclude MASK        skip files whose name matches the wildcard as task filters match\n"
    "                        (*, ?, [sets], any letter case; repeatable)\n"
    "  --keep-structure      rebuild each source's full path under the destination\n"
    "  --versions DIR        keep versions of overwritten files in DIR\n"
    "  --versions-num N      keep at most N versions per file (0 to 5000, 0: all)\n"
    "  --delete-kind K       normal | recycle | archive (default recycle)\n"
    "  --archive DIR         the deleted-files archive folder\n"
    "  --archive-num N       keep at most N deleted copies per file (0 to 5000, 0: all)\n"
    "  --compare             compare CRC-32 after each copy\n"
    "  --overwrite-newer     an older source overwrites a newer destination\n"
    "  --copy-empty          copy an empty source over a non-empty destination\n"
    "  --bandwidth-kbits N   limit the copy to N KBits per second (N at least 1)\n"
    "  --compress FILE       write the sources into the zip archive FILE instead of copying\n"
    "                        (--dest defaults to its folder; --overwrite-newer replaces every entry)\n"
    "  --level N             compression level 0 (store) to 9 (default 7)\n"
    "  --password P          encrypt the archive's entries with the password P\n"
    "  --remove-entries      also remove archive entries whose source files are gone, by\n"
    "                        --delete-kind (runs of the program never do this)\n"
    "  --quiet               print no per-file lines\n"
    "Alerts are not raised: no dialog, balloon, sound or e-mail (scripts and tests run unattended,\n"
    "and a question would wait for ever). To run a task with its alerts:\n"
    "  quorvellant /RunProjectById=ID /ExitWhenIdle\n"
    "Exit status: 0 the run did all it was asked; 1 it was aborted, or refused before it started;\n"
    "2 bad usage; 3 it finished, but something it was asked for was not done (a file not copied,\n"
    "replaced, moved or deleted, a folder not made, a source folder not read, an in-use file\n"
    "skipped): its ERROR and WARNING lines say what.\n";

class WildcardExcludes : public qv::EntryFilter
{
public:
    explicit WildcardExcludes(const std::vector<std::string> &masks)
    {
        for (const std::string &m : masks) {
            m_masks.push_back(qv::FilterMaskList::single(m));
        }
    }
    bool match(const std::string &, const qv::ScanItem &item) const override
    {
        for (const qv::FilterMaskList &m : m_masks) {
            if (m.matches(item.name)) {
                return false;
            }
        }
        return true;
    }
    bool includesEmptyFolders() const override { return true; }

private:
    std::vector<qv::FilterMaskList> m_masks;
};

class PrintingHost : public qv::BackupHost
{
public:
    explicit PrintingHost(bool quiet, qv::TTaskLogger *logger = nullptr) : m_quiet(quiet), m_logger(logger) {}
    void log(int kind, const std::string &text) override
    {
        if (m_logger != nullptr) {
            m_logger->Add(kind, text); // the task's own log file, as a run in the program writes it
        }
        if (m_quiet && (kind == qv::kLogFile || kind == qv::kLogSkipped)) {
            return;
        }
        const char *prefix = kind == qv::kLogWarning ? "WARNING: " : (kind == qv::kLogError ? "ERROR: " : "");
        // fputs, not fprintf: printf's formatting pages in 64 KiB more of the C library at each start.
        std::fputs(prefix, stdout);
        std::fputs(qv::shownText(text).c_str(), stdout);
        std::fputc('\n', stdout);
        // Written at least once a second (and by the timer in main when lines stop), not per line.
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastFlush >= std::chrono::seconds(1) || kind == qv::kLogFinished ||
            kind == qv::kLogAborted) {
            m_lastFlush = now;
            std::fflush(stdout);
        }
    }
    qv::AlertAnswer alert(int, const std::string &, const std::string &) override { return qv::aaNone; }
    bool logsKind(int kind) const override
    {
        return !m_quiet || (kind != qv::kLogFile && kind != qv::kLogSkipped);
    }
    bool alertsKind(int) const override { return false; } // no dialogs: every alert answers nothing
    void finished(qv::RunEnd end) override
    {
        std::fflush(stdout);
        if (m_logger != nullptr) {
            m_logger->Flush();
        }
        QCoreApplication::exit(qv::exitStatusOf(end));
    }

private:
    bool m_quiet;
    qv::TTaskLogger *m_logger;
    std::chrono::steady_clock::time_point m_lastFlush = std::chrono::steady_clock::now();
};


std::string folderPath(std::string p)
{
    if (p.empty()) {
        return p;
    }
    if (p[0] != '/') {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) != nullptr) {
            p = std::string(cwd) + "/" + p;
        }
    }
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    return p + "/";
}

// The most versions or deleted copies of one file a task keeps (as in the task's dialog).
constexpr int kMostKept = 5000;

[[noreturn]] void usage(const std::string &problem)
{
    if (!problem.empty()) {
        std::fprintf(stderr, "qv-run: %s\n", problem.c_str());
    }
    std::fputs(kUsage, stderr);
    std::exit(2);
}

// A whole number from `lowest` to `highest`; anything else is a usage error naming the range.
int intArg(const std::string &v, const std::string &name, int lowest, int highest)
{
    try {
        std::size_t used = 0;
        int n = std::stoi(v, &used);
        if (used == v.size() && n >= lowest && n <= highest) {
            return n;
        }
    } catch (...) {
    }
    usage("bad number for " + name + ": " + v + " (a whole number from " + std::to_string(lowest) + " to " +
          std::to_string(highest) + ")");
}

// Builds a snapshot from the command line's own description of a task.
std::shared_ptr<qv::RunSnapshot> snapshotFromArgs(const std::vector<std::string> &args, bool &quiet,
                                                  bool &removeEntries)
{
    auto s = std::make_shared<qv::RunSnapshot>();
    // The program-wide CPU setting holds here too: the stored one, or its default. Without a
    // settings store every setting has its default: the store is neither opened nor created
    // (opening SQLite alone costs a run about a megabyte of memory).
    struct stat st {};
    if (::stat(qv::RegistryStore::storePath().c_str(), &st) == 0) {
        qv::LoadSettings();
    } else {
        qv::ResetSettingsToDefaults();
    }
    s->cpuPerformance = qv::checkedCpuPerformance();
    s->taskName = "qv-run";
    std::vector<std::string> excludes;
    static const std::map<std::string, qv::BackupTaskType> types = {
        {"simple", qv::BackupTaskType::SimpleCopy},
        {"exact", qv::BackupTaskType::ExactCopy},
        {"move", qv::BackupTaskType::Move},
        {"sync", qv::BackupTaskType::Synchronize}};
    static const std::map<std::string, qv::BackupDeleteKind> kinds = {
        {"normal", qv::BackupDeleteKind::Normal},
        {"recycle", qv::BackupDeleteKind::Recycle},
        {"archive", qv::BackupDeleteKind::Archive}};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) {
                usage(a + " needs a value");
            }
            return args[++i];
        };
        if (a == "--source" || a == "--source-flat") {
            s->sources.push_back(qv::RunSource{folderPath(value()), a == "--source", {}});
        } else if (a == "--dest") {
            s->destinationRoot = folderPath(value());
        } else if (a == "--type") {
            auto it = types.find(value());
            if (it == types.end()) {
                usage("unknown type " + args[i]);
            }
            s->taskType = it->second;
        } else if (a == "--exclude") {
            excludes.push_back(value());
        } else if (a == "--keep-structure") {
            s->keepStructureFromRoot = true;
        } else if (a == "--versions") {
            s->versionsKeep = true;
            s->versionsFolder = folderPath(value());
        } else if (a == "--versions-num") {
            s->versionsFilesNum = intArg(value(), a, 0, kMostKept);
        } else if (a == "--delete-kind") {
            auto it = kinds.find(value());
            if (it == kinds.end()) {
                usage("unknown delete kind " + args[i]);
            }
            s->deleteKind = it->second;
        } else if (a == "--archive") {
            s->archiveFolder = folderPath(value());
        } else if (a == "--archive-num") {
            s->keepDeletedFilesNum = intArg(value(), a, 0, kMostKept);
        } else if (a == "--compare") {
            s->compareAfterCopy = true;
        } else if (a == "--overwrite-newer") {
            s->overwriteNeverDestination = true;
        } else if (a == "--copy-empty") {
            s->copyIfSourceLengthIsZero = true;
        } else if (a == "--bandwidth-kbits") {
            s->bandwidthBytesPerSecond = qv::RunSnapshot::bandwidthLimit(true, intArg(value(), a, 1, INT_MAX), 0);
        } else if (a == "--compress") {
            s->compressUse = true;
            s->compressFilePath = value();
            if (!s->compressFilePath.empty() && s->compressFilePath[0] != '/') {
                s->compressFilePath = folderPath(".") + s->compressFilePath;
            }
        } else if (a == "--level") {
            s->compressLevel = intArg(value(), a, 0, 9);
        } else if (a == "--password") {
            s->compressPassword = value();
        } else if (a == "--remove-entries") {
            removeEntries = true;
        } else if (a == "--quiet") {
            quiet = true;
        } else {
            usage("unknown option " + a);
        }
    }
    if (s->compressUse && s->destinationRoot.empty()) {
        const std::size_t slash = s->compressFilePath.rfind('/');
        s->destinationRoot = s->compressFilePath.substr(0, slash + 1);
    }
    if (s->sources.empty() || s->destinationRoot.empty()) {
        usage("a task needs --source and --dest");
    }
    s->diskSpanDialog = false;
    for (qv::RunSource &src : s->sources) {
        std::string rest = src.folder.size() > 1 ? src.folder.substr(1) : std::string();
        const bool structured = s->keepStructureFromRoot && s->taskType != qv::BackupTaskType::Synchronize;
        src.destination = structured ? s->destinationRoot + rest : s->destinationRoot;
    }
    if (!excludes.empty()) {
        s->filters = std::make_shared<WildcardExcludes>(excludes);
    }
    return s;
}

// The stored task named by --id or --name; exits with 2 when there is not exactly one.
qv::TTask *findStoredTask(qv::TTasksList &tasks, const std::string &option, const std::string &value)
{
    std::vector<std::string> groups;
    qv::LoadSettings();
    const qv::TaskStoreState state = qv::loadGroupsAndTasks(groups, tasks);
    for (const std::string &m : state.messages) {
        std::fprintf(stderr, "qv-run: %s\n", m.c_str());
    }
    std::vector<qv::TTask *> found;
    for (int i = 0; i < tasks.Count(); ++i) {
        qv::TTask *t = tasks[i];
        if ((option == "--id" && t->ID == value) || (option == "--name" && t->Name == value)) {
            found.push_back(t);
        }
    }
    if (found.empty()) {
        usage("no stored task has the " + option.substr(2) + " \"" + value + "\"");
    }
    if (found.size() > 1 && option == "--name") {
        std::string ids;
        for (qv::TTask *t : found) {
            ids += " " + t->ID;
        }
        usage("several stored tasks are named \"" + value + "\"; choose one with --id:" + ids);
    }
    return found.back();
}

} // namespace

int main(int argc, char **argv)
{
    // The usage is printed before the application object exists: it needs none of Qt.
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout); // asked for: not an error
        return 0;
    }
    if (args.empty()) {
        usage({});
    }
    // A damaged settings store is said at once, naming the file: it never passes for an empty one.
    try {
        qv::RegistryStore::checkStore(qv::RegistryStore::storePath());
    } catch (const qv::RegistryDamaged &e) {
        std::fprintf(stderr, "qv-run: %s\n", e.what());
        return 1;
    } catch (const qv::RegistryError &) {
        // Not damage: the reads that follow meet it and say so.
    }
    QCoreApplication app(argc, argv);
    bool quiet = false;
    bool removeEntries = false;
    std::shared_ptr<qv::RunSnapshot> snapshot;
    qv::TTasksList tasks;
    qv::TTask *task = nullptr;
    if (args[0] == "--id" || args[0] == "--name") {
        if (args.size() < 2) {
            usage(args[0] + " needs a value");
        }
        for (std::size_t i = 2; i < args.size(); ++i) {
            if (args[i] != "--quiet") {
                usage("a stored task takes no option but --quiet: " + args[i]);
            }
            quiet = true;
        }
        task = findStoredTask(tasks, args[0], args[1]);
        task->StartMode = 1; // by hand
        if (task->DestType != qv::kDestLocal) {
            std::fprintf(stderr, "qv-run: the task's destination is not a local or network folder\n");
            return 1;
        }
        snapshot = qv::makeRunSnapshot(*task, task->GetEventsDiskSpanDialog());
    } else {
        snapshot = snapshotFromArgs(args, quiet, removeEntries);
    }

    // A task's dial-up entry is a NetworkManager profile, brought up and down through nmcli.
    qv::NmcliDialer networkManager;
    qv::setDialer(&networkManager);
    PrintingHost host(quiet, task != nullptr ? task->Logger.get() : nullptr);
    host.log(qv::kLogStarted, "Backup started.");
    qv::TCustomBackup *run = nullptr;
    if (snapshot->compressUse) {
        run = new qv::TCompressBackup(snapshot, &host, removeEntries);
    } else {
        run = new qv::TLocalBackup(snapshot, &host);
    }
    qv::RunOrigin origin;
    if (task != nullptr) {
        task->Running = true;
        origin.task = task->RunLink.record(task);
    }
    qv::RunQueue::instance().submit(run, false, std::move(origin));
    QTimer outputTimer;
    QObject::connect(&outputTimer, &QTimer::timeout, [] { std::fflush(stdout); });
    outputTimer.start(1000);
    const int status = app.exec();
    qv::setDialer(nullptr);
    if (task != nullptr) {
        task->Running = false;
    }
    return status;
}
