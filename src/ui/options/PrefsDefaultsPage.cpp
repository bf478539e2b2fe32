// PrefsDefaultsPage: the options dialog's "Task's Defaults" page.
#include "ui/options/PrefsDefaultsPage.h"

#include "components/AlphaImageList.h"
#include "core/settings/Settings.h"
#include "core/task/TaskAlertTable.h"
#include "ui/taskprops/AlertsEditor.h"
#include "ui/taskprops/TestEmail.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qv {

namespace {

struct NodeInfo {
    const char *caption;
    const char *panel;
};

const NodeInfo kNodes[PrefsDefaultsPage::NodeCount] = {
    {"Run Programs", "TaskRunPanel"},         {"Auto Dial", "TaskDialPanel"},
    {"Hardware Profile", "TaskHardwarePanel"}, {"Limit bandwith", "TaskBandwidthPanel"},
    {"Task Password", "TaskPasswordPanel"},    {"Log Settings", "TaskLogPanel"},
    {"Event Alerts", "TaskEventsPanel"},       {"CPU Performance", "TaskPerformancePanel"},
    {"Power Management", "TaskPowerPanel"},    {"Email Settings", "EmailPanel"},
};

// The program-wide alert values ("Events" + mode + event + item) as one set, and back.
TEventAlertValues programAlertValues()
{
    TEventAlertValues v;
#define QV_READ_ALERT(M, E, I, T, NEW, ABS, PROG) v.M##E##I = Events##M##E##I;
    QV_TASK_ALERTS(QV_READ_ALERT)
#undef QV_READ_ALERT
    return v;
}

void setProgramAlertValues(const TEventAlertValues &v)
{
#define QV_WRITE_ALERT(M, E, I, T, NEW, ABS, PROG) Events##M##E##I = v.M##E##I;
    QV_TASK_ALERTS(QV_WRITE_ALERT)
#undef QV_WRITE_ALERT
}

} // namespace

PrefsDefaultsPage::PrefsDefaultsPage(TAlphaImageList *navigatorImages, QWidget *parent) : QWidget(parent)
{
    TaskTree = new QTreeWidget(this);
    TaskTree->setObjectName(QStringLiteral("TaskTree"));
    TaskTree->setHeaderHidden(true);
    TaskTree->setRootIsDecorated(false);
    TaskTree->setItemsExpandable(false);
    TaskTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TaskTree->setIconSize(QSize(16, 16));
    TaskTree->setMaximumWidth(170);
    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(QStringLiteral("TaskPanels"));
    for (int i = 0; i < NodeCount; ++i) {
        auto *item = new QTreeWidgetItem(TaskTree, {QString::fromLatin1(kNodes[i].caption)});
        if (navigatorImages != nullptr && i < navigatorImages->Count()) {
            item->setIcon(0, navigatorImages->icon(i));
        }
        m_panels[i] = new QWidget(m_stack);
        m_panels[i]->setObjectName(QString::fromLatin1(kNodes[i].panel));
        m_stack->addWidget(m_panels[i]);
    }
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(TaskTree);
    layout->addWidget(m_stack, 1);
    connect(TaskTree, &QTreeWidget::currentItemChanged, this, [this] { TaskTreeChange(); });
    buildEventsPanel();
    selectNode(0);
}

void PrefsDefaultsPage::buildEventsPanel()
{
    TaskEventsEditor = new AlertsEditor(QStringLiteral("TaskEvents"), m_panels[EventsNode]);
    auto *layout = new QVBoxLayout(m_panels[EventsNode]);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(TaskEventsEditor);
    // A test message goes out with the e-mail settings as stored, not the unconfirmed entries of the
    // e-mail panel.
    connect(TaskEventsEditor, &AlertsEditor::sendTestRequested, this, [this](const QString &address) {
        sendTestEmail(this, programTestEmailSettings(address.toStdString()));
    });
    connect(TaskEventsEditor, &AlertsEditor::emailSettingsRequested, this, [this] { selectNode(EmailNode); });
}

void PrefsDefaultsPage::TaskTreeChange()
{
    const int node = selectedNode();
    if (node >= 0) {
        m_stack->setCurrentIndex(node);
    }
}

void PrefsDefaultsPage::selectNode(int index)
{
    if (index < 0 || index >= NodeCount) {
        TaskTree->setCurrentItem(nullptr);
        return;
    }
    TaskTree->setCurrentItem(TaskTree->topLevelItem(index));
    TaskTreeChange();
}

int PrefsDefaultsPage::selectedNode() const
{
    QTreeWidgetItem *item = TaskTree->currentItem();
    return item == nullptr ? -1 : TaskTree->indexOfTopLevelItem(item);
}

void PrefsDefaultsPage::load()
{
    TaskEventsEditor->setDefaultRecipient([] { return QString::fromStdString(EmailTo); });
    TaskEventsEditor->load(programAlertValues());
}

void PrefsDefaultsPage::store()
{
    TEventAlertValues alerts = programAlertValues();
    TaskEventsEditor->store(alerts);
    setProgramAlertValues(alerts);
}

bool PrefsDefaultsPage::canClose()
{
    return true;
}

} // namespace qv
