// TLocalBackup: the four runs, the path mapping and the scans of the copy engine.
#include "core/engine/LocalBackup.h"

#include "core/engine/BackupMessages.h"
#include "core/engine/CopyWorkers.h"
#include "core/engine/SourceDrives.h"
#include "core/engine/SourceStream.h"
#include "core/engine/StatLookahead.h"
#include "platform/RateBudget.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace qv {

TLocalBackup::~TLocalBackup()
{
    if (m_destinationScan.joinable()) {
        m_control.requestStop();
        m_destinationScan.join();
    }
}

std::string TLocalBackup::SourceToDestination(std::string_view path) const
{
    for (const RunSource &s : m_snapshot->sources) {
        if (path.size() >= s.folder.size() && path.compare(0, s.folder.size(), s.folder) == 0) {
            return s.destination + std::string(path.substr(s.folder.size()));
        }
    }
    return {};
}

std::string TLocalBackup::DestinationToSource(std::string_view path) const
{
    const auto &sources = m_snapshot->sources;
    if (sources.empty()) {
        return {};
    }
    int index = 0;
    if (!m_producedBy.empty()) {
        // The entry itself, or the nearest folder above it, tells which source produced it.
        std::string probe(path);
        for (;;) {
            auto it = m_producedBy.find(probe);
            if (it != m_producedBy.end()) {
                index = it->second;
                break;
            }
            std::string parent = folderOf(probe);
            if (parent.empty() || parent.size() >= probe.size() || parent.size() <= sources[0].destination.size()) {
                break;
            }
            probe = parent;
        }
    }
    const RunSource &s = sources[static_cast<std::size_t>(index)];
    std::string_view root = s.destination;
    if (path.size() < root.size() || path.compare(0, root.size(), root) != 0) {
        root = m_snapshot->destinationRoot;
        if (path.size() < root.size() || path.compare(0, root.size(), root) != 0) {
            return {};
        }
    }
    return s.folder + std::string(path.substr(root.size()));
}

void TLocalBackup::Execute()
{
    const RunSnapshot &s = *m_snapshot;
    m_rules.synchronize = s.taskType == BackupTaskType::Synchronize;
    m_rules.overwriteNeverDestination = s.overwriteNeverDestination;
    m_rules.copyInUseFiles = s.copyInUseFiles;
    m_rules.copyIfSourceLengthIsZero = s.copyIfSourceLengthIsZero;
    m_rules.dontSkipIfDateEqButSrcBiggerDst = s.dontSkipIfDateEqButSrcBiggerDst;
    m_rules.logIncludeSkipping = s.logIncludeSkipping && m_bridge.logsKind(kLogSkipped);
    m_rules.versionsKeep = s.versionsKeep;
    m_habits.clear();
    m_mounts = m_services.mounts();
    if (s.taskType == BackupTaskType::ExactCopy || s.taskType == BackupTaskType::Synchronize) {
        checkSourceDrives(m_mounts, s.destinationRoot, [this](const std::string &folder) {
            const std::string place = SourceToDestination(folder);
            return !place.empty() && statEntry(withoutSlash(place)).exists;
        });
    }
    m_budget = s.bandwidthBytesPerSecond >= 0 ? std::make_unique<RateBudget>(s.bandwidthBytesPerSecond) : nullptr;
    switch (s.taskType) {
    case BackupTaskType::SimpleCopy:
        DoSimpleCopy();
        break;
    case BackupTaskType::ExactCopy:
        DoExactCopy();
        break;
    case BackupTaskType::Move:
        DoMove();
        break;
    case BackupTaskType::Synchronize:
        DoSynchronize();
        break;
    }
}

