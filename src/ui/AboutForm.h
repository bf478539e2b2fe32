// AboutForm: the about box (product name, version with build, description, web and e-mail links).
#pragma once

#include <QDialog>

class QLabel;

namespace qv {

class AboutForm : public QDialog
{
    Q_OBJECT
public:
    explicit AboutForm(QWidget *parent = nullptr);

    QLabel *LabelProgramName;
    QLabel *LabelProgramVersion;
    QLabel *LabelProgramDescription;
    QLabel *LabelUrl;
    QLabel *LabelEmail;

    // What the two links open (through the desktop's handlers).
    static QString webTarget();
    static QString mailTarget();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// The about box (Help menu and /SHOWABOUTBOX).
void ShowAboutBox(QWidget *parent);

} // namespace qv
