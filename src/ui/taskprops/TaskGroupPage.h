// TaskGroupPage: the page of one task settings group (Run Programs .. Email Settings).
//
// The same page serves two dialogs. In the task flavour (task properties) it carries the radio pair
// default/custom bound to the group's UseDefault flag, and its controls have the names of the task
// dialog (RunBeforeCheckBox). In the defaults flavour (the options dialog's task defaults) it has
// no radio pair, is always active, and its controls are named with a "Task" prefix
// (TaskRunBeforeCheckBox) except the e-mail controls, which keep their names in both. The controls
// come from one .ui file per group. The event-alerts group has its own page.
#pragma once

#include "ui/taskprops/TaskPropertiesPage.h"

class QButtonGroup;
class QRadioButton;

namespace qv {

enum class TaskGroup { Run, Dial, Hardware, Bandwidth, Password, Log, Performance, Power, Email };
enum class GroupFlavour { Task, Defaults };

class TaskGroupPage : public TaskPropertiesPage
{
    Q_OBJECT
public:
    TaskGroupPage(TaskGroup group, GroupFlavour flavour, QWidget *parent = nullptr);

    TaskGroup group() const { return m_group; }
    GroupFlavour flavour() const { return m_flavour; }
    // "Run", "Dial", "Hardware", "Bandwidth", "Password", "Log", "Performance", "Power", "Email".
    static QString prefix(TaskGroup group);
    // Every control name of the task flavour that the group's rules and fill use.
    static QStringList controlNames(TaskGroup group);
    // The name a task-flavour control has in this page's flavour.
    QString flavourName(const QString &taskName) const;
    // The control named `taskName` in the task flavour (nullptr when absent).
    template <class W> W *control(const char *taskName) const
    {
        return findChild<W *>(flavourName(QString::fromLatin1(taskName)));
    }

    void load(const TaskSettings &s) override;
    void store(TaskSettings &s) const override;
    bool validate() override;

    // Whether the group's own values count: the custom radio button (task flavour), always in the
    // defaults flavour. Setting it checks the radio pair and applies the group's inner rule.
    void setGroupActive(bool active);
    bool groupActive() const;
    // Applies the group's enabling rule for the current state (the task dialog's CheckState calls it).
    void applyRule();
    // The Auto Dial combo box's own rule: the disconnect box only with a connection chosen.
    void applyDialChoiceRule();
    // The e-mail page's authentication rule.
    void applyEmailAuthRule();

    QRadioButton *UseDefaultRadioButton = nullptr; // task flavour only
    QRadioButton *UseCustomRadioButton = nullptr;

private:
    void buildRadioPair();
    void renameForDefaults();
    void connectTriggers();
    void loadFields(const TaskSettings &s);
    void storeFields(TaskSettings &s) const;
    void fillEmailDefaults();
    void browseProgram(const char *editName);

    TaskGroup m_group;
    GroupFlavour m_flavour;
    QWidget *m_body = nullptr;
    // Task password: whether the user edited one of the two entries since load().
    bool m_passwordEdited = false;
};

// The localised "[none]" of the dial-up list.
QString dialNoneText();

} // namespace qv