void TLocalBackup::checkSourceDrives(const MountTable &mounts, const std::string &destination,
                                     const std::function<bool(const std::string &)> &placeHolds, bool warn)
{
    std::vector<std::string> folders;
    for (const RunSource &src : m_snapshot->sources) {
        folders.push_back(src.folder);
    }
    m_disconnected =
        SourceDrives::check(SourceDrives::memoryFile(), destination, folders, mounts, placeHolds);
    if (!warn) {
        m_disconnected.clear();
    }
    for (const std::string &folder : m_disconnected) {
        NotDone(); // what left the drive is not deleted from its backup
        Log(kLogWarning, formatMessage(msg::DriveNotConnected, {withoutSlash(folder)}));
    }
}

bool TLocalBackup::onDisconnectedDrive(const std::string &path) const
{
    return std::any_of(m_disconnected.begin(), m_disconnected.end(),
                       [&path](const std::string &folder) { return pathWithin(path, folder); });
}

std::size_t TLocalBackup::sourceListBudget()
{
    if (const char *text = std::getenv("QV_SOURCE_LIST_BYTES"); text != nullptr && *text != '\0') {
        char *end = nullptr;
        const unsigned long long bytes = std::strtoull(text, &end, 10);
        if (end != nullptr && *end == '\0') {
            return static_cast<std::size_t>(bytes);
        }
    }
    return std::size_t{8} << 20;
}

void TLocalBackup::ReadSourceFiles(bool mayStream)
{
    m_sourceTotals = {};
    m_sourceStreamed = false;
    const auto &sources = m_snapshot->sources;
    const std::string caption = messageText(msg::ProgressReadingSource);
    const std::size_t keepAtMost = mayStream && sources.size() == 1 ? sourceListBudget() : SIZE_MAX;
    for (const RunSource &src : sources) {
        m_sourceStreamed = !ReadFolder(src.folder, m_sourceFiles, true, src.includeSubfolders, m_sourceTotals,
                                       caption, {}, keepAtMost);
        if (!Running()) {
            return;
        }
    }
    if (m_sourceFiles.empty() && !m_sourceStreamed) {
        const std::string text = formatMessage(msg::SourceNoFiles);
        Log(kLogError, text);
        Alert(akError, "S", text);
        Terminate();
        return;
    }
    if (sources.size() < 2) {
        return;
    }
    SetProgress(messageText(msg::ProgressCheckSameDst), static_cast<std::int64_t>(m_sourceFiles.size()) - 1);
    TFilesList mapped;
    bool folderTwice = false;
    for (std::size_t i = 0; i < m_sourceFiles.size(); ++i) {
        if (!Running()) {
            return;
        }
        const std::string target = SourceToDestination(m_sourceFiles.path(i));
        const std::size_t before = mapped.size();
        mapped.FileAdd(target);
        if (mapped.size() == before) {
            if (!m_sourceFiles.isFolder(i)) {
                const std::string text =
                    formatMessage(msg::MultiSrcSameDstFiles, {std::string(m_sourceFiles.path(i)), target});
                Log(kLogError, text);
                Alert(akError, "S", text);
                Terminate();
                return;
            }
            folderTwice = true;
        }
        AddProgress(1);
    }
    if (folderTwice) {
        Notify(kLogWarning, akWarning, "CS", formatMessage(msg::MultiSrcSameDstFolders));
    }
}

void TLocalBackup::ReadDestinationFiles(bool applyFilters, bool includeSubfolders,
                                        const std::set<std::string> &noDescend)
{
    m_destinationTotals = {};
    // Read as a source of files (a synchronisation's way back): a link there is never followed.
    ReadFolder(m_snapshot->destinationRoot, m_destinationFiles, applyFilters, includeSubfolders, m_destinationTotals,
               messageText(msg::ProgressReadingDestination), noDescend, SIZE_MAX, false);
}

void TLocalBackup::logSummary(const ScanTotals &totals)
{
    Log(kLogInformation, formatMessage(msg::Totals, {totals.folders, totals.files, totals.bytes, errorCount(),
                                                     warningCount()}));
}

