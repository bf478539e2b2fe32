// FilterForm: the filter dialog and EditFilter.
#include "ui/FilterForm.h"

#include "components/FolderField.h"
#include "components/FolderPicker.h"
#include "components/LangText.h"
#include "components/MessageBox.h"
#include "components/RangedField.h"
#include "components/TranslateForm.h"
#include "core/task/TaskStorage.h"
#include "ui/DayCountEdit.h"
#include "ui/FileDialogs.h"
#include "ui/FilterRules.h"
#include "ui/HelpTopics.h"
#include "ui/SmallDialogButtons.h"
#include "ui/taskprops/EditPaint.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qv {

namespace {

template <typename W> W *named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *label(QWidget *parent, const char *name, const QString &text)
{
    auto *l = named(new QLabel(text, parent), name);
    l->setWordWrap(true);
    return l;
}

QComboBox *combo(QWidget *parent, const char *name, const QStringList &items)
{
    auto *c = named(new QComboBox(parent), name);
    c->addItems(items);
    return c;
}

// An entry field that stays editable shows the button-face colour while its rule is off.
void setFieldColour(QWidget *field, bool on)
{
    setEditPaint(field, on);
}

template <typename E> void setIndex(QComboBox *c, E value)
{
    const int i = static_cast<int>(value);
    c->setCurrentIndex(i >= 0 && i < c->count() ? i : 0);
}

template <typename E> void readIndex(const QComboBox *c, E &field)
{
    if (c->currentIndex() >= 0) {
        field = static_cast<E>(c->currentIndex());
    }
}

const char *const kDateRadioNames[6] = {"DateTimeMonthsRadioButton",      "DateTimeDaysRadioButton",
                                        "DateTimeHoursRadioButton",       "DateTimeMinutesRadioButton",
                                        "DateTimeDateBetweenRadioButton", "DateTimeTimeBetweenRadioButton"};
const char *const kDateAmountNames[4] = {"DateTimeMonthsUpDown", "DateTimeDaysUpDown", "DateTimeHoursUpDown",
                                         "DateTimeMinutesUpDown"};
const char *const kDateUnitNames[4] = {"DateTimeMonthsLabel", "DateTimeDaysLabel", "DateTimeHoursLabel",
                                       "DateTimeMinutesLabel"};
const char *const kDateUnits[4] = {"months", "days", "hours", "minutes"};
const char *const kAttributeNames[6] = {"AttributesCheckBoxReadOnly",   "AttributesCheckBoxArchive",
                                        "AttributesCheckBoxHidden",     "AttributesCheckBoxSystem",
                                        "AttributesCheckBoxCompressed", "AttributesCheckBoxEncrypted"};
const char *const kAttributeCaptions[6] = {"Read Only", "Archive", "Hidden", "System", "Compressed", "Encrypted"};

} // namespace

