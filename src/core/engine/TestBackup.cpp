// TTestBackup: the filter test report.
#include "core/engine/TestBackup.h"

#include "core/engine/BackupMessages.h"
#include "platform/FileIo.h"


namespace qv {

TTestBackup::TTestBackup(std::shared_ptr<const RunSnapshot> snapshot, BackupHost *host, std::string reportFileName,
                         BackupServices services)
    : TLocalBackup(std::move(snapshot), host, std::move(services)), m_reportFileName(std::move(reportFileName))
{
}

void TTestBackup::Execute()
{
    ScanTotals totals;
    for (const RunSource &src : m_snapshot->sources) {
        ReadFolder(src.folder, m_sourceFiles, true, src.includeSubfolders, totals, std::string());
        if (!Running()) {
            return;
        }
    }
    std::string text;
    for (std::size_t i = 0; i < m_sourceFiles.size(); ++i) {
        const std::string entry(m_sourceFiles.path(i));
        text += entry + " - " + SourceToDestination(entry) + "\n";
    }
    text += formatMessage(msg::TestTotals, {totals.folders, totals.files, totals.bytes}) + "\n";

    int error = 0;
    if (!replaceFile(m_reportFileName, text, 0644, error)) {
        throw BackupAbort("cannot write the report " + m_reportFileName + ": " + errnoText(error));
    }
    m_reportWritten = true;
    m_bridge.openReport(m_reportFileName);
}

} // namespace qv
