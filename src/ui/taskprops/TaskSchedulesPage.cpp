// TaskSchedulesPage: the "Internal Schedule" page of the task properties dialog.
#include "ui/taskprops/TaskSchedulesPage.h"

#include "components/MessageBox.h"
#include "core/text/Language.h"
#include "ui/ScheduleForm.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>

namespace qv {

namespace {

// Lines of a fixed height (two lines of text) whose caption wraps inside the line, 2 pixels in.
class WrappingDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        opt.rect.adjust(2, 2, -2, -2);
        opt.features |= QStyleOptionViewItem::WrapText;
        opt.textElideMode = Qt::ElideNone;
        QStyledItemDelegate::paint(painter, opt, index);
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QSize base = QStyledItemDelegate::sizeHint(option, index);
        return {base.width(), option.fontMetrics.lineSpacing() * 2 + 6};
    }
};

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

TaskSchedulesPage::TaskSchedulesPage(QWidget *parent) : TaskPropertiesPage(parent)
{
    setObjectName(QStringLiteral("InternalScheduleTabSheet"));
    auto *grid = new QGridLayout(this);
    InternalScheduleLabel1 = new QLabel(tr("Start the task at these times (Internal Scheduler):"), this);
    InternalScheduleLabel1->setObjectName(QStringLiteral("InternalScheduleLabel1"));
    grid->addWidget(InternalScheduleLabel1, 0, 0, 1, 2);
    InternalScheduleListBox = new QListWidget(this);
    InternalScheduleListBox->setObjectName(QStringLiteral("InternalScheduleListBox"));
    InternalScheduleListBox->setWordWrap(true);
    InternalScheduleListBox->setUniformItemSizes(true);
    InternalScheduleListBox->setItemDelegate(new WrappingDelegate(InternalScheduleListBox));
    grid->addWidget(InternalScheduleListBox, 1, 0, 4, 1);
    InternalScheduleAddButton = button(this, "InternalScheduleAddButton", tr("&Add..."));
    InternalScheduleModifyButton = button(this, "InternalScheduleModifyButton", tr("&Modify..."));
    InternalScheduleRemoveButton = button(this, "InternalScheduleRemoveButton", tr("&Remove..."));
    grid->addWidget(InternalScheduleAddButton, 1, 1);
    grid->addWidget(InternalScheduleModifyButton, 2, 1);
    grid->addWidget(InternalScheduleRemoveButton, 3, 1);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(0, 1);

    connect(InternalScheduleAddButton, &QPushButton::clicked, this, &TaskSchedulesPage::addSchedule);
    connect(InternalScheduleModifyButton, &QPushButton::clicked, this, &TaskSchedulesPage::modifySchedule);
    connect(InternalScheduleRemoveButton, &QPushButton::clicked, this, &TaskSchedulesPage::removeSchedule);
    connect(InternalScheduleListBox, &QListWidget::itemSelectionChanged, this, &TaskSchedulesPage::updateButtons);
    connect(InternalScheduleListBox, &QListWidget::itemDoubleClicked, this, [this] { modifySchedule(); });
    connect(InternalScheduleListBox, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        const int row = InternalScheduleListBox->row(item);
        const bool on = item->checkState() == Qt::Checked;
        if (m_filling || row < 0 || row >= m_schedules.Count() || m_schedules[row].Enabled == on) {
            return;
        }
        m_schedules[row].Enabled = on;
        changed();
    });
    InternalScheduleLabel1->installEventFilter(this);
    m_editSchedule = [this](TTaskScheduleItem &item) { return EditScheduleItem(item, window()); };
    updateButtons();
}

void TaskSchedulesPage::load(const TaskSettings &s)
{
    m_schedules = s.Schedules;
    updateSchedulesListBox();
}

void TaskSchedulesPage::store(TaskSettings &s) const
{
    s.Schedules = m_schedules;
}

void TaskSchedulesPage::changed()
{
    if (context() != nullptr) {
        context()->draft().Schedules = m_schedules;
    }
    emit stateChanged();
}

int TaskSchedulesPage::selectedRow() const
{
    const QList<QListWidgetItem *> items = InternalScheduleListBox->selectedItems();
    return items.isEmpty() ? -1 : InternalScheduleListBox->row(items.first());
}

void TaskSchedulesPage::selectRow(int row)
{
    InternalScheduleListBox->clearSelection();
    if (QListWidgetItem *item = row >= 0 ? InternalScheduleListBox->item(row) : nullptr) {
        InternalScheduleListBox->setCurrentItem(item);
        item->setSelected(true);
    }
    updateButtons();
}

void TaskSchedulesPage::updateSchedulesListBox()
{
    m_filling = true;
    InternalScheduleListBox->clear();
    for (const TTaskScheduleItem &entry : m_schedules.Items) {
        auto *item = new QListWidgetItem(QString::fromStdString(entry.GetStrCaption()), InternalScheduleListBox);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(entry.Enabled ? Qt::Checked : Qt::Unchecked);
    }
    m_filling = false;
    updateButtons();
}

void TaskSchedulesPage::updateButtons()
{
    const bool any = selectedRow() >= 0;
    InternalScheduleModifyButton->setEnabled(any);
    InternalScheduleRemoveButton->setEnabled(any);
}

void TaskSchedulesPage::captionClicked()
{
    InternalScheduleModifyButton->setEnabled(selectedRow() >= 0);
    InternalScheduleAddButton->setEnabled(true);
    InternalScheduleRemoveButton->setEnabled(true);
}

bool TaskSchedulesPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == InternalScheduleLabel1 && event->type() == QEvent::MouseButtonRelease) {
        captionClicked();
    }
    return TaskPropertiesPage::eventFilter(watched, event);
}

void TaskSchedulesPage::addSchedule()
{
    TTaskScheduleItem item;
    if (!m_editSchedule(item)) {
        return;
    }
    m_schedules.Add(std::move(item));
    updateSchedulesListBox();
    changed();
}

void TaskSchedulesPage::modifySchedule()
{
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    TTaskScheduleItem item = m_schedules[row];
    if (!m_editSchedule(item)) {
        return;
    }
    m_schedules[row] = std::move(item);
    updateSchedulesListBox();
    selectRow(row);
    changed();
}

void TaskSchedulesPage::removeSchedule()
{
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    const std::string text = formatLangString("Remove this Schedule (%s) from the list?",
                                              "strProgectPropScheduleRemoveConfirm", {m_schedules[row].GetStrCaption()});
    if (!AskQuestion(window(), QString::fromStdString(text))) {
        return;
    }
    m_schedules.Items.erase(m_schedules.Items.begin() + row);
    updateSchedulesListBox();
    changed();
}

} // namespace qv
