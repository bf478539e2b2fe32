// PrefsDefaultsPage: the options dialog's "Task's Defaults" page.
#include "ui/options/PrefsDefaultsPage.h"

#include "components/AlphaImageList.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QStackedWidget>
#include <QTreeWidget>

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
    selectNode(0);
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

void PrefsDefaultsPage::load() {}

void PrefsDefaultsPage::store() {}

bool PrefsDefaultsPage::canClose()
{
    return true;
}

} // namespace qv
