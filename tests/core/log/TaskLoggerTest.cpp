// The task logger: gates per kind, the log line format, where the file goes, the size limit, the
// activity list and its bound, and failures that must never reach the caller.
#include "VarlogTestSupport.h"

#include "core/log/TaskLogger.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <fstream>
#include <functional>
#include <sstream>

using namespace varlogtest;
using qv::TTaskLogger;

namespace {

std::vector<std::string> fileLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

bool exists(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

long long fileSize(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

class TaskLoggerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = qvtest::makeTempDir("log");
        settings.fileName = m_dir + "/task.log";
    }
    std::string logPath() const { return settings.fileName; }

    FakeLogSettings settings;
    std::string m_dir;
    ClockGuard m_clock{QDateTime(QDate(2026, 12, 5), QTime(19, 30, 5))};
    LocaleGuard m_locale{QLocale(QLocale::English, QLocale::UnitedStates)};
};

using TaskLoggerGates = TaskLoggerFixture;

TEST_F(TaskLoggerGates, EachGateControlsItsKinds)
{
    // For every gate closed in turn (and none), which kinds reach the file and the list.
    struct Case {
        bool FakeLogSettings::*gate;
        std::vector<int> blocked;
    };
    const Case cases[] = {
        {nullptr, {}},
        {&FakeLogSettings::summary, {0, 1, 2, 3}},
        {&FakeLogSettings::files, {4}},
        {&FakeLogSettings::skipping, {5}},
        {&FakeLogSettings::warnings, {6}},
        {&FakeLogSettings::errors, {7}},
    };
    int round = 0;
    for (const auto &c : cases) {
        FakeLogSettings s = settings;
        s.fileName = m_dir + "/gates" + std::to_string(round++) + ".log";
        if (c.gate != nullptr) {
            s.*(c.gate) = false;
        }
        TTaskLogger logger(&s);
        for (int kind = -1; kind <= 8; ++kind) {
            logger.Add(kind, "k" + std::to_string(kind));
        }
        std::vector<int> expected;
        for (int kind = 0; kind <= 7; ++kind) {
            if (std::find(c.blocked.begin(), c.blocked.end(), kind) == c.blocked.end()) {
                expected.push_back(kind);
            }
        }
        std::vector<int> logged;
        for (const auto &e : logger.Events()) {
            logged.push_back(e.Kind);
        }
        EXPECT_EQ(logged, expected) << "round " << round;
        logger.Flush();
        EXPECT_EQ(fileLines(s.fileName).size(), expected.size()) << "round " << round;
    }
}

TEST_F(TaskLoggerGates, LoggedTextsPerKind)
{
    TTaskLogger logger(&settings);
    const std::pair<int, const char *> cases[] = {
        {0, "Backup started."},  {1, "Backup finished."}, {2, "Backup ABORTED!"},
        {3, "message"},          {4, "message"},          {5, "message"},
        {6, "WARNING: message"}, {7, "ERROR: message"},
    };
    for (const auto &[kind, text] : cases) {
        logger.Add(kind, "message");
    }
    ASSERT_EQ(logger.Count(), 8u);
    logger.Flush();
    const auto lines = fileLines(logPath());
    ASSERT_EQ(lines.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(logger.Item(i).Kind, cases[i].first);
        EXPECT_EQ(logger.Item(i).Text, cases[i].second);
        EXPECT_EQ(lines[i], std::string("12/5/26 7:30:05 PM: ") + cases[i].second);
    }
}

TEST_F(TaskLoggerGates, DisabledLoggingStillFillsTheList)
{
    settings.enabled = false;
    TTaskLogger logger(&settings);
    logger.Add(3, "information");
    logger.Add(7, "bad");
    EXPECT_EQ(logger.Count(), 2u);
    EXPECT_FALSE(exists(logPath()));
}

TEST_F(TaskLoggerGates, SettingsAreReadForEveryMessage)
{
    TTaskLogger logger(&settings);
    logger.Add(6, "one");
    settings.warnings = false;
    logger.Add(6, "two");
    settings.warnings = true;
    settings.enabled = false;
    logger.Add(6, "three");
    logger.Flush();
    EXPECT_EQ(logger.Count(), 2u);
    EXPECT_EQ(fileLines(logPath()).size(), 1u);
}

TEST_F(TaskLoggerGates, NoTaskNoLogging)
{
    TTaskLogger logger(static_cast<const qv::LogSettingsSource *>(nullptr));
    logger.Add(3, "nothing");
    logger.CheckLogSize();
    EXPECT_EQ(logger.Count(), 0u);
    EXPECT_EQ(logger.GetLogFileName(), "");
}

using TaskLoggerFile = TaskLoggerFixture;

TEST_F(TaskLoggerFile, TextIsKeptAsItIs)
{
    TTaskLogger logger(&settings);
    const std::string odd = "Copied /data/50%.txt and /data/caf\xe9 %s %n %%";
    logger.Add(4, odd);
    logger.Flush();
    EXPECT_EQ(logger.Item(0).Text, odd);
    EXPECT_EQ(qvtest::readFile(logPath()), "12/5/26 7:30:05 PM: " + odd + "\n");
}

TEST_F(TaskLoggerFile, LineBreaksInsideAMessageCannotForgeLines)
{
    TTaskLogger logger(&settings);
    logger.Add(4, "Copied /data/x\n12/5/26 7:30:05 PM: Backup finished.\r\n");
    logger.Add(3, "next");
    logger.Flush();
    const auto lines = fileLines(logPath());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "12/5/26 7:30:05 PM: Copied /data/x\\n12/5/26 7:30:05 PM: Backup finished.\\r\\n");
    EXPECT_EQ(logger.Item(0).Text, "Copied /data/x\\n12/5/26 7:30:05 PM: Backup finished.\\r\\n");
}

