// The filter dialog: enabling table, fill and write-back of every field, Cancel, pickers, warnings.
#include "ui/FilterForm.h"
#include "ui/ScheduleForm.h"
#include "platform/RegistryStore.h"
#include "components/FolderPicker.h"
#include "components/RangedField.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "core/task/TaskStorage.h"
#include "core/text/Language.h"
#include "ui/DayCountEdit.h"
#include "ui/FilterRules.h"
#include "ui/Help.h"
#include "ui/HelpTopics.h"

#include "support/FakeFileDialogs.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "components/MessageBox.h"
#include "ui/ScheduleForm.h"

#include "support/DialogTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace qv;

namespace {

using qvtest::NextModal;
using qvtest::child;

// An item whose every field differs from a new item's.
TTaskFilterItem sampleItem()
{
    TTaskFilterItem f;
    f.FilterType = fitInclude;
    f.FilterKind = fikSize;
    f.fnKind = fnkSingleFile;
    f.fnWildcard = "*.doc;*.odt";
    f.fnSingleFile = "/home/user/a.txt";
    f.frKind = frkEmpty;
    f.frContains = "/cache/";
    f.dtKind = fidtkCreated;
    f.dtSelector = fidtsHours;
    f.dtMonths = 2;
    f.dtDays = 3;
    f.dtHours = 4;
    f.dtMinutes = 5;
    f.dtDateBetweenStart = 45000.5;
    f.dtDateBetweenEnd = 45010.25;
    f.dtTimeBetweenStart = 45000.125;
    f.dtTimeBetweenEnd = 45000.75;
    f.atHidden = true;
    f.atEncrypted = true;
    f.szKind = fiskGreaterThan;
    f.szValue = 640;
    f.szMeasure = szmKilobytes;
    return f;
}

class FilterFormTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetSettingsToDefaults(); }
    void TearDown() override { SetLanguageFile(nullptr); }
    TTask task;
};

} // namespace

TEST(FilterRules, EnablingTable)
{
    struct Row
    {
        FilterEnablingInput in;
        int panel;
        bool wildcard, contains;
        int dateRow;
    };
    const Row rows[] = {
        {{0, true, true, 0}, 0, true, true, 0},    {{1, false, true, 1}, 1, false, true, 1},
        {{2, true, false, 2}, 2, true, false, 2},  {{3, false, false, 3}, 3, false, false, 3},
        {{4, true, true, 4}, 4, true, true, 4},    {{2, true, true, 5}, 2, true, true, 5},
        {{-1, true, true, -1}, -1, true, true, -1}, {{7, true, true, 9}, -1, true, true, -1},
    };
    for (const Row &r : rows) {
        const FilterEnabling e = filterEnabling(r.in);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(e.panels[static_cast<std::size_t>(i)], i == r.panel) << r.in.kind << " panel " << i;
        }
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(e.dateRows[static_cast<std::size_t>(i)], i == r.dateRow) << r.in.dtSelector << " row " << i;
        }
        EXPECT_EQ(e.wildcardField, r.wildcard);
        EXPECT_EQ(e.wildcardExample, r.wildcard);
        EXPECT_EQ(e.singleFileField, !r.wildcard);
        EXPECT_EQ(e.singleFileBrowse, !r.wildcard);
        EXPECT_EQ(e.folderField, r.contains);
        EXPECT_EQ(e.folderBrowse, r.contains);
        EXPECT_EQ(e.folderEmptyNote, !r.contains);
    }
}

