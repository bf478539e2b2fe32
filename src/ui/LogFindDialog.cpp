// The activity list's find dialog.
#include "ui/LogFindDialog.h"

#include "components/TranslateForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qv {

LogFindDialog::LogFindDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LogFindDialog"));
    setWindowTitle(QStringLiteral("Find"));
    auto *grid = new QGridLayout(this);
    auto *label = new QLabel(QStringLiteral("Fi&nd what:"), this);
    label->setObjectName(QStringLiteral("FindLabel"));
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("FindEdit"));
    m_text->setMinimumWidth(220);
    label->setBuddy(m_text);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_text, 0, 1, 1, 2);

    auto *options = new QVBoxLayout;
    m_wholeWord = new QCheckBox(QStringLiteral("Match &whole word only"), this);
    m_wholeWord->setObjectName(QStringLiteral("WholeWordCheckBox"));
    m_matchCase = new QCheckBox(QStringLiteral("Match &case"), this);
    m_matchCase->setObjectName(QStringLiteral("MatchCaseCheckBox"));
    options->addWidget(m_wholeWord);
    options->addWidget(m_matchCase);
    grid->addLayout(options, 1, 0, 1, 2);

    auto *direction = new QGroupBox(QStringLiteral("Direction"), this);
    direction->setObjectName(QStringLiteral("DirectionGroupBox"));
    auto *dl = new QHBoxLayout(direction);
    m_up = new QRadioButton(QStringLiteral("&Up"), direction);
    m_up->setObjectName(QStringLiteral("UpRadioButton"));
    m_down = new QRadioButton(QStringLiteral("&Down"), direction);
    m_down->setObjectName(QStringLiteral("DownRadioButton"));
    m_down->setChecked(true);
    dl->addWidget(m_up);
    dl->addWidget(m_down);
    grid->addWidget(direction, 1, 2);

    auto *buttons = new QVBoxLayout;
    m_findNext = new QPushButton(QStringLiteral("&Find Next"), this);
    m_findNext->setObjectName(QStringLiteral("FindNextButton"));
    m_findNext->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    buttons->addWidget(m_findNext);
    buttons->addWidget(cancel);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 3, 2, 1);

    connect(m_text, &QLineEdit::textChanged, this, [this](const QString &t) { m_findNext->setEnabled(!t.isEmpty()); });
    m_findNext->setEnabled(false);
    connect(m_findNext, &QPushButton::clicked, this, [this] { emit findNext(request()); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    TranslateForm(this);
}

LogFindRequest LogFindDialog::request() const
{
    return {m_text->text(), m_matchCase->isChecked(), m_wholeWord->isChecked(), m_down->isChecked()};
}

void LogFindDialog::setRequest(const LogFindRequest &request)
{
    m_text->setText(request.text);
    m_matchCase->setChecked(request.matchCase);
    m_wholeWord->setChecked(request.wholeWord);
    (request.down ? m_down : m_up)->setChecked(true);
}

} // namespace qv
