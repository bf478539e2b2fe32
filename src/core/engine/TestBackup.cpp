// TTestBackup: the filter test report.
#include "core/engine/TestBackup.h"

#include "core/engine/BackupMessages.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

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

    const std::string temp = m_reportFileName + ".qvtmp-report";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw BackupAbort("cannot write the report " + m_reportFileName + ": " + errnoText(errno));
    }
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            throw BackupAbort("cannot write the report " + m_reportFileName + ": " + errnoText(error));
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(temp.c_str(), m_reportFileName.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw BackupAbort("cannot write the report " + m_reportFileName + ": " + errnoText(error));
    }
    m_reportWritten = true;
    m_services.openReport(m_reportFileName);
}

} // namespace qv