// Every decision is made here in scan order; the data of the files to copy is written by the
// copy workers meanwhile, and each file ends (rename, lines, counters) in scan order again.
bool TLocalBackup::copyPass()
{
    std::vector<std::string> folders = {m_snapshot->destinationRoot};
    for (const RunSource &s : m_snapshot->sources) {
        folders.push_back(s.folder);
    }
    CopyWorkers workers(CopyWorkers::countFor(folders, m_mounts), threadStartHook());
    m_workers = &workers;
    // Where the destination held files, the first look tells which are up to date; the stats of
    // the others are taken a little ahead of the decisions.
    const std::vector<bool> upToDate = upToDateAsListed();
    bool toLookAt = upToDate.empty();
    for (std::size_t i = 0; i < upToDate.size() && !toLookAt; ++i) {
        toLookAt = !upToDate[i] && !m_sourceFiles.isFolder(i);
    }
    std::unique_ptr<StatLookahead> lookahead;
    if (m_snapshot->taskType == BackupTaskType::ExactCopy && m_destinationHeldFiles && !m_sourceStreamed &&
        toLookAt) {
        lookahead = std::make_unique<StatLookahead>(
            m_sourceFiles.size(),
            [this, &upToDate](std::size_t i) {
                return m_sourceFiles.isFolder(i) || (i < upToDate.size() && upToDate[i])
                           ? std::string()
                           : SourceToDestination(m_sourceFiles.path(i));
            },
            scanThreads(), 2048, threadStartHook());
    }
    m_lookahead = lookahead.get();
    struct Detach {
        TLocalBackup *backup;
        ~Detach()
        {
            backup->m_workers = nullptr;
            backup->m_lookahead = nullptr;
        }
    } detach{this};
    const bool decideObsolete = obsoleteBegin();
    // One entry of the pass; false when the run was stopped.
    auto pass = [&](std::string source, const FileEntryInfo &info, std::ptrdiff_t item, bool asListed) {
        if (Running()) {
            workers.makeRoom(info.size); // ends the oldest files, which may end the run
        }
        if (!Running()) {
            workers.abandon();
            return false;
        }
        if (decideObsolete) {
            obsoleteAt(source, info.isFolder);
        }
        auto p = std::make_shared<PendingCopy>();
        p->source = std::move(source);
        p->destination = SourceToDestination(p->source);
        p->info = info;
        p->item = item;
        if (asListed && !m_diskSpanned) {
            // As the first look listed it (stats taken on another medium would not hold): the same
            // size and time, which the decision leaves alone.
            p->takeListedDestination(info);
        }
        addToPass(workers, p, p->source);
        return true;
    };
    if (m_sourceStreamed) {
        // The tree is listed again as the pass goes, a window ahead; the scan reported what it met.
        const RunSource &src = m_snapshot->sources.front();
        SourceStream::Options options;
        options.filter = m_snapshot->filters.get();
        options.includeSubfolders = src.includeSubfolders;
        options.passOver.insert(m_unreadableFolders.begin(), m_unreadableFolders.end());
        options.threadStart = threadStartHook();
        options.listers = scanThreads();
        if (m_destinationHeldFiles) {
            options.filesAsListed = [this](const std::string &folder, const EntryDigest &files) {
                return filesAsListed(folder, files);
            };
        }
        SourceStream stream(*m_services.directoryReader, m_control.stopFlag(), src.folder, std::move(options));
        SourceStream::Item item;
        while (stream.next(item)) {
            if (item.kind == SourceStream::Item::Unreadable) {
                // Listed by the scan, not now: nothing below its destination is obsolete, and it
                // is reported in its place.
                m_unreadableFolders.push_back(item.path);
                if (decideObsolete) {
                    obsoleteProtect(SourceToDestination(item.path));
                }
                workers.add({}, [this, folder = item.path, error = item.error] {
                    NotDone();
                    Log(kLogWarning, formatMessage(msg::FolderUnreadable, {folder, errnoText(error)}));
                }, 0);
                continue;
            }
            if (!pass(std::move(item.path), item.info, -1, item.asListed)) {
                return false;
            }
        }
    } else {
        for (std::size_t i = 0; i < m_sourceFiles.size(); ++i) {
            if (!pass(m_sourceFiles.path(i), m_sourceFiles.info(i), static_cast<std::ptrdiff_t>(i),
                      i < upToDate.size() && upToDate[i])) {
                return false;
            }
        }
    }
    workers.drain();
    if (decideObsolete && Running()) {
        obsoleteAfterPass();
    }
    return Running();
}

