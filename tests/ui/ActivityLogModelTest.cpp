// The activity list: model signals for batches, drops and clears; colours by kind; search; save.
// qv-test-labels: gui
// qv-test-timeout: 180
#include "ui/ActivityLogModel.h"

#include "components/MessageBox.h"
#include "components/TColorConversion.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "support/FakeFileDialogs.h"
#include "support/TestEnv.h"
#include "ui/ActivityLogView.h"
#include "ui/LogFind.h"

#include <QApplication>
#include <QFile>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QSignalSpy>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using namespace qv;

// Log settings of a test task: every kind passes; the file is written when `enabled`.
struct TestLogSettings : LogSettingsSource {
    bool enabled = false;
    std::string file;
    bool logEnabled() const override { return enabled; }
    std::string logFileName() const override { return file; }
    int logMaxSize() const override { return 0; }
    bool logIncludeSummary() const override { return true; }
    bool logIncludeFiles() const override { return true; }
    bool logIncludeSkipping() const override { return true; }
    bool logIncludeWarnings() const override { return true; }
    bool logIncludeErrors() const override { return true; }
};

struct Spies {
    explicit Spies(ActivityLogModel &m)
        : inserted(&m, &QAbstractItemModel::rowsInserted), removed(&m, &QAbstractItemModel::rowsRemoved),
          reset(&m, &QAbstractItemModel::modelReset)
    {
    }
    QSignalSpy inserted;
    QSignalSpy removed;
    QSignalSpy reset;
};

class ActivityLogModelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ResetSettingsToDefaults();
        setActivityLogNotifier([this](const TTaskLogger &l, LogChange c) { model.loggerChanged(l, c); });
    }
    void TearDown() override
    {
        setActivityLogNotifier(nullptr);
        ResetSettingsToDefaults();
    }
    // Lets the model's coalescing timer bring the rows up to the logger (bounded wait).
    void settle(ActivityLogModel *m = nullptr)
    {
        ActivityLogModel &target = m != nullptr ? *m : model;
        QElapsedTimer t;
        t.start();
        QApplication::processEvents();
        while (target.syncPending() && t.elapsed() < 10000) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        ASSERT_FALSE(target.syncPending());
    }

    TestLogSettings settings;
    ActivityLogModel model;
};

TEST_F(ActivityLogModelTest, ABatchOfEventsIsOneInsertion)
{
    TTaskLogger logger(&settings);
    model.setLogger(&logger);
    Spies spies(model);
    for (int i = 0; i < 1000; ++i) {
        logger.Add(kLogFile, "Copied file " + std::to_string(i));
    }
    settle();
    EXPECT_EQ(spies.inserted.count(), 1);
    EXPECT_EQ(spies.reset.count(), 0);
    ASSERT_EQ(model.rowCount(), 1000);
    const QList<QVariant> args = spies.inserted.front();
    EXPECT_EQ(args[1].toInt(), 0);
    EXPECT_EQ(args[2].toInt(), 999);
    EXPECT_EQ(model.index(999, ActivityLogModel::ColNumber).data().toString(), "1000");
    EXPECT_EQ(model.index(999, ActivityLogModel::ColEvent).data().toString(), "Copied file 999");
}

TEST_F(ActivityLogModelTest, AFullListDropsFrontRowsAndTheSelectionKeepsItsEvent)
{
    TTaskLogger logger(&settings);
    for (std::size_t i = 0; i < kMaxLogEvents; ++i) {
        logger.Add(kLogFile, std::to_string(i));
    }
    ActivityLogView view;
    view.logModel()->setLogger(&logger);
    setActivityLogNotifier([&view](const TTaskLogger &l, LogChange c) { view.loggerChanged(l, c); });
    view.setCurrentIndex(view.logModel()->index(50000, 0));
    Spies spies(*view.logModel());
    for (int i = 0; i < 5; ++i) {
        logger.Add(kLogError, "late " + std::to_string(i));
    }
    settle(view.logModel());
    EXPECT_EQ(spies.reset.count(), 0);
    ASSERT_EQ(spies.removed.count(), 1);
    EXPECT_EQ(spies.removed.front()[1].toInt(), 0);
    EXPECT_EQ(spies.removed.front()[2].toInt(), 4);
    EXPECT_EQ(spies.inserted.count(), 1);
    EXPECT_EQ(view.logModel()->rowCount(), static_cast<int>(kMaxLogEvents));
    EXPECT_EQ(view.logModel()->eventText(0).toStdString(), "5");
    EXPECT_EQ(view.logModel()->eventText(view.logModel()->rowCount() - 1).toStdString(), "ERROR: late 4");
    EXPECT_EQ(view.logModel()->eventText(view.currentIndex().row()).toStdString(), "50000");
    setActivityLogNotifier(nullptr); // the view goes before the logger, which says it goes
}