// Escape sequences, other controls and DEL in a name are written escaped, as every tool shows them.
TEST_F(TaskLoggerFile, ControlCharactersAreWrittenEscaped)
{
    TTaskLogger logger(&settings);
    logger.Add(4, "Copied /data/a\x1b]0;title\x07"
                  "b\x1b[2J\x7f\tc\xc2\x9b\xc3\xa9");
    logger.Flush();
    const std::string shown = "Copied /data/a\\x1b]0;title\\x07b\\x1b[2J\\x7f\\tc\\xc2\\x9b\xc3\xa9";
    EXPECT_EQ(qvtest::readFile(logPath()), "12/5/26 7:30:05 PM: " + shown + "\n");
    EXPECT_EQ(logger.Item(0).Text, shown);
}

TEST_F(TaskLoggerFile, LinesAppendWithLineFeedsAndMidnightHasNoTime)
{
    qvtest::writeFile(logPath(), "older line\n");
    TTaskLogger logger(&settings);
    logger.Add(3, "evening");
    m_clock.clock().set(QDateTime(QDate(2026, 12, 6), QTime(0, 0)));
    logger.Add(3, "midnight");
    logger.Flush();
    EXPECT_EQ(qvtest::readFile(logPath()), "older line\n"
                                          "12/5/26 7:30:05 PM: evening\n"
                                          "12/6/26: midnight\n");
    // The saved or mailed form is the log file's line.
    EXPECT_EQ(logger.GetEventText(0), "12/5/26 7:30:05 PM: evening");
    EXPECT_EQ(logger.GetEventText(1), "12/6/26: midnight");
    EXPECT_THROW(logger.GetEventText(2), std::out_of_range);
    EXPECT_THROW(logger.Item(2), std::out_of_range);
}

TEST_F(TaskLoggerFile, EventTextsEqualTheLogFileByteForByte)
{
    TTaskLogger logger(&settings);
    const QDateTime moments[] = {
        QDateTime(QDate(2026, 12, 5), QTime(19, 30, 5, 999)), QDateTime(QDate(2026, 12, 5), QTime(23, 59, 59, 999)),
        QDateTime(QDate(2026, 12, 6), QTime(0, 0)),           QDateTime(QDate(2026, 12, 6), QTime(0, 0, 0, 999)),
        QDateTime(QDate(2026, 12, 6), QTime(12, 0, 0, 1)),
    };
    int n = 0;
    for (const QDateTime &when : moments) {
        m_clock.clock().set(when);
        const int kind = n % 2 == 0 ? 3 : 7;
        ++n;
        logger.Add(kind, "line " + std::to_string(n) + " 100%");
    }
    logger.Flush();
    std::string saved;
    for (std::size_t i = 0; i < logger.Count(); ++i) {
        saved += logger.GetEventText(i) + "\n";
    }
    EXPECT_EQ(saved, qvtest::readFile(logPath()));
    EXPECT_NE(saved.find("12/5/26 11:59:59 PM: ERROR: line 2 100%\n12/6/26: line 3"), std::string::npos) << saved;
}

