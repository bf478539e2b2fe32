// The dialog that edits the calendar triggers of a task's system timer.
#include "ui/SystemTimerForm.h"

#include "components/LangText.h"
#include "components/TranslateForm.h"
#include "ui/HelpTopics.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv {
namespace {

QPushButton *button(const char *name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

SystemTimerForm::SystemTimerForm(const std::string &title, const std::vector<std::string> &calendars,
                                 QWidget *parent, Checker checker)
    : QDialog(parent), m_checker(std::move(checker))
{
    if (!m_checker) {
        m_checker = [](const std::string &e) { return systemScheduler().checkCalendar(e); };
    }
    setObjectName(QStringLiteral("SystemTimerForm"));
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kTaskSystemTimer));
    setWindowTitle(QStringLiteral("System Timer"));
    m_title = new QLabel(QString::fromStdString(title), this);
    m_title->setObjectName(QStringLiteral("lblTitle"));
    m_title->setTextFormat(Qt::PlainText);
    auto *listLabel = new QLabel(QStringLiteral("Start the task at these times:"), this);
    listLabel->setObjectName(QStringLiteral("lblTriggers"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("lstTriggers"));
    for (const std::string &c : calendars) {
        m_list->addItem(QString::fromStdString(c));
    }
    auto *exprLabel = new QLabel(QStringLiteral("Calendar expression (for example \"Mon..Fri *-*-* 09:00\"):"), this);
    exprLabel->setObjectName(QStringLiteral("lblExpression"));
    m_expression = new QLineEdit(this);
    m_expression->setObjectName(QStringLiteral("edtExpression"));
    m_check = new QLabel(this);
    m_check->setObjectName(QStringLiteral("lblCheck"));
    m_check->setTextFormat(Qt::PlainText);
    m_check->setWordWrap(true);
    m_check->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_check->setMinimumHeight(m_check->fontMetrics().lineSpacing() * 3);
    m_add = button("btnAdd", QStringLiteral("Add"), this);
    m_edit = button("btnEdit", QStringLiteral("Edit"), this);
    m_remove = button("btnRemove", QStringLiteral("Remove"), this);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(button("btnOK", QStringLiteral("OK"), this), QDialogButtonBox::AcceptRole);
    buttons->addButton(button("btnCancel", QStringLiteral("Cancel"), this), QDialogButtonBox::RejectRole);

    auto *grid = new QGridLayout(this);
    grid->addWidget(m_title, 0, 0, 1, 2);
    grid->addWidget(listLabel, 1, 0, 1, 2);
    grid->addWidget(m_list, 2, 0, 4, 1);
    grid->addWidget(m_add, 2, 1);
    grid->addWidget(m_edit, 3, 1);
    grid->addWidget(m_remove, 4, 1);
    grid->addWidget(exprLabel, 6, 0, 1, 2);
    grid->addWidget(m_expression, 7, 0, 1, 2);
    grid->addWidget(m_check, 8, 0, 1, 2);
    grid->addWidget(buttons, 9, 0, 1, 2);
    resize(480, 360);

    connect(m_add, &QPushButton::clicked, this, &SystemTimerForm::addClicked);
    connect(m_edit, &QPushButton::clicked, this, &SystemTimerForm::editClicked);
    connect(m_remove, &QPushButton::clicked, this, &SystemTimerForm::removeClicked);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &SystemTimerForm::selectionChanged);
    connect(m_expression, &QLineEdit::textChanged, this, &SystemTimerForm::updateState);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    TranslateForm(this);
    updateState();
}

std::vector<std::string> SystemTimerForm::calendars() const
{
    std::vector<std::string> list;
    for (int i = 0; i < m_list->count(); ++i) {
        list.push_back(m_list->item(i)->text().toStdString());
    }
    return list;
}

bool SystemTimerForm::edit(const std::string &title, std::vector<std::string> &calendars)
{
    SystemTimerForm form(title, calendars, QApplication::activeWindow());
    if (form.exec() != QDialog::Accepted) {
        return false;
    }
    calendars = form.calendars();
    return true;
}

bool SystemTimerForm::checkExpression(std::string &expression)
{
    expression = m_expression->text().trimmed().toStdString();
    const SystemScheduler::CalendarCheck check = m_checker(expression);
    if (!check.accepted) {
        m_check->setText(langText("Not accepted: %s", "strSystemTimerRefused").replace(
            QStringLiteral("%s"), QString::fromStdString(check.message)));
        return false;
    }
    QString text = langText("Accepted as \"%s\".", "strSystemTimerAccepted")
                       .replace(QStringLiteral("%s"), QString::fromStdString(check.normalized));
    if (!check.nextElapse.empty()) {
        text += QLatin1Char(' ') + langText("Next start: %s.", "strSystemTimerNext")
                                       .replace(QStringLiteral("%s"), QString::fromStdString(check.nextElapse));
    }
    m_check->setText(text);
    return true;
}

void SystemTimerForm::addClicked()
{
    std::string expression;
    if (checkExpression(expression)) {
        m_list->addItem(QString::fromStdString(expression));
        m_list->setCurrentRow(m_list->count() - 1);
    }
    updateState();
}

void SystemTimerForm::editClicked()
{
    QListWidgetItem *item = m_list->currentItem();
    std::string expression;
    if (item != nullptr && checkExpression(expression)) {
        item->setText(QString::fromStdString(expression));
    }
    updateState();
}

void SystemTimerForm::removeClicked()
{
    delete m_list->takeItem(m_list->currentRow());
    m_check->clear();
    updateState();
}

void SystemTimerForm::selectionChanged()
{
    if (QListWidgetItem *item = m_list->currentItem(); item != nullptr && item->isSelected()) {
        m_expression->setText(item->text());
    }
    updateState();
}

void SystemTimerForm::updateState()
{
    const bool selected = m_list->currentItem() != nullptr && m_list->currentItem()->isSelected();
    const bool typed = !m_expression->text().trimmed().isEmpty();
    m_add->setEnabled(typed);
    m_edit->setEnabled(selected && typed);
    m_remove->setEnabled(selected);
}

} // namespace qv