TEST_F(FilterFormTest, EveryControlNameResolvesToExactlyOneWidget)
{
    TFilterForm form;
    const char *names[] = {
        "TopEdit", "MainComboBoxIncExcl", "MainComboBoxKind", "FileNameRadioButtonWildcard",
        "FileNameRadioButtonSingleFile", "FileNameEditWildcard", "FileNameEditSingleFile", "FileNameButtonBrowse",
        "FolderRadioButtonContains", "FolderRadioButtonEmpty", "FolderEditName", "FolderBrowseButton",
        "DateTimeComboBox", "DateTimeMonthsRadioButton", "DateTimeDaysRadioButton", "DateTimeHoursRadioButton",
        "DateTimeMinutesRadioButton", "DateTimeDateBetweenRadioButton", "DateTimeTimeBetweenRadioButton",
        "DateTimeMonthsUpDown", "DateTimeDaysUpDown", "DateTimeHoursUpDown", "DateTimeMinutesUpDown",
        "DateTimePickerDateStart", "DateTimePickerDateEnd", "DateTimePickerTimeStart", "DateTimePickerTimeEnd",
        "AttributesCheckBoxReadOnly", "AttributesCheckBoxArchive", "AttributesCheckBoxHidden",
        "AttributesCheckBoxSystem", "AttributesCheckBoxCompressed", "AttributesCheckBoxEncrypted",
        "SizeComboBoxKind", "SizeValueUpDown", "SizeValueEdit", "SizeComboBoxMeasure", "OKButton", "CancelButton",
        "HelpButton"};
    for (const char *n : names) {
        EXPECT_EQ(form.findChildren<QWidget *>(QString::fromLatin1(n)).size(), 1) << n;
    }
    EXPECT_EQ(form.objectName(), "FilterForm");
    EXPECT_EQ(form.windowTitle(), "File Filter Properties");
    EXPECT_EQ(form.MainComboBoxIncExcl->itemText(0), "Include "); // the trailing blank is kept
}

TEST_F(FilterFormTest, FillShowsEveryFieldAndOkWritesThemBackUnchanged)
{
    TTaskFilterItem item = sampleItem();
    item.szValue = 99999; // beyond the field's range: shown clamped, kept unless edited
    item.dtMinutes = 40000;
    const TTaskFilterItem before = item;
    TFilterForm form;
    form.load(item);
    EXPECT_EQ(form.MainComboBoxKind->currentIndex(), 4);
    EXPECT_TRUE(form.Panels[4]->isVisibleTo(&form));
    EXPECT_FALSE(form.Panels[0]->isVisibleTo(&form));
    EXPECT_TRUE(form.FileNameRadioButtonSingleFile->isChecked());
    EXPECT_EQ(form.FileNameEditWildcard->text(), "*.doc;*.odt");
    EXPECT_TRUE(form.FolderRadioButtonEmpty->isChecked());
    EXPECT_TRUE(child<QRadioButton>(&form, "DateTimeHoursRadioButton")->isChecked());
    EXPECT_EQ(form.SizeValueEdit->value(), 32767);
    EXPECT_EQ(form.SizeComboBoxMeasure->currentIndex(), 1);
    EXPECT_TRUE(child<QCheckBox>(&form, "AttributesCheckBoxEncrypted")->isChecked());
    TTaskFilterItem back;
    form.store(back);
    EXPECT_TRUE(back == before) << back.GetStrCaption();
    EXPECT_EQ(back.szValue, 99999);
    EXPECT_EQ(back.dtMinutes, 40000);
}

TEST_F(FilterFormTest, EnablingFollowsRadioButtonsDuringFillAndClicks)
{
    TTaskFilterItem item = sampleItem();
    item.FilterKind = fikDateTime;
    TFilterForm form;
    form.load(item);
    form.show();
    EXPECT_TRUE(child<QWidget>(&form, "DateTimeHoursUpDown")->isEnabled());
    EXPECT_FALSE(child<QWidget>(&form, "DateTimeDaysUpDown")->isEnabled());
    EXPECT_FALSE(form.DateTimePickerDateStart->isEnabled());
    EXPECT_TRUE(form.DateTimeComboBox->isEnabled());
    (child<QRadioButton>(&form, "DateTimeDateBetweenRadioButton"))->click();
    EXPECT_TRUE(form.DateTimePickerDateStart->isEnabled());
    EXPECT_TRUE(form.DateTimePickerDateEnd->isEnabled());
    EXPECT_FALSE(child<QWidget>(&form, "DateTimeHoursUpDown")->isEnabled());
    // The file panel: single file checked by the fill, so its browse button is on.
    form.MainComboBoxKind->setCurrentIndex(0);
    EXPECT_TRUE(form.FileNameButtonBrowse->isEnabled());
    EXPECT_FALSE(form.FileNameLabelWildcardExample->isEnabled());
    EXPECT_FALSE(form.FileNameEditWildcard->isReadOnly()); // only the colour changes
    (form.FileNameRadioButtonWildcard)->click();
    EXPECT_FALSE(form.FileNameButtonBrowse->isEnabled());
    EXPECT_TRUE(form.FileNameLabelWildcardExample->isEnabled());
    form.MainComboBoxKind->setCurrentIndex(1);
    EXPECT_FALSE(form.FolderBrowseButton->isEnabled()); // "Empty folder" checked
    EXPECT_TRUE(form.FolderLabelEmptyNote->isEnabled());
}

