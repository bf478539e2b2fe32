// The pages of the task properties dialog, one creating function per page, in page order.
//
// The dialog builds its pages only through these functions, so a page can be replaced by changing
// the one function that creates it.
#pragma once

class QWidget;

namespace qv {

class TaskPropertiesPage;

TaskPropertiesPage *createNamePage(QWidget *parent);
TaskPropertiesPage *createTypePage(QWidget *parent);
TaskPropertiesPage *createSourcePage(QWidget *parent);
TaskPropertiesPage *createDestinationPage(QWidget *parent);
TaskPropertiesPage *createDestLocalPage(QWidget *parent);
TaskPropertiesPage *createDestFtpPage(QWidget *parent);
TaskPropertiesPage *createDestCdDvdPage(QWidget *parent);
TaskPropertiesPage *createDestEmailPage(QWidget *parent);
TaskPropertiesPage *createCompressPage(QWidget *parent);
TaskPropertiesPage *createFileFilterPage(QWidget *parent);
TaskPropertiesPage *createAutoRunPage(QWidget *parent);
TaskPropertiesPage *createFolderMonitorPage(QWidget *parent);
TaskPropertiesPage *createInternalSchedulePage(QWidget *parent);
TaskPropertiesPage *createMSSchedulePage(QWidget *parent);
TaskPropertiesPage *createOptionsPage(QWidget *parent);
TaskPropertiesPage *createVersionsPage(QWidget *parent);
TaskPropertiesPage *createObsoletePage(QWidget *parent);
TaskPropertiesPage *createAdvancedPage(QWidget *parent);
// Pages 18..27: the settings groups (the events group has its own page).
TaskPropertiesPage *createEventsPage(QWidget *parent);

} // namespace qv
