// TTestBackup: the filter test, which writes the list of entries a task would copy to a report.
//
// It scans the sources exactly as a run does (same filters, same subfolder settings) but dials
// nothing, runs no programs and touches no destination. The report is written to a temporary file
// and renamed into place, then opened with the user's associated program.
#pragma once

#include "core/engine/LocalBackup.h"

namespace qv {

class TTestBackup : public TLocalBackup
{
public:
    TTestBackup(std::shared_ptr<const RunSnapshot> snapshot, BackupHost *host, std::string reportFileName,
                BackupServices services = {});

    // Set when the report was written completely.
    bool reportWritten() const { return m_reportWritten; }

protected:
    void Execute() override;
    // The filter test writes nothing below the destination: it runs whatever its folders.
    std::string startRefusal() const override { return {}; }

private:
    std::string m_reportFileName;
    bool m_reportWritten = false;
};

} // namespace qv
