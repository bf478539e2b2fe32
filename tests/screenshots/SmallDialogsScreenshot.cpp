// Screenshots of the small dialogs on X11, with sample contents.
#include "components/RangedField.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "core/task/TaskTypes.h"
#include "ui/AboutForm.h"
#include "ui/GroupPropForm.h"
#include "ui/GroupsOrderForm.h"
#include "ui/PasswordForm.h"
#include "ui/ShortcutForm.h"
#include "ui/ShutdownForm.h"
#include "ui/TaskFTPAdvForm.h"

#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;

namespace {

void shoot(QWidget &form)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(100);
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    const QString file = dir + "/" + form.objectName() + ".png";
    EXPECT_TRUE(form.grab().save(file)) << file.toStdString();
    form.close();
}

TEST(SmallDialogScreenshots, EveryDialog)
{
    ResetSettingsToDefaults();
    GroupPropForm group;
    group.nameEdit()->setText("Photos");
    shoot(group);

    GroupsOrderForm order;
    order.setGroups({"Photos", "Work", "Music", "Documents"});
    order.groupsListBox()->setCurrentRow(1);
    shoot(order);

    TTask task;
    task.Name = "Holiday photos";
    task.ID = "AbCdEfGhIjKlMnOpQrStU";
    ShortcutForm shortcut;
    shortcut.setTask(task);
    shortcut.RadioButtonOther->setChecked(true);
    shortcut.EditOtherFolder->setText("/home/ann/Links");
    shoot(shortcut);

    AboutForm about;
    shoot(about);

    TFtpServerConnection c;
    c.ProxyUse = true;
    c.ProxyAddress = "proxy.example";
    c.ProxyPort = 8080;
    TaskFTPAdvForm ftp;
    ftp.load(c);
    shoot(ftp);

    ShutdownForm shutdown;
    shoot(shutdown);

    PasswordForm password;
    password.setReminder("The cat's name");
    password.PasswordEdit->setText("secret");
    shoot(password);
}

} // namespace
