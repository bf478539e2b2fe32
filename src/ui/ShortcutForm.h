// ShortcutForm: the dialog that makes a shortcut file starting one task.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qv {

class TTask;

class ShortcutForm : public QDialog
{
    Q_OBJECT
public:
    explicit ShortcutForm(QWidget *parent = nullptr);

    // Fills the name ("Start" + task name) and remembers the task's ID.
    void setTask(const TTask &task);

    // The chosen place (ShortcutPlace).
    int place() const;
    // The arguments the shortcut starts the program with.
    std::vector<std::string> arguments() const;
    // The file written by the last successful OK.
    const std::string &createdPath() const { return m_created; }

    // Writes the shortcut; on any failure shows the reason and keeps the dialog open. An existing
    // file of that name is replaced only after a Yes.
    void accept() override;

    QLineEdit *EditShortcutName;
    QRadioButton *RadioButtonDesktop;
    QRadioButton *RadioButtonStartMenu;
    QRadioButton *RadioButtonAutoRun;
    QRadioButton *RadioButtonPrograms;
    QRadioButton *RadioButtonOther;
    QLineEdit *EditOtherFolder;
    QPushButton *BrowseOtherFolderButton;
    QCheckBox *CheckBoxShutdown;

private:
    void updateOtherFolder();
    void browse();

    std::string m_taskId;
    std::string m_created;
};

// The shortcut dialog for a task.
void ShowShortcutDialog(QWidget *parent, TTask &task);

// Writes the shortcut `name` starting the program with `arguments` into the folder of `place`
// (`otherFolder` for spOther) and returns its path. Throws std::runtime_error with the reason.
std::string CreateShortcut(const std::string &name, const std::vector<std::string> &arguments, int place,
                           const std::string &otherFolder);

// The program the shortcuts start: this executable unless set (tests point it at the built program).
void setShortcutProgramPath(const std::string &path);

} // namespace qv