TFilterForm::TFilterForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FilterForm"));
    setWindowTitle(QStringLiteral("File Filter Properties"));
    setMinimumWidth(480);
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kFileFilter));
    TopEdit = named(new QLineEdit(this), "TopEdit");
    TopEdit->setReadOnly(true);
    TopEdit->setFrame(false);
    setFieldColour(TopEdit, false);
    MainComboBoxIncExcl = combo(this, "MainComboBoxIncExcl", {QStringLiteral("Include "), QStringLiteral("Exclude")});
    MainComboBoxKind = combo(this, "MainComboBoxKind",
                             {QStringLiteral("File"), QStringLiteral("Folder"), QStringLiteral("Date & Time"),
                              QStringLiteral("Attributes"), QStringLiteral("Size")});
    auto *sentence = new QHBoxLayout;
    sentence->addWidget(label(this, "Label1", QStringLiteral("1.")));
    sentence->addWidget(MainComboBoxIncExcl);
    sentence->addWidget(label(this, "Label2", QStringLiteral("2.")));
    sentence->addWidget(MainComboBoxKind);
    sentence->addWidget(label(this, "LabelIf", QStringLiteral("if")));
    sentence->addStretch(1);

    const char *panelNames[5] = {"FileNamePanel", "FolderPanel", "DateTimePanel", "AttributesPanel", "SizePanel"};
    auto *stack = new QGridLayout;
    for (int i = 0; i < 5; ++i) {
        Panels[i] = named(new QGroupBox(this), panelNames[i]);
        stack->addWidget(Panels[i], 0, 0);
    }
    buildFilePanel(Panels[0]);
    buildFolderPanel(Panels[1]);
    buildDatePanel(Panels[2]);
    buildAttributesPanel(Panels[3]);
    buildSizePanel(Panels[4]);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TopEdit);
    layout->addLayout(sentence);
    layout->addWidget(label(this, "Label3", QStringLiteral("3.")));
    layout->addLayout(stack, 1);
    layout->addWidget(addDialogButtons(this, true, true, true));

    for (QComboBox *c : {MainComboBoxIncExcl, MainComboBoxKind, DateTimeComboBox, SizeComboBoxKind,
                         SizeComboBoxMeasure}) {
        connect(c, &QComboBox::currentIndexChanged, this, &TFilterForm::onChanged);
    }
    for (QLineEdit *e : {FileNameEditWildcard, FileNameEditSingleFile, FolderEditName}) {
        connect(e, &QLineEdit::textChanged, this, &TFilterForm::onChanged);
    }
    for (QRadioButton *r : {FileNameRadioButtonWildcard, FileNameRadioButtonSingleFile, FolderRadioButtonContains,
                            FolderRadioButtonEmpty}) {
        connect(r, &QRadioButton::toggled, this, &TFilterForm::onChanged);
    }
    for (QRadioButton *r : DateRadios) {
        connect(r, &QRadioButton::toggled, this, &TFilterForm::onChanged);
    }
    for (RangedField *f : DateAmounts) {
        connect(f, &QSpinBox::valueChanged, this, &TFilterForm::onChanged);
    }
    connect(SizeValueEdit, &QSpinBox::valueChanged, this, &TFilterForm::onChanged);
    for (DayCountEdit *d :
         {DateTimePickerDateStart, DateTimePickerDateEnd, DateTimePickerTimeStart, DateTimePickerTimeEnd}) {
        connect(d, &DayCountEdit::storedValueChanged, this, &TFilterForm::onChanged);
    }
    for (QCheckBox *c : Attributes) {
        connect(c, &QCheckBox::toggled, this, &TFilterForm::onChanged);
    }
    connect(FileNameButtonBrowse, &QPushButton::clicked, this, &TFilterForm::browseFile);
    connect(FolderBrowseButton, &QPushButton::clicked, this, &TFilterForm::browseFolder);
    TranslateForm(this);
    load(m_draft);
}

void TFilterForm::buildFilePanel(QWidget *panel)
{
    FileNameRadioButtonWildcard =
        named(new QRadioButton(QStringLiteral("Name matching a wildcard:"), panel), "FileNameRadioButtonWildcard");
    FileNameEditWildcard = named(new QLineEdit(panel), "FileNameEditWildcard");
    FileNameLabelWildcardExample =
        label(panel, "FileNameLabelWildcardExample", QStringLiteral("Example: *.tmp;*.bak;~*;\"My notes*.txt\""));
    FileNameLabelMaskWarning = label(panel, "FileNameLabelMaskWarning", QString());
    setWarningPaint(FileNameLabelMaskWarning);
    FileNameLabelMaskWarning->hide();
    FileNameRadioButtonSingleFile = named(new QRadioButton(QStringLiteral("Is a single specified file:"), panel),
                                          "FileNameRadioButtonSingleFile");
    FileNameEditSingleFile = named(new QLineEdit(panel), "FileNameEditSingleFile");
    FileNameButtonBrowse = named(new QPushButton(QStringLiteral("Browse..."), panel), "FileNameButtonBrowse");
    FileNameLabelSingleFileNote = label(
        panel, "FileNameLabelSingleFileNote",
        QStringLiteral("Attention: Single specified file should be under Source folder path!"));
    FileNameLabelSingleFileExample =
        label(panel, "FileNameLabelSingleFileExample",
              QStringLiteral("Examples: /home/user/Documents/report.odt\n/home/user/Projects/notes/todo.txt"));
    auto *g = new QGridLayout(panel);
    g->addWidget(FileNameRadioButtonWildcard, 0, 0, 1, 2);
    g->addWidget(FileNameEditWildcard, 1, 0, 1, 2);
    g->addWidget(FileNameLabelWildcardExample, 2, 0, 1, 2);
    g->addWidget(FileNameLabelMaskWarning, 3, 0, 1, 2);
    g->addWidget(FileNameRadioButtonSingleFile, 4, 0, 1, 2);
    g->addWidget(FileNameEditSingleFile, 5, 0);
    g->addWidget(FileNameButtonBrowse, 5, 1);
    g->addWidget(FileNameLabelSingleFileNote, 6, 0, 1, 2);
    g->addWidget(FileNameLabelSingleFileExample, 7, 0, 1, 2);
    g->addWidget(label(panel, "FileNameLabelCaseNote",
                       QStringLiteral("NOTE: All file and folder names are case insensitive.")),
                 8, 0, 1, 2);
    g->setRowStretch(9, 1);
}

