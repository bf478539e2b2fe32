// The system timer dialog: expressions checked by systemd's own parser, the list's buttons, the
// language file, and the path from the core's EditSchedule to the dialog and back.
// qv-test-labels: gui
#include "ui/SystemTimerForm.h"

#include "components/TranslateForm.h"
#include "core/schedule/TaskSchedulerControl.h"
#include "core/text/Language.h"
#include "platform/fake/FakeSystemScheduler.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

template <typename T> T *child(QWidget &form, const char *name)
{
    T *w = form.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

void enter(QWidget &form, const QString &expression, const char *buttonName)
{
    auto *edit = child<QLineEdit>(form, "edtExpression");
    edit->clear();
    QTest::keyClicks(edit, expression);
    QTest::mouseClick(child<QPushButton>(form, buttonName), Qt::LeftButton);
}

QStringList items(QWidget &form)
{
    QStringList list;
    auto *w = child<QListWidget>(form, "lstTriggers");
    for (int i = 0; i < w->count(); ++i) {
        list << w->item(i)->text();
    }
    return list;
}

void screenshot(QWidget &form, const QString &name)
{
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    QApplication::processEvents(); // the layout follows the new texts
    ASSERT_TRUE(form.grab().save(dir + "/" + name + ".png")) << name.toStdString();
}

TEST(SystemTimerForm, ExpressionsAreCheckedBySystemdBeforeTheyEnterTheList)
{
    ASSERT_TRUE(qvtest::haveTool("systemd-analyze")) << "systemd-analyze is part of the set-up; it is missing";
    qv::SystemTimerForm form("Quorvellant (Daily copy, ID ABC)", {"daily"});
    form.show();
    auto *check = child<QLabel>(form, "lblCheck");
    auto *edit = child<QPushButton>(form, "btnEdit");
    auto *remove = child<QPushButton>(form, "btnRemove");
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_FALSE(child<QPushButton>(form, "btnAdd")->isEnabled());

    enter(form, "Mon *-*-* 09:00", "btnAdd");
    EXPECT_EQ(items(form), (QStringList{"daily", "Mon *-*-* 09:00"}));
    EXPECT_TRUE(check->text().startsWith("Accepted as \"Mon *-*-* 09:00:00\". Next start: Mon ")) << check->text().toStdString();
    screenshot(form, "systemtimer-accepted");

    enter(form, "Mon 25:00", "btnAdd");
    EXPECT_EQ(items(form), (QStringList{"daily", "Mon *-*-* 09:00"}));
    EXPECT_TRUE(check->text().startsWith("Not accepted: ")) << check->text().toStdString();
    EXPECT_TRUE(check->text().contains("Mon 25:00")) << check->text().toStdString();
    screenshot(form, "systemtimer-refused");

    // Edit replaces the selected expression (checked too), Remove takes it away.
    child<QListWidget>(form, "lstTriggers")->setCurrentRow(0);
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_EQ(child<QLineEdit>(form, "edtExpression")->text(), "daily");
    enter(form, "Sat 25:00", "btnEdit");
    EXPECT_EQ(items(form), (QStringList{"daily", "Mon *-*-* 09:00"}));
    enter(form, "Sat *-*-* 10:30", "btnEdit");
    EXPECT_EQ(items(form), (QStringList{"Sat *-*-* 10:30", "Mon *-*-* 09:00"}));
    child<QListWidget>(form, "lstTriggers")->setCurrentRow(1);
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(form.calendars(), std::vector<std::string>{"Sat *-*-* 10:30"});
}

TEST(SystemTimerForm, TranslatedByItsObjectNames)
{
    // Translated when it is created, from the section named after the form.
    qv::SetLanguageFile(qv::LanguageTable::parse("[SystemTimerForm]\n"
                                                 "SystemTimerForm.Caption=Systemzeitgeber\n"
                                                 "SystemTimerForm.btnAdd.Caption=Hinzuf\xc3\xbcgen\n"
                                                 "SystemTimerForm.lblTriggers.Caption=Startzeiten:\n",
                                                 "de.lng"));
    qv::SystemTimerForm form("t", {}, nullptr, [](const std::string &) { return qv::SystemScheduler::CalendarCheck{}; });
    qv::SetLanguageFile(nullptr);
    EXPECT_EQ(form.windowTitle(), "Systemzeitgeber");
    EXPECT_EQ(child<QPushButton>(form, "btnAdd")->text(), QString::fromUtf8("Hinzuf\xc3\xbcgen"));
    EXPECT_EQ(child<QLabel>(form, "lblTriggers")->text(), "Startzeiten:");
    for (const char *name : {"lblTitle", "lstTriggers", "lblExpression", "edtExpression", "lblCheck", "btnEdit",
                             "btnRemove", "btnOK", "btnCancel"}) {
        EXPECT_NE(form.findChild<QWidget *>(name), nullptr) << name;
    }
}

TEST(SystemTimerForm, TheCoreOpensItForATaskAndWritesWhatItReturns)
{
    qv::FakeSystemScheduler scheduler;
    qv::setSystemScheduler(&scheduler);
    scheduler.refusedCalendars = {"Mon 25:00"};
    qv::SetSystemTimerEditor(&qv::SystemTimerForm::edit);
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        scheduler.entries.clear();
        bool shown = false;
        QTimer::singleShot(0, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            shown = dialog->objectName() == "SystemTimerForm";
            EXPECT_EQ(child<QLabel>(*dialog, "lblTitle")->text(), "Quorvellant (Daily copy, ID ABC)");
            enter(*dialog, "Mon 25:00", "btnAdd");
            enter(*dialog, "Mon *-*-* 09:00", "btnAdd");
            QTest::mouseClick(child<QPushButton>(*dialog, ok ? "btnOK" : "btnCancel"), Qt::LeftButton);
        });
        qv::TTaskSchedulerControl control("Daily copy", "ABC");
        control.ProgramPath = "/opt/qv/quorvellant";
        EXPECT_EQ(control.EditSchedule(), ok);
        EXPECT_TRUE(shown);
        // A new entry is kept even when cancelled; its triggers only with OK.
        ASSERT_EQ(scheduler.entries.count("quorvellant-ABC"), 1u);
        const auto &stored = scheduler.entries["quorvellant-ABC"];
        EXPECT_EQ(stored.entry.command,
                  (std::vector<std::string>{"/opt/qv/quorvellant", "/RunProjectById=ABC", "/ExitWhenIdle"}));
        EXPECT_EQ(stored.entry.workingDirectory, "/opt/qv/");
        EXPECT_EQ(stored.calendars, ok ? std::optional(std::vector<std::string>{"Mon *-*-* 09:00"}) : std::nullopt);
    }
    qv::SetSystemTimerEditor(nullptr);
    qv::setSystemScheduler(nullptr);
}

} // namespace
