// TaskPropertiesPage: what every page of the task properties dialog implements.
//
// The dialog edits a draft (TaskSettings), never the task: each page fills its controls from the
// draft (load) and writes them back (store); the dialog commits the draft on OK and drops it on
// Cancel. A page tells the dialog through stateChanged() when a control changed that the enabling
// rules read, and through pageRequested() when a link of it jumps to another page. What a page may
// reach beyond its own controls while the dialog is open comes through TaskPageContext.
#pragma once

#include "core/task/TaskSettings.h"

#include <QString>
#include <QWidget>

#include <string>

namespace qv {

class TTask;

// The dialog as its pages see it. Absent (null) when a page stands alone, as in tests.
class TaskPageContext
{
public:
    virtual ~TaskPageContext() = default;
    // The task being edited: its ID, name and runs. Its settings are the draft's business.
    virtual TTask *task() const = 0;
    // The live draft. Pages write their own values on store(); lists edited in place (filters,
    // schedules, alerts) may write here at once.
    virtual TaskSettings &draft() = 0;
    // `text` with the task's path variables expanded over the draft's current folders.
    virtual std::string expand(const std::string &text) const = 0;
};

class TaskPropertiesPage : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Called once, before the first load().
    virtual void setContext(TaskPageContext *context) { m_context = context; }
    TaskPageContext *context() const { return m_context; }

    // Fills the page's controls from `s`.
    virtual void load(const TaskSettings &s) = 0;
    // Writes the page's controls into `s`; values the page does not edit stay as they are.
    virtual void store(TaskSettings &s) const = 0;
    // Called on OK before store(). False keeps the dialog open; the page has then shown its
    // message and focused the control to correct.
    virtual bool validate() { return true; }

signals:
    // A control changed that the dialog's enabling rules read.
    void stateChanged();
    // A link of this page asks to show the page with this object name (e.g. "EmailTabSheet");
    // `focusPage`: the keyboard focus moves into that page, else it stays where it is.
    void pageRequested(const QString &pageObjectName, bool focusPage = false);

private:
    TaskPageContext *m_context = nullptr;
};

} // namespace qv
