// Screenshots of every page of the settings maintenance wizard, offscreen, into the build folder's
// screenshots/ (looked at by hand; the test checks that each was drawn with the wizard's picture).
// qv-test-labels: gui
#include "ui/maintenance/MaintenanceForm.h"
#include "ui/maintenance/MaintenanceSteps.h"

#include "components/MessageBox.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"

#include "support/DialogTestSupport.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;
using qvtest::child;

namespace {

void shoot(TMaintenanceForm &form, const QString &name)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    const QImage image = form.grab().toImage();
    EXPECT_TRUE(image.save(dir + "/MaintenanceForm-" + name + ".png")) << name.toStdString();
    // The picture on the left is drawn: its blue, not the dialog's grey.
    QLabel *picture = child<QLabel>(&form, "Image");
    ASSERT_NE(picture, nullptr);
    const QPoint below = picture->mapTo(&form, QPoint(8, picture->height() - 12)) * image.devicePixelRatio();
    const QColor left = image.pixelColor(below);
    EXPECT_GT(left.blue(), left.red() + 60) << name.toStdString();
}

TEST(MaintenanceScreenshots, EveryPage)
{
    MessageBoxSeam::clear();
    TSafeRegistry reg;
    std::string taskKey(RegKeyRoot);
    taskKey.append("\\Tasks\\T1");
    ASSERT_TRUE(reg.OpenKey(taskKey, true));
    reg.WriteString("Name", "Photos");
    const std::string dir = qvtest::makeTempDir("shots");
    // The action pages are taken while the action runs (the settings are saved first).
    TMaintenanceForm *acting = nullptr;
    QString actionShot;
    MaintenanceHost host;
    host.saveAll = [&] {
        if (acting != nullptr && !actionShot.isEmpty()) {
            EXPECT_TRUE(acting->busy());
            shoot(*acting, actionShot);
        }
        actionShot.clear();
    };
    host.runsExist = [] { return false; };
    host.reload = [] { return std::vector<std::string>{"The task stored under \"T9\" has an unknown type."}; };

    TMaintenanceForm form(host);
    shoot(form, "0-Welcome");
    child<QRadioButton>(&form, "WelcomeBackupRadioButton")->click();
    child<QPushButton>(&form, "NextButton")->click();
    const std::string file = dir + "/Quorvellant Settings Backup.reg";
    child<QLineEdit>(&form, "BackupOptionsFilenameEdit")->setText(QString::fromStdString(file));
    shoot(form, "1-BackupOptions");
    acting = &form;
    actionShot = "2-BackupAction";
    child<QPushButton>(&form, "NextButton")->click();
    EXPECT_TRUE(actionShot.isEmpty()) << "the action page was not taken";
    shoot(form, "3-BackupDone");

    TMaintenanceForm failed(host);
    child<QRadioButton>(&failed, "WelcomeBackupRadioButton")->click();
    child<QPushButton>(&failed, "NextButton")->click();
    child<QLineEdit>(&failed, "BackupOptionsFilenameEdit")->setText(QString::fromStdString(dir + "/no/such/b.reg"));
    child<QPushButton>(&failed, "NextButton")->click();
    shoot(failed, "3-BackupFailed");

    TMaintenanceForm restore(host);
    child<QRadioButton>(&restore, "WelcomeRestoreRadioButton")->click();
    child<QPushButton>(&restore, "NextButton")->click();
    child<QLineEdit>(&restore, "RestoreOptionsFilenameEdit")->setText(QString::fromStdString(file));
    shoot(restore, "4-RestoreOptions");
    acting = &restore;
    actionShot = "5-RestoreAction";
    child<QPushButton>(&restore, "NextButton")->click();
    EXPECT_TRUE(actionShot.isEmpty()) << "the action page was not taken";
    shoot(restore, "6-RestoreDone");

    qvtest::writeFile(dir + "/bad.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant]\r\n"
                                        "\"A\"=dword:nothex\r\n");
    TMaintenanceForm bad(host);
    child<QRadioButton>(&bad, "WelcomeRestoreRadioButton")->click();
    child<QPushButton>(&bad, "NextButton")->click();
    child<QLineEdit>(&bad, "RestoreOptionsFilenameEdit")->setText(QString::fromStdString(dir + "/bad.reg"));
    child<QPushButton>(&bad, "NextButton")->click();
    EXPECT_TRUE(bad.failed());
    shoot(bad, "6-RestoreFailed");
}

} // namespace
