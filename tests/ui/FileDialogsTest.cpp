// The file pickers: Qt's dialog as installed by default, and the seam tests use.
// qv-test-labels: gui
#include "ui/FileDialogs.h"

#include "support/FakeFileDialogs.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using namespace qv;

// Answers the next modal file dialog with `name` typed into it, or cancels it when `name` is empty.
void answerNextDialog(const QString &name, QString *caption, QString *folder)
{
    QTimer::singleShot(0, [=] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            answerNextDialog(name, caption, folder); // not shown yet: try on the next turn
            return;
        }
        *caption = dialog->windowTitle();
        *folder = dialog->directory().absolutePath();
        if (name.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(name);
            QMetaObject::invokeMethod(dialog, "accept"); // as the Save or Open button does
        }
    });
}

TEST(FileDialogs, SaveAddsTheSuffixAndStartsInTheFolderAsked)
{
    const QString dir = QString::fromStdString(qvtest::makeTempDir("save"));
    QString caption;
    QString folder;
    answerNextDialog("report", &caption, &folder);
    const QString chosen =
        fileDialogs().saveFileName(nullptr, {"Save Activity Log", dir, "quorvellant.log", {"Log files (*.log)"}, "log"});
    EXPECT_EQ(caption, "Save Activity Log");
    EXPECT_EQ(folder, dir);
    EXPECT_EQ(chosen, dir + "/report.log");

    answerNextDialog("", &caption, &folder);
    EXPECT_TRUE(fileDialogs().saveFileName(nullptr, {"x", dir, {}, {}, {}}).isEmpty());
}

TEST(FileDialogs, OpenReturnsAnExistingFileAndDefaultFolderIsWritable)
{
    const std::string dir = qvtest::makeTempDir("open");
    qvtest::writeFile(dir + "/a.txt", "x");
    QString caption;
    QString folder;
    answerNextDialog("a.txt", &caption, &folder);
    EXPECT_EQ(fileDialogs().openFileName(nullptr, {"Open", QString::fromStdString(dir), {}, {}, {}}),
              QString::fromStdString(dir + "/a.txt"));
    EXPECT_TRUE(QFileInfo(defaultDialogFolder()).isWritable());
}

TEST(FileDialogs, FakeAnswersInOrderAndRestoresTheDefault)
{
    {
        qvtest::FakeFileDialogs fake;
        fake.answers = {"/tmp/one.log"};
        EXPECT_EQ(fileDialogs().saveFileName(nullptr, {"S", "/f", "n", {}, "log"}), "/tmp/one.log");
        EXPECT_EQ(fileDialogs().openFileName(nullptr, {"O", {}, {}, {}, {}}), "");
        ASSERT_EQ(fake.asked.size(), 2u);
        EXPECT_TRUE(fake.asked[0].save);
        EXPECT_EQ(fake.asked[0].request.folder, "/f");
        EXPECT_FALSE(fake.asked[1].save);
        EXPECT_EQ(&fileDialogs(), &fake);
    }
    EXPECT_EQ(dynamic_cast<qvtest::FakeFileDialogs *>(&fileDialogs()), nullptr);
}

} // namespace
