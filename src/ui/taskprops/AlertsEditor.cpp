// AlertsEditor: the event-alerts editor shared by the task properties and the options dialogs.
#include "ui/taskprops/AlertsEditor.h"
#include "ui/taskprops/EditPaint.h"
#include "ui/taskprops/LinkLabel.h"

#include "components/LangText.h"
#include "core/settings/Settings.h"
#include "core/util/Utils.h"
#include "ui/FileDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace qv {

namespace {

const char *const kPanelCaptions[AlertsEditor::kEventCount] = {"Task start",    "File operation", "Disk Spanning",
                                                                "Critical error", "Warning",        "Task finish"};

const char *dialogCaption(AlertEvent event)
{
    switch (event) {
    case AlertEvent::File:
        return "Show message dialog (Step-by-Step Backup Debugging)";
    case AlertEvent::DiskSpan:
        return "Insert New Disk Dialog (Only for Removable Media Devices)";
    default:
        return "Show message dialog";
    }
}

bool hasEmail(AlertEvent event)
{
    return event != AlertEvent::File;
}

int itemIndex(AlertItem item)
{
    return static_cast<int>(item);
}

AlertMode modeOfIndex(int index)
{
    // Any index but 1 and 2 (none selected included) shows the scheduled set.
    return index == 1 ? AlertMode::Manual : index == 2 ? AlertMode::Silent : AlertMode::Scheduled;
}

QPushButton *glyphButton(QWidget *parent, const QString &name, QStyle::StandardPixmap icon, const QString &tip)
{
    auto *b = new QPushButton(parent);
    b->setObjectName(name);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolTip(tip);
    b->setFixedWidth(28);
    return b;
}

} // namespace

AlertsEditor::AlertsEditor(const QString &prefix, QWidget *parent) : QWidget(parent), m_prefix(prefix)
{
    setObjectName(prefix + QStringLiteral("Editor"));
    m_recipient = [] { return QString::fromStdString(EmailTo); };

    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    auto *row = new QHBoxLayout;
    m_comboLabel = new QLabel(tr("Event alerts settings for:"), this);
    m_comboLabel->setObjectName(prefix + QStringLiteral("ComboLabel"));
    m_combo = new QComboBox(this);
    m_combo->setObjectName(prefix + QStringLiteral("ComboBox"));
    m_combo->addItems({QStringLiteral("Scheduled Project Run"), QStringLiteral("Manual Project Run"),
                       QStringLiteral("Application Silent Mode (quorvellant /SILENT=ON)")});
    m_comboLabel->setBuddy(m_combo);
    row->addWidget(m_comboLabel);
    row->addWidget(m_combo, 1);
    top->addLayout(row);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(prefix + QStringLiteral("ScrollBox"));
    m_scroll->setWidgetResizable(true);
    auto *inner = new QWidget;
    inner->setObjectName(prefix + QStringLiteral("ScrollBoxContents"));
    inner->setAutoFillBackground(false);
    auto *panels = new QVBoxLayout(inner);
    for (int e = 0; e < kEventCount; ++e) {
        buildPanel(static_cast<AlertEvent>(e), inner);
        panels->addWidget(m_panels[e].frame);
    }
    panels->addStretch(1);
    m_scroll->setWidget(inner);
    top->addWidget(m_scroll, 1);

    connect(m_combo, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_loading) {
            modeChanged();
        }
    });
    setCustom(true);
}

QString AlertsEditor::name(AlertEvent event, const char *suffix) const
{
    return m_prefix + QString::fromLatin1(alertEventName(event)) + QString::fromLatin1(suffix);
}

