// TCustomBackup: the base of every backup thread.
#include "core/engine/CustomBackup.h"

#include "platform/Dialer.h"
#include "platform/FileOps.h"
#include "platform/Processors.h"
#include "core/engine/BackupMessages.h"
#include "core/task/TaskValidate.h"

#include <algorithm>

namespace qv {

namespace {
const char *const kFinishedText = "Backup finished.";
const char *const kAbortedText = "Backup ABORTED!";
} // namespace

TCustomBackup::TCustomBackup(std::shared_ptr<const RunSnapshot> snapshot, BackupHost *host, BackupServices services)
    : m_snapshot(std::move(snapshot)), m_services(services.withDefaults()), m_bridge(host, this)
{
}

TCustomBackup::~TCustomBackup()
{
    if (m_queueHooks.gone) {
        m_queueHooks.gone();
    }
}

void TCustomBackup::startThread()
{
    // Qt's thread priorities do nothing on Linux but idle; run() sets the real ones.
    start();
}

std::function<void()> TCustomBackup::threadStartHook() const
{
    if (!m_priority) {
        return {};
    }
    return [priority = *m_priority] { priority.apply(); };
}

void TCustomBackup::Stop()
{
    m_control.requestStop();
    if (!isRunning() && !isFinished()) {
        if (m_queueHooks.stoppedWaiting) {
            m_queueHooks.stoppedWaiting();
        }
    }
}

void TCustomBackup::runInPlace()
{
    executeGuarded();
    BackupFinished();
}

void TCustomBackup::run()
{
    // A new thread starts with the nice value of the main thread: the program's own.
    const int level = std::clamp(m_snapshot->cpuPerformance, 0, 6);
    m_priority = ThreadPriority::forLevel(level, ThreadPriority::currentNice());
    const std::string refused = m_priority->apply();
    // A run created suspended (the global suspend) waits here, before it dials, runs a program or
    // touches a file; a stop wakes it and it ends as aborted.
    if (!m_control.checkpoint()) {
        return;
    }
    if (!refused.empty()) {
        Log(kLogInformation, formatMessage(msg::PriorityRefused, {cpuLevelName(level), refused}));
    }
    executeGuarded();
}

void TCustomBackup::executeGuarded()
{
    try {
        const std::string refused = startRefusal();
        if (!refused.empty()) {
            Notify(kLogError, akError, "S", refused);
            Terminate();
        } else {
            Execute();
        }
        if (!Terminated() && m_wroteDestination && !m_snapshot->destinationRoot.empty()) {
            syncWrittenFileSystems();
        }
    } catch (const std::exception &e) {
        m_failure = e.what();
        if (m_failure.empty()) {
            m_failure = "unknown error";
        }
        Terminate();
    } catch (...) {
        m_failure = "unknown error";
        Terminate();
    }
    RasRelease();
    m_bridge.sendProgressNow();
}

std::string TCustomBackup::startRefusal() const
{
    std::vector<std::string> sources;
    std::vector<std::string> destinations{m_snapshot->destinationRoot};
    for (const RunSource &s : m_snapshot->sources) {
        sources.push_back(s.folder);
        destinations.push_back(s.destination);
    }
    return validateRunFolders(sources, destinations);
}

// The new files of the run reach the disk before it is reported finished: the destination's file
// system, and in a synchronisation the sources' too, since files are copied both ways.
void TCustomBackup::syncWrittenFileSystems()
{
    std::vector<std::string> folders = {m_snapshot->destinationRoot};
    if (m_snapshot->taskType == BackupTaskType::Synchronize) {
        for (const RunSource &s : m_snapshot->sources) {
            folders.push_back(s.folder);
        }
    }
    std::vector<std::uint64_t> synced;
    for (const std::string &folder : folders) {
        const PathStat st = statPath(folder);
        if (st.exists && std::find(synced.begin(), synced.end(), st.dev) != synced.end()) {
            continue;
        }
        int error = 0;
        if (!syncFileSystem(folder, error)) {
            NotDone(); // what was written may not last
            Log(kLogError, formatMessage(msg::SyncError, {errnoText(error)}));
        } else if (st.exists) {
            synced.push_back(st.dev);
        }
    }
}

void TCustomBackup::raiseEndAlert(int kind, const std::string &buttons, const std::string &text)
{
    BackupHost *host = m_bridge.host();
    try {
        AlertAnswer answer = host->alert(kind, buttons, text);
        if (answer.mail) {
            host->sendLater(std::move(answer.mail)); // the main thread never waits on a mail server
        }
    } catch (const std::exception &e) {
        host->log(kLogError, formatMessage(msg::RunFailed, {std::string(e.what())}));
    } catch (...) {
        host->log(kLogError, formatMessage(msg::RunFailed, {std::string("unknown error")}));
    }
}

void TCustomBackup::BackupFinished()
{
    if (m_finishedHandled) {
        return;
    }
    m_finishedHandled = true;
    m_bridge.flush();
    BackupHost *host = m_bridge.host();
    const bool aborted = Terminated() || !m_failure.empty();
    if (host != nullptr) {
        if (!m_failure.empty()) {
            ++m_errorCount;
            const std::string text = formatMessage(msg::RunFailed, {m_failure});
            host->log(kLogError, text);
            host->log(kLogAborted, kAbortedText);
            raiseEndAlert(akError, "S", text);
        } else if (aborted) {
            host->log(kLogAborted, kAbortedText);
        } else {
            host->log(kLogFinished, kFinishedText);
            raiseEndAlert(akFinish, "O", formatMessage(msg::BackupFinish));
        }
    }
    const RunEnd end = aborted ? RunEnd::Aborted : (m_undoneCount.load() > 0 ? RunEnd::Undone : RunEnd::Done);
    if (m_queueHooks.ended) {
        m_queueHooks.ended(end); // the queue lets go of the run, then tells its host
    } else if (host != nullptr) {
        host->finished(end);
    }
}

void TCustomBackup::Log(int kind, const std::string &text)
{
    if (kind == kLogError) {
        ++m_errorCount;
    } else if (kind == kLogWarning) {
        ++m_warningCount;
    }
    if (m_bridge.logsKind(kind)) {
        m_bridge.log(kind, text);
    }
}

int TCustomBackup::Alert(int kind, const std::string &buttons, const std::string &text)
{
    if (!m_bridge.alertsKind(kind)) {
        return aaNone; // this alert would show, play and send nothing
    }
    AlertReply reply = m_bridge.alert(kind, buttons, text);
    if (!reply.error.empty()) {
        throw BackupAbort(reply.error);
    }
    if (reply.mail) {
        // Sent here, after the answer: this run waits for its mail, nothing else does. A failure
        // is an error of the run, which goes on.
        const std::string failure = reply.mail();
        if (!failure.empty()) {
            Log(kLogError, failure);
        }
    }
    return reply.answer;
}

bool TCustomBackup::Notify(int logKind, int alertKind, const std::string &buttons, const std::string &text)
{
    Log(logKind, text);
    if (alertKind >= 0 && Alert(alertKind, buttons, text) == aaStop) {
        Terminate();
    }
    return Running();
}

void TCustomBackup::SetProgress(const std::string &caption, std::int64_t maximum)
{
    m_bridge.setProgressPhase(caption, maximum);
}

void TCustomBackup::AddProgress(std::int64_t delta)
{
    m_bridge.addProgress(delta);
}

void TCustomBackup::SetProgressPosition(std::int64_t position)
{
    m_bridge.setProgressPosition(position);
}

bool TCustomBackup::ReadFolder(const std::string &folder, TFilesList &list, bool applyFilters, bool includeSubfolders,
                               ScanTotals &totals, const std::string &caption, const std::set<std::string> &noDescend,
                               std::size_t keepAtMost, bool takeFileLinks)
{
    ScanCallbacks callbacks;
    if (!caption.empty()) {
        callbacks.progress = [this](const std::string &text) { SetProgress(text, 0); };
    }
    callbacks.skippedSpecial = [this](const std::string &path) {
        Log(kLogSkipped, formatMessage(msg::SpecialFileSkipped, {path}));
    };
    callbacks.unreadable = [this](const std::string &path, int error) {
        NotDone(); // what the folder holds is not backed up
        Log(kLogWarning, formatMessage(msg::FolderUnreadable, {path, errnoText(error)}));
    };
    FolderScanner scanner(*m_services.directoryReader, m_control, callbacks);
    ScanOptions options;
    options.applyFilters = applyFilters;
    options.includeSubfolders = includeSubfolders;
    options.filter = m_snapshot->filters.get();
    options.noDescend = noDescend;
    options.parallel = scanThreads();
    options.threadStart = threadStartHook();
    options.keepAtMost = keepAtMost;
    options.takeFileLinks = takeFileLinks;
    scanner.ReadFolder(folder, list, options, totals, caption);
    for (const std::string &f : scanner.unreadableFolders()) {
        m_unreadableFolders.push_back(f);
    }
    return !scanner.overflowed();
}

int TCustomBackup::scanThreads()
{
    return std::clamp(usableCores() / 2, 1, 4);
}

bool TCustomBackup::hasDialEntry() const
{
    const std::string &entry = m_snapshot->dialEntry;
    return !entry.empty() && entry != messageText(msg::RasNoneSelected) && entry != msg::RasNoneSelected.text;
}

namespace {

const BackupMessage &rasCodeMeaning(int code)
{
    switch (code) {
    case -1:
        return msg::RasErrorNoManager;
    case 0:
        return msg::RasErrorNotUp;
    case 3:
        return msg::RasErrorTimeout;
    case 4:
        return msg::RasErrorActivation;
    case 10:
        return msg::RasErrorNoProfile;
    default:
        return msg::RasErrorOther;
    }
}

} // namespace

void TCustomBackup::RasConnect()
{
    m_connectedByOthers = false;
    m_dialState = TRASManager::DialState::Failed;
    if (!hasDialEntry()) {
        return;
    }
    const std::string &entry = m_snapshot->dialEntry;
    const TRASManager::DialResult r = RASManagerInstance().Dial(entry, [&] {
        const std::string text = formatMessage(msg::RasConnecting, {entry});
        SetProgress(text, 100);
        Log(kLogInformation, text);
    }, &m_control.stopFlag());
    m_dialState = r.state;
    switch (r.state) {
    case TRASManager::DialState::Dialled:
        Log(kLogInformation, formatMessage(msg::RasConnected, {entry}));
        break;
    case TRASManager::DialState::Shared:
    case TRASManager::DialState::ConnectedByOthers:
        m_connectedByOthers = true;
        Log(kLogWarning, formatMessage(msg::RasAlreadyConnected, {entry}));
        break;
    case TRASManager::DialState::Failed:
        if (r.code == Dialer::kStopped) {
            break; // the run was stopped while it dialled: it ends as aborted
        }
        Log(kLogError, formatMessage(msg::RasConnectingError, {entry}));
        Log(kLogError, formatMessage(msg::RasErrorCode, {r.code, messageText(rasCodeMeaning(r.code))}));
        break;
    }
}

void TCustomBackup::RasDisconnect()
{
    if (!hasDialEntry()) {
        return;
    }
    const std::string &entry = m_snapshot->dialEntry;
    const bool disconnectAfter = m_snapshot->dialDisconnectAfter;
    const bool dialled = m_dialState == TRASManager::DialState::Dialled;
    if (dialled || m_dialState == TRASManager::DialState::Shared) {
        m_dialState = TRASManager::DialState::Failed; // counted out once only
        const TRASManager::HangUpResult r = RASManagerInstance().HangUp(entry, dialled, disconnectAfter, [&] {
            Log(kLogWarning, formatMessage(msg::RasDisconnecting, {entry}));
        });
        if (r.state == TRASManager::HangUpState::StillInUse && dialled && disconnectAfter) {
            Log(kLogWarning, formatMessage(msg::RasDisconnectLater, {entry}));
        }
        return;
    }
    if (disconnectAfter && m_connectedByOthers && RASManagerInstance().isEntryConnected(entry)) {
        Log(kLogWarning, formatMessage(msg::RasDisconnectSkipping, {entry}));
    }
}

void TCustomBackup::RasRelease()
{
    // A stopped or failed run does not hang up; it only stops counting as a user of the connection,
    // so that the last run sharing it still takes it down when the dialling run asked for that.
    if (m_dialState != TRASManager::DialState::Dialled && m_dialState != TRASManager::DialState::Shared) {
        return;
    }
    const std::string &entry = m_snapshot->dialEntry;
    const bool dialled = m_dialState == TRASManager::DialState::Dialled;
    m_dialState = TRASManager::DialState::Failed;
    RASManagerInstance().HangUp(entry, dialled, false,
                                [&] { Log(kLogWarning, formatMessage(msg::RasDisconnecting, {entry})); });
}

void TCustomBackup::runProgram(bool before)
{
    const RunSnapshot &s = *m_snapshot;
    const bool use = before ? s.runBefore : s.runAfter;
    const std::string &program = before ? s.runBeforeProgram : s.runAfterProgram;
    if (!use || program.empty()) {
        return;
    }
    if (!m_services.executeProgram(program, before ? s.runBeforeWait : s.runAfterWait, m_control)) {
        Log(kLogWarning, formatMessage(msg::ExecuteProgramError, {program}));
    }
}

void TCustomBackup::BeforeBackup()
{
    RasConnect();
    runProgram(true);
}

void TCustomBackup::AfterBackup()
{
    RasDisconnect();
    runProgram(false);
}

} // namespace qv