void TFilterForm::buildFolderPanel(QWidget *panel)
{
    FolderRadioButtonContains =
        named(new QRadioButton(QStringLiteral("Folder name/path contains:"), panel), "FolderRadioButtonContains");
    FolderEditName = named(new QLineEdit(panel), "FolderEditName");
    acceptFolderUris(FolderEditName);
    FolderBrowseButton = named(new QPushButton(QStringLiteral("Browse..."), panel), "FolderBrowseButton");
    FolderLabelExample =
        label(panel, "FolderLabelExample", QStringLiteral("Example: /.cache/ or /home/user/Downloads"));
    FolderRadioButtonEmpty =
        named(new QRadioButton(QStringLiteral("Empty folder (no files inside)"), panel), "FolderRadioButtonEmpty");
    FolderLabelEmptyNote =
        label(panel, "FolderLabelEmptyNote", QStringLiteral("This filter is applied after all other filters."));
    auto *g = new QGridLayout(panel);
    g->addWidget(FolderRadioButtonContains, 0, 0, 1, 2);
    g->addWidget(FolderEditName, 1, 0);
    g->addWidget(FolderBrowseButton, 1, 1);
    g->addWidget(FolderLabelExample, 2, 0, 1, 2);
    g->addWidget(FolderRadioButtonEmpty, 3, 0, 1, 2);
    g->addWidget(FolderLabelEmptyNote, 4, 0, 1, 2);
    g->setRowStretch(5, 1);
}

void TFilterForm::buildDatePanel(QWidget *panel)
{
    DateTimeComboBox = combo(panel, "DateTimeComboBox",
                             {QStringLiteral("Files Modified"), QStringLiteral("Files Created"),
                              QStringLiteral("Files Last Accessed")});
    auto *g = new QGridLayout(panel);
    g->addWidget(DateTimeComboBox, 0, 0, 1, 2);
    for (int i = 0; i < 6; ++i) {
        const QString text = i < 4 ? QStringLiteral("in the last")
                                   : (i == 4 ? QStringLiteral("date between") : QStringLiteral("time between"));
        DateRadios[i] = named(new QRadioButton(text, panel), kDateRadioNames[i]);
        g->addWidget(DateRadios[i], i + 1, 0);
    }
    for (int i = 0; i < 4; ++i) {
        DateAmounts[i] = named(new RangedField(0, 32767, panel), kDateAmountNames[i]);
        DateUnits[i] = label(panel, kDateUnitNames[i], QString::fromLatin1(kDateUnits[i]));
        g->addWidget(DateAmounts[i], i + 1, 1);
        g->addWidget(DateUnits[i], i + 1, 2);
    }
    DateTimePickerDateStart = named(new DayCountEdit(DayCountEdit::DatePart, panel), "DateTimePickerDateStart");
    DateTimePickerDateEnd = named(new DayCountEdit(DayCountEdit::DatePart, panel), "DateTimePickerDateEnd");
    DateTimePickerTimeStart = named(new DayCountEdit(DayCountEdit::TimePart, panel), "DateTimePickerTimeStart");
    DateTimePickerTimeEnd = named(new DayCountEdit(DayCountEdit::TimePart, panel), "DateTimePickerTimeEnd");
    DateTimeDateAndLabel = label(panel, "DateTimeDateAndLabel", QStringLiteral("and"));
    DateTimeTimeAndLabel = label(panel, "DateTimeTimeAndLabel", QStringLiteral("and"));
    g->addWidget(DateTimePickerDateStart, 5, 1);
    g->addWidget(DateTimeDateAndLabel, 5, 2);
    g->addWidget(DateTimePickerDateEnd, 5, 3);
    g->addWidget(DateTimePickerTimeStart, 6, 1);
    g->addWidget(DateTimeTimeAndLabel, 6, 2);
    g->addWidget(DateTimePickerTimeEnd, 6, 3);
    DateTimeRangeWarning = label(panel, "DateTimeRangeWarning", QString());
    setWarningPaint(DateTimeRangeWarning);
    DateTimeRangeWarning->hide();
    g->addWidget(DateTimeRangeWarning, 7, 0, 1, 4);
    g->setRowStretch(8, 1);
    g->setColumnStretch(3, 1);
}