void AlertsEditor::buildPanel(AlertEvent event, QWidget *parent)
{
    Panel &p = m_panels[static_cast<int>(event)];
    p.frame = new QFrame(parent);
    p.frame->setObjectName(name(event, "Panel"));
    p.frame->setFrameShape(QFrame::StyledPanel);
    p.frame->setAutoFillBackground(true);
    auto *grid = new QGridLayout(p.frame);
    p.caption = new QLabel(QString::fromLatin1(kPanelCaptions[static_cast<int>(event)]), p.frame);
    p.caption->setObjectName(name(event, "Label"));
    QFont bold = p.caption->font();
    bold.setBold(true);
    p.caption->setFont(bold);
    grid->addWidget(p.caption, 0, 0, 1, 5);

    auto check = [&](AlertItem item, const char *suffix, const QString &text) {
        auto *c = new QCheckBox(text, p.frame);
        c->setObjectName(name(event, suffix));
        p.item[itemIndex(item)] = c;
        return c;
    };
    QCheckBox *dialog = check(AlertItem::Dialog, "CheckBoxDialog", QString::fromLatin1(dialogCaption(event)));
    if (event == AlertEvent::DiskSpan) {
        dialog->setChecked(true);
        dialog->setEnabled(false);
    }
    grid->addWidget(dialog, 1, 0, 1, 5);
    grid->addWidget(check(AlertItem::Balloon, "CheckBoxBalloon", tr("Show balloon message at system tray")), 2, 0,
                    1, 5);
    QCheckBox *sound = check(AlertItem::Sound, "CheckBoxSound", tr("Play sound"));
    auto *soundEdit = new QLineEdit(p.frame);
    soundEdit->setObjectName(name(event, "EditSound"));
    p.item[itemIndex(AlertItem::SoundFile)] = soundEdit;
    p.browse = glyphButton(p.frame, name(event, "ButtonBrowse"), QStyle::SP_DirOpenIcon, tr("Browse"));
    p.play = glyphButton(p.frame, name(event, "ButtonPlay"), QStyle::SP_MediaPlay, tr("Play"));
    p.stop = glyphButton(p.frame, name(event, "ButtonStop"), QStyle::SP_MediaStop, tr("Stop"));
    grid->addWidget(sound, 3, 0);
    grid->addWidget(soundEdit, 3, 1);
    grid->addWidget(p.browse, 3, 2);
    grid->addWidget(p.play, 3, 3);
    grid->addWidget(p.stop, 3, 4);
    grid->setColumnStretch(1, 1);

    connect(sound, &QCheckBox::clicked, this, [this, event] { applySoundRule(event); });
    connect(soundEdit, &QLineEdit::textChanged, this, [this, event] { soundEdited(event); });
    connect(p.browse, &QPushButton::clicked, this, [this, event] { browseSound(event); });
    connect(p.play, &QPushButton::clicked, this,
            [soundEdit] { PlaySoundFile(soundEdit->text().toStdString()); });
    connect(p.stop, &QPushButton::clicked, this, [] { StopSound(); });

    if (!hasEmail(event)) {
        return;
    }
    QCheckBox *use = check(AlertItem::EmailUse, "EmailUseCheckBox", tr("Send email to"));
    auto *email = new QLineEdit(p.frame);
    email->setObjectName(name(event, "EmailEdit"));
    p.item[itemIndex(AlertItem::Email)] = email;
    p.test = new QPushButton(tr("Send Test"), p.frame);
    p.test->setObjectName(name(event, "EmailTestButton"));
    grid->addWidget(use, 4, 0);
    grid->addWidget(email, 4, 1);
    grid->addWidget(p.test, 4, 2, 1, 3);
    connect(use, &QCheckBox::clicked, this, [this, event] { applyEmailRule(event, true); });
    connect(p.test, &QPushButton::clicked, this, [this, email] { emit sendTestRequested(email->text()); });

    if (event != AlertEvent::Finish) {
        return;
    }
    QCheckBox *log = check(AlertItem::EmailSendLog, "EmailLogCheckBox", tr("Send the full log file contents"));
    grid->addWidget(log, 5, 1, 1, 4);
    // Plain text like the dialog's other links, so a language file can rename it.
    auto *link = new LinkLabel(tr("Click here to customize Email Sending Settings"), LinkLabel::Weight::Normal, p.frame);
    link->setObjectName(name(event, "EmailSettingsLabel"));
    p.settingsLink = link;
    grid->addWidget(link, 6, 1, 1, 4);
    connect(link, &LinkLabel::clicked, this, [this] { emit emailSettingsRequested(); });
}

void AlertsEditor::setDefaultRecipient(std::function<QString()> recipient)
{
    m_recipient = std::move(recipient);
}

void AlertsEditor::load(const TEventAlertValues &values)
{
    m_values = values;
    m_lastMode = -1;
    m_loading = true;
    m_combo->setCurrentIndex(0);
    m_loading = false;
    modeChanged();
}

void AlertsEditor::store(TEventAlertValues &values)
{
    modeChanged();
    values = m_values;
}

void AlertsEditor::modeChanged()
{
    if (m_lastMode >= 0 && m_lastMode <= 2) {
        storeControls(static_cast<AlertMode>(m_lastMode));
    }
    m_lastMode = m_combo->currentIndex();
    loadControls(modeOfIndex(m_lastMode));
    for (int e = 0; e < kEventCount; ++e) {
        applySoundRule(static_cast<AlertEvent>(e));
        if (hasEmail(static_cast<AlertEvent>(e))) {
            applyEmailRule(static_cast<AlertEvent>(e));
        }
    }
}