TEST_F(TaskLoggerFile, EventTimeIsTheMomentOfTheMessage)
{
    TTaskLogger logger(&settings);
    logger.Add(3, "a");
    EXPECT_DOUBLE_EQ(logger.Item(0).Time, qv::encodeDayCount(QDate(2026, 12, 5), QTime(19, 30, 5)));
}

TEST_F(TaskLoggerFile, WhereTheFileGoes)
{
    const std::string dataHome = qvtest::makeTempDir("datahome");
    EnvGuard data("XDG_DATA_HOME", dataHome);
    const std::string cwd = qvtest::makeTempDir("cwd");
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    struct Case {
        std::string name, expected;
    };
    const Case cases[] = {
        {"task.log", dataHome + "/quorvellant/task.log"},
        {"", dataHome + "/quorvellant/quorvellant.log"},
        {"logs/task.log", cwd + "/logs/task.log"},
        {"./task.log", cwd + "/./task.log"},
        {"/var/tmp/x.log", "/var/tmp/x.log"},
        {"~/x.log", std::string(std::getenv("HOME")) + "/x.log"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        settings.fileName = c.name;
        TTaskLogger logger(&settings);
        EXPECT_EQ(logger.GetLogFileName(), c.expected);
    }
    // The program's own folder is created, private, on the first line.
    settings.fileName = "fresh.log";
    TTaskLogger logger(&settings);
    logger.Add(3, "hello");
    logger.Flush();
    EXPECT_EQ(fileLines(dataHome + "/quorvellant/fresh.log").size(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat((dataHome + "/quorvellant").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::chdir(old), 0);
}

TEST_F(TaskLoggerFile, UnwritableLogNeverReachesTheCaller)
{
    const std::string plainFile = m_dir + "/plain";
    qvtest::writeFile(plainFile, "x");
    ::mkfifo((m_dir + "/fifo").c_str(), 0600);
    for (const std::string &bad : {m_dir, plainFile + "/below.log", m_dir + "/missing/dir/x.log", m_dir + "/fifo"}) {
        SCOPED_TRACE(bad);
        settings.fileName = bad;
        TTaskLogger logger(&settings);
        EXPECT_NO_THROW(logger.Add(7, "disk on fire"));
        EXPECT_EQ(logger.Count(), 1u);
        EXPECT_EQ(logger.Item(0).Text, "ERROR: disk on fire");
    }
    EXPECT_EQ(qvtest::readFile(plainFile), "x");
}

using TaskLoggerSize = TaskLoggerFixture;

TEST_F(TaskLoggerSize, LimitAtCreation)
{
    struct Case {
        int maxKb;
        long long size;
        bool kept;
    };
    const Case cases[] = {
        {1, 1023, true}, {1, 1024, false}, {1, 5000, false}, {2, 2047, true},
        {0, 5000, true}, // 0: no limit
        {-3, 5000, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.maxKb) + " KB, " + std::to_string(c.size) + " bytes");
        qvtest::writeFile(logPath(), std::string(static_cast<std::size_t>(c.size), 'a'));
        settings.maxSize = c.maxKb;
        TTaskLogger logger(&settings);
        EXPECT_EQ(fileSize(logPath()), c.kept ? c.size : 0);
    }
}

TEST_F(TaskLoggerSize, CheckedAtCreationEvenWithLoggingDisabled)
{
    qvtest::writeFile(logPath(), std::string(3000, 'a'));
    settings.enabled = false;
    settings.maxSize = 2;
    TTaskLogger logger(&settings);
    EXPECT_EQ(fileSize(logPath()), 0);
}

TEST_F(TaskLoggerSize, CheckedAgainAfterThe101stLine)
{
    settings.maxSize = 1;
    TTaskLogger logger(&settings);
    const std::string msg(20, 'm'); // each line is well over 10 bytes: 100 lines pass 1 KB
    for (int i = 1; i <= 100; ++i) {
        logger.Add(3, msg);
    }
    logger.Flush();
    EXPECT_EQ(fileLines(logPath()).size(), 100u);
    EXPECT_GT(fileSize(logPath()), 1024);
    logger.Add(3, msg); // the 101st line written triggers the check
    logger.Flush();
    EXPECT_EQ(fileSize(logPath()), 0);
    EXPECT_EQ(logger.Count(), 101u); // the list keeps everything
    logger.Add(3, msg);
    logger.Flush();
    EXPECT_EQ(fileLines(logPath()).size(), 1u);
}

TEST_F(TaskLoggerSize, NoLimitKeepsEverything)
{
    TTaskLogger logger(&settings);
    for (int i = 0; i < 250; ++i) {
        logger.Add(3, std::string(40, 'x'));
    }
    logger.Flush();
    EXPECT_EQ(fileLines(logPath()).size(), 250u);
    TTaskLogger again(&settings);
    EXPECT_EQ(fileLines(logPath()).size(), 250u);
}

using TaskLoggerEvents = TaskLoggerFixture;

TEST_F(TaskLoggerEvents, NotifierHearsAddsAndClears)
{
    std::vector<std::pair<const TTaskLogger *, qv::LogChange>> heard;
    qv::setActivityLogNotifier([&](const TTaskLogger &l, qv::LogChange c) { heard.emplace_back(&l, c); });
    TTaskLogger logger(&settings);
    logger.Add(3, "one");
    settings.summary = false;
    logger.Add(3, "gated");
    logger.Clear();
    qv::setActivityLogNotifier(nullptr);
    logger.Add(7, "unheard");
    logger.Flush();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].first, &logger);
    EXPECT_EQ(heard[0].second, qv::LogChange::Added);
    EXPECT_EQ(heard[1].second, qv::LogChange::Reset);
    EXPECT_EQ(logger.Count(), 1u);
    EXPECT_EQ(fileLines(logPath()).size(), 2u); // clearing leaves the file alone
}

