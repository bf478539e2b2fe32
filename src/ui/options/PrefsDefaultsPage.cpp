// PrefsDefaultsPage: the options dialog's "Task's Defaults" page.
#include "ui/options/PrefsDefaultsPage.h"

#include "components/AlphaImageList.h"
#include "components/LangText.h"
#include "components/MessageBox.h"
#include "components/RangedField.h"
#include "core/settings/Settings.h"
#include "core/task/TaskGroupDefaults.h"
#include "ui/options/PrefsRules.h"
#include "ui/taskprops/AlertsEditor.h"
#include "ui/taskprops/TaskGroupPage.h"
#include "ui/taskprops/TestEmail.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace qv {

namespace {

struct NodeInfo {
    const char *caption;
    const char *panel;
    int group; // TaskGroup, or -1 for the event alerts
};

const NodeInfo kNodes[PrefsDefaultsPage::NodeCount] = {
    {"Run Programs", "TaskRunPanel", int(TaskGroup::Run)},
    {"Auto Dial", "TaskDialPanel", int(TaskGroup::Dial)},
    {"Hardware Profile", "TaskHardwarePanel", int(TaskGroup::Hardware)},
    {"Limit bandwidth", "TaskBandwidthPanel", int(TaskGroup::Bandwidth)},
    {"Task Password", "TaskPasswordPanel", int(TaskGroup::Password)},
    {"Log Settings", "TaskLogPanel", int(TaskGroup::Log)},
    {"Event Alerts", "TaskEventsPanel", -1},
    {"CPU Performance", "TaskPerformancePanel", int(TaskGroup::Performance)},
    {"Power Management", "TaskPowerPanel", int(TaskGroup::Power)},
    {"Email Settings", "EmailPanel", int(TaskGroup::Email)},
};

template <class W> W *named(QWidget *root, const char *name)
{
    return root->findChild<W *>(QString::fromLatin1(name));
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
        auto *layout = new QVBoxLayout(m_panels[i]);
        layout->setContentsMargins(0, 0, 0, 0);
        if (kNodes[i].group >= 0) {
            m_groups[i] = new TaskGroupPage(static_cast<TaskGroup>(kNodes[i].group), GroupFlavour::Defaults,
                                            m_panels[i]);
            layout->addWidget(m_groups[i]);
        }
    }
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(TaskTree);
    layout->addWidget(m_stack, 1);
    connect(TaskTree, &QTreeWidget::currentItemChanged, this, [this] { TaskTreeChange(); });
    buildEventsPanel();
    buildPasswordControls();
    if (auto *test = named<QPushButton>(m_panels[EmailNode], "EmailTestButton")) {
        connect(test, &QPushButton::clicked, this, [this] { sendPanelTestEmail(); });
    }
    selectNode(0);
}

void PrefsDefaultsPage::buildEventsPanel()
{
    TaskEventsEditor = new AlertsEditor(QStringLiteral("TaskEvents"), m_panels[EventsNode]);
    m_panels[EventsNode]->layout()->addWidget(TaskEventsEditor);
    // A test message goes out with the e-mail settings as stored, not the unconfirmed entries of the
    // e-mail panel.
    connect(TaskEventsEditor, &AlertsEditor::sendTestRequested, this, [this](const QString &address) {
        sendTestEmail(this, programTestEmailSettings(address.toStdString()));
    });
    connect(TaskEventsEditor, &AlertsEditor::emailSettingsRequested, this, [this] { selectNode(EmailNode); });
    TaskEventsEditor->setDefaultRecipient([] { return QString::fromStdString(EmailTo); });
}

void PrefsDefaultsPage::buildPasswordControls()
{
    QWidget *panel = m_panels[PasswordNode];
    auto *box = new QWidget(panel);
    box->setObjectName(QStringLiteral("TaskPasswordCurrentBox"));
    TaskPasswordCurrentLabel = new QLabel(QStringLiteral("Current password:"), box);
    TaskPasswordCurrentLabel->setObjectName(QStringLiteral("TaskPasswordCurrentLabel"));
    TaskPasswordCurrentEdit = new QLineEdit(box);
    TaskPasswordCurrentEdit->setObjectName(QStringLiteral("TaskPasswordCurrentEdit"));
    TaskPasswordCurrentEdit->setEchoMode(QLineEdit::Password);
    TaskPasswordCurrentLabel->setBuddy(TaskPasswordCurrentEdit);
    TaskPasswordChangeCheckBox = new QCheckBox(QStringLiteral("Change password:"), box);
    TaskPasswordChangeCheckBox->setObjectName(QStringLiteral("TaskPasswordChangeCheckBox"));
    auto *grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(TaskPasswordCurrentLabel, 0, 0);
    grid->addWidget(TaskPasswordCurrentEdit, 0, 1);
    grid->addWidget(TaskPasswordChangeCheckBox, 1, 0, 1, 2);
    static_cast<QVBoxLayout *>(panel->layout())->insertWidget(0, box);
    // The keyboard walks the panel top to bottom: current password, the box, then the new entries.
    QWidget *previous = TaskPasswordChangeCheckBox;
    QWidget::setTabOrder(TaskPasswordCurrentEdit, TaskPasswordChangeCheckBox);
    for (const char *n : {"TaskPasswordNewEdit", "TaskPasswordConfirmEdit", "TaskPasswordReminderEdit"}) {
        if (auto *e = named<QLineEdit>(panel, n)) {
            QWidget::setTabOrder(previous, e);
            previous = e;
        }
    }
    connect(TaskPasswordCurrentEdit, &QLineEdit::textChanged, this, [this] { applyPasswordRules(); });
    connect(TaskPasswordChangeCheckBox, &QCheckBox::toggled, this, [this] { applyPasswordRules(); });
    for (const char *n : {"TaskPasswordNewEdit", "TaskPasswordConfirmEdit"}) {
        if (auto *e = named<QLineEdit>(panel, n)) {
            connect(e, &QLineEdit::textChanged, this, [this] { applyPasswordRules(); });
        }
    }
}

