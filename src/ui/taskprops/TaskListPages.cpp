// The factories of the pages that keep their own classes: the source, filter and schedule lists,
// the systemd timer and the event alerts.
#include "ui/taskprops/TaskPages.h"

#include "ui/taskprops/TaskEventsPage.h"
#include "ui/taskprops/TaskFiltersPage.h"
#include "ui/taskprops/TaskSchedulesPage.h"
#include "ui/taskprops/TaskSourcesPage.h"
#include "ui/taskprops/TaskSystemTimerPage.h"

namespace qv {

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