void AlertsEditor::storeControls(AlertMode mode)
{
    for (const TaskAlertSetting &s : taskAlertTable()) {
        if (s.mode != mode) {
            continue;
        }
        QWidget *w = m_panels[static_cast<int>(s.event)].item[itemIndex(s.item)];
        if (s.isString()) {
            m_values.*s.stringField = static_cast<QLineEdit *>(w)->text().toStdString();
        } else {
            m_values.*s.boolField = static_cast<QCheckBox *>(w)->isChecked();
        }
    }
}

void AlertsEditor::loadControls(AlertMode mode)
{
    const bool wasLoading = m_loading;
    m_loading = true; // the sound edits' change handler must not store while the mode is being shown
    for (const TaskAlertSetting &s : taskAlertTable()) {
        if (s.mode != mode) {
            continue;
        }
        QWidget *w = m_panels[static_cast<int>(s.event)].item[itemIndex(s.item)];
        if (s.isString()) {
            static_cast<QLineEdit *>(w)->setText(QString::fromStdString(m_values.*s.stringField));
        } else {
            static_cast<QCheckBox *>(w)->setChecked(m_values.*s.boolField);
        }
    }
    m_loading = wasLoading;
}

void AlertsEditor::applySoundRule(AlertEvent event)
{
    Panel &p = m_panels[static_cast<int>(event)];
    const bool on = static_cast<QCheckBox *>(p.item[itemIndex(AlertItem::Sound)])->isChecked();
    p.item[itemIndex(AlertItem::SoundFile)]->setEnabled(on);
    setEditPaint(p.item[itemIndex(AlertItem::SoundFile)], on);
    p.browse->setEnabled(on);
    p.play->setEnabled(on);
    p.stop->setEnabled(on);
}

void AlertsEditor::applyEmailRule(AlertEvent event, bool byClick)
{
    Panel &p = m_panels[static_cast<int>(event)];
    const bool on = static_cast<QCheckBox *>(p.item[itemIndex(AlertItem::EmailUse)])->isChecked();
    auto *email = static_cast<QLineEdit *>(p.item[itemIndex(AlertItem::Email)]);
    email->setEnabled(on);
    setEditPaint(email, on);
    p.test->setEnabled(on);
    if (QWidget *log = p.item[itemIndex(AlertItem::EmailSendLog)]) {
        log->setEnabled(on);
    }
    // Only the user's check fills the address: opening or switching modes never changes a stored value.
    if (byClick && on && email->text().trimmed().isEmpty() && m_recipient) {
        email->setText(m_recipient());
    }
}

void AlertsEditor::soundEdited(AlertEvent event)
{
    if (m_loading) {
        return;
    }
    const int index = m_combo->currentIndex();
    if (index < 0 || index > 2) {
        return;
    }
    const TaskAlertSetting *s = findTaskAlert(static_cast<AlertMode>(index), event, AlertItem::SoundFile);
    auto *edit = static_cast<QLineEdit *>(m_panels[static_cast<int>(event)].item[itemIndex(AlertItem::SoundFile)]);
    m_values.*s->stringField = edit->text().toStdString();
}

void AlertsEditor::browseSound(AlertEvent event)
{
    auto *edit = static_cast<QLineEdit *>(m_panels[static_cast<int>(event)].item[itemIndex(AlertItem::SoundFile)]);
    FileDialogRequest request;
    request.caption = langText("Select sound file", "strSelectSoundFile");
    request.fileName = edit->text();
    request.filters = {tr("Sound Files (*.wav *.mid)"), tr("Any files (*)")};
    request.defaultSuffix = QStringLiteral("wav");
    const QString chosen = fileDialogs().openFileName(this, request);
    if (!chosen.isEmpty()) {
        edit->setText(chosen);
    }
}

void AlertsEditor::setCustom(bool custom)
{
    m_custom = custom;
    m_comboLabel->setEnabled(custom);
    m_combo->setEnabled(custom);
    m_scroll->setEnabled(custom);
    for (Panel &p : m_panels) {
        const QList<QWidget *> controls = p.frame->findChildren<QWidget *>();
        for (QWidget *w : controls) {
            w->setEnabled(custom);
        }
    }
    // The disk-spanning dialog box is shown and kept, never edited.
    m_panels[static_cast<int>(AlertEvent::DiskSpan)].item[itemIndex(AlertItem::Dialog)]->setEnabled(false);

    // Disabled looks as it does everywhere on the desktop: greyed controls on the plain ground.
}

} // namespace qv
