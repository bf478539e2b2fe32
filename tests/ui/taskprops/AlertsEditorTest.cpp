// The event-alerts editor: names in both dialogs, the working copy across mode switches, panel rules.
// qv-test-labels: gui
#include "core/settings/Settings.h"
#include "core/task/TaskAlertTable.h"
#include "platform/fake/FakeSound.h"
#include "ui/taskprops/AlertsEditor.h"

#include "support/DialogTestSupport.h"
#include "support/FakeFileDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;
using qvtest::child;

namespace {

const AlertEvent kEvents[] = {AlertEvent::Start,   AlertEvent::File,    AlertEvent::DiskSpan,
                              AlertEvent::Error,   AlertEvent::Warning, AlertEvent::Finish};

// Values that differ from setting to setting, so that a control bound to the wrong value shows.
TEventAlertValues distinctValues()
{
    TEventAlertValues v;
    int i = 0;
    for (const TaskAlertSetting &s : taskAlertTable()) {
        if (s.isString()) {
            v.*s.stringField = std::string(s.name) + (s.item == AlertItem::Email ? "@example.org" : ".wav");
        } else {
            v.*s.boolField = (i * 7 + static_cast<int>(s.mode)) % 3 == 0;
        }
        ++i;
    }
    return v;
}

QString controlName(const char *prefix, AlertEvent e, const char *suffix)
{
    return QString::fromLatin1(prefix) + QString::fromLatin1(alertEventName(e)) + QString::fromLatin1(suffix);
}

QCheckBox *box(QWidget &w, const char *prefix, AlertEvent e, const char *suffix)
{
    auto *c = w.findChild<QCheckBox *>(controlName(prefix, e, suffix));
    EXPECT_NE(c, nullptr) << controlName(prefix, e, suffix).toStdString();
    return c;
}

QLineEdit *edit(QWidget &w, const char *prefix, AlertEvent e, const char *suffix)
{
    auto *c = w.findChild<QLineEdit *>(controlName(prefix, e, suffix));
    EXPECT_NE(c, nullptr) << controlName(prefix, e, suffix).toStdString();
    return c;
}

} // namespace

TEST(AlertsEditor, ControlNamesInBothDialogs)
{
    struct Expect {
        const char *suffix;
        bool file;     // on the File panel
        bool finishOnly;
    };
    const Expect names[] = {
        {"CheckBoxDialog", true, false},   {"CheckBoxBalloon", true, false}, {"CheckBoxSound", true, false},
        {"EditSound", true, false},        {"ButtonBrowse", true, false},    {"ButtonPlay", true, false},
        {"ButtonStop", true, false},       {"EmailUseCheckBox", false, false}, {"EmailEdit", false, false},
        {"EmailTestButton", false, false}, {"EmailLogCheckBox", false, true}, {"EmailSettingsLabel", false, true},
    };
    for (const char *prefix : {"Events", "TaskEvents"}) {
        AlertsEditor editor(QString::fromLatin1(prefix));
        EXPECT_NE(editor.findChild<QComboBox *>(QString::fromLatin1(prefix) + "ComboBox"), nullptr) << prefix;
        EXPECT_NE(editor.findChild<QScrollArea *>(QString::fromLatin1(prefix) + "ScrollBox"), nullptr) << prefix;
        EXPECT_NE(editor.findChild<QLabel *>(QString::fromLatin1(prefix) + "ComboLabel"), nullptr) << prefix;
        for (AlertEvent e : kEvents) {
            for (const Expect &n : names) {
                const bool present = n.finishOnly ? e == AlertEvent::Finish : (e != AlertEvent::File || n.file);
                const QString name = controlName(prefix, e, n.suffix);
                EXPECT_EQ(editor.findChild<QWidget *>(name) != nullptr, present) << name.toStdString();
            }
        }
    }
}

