// Which backup thread a run of a task gets, and the one seam where tests put their own.
//
// A task that copies gets a TLocalBackup; one that compresses gets the compress backup. Tests
// install a factory that builds the same threads with fake services (programs, trash, mounts).
#pragma once

#include "core/engine/RunSnapshot.h"

#include <functional>
#include <memory>
#include <string>

namespace qv {

class BackupHost;
class TCustomBackup;

// Creates the (not yet started) thread of a run from its snapshot (RunSnapshotOfTask.h), reporting
// to `host`. A factory may throw std::runtime_error when the run cannot be made; the start then
// ends as aborted.
using BackupThreadFactory = std::function<TCustomBackup *(std::shared_ptr<RunSnapshot> snapshot, BackupHost *host)>;
// Creates the filter test of a snapshot made for it (makeTestSnapshot), writing `reportFileName`.
using TestThreadFactory = std::function<TCustomBackup *(std::shared_ptr<RunSnapshot> snapshot, BackupHost *host,
                                                        const std::string &reportFileName)>;

TCustomBackup *createBackupThread(std::shared_ptr<RunSnapshot> snapshot, BackupHost *host);
TCustomBackup *createTestThread(std::shared_ptr<RunSnapshot> snapshot, BackupHost *host,
                                const std::string &reportFileName);

// Empty values restore the program's own threads.
void setBackupThreadFactory(BackupThreadFactory factory);
void setTestThreadFactory(TestThreadFactory factory);

} // namespace qv
