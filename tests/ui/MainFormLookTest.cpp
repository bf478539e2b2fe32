// The main window's translation, menu images, log column widths and splitter limits offscreen.
// qv-test-labels: gui
// qv-test-timeout: 180
#include "MainFormCommandFixture.h"

#include "core/text/Language.h"
#include "core/text/LocaleText.h"
#include "ui/ActivityLogView.h"
#include "ui/SplashForm.h"
#include "ui/TipsPanel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>

namespace {

using qvtest::MainFormCommandFixture;

const char kGerman[] = "[MainForm]\n"
                       "MainForm.Caption=Quorvellant Sicherung\n"
                       "MainForm.actTaskNew.Caption=&Neu...\n"
                       "MainForm.mnuTask.Caption=&Aufgabe\n"
                       "MainForm.TasksListView.Columns[0].Caption=Aufgabe\n"
                       "MainForm.LogView.Columns[4].Caption=Ereignis\n"
                       "MainForm.TipsMemo.lines[0]=/files/tasklist.html Erster Tipp\n"
                       "[SplashForm]\n"
                       "SplashForm.LabelCopyright.Caption=Sicherung\n";

class LanguageGuard
{
public:
    explicit LanguageGuard(const char *text) { qv::SetLanguageFile(qv::LanguageTable::parse(text, "de.lng")); }
    ~LanguageGuard() { qv::SetLanguageFile(nullptr); }
};

TEST_F(MainFormCommandFixture, ALanguageFileTranslatesTheWindowAndRefreshesKeepIt)
{
    LanguageGuard german(kGerman);
    makeForm();
    EXPECT_EQ(form->windowTitle(), "Quorvellant Sicherung");
    EXPECT_EQ(act("actTaskNew")->text(), "&Neu...");
    EXPECT_EQ(form->menuBar()->actions().at(0)->text(), "&Aufgabe");
    auto *log = form->findChild<QTreeView *>("LogView");
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->model()->headerData(4, Qt::Horizontal).toString(), "Ereignis");
    QAbstractItemModel *tasks = form->reportView()->model();
    EXPECT_EQ(tasks->headerData(0, Qt::Horizontal).toString(), "Aufgabe");
    EXPECT_EQ(tasks->headerData(1, Qt::Horizontal).toString(), "Type"); // not in the file
    qv::LastTip = 0;
    form->tipsPanel()->UpdateTips();
    EXPECT_EQ(form->tipsPanel()->shownText(), "Erster Tipp");
    // Refreshing the list and the state does not bring the English texts back.
    form->UpdateListView();
    form->UpdateAll();
    ASSERT_TRUE(selectByName("Reports"));
    EXPECT_EQ(tasks->headerData(0, Qt::Horizontal).toString(), "Aufgabe");
    EXPECT_EQ(form->windowTitle(), "Quorvellant Sicherung");
    EXPECT_EQ(act("actTaskNew")->text(), "&Neu...");
    EXPECT_EQ(form->taskList()->rowCount(), 4);

    qv::TSplashForm splash;
    EXPECT_EQ(splash.findChild<QLabel *>("LabelCopyright")->text(), "Sicherung");
}

TEST_F(MainFormCommandFixture, MenuItemsCarryTheirImages)
{
    const char *withImage[] = {"actTaskNew",      "actTaskProperties",     "actTaskDelete",
                               "actTaskStart",    "actTaskPause",          "actTaskStop",
                               "actHelpHomepage", "actOptionsPreferences", "actHelpContents",
                               "actHelpAbout",    "actToolsGlobalSuspend", "actToolsDisableScheduler"};
    for (const char *name : withImage) {
        SCOPED_TRACE(name);
        const QIcon icon = act(name)->icon();
        ASSERT_FALSE(icon.isNull());
        EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
        EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
        // The 16 px disabled image is a grey copy of the enabled one.
        const QImage on = icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage off =
            icon.pixmap(QSize(16, 16), QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(on.size(), QSize(16, 16));
        ASSERT_EQ(off.size(), QSize(16, 16));
        EXPECT_NE(on, off);
        int coloured = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QColor c = off.pixelColor(x, y);
                if (c.alpha() > 0 && (c.red() != c.green() || c.green() != c.blue())) {
                    ++coloured;
                }
            }
        }
        EXPECT_LE(coloured, 8) << "disabled image not grey";
    }
    auto *lists = form->findChild<QObject *>("MenusImages");
    EXPECT_NE(lists, nullptr);
    EXPECT_NE(form->findChild<QObject *>("MenusImagesDisabled"), nullptr);
}

