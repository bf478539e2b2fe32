// Help: every topic the program opens has a page, the pages link to pages, and the requests work.
// qv-test-labels: gui
#include "components/MessageBox.h"
#include "platform/fake/FakeDesktop.h"
#include "ui/Help.h"
#include "ui/HelpTopics.h"
#include "ui/HelpWindow.h"

#include "QvVersion.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

QString sourceHelp()
{
    return QString::fromStdString(std::string(std::getenv("QV_SOURCE_DIR")) + "/resources/help");
}

struct HelpFixture : ::testing::Test {
    void SetUp() override
    {
        qv::help::setApplicationHelpFile(sourceHelp());
        qv::MessageBoxSeam::clear();
    }
    void TearDown() override
    {
        if (auto *w = qv::HelpWindow::existing()) {
            delete w;
        }
    }
};

TEST_F(HelpFixture, EveryTopicHasAPage)
{
    for (const char *topic : qv::HelpTopics::kAll) {
        EXPECT_FALSE(qv::help::topicPath(sourceHelp(), topic).isEmpty()) << topic;
    }
}

TEST_F(HelpFixture, NoBrokenLinks)
{
    static const QRegularExpression href(QStringLiteral("(?:href|src)=\"([^\"#]+)"));
    int checked = 0;
    for (QDirIterator it(sourceHelp(), {"*.html"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QString page = it.next();
        QFile f(page);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        for (auto m = href.globalMatch(text); m.hasNext();) {
            QString target = m.next().captured(1);
            if (target.contains(QLatin1String("://"))) {
                continue;
            }
            ++checked;
            EXPECT_TRUE(QFileInfo::exists(QFileInfo(page).dir().filePath(target))) << page.toStdString() << " -> "
                                                                                   << target.toStdString();
        }
    }
    EXPECT_GT(checked, 50);
}

TEST_F(HelpFixture, ContentsAndIndexAreBuiltFromThePages)
{
    ASSERT_EQ(qv::help::HtmlHelp(nullptr, sourceHelp(), qv::help::HH_DISPLAY_TOC), 1);
    auto *w = qv::HelpWindow::existing();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->currentTopicPath().endsWith("files/contents.html"));
    EXPECT_GE(w->contentsTree()->topLevelItemCount(), 8);
    // "Task properties" holds its pages as children.
    auto found = w->contentsTree()->findItems("Task properties", Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    EXPECT_GE(found[0]->childCount(), 7);
    auto entries = qv::HelpWindow::readIndex(sourceHelp());
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const auto &e) {
        return e.keyword == "exact copy" && e.file == "/files/task.backuptype.html";
    }));
    ASSERT_EQ(qv::help::HtmlHelp(nullptr, sourceHelp(), qv::help::HH_DISPLAY_INDEX), 1);
    EXPECT_EQ(qv::help::HtmlHelp(nullptr, sourceHelp(), qv::help::HH_CLOSE_ALL), 1);
}

// The help window opens wholly on its screen, however small the screen or low the window it was
// asked from.
TEST_F(HelpFixture, TheWindowOpensWhollyOnItsScreen)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget from;
    from.setGeometry(area.left() + 20, area.bottom() - 120, 300, 100); // low on the screen
    from.show();
    from.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return from.isActiveWindow(); }, 5000));
    ASSERT_EQ(qv::help::HtmlHelp(nullptr, sourceHelp(), qv::help::HH_DISPLAY_TOC), 1);
    auto *w = qv::HelpWindow::existing();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(area.contains(w->frameGeometry()))
        << w->frameGeometry().x() << "," << w->frameGeometry().y() << " " << w->frameGeometry().width() << "x"
        << w->frameGeometry().height() << " on " << area.width() << "x" << area.height();
}

TEST_F(HelpFixture, MissingHelpShowsTheErrorForContentsButNotForF1)
{
    const QString missing = QString::fromStdString(qvtest::makeTempDir("nohelp"));
    qv::help::setApplicationHelpFile(missing);
    qv::MessageBoxSeam::presetAnswers({});
    EXPECT_FALSE(qv::help::ShowHelpContents());
    ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(qv::MessageBoxSeam::shown()[0].text, QString("Can't open help file (%1).").arg(missing));
    EXPECT_EQ(qv::MessageBoxSeam::shown()[0].title, "Error");

    EXPECT_FALSE(qv::help::ShowHelpKeyword("/files/task.source.html"));
    EXPECT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(qv::HelpWindow::existing(), nullptr);
}

TEST_F(HelpFixture, F1FollowsTheFocusedControl)
{
    QWidget form;
    form.setProperty("helpKeyword", QString(qv::HelpTopics::kTaskProperties));
    auto *layout = new QVBoxLayout(&form);
    auto *page = new QWidget(&form);
    page->setProperty("helpKeyword", QString(qv::HelpTopics::kTaskSource));
    auto *edit = new QLineEdit(page);
    auto *plain = new QLineEdit(&form);
    layout->addWidget(page);
    layout->addWidget(plain);
    EXPECT_EQ(qv::help::helpKeywordOf(edit), qv::HelpTopics::kTaskSource);
    EXPECT_EQ(qv::help::helpKeywordOf(plain), qv::HelpTopics::kTaskProperties);

    qv::help::installHelpKeyHandler();
    form.show();
    plain->setFocus();
    QTest::keyClick(plain, Qt::Key_F1);
    auto *w = qv::HelpWindow::existing();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->currentTopicPath().endsWith("files/taskproperties.html"));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_F1);
    EXPECT_TRUE(w->currentTopicPath().endsWith("files/task.source.html"));
}

TEST_F(HelpFixture, TopicsNeverLeaveTheHelpFolder)
{
    EXPECT_TRUE(qv::help::topicPath(sourceHelp(), "/../help/files/about.html").isEmpty());
    EXPECT_TRUE(qv::help::topicPath(sourceHelp(), "").isEmpty());
    EXPECT_TRUE(qv::help::topicPath("", "/files/about.html").isEmpty());
}

TEST_F(HelpFixture, OpenInBrowserGoesThroughTheDesktop)
{
    qv::FakeDesktop desktop;
    ASSERT_TRUE(qv::help::ShowHelpTopic(qv::HelpTopics::kCommandLineOptions));
    EXPECT_TRUE(qv::help::openInBrowser(qv::HelpWindow::existing()->browser()->source()));
    ASSERT_EQ(desktop.opened.size(), 1u);
    // A page of the help is handed over as its path; an address keeps its scheme.
    EXPECT_TRUE(QString::fromStdString(desktop.opened[0]).endsWith("/files/commandlineoptions.html"));
    EXPECT_TRUE(desktop.opened[0].rfind("/", 0) == 0) << desktop.opened[0];
    EXPECT_TRUE(qv::help::openInBrowser(QUrl("https://example.org/a b")));
    EXPECT_EQ(desktop.opened.back(), "https://example.org/a%20b");
    desktop.answer = false;
    EXPECT_FALSE(qv::help::openInBrowser(QUrl("https://example.org/")));
}

} // namespace