TEST(AlertsEditor, EveryValueRoundTripsThroughItsControl)
{
    const TEventAlertValues original = distinctValues();
    AlertsEditor editor(QStringLiteral("Events"));
    editor.load(original);
    // Show each mode once, so that every value passes through the controls.
    for (int mode : {1, 2, 0}) {
        editor.comboBox()->setCurrentIndex(mode);
    }
    TEventAlertValues stored;
    editor.store(stored);
    EXPECT_EQ(stored, original);

    // What the controls show is the shown mode's value, for every row of the table.
    editor.comboBox()->setCurrentIndex(1);
    for (const TaskAlertSetting &s : taskAlertTable()) {
        if (s.mode != AlertMode::Manual) {
            continue;
        }
        QWidget *w = editor.panel(s.event).item[static_cast<int>(s.item)];
        ASSERT_NE(w, nullptr) << s.name;
        if (s.isString()) {
            EXPECT_EQ(static_cast<QLineEdit *>(w)->text().toStdString(), original.*s.stringField) << s.name;
        } else {
            EXPECT_EQ(static_cast<QCheckBox *>(w)->isChecked(), original.*s.boolField) << s.name;
        }
    }
}

TEST(AlertsEditor, SwitchingModesKeepsEditsIncludingThoseBeforeTheFirstSwitch)
{
    AlertsEditor editor(QStringLiteral("Events"));
    editor.load(TEventAlertValues{});
    EXPECT_EQ(editor.lastMode(), 0);
    box(editor, "Events", AlertEvent::Error, "CheckBoxBalloon")->setChecked(false);
    edit(editor, "Events", AlertEvent::Warning, "EmailEdit")->setText("ops@example.org");

    editor.comboBox()->setCurrentIndex(1); // Manual
    box(editor, "Events", AlertEvent::Start, "CheckBoxDialog")->setChecked(true);
    editor.comboBox()->setCurrentIndex(0); // Scheduled again

    EXPECT_FALSE(box(editor, "Events", AlertEvent::Error, "CheckBoxBalloon")->isChecked());
    EXPECT_EQ(edit(editor, "Events", AlertEvent::Warning, "EmailEdit")->text(), "ops@example.org");
    EXPECT_FALSE(box(editor, "Events", AlertEvent::Start, "CheckBoxDialog")->isChecked());

    TEventAlertValues v;
    editor.store(v);
    EXPECT_FALSE(v.ScheduledErrorBalloon);
    EXPECT_EQ(v.ScheduledWarningEmail, "ops@example.org");
    EXPECT_TRUE(v.ManualStartDialog);
    EXPECT_FALSE(v.ScheduledStartDialog);
    EXPECT_TRUE(v.ManualErrorBalloon) << "the manual set keeps its own value";
}

TEST(AlertsEditor, StoreWhileSilentIsShownStoresTheVisibleSilentValues)
{
    AlertsEditor editor(QStringLiteral("Events"));
    editor.load(TEventAlertValues{});
    editor.comboBox()->setCurrentIndex(2);
    box(editor, "Events", AlertEvent::Finish, "CheckBoxSound")->setChecked(true);
    edit(editor, "Events", AlertEvent::Finish, "EditSound")->setText("/snd/done.wav");
    box(editor, "Events", AlertEvent::Finish, "EmailLogCheckBox")->setChecked(false);
    TEventAlertValues v;
    editor.store(v);
    EXPECT_TRUE(v.SilentFinishSound);
    EXPECT_EQ(v.SilentFinishSoundFile, "/snd/done.wav");
    EXPECT_FALSE(v.SilentFinishEmailSendLog);
    EXPECT_FALSE(v.ScheduledFinishSound);
    EXPECT_TRUE(v.ScheduledFinishEmailSendLog);
}

TEST(AlertsEditor, SoundFieldEditsReachTheShownModeAtOnce)
{
    AlertsEditor editor(QStringLiteral("TaskEvents"));
    editor.load(TEventAlertValues{});
    editor.comboBox()->setCurrentIndex(1);
    edit(editor, "TaskEvents", AlertEvent::DiskSpan, "EditSound")->setText("/snd/disk.wav");
    EXPECT_EQ(editor.values().ManualDiskSpanSoundFile, "/snd/disk.wav");
    EXPECT_EQ(editor.values().ScheduledDiskSpanSoundFile, "");
}

