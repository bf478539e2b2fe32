// The list and events pages until their own classes take over: each keeps the draft's values as
// they are and shows what it holds.
#include "ui/taskprops/TaskPages.h"

#include "core/task/Task.h"
#include "ui/taskprops/TaskEventsPage.h"
#include "ui/taskprops/TaskFieldPage.h"
#include "ui/taskprops/TaskFiltersPage.h"
#include "ui/taskprops/TaskSchedulesPage.h"
#include "ui/taskprops/TaskSourcesPage.h"
#include "ui/taskprops/TaskSystemTimerPage.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qv {
namespace {

// A page that shows a summary of a list and never changes it.
class SummaryPage : public TaskPropertiesPage
{
public:
    SummaryPage(QWidget *parent, std::function<QString(const TaskSettings &)> summary)
        : TaskPropertiesPage(parent), m_summary(std::move(summary))
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        m_label = new QLabel(this);
        m_label->setWordWrap(true);
        layout->addWidget(m_label);
        layout->addStretch(1);
    }
    void load(const TaskSettings &s) override { m_label->setText(m_summary(s)); }
    void store(TaskSettings &) const override {}

private:
    std::function<QString(const TaskSettings &)> m_summary;
    QLabel *m_label;
};

} // namespace

TaskPropertiesPage *createSourcePage(QWidget *parent)
{
    return new TaskSourcesPage(parent);
}

TaskPropertiesPage *createFileFilterPage(QWidget *parent)
{
    return new TaskFiltersPage(parent);
}

TaskPropertiesPage *createInternalSchedulePage(QWidget *parent)
{
    return new TaskSchedulesPage(parent);
}

TaskPropertiesPage *createMSSchedulePage(QWidget *parent)
{
    return new TaskSystemTimerPage(parent);
}

TaskPropertiesPage *createEventsPage(QWidget *parent)
{
    return new TaskEventsPage(parent);
}

} // namespace qv
