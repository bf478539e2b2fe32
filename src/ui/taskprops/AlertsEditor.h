// AlertsEditor: the event-alerts editor shared by the task properties and the options dialogs.
//
// It edits a working copy of the 105 alert values (three run modes x the events' items) and shows
// one run mode at a time, chosen in its combo box. Every switch of the mode first stores the visible
// controls into the mode shown so far, so the values of all three modes survive switching back and
// forth; store() does the same before it hands the copy back.
//
// Use in both dialogs:
//   - Task properties: `new AlertsEditor(QStringLiteral("Events"), page)`; the controls are then
//     named EventsComboBox, EventsScrollBox, EventsStartCheckBoxDialog, EventsFinishEmailLogCheckBox,
//     EventsFinishEmailSettingsLabel, ... (the names the language files use).
//   - Options: `new AlertsEditor(QStringLiteral("TaskEvents"), page)`; the same controls named
//     TaskEventsComboBox, TaskEventsStartCheckBoxDialog, ...
//   Then: load(values) at creation, store(values) at OK; setCustom(bool) follows the page's
//   default/custom choice; connect sendTestRequested(address) to sendTestEmail() with the settings
//   the dialog tests with, and emailSettingsRequested() to showing the e-mail settings page.
//   The address given to an empty e-mail field when its box is checked comes from
//   setDefaultRecipient (the program-wide EmailTo by default).
#pragma once

#include "core/task/TaskAlertTable.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace qv {

class AlertsEditor : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kEventCount = 6;
    static constexpr int kItemCount = 7;

    // The controls of one event's panel; those the event does not have are nullptr.
    struct Panel {
        QFrame *frame = nullptr;
        QLabel *caption = nullptr;
        // Indexed by AlertItem: the check box or edit that shows the item.
        std::array<QWidget *, kItemCount> item{};
        QPushButton *browse = nullptr;
        QPushButton *play = nullptr;
        QPushButton *stop = nullptr;
        QPushButton *test = nullptr;
        QLabel *settingsLink = nullptr; // Finish only
    };

    // `prefix` is "Events" (task properties) or "TaskEvents" (options): the start of every control name.
    explicit AlertsEditor(const QString &prefix, QWidget *parent = nullptr);

    // Takes `values` as the working copy and shows the first run mode.
    void load(const TEventAlertValues &values);
    // Stores the visible controls into the mode shown and returns the whole working copy.
    void store(TEventAlertValues &values);
    // The working copy as of the last switch (the visible controls not yet included).
    const TEventAlertValues &values() const { return m_values; }
    // The mode whose values the controls show; -1 before the first switch.
    int lastMode() const { return m_lastMode; }

    // Custom: every control enabled (the disk-spanning dialog box excepted); default: every control
    // disabled (greyed on the usual ground).
    void setCustom(bool custom);
    bool custom() const { return m_custom; }

    // Where "Send email to" gets an address for an empty field.
    void setDefaultRecipient(std::function<QString()> recipient);

    QComboBox *comboBox() const { return m_combo; }
    QScrollArea *scrollBox() const { return m_scroll; }
    const Panel &panel(AlertEvent event) const { return m_panels[static_cast<int>(event)]; }

    // The mode switch: stores the shown mode, shows the combo box's mode, re-applies the panel rules.
    void modeChanged();

signals:
    // Send Test of a panel, with the text of its e-mail field.
    void sendTestRequested(const QString &address);
    // The Finish panel's link to the e-mail settings.
    void emailSettingsRequested();

private:
    void buildPanel(AlertEvent event, QWidget *parent);
    void storeControls(AlertMode mode);
    void loadControls(AlertMode mode);
    void applySoundRule(AlertEvent event);
    // `byClick`: the user checked the box, so an empty address takes the default recipient.
    void applyEmailRule(AlertEvent event, bool byClick = false);
    void soundEdited(AlertEvent event);
    void browseSound(AlertEvent event);
    QString name(AlertEvent event, const char *suffix) const;

    QString m_prefix;
    QLabel *m_comboLabel = nullptr;
    QComboBox *m_combo = nullptr;
    QScrollArea *m_scroll = nullptr;
    std::array<Panel, kEventCount> m_panels;
    TEventAlertValues m_values;
    int m_lastMode = -1;
    bool m_custom = true;
    bool m_loading = false;
    std::function<QString()> m_recipient;
};

} // namespace qv