void TLocalBackup::addToPass(CopyWorkers &workers, const std::shared_ptr<PendingCopy> &p,
                             const std::string &folderSource)
{
    p->held = true; // decided now, it speaks at its turn
    bool copy = false;
    if (p->info.isFolder) {
        CreateFolder(p->destination, folderSource, p.get());
    } else {
        copy = prepareCopy(*p);
    }
    std::function<void()> work;
    if (copy) {
        // The file's end holds it; the work always runs before that end, or not at all.
        work = [this, file = p.get()] { writeCopy(*file); };
    }
    const bool waits = copy && p->waitForTurn;
    workers.add(std::move(work), [this, p] { finishCopy(*p); }, waits ? 0 : p->info.size);
    if (!waits) {
        return;
    }
    // Its plan comes first. When it raises an alert or the disk is to be asked for room, the
    // file's turn comes now, before the next file is decided; its data is written after that, in
    // an entry of its own.
    workers.waitForLast();
    const bool asks = planAsks(*p);
    if (asks) {
        workers.drain();
    }
    if (asks ? p->transfer : p->plan.transfer) {
        p->writeNow = true;
        workers.add([this, file = p.get()] { writeCopy(*file); }, [this, p] { finishCopy(*p); },
                    p->info.size);
    }
}

void TLocalBackup::runMode(const ScanBeside &beside, const std::function<bool(ScanTotals &)> &passes, bool mayStream)
{
    BeforeBackup();
    if (beside.start) {
        beside.start();
    }
    ReadSourceFiles(mayStream);
    if (beside.finish) {
        beside.finish();
    }
    if (!Running()) {
        return;
    }
    ScanTotals summary = m_sourceTotals;
    if (!passes(summary) || !Running()) {
        return; // a stopped run neither hangs up nor runs the "after" program
    }
    AfterBackup();
    if (Running()) {
        logSummary(summary);
    }
}

void TLocalBackup::DoSimpleCopy()
{
    runMode(
        {},
        [this](ScanTotals &) {
            SetProgress(messageText(msg::ProgressCopying), m_sourceTotals.bytes);
            return copyPass();
        },
        true);
}

void TLocalBackup::DoExactCopy()
{
    runMode(
        {[this] { startDestinationScan(); }, [this] { finishDestinationScan(); }},
        [this](ScanTotals &) {
            SetProgress(messageText(msg::ProgressCopying), m_sourceTotals.bytes);
            if (!copyPass()) {
                return false;
            }
            DeleteObsolete();
            return true;
        },
        true);
}

void TLocalBackup::DoMove()
{
    runMode({}, [this](ScanTotals &) {
        SetProgress(messageText(msg::ProgressMoving), m_sourceTotals.bytes);
        std::vector<std::string> moved;
        for (std::size_t i = 0; i < m_sourceFiles.size(); ++i) {
            if (!Running()) {
                return false;
            }
            const std::string source(m_sourceFiles.path(i));
            const std::string target = SourceToDestination(source);
            const FileEntryInfo info = m_sourceFiles.info(i);
            if (info.isFolder) {
                CreateFolder(target, source);
                moved.push_back(source);
            } else {
                MoveFileChecked(source, target);
            }
            AddProgress(info.size);
        }
        RemoveMovedFolders(moved);
        return true;
    });
}