TEST(AlertsEditor, SendEmailToFillsOnlyAnEmptyAddress)
{
    EmailTo = "admin@example.org";
    AlertsEditor editor(QStringLiteral("Events"));
    editor.load(TEventAlertValues{});
    QCheckBox *use = box(editor, "Events", AlertEvent::Error, "EmailUseCheckBox");
    QLineEdit *address = edit(editor, "Events", AlertEvent::Error, "EmailEdit");
    ASSERT_FALSE(use->isChecked());

    address->setText("   ");
    QTest::mouseClick(use, Qt::LeftButton, {}, QPoint(5, use->height() / 2));
    ASSERT_TRUE(use->isChecked());
    EXPECT_EQ(address->text(), "admin@example.org") << "blanks count as empty";

    address->setText("me@example.org");
    QTest::mouseClick(use, Qt::LeftButton, {}, QPoint(5, use->height() / 2));
    QTest::mouseClick(use, Qt::LeftButton, {}, QPoint(5, use->height() / 2));
    EXPECT_TRUE(use->isChecked());
    EXPECT_EQ(address->text(), "me@example.org") << "a typed address is never overwritten";
    EmailTo.clear();
}

TEST(AlertsEditor, PanelRulesFollowTheCheckBoxes)
{
    struct Case {
        AlertEvent event;
        bool sound;
        bool email;
    };
    const Case cases[] = {{AlertEvent::Start, true, false},  {AlertEvent::File, false, false},
                          {AlertEvent::Error, false, true},  {AlertEvent::Finish, true, true},
                          {AlertEvent::Finish, false, false}};
    for (const Case &c : cases) {
        TEventAlertValues v;
        if (auto *s = findTaskAlert(AlertMode::Scheduled, c.event, AlertItem::Sound)) {
            v.*s->boolField = c.sound;
        }
        if (auto *s = findTaskAlert(AlertMode::Scheduled, c.event, AlertItem::EmailUse)) {
            v.*s->boolField = c.email;
        }
        AlertsEditor editor(QStringLiteral("Events"));
        editor.load(v);
        const AlertsEditor::Panel &p = editor.panel(c.event);
        const std::string what = std::string(alertEventName(c.event)) + (c.sound ? " sound" : "") +
                                 (c.email ? " email" : "");
        EXPECT_EQ(p.item[static_cast<int>(AlertItem::SoundFile)]->isEnabled(), c.sound) << what;
        EXPECT_EQ(p.browse->isEnabled(), c.sound) << what;
        EXPECT_EQ(p.play->isEnabled(), c.sound) << what;
        EXPECT_EQ(p.stop->isEnabled(), c.sound) << what;
        if (c.event == AlertEvent::File) {
            continue;
        }
        EXPECT_EQ(p.item[static_cast<int>(AlertItem::Email)]->isEnabled(), c.email) << what;
        EXPECT_EQ(p.test->isEnabled(), c.email) << what;
        if (c.event == AlertEvent::Finish) {
            EXPECT_EQ(p.item[static_cast<int>(AlertItem::EmailSendLog)]->isEnabled(), c.email) << what;
        }
    }
}

TEST(AlertsEditor, DiskSpanDialogBoxStaysDisabledAndKeepsItsValue)
{
    TEventAlertValues v;
    v.ScheduledDiskSpanDialog = false;
    v.ManualDiskSpanDialog = true;
    v.SilentDiskSpanDialog = false;
    AlertsEditor editor(QStringLiteral("Events"));
    editor.load(v);
    QCheckBox *dialog = box(editor, "Events", AlertEvent::DiskSpan, "CheckBoxDialog");
    for (bool custom : {true, false, true}) {
        editor.setCustom(custom);
        for (int mode : {0, 1, 2}) {
            editor.comboBox()->setCurrentIndex(mode);
            EXPECT_FALSE(dialog->isEnabled()) << "mode " << mode;
            EXPECT_EQ(dialog->isChecked(), mode == 1) << "mode " << mode;
        }
    }
    TEventAlertValues stored;
    editor.store(stored);
    EXPECT_EQ(stored, v);
}