TEST_F(MainFormCommandFixture, AResizedLogColumnSurvivesARestart)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 5000));
    auto *log = form->findChild<QTreeView *>("LogView");
    ASSERT_NE(log, nullptr);
    // Columns 1 to 4 (number, date, time, event) take their settings; column 0 is the image.
    EXPECT_EQ(log->header()->sectionSize(1), 50);
    EXPECT_EQ(log->header()->sectionSize(3), 80);
    EXPECT_GE(log->header()->sectionSize(4), 440); // the event column fills the panel
    log->header()->resizeSection(4, 300);
    log->header()->resizeSection(2, 120);
    log->header()->resizeSection(0, 77);
    EXPECT_EQ(qv::LogViewSizeEvent, 300);
    EXPECT_EQ(qv::LogViewSizeDate, 120);
    EXPECT_EQ(qv::LogViewSizeNum, 50);
    form->SaveAllSettings();
    form.reset();
    qv::ResetSettingsToDefaults();
    EXPECT_EQ(qv::LogViewSizeEvent, 440);
    qv::LoadSettings();
    makeForm();
    log = form->findChild<QTreeView *>("LogView");
    EXPECT_GE(log->header()->sectionSize(4), 300);
    EXPECT_EQ(log->header()->sectionSize(2), 120);
    // A hidden list's changes are not the user's.
    form->hide();
    log->header()->resizeSection(4, 33);
    EXPECT_EQ(qv::LogViewSizeEvent, 300);
}

// With a larger log font the number, date and time columns widen to their texts, at once and
// after a restart; the widths the user set stay stored as they were.
TEST_F(MainFormCommandFixture, LogColumnsFollowTheFont)
{
    auto fits = [this](const char *when) {
        auto *log = form->findChild<qv::ActivityLogView *>("LogView");
        const QFontMetrics metrics(log->logModel()->logFont());
        const QString texts[] = {QStringLiteral("4500"), QString::fromStdString(qv::shortDateText(QDate(2026, 12, 7))),
                                 QString::fromStdString(qv::longTimeText(QTime(23, 58, 48)))};
        for (int column = 1; column <= 3; ++column) {
            EXPECT_GT(log->header()->sectionSize(column), metrics.horizontalAdvance(texts[column - 1]))
                << when << ": column " << column << " cuts \"" << texts[column - 1].toStdString() << "\"";
        }
    };
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 5000));
    fits("default font");
    qv::LogFontSize = 28;
    form->ShowPreferencesPage(0); // the options dialog accepted with the larger font
    fits("after the options");
    EXPECT_EQ(qv::LogViewSizeDate, 80);
    form.reset();
    qv::ResetSettingsToDefaults();
    qv::LoadSettings();
    ASSERT_EQ(qv::LogFontSize, 28);
    makeForm();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 5000));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form->isActiveWindow(); }, 5000));
    fits("after a restart");
}

// With a larger desktop font the status bar shows its line whole and the tips panel three lines.
TEST_F(MainFormCommandFixture, BottomPanelsFollowTheFont)
{
    const QFont before = QApplication::font();
    for (int points : {9, 20}) {
        QFont font = before;
        font.setPointSize(points);
        QApplication::setFont(font);
        makeForm();
        auto *tips = form->findChild<QWidget *>(QStringLiteral("CentralBottomPanel"));
        ASSERT_NE(tips, nullptr);
        const QFontMetrics metrics(font);
        EXPECT_GE(form->statusBar()->height(), metrics.height()) << points << " pt";
        EXPECT_GE(tips->height(), 3 * metrics.lineSpacing()) << points << " pt";
    }
    QApplication::setFont(before);
    makeForm();
}

