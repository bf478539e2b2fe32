// The activity list's find dialog: text, match case, whole word and direction; stays open while
// the user steps from match to match with Find Next.
#pragma once

#include "ui/LogFind.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qv {

class LogFindDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LogFindDialog(QWidget *parent = nullptr);

    LogFindRequest request() const;
    void setRequest(const LogFindRequest &request);

    QLineEdit *findEdit() const { return m_text; }
    QPushButton *findNextButton() const { return m_findNext; }

signals:
    void findNext(const qv::LogFindRequest &request);

private:
    QLineEdit *m_text = nullptr;
    QCheckBox *m_matchCase = nullptr;
    QCheckBox *m_wholeWord = nullptr;
    QRadioButton *m_up = nullptr;
    QRadioButton *m_down = nullptr;
    QPushButton *m_findNext = nullptr;
};

} // namespace qv
