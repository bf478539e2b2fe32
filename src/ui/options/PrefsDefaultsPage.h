// PrefsDefaultsPage: the options dialog's "Task's Defaults" page: a navigator tree over ten panels
// holding the program-wide defaults of the task settings groups.
#pragma once

#include <QWidget>

class QStackedWidget;
class QTreeWidget;

namespace qv {

class AlertsEditor;
class TAlphaImageList;

class PrefsDefaultsPage : public QWidget
{
    Q_OBJECT
public:
    enum Node { RunNode, DialNode, HardwareNode, BandwidthNode, PasswordNode, LogNode, EventsNode, PerformanceNode,
                PowerNode, EmailNode, NodeCount };

    PrefsDefaultsPage(TAlphaImageList *navigatorImages, QWidget *parent = nullptr);

    // From the "\Tasks Defaults" settings.
    void load();
    // Into the settings (after OK).
    void store();
    // Whether OK may close the dialog; when not, the page has shown why.
    bool canClose();

    // Selects tree node `index` (out of range: none) and shows its panel.
    void selectNode(int index);
    // The selected node's index, -1 for none.
    int selectedNode() const;
    QWidget *panel(int index) const { return m_panels[index]; }

    QTreeWidget *TaskTree;
    // The event alerts of the three run modes, edited on a copy that OK commits.
    AlertsEditor *TaskEventsEditor;

private:
    void TaskTreeChange();
    void buildEventsPanel();

    QStackedWidget *m_stack;
    QWidget *m_panels[NodeCount];
};

} // namespace qv