// The status bar's progress of a task with a very long name: the name is elided and the progress
// stays in view; a run that has not named its first step says it is starting.
TEST_F(MainFormCommandFixture, StatusBarElidesALongTaskName)
{
    form->resize(800, 500);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 5000));
    qv::TTask *task = taskNamed("Reports");
    task->Name = std::string(274, 'L');
    ASSERT_TRUE(selectByName(task->Name));
    task->Running = true;
    form->CheckState();
    task->Running = false;
    QLabel *panel = nullptr;
    for (auto *label : form->findChildren<QLabel *>()) {
        if (label->text().contains("task progress")) {
            panel = label;
        }
    }
    ASSERT_NE(panel, nullptr);
    const QString text = panel->text();
    EXPECT_TRUE(text.endsWith("task progress: starting!...")) << text.toStdString();
    EXPECT_TRUE(text.contains(QChar(0x2026))) << text.toStdString();
    EXPECT_LT(QFontMetrics(panel->font()).horizontalAdvance(text), form->width() * 3 / 4) << text.toStdString();
}

// In a wide window the last columns of the task list and of the log reach the right edge; what
// is stored stays their own width, which they keep in a narrow window.
TEST_F(MainFormCommandFixture, LastColumnsFillAWideWindowAndKeepTheirWidth)
{
    form->resize(1600, 900);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 5000));
    auto *log = form->findChild<QTreeView *>("LogView");
    auto *list = form->findChild<QTreeView *>("TasksListView");
    ASSERT_TRUE(log != nullptr && list != nullptr && list->isVisible());
    for (QTreeView *v : {log, list}) {
        QHeaderView *h = v->header();
        const int last = h->count() - 1;
        EXPECT_EQ(h->sectionViewportPosition(last) + h->sectionSize(last), v->viewport()->width())
            << v->objectName().toStdString();
    }
    EXPECT_GT(log->header()->sectionSize(4), 440);
    form->SaveAllSettings();
    EXPECT_EQ(qv::LogViewSizeEvent, 440);
    EXPECT_EQ(qv::ViewSizeDestination, 250);
    form->resize(400, 400);
    QApplication::processEvents();
    EXPECT_EQ(log->header()->sectionSize(4), 440);
    EXPECT_EQ(list->header()->sectionSize(5), 250);
}

// Drags the splitter's handle `index` by `delta` pixels with the mouse.
void drag(QSplitter *splitter, int index, QPoint delta)
{
    QSplitterHandle *handle = splitter->handle(index);
    const QPoint start = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, start);
    // One move: the handle moves with it, so later positions would be relative to a moved handle.
    QTest::mouseMove(handle, start + delta);
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, start + delta);
}

TEST_F(MainFormCommandFixture, SplittersNeverHideThePanels)
{
    form->resize(800, 600);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 5000));
    drag(form->logSplitter(), 1, QPoint(0, 2000));
    EXPECT_GE(form->logSplitter()->sizes().at(1), 10);
    EXPECT_GE(form->logPanel()->height(), 10);
    drag(form->groupsSplitter(), 1, QPoint(-2000, 0));
    EXPECT_GT(form->groupsSplitter()->sizes().at(0), 3);
    EXPECT_GT(form->groupsPanel()->width(), 3);
    // An ordinary drag is taken as it is.
    const int before = form->groupsSplitter()->sizes().at(0);
    drag(form->groupsSplitter(), 1, QPoint(100, 0));
    EXPECT_NEAR(form->groupsSplitter()->sizes().at(0), before + 100, 2);
}

} // namespace