TEST_F(FilterFormTest, CancelAndCloseLeaveEveryFieldAndNewItemsGiveFalse)
{
    for (bool closeWindow : {false, true}) {
        TTaskFilterItem item = sampleItem();
        const TTaskFilterItem before = item;
        NextModal modal([closeWindow](QDialog *d) {
            auto *f = static_cast<TFilterForm *>(d);
            f->MainComboBoxKind->setCurrentIndex(0);
            QTest::keyClicks(f->FileNameEditWildcard, "x");
            f->SizeValueEdit->setValue(5);
            (child<QCheckBox>(d, "AttributesCheckBoxReadOnly"))->click();
            f->DateTimePickerTimeStart->setTime(QTime(3, 4, 5));
            if (closeWindow) {
                d->close();
            } else {
                child<QPushButton>(d, "CancelButton")->click();
            }
        });
        EXPECT_FALSE(EditFilter(task, item));
        EXPECT_TRUE(modal.ran);
        EXPECT_TRUE(item == before) << item.GetStrCaption();
    }
    TTaskFilterItem fresh;
    const TTaskFilterItem freshBefore = fresh;
    NextModal modal([](QDialog *d) { d->reject(); });
    EXPECT_FALSE(EditFilter(task, fresh));
    EXPECT_TRUE(fresh == freshBefore);
}

TEST_F(FilterFormTest, EachCallOverwritesTheSameScratchCopy)
{
    TTaskFilterItem first = sampleItem();
    TTaskFilterItem second;
    second.fnWildcard = "*.second";
    for (TTaskFilterItem *item : {&first, &second}) {
        NextModal modal([](QDialog *d) { d->reject(); });
        EditFilter(task, *item);
        EXPECT_TRUE(modal.ran);
        TTaskFilterItem scratch;
        scratch.fnWildcard = "not read";
        scratch.LoadFromRegistry(tempKeyPath("EditFilter"));
        EXPECT_TRUE(scratch == *item) << scratch.fnWildcard;
    }
}

TEST_F(FilterFormTest, KindChangeKeepsOtherKindsAndTypedTextIsStoredAtOnce)
{
    TTaskFilterItem item = sampleItem();
    NextModal modal([](QDialog *d) {
        auto *f = static_cast<TFilterForm *>(d);
        f->MainComboBoxKind->setCurrentIndex(0); // Size -> File
        f->MainComboBoxIncExcl->setCurrentIndex(1);
        (f->FileNameRadioButtonWildcard)->click();
        f->FileNameEditWildcard->clear();
        QTest::keyClicks(f->FileNameEditWildcard, "*.tmp;*.bak");
        f->MainComboBoxKind->setCurrentIndex(4); // and back to Size
        f->MainComboBoxKind->setCurrentIndex(0);
        QTest::keyClick(f->FileNameEditWildcard, Qt::Key_Return); // OK at once
    });
    EXPECT_TRUE(EditFilter(task, item));
    EXPECT_TRUE(modal.ran);
    EXPECT_EQ(item.FilterType, fitExclude);
    EXPECT_EQ(item.FilterKind, fikFileName);
    EXPECT_EQ(item.fnKind, fnkWildcard);
    EXPECT_EQ(item.fnWildcard, "*.tmp;*.bak");
    EXPECT_EQ(item.szKind, fiskGreaterThan);
    EXPECT_EQ(item.szValue, 640);
    EXPECT_EQ(item.szMeasure, szmKilobytes);
}

