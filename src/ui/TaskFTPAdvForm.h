// TaskFTPAdvForm: the advanced FTP settings of a task (proxy, retries, time-outs).
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace qv {

class RangedField;
struct TFtpServerConnection;

class TaskFTPAdvForm : public QDialog
{
    Q_OBJECT
public:
    explicit TaskFTPAdvForm(QWidget *parent = nullptr);

    void load(const TFtpServerConnection &c);
    // Every control into the record; numbers the user did not touch keep their stored values.
    void store(TFtpServerConnection &c) const;
    // Recomputes the enabling rule (the check boxes call it when clicked).
    void updateEnabling();

    QCheckBox *ProxyUseCheckBox;
    QLabel *ProxyAddressLabel;
    QLineEdit *ProxyAddressEdit;
    QLabel *ProxyPortLabel;
    RangedField *ProxyPortEdit;
    QCheckBox *ProxyAuthUseCheckBox;
    QLabel *ProxyAuthLoginLabel;
    QLineEdit *ProxyAuthLoginEdit;
    QLabel *ProxyAuthPasswordLabel;
    QLineEdit *ProxyAuthPasswordEdit;
    RangedField *ReconnectRetriesEdit;
    RangedField *PauseBeforeRetryEdit;
    RangedField *TimeOutEdit;
    RangedField *ErrorsBeforeStopEdit;
};

// Edits the record; true when closed with OK (the values are then stored into it). Cancel leaves it.
bool ShowFtpAdvancedSettings(QWidget *parent, TFtpServerConnection &connection);

} // namespace qv
