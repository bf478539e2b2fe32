// Which backup thread a run of a task gets.
#include "core/engine/BackupThreadFactory.h"

#include "core/engine/CompressBackup.h"
#include "core/engine/LocalBackup.h"
#include "core/engine/RunSnapshotOfTask.h"
#include "core/task/Task.h"
#include "core/engine/TestBackup.h"


namespace qv {

namespace {

BackupThreadFactory &backupFactory()
{
    static BackupThreadFactory factory;
    return factory;
}

TestThreadFactory &testFactory()
{
    static TestThreadFactory factory;
    return factory;
}

} // namespace

TCustomBackup *createBackupThread(const TTask &task, BackupHost *host)
{
    if (backupFactory()) {
        return backupFactory()(task, host);
    }
    std::shared_ptr<RunSnapshot> snapshot = makeRunSnapshot(task);
    if (snapshot->compressUse) {
        // Entries of removed source files stay in the archive in the runs the program starts.
        return new TCompressBackup(std::move(snapshot), host, false);
    }
    return new TLocalBackup(std::move(snapshot), host);
}

TCustomBackup *createTestThread(const TTask &task, BackupHost *host, const std::string &reportFileName,
                                const FilterTestDraft &draft)
{
    if (testFactory()) {
        return testFactory()(task, host, reportFileName, draft);
    }
    return new TTestBackup(makeTestSnapshot(task, draft), host, reportFileName);
}

void setBackupThreadFactory(BackupThreadFactory factory)
{
    backupFactory() = std::move(factory);
}

void setTestThreadFactory(TestThreadFactory factory)
{
    testFactory() = std::move(factory);
}

} // namespace qv