TEST_F(FilterFormTest, DescriptionFollowsTyping)
{
    TTaskFilterItem item;
    item.FilterType = fitInclude;
    TFilterForm form;
    form.load(item);
    form.FileNameEditWildcard->clear();
    QTest::keyClicks(form.FileNameEditWildcard, "*.txt");
    EXPECT_EQ(form.TopEdit->text(), "Include files matching the wildcard: \"*.txt\".");
    form.MainComboBoxIncExcl->setCurrentIndex(1);
    EXPECT_EQ(form.TopEdit->text(), "Exclude files matching the wildcard: \"*.txt\".");
    EXPECT_EQ(form.TopEdit->text(), QString::fromStdString(form.draft().GetStrCaption()));
}

TEST_F(FilterFormTest, PickersKeepThePartTheyDoNotShow)
{
    for (double stored : {45000.5, -1.25}) {
        for (DayCountEdit::Part part : {DayCountEdit::DatePart, DayCountEdit::TimePart}) {
            DayCountEdit edit(part);
            edit.setStoredValue(stored);
            EXPECT_EQ(edit.storedValue(), stored); // untouched: exactly the stored number
            if (part == DayCountEdit::DatePart) {
                edit.setDate(edit.date().addDays(3));
                EXPECT_EQ(timeOfDayCount(edit.storedValue()), timeOfDayCount(stored)) << stored;
                EXPECT_EQ(dateOfDayCount(edit.storedValue()), dateOfDayCount(stored).addDays(3)) << stored;
            } else {
                edit.setTime(QTime(7, 8, 9));
                EXPECT_EQ(dateOfDayCount(edit.storedValue()), dateOfDayCount(stored)) << stored;
                EXPECT_EQ(timeOfDayCount(edit.storedValue()), QTime(7, 8, 9)) << stored;
            }
            EXPECT_TRUE(edit.isEdited());
        }
    }
    // Through the dialog: changing the start time keeps the start date within 1 ms.
    TTaskFilterItem item = sampleItem();
    item.dtTimeBetweenStart = -1.25;
    TFilterForm form;
    form.load(item);
    form.DateTimePickerTimeStart->setTime(QTime(1, 0));
    TTaskFilterItem back = item;
    form.store(back);
    const double days = std::floor(std::abs(back.dtTimeBetweenStart));
    EXPECT_EQ(days, 1.0);
    EXPECT_EQ(dateOfDayCount(back.dtTimeBetweenStart), dateOfDayCount(-1.25));
    EXPECT_EQ(back.dtDateBetweenStart, 45000.5);
}

TEST_F(FilterFormTest, MalformedMaskAndReversedRangeWarningsAppearAndClear)
{
    TTaskFilterItem item;
    TFilterForm form;
    form.load(item);
    form.show();
    const struct
    {
        const char *typed;
        const char *named; // nullptr: no warning
    } rows[] = {{"*.txt", nullptr}, {"*.txt;[a-", "[a-"}, {"[]", "[]"}, {"[a-c]*", nullptr}};
    for (const auto &r : rows) {
        form.FileNameEditWildcard->setText(QString::fromLatin1(r.typed));
        EXPECT_EQ(form.FileNameLabelMaskWarning->isVisible(), r.named != nullptr) << r.typed;
        if (r.named != nullptr) {
            EXPECT_TRUE(form.FileNameLabelMaskWarning->text().contains(QString::fromLatin1(r.named))) << r.typed;
        }
    }
    // OK keeps the text as typed.
    form.FileNameEditWildcard->setText(QStringLiteral("[a-"));
    TTaskFilterItem back;
    form.store(back);
    EXPECT_EQ(back.fnWildcard, "[a-");

    form.MainComboBoxKind->setCurrentIndex(2);
    (child<QRadioButton>(&form, "DateTimeDateBetweenRadioButton"))->click();
    form.DateTimePickerDateStart->setDate(QDate(2024, 5, 1));
    form.DateTimePickerDateEnd->setDate(QDate(2024, 4, 1));
    EXPECT_TRUE(form.DateTimeRangeWarning->isVisible());
    form.DateTimePickerDateEnd->setDate(QDate(2024, 6, 1));
    EXPECT_FALSE(form.DateTimeRangeWarning->isVisible());
    (child<QRadioButton>(&form, "DateTimeTimeBetweenRadioButton"))->click();
    form.DateTimePickerTimeStart->setTime(QTime(18, 0));
    form.DateTimePickerTimeEnd->setTime(QTime(8, 0));
    EXPECT_TRUE(form.DateTimeRangeWarning->isVisible());
    form.DateTimePickerTimeEnd->setTime(QTime(19, 0));
    EXPECT_FALSE(form.DateTimeRangeWarning->isVisible());
}

