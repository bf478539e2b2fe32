// TaskFTPAdvForm: the advanced FTP settings of a task.
#include "ui/TaskFTPAdvForm.h"

#include "components/RangedField.h"
#include "components/TranslateForm.h"
#include "core/task/TaskTypes.h"
#include "ui/SmallDialogButtons.h"
#include "ui/SmallDialogRules.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace qv {

namespace {

template <typename W> W *named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *labelFor(QWidget *parent, const char *name, const char *text, QWidget *buddy)
{
    auto *l = named(new QLabel(QString::fromLatin1(text), parent), name);
    l->setBuddy(buddy);
    return l;
}

} // namespace

TaskFTPAdvForm::TaskFTPAdvForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TaskFTPAdvForm"));
    setWindowTitle(QStringLiteral("Advanced FTP Settings"));
    auto *proxy = named(new QGroupBox(QStringLiteral("Proxy"), this), "ProxyGroupBox");
    ProxyUseCheckBox = named(new QCheckBox(QStringLiteral("Use proxy"), proxy), "ProxyUseCheckBox");
    ProxyAddressEdit = named(new QLineEdit(proxy), "ProxyAddressEdit");
    ProxyAddressLabel = labelFor(proxy, "ProxyAddressLabel", "Address:", ProxyAddressEdit);
    // The whole port range: a stored 8080 is shown and kept as it is.
    ProxyPortEdit = named(new RangedField(0, 65535, proxy), "ProxyPortEdit");
    ProxyPortLabel = labelFor(proxy, "ProxyPortLabel", "Port:", ProxyPortEdit);
    ProxyAuthUseCheckBox =
        named(new QCheckBox(QStringLiteral("Authorize on proxy"), proxy), "ProxyAuthUseCheckBox");
    ProxyAuthLoginEdit = named(new QLineEdit(proxy), "ProxyAuthLoginEdit");
    ProxyAuthLoginLabel = labelFor(proxy, "ProxyAuthLoginLabel", "Login:", ProxyAuthLoginEdit);
    ProxyAuthPasswordEdit = named(new QLineEdit(proxy), "ProxyAuthPasswordEdit");
    ProxyAuthPasswordEdit->setEchoMode(QLineEdit::Password);
    ProxyAuthPasswordLabel = labelFor(proxy, "ProxyAuthPasswordLabel", "Password:", ProxyAuthPasswordEdit);
    auto *pg = new QGridLayout(proxy);
    pg->addWidget(ProxyUseCheckBox, 0, 0, 1, 4);
    pg->addWidget(ProxyAddressLabel, 1, 0);
    pg->addWidget(ProxyAddressEdit, 1, 1);
    pg->addWidget(ProxyPortLabel, 1, 2);
    pg->addWidget(ProxyPortEdit, 1, 3);
    pg->addWidget(ProxyAuthUseCheckBox, 2, 0, 1, 4);
    pg->addWidget(ProxyAuthLoginLabel, 3, 0);
    pg->addWidget(ProxyAuthLoginEdit, 3, 1, 1, 3);
    pg->addWidget(ProxyAuthPasswordLabel, 4, 0);
    pg->addWidget(ProxyAuthPasswordEdit, 4, 1, 1, 3);
    pg->setColumnStretch(1, 1);

    auto *options = named(new QGroupBox(QStringLiteral("Options"), this), "OptionsGroupBox");
    auto *form = new QFormLayout(options);
    auto addNumber = [&](const char *name, const char *labelName, const char *text) {
        auto *f = named(new RangedField(0, 32767, options), name);
        form->addRow(labelFor(options, labelName, text, f), f);
        return f;
    };
    ReconnectRetriesEdit =
        addNumber("ReconnectRetriesEdit", "ReconnectRetriesLabel", "Number of FTP reconnect retries");
    PauseBeforeRetryEdit =
        addNumber("PauseBeforeRetryEdit", "PauseBeforeRetryLabel", "Pause before each retry (s)");
    TimeOutEdit = addNumber("TimeOutEdit", "TimeOutLabel", "Time out (s)");
    ErrorsBeforeStopEdit =
        addNumber("ErrorsBeforeStopEdit", "ErrorsBeforeStopLabel", "Number of errors before Task is stopped");

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(proxy);
    layout->addWidget(options);
    layout->addWidget(addDialogButtons(this, true, true, true));
    connect(ProxyUseCheckBox, &QCheckBox::clicked, this, &TaskFTPAdvForm::updateEnabling);
    connect(ProxyAuthUseCheckBox, &QCheckBox::clicked, this, &TaskFTPAdvForm::updateEnabling);
    updateEnabling();
    TranslateForm(this);
}

