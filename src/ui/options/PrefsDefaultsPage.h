// PrefsDefaultsPage: the options dialog's "Task's Defaults" page: a navigator tree over ten panels
// holding the program-wide defaults of the task settings groups.
//
// The panels are the task dialog's group pages in their defaults flavour and its alerts editor,
// working on a draft of the "\Tasks Defaults" values that OK writes back. The default password
// has its own variant here: it is changed only after the current one is typed.
#pragma once

#include "core/task/TaskSettings.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QStackedWidget;
class QTreeWidget;

namespace qv {

class AlertsEditor;
class TAlphaImageList;
class TaskGroupPage;

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
    // Whether OK may close the dialog; when not, the page has shown why and where.
    bool canClose();

    // Selects tree node `index` (out of range: none) and shows its panel.
    void selectNode(int index);
    // The node list as wide as its longest label in its font (after a translation, too).
    void fitTreeWidth();
    // The selected node's index, -1 for none.
    int selectedNode() const;
    QWidget *panel(int index) const { return m_panels[index]; }
    // The group page of a node (nullptr for the event alerts).
    TaskGroupPage *groupPage(int node) const { return m_groups[node]; }

    QTreeWidget *TaskTree;
    AlertsEditor *TaskEventsEditor;
    QLabel *TaskPasswordCurrentLabel;
    QLineEdit *TaskPasswordCurrentEdit;
    QCheckBox *TaskPasswordChangeCheckBox;

signals:
    // A panel asks for the dialog's attention (the password mismatch brings the page to the front).
    void showRequested();

private:
    void TaskTreeChange();
    void buildEventsPanel();
    void buildPasswordControls();
    void applyPasswordRules();
    void sendPanelTestEmail();

    QStackedWidget *m_stack;
    QWidget *m_panels[NodeCount];
    TaskGroupPage *m_groups[NodeCount] = {};
    TaskSettings m_draft;
    std::string m_loadedMeasure; // BandwidthMeasure as stored (kept when no unit is chosen)
};

} // namespace qv