TEST_F(FilterFormTest, BrowseButtonsGoThroughTheSeams)
{
    qvtest::FakeFileDialogs files;
    files.answers = {QStringLiteral("/home/user/picked.txt")};
    FakeFolderPicker folders;
    folders.answers.push_back(QStringLiteral("/home/user/cache"));
    TTaskFilterItem item = sampleItem();
    TFilterForm form;
    form.load(item);
    form.show();
    form.MainComboBoxKind->setCurrentIndex(0);
    (form.FileNameButtonBrowse)->click();
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_EQ(files.asked[0].request.caption, "Select file");
    EXPECT_EQ(files.asked[0].request.fileName, "/home/user/a.txt");
    EXPECT_EQ(form.FileNameEditSingleFile->text(), "/home/user/picked.txt");
    form.MainComboBoxKind->setCurrentIndex(1);
    (form.FolderRadioButtonContains)->click();
    (form.FolderBrowseButton)->click();
    ASSERT_EQ(folders.requests.size(), 1u);
    EXPECT_EQ(folders.requests[0], "/cache/");
    EXPECT_EQ(form.FolderEditName->text(), "/home/user/cache");
    EXPECT_EQ(form.draft().frContains, "/home/user/cache");
}

TEST_F(FilterFormTest, LanguageFileRenamesCaptionAndAControl)
{
    SetLanguageFile(LanguageTable::parse("[FilterForm]\nFilterForm.Caption=Dateifilter\n"
                                         "FilterForm.FileNameButtonBrowse.Caption=Suchen...\n"));
    TFilterForm form;
    EXPECT_EQ(form.windowTitle(), "Dateifilter");
    EXPECT_EQ(form.FileNameButtonBrowse->text(), "Suchen...");
}

TEST_F(FilterFormTest, F1InTheDialogOpensItsTopic)
{
    TFilterForm form;
    for (QWidget *w : std::initializer_list<QWidget *>{form.FileNameEditWildcard, form.FolderEditName,
                                                       form.SizeComboBoxKind, form.Attributes[2]}) {
        EXPECT_EQ(help::helpKeywordOf(w), QString::fromLatin1(HelpTopics::kFileFilter))
            << w->objectName().toStdString();
    }
}

