// ShutdownForm: the exit confirmation.
#include "ui/ShutdownForm.h"

#include "components/LangText.h"
#include "components/MessageBox.h"
#include "components/TranslateForm.h"
#include "core/settings/Settings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace qv {

ShutdownForm::ShutdownForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ShutdownForm"));
    setWindowTitle(langText("Quorvellant Shutdown", "strShutdownTitle"));
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("IconImage"));
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    TextLabel =
        new QLabel(langText("If you exit Quorvellant it will not run any scheduled backups, except backups "
                            "scheduled as systemd user timers.",
                            "strShutdownText"),
                   this);
    TextLabel->setObjectName(QStringLiteral("TextLabel"));
    TextLabel->setWordWrap(true);
    QuestionLabel = new QLabel(langText("Are you sure you want to exit?", "strShutdownQuestion"), this);
    QuestionLabel->setObjectName(QStringLiteral("QuestionLabel"));
    YesButton = new QPushButton(QStringLiteral("&Yes"), this);
    YesButton->setObjectName(QStringLiteral("YesButton"));
    YesButton->setDefault(true);
    NoButton = new QPushButton(QStringLiteral("&No"), this);
    NoButton->setObjectName(QStringLiteral("NoButton"));
    DontShowAgainCheckBox = new QCheckBox(QStringLiteral("Don't show this message again"), this);
    DontShowAgainCheckBox->setObjectName(QStringLiteral("DontShowAgainCheckBox"));

    auto *texts = new QVBoxLayout;
    texts->addWidget(TextLabel);
    texts->addSpacing(6);
    texts->addWidget(QuestionLabel);
    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(DontShowAgainCheckBox);
    buttons->addStretch(1);
    buttons->addWidget(YesButton);
    buttons->addWidget(NoButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(420);
    connect(YesButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(NoButton, &QPushButton::clicked, this, &QDialog::reject);
    TranslateForm(this);
}

bool ConfirmExit(QWidget *parent)
{
    if (!StartupConfirmShutdown || MessageBoxSeam::headless()) {
        return true;
    }
    ShutdownForm form(parent);
    if (form.exec() != QDialog::Accepted) {
        return false;
    }
    StartupConfirmShutdown = !form.DontShowAgainCheckBox->isChecked();
    return true;
}

} // namespace qv