// The destination is listed on a thread of its own while the sources are read. Its lines are held
// back: when the way there writes nothing, the listing is the one the way back would make and its
// lines go out where that reading would log them; otherwise it is dropped and the destination is
// read again after the way there.
struct TLocalBackup::EarlyScan {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> lines;
    std::vector<std::string> unreadable;
    std::thread thread;
    void join()
    {
        if (thread.joinable()) {
            thread.join();
        }
    }
    ~EarlyScan() { join(); }
};

void TLocalBackup::startEarlyDestinationScan(EarlyScan &early)
{
    m_destinationFiles.clear();
    m_destinationTotals = {};
    early.thread = std::thread([this, &early] {
        ScanCallbacks callbacks;
        callbacks.skippedSpecial = [this, &early](const std::string &path) {
            std::lock_guard<std::mutex> lock(early.mutex);
            early.lines.emplace_back(kLogSkipped, formatMessage(msg::SpecialFileSkipped, {path}));
        };
        callbacks.unreadable = [&early](const std::string &path, int error) {
            std::lock_guard<std::mutex> lock(early.mutex);
            early.lines.emplace_back(kLogWarning, formatMessage(msg::FolderUnreadable, {path, errnoText(error)}));
        };
        FolderScanner scanner(*m_services.directoryReader, m_control, callbacks);
        ScanOptions options;
        options.applyFilters = true;
        options.includeSubfolders = m_snapshot->sourceIncludeSubfolders;
        options.filter = m_snapshot->filters.get();
        options.parallel = scanThreads();
        options.threadStart = threadStartHook();
        options.takeFileLinks = false; // the way back takes nothing through a link
        scanner.ReadFolder(m_snapshot->destinationRoot, m_destinationFiles, options, m_destinationTotals,
                           std::string());
        early.unreadable = scanner.unreadableFolders();
    });
}

void TLocalBackup::DoSynchronize()
{
    EarlyScan early;
    runMode({[this, &early] { startEarlyDestinationScan(early); }, [&early] { early.join(); }},
            [this, &early](ScanTotals &summary) {
                const bool wroteBefore = m_wroteDestination;
                m_wroteDestination = false;
                std::vector<bool> inAgreement;
                const bool there = syncSourceToDestination(&m_destinationFiles, &inAgreement);
                m_destinationFiles.dropIndex(); // the way back walks the list in order
                const bool destinationAsListed = !m_wroteDestination;
                m_wroteDestination = m_wroteDestination || wroteBefore;
                if (!there) {
                    return false;
                }
                // The way back needs only the destination's list.
                m_sourceFiles.clear();
                if (destinationAsListed) {
                    for (const auto &[kind, text] : early.lines) {
                        Log(kind, text);
                    }
                    m_unreadableFolders.insert(m_unreadableFolders.end(), early.unreadable.begin(),
                                               early.unreadable.end());
                    if (!early.unreadable.empty()) {
                        NotDone(); // the folders said so in the lines above
                    }
                } else {
                    inAgreement.clear(); // its marks belong to the first listing
                    m_destinationFiles.clear();
                    ReadDestinationFiles(true, m_snapshot->sourceIncludeSubfolders);
                }
                // Each file once: the sources' as read, and what the way back adds to them.
                m_made = {};
                m_countMade = true;
                const bool back = Running() && syncDestinationToSource(inAgreement);
                m_countMade = false;
                if (!back) {
                    return false;
                }
                summary.bytes += m_made.bytes;
                summary.files += m_made.files;
                summary.folders += m_made.folders;
                return true;
            });
}

