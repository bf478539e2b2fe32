// TaskFieldPage: a page of the task properties dialog made of plain fields bound to the draft.
//
// Most pages of the dialog are rows of check boxes, edits, number boxes and radio sets, each bound
// to one setting. A page lists its rows once; load and store walk the same list, so a control
// cannot be filled and forgotten on the way back. A page built from a form file binds its named
// controls the same way (bindCheck, bindRadios).
#pragma once

#include "ui/taskprops/TaskPropertiesPage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QGridLayout;
class QLineEdit;
class QRadioButton;

namespace qv {

class RangedField;

class TaskFieldPage : public TaskPropertiesPage
{
    Q_OBJECT
public:
    explicit TaskFieldPage(QWidget *parent = nullptr);

    using BoolRef = std::function<bool &(TaskSettings &)>;
    using TextRef = std::function<std::string &(TaskSettings &)>;
    using IntRef = std::function<std::int32_t &(TaskSettings &)>;

    // Rows, top to bottom. Each returns its control, named `name`.
    QWidget *label(const char *name, const QString &text);
    QWidget *check(const char *name, const QString &caption, BoolRef ref);
    QLineEdit *edit(const char *name, const QString &caption, TextRef ref, bool masked = false,
                    const char *labelName = nullptr);
    // A folder edit with its Browse button (through the folder picker).
    QLineEdit *folder(const char *name, const char *buttonName, const QString &caption, TextRef ref,
                      const char *labelName = nullptr);
    // A number box named `upDownName` whose edit is named `name`; untouched values store unchanged.
    RangedField *number(const char *name, const char *upDownName, const QString &caption, int minimum, int maximum,
                        IntRef ref, const char *labelName = nullptr);
    // A set of radio buttons for the values 0..n-1 of one setting; `store` decides from the buttons.
    void radios(const std::vector<std::pair<const char *, QString>> &buttons,
                std::function<int(const TaskSettings &)> get, std::function<void(TaskSettings &, int checked)> set);
    void stretch();
    // Any other control on a row of its own.
    QWidget *row(QWidget *w);

    // Bindings of controls that already exist on the page (built from a form file), found by name.
    void bindCheck(const char *name, BoolRef ref);
    QLineEdit *bindEdit(const char *name, TextRef ref);
    // A folder edit and its Browse button (through the folder picker).
    QLineEdit *bindFolder(const char *name, const char *buttonName, TextRef ref);
    // The number box `upDownName`: its range, its edit's name `name`, and the setting.
    RangedField *bindNumber(const char *name, const char *upDownName, int minimum, int maximum, IntRef ref);
    void bindRadios(const std::vector<const char *> &names, std::function<int(const TaskSettings &)> get,
                    std::function<void(TaskSettings &, int checked)> set);

    void load(const TaskSettings &s) override;
    void store(TaskSettings &s) const override;

protected:
    QGridLayout *m_grid;
    int m_row = 0;

private:
    std::vector<std::function<void(const TaskSettings &)>> m_loaders;
    std::vector<std::function<void(TaskSettings &)>> m_storers;
};

// The checked button's index in `buttons`, -1 when none is checked.
int checkedIndex(const std::vector<QRadioButton *> &buttons);

} // namespace qv
