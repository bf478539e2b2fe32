// The folder dialog offscreen: start folder, captions, the new-folder button and its failures.
// qv-test-labels: gui
#include "components/TFolderBrowseDialog.h"
#include "components/FolderPicker.h"
#include "components/MessageBox.h"

#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

using namespace qv;

namespace {

class FolderBrowseDialogTest : public ::testing::Test
{
protected:
    void SetUp() override { MessageBoxSeam::clear(); }
    void TearDown() override { MessageBoxSeam::clear(); }

    // Runs Execute(); `act` runs once the dialog is open, then the dialog is accepted or rejected.
    bool run(TFolderBrowseDialog &dialog, const std::function<void(QFileDialog *)> &act, bool accept)
    {
        bool acted = false;
        dialog.OnInitialized = [&](TFolderBrowseDialog &, QWidget *w) {
            auto *fd = qobject_cast<QFileDialog *>(w);
            QTimer::singleShot(0, fd, [&, fd] {
                act(fd);
                acted = true;
                if (accept) {
                    static_cast<QDialog *>(fd)->accept();
                } else {
                    fd->reject();
                }
            });
        };
        const bool result = dialog.Execute();
        EXPECT_TRUE(acted) << "the dialog never opened";
        return result;
    }
};

TEST_F(FolderBrowseDialogTest, NewFolderMakesTwoLevelsAndOkReturnsIt)
{
    const QString base = QString::fromStdString(qvtest::makeTempDir("browse"));
    TFolderBrowseDialog dialog;
    dialog.setFolder(base);
    QStringList asked;
    dialog.setNameInput([&](QWidget *, const QString &title) {
        asked << title;
        return QStringLiteral("2024/March");
    });
    QStringList statusTexts;
    const bool ok = run(
        dialog,
        [&](QFileDialog *fd) {
            auto *own = fd->findChild<QToolButton *>(QStringLiteral("newFolderButton"));
            ASSERT_NE(own, nullptr);
            EXPECT_TRUE(own->isHidden());
            auto *button = fd->findChild<QPushButton *>(QStringLiteral("NewFolderButton"));
            ASSERT_NE(button, nullptr);
            EXPECT_TRUE(button->isEnabled());
            button->click();
            EXPECT_EQ(QDir(fd->directory()).absolutePath(), base + "/2024/March"); // moved in place
            statusTexts << fd->findChild<QLabel *>(QStringLiteral("StatusLabel"))->text();
        },
        true);
    ASSERT_TRUE(ok);
    EXPECT_EQ(dialog.folder(), base + "/2024/March");
    EXPECT_TRUE(QFileInfo(base + "/2024/March").isDir());
    EXPECT_EQ(asked, QStringList{dialog.newFolderCaption()});
    ASSERT_EQ(statusTexts.size(), 1);
    EXPECT_TRUE((base + "/2024/March").endsWith(statusTexts[0].mid(statusTexts[0].indexOf("...") + 3)));
    EXPECT_LE(statusTexts[0].size(), 50);
    EXPECT_TRUE(MessageBoxSeam::shown().empty());
}

TEST_F(FolderBrowseDialogTest, CancelKeepsTheFolderMadeAndAnEmptyNameMakesNothing)
{
    const QString base = QString::fromStdString(qvtest::makeTempDir("browse"));
    TFolderBrowseDialog dialog;
    dialog.setFolder(base);
    QStringList answers{QString(), QStringLiteral("Made")};
    dialog.setNameInput([&](QWidget *, const QString &) { return answers.takeFirst(); });
    const bool ok = run(
        dialog,
        [&](QFileDialog *fd) {
            auto *button = fd->findChild<QPushButton *>(QStringLiteral("NewFolderButton"));
            button->click(); // empty answer
            EXPECT_EQ(QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
            button->click();
        },
        false);
    EXPECT_FALSE(ok);
    EXPECT_EQ(dialog.folder(), base + "/Made");
}

TEST_F(FolderBrowseDialogTest, ReadOnlyParentReportsTheSystemsReason)
{
    QV_RUN_AS_NOBODY_WHEN_ROOT(); // root may write into a read-only folder
    const QString base = QString::fromStdString(qvtest::makeTempDir("browse"));
    ASSERT_EQ(::chmod(base.toLocal8Bit().constData(), 0555), 0);
    TFolderBrowseDialog dialog;
    dialog.setFolder(base);
    dialog.setNameInput([](QWidget *, const QString &) { return QStringLiteral("Denied/Deeper"); });
    MessageBoxSeam::presetAnswers({IDOK});
    const bool ok = run(
        dialog,
        [](QFileDialog *fd) { fd->findChild<QPushButton *>(QStringLiteral("NewFolderButton"))->click(); },
        true);
    ::chmod(base.toLocal8Bit().constData(), 0755);
    ASSERT_TRUE(ok);
    EXPECT_EQ(dialog.folder(), base); // the selection stayed
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    const ShownMessageBox &box = MessageBoxSeam::shown()[0];
    EXPECT_TRUE(box.text.contains(QString::fromLocal8Bit(std::strerror(EACCES)))) << box.text.toStdString();
    EXPECT_EQ(box.title, dialog.newFolderCaption());
    EXPECT_EQ(box.flags, MB_OK | MB_ICONWARNING);
    EXPECT_FALSE(QFileInfo(base + "/Denied").exists());
}

TEST_F(FolderBrowseDialogTest, AFileInTheWayReportsTheSystemsReason)
{
    const QString base = QString::fromStdString(qvtest::makeTempDir("browse"));
    qvtest::writeFile((base + "/Blocker").toStdString(), "a file, not a folder");
    TFolderBrowseDialog dialog;
    dialog.setFolder(base);
    dialog.setNameInput([](QWidget *, const QString &) { return QStringLiteral("Blocker/Sub"); });
    MessageBoxSeam::presetAnswers({IDOK});
    run(
        dialog,
        [](QFileDialog *fd) { fd->findChild<QPushButton *>(QStringLiteral("NewFolderButton"))->click(); },
        false);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_TRUE(MessageBoxSeam::shown()[0].text.contains(QString::fromLocal8Bit(std::strerror(ENOTDIR))))
        << MessageBoxSeam::shown()[0].text.toStdString();
    EXPECT_EQ(dialog.folder(), base);
    EXPECT_EQ(qvtest::readFile((base + "/Blocker").toStdString()), "a file, not a folder");
}

TEST_F(FolderBrowseDialogTest, ThePickersDefaultIsThisDialog)
{
    const QString base = QString::fromStdString(qvtest::makeTempDir("browse"));
    for (bool accept : {true, false}) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto *fd = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(fd, nullptr);
            seen = true;
            EXPECT_EQ(fd->objectName(), "BrowseDirectoryDlg");
            EXPECT_NE(fd->findChild<QPushButton *>(QStringLiteral("NewFolderButton")), nullptr);
            EXPECT_TRUE(fd->findChild<QLabel *>(QStringLiteral("StatusLabel"))->isVisibleTo(fd)); // ShowPath
            if (accept) {
                static_cast<QDialog *>(fd)->accept();
            } else {
                fd->reject();
            }
        });
        const std::optional<QString> picked = FolderPicker::instance().pickFolder(nullptr, base);
        EXPECT_TRUE(seen);
        EXPECT_EQ(picked, accept ? std::optional<QString>(base) : std::nullopt);
    }
}