void TaskFTPAdvForm::updateEnabling()
{
    const FtpAdvancedEnabling e =
        ftpAdvancedEnabling(ProxyUseCheckBox->isChecked(), ProxyAuthUseCheckBox->isChecked());
    for (QWidget *w : std::initializer_list<QWidget *>{ProxyAddressLabel, ProxyAddressEdit, ProxyPortLabel,
                                                       ProxyPortEdit}) {
        w->setEnabled(e.proxyFields);
    }
    ProxyAuthUseCheckBox->setEnabled(e.proxyAuth);
    for (QWidget *w : std::initializer_list<QWidget *>{ProxyAuthLoginLabel, ProxyAuthLoginEdit,
                                                       ProxyAuthPasswordLabel, ProxyAuthPasswordEdit}) {
        w->setEnabled(e.authFields);
    }
}

void TaskFTPAdvForm::load(const TFtpServerConnection &c)
{
    ProxyUseCheckBox->setChecked(c.ProxyUse);
    ProxyAddressEdit->setText(QString::fromStdString(c.ProxyAddress));
    ProxyPortEdit->setStoredValue(c.ProxyPort);
    ProxyAuthUseCheckBox->setChecked(c.ProxyAuthUse);
    ProxyAuthLoginEdit->setText(QString::fromStdString(c.ProxyAuthLogin));
    ProxyAuthPasswordEdit->setText(QString::fromStdString(c.ProxyAuthPassword));
    ReconnectRetriesEdit->setStoredValue(c.ReconnectRetries);
    PauseBeforeRetryEdit->setStoredValue(c.PauseBeforeRetry);
    TimeOutEdit->setStoredValue(c.TimeOut);
    ErrorsBeforeStopEdit->setStoredValue(c.NumberOfErrorsBeforeStop);
    updateEnabling();
}

void TaskFTPAdvForm::store(TFtpServerConnection &c) const
{
    c.ProxyUse = ProxyUseCheckBox->isChecked();
    c.ProxyAddress = ProxyAddressEdit->text().toStdString();
    c.ProxyPort = static_cast<std::int32_t>(ProxyPortEdit->storedValue());
    c.ProxyAuthUse = ProxyAuthUseCheckBox->isChecked();
    c.ProxyAuthLogin = ProxyAuthLoginEdit->text().toStdString();
    c.ProxyAuthPassword = ProxyAuthPasswordEdit->text().toStdString();
    c.ReconnectRetries = static_cast<std::int32_t>(ReconnectRetriesEdit->storedValue());
    c.PauseBeforeRetry = static_cast<std::int32_t>(PauseBeforeRetryEdit->storedValue());
    c.TimeOut = static_cast<std::int32_t>(TimeOutEdit->storedValue());
    c.NumberOfErrorsBeforeStop = static_cast<std::int32_t>(ErrorsBeforeStopEdit->storedValue());
}

bool ShowFtpAdvancedSettings(QWidget *parent, TFtpServerConnection &connection)
{
    TaskFTPAdvForm form(parent);
    form.load(connection);
    if (form.exec() != QDialog::Accepted) {
        return false;
    }
    form.store(connection);
    return true;
}

} // namespace qv