TEST_F(TaskLoggerEvents, ListKeepsTheNewestEvents)
{
    settings.enabled = false;
    int resets = 0;
    qv::setActivityLogNotifier([&](const TTaskLogger &, qv::LogChange c) { resets += c == qv::LogChange::Reset; });
    TTaskLogger logger(&settings);
    for (std::size_t i = 0; i < qv::kMaxLogEvents + 3; ++i) {
        logger.Add(4, std::to_string(i));
    }
    qv::setActivityLogNotifier(nullptr);
    EXPECT_EQ(logger.Count(), qv::kMaxLogEvents);
    EXPECT_EQ(logger.Item(0).Text, "3");
    EXPECT_EQ(logger.Item(logger.Count() - 1).Text, std::to_string(qv::kMaxLogEvents + 2));
    EXPECT_EQ(resets, 0); // the front rows went: no reset of a view
    EXPECT_EQ(logger.DroppedCount(), 3u);
}

using TaskLoggerBuffer = TaskLoggerFixture;

TEST_F(TaskLoggerBuffer, WhatWritesTheBufferedLines)
{
    // Lines of the middle of a run wait in the buffer; each of these writes everything logged so
    // far, in order, and nothing is written twice.
    struct Case {
        const char *name;
        std::function<void(TTaskLogger &)> write;
    };
    const Case cases[] = {
        {"Flush", [](TTaskLogger &l) { l.Flush(); }},
        {"run started", [](TTaskLogger &l) { l.Add(qv::kLogStarted, {}); }},
        {"run finished", [](TTaskLogger &l) { l.Add(qv::kLogFinished, {}); }},
        {"run aborted", [](TTaskLogger &l) { l.Add(qv::kLogAborted, {}); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(logPath().c_str());
        TTaskLogger logger(&settings);
        for (int i = 0; i < 5; ++i) {
            logger.Add(i % 2 == 0 ? qv::kLogFile : qv::kLogSkipped, "line " + std::to_string(i));
        }
        EXPECT_EQ(fileLines(logPath()).size(), 0u); // not yet written
        c.write(logger);
        logger.Flush();
        const auto lines = fileLines(logPath());
        ASSERT_GE(lines.size(), 5u);
        for (std::size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(lines[i], "12/5/26 7:30:05 PM: line " + std::to_string(i));
        }
        EXPECT_EQ(lines.size(), logger.Count());
        std::string saved;
        for (std::size_t i = 0; i < logger.Count(); ++i) {
            saved += logger.GetEventText(i) + "\n";
        }
        EXPECT_EQ(saved, qvtest::readFile(logPath()));
    }
}

TEST_F(TaskLoggerBuffer, TheDestructorWritesWhatIsLeft)
{
    {
        TTaskLogger logger(&settings);
        logger.Add(qv::kLogFile, "last words");
    }
    EXPECT_EQ(qvtest::readFile(logPath()), "12/5/26 7:30:05 PM: last words\n");
}

TEST_F(TaskLoggerBuffer, LinesGoToTheFileNamedWhenTheyWereLogged)
{
    const std::string first = logPath();
    const std::string second = m_dir + "/second.log";
    TTaskLogger logger(&settings);
    logger.Add(qv::kLogFile, "one");
    logger.Add(qv::kLogFile, "two");
    settings.fileName = second;
    logger.Add(qv::kLogFile, "three");
    settings.enabled = false;
    logger.Add(qv::kLogFile, "four"); // only in the list
    settings.enabled = true;
    logger.Flush();
    EXPECT_EQ(fileLines(first), (std::vector<std::string>{"12/5/26 7:30:05 PM: one", "12/5/26 7:30:05 PM: two"}));
    EXPECT_EQ(fileLines(second), (std::vector<std::string>{"12/5/26 7:30:05 PM: three"}));
    EXPECT_EQ(logger.Count(), 4u);
}

TEST_F(TaskLoggerBuffer, StampFollowsTheClockAcrossSecondsAndDays)
{
    // The date text is made once per second: every line still carries its own second, and the
    // event times keep their milliseconds.
    TTaskLogger logger(&settings);
    const QDateTime moments[] = {
        QDateTime(QDate(2026, 12, 5), QTime(23, 59, 58, 10)), QDateTime(QDate(2026, 12, 5), QTime(23, 59, 58, 990)),
        QDateTime(QDate(2026, 12, 5), QTime(23, 59, 59, 0)),  QDateTime(QDate(2026, 12, 6), QTime(0, 0, 0, 0)),
        QDateTime(QDate(2026, 12, 6), QTime(0, 0, 0, 1)),     QDateTime(QDate(2026, 12, 6), QTime(0, 0, 0, 0)),
        QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1, 500)),   QDateTime(QDate(2026, 12, 5), QTime(23, 59, 58, 500)),
    };
    const char *expected[] = {
        "12/5/26 11:59:58 PM", "12/5/26 11:59:58 PM", "12/5/26 11:59:59 PM", "12/6/26",
        "12/6/26 12:00:00 AM", "12/6/26",             "12/6/26 12:00:01 AM", "12/5/26 11:59:58 PM",
    };
    for (const QDateTime &when : moments) {
        m_clock.clock().set(when);
        logger.Add(qv::kLogInformation, "x");
    }
    logger.Flush();
    const auto lines = fileLines(logPath());
    ASSERT_EQ(lines.size(), std::size(moments));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[i], std::string(expected[i]) + ": x");
        EXPECT_DOUBLE_EQ(logger.Item(i).Time, qv::toDayCount(moments[i]));
    }
}

TEST_F(TaskLoggerBuffer, AQuietSecondStillWritesTheLine)
{
    // On a thread with an event loop, a buffered line reaches the file without another call.
    TTaskLogger logger(&settings);
    logger.Add(qv::kLogFile, "alone");
    EXPECT_EQ(fileLines(logPath()).size(), 0u);
    QElapsedTimer waited;
    waited.start();
    while (fileLines(logPath()).empty() && waited.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(fileLines(logPath()), (std::vector<std::string>{"12/5/26 7:30:05 PM: alone"}));
}

} // namespace