void PrefsDefaultsPage::applyPasswordRules()
{
    QWidget *panel = m_panels[PasswordNode];
    auto text = [panel](const char *n) {
        auto *e = named<QLineEdit>(panel, n);
        return e != nullptr ? e->text().toStdString() : std::string();
    };
    const prefs::PasswordRules r = prefs::passwordRules({Password, TaskPasswordCurrentEdit->text().toStdString(),
                                                         TaskPasswordChangeCheckBox->isChecked(),
                                                         text("TaskPasswordNewEdit"), text("TaskPasswordConfirmEdit")});
    TaskPasswordChangeCheckBox->setEnabled(r.changeEnabled);
    for (const char *n : {"TaskPasswordTextLabel", "TaskPasswordNewLabel", "TaskPasswordNewEdit",
                          "TaskPasswordConfirmLabel", "TaskPasswordConfirmEdit", "TaskPasswordReminderLabel",
                          "TaskPasswordReminderEdit"}) {
        if (auto *w = named<QWidget>(panel, n)) {
            w->setEnabled(r.entriesEnabled);
        }
    }
}

void PrefsDefaultsPage::sendPanelTestEmail()
{
    // The e-mail panel tests its own entries, confirmed or not.
    sendTestEmail(this, panelTestEmailSettings(m_panels[EmailNode]));
}

void PrefsDefaultsPage::fitTreeWidth()
{
    const int labels = static_cast<const QAbstractItemView *>(TaskTree)->sizeHintForColumn(0);
    const int chrome = 2 * TaskTree->frameWidth() +
                       TaskTree->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, TaskTree) + 4;
    TaskTree->setFixedWidth(std::max(170, labels + chrome));
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
    readTaskDefaults(m_draft);
    for (TaskGroupPage *page : m_groups) {
        if (page != nullptr) {
            page->load(m_draft);
        }
    }
    TaskEventsEditor->load(m_draft.EventAlerts);
    // A unit text the list does not hold selects nothing, and is kept.
    m_loadedMeasure = BandwidthMeasure;
    if (BandwidthMeasure != "KBits" && BandwidthMeasure != "MBits") {
        named<QComboBox>(m_panels[BandwidthNode], "TaskBandwidthMeasureComboBox")->setCurrentIndex(-1);
    }
    // A battery mode other than abort or suspend shows "Continue", which is what it means.
    if (PowerBatteryMode != "A" && PowerBatteryMode != "S") {
        named<QRadioButton>(m_panels[PowerNode], "TaskPowerBatteryContinueRadioButton")->setChecked(true);
    }
    TaskPasswordCurrentEdit->clear();
    TaskPasswordChangeCheckBox->setChecked(false);
    applyPasswordRules();
}

void PrefsDefaultsPage::store()
{
    const std::string password = Password;
    const std::string reminder = PasswordReminder;
    for (TaskGroupPage *page : m_groups) {
        if (page != nullptr) {
            page->store(m_draft);
        }
    }
    TaskEventsEditor->store(m_draft.EventAlerts);
    QWidget *p = m_panels[PasswordNode];
    const prefs::PasswordRules r = prefs::passwordRules(
        {password, TaskPasswordCurrentEdit->text().toStdString(), TaskPasswordChangeCheckBox->isChecked(),
         named<QLineEdit>(p, "TaskPasswordNewEdit")->text().toStdString(),
         named<QLineEdit>(p, "TaskPasswordConfirmEdit")->text().toStdString()});
    if (r.entriesEnabled) {
        m_draft.Protection.Password = named<QLineEdit>(p, "TaskPasswordNewEdit")->text().toStdString();
        m_draft.Protection.Reminder = named<QLineEdit>(p, "TaskPasswordReminderEdit")->text().toStdString();
    } else {
        m_draft.Protection.Password = password;
        m_draft.Protection.Reminder = reminder;
    }
    writeTaskDefaults(m_draft);
    if (named<QComboBox>(m_panels[BandwidthNode], "TaskBandwidthMeasureComboBox")->currentIndex() < 0) {
        BandwidthMeasure = m_loadedMeasure;
    }
}

bool PrefsDefaultsPage::canClose()
{
    QWidget *p = m_panels[PasswordNode];
    const prefs::PasswordRules r = prefs::passwordRules(
        {Password, TaskPasswordCurrentEdit->text().toStdString(), TaskPasswordChangeCheckBox->isChecked(),
         named<QLineEdit>(p, "TaskPasswordNewEdit")->text().toStdString(),
         named<QLineEdit>(p, "TaskPasswordConfirmEdit")->text().toStdString()});
    if (!r.mayClose) {
        emit showRequested();
        selectNode(PasswordNode);
        named<QLineEdit>(p, "TaskPasswordNewEdit")->setFocus();
        ShowMessageBox(this,
                       langText("The two \"Tasks Protection\" passwords entries do not match. Please reenter passwords.",
                                "strPreferencesPasswordEntriesDoNotMatch"),
                       langText("Error", "strError"), MB_OK | MB_ICONERROR);
        return false;
    }
    for (TaskGroupPage *page : m_groups) {
        if (page != nullptr && page->group() != TaskGroup::Password && !page->validate()) {
            return false;
        }
    }
    return true;
}

} // namespace qv