// As the copy pass: every decision on this thread in scan order, the data written by the copy
// workers meanwhile, and each file ended in scan order.
bool TLocalBackup::syncSourceToDestination(const TFilesList *listing, std::vector<bool> *inAgreement)
{
    const auto &sources = m_snapshot->sources;
    SetProgress(messageText(msg::ProgressSyncDst), m_sourceTotals.bytes);
    if (listing != nullptr && inAgreement != nullptr) {
        inAgreement->assign(listing->size(), false);
    }
    std::vector<std::string> folders = {m_snapshot->destinationRoot};
    for (const RunSource &s : sources) {
        folders.push_back(s.folder);
    }
    CopyWorkers workers(CopyWorkers::countFor(folders, m_mounts), threadStartHook());
    m_workers = &workers;
    struct Detach {
        TLocalBackup *backup;
        ~Detach() { backup->m_workers = nullptr; }
    } detach{this};
    for (std::size_t i = 0; i < m_sourceFiles.size(); ++i) {
        const FileEntryInfo info = m_sourceFiles.info(i);
        if (Running()) {
            workers.makeRoom(info.size); // ends the oldest files, which may end the run
        }
        if (!Running()) {
            workers.abandon();
            return false;
        }
        auto p = std::make_shared<PendingCopy>();
        p->source = std::string(m_sourceFiles.path(i));
        p->destination = SourceToDestination(p->source);
        p->info = info;
        const std::string &source = p->source;
        const std::string &target = p->destination;
        nameFutureTime(source, info);
        if (sources.size() > 1) {
            for (std::size_t k = 0; k < sources.size(); ++k) {
                if (source.compare(0, sources[k].folder.size(), sources[k].folder) == 0) {
                    m_producedBy.emplace(target, static_cast<int>(k));
                    break;
                }
            }
        }
        // The listing may be older than the file: it stands for a stat only where it shows the
        // destination up to date (the same time, not smaller), which the way there leaves alone.
        // Any other case is decided on the file as it is now.
        if (!info.isFolder && listing != nullptr) {
            const std::ptrdiff_t j = listing->indexOf(target);
            if (j >= 0 && !listing->isFolder(static_cast<std::size_t>(j))) {
                const FileEntryInfo d = listing->info(static_cast<std::size_t>(j));
                if (compareTimes(info.mtimeNs, d.mtimeNs, habitsAt(0, AT_FDCWD, folderOf(target))) == 0 &&
                    d.size >= info.size) {
                    p->takeListedDestination(d);
                    if (inAgreement != nullptr && d.size == info.size && d.mtimeNs == info.mtimeNs &&
                        DestinationToSource(target) == source) {
                        (*inAgreement)[static_cast<std::size_t>(j)] = true;
                    }
                }
            }
        }
        addToPass(workers, p, std::string());
    }
    workers.drain();
    return Running();
}

bool TLocalBackup::syncDestinationToSource(const std::vector<bool> &inAgreement)
{
    SetProgress(messageText(msg::ProgressSyncSrc), m_destinationTotals.bytes);
    for (std::size_t i = 0; i < m_destinationFiles.size(); ++i) {
        if (!Running()) {
            return false;
        }
        const std::string entry(m_destinationFiles.path(i));
        const FileEntryInfo info = m_destinationFiles.info(i);
        bool insideSource = false;
        for (const RunSource &s : m_snapshot->sources) {
            insideSource = insideSource || pathWithin(entry, s.folder);
        }
        const std::string target = insideSource ? std::string() : DestinationToSource(entry);
        // Nothing goes back onto the empty place of a drive that is not connected.
        if (!target.empty() && !onDisconnectedDrive(target)) {
            nameFutureTime(target, info);
            // An entry whose source the way there found of the same size and time: that source, as
            // the way there read it, stands for its stat.
            PathStat agreed;
            const bool known = i < inAgreement.size() && inAgreement[i] && !info.isFolder;
            if (known) {
                agreed.exists = true;
                agreed.isRegular = true;
                agreed.size = info.size;
                agreed.mtimeNs = info.mtimeNs;
                agreed.mode = info.mode;
            }
            if (info.isFolder) {
                CreateFolder(target, std::string());
            } else if (CopyFileChecked(entry, target, info, known ? &agreed : nullptr)) {
                CompareAfterCopy(entry, target);
            }
        }
        AddProgress(info.size);
    }
    return true;
}

} // namespace qv