TEST_F(FolderBrowseDialogTest, StartFolderAndCaptions)
{
    const QString base = QString::fromStdString(qvtest::makeTempDir("browse"));
    TFolderBrowseDialog dialog;
    dialog.setFolder(base + "/missing");
    EXPECT_EQ(dialog.startFolder(), QDir::homePath());
    // A root with a place on this system starts there; one without acts as the whole tree.
    const QString fonts = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + "/fonts";
    ASSERT_TRUE(QDir().mkpath(fonts));
    dialog.setRootFolder(foFonts);
    EXPECT_EQ(dialog.startFolder(), fonts);
    dialog.setRootFolder(foControlPanel);
    EXPECT_EQ(dialog.startFolder(), QDir::homePath());
    dialog.setFolder(base);
    EXPECT_EQ(dialog.startFolder(), base);

    dialog.setLanguageKey("0C07");
    EXPECT_EQ(dialog.newFolderCaption(), "Neuer Ordner");
    EXPECT_EQ(dialog.labelCaption(), QString::fromUtf8("Ausgewählter Ordner:"));
    dialog.setNewFolderCaptions({"0C07=Ordner anlegen"});
    EXPECT_EQ(dialog.newFolderCaption(), "Ordner anlegen");
    EXPECT_EQ(TFolderBrowseDialog::version(), "3.00.00.00");
}

TEST_F(FolderBrowseDialogTest, HiddenOrDisabledButton)
{
    const QString base = QString::fromStdString(qvtest::makeTempDir("browse"));
    TFolderBrowseDialog dialog;
    dialog.setFolder(base);
    dialog.setNewFolderVisible(false);
    dialog.setNewFolderEnabled(false);
    run(
        dialog,
        [](QFileDialog *fd) {
            auto *button = fd->findChild<QPushButton *>(QStringLiteral("NewFolderButton"));
            EXPECT_TRUE(button->isHidden());
            EXPECT_FALSE(button->isEnabled());
        },
        false);
}

} // namespace