// A store damaged while the program runs (a page in its middle overwritten) is not written by the
// filter's or the schedule's undo copy, neither the file nor its log, and both dialogs still open
// and edit the item in memory; a sound store takes the copies (the control).
TEST_F(FilterFormTest, UndoCopiesLeaveADamagedStoreAsItIs)
{
    const std::string before = qv::RegistryStore::storePath();
    const std::string dir = qvtest::makeTempDir("damagedundo");
    std::string reg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main]"
                      "\r\n";
    for (int i = 0; i < 600; ++i) {
        reg += "\"V" + std::to_string(i) + "\"=\"" + std::string(100, static_cast<char>('a' + i % 26)) + "\"\r\n";
    }
    qvtest::writeFile(dir + "/seed.reg", reg);
    for (const bool isDamaged : {true, false}) {
        SCOPED_TRACE(isDamaged ? "damaged" : "sound");
        const std::string store = dir + (isDamaged ? "/damaged.db" : "/sound.db");
        const auto made =
            qvtest::runCommand({qvtest::binPath("qv-regtool"), "--db", store, "import", dir + "/seed.reg"});
        ASSERT_EQ(made.exitCode, 0) << made.output;
        std::string bytes = qvtest::readFile(store);
        if (isDamaged) {
            bytes.replace((bytes.size() / 4096 / 2) * 4096, 4096, 4096, 'Z');
            qvtest::writeFile(store, bytes);
        }
        qv::RegistryStore::setStorePath(store);
        TTaskFilterItem item = sampleItem();
        item.fnWildcard = "*.edited";
        {
            NextModal modal([](QDialog *d) { child<QPushButton>(d, "OKButton")->click(); });
            EXPECT_TRUE(EditFilter(task, item));
            EXPECT_TRUE(modal.ran);
        }
        TTaskScheduleItem entry;
        entry.MinutellyValue = 7;
        {
            NextModal modal([](QDialog *d) { child<QPushButton>(d, "OKButton")->click(); });
            EXPECT_TRUE(EditScheduleItem(entry));
            EXPECT_TRUE(modal.ran);
        }
        EXPECT_EQ(item.fnWildcard, "*.edited");
        if (isDamaged) {
            EXPECT_TRUE(qvtest::readFile(store) == bytes) << "the damaged file is kept as it was";
            EXPECT_EQ(qvtest::readFile(store + "-wal").size(), 0u) << "nothing written into its log";
        } else {
            TTaskFilterItem scratch;
            scratch.LoadFromRegistry(tempKeyPath("EditFilter"));
            EXPECT_EQ(scratch.fnWildcard, "*.edited");
            TTaskScheduleItem copy;
            copy.LoadFromRegistry(tempKeyPath("EditSchedule"));
            EXPECT_EQ(copy.MinutellyValue, 7);
        }
    }
    qv::RegistryStore::setStorePath(before);
}

TEST_F(FilterFormTest, FilterAndScheduleFieldsTakeTheApplicationsDarkPalette)
{
    const QPalette before = QApplication::palette();
    QPalette dark(QColor(53, 53, 53), QColor(53, 53, 53)); // buttons and window
    dark.setColor(QPalette::Base, QColor(42, 42, 42));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::WindowText, Qt::white);
    QApplication::setPalette(dark);
    TTaskFilterItem item;
    TFilterForm filter;
    filter.load(item);
    TScheduleForm schedule;
    const struct
    {
        const char *what;
        const QWidget *field;
        QPalette::ColorRole base; // what the field's background must be
    } rows[] = {
        {"filter summary", filter.TopEdit, QPalette::Button},
        {"wildcard", filter.FileNameEditWildcard, QPalette::Base},
        {"single file (off)", filter.FileNameEditSingleFile, QPalette::Button},
        {"schedule summary", schedule.findChild<QLineEdit *>(QStringLiteral("TopEdit")), QPalette::Button}};
    for (const auto &row : rows) {
        ASSERT_NE(row.field, nullptr) << row.what;
        EXPECT_EQ(row.field->palette().color(QPalette::Base), dark.color(row.base)) << row.what;
        EXPECT_EQ(row.field->palette().color(QPalette::Text), Qt::white) << row.what;
    }
    // The warnings' red is light on the dark window.
    EXPECT_GT(filter.FileNameLabelMaskWarning->palette().color(QPalette::WindowText).lightness(), 128);
    QApplication::setPalette(before);
}

TEST_F(FilterFormTest, OkRefusesAnEmptyWildcard)
{
    MessageBoxSeam::clear();
    TTaskFilterItem item;
    TFilterForm form;
    form.load(item);
    form.show();
    for (const char *typed : {"", "   ", "*.tmp"}) {
        MessageBoxSeam::clear();
        form.FileNameEditWildcard->setText(QString::fromLatin1(typed));
        child<QPushButton>(&form, "OKButton")->click();
        const bool refused = *typed == '\0' || *typed == ' ';
        EXPECT_EQ(form.isVisible(), refused) << '"' << typed << '"';
        EXPECT_EQ(MessageBoxSeam::shown().size(), refused ? 1u : 0u) << '"' << typed << '"';
    }
    EXPECT_EQ(form.result(), QDialog::Accepted);
    MessageBoxSeam::clear();
}
