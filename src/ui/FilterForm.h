// FilterForm: one include or exclude rule of a task's filter list, with its live description.
#pragma once

#include "core/task/Filters.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qv {

class DayCountEdit;
class RangedField;
class TTask;

class TFilterForm : public QDialog
{
    Q_OBJECT
public:
    explicit TFilterForm(QWidget *parent = nullptr);

    // Every control from the item (the enabling follows the chosen kind and radio buttons).
    void load(const TTaskFilterItem &item);
    // Every control into the item, whatever the kind; untouched numbers and dates keep their values.
    void store(TTaskFilterItem &item) const;
    // The item as the controls show it now (the draft the description is made from).
    const TTaskFilterItem &draft() const { return m_draft; }
    void applyEnabling();
    // OK: a file-name filter needs a mask to match names with.
    void accept() override;

    QLineEdit *TopEdit;
    QComboBox *MainComboBoxIncExcl;
    QComboBox *MainComboBoxKind;
    QWidget *Panels[5];
    QRadioButton *FileNameRadioButtonWildcard;
    QRadioButton *FileNameRadioButtonSingleFile;
    QLineEdit *FileNameEditWildcard;
    QLabel *FileNameLabelWildcardExample;
    QLabel *FileNameLabelMaskWarning;
    QLineEdit *FileNameEditSingleFile;
    QPushButton *FileNameButtonBrowse;
    QLabel *FileNameLabelSingleFileNote;
    QLabel *FileNameLabelSingleFileExample;
    QRadioButton *FolderRadioButtonContains;
    QRadioButton *FolderRadioButtonEmpty;
    QLineEdit *FolderEditName;
    QPushButton *FolderBrowseButton;
    QLabel *FolderLabelExample;
    QLabel *FolderLabelEmptyNote;
    QComboBox *DateTimeComboBox;
    QRadioButton *DateRadios[6];
    RangedField *DateAmounts[4];
    QLabel *DateUnits[4];
    DayCountEdit *DateTimePickerDateStart;
    DayCountEdit *DateTimePickerDateEnd;
    DayCountEdit *DateTimePickerTimeStart;
    DayCountEdit *DateTimePickerTimeEnd;
    QLabel *DateTimeDateAndLabel;
    QLabel *DateTimeTimeAndLabel;
    QLabel *DateTimeRangeWarning;
    QCheckBox *Attributes[6];
    QComboBox *SizeComboBoxKind;
    RangedField *SizeValueEdit;
    QComboBox *SizeComboBoxMeasure;

private:
    void buildFilePanel(QWidget *panel);
    void buildFolderPanel(QWidget *panel);
    void buildDatePanel(QWidget *panel);
    void buildAttributesPanel(QWidget *panel);
    void buildSizePanel(QWidget *panel);
    void onChanged();
    void browseFile();
    void browseFolder();

    TTaskFilterItem m_draft;
    bool m_loading = false;
};

// Edits `item` of `task` in a modal dialog over `parent`; true when closed with OK (the item then
// holds the dialog's values), false otherwise (the item is as before). Writes the item's scratch copy
// under "\Temp\EditFilter" at every call.
bool EditFilter(TTask &task, TTaskFilterItem &item, QWidget *parent = nullptr);

} // namespace qv