void TFilterForm::buildAttributesPanel(QWidget *panel)
{
    auto *g = new QGridLayout(panel);
    g->addWidget(label(panel, "AttributesLabelNote", QStringLiteral("NTFS, Windows NT/2000/XP attributes:")), 0, 0,
                 1, 2);
    for (int i = 0; i < 6; ++i) {
        Attributes[i] = named(new QCheckBox(QString::fromLatin1(kAttributeCaptions[i]), panel), kAttributeNames[i]);
        g->addWidget(Attributes[i], 1 + i % 3, i / 3);
    }
    g->setRowStretch(4, 1);
}

void TFilterForm::buildSizePanel(QWidget *panel)
{
    SizeComboBoxKind = combo(panel, "SizeComboBoxKind",
                             {QStringLiteral("less than (<)"), QStringLiteral("equal to (=)"),
                              QStringLiteral("greater than (>)")});
    // The up-down and its entry field are one widget; the field keeps its own name.
    SizeValueEdit = named(new RangedField(0, 32767, panel), "SizeValueUpDown");
    SizeValueEdit->findChild<QLineEdit *>()->setObjectName(QStringLiteral("SizeValueEdit"));
    SizeComboBoxMeasure = combo(panel, "SizeComboBoxMeasure",
                                {QStringLiteral("Bytes"), QStringLiteral("KBytes"), QStringLiteral("MBytes")});
    auto *g = new QGridLayout(panel);
    g->addWidget(SizeComboBoxKind, 0, 0);
    g->addWidget(SizeValueEdit, 0, 1);
    g->addWidget(SizeComboBoxMeasure, 0, 2);
    g->setRowStretch(1, 1);
    g->setColumnStretch(3, 1);
}

void TFilterForm::load(const TTaskFilterItem &item)
{
    m_loading = true;
    m_draft = item;
    setIndex(MainComboBoxIncExcl, item.FilterType == fitInclude ? 0 : 1);
    setIndex(MainComboBoxKind, item.FilterKind);
    FileNameRadioButtonWildcard->setChecked(item.fnKind == fnkWildcard);
    FileNameRadioButtonSingleFile->setChecked(item.fnKind == fnkSingleFile);
    FileNameEditWildcard->setText(QString::fromStdString(item.fnWildcard));
    FileNameEditSingleFile->setText(QString::fromStdString(item.fnSingleFile));
    FolderRadioButtonContains->setChecked(item.frKind == frkContains);
    FolderRadioButtonEmpty->setChecked(item.frKind == frkEmpty);
    FolderEditName->setText(QString::fromStdString(item.frContains));
    setIndex(DateTimeComboBox, item.dtKind);
    for (int i = 0; i < 6; ++i) {
        DateRadios[i]->setChecked(static_cast<int>(item.dtSelector) == i);
    }
    const std::int32_t amounts[4] = {item.dtMonths, item.dtDays, item.dtHours, item.dtMinutes};
    for (int i = 0; i < 4; ++i) {
        DateAmounts[i]->setStoredValue(amounts[i]);
    }
    DateTimePickerDateStart->setStoredValue(item.dtDateBetweenStart);
    DateTimePickerDateEnd->setStoredValue(item.dtDateBetweenEnd);
    DateTimePickerTimeStart->setStoredValue(item.dtTimeBetweenStart);
    DateTimePickerTimeEnd->setStoredValue(item.dtTimeBetweenEnd);
    const bool attrs[6] = {item.atReadOnly, item.atArchive,    item.atHidden,
                           item.atSystem,   item.atCompressed, item.atEncrypted};
    for (int i = 0; i < 6; ++i) {
        Attributes[i]->setChecked(attrs[i]);
    }
    setIndex(SizeComboBoxKind, item.szKind);
    SizeValueEdit->setStoredValue(item.szValue);
    setIndex(SizeComboBoxMeasure, item.szMeasure);
    m_loading = false;
    onChanged();
}

