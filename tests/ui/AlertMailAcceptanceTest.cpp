// Acceptance of alert e-mails from a shell: a task imported with qv-regtool, run by the program
// without a display (/RunProjectById /ExitWhenIdle), its Finish mail received by aiosmtpd.
// qv-test-labels: interop slow
// qv-test-timeout: 400
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace qv;

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

std::string q(const std::string &s)
{
    return "'" + s + "'";
}

// Lines of `text` without CR.
std::string withoutCr(std::string text)
{
    std::erase(text, '\r');
    return text;
}

TEST(AlertMailAcceptance, ScheduledFinishMailCarriesTheLogAndARefusedMailIsLogged)
{
    QV_REQUIRE_TOOL("aiosmtpd");
    const std::string home = qvtest::makeTempDir("accept-home");
    const std::string src = qvtest::makeTempDir("accept-src");
    const std::string dst = home + "/dst";
    const std::string logFile = home + "/task.log";
    const std::string maildir = home + "/maildir";
    for (int i = 0; i < 5; ++i) {
        qvtest::writeFile(src + "/file" + std::to_string(i) + ".txt", "contents " + std::to_string(i));
    }
    const int port = freePort();

    // The task, stored in this process's store and exported as a REGEDIT4 file.
    TTask task;
    task.Name = "Mailed nightly";
    task.GenerateID();
    task.Source = src;
    task.DestLocal = dst;
    TTaskFilterItem all;
    all.FilterType = fitInclude;
    all.fnWildcard = "*";
    task.Filters.Add(all);
    task.Log.UseDefault = false;
    task.Log.Enabled = true;
    task.Log.FileName = logFile;
    task.EventAlerts.UseDefault = false;
    for (const TaskAlertSetting &row : taskAlertTable()) {
        if (!row.isString()) {
            task.EventAlerts.*row.boolField = false;
        }
    }
    task.EventAlerts.ScheduledFinishEmailUse = true;
    task.EventAlerts.ScheduledFinishEmail = "ops@example.org";
    task.EventAlerts.ScheduledFinishEmailSendLog = true;
    task.EmailSettings.UseDefault = false;
    task.EmailSettings.SmtpServer = "127.0.0.1";
    task.EmailSettings.SmtpServerPort = port;
    task.EmailSettings.From = "backup@example.org";
    task.EmailSettings.Subject = "Nightly";
    const std::string key = std::string(RegKeyRoot) + RegKeyTasks + "\\" + task.ID;
    task.SaveToRegistry(key);
    const std::string reg = home + "/task.reg";
    auto exported = qvtest::runCommand({qvtest::binPath("qv-regtool"), "export", reg, key});
    ASSERT_EQ(exported.exitCode, 0) << exported.output;

    std::string env = "env -i HOME=" + q(home) + " XDG_CONFIG_HOME=" + q(home + "/config") +
                      " XDG_DATA_HOME=" + q(home + "/data") + " XDG_CACHE_HOME=" + q(home + "/cache") +
                      " XDG_RUNTIME_DIR=" + q(home + "/run") + " PATH=\"$PATH\" QV_TEST_IDLE_EXIT_SECONDS=5 ";
    for (const std::string &option : qvtest::sanitizerEnvironment()) {
        env += q(option) + " ";
    }
    auto imported = qvtest::runShell("mkdir -p " + q(home + "/run") + " && chmod 700 " + q(home + "/run") + " && " +
                                     env + q(qvtest::binPath("qv-regtool")) + " import " + q(reg));
    ASSERT_EQ(imported.exitCode, 0) << imported.output;

    // Run 1: the server takes the mail; the program exits by itself.
    const std::string run = env + "timeout 150 " + q(qvtest::binPath("quorvellant")) + " /RunProjectById=" + task.ID +
                            " /ExitWhenIdle";
    auto first = qvtest::runShell("aiosmtpd -n -l 127.0.0.1:" + std::to_string(port) + " -c aiosmtpd.handlers.Mailbox " +
                                      q(maildir) + " & server=$!; sleep 1; " + run + "; rc=$?; kill $server; exit $rc",
                                  200);
    ASSERT_EQ(first.exitCode, 0) << first.output;
    EXPECT_EQ(qvtest::readFile(dst + "/file3.txt"), "contents 3");
    const QStringList mails = QDir(QString::fromStdString(maildir + "/new")).entryList(QDir::Files);
    ASSERT_EQ(mails.size(), 1) << first.output;
    const std::string mail = withoutCr(qvtest::readFile(maildir + "/new/" + mails[0].toStdString()));
    EXPECT_NE(mail.find("Subject: Nightly (Backup Finished)"), std::string::npos) << mail;
    const std::string marker = "Detailed backup log: \n";
    const auto at = mail.find(marker);
    ASSERT_NE(at, std::string::npos) << mail;
    const std::string log = qvtest::readFile(logFile);
    EXPECT_EQ(mail.substr(at + marker.size()), log); // every line, as in the log file
    EXPECT_NE(log.find(": Backup finished.\n"), std::string::npos) << log;

    // Run 2: nothing listens; the copy is done and the failure is one error line after the end.
    ASSERT_EQ(qvtest::runShell("rm -rf " + q(dst)).exitCode, 0);
    auto second = qvtest::runShell(run, 200);
    ASSERT_EQ(second.exitCode, 0) << second.output;
    EXPECT_EQ(qvtest::readFile(dst + "/file4.txt"), "contents 4");
    const std::string log2 = qvtest::readFile(logFile).substr(log.size());
    const auto finished = log2.find(": Backup finished.\n");
    ASSERT_NE(finished, std::string::npos) << log2;
    const auto error = log2.find(": ERROR: Alert email can't be sent (", finished);
    EXPECT_NE(error, std::string::npos) << log2;
    EXPECT_EQ(log2.find(": ERROR:"), error) << log2; // the only error line
    EXPECT_EQ(log2.find("ABORTED"), std::string::npos) << log2;
}

} // namespace
