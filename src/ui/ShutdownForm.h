// ShutdownForm: the exit confirmation, with "Don't show this message again".
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace qv {

class ShutdownForm : public QDialog
{
    Q_OBJECT
public:
    explicit ShutdownForm(QWidget *parent = nullptr);

    QLabel *TextLabel;
    QLabel *QuestionLabel;
    QPushButton *YesButton;
    QPushButton *NoButton;
    QCheckBox *DontShowAgainCheckBox;
};

// True to exit. Asks nothing when the setting StartupConfirmShutdown is off, or when there is no
// display (then the answer is Yes). Yes with the check box ticked switches the question off.
bool ConfirmExit(QWidget *parent);

} // namespace qv
