// TaskFiltersPage: the "File Filters" page of the task properties dialog.
//
// The task's ordered filter list (upper rows win), edited in the dialog's draft: every change (a
// check box toggled by mouse or keyboard, add, modify, remove, move) goes into the draft at once,
// so Cancel drops them all. "Test Current Filters..." runs the filter test of the stored task with
// this page's filters and the destination as the dialog shows it, on a copy made at the click.
#pragma once

#include "ui/taskprops/TaskPropertiesPage.h"

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace qv {

class TaskFiltersPage : public TaskPropertiesPage
{
    Q_OBJECT
public:
    explicit TaskFiltersPage(QWidget *parent = nullptr);

    void load(const TaskSettings &s) override;
    void store(TaskSettings &s) const override;

    // The list as the page holds it.
    const TTaskFiltersList &filters() const { return m_filters; }
    int selectedRow() const;
    void selectRow(int row);

    // The filter dialog; tests install their own. True when the item was changed (OK).
    using FilterEditor = std::function<bool(TTaskFilterItem &item)>;
    void setFilterEditor(FilterEditor editor) { m_editFilter = std::move(editor); }

    void addFilter();
    void modifyFilter();
    void removeFilter();
    void moveFilter(int delta);
    void testFilters();
    // Rebuilds the rows from the list, keeping the selected filter selected.
    void updateFiltersListView();
    // Enables the buttons and menu items for the selection.
    void updateButtons();

    QLabel *FilesFilterLabel = nullptr;
    QTreeWidget *FilesFilterListView = nullptr;
    QPushButton *FilesFilterAddButton = nullptr;
    QPushButton *FilesFilterModifyButton = nullptr;
    QPushButton *FilesFilterRemoveButton = nullptr;
    QPushButton *FilesFilterMoveUpButton = nullptr;
    QPushButton *FilesFilterMoveDownButton = nullptr;
    QPushButton *FilesFilterTestButton = nullptr;
    QMenu *FilesFilterPopupMenu = nullptr;

private:
    void changed();
    void rowToggled(int row, bool checked);
    std::string currentDestLocal() const;
    QString reportPath(const std::string &taskName);

    TTaskFiltersList m_filters;
    FilterEditor m_editFilter;
    QAction *m_menuModify = nullptr;
    QAction *m_menuRemove = nullptr;
    QAction *m_menuUp = nullptr;
    QAction *m_menuDown = nullptr;
    bool m_filling = false;
};

} // namespace qv
