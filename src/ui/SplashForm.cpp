// TSplashForm: a borderless, stay-on-top picture with one line of text.
#include "ui/SplashForm.h"
#include "components/Graphics.h"
#include "components/TranslateForm.h"

#include "QvVersion.h"
#include "core/util/Utils.h"
#include "ui/HelpTopics.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace qv {

TSplashForm::TSplashForm(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("SplashForm"));
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kContents));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(320, 350);
    setStyleSheet(QStringLiteral("background: white;"));
    m_image = new QLabel(this);
    m_image->setObjectName(QStringLiteral("Image"));
    m_image->setGeometry(0, 0, 320, 350);
    m_image->setScaledContents(true);
    QImage picture;
    if (LoadJpegResource("GFX_SPLASH", picture)) {
        m_image->setPixmap(QPixmap::fromImage(picture));
    }
    m_copyright = new QLabel(this);
    m_copyright->setObjectName(QStringLiteral("LabelCopyright"));
    m_copyright->setGeometry(0, 334, 320, 14);
    m_copyright->setAlignment(Qt::AlignCenter);
    m_copyright->setStyleSheet(QStringLiteral("color: white; background: transparent; font-size: 9px;"));
    m_copyright->setText(QStringLiteral("Quorvellant %1").arg(QStringLiteral(QV_VERSION_STRING)));
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
    m_closeTimer.setSingleShot(true);
    m_closeTimer.setInterval(2500);
    connect(&m_closeTimer, &QTimer::timeout, this, &QWidget::close);
    m_closeTimer.start();
    TranslateForm(this);
}

void TSplashForm::mousePressEvent(QMouseEvent *)
{
    m_closeTimer.stop();
    close();
}

void TSplashForm::closeWhenShown(QWidget *window)
{
    if (m_window != nullptr) {
        m_window->removeEventFilter(this);
    }
    m_window = window;
    if (window == nullptr) {
        return;
    }
    if (window->isVisible()) {
        m_closeTimer.stop();
        close();
        return;
    }
    window->installEventFilter(this);
}

bool TSplashForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Show) {
        m_window->removeEventFilter(this);
        m_window = nullptr;
        m_closeTimer.stop();
        close();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace qv