TEST_F(ActivityLogModelTest, ClearingAnotherTaskLeavesTheRows)
{
    TTaskLogger shown(&settings);
    TTaskLogger other(&settings);
    shown.Add(kLogInformation, "mine");
    other.Add(kLogInformation, "theirs");
    model.setLogger(&shown);
    Spies spies(model);
    other.Clear();
    settle();
    EXPECT_EQ(spies.reset.count(), 0);
    EXPECT_EQ(model.rowCount(), 1);
    other.Add(kLogInformation, "more of theirs");
    settle();
    EXPECT_EQ(spies.inserted.count(), 0);
    shown.Clear();
    EXPECT_EQ(spies.reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(ActivityLogModelTest, ColoursByKindFromTheLogDisplaySettings)
{
    TTaskLogger logger(&settings);
    logger.Add(kLogFinished, {});
    logger.Add(kLogFile, "f");
    logger.Add(kLogSkipped, "s");
    logger.Add(kLogWarning, "w");
    logger.Add(kLogError, "e");
    LogSummaryColorFg = kTColorNone; // -1: the list's own colours
    LogFilesColorFg = 0x000000FFu;
    LogFilesColorBg = 0xFF000005u;
    LogSkippingColorFg = 0x00FF0000u;
    LogSkippingColorBg = 0x0000FF00u;
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(1, 2, 3));
    model.refreshAppearance(palette);
    model.setLogger(&logger);
    auto fg = [this](int row) { return model.index(row, 4).data(Qt::ForegroundRole); };
    auto bg = [this](int row) { return model.index(row, 4).data(Qt::BackgroundRole); };
    EXPECT_FALSE(fg(0).isValid());
    EXPECT_FALSE(bg(0).isValid());
    EXPECT_EQ(fg(1).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(bg(1).value<QColor>(), QColor(1, 2, 3));
    EXPECT_EQ(fg(2).value<QColor>(), QColor(0, 0, 255));
    EXPECT_EQ(bg(2).value<QColor>(), QColor(0, 255, 0));
    EXPECT_EQ(bg(4).value<QColor>(), QColor(0xFF, 0x75, 0x75)); // the stored default 0x007575FF
    EXPECT_EQ(model.index(3, 4).data(ActivityLogModel::KindRole).toInt(), kLogWarning);
}

TEST_F(ActivityLogModelTest, DefaultFileRowsAreReadableUnderADarkPalette)
{
    ResetSettingsToDefaults();
    TTaskLogger logger(&settings);
    logger.Add(kLogFile, "f");
    QPalette dark;
    dark.setColor(QPalette::Base, QColor(42, 42, 42));
    dark.setColor(QPalette::Text, Qt::white);
    model.refreshAppearance(dark);
    model.setLogger(&logger);
    // The list's own background and text, not black on it.
    EXPECT_EQ(model.index(0, 4).data(Qt::BackgroundRole).value<QColor>(), QColor(42, 42, 42));
    EXPECT_EQ(model.index(0, 4).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::white));
}

TEST_F(ActivityLogModelTest, FontFallsBackAndAnEmptyNameBecomesTheDesktopFont)
{
    LogFontName = "";
    LogFontSize = 13;
    const QFont font = logDisplayFont();
    const QString desktop = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    EXPECT_FALSE(desktop.isEmpty());
    EXPECT_EQ(LogFontName, desktop.toStdString());
    EXPECT_EQ(font.family(), desktop);
    EXPECT_EQ(font.pointSize(), 13);
    LogFontName = "No Such Font Family 123";
    EXPECT_FALSE(QFontInfo(logDisplayFont()).family().isEmpty()); // drawn with a substitute
}

TEST_F(ActivityLogModelTest, HeadersAreSettableForTranslation)
{
    EXPECT_EQ(model.headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), "Event");
    EXPECT_TRUE(model.setHeaderData(4, Qt::Horizontal, "Ereignis", Qt::DisplayRole));
    EXPECT_EQ(model.headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), "Ereignis");
    EXPECT_FALSE(model.setHeaderData(5, Qt::Horizontal, "x", Qt::DisplayRole));
}