void TFilterForm::store(TTaskFilterItem &item) const
{
    if (MainComboBoxIncExcl->currentIndex() >= 0) {
        item.FilterType = MainComboBoxIncExcl->currentIndex() == 0 ? fitInclude : fitExclude;
    }
    readIndex(MainComboBoxKind, item.FilterKind);
    if (FileNameRadioButtonWildcard->isChecked() || FileNameRadioButtonSingleFile->isChecked()) {
        item.fnKind = FileNameRadioButtonWildcard->isChecked() ? fnkWildcard : fnkSingleFile;
    }
    item.fnWildcard = FileNameEditWildcard->text().toStdString();
    item.fnSingleFile = FileNameEditSingleFile->text().toStdString();
    if (FolderRadioButtonContains->isChecked() || FolderRadioButtonEmpty->isChecked()) {
        item.frKind = FolderRadioButtonContains->isChecked() ? frkContains : frkEmpty;
    }
    item.frContains = FolderEditName->text().toStdString();
    readIndex(DateTimeComboBox, item.dtKind);
    for (int i = 0; i < 6; ++i) {
        if (DateRadios[i]->isChecked()) {
            item.dtSelector = static_cast<TFilterDateTimeSelector>(i);
        }
    }
    std::int32_t *amounts[4] = {&item.dtMonths, &item.dtDays, &item.dtHours, &item.dtMinutes};
    for (int i = 0; i < 4; ++i) {
        *amounts[i] = static_cast<std::int32_t>(DateAmounts[i]->storedValue());
    }
    item.dtDateBetweenStart = DateTimePickerDateStart->storedValue();
    item.dtDateBetweenEnd = DateTimePickerDateEnd->storedValue();
    item.dtTimeBetweenStart = DateTimePickerTimeStart->storedValue();
    item.dtTimeBetweenEnd = DateTimePickerTimeEnd->storedValue();
    bool *attrs[6] = {&item.atReadOnly, &item.atArchive,    &item.atHidden,
                      &item.atSystem,   &item.atCompressed, &item.atEncrypted};
    for (int i = 0; i < 6; ++i) {
        *attrs[i] = Attributes[i]->isChecked();
    }
    readIndex(SizeComboBoxKind, item.szKind);
    item.szValue = static_cast<std::int32_t>(SizeValueEdit->storedValue());
    readIndex(SizeComboBoxMeasure, item.szMeasure);
}

void TFilterForm::applyEnabling()
{
    FilterEnablingInput in;
    in.kind = MainComboBoxKind->currentIndex();
    in.wildcard = !FileNameRadioButtonSingleFile->isChecked();
    in.contains = !FolderRadioButtonEmpty->isChecked();
    in.dtSelector = -1;
    for (int i = 0; i < 6; ++i) {
        if (DateRadios[i]->isChecked()) {
            in.dtSelector = i;
        }
    }
    const FilterEnabling e = filterEnabling(in);
    for (int i = 0; i < 5; ++i) {
        Panels[i]->setVisible(e.panels[static_cast<std::size_t>(i)]);
        Panels[i]->setEnabled(e.panels[static_cast<std::size_t>(i)]);
    }
    setFieldColour(FileNameEditWildcard, e.wildcardField);
    FileNameLabelWildcardExample->setEnabled(e.wildcardExample);
    setFieldColour(FileNameEditSingleFile, e.singleFileField);
    for (QWidget *w : {static_cast<QWidget *>(FileNameButtonBrowse), static_cast<QWidget *>(FileNameLabelSingleFileNote),
                       static_cast<QWidget *>(FileNameLabelSingleFileExample)}) {
        w->setEnabled(e.singleFileBrowse);
    }
    setFieldColour(FolderEditName, e.folderField);
    FolderBrowseButton->setEnabled(e.folderBrowse);
    FolderLabelExample->setEnabled(e.folderBrowse);
    FolderLabelEmptyNote->setEnabled(e.folderEmptyNote);
    for (int i = 0; i < 4; ++i) {
        DateAmounts[i]->setEnabled(e.dateRows[static_cast<std::size_t>(i)]);
        DateUnits[i]->setEnabled(e.dateRows[static_cast<std::size_t>(i)]);
    }
    for (QWidget *w : {static_cast<QWidget *>(DateTimePickerDateStart), static_cast<QWidget *>(DateTimeDateAndLabel),
                       static_cast<QWidget *>(DateTimePickerDateEnd)}) {
        w->setEnabled(e.dateRows[4]);
    }
    for (QWidget *w : {static_cast<QWidget *>(DateTimePickerTimeStart), static_cast<QWidget *>(DateTimeTimeAndLabel),
                       static_cast<QWidget *>(DateTimePickerTimeEnd)}) {
        w->setEnabled(e.dateRows[5]);
    }
}

