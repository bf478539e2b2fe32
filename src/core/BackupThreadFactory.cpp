// Which backup thread a run of a task gets.
#include "core/BackupThreadFactory.h"

#include "core/LocalBackup.h"
#include "core/RunSnapshotOfTask.h"
#include "core/Task.h"
#include "core/TestBackup.h"

#include <stdexcept>

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
    if (task.GetCompressUse()) {
        throw std::runtime_error("Compressed backups are not available in this build.");
    }
    return new TLocalBackup(makeRunSnapshot(task), host);
}

TCustomBackup *createTestThread(const TTask &task, BackupHost *host, const std::string &reportFileName)
{
    if (testFactory()) {
        return testFactory()(task, host, reportFileName);
    }
    return new TTestBackup(makeRunSnapshot(task), host, reportFileName);
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
