// Which backup thread a run of a task gets.
#include "core/engine/BackupThreadFactory.h"

#include "core/engine/CompressBackup.h"
#include "core/engine/LocalBackup.h"
#include "core/engine/RunSnapshotOfTask.h"
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

TCustomBackup *createBackupThread(std::shared_ptr<RunSnapshot> snapshot, BackupHost *host)
{
    if (backupFactory()) {
        return backupFactory()(std::move(snapshot), host);
    }
    if (snapshot->compressUse) {
        // Entries of removed source files stay in the archive in the runs the program starts.
        return new TCompressBackup(std::move(snapshot), host, false);
    }
    return new TLocalBackup(std::move(snapshot), host);
}

TCustomBackup *createTestThread(std::shared_ptr<RunSnapshot> snapshot, BackupHost *host,
                                const std::string &reportFileName)
{
    if (testFactory()) {
        return testFactory()(std::move(snapshot), host, reportFileName);
    }
    return new TTestBackup(std::move(snapshot), host, reportFileName);
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