TEST(LogFind, DoFindTextTable)
{
    const QStringList lines = {"Backup started.", "ERROR: disk full", "Copied error_log.txt", "WARNING: errors ahead",
                               "Backup finished."};
    auto line = [&lines](int i) { return lines[i]; };
    struct Case {
        const char *text;
        bool matchCase;
        bool wholeWord;
        bool down;
        int start;
        int index;
        LogFindOutcome outcome;
    };
    const Case cases[] = {
        {"error", false, false, true, -1, 1, LogFindOutcome::Found},     // finds "ERROR: " without match case
        {"error", true, false, true, -1, 2, LogFindOutcome::Found},      // with match case only the lower-case one
        {"error", false, false, true, 1, 2, LogFindOutcome::Found},      // from the selected line on
        {"error", false, true, true, 1, -1, LogFindOutcome::Finished},   // whole word: "error_log", "errors" are not
        {"error", false, true, false, 5, 1, LogFindOutcome::Found},      // up from after the last line
        {"Backup", false, false, true, 4, -1, LogFindOutcome::Finished}, // down from the last line
        {"Backup", false, false, false, 0, -1, LogFindOutcome::Nothing}, // up from the first: no message
        {"Backup", false, false, false, 4, 0, LogFindOutcome::Found},
        {"nothing", false, false, true, -1, -1, LogFindOutcome::Finished},
        {"", false, false, true, -1, -1, LogFindOutcome::Nothing},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " start " << c.start << (c.down ? " down" : " up"));
        const LogFindResult r = DoFindText(line, static_cast<int>(lines.size()), c.start,
                                           {QString::fromLatin1(c.text), c.matchCase, c.wholeWord, c.down});
        EXPECT_EQ(r.index, c.index);
        EXPECT_EQ(r.outcome, c.outcome);
    }
}

TEST_F(ActivityLogModelTest, SavedLogEqualsTheLogFileByteForByte)
{
    const std::string dir = qvtest::makeTempDir("savelog");
    settings.enabled = true;
    settings.file = dir + "/task.log";
    TTask task;
    task.Logger = std::make_unique<TTaskLogger>(&settings);
    task.Logger->Add(kLogStarted, {});
    task.Logger->Add(kLogFile, "Copied a.txt (100%)");
    task.Logger->Add(kLogError, "disk full");
    task.Logger->Add(kLogFinished, {});
    ActivityLogView view;
    view.setTask(&task);

    qvtest::FakeFileDialogs pickers;
    pickers.answers = {QString::fromStdString(dir + "/saved.log")};
    view.saveAs();
    ASSERT_EQ(pickers.asked.size(), 1u);
    EXPECT_TRUE(pickers.asked[0].save);
    EXPECT_EQ(pickers.asked[0].request.caption, "Save Activity Log");
    EXPECT_EQ(pickers.asked[0].request.fileName, "quorvellant.log");
    EXPECT_EQ(pickers.asked[0].request.defaultSuffix, "log");
    EXPECT_EQ(pickers.asked[0].request.folder, defaultDialogFolder());
    EXPECT_EQ(qvtest::readFile(dir + "/saved.log"), qvtest::readFile(settings.file));
    EXPECT_NE(qvtest::readFile(dir + "/saved.log").find(": ERROR: disk full\n"), std::string::npos);

    // Cancel writes nothing; a folder that is not there is reported with the file's name.
    MessageBoxSeam::clear();
    view.saveAs(); // the fake answers "" (cancelled)
    EXPECT_TRUE(MessageBoxSeam::shown().empty());
    const QString missing = QString::fromStdString(dir + "/no/such/folder/x.log");
    pickers.answers = {missing};
    view.saveAs();
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_TRUE(MessageBoxSeam::shown()[0].text.contains(missing)) << MessageBoxSeam::shown()[0].text.toStdString();
    MessageBoxSeam::clear();
    setActivityLogNotifier(nullptr);
}

TEST(ActivityLogSaveReadOnly, AFailedSaveLeavesTheOldFileUnchanged)
{
    TestLogSettings settings;
    QV_RUN_AS_NOBODY_WHEN_ROOT(); // for root, a read-only folder does not refuse a new file
    const std::string dir = qvtest::makeTempDir("readonly");
    qvtest::writeFile(dir + "/old.log", "old contents\n");
    TTaskLogger logger(&settings);
    logger.Add(kLogInformation, "new contents");
    ASSERT_EQ(::chmod(dir.c_str(), 0500), 0);
    const QString reason = saveActivityLog(logger, QString::fromStdString(dir + "/old.log"));
    ::chmod(dir.c_str(), 0700);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(qvtest::readFile(dir + "/old.log"), "old contents\n");
}

} // namespace