TEST(AlertsEditor, DefaultModeDisablesEverythingOnThePlainGround)
{
    AlertsEditor editor(QStringLiteral("Events"));
    editor.load(TEventAlertValues{});
    editor.setCustom(false);
    EXPECT_FALSE(editor.comboBox()->isEnabled());
    EXPECT_EQ(editor.scrollBox()->viewport()->palette().brush(QPalette::Window).style(), Qt::SolidPattern);
    for (AlertEvent e : kEvents) {
        EXPECT_FALSE(box(editor, "Events", e, "CheckBoxBalloon")->isEnabled());
    }
    editor.setCustom(true);
    EXPECT_EQ(editor.scrollBox()->viewport()->palette().brush(QPalette::Window).style(), Qt::SolidPattern);
    for (AlertEvent e : kEvents) {
        EXPECT_TRUE(box(editor, "Events", e, "CheckBoxBalloon")->isEnabled());
        EXPECT_TRUE(edit(editor, "Events", e, "EditSound")->isEnabled()) << "custom enables every panel control";
    }
}

TEST(AlertsEditor, PlayStopAndBrowseUseTheSeams)
{
    FakeSound sound;
    qvtest::FakeFileDialogs files;
    files.answers = {"/home/u/sounds/bell.wav"};
    TEventAlertValues v;
    v.ScheduledWarningSound = true;
    v.ScheduledWarningSoundFile = "/old/ding.wav";
    AlertsEditor editor(QStringLiteral("Events"));
    editor.load(v);
    const AlertsEditor::Panel &p = editor.panel(AlertEvent::Warning);

    QTest::mouseClick(p.play, Qt::LeftButton);
    ASSERT_EQ(sound.played, std::vector<std::string>{"/old/ding.wav"});
    QTest::mouseClick(editor.panel(AlertEvent::Start).stop, Qt::LeftButton); // disabled: no effect
    EXPECT_EQ(sound.stops, 0);
    QTest::mouseClick(p.stop, Qt::LeftButton);
    EXPECT_EQ(sound.stops, 1);

    QTest::mouseClick(p.browse, Qt::LeftButton);
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_FALSE(files.asked[0].save);
    EXPECT_EQ(files.asked[0].request.fileName, "/old/ding.wav");
    EXPECT_EQ(files.asked[0].request.filters.value(0), "Sound Files (*.wav *.mid)");
    EXPECT_EQ(edit(editor, "Events", AlertEvent::Warning, "EditSound")->text(), "/home/u/sounds/bell.wav");
    EXPECT_EQ(editor.values().ScheduledWarningSoundFile, "/home/u/sounds/bell.wav");
    QTest::mouseClick(p.play, Qt::LeftButton);
    EXPECT_EQ(sound.played.back(), "/home/u/sounds/bell.wav");
}

TEST(AlertsEditor, SendTestAndSettingsLinkAreSignalled)
{
    TEventAlertValues v;
    v.ScheduledFinishEmailUse = true;
    v.ScheduledFinishEmail = "ops@example.org";
    AlertsEditor editor(QStringLiteral("Events"));
    editor.load(v);
    QSignalSpy tests(&editor, &AlertsEditor::sendTestRequested);
    QSignalSpy links(&editor, &AlertsEditor::emailSettingsRequested);
    QTest::mouseClick(editor.panel(AlertEvent::Finish).test, Qt::LeftButton);
    ASSERT_EQ(tests.count(), 1);
    EXPECT_EQ(tests.at(0).at(0).toString(), "ops@example.org");
    // Renamed as a language file renames it (plain text), the link still answers a click.
    QLabel *link = editor.panel(AlertEvent::Finish).settingsLink;
    link->setText(QStringLiteral("E-Mail-Einstellungen anpassen"));
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(links.count(), 1);
}
