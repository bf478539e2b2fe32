// The task dialog's pages that hold nothing of the task (disc and e-mail destinations) and the
// event alerts panels over every combination of the page's mode and each event's check boxes:
// what is enabled and painted, what OK commits and what Cancel leaves.
#include "ui/taskprops/ProjectPropertiesForm.h"

#include "components/MessageBox.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "core/task/TaskAlertTable.h"
#include "core/task/TaskStorage.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"
#include "platform/fake/FakeDialer.h"
#include "ui/taskprops/AlertsEditor.h"
#include "ui/taskprops/EditPaint.h"
#include "ui/taskprops/TaskEventsPage.h"

#include "support/DialogTestSupport.h"
#include "TaskDialogFixture.h"
#include "support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

#include <map>

using namespace qv;
using qvtest::child;
using qvtest::NextModal;

namespace {

const AlertEvent kEvents[] = {AlertEvent::Start,   AlertEvent::File,    AlertEvent::DiskSpan,
                              AlertEvent::Error,   AlertEvent::Warning, AlertEvent::Finish};

class TaskDialogPageStates : public taskdialogtest::TaskDialogFixture
{
protected:
    TaskDialogPageStates() : TaskDialogFixture("pagestates") {}
    // The first line where two exports differ ("" when they are equal).
    static std::string firstDifference(const std::string &a, const std::string &b)
    {
        std::size_t i = 0;
        while (i < a.size() && i < b.size() && a[i] == b[i]) {
            ++i;
        }
        if (i == a.size() && i == b.size()) {
            return {};
        }
        const std::size_t start = a.rfind('\n', i) == std::string::npos ? 0 : a.rfind('\n', i) + 1;
        return a.substr(start, a.find('\n', i) - start) + " | " + b.substr(start, b.find('\n', i) - start);
    }
    // A stored task as the dialog keeps it: no dial entry is kept as the empty value, and leaving
    // the name page names an empty zip file after the task.
    static void prepare(TTask &task)
    {
        task.Dial.DialEntry = "";
        task.CompressFilename = "Untitled.zip";
    }
};

TEST_F(TaskDialogPageStates, DiscDestinationControlsStayDisabledAndStoreNothing)
{
    for (std::uint8_t dest = 0; dest <= 3; ++dest) {
        TTask task;
        prepare(task);
        task.DestType = dest;
        task.DestLocal = "/srv/backup";
        const std::string before = exportOf(task);
        EXPECT_TRUE(runDialog(task, "OkButton", [dest](TProjectPropertiesForm *f) {
            EXPECT_EQ(child<QWidget>(f, "DestCdDvdSettingsLabel")->isEnabled(), dest == 2) << int(dest);
            auto *speed = child<QComboBox>(f, "DestCdDvdSpeedComboBox");
            QStringList speeds;
            for (int i = 0; i < speed->count(); ++i) {
                speeds << speed->itemText(i);
            }
            EXPECT_EQ(speeds, QStringList({"Maximum", "42x", "40x", "1x"}));
            for (const char *name : {"DestCdDvdDeviceComboBox", "DestCdDvdFolderEdit", "DestCdDvdSpeedComboBox"}) {
                EXPECT_FALSE(child<QWidget>(f, name)->isEnabled()) << name << " with destination " << int(dest);
            }
            // Whatever they show, OK takes nothing from them.
            child<QLineEdit>(f, "DestCdDvdFolderEdit")->setText("/backup/disc");
            speed->setCurrentIndex(3);
        }));
        EXPECT_EQ(firstDifference(exportOf(task), before), "") << int(dest);
    }
}

TEST_F(TaskDialogPageStates, MailDestinationFieldsShowForItsKindButTakeNoTyping)
{
    const char *const fields[] = {"DestEmailSubjectEdit", "DestEmailFromEdit", "DestEmailToEdit"};
    for (std::uint8_t dest : {std::uint8_t(0), std::uint8_t(3)}) {
        TTask task;
        prepare(task);
        task.DestType = dest;
        const std::string before = exportOf(task);
        EXPECT_TRUE(runDialog(task, "OkButton", [&](TProjectPropertiesForm *f) {
            f->showPage(f->pageIndexOf("DestEmailTabSheet"));
            for (const char *name : fields) {
                auto *e = child<QLineEdit>(f, name);
                EXPECT_EQ(e->isEnabled(), dest == 3) << name;
                EXPECT_TRUE(e->isReadOnly()) << name << ": typing here would be lost";
                QTest::keyClicks(e, "someone@example.org");
                EXPECT_TRUE(e->text().isEmpty()) << name;
            }
            auto *text = child<QPlainTextEdit>(f, "DestEmailTextRichEdit");
            EXPECT_EQ(text->isEnabled(), dest == 3);
            EXPECT_TRUE(text->isReadOnly());
        }));
        EXPECT_EQ(firstDifference(exportOf(task), before), "") << int(dest);
    }
}

// The check box of an item on an event's panel (nullptr where the panel has none).
QCheckBox *itemBox(AlertsEditor *editor, AlertEvent e, AlertItem item)
{
    return qobject_cast<QCheckBox *>(editor->panel(e).item[static_cast<int>(item)]);
}

QLineEdit *itemEdit(AlertsEditor *editor, AlertEvent e, AlertItem item)
{
    return qobject_cast<QLineEdit *>(editor->panel(e).item[static_cast<int>(item)]);
}

// The finer rules of one panel in custom mode, after a click or a mode switch.
void expectPanelRules(AlertsEditor *editor, AlertEvent e, const std::string &where)
{
    const AlertsEditor::Panel &p = editor->panel(e);
    const bool sound = itemBox(editor, e, AlertItem::Sound)->isChecked();
    QLineEdit *soundEdit = itemEdit(editor, e, AlertItem::SoundFile);
    EXPECT_EQ(soundEdit->isEnabled(), sound) << where;
    EXPECT_EQ(editPaintedFace(soundEdit), !sound) << where;
    for (QWidget *w : {static_cast<QWidget *>(p.browse), static_cast<QWidget *>(p.play),
                       static_cast<QWidget *>(p.stop)}) {
        EXPECT_EQ(w->isEnabled(), sound) << where << " " << w->objectName().toStdString();
    }
    EXPECT_EQ(itemBox(editor, e, AlertItem::Dialog)->isEnabled(), e != AlertEvent::DiskSpan) << where;
    EXPECT_TRUE(itemBox(editor, e, AlertItem::Balloon)->isEnabled()) << where;
    EXPECT_TRUE(itemBox(editor, e, AlertItem::Sound)->isEnabled()) << where;
    if (e == AlertEvent::File) {
        return;
    }
    const bool mail = itemBox(editor, e, AlertItem::EmailUse)->isChecked();
    QLineEdit *address = itemEdit(editor, e, AlertItem::Email);
    EXPECT_EQ(address->isEnabled(), mail) << where;
    EXPECT_EQ(editPaintedFace(address), !mail) << where;
    EXPECT_EQ(p.test->isEnabled(), mail) << where;
    if (e == AlertEvent::Finish) {
        EXPECT_EQ(itemBox(editor, e, AlertItem::EmailSendLog)->isEnabled(), mail) << where;
    }
}

// Every control of the panels and the mode selector, as the user reaches them.
std::vector<QWidget *> panelControls(AlertsEditor *editor)
{
    std::vector<QWidget *> out;
    for (QWidget *w : editor->findChildren<QWidget *>()) {
        if (w->objectName().startsWith(QLatin1String("Events")) && !w->objectName().endsWith(QLatin1String("Panel")) &&
            w != editor->scrollBox()) {
            out.push_back(w);
        }
    }
    return out;
}

// The Sound and EmailUse values a run mode's panels end with: a pattern of its own per mode.
bool wantSound(int mode, int event) { return ((mode + event) & 1) != 0; }
bool wantMail(int mode, int event) { return ((mode * 2 + event) & 2) != 0; }

TEST_F(TaskDialogPageStates, EventPanelsKeepTheirRulesInEveryCombination)
{
    EmailTo = "alerts@example.org";
    for (const char *button : {"OkButton", "CancelButton"}) {
        for (bool custom : {false, true}) {
            TTask task;
            prepare(task);
            task.EventAlerts.UseDefault = !custom;
            task.EventAlerts.ManualErrorSound = true; // a stored check shows in default mode too
            task.EventAlerts.ScheduledFinishEmailUse = true;
            const std::string before = exportOf(task);
            const std::string run = std::string(button) + (custom ? " custom" : " default");
            const bool ok = runDialog(task, button, [&](TProjectPropertiesForm *f) {
                auto *page = f->findChild<TaskEventsPage *>();
                ASSERT_NE(page, nullptr);
                AlertsEditor *editor = page->editor();
                f->showPage(f->pageIndexOf("EventsTabSheet"));
                if (!custom) {
                    // Default mode: nothing of the panels can be touched, whatever is stored.
                    for (int mode = 0; mode < 3; ++mode) {
                        editor->comboBox()->setCurrentIndex(mode);
                        for (QWidget *w : panelControls(editor)) {
                            EXPECT_FALSE(w->isEnabled()) << run << " " << w->objectName().toStdString();
                        }
                        for (AlertEvent e : kEvents) {
                            itemBox(editor, e, AlertItem::Sound)->click();
                        }
                    }
                    EXPECT_EQ(editor->scrollBox()->viewport()->palette().brush(QPalette::Window).style(),
                              Qt::SolidPattern);
                    return;
                }
                for (int mode = 0; mode < 3; ++mode) {
                    editor->comboBox()->setCurrentIndex(mode);
                    for (int ev = 0; ev < 6; ++ev) {
                        const AlertEvent e = kEvents[ev];
                        expectPanelRules(editor, e, run + " after the switch to mode " + std::to_string(mode));
                        // Every combination of the panel's two boxes, reached by clicks, ending on the
                        // mode's own pattern.
                        for (int combo = 0; combo < 5; ++combo) {
                            const bool sound = combo < 4 ? (combo & 1) != 0 : wantSound(mode, ev);
                            const bool mail = combo < 4 ? (combo & 2) != 0 : wantMail(mode, ev);
                            const std::string where = run + " mode " + std::to_string(mode) + " " +
                                                      alertEventName(e) + " sound " + std::to_string(sound) +
                                                      " mail " + std::to_string(mail);
                            if (itemBox(editor, e, AlertItem::Sound)->isChecked() != sound) {
                                itemBox(editor, e, AlertItem::Sound)->click();
                            }
                            if (e != AlertEvent::File && itemBox(editor, e, AlertItem::EmailUse)->isChecked() != mail) {
                                itemBox(editor, e, AlertItem::EmailUse)->click();
                                if (mail) {
                                    EXPECT_FALSE(itemEdit(editor, e, AlertItem::Email)->text().trimmed().isEmpty())
                                        << where << ": checking the box fills a blank address";
                                }
                            }
                            for (AlertEvent other : kEvents) {
                                expectPanelRules(editor, other, where);
                            }
                        }
                    }
                }
                // Each mode shows again what was left in it.
                for (int mode : {1, 0, 2}) {
                    editor->comboBox()->setCurrentIndex(mode);
                    for (int ev = 0; ev < 6; ++ev) {
                        const AlertEvent e = kEvents[ev];
                        EXPECT_EQ(itemBox(editor, e, AlertItem::Sound)->isChecked(), wantSound(mode, ev)) << run;
                        if (e != AlertEvent::File) {
                            EXPECT_EQ(itemBox(editor, e, AlertItem::EmailUse)->isChecked(), wantMail(mode, ev)) << run;
                        }
                    }
                }
                // Back to default and to custom: every control opens again, the disk-spanning dialog
                // box excepted, until the next click or switch applies the finer rules.
                page->EventsUseDefaultRadioButton->click();
                for (QWidget *w : panelControls(editor)) {
                    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
                }
                page->EventsUseCustomRadioButton->click();
                for (QWidget *w : panelControls(editor)) {
                    EXPECT_EQ(w->isEnabled(), w->objectName() != "EventsDiskSpanCheckBoxDialog")
                        << w->objectName().toStdString();
                }
            });
            EXPECT_EQ(ok, std::string(button) == "OkButton");
            EXPECT_FALSE(task.Editing);
            if (!ok || !custom) {
                EXPECT_EQ(firstDifference(exportOf(task), before), "") << run;
                continue;
            }
            // OK: the task holds what the panels were left with, in every mode.
            EXPECT_FALSE(task.EventAlerts.UseDefault);
            for (const TaskAlertSetting &s : taskAlertTable()) {
                const int mode = static_cast<int>(s.mode);
                const int ev = static_cast<int>(s.event);
                if (s.item == AlertItem::Sound) {
                    EXPECT_EQ(task.EventAlerts.*s.boolField, wantSound(mode, ev)) << s.name;
                } else if (s.item == AlertItem::EmailUse) {
                    EXPECT_EQ(task.EventAlerts.*s.boolField, wantMail(mode, ev)) << s.name;
                } else if (s.item == AlertItem::Email && wantMail(mode, ev)) {
                    EXPECT_EQ(task.EventAlerts.*s.stringField, "alerts@example.org") << s.name;
                }
            }
        }
    }
    EmailTo.clear();
}

} // namespace
