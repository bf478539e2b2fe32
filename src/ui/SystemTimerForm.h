// The dialog that edits the calendar triggers of a task's system timer.
//
// Each expression is checked by the system's own calendar parser before it enters the list, so a
// timer is never written with a trigger the system would refuse; the check's normalised form and
// next start are shown beside it.
#pragma once

#include "platform/SystemScheduler.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace qv {

class SystemTimerForm : public QDialog
{
    Q_OBJECT
public:
    using Checker = std::function<SystemScheduler::CalendarCheck(const std::string &expression)>;

    // `checker` defaults to the system scheduler's own check.
    SystemTimerForm(const std::string &title, const std::vector<std::string> &calendars, QWidget *parent = nullptr,
                    Checker checker = {});

    std::vector<std::string> calendars() const;

    // Shows the dialog modally; on OK `calendars` takes the list. Installed as the core's editor.
    static bool edit(const std::string &title, std::vector<std::string> &calendars);

private:
    void addClicked();
    void editClicked();
    void removeClicked();
    void selectionChanged();
    void updateState();
    // Checks the expression in the edit box and shows the result; true when accepted.
    bool checkExpression(std::string &expression);

    Checker m_checker;
    QLabel *m_title = nullptr;
    QListWidget *m_list = nullptr;
    QLineEdit *m_expression = nullptr;
    QLabel *m_check = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_edit = nullptr;
    QPushButton *m_remove = nullptr;
};

} // namespace qv
