// The alert dialog: the task, the event with its picture, the message and the buttons asked for.
//
// Esc and the close button give the Esc button's answer, so the dialog never ends without one. The
// position the user leaves it at is kept for the program's run: the next alert opens there (moved
// onto a screen when no screen shows that place any more).
#pragma once

#include <QDialog>
#include <QPoint>

#include <optional>
#include <string>

class QLabel;
class QPushButton;
class QScrollArea;

namespace qv {

class TAlertsForm : public QDialog
{
    Q_OBJECT
public:
    explicit TAlertsForm(QWidget *parent = nullptr);
    ~TAlertsForm() override;

    // Fills the dialog for one alert of kind `event` (akStart .. akWarning).
    void setup(const QString &taskName, int event, const std::string &buttons, const QString &message);
    // Shows it modally where the last one was left (or centred), remembers where it was left.
    int execAlert();

    QPushButton *button(char letter) const;
    QLabel *picture(int event) const;

    // The place the last alert dialog was left at, for the program's run.
    static std::optional<QPoint> rememberedPosition();
    static void forgetPosition();
    // Ends every open alert dialog with its Esc answer (the exit path: a thread waiting on one can end).
    static void closeAll();

protected:
    void reject() override;

private:
    void build();

    std::string m_buttons;
    QWidget *m_topPanel = nullptr;
    QLabel *m_pictures[7] = {};
    QLabel *m_projectLabel = nullptr;
    QLabel *m_actionLabel = nullptr;
    QScrollArea *m_scroll = nullptr;
    QLabel *m_message = nullptr;
    QWidget *m_bottomPanel = nullptr;
    QPushButton *m_buttonsByIndex[7] = {};
};

// The localised title of an alert kind ("Backup Startup", "File Operation", ...).
QString alertTitle(int event);

} // namespace qv
