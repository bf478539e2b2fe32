// The alert dialog.
#include "ui/AlertsForm.h"

#include "components/LangText.h"
#include "components/TranslateForm.h"
#include "core/engine/BackupTypes.h"
#include "ui/AlertsRules.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>

#include <set>

namespace qv {

namespace {

constexpr int kClientWidth = 450;
constexpr int kClientHeight = 160;
constexpr int kTopHeight = 52;
constexpr int kBottomHeight = 36;
constexpr const char *kLetters = "CSOYIRK";
constexpr const char *kButtonNames[7] = {"ButtonContinue", "ButtonStop", "ButtonOk",  "ButtonYes",
                                         "ButtonIgnore",   "ButtonRetry", "ButtonSkip"};
constexpr const char *kButtonCaptions[7] = {"&Continue", "&Stop", "&OK", "&Yes", "&Ignore", "&Retry", "&Skip"};
constexpr const char *kPictureNames[7] = {"TopImageStart",  "TopImageFile",  "TopImageFolder", "TopImageDiskSpan",
                                          "TopImageFinish", "TopImageError", "TopImageWarning"};

std::optional<QPoint> g_position;
std::set<TAlertsForm *> g_open;

int letterIndex(char letter)
{
    for (int i = 0; i < 7; ++i) {
        if (kLetters[i] == letter) {
            return i;
        }
    }
    return -1;
}

// `pos` when some screen shows the dialog's top-left corner there, else centred on the primary screen.
QPoint onScreen(const QPoint &pos, const QSize &size)
{
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().contains(pos)) {
            return pos;
        }
    }
    QScreen *primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) {
        return pos;
    }
    return primary->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2);
}

} // namespace

QString alertTitle(int event)
{
    switch (event) {
    case akStart:
        return langText("Backup Startup", "strAlerterStartup");
    case akFile:
        return langText("File Operation", "strAlerterFile");
    case akFolder:
        return langText("Folder Operation", "strAlerterFolder");
    case akDiskSpan:
        return langText("Destination media is full. Please, insert new disk!", "strAlerterDiskSpan");
    case akFinish:
        return langText("Backup Finished", "strAlerterFinish");
    case akError:
        return langText("Error", "strAlerterError");
    case akWarning:
        return langText("Warning", "strAlerterWarning");
    default:
        return {};
    }
}

TAlertsForm::TAlertsForm(QWidget *parent) : QDialog(parent)
{
    build();
    TranslateForm(this);
    g_open.insert(this);
}

TAlertsForm::~TAlertsForm()
{
    g_open.erase(this);
}

void TAlertsForm::build()
{
    setObjectName(QStringLiteral("AlertsForm"));
    setWindowTitle(QStringLiteral("Quorvellant Alert"));
    setFixedSize(kClientWidth, kClientHeight);

    m_topPanel = new QWidget(this);
    m_topPanel->setObjectName(QStringLiteral("TopPanel"));
    m_topPanel->setGeometry(0, 0, kClientWidth, kTopHeight);
    m_topPanel->setAutoFillBackground(true);
    m_topPanel->setBackgroundRole(QPalette::Base);
    for (int i = 0; i < 7; ++i) {
        m_pictures[i] = new QLabel(m_topPanel);
        m_pictures[i]->setObjectName(QString::fromLatin1(kPictureNames[i]));
        m_pictures[i]->setGeometry(13, 10, 32, 32);
        m_pictures[i]->setPixmap(QPixmap(QStringLiteral(":/icons/32/ICON_%1.png").arg(kPictureNames[i])));
        m_pictures[i]->hide();
    }
    m_projectLabel = new QLabel(m_topPanel);
    m_projectLabel->setObjectName(QStringLiteral("TopProjectLabel"));
    m_projectLabel->setGeometry(56, 8, kClientWidth - 64, 18);
    m_actionLabel = new QLabel(m_topPanel);
    m_actionLabel->setObjectName(QStringLiteral("TopActionLabel"));
    m_actionLabel->setGeometry(56, 27, kClientWidth - 64, 18);
    QFont bold = m_actionLabel->font();
    bold.setBold(true);
    m_actionLabel->setFont(bold);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("MessageScrollBox"));
    m_scroll->setGeometry(0, kTopHeight, kClientWidth, kClientHeight - kTopHeight - kBottomHeight);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("MessageLabel"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setContentsMargins(13, 8, 0, 8);
    m_message->setFixedWidth(400 + 13);
    m_scroll->setWidget(m_message);

    m_bottomPanel = new QWidget(this);
    m_bottomPanel->setObjectName(QStringLiteral("BottomPanel"));
    m_bottomPanel->setGeometry(0, kClientHeight - kBottomHeight, kClientWidth, kBottomHeight);
    for (int i = 0; i < 7; ++i) {
        auto *b = new QPushButton(QString::fromLatin1(kButtonCaptions[i]), m_bottomPanel);
        b->setObjectName(QString::fromLatin1(kButtonNames[i]));
        b->setGeometry(0, 6, 81, 23);
        b->setAutoDefault(false);
        b->hide();
        const char letter = kLetters[i];
        connect(b, &QPushButton::clicked, this, [this, letter] { done(alertButtonResult(letter)); });
        m_buttonsByIndex[i] = b;
    }
}

void TAlertsForm::setup(const QString &taskName, int event, const std::string &buttons, const QString &message)
{
    m_buttons = buttons;
    m_projectLabel->setText(langText("Task", "strTask") + QStringLiteral(": ") + taskName);
    m_actionLabel->setText(alertTitle(event));
    m_message->setText(message);
    m_message->adjustSize();
    for (int i = 0; i < 7; ++i) {
        m_pictures[i]->setVisible(i == event);
        m_buttonsByIndex[i]->hide();
    }
    QWidget *previous = nullptr;
    for (const AlertButtonPlace &place : alertButtonPlaces(buttons, m_bottomPanel->width())) {
        QPushButton *b = m_buttonsByIndex[letterIndex(place.letter)];
        b->move(place.left, b->y());
        b->show();
        if (previous == nullptr) {
            b->setDefault(true);
            b->setFocus();
        } else {
            setTabOrder(previous, b);
        }
        previous = b;
    }
}

int TAlertsForm::execAlert()
{
    if (g_position) {
        move(onScreen(*g_position, frameGeometry().size()));
    } else if (QScreen *screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    const int result = exec();
    g_position = pos();
    return result;
}

QPushButton *TAlertsForm::button(char letter) const
{
    const int i = letterIndex(letter);
    return i < 0 ? nullptr : m_buttonsByIndex[i];
}

QLabel *TAlertsForm::picture(int event) const
{
    return event >= 0 && event < 7 ? m_pictures[event] : nullptr;
}

std::optional<QPoint> TAlertsForm::rememberedPosition()
{
    return g_position;
}

void TAlertsForm::forgetPosition()
{
    g_position.reset();
}

void TAlertsForm::closeAll()
{
    const std::set<TAlertsForm *> open = g_open;
    for (TAlertsForm *form : open) {
        if (g_open.count(form) != 0 && form->isVisible()) {
            form->reject();
        }
    }
}

void TAlertsForm::reject()
{
    done(alertEscResult(m_buttons));
}

} // namespace qv