void TFilterForm::onChanged()
{
    if (m_loading) {
        return;
    }
    store(m_draft);
    TopEdit->setText(QString::fromStdString(m_draft.GetStrCaption()));
    TopEdit->setCursorPosition(0);
    applyEnabling();
    const std::vector<std::string> bad = m_draft.malformedMasks();
    QStringList names;
    for (const std::string &m : bad) {
        names << QString::fromStdString(m);
    }
    FileNameLabelMaskWarning->setText(
        bad.empty() ? QString()
                    : langText("This mask matches no name: %s", "strFilterMaskMatchesNoName")
                          .replace(QLatin1String("%s"), names.join(QStringLiteral("  "))));
    FileNameLabelMaskWarning->setVisible(!bad.empty());
    QString range;
    if (m_draft.dtSelector == fidtsDateBetween &&
        dateOfDayCount(m_draft.dtDateBetweenStart) > dateOfDayCount(m_draft.dtDateBetweenEnd)) {
        range = langText("The first date is after the second: no file matches.", "strFilterDatesReversed");
    } else if (m_draft.dtSelector == fidtsTimeBetween &&
               timeOfDayCount(m_draft.dtTimeBetweenStart) > timeOfDayCount(m_draft.dtTimeBetweenEnd)) {
        range = langText("The first time is after the second: no file matches.", "strFilterTimesReversed");
    }
    DateTimeRangeWarning->setText(range);
    DateTimeRangeWarning->setVisible(!range.isEmpty());
}

void TFilterForm::accept()
{
    if (MainComboBoxKind->currentIndex() == 0 && FileNameRadioButtonWildcard->isChecked() &&
        FileNameEditWildcard->text().trimmed().isEmpty()) {
        ShowError(this, langText("Please enter a wildcard mask, such as *.tmp.", "strFilterWildcardEmpty"));
        FileNameEditWildcard->setFocus();
        return;
    }
    QDialog::accept();
}

void TFilterForm::browseFile()
{
    FileDialogRequest request;
    request.caption = langText("Select file", "strFilterSelectFile");
    request.fileName = FileNameEditSingleFile->text();
    request.filters = QStringList{tr("All Files (*)")};
    const QString chosen = fileDialogs().openFileName(this, request);
    if (!chosen.isEmpty()) {
        FileNameEditSingleFile->setText(chosen);
    }
}

void TFilterForm::browseFolder()
{
    if (auto chosen = FolderPicker::instance().pickFolder(this, FolderEditName->text())) {
        FolderEditName->setText(*chosen);
    }
}

bool EditFilter(TTask &task, TTaskFilterItem &item, QWidget *parent)
{
    (void)task; // the owner of the item; the dialog needs nothing of it
    // The undo copy; a store that cannot take it never keeps the dialog from opening.
    saveEditCopy("EditFilter", [&item](const std::string &key) { item.SaveToRegistry(key); });
    TFilterForm form(parent);
    form.load(item);
    if (form.exec() != QDialog::Accepted) {
        return false;
    }
    TTaskFilterItem result = form.draft();
    form.store(result);
    item = result;
    return true;
}

} // namespace qv
