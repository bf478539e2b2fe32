// Which backup thread a run of a task gets, and the one seam where tests put their own.
//
// A task that copies gets a TLocalBackup; one that compresses gets the compress backup. Tests
// install a factory that builds the same threads with fake services (programs, trash, mounts).
#pragma once

#include <functional>
#include <string>

namespace qv {

class BackupHost;
class TCustomBackup;
class TTask;
struct FilterTestDraft;

// Creates the (not yet started) thread of a run of `task`, reporting to `host`. A factory may
// throw std::runtime_error when the run cannot be made; the start then ends as aborted.
using BackupThreadFactory = std::function<TCustomBackup *(const TTask &task, BackupHost *host)>;
// Creates the filter test of `task` with the filters and destination of `draft`, writing `reportFileName`.
using TestThreadFactory = std::function<TCustomBackup *(const TTask &task, BackupHost *host,
                                                        const std::string &reportFileName, const FilterTestDraft &draft)>;

TCustomBackup *createBackupThread(const TTask &task, BackupHost *host);
TCustomBackup *createTestThread(const TTask &task, BackupHost *host, const std::string &reportFileName,
                                const FilterTestDraft &draft);

// Empty values restore the program's own threads.
void setBackupThreadFactory(BackupThreadFactory factory);
void setTestThreadFactory(TestThreadFactory factory);

} // namespace qv
