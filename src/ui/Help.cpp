// Help requests: the help folder, commands, F1 and the error box.
#include "ui/Help.h"

#include "QvVersion.h"
#include "components/MessageBox.h"
#include "ui/HelpWindow.h"

#include "core/util/Utils.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QUrl>
#include <QWidget>

namespace qv::help {
namespace {

QString g_helpFile;

class HelpKeyFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F1 &&
            watched->isWidgetType()) {
            QWidget *focus = QApplication::focusWidget();
            sendHelpKey(focus ? focus : static_cast<QWidget *>(watched));
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

QString findHelpFolder()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        qEnvironmentVariable("QV_HELP_DIR"),
        appDir + QStringLiteral("/../share/quorvellant/help"),
        QStringLiteral(QV_INSTALL_DATADIR "/help"),
        QStringLiteral(QV_SOURCE_RESOURCES "/help"),
    };
    for (const QString &c : candidates) {
        if (!c.isEmpty() && QFileInfo::exists(c + QStringLiteral("/files/contents.html"))) {
            return QDir::cleanPath(c);
        }
    }
    return QDir::cleanPath(appDir + QStringLiteral("/../share/quorvellant/help"));
}

} // namespace

QString applicationHelpFile()
{
    if (g_helpFile.isEmpty()) {
        g_helpFile = findHelpFolder();
    }
    return g_helpFile;
}

void setApplicationHelpFile(const QString &folder)
{
    g_helpFile = folder;
}

QString topicPath(const QString &helpFolder, const QString &topic)
{
    QString rel = topic;
    while (rel.startsWith(QLatin1Char('/'))) {
        rel.remove(0, 1);
    }
    // Topics never leave the help folder.
    if (rel.isEmpty() || rel.contains(QLatin1String("..")) || helpFolder.isEmpty()) {
        return {};
    }
    QFileInfo fi(helpFolder + QLatin1Char('/') + rel);
    return fi.isFile() ? fi.absoluteFilePath() : QString();
}

int HtmlHelp(QWidget *, const QString &fileAndTopic, int command, int)
{
    QString folder = fileAndTopic;
    QString topic;
    if (int sep = fileAndTopic.indexOf(QLatin1String("::")); sep >= 0) {
        folder = fileAndTopic.left(sep);
        topic = fileAndTopic.mid(sep + 2);
    }
    switch (command) {
    case HH_DISPLAY_TOPIC:
        if (topicPath(folder, topic.isEmpty() ? QStringLiteral("/files/contents.html") : topic).isEmpty()) {
            return 0;
        }
        return HelpWindow::instance(folder)->showTopic(topic.isEmpty() ? QStringLiteral("/files/contents.html") : topic)
                   ? 1
                   : 0;
    case HH_DISPLAY_TOC:
    case HH_HELP_CONTEXT:
        if (topicPath(folder, QStringLiteral("/files/contents.html")).isEmpty()) {
            return 0;
        }
        return HelpWindow::instance(folder)->showContents() ? 1 : 0;
    case HH_DISPLAY_INDEX:
        if (topicPath(folder, QStringLiteral("/files/contents.html")).isEmpty()) {
            return 0;
        }
        return HelpWindow::instance(folder)->showIndex() ? 1 : 0;
    case HH_CLOSE_ALL:
        if (HelpWindow *w = HelpWindow::existing()) {
            w->close();
        }
        return 1;
    default:
        return 0;
    }
}

void ShowHelpFileError()
{
    ShowError(nullptr, QStringLiteral("Can't open help file (%1).").arg(applicationHelpFile()));
}

bool ShowHelpTopic(const QString &topic)
{
    if (HtmlHelp(nullptr, applicationHelpFile() + QStringLiteral("::") + topic, HH_DISPLAY_TOPIC) == 0) {
        ShowHelpFileError();
        return false;
    }
    return true;
}

bool ShowHelpContents()
{
    if (HtmlHelp(nullptr, applicationHelpFile(), HH_DISPLAY_TOC) == 0) {
        ShowHelpFileError();
        return false;
    }
    return true;
}

bool ShowHelpIndex()
{
    if (HtmlHelp(nullptr, applicationHelpFile(), HH_DISPLAY_INDEX) == 0) {
        ShowHelpFileError();
        return false;
    }
    return true;
}

bool ShowHelpKeyword(const QString &keyword)
{
    if (keyword.isEmpty() || topicPath(applicationHelpFile(), keyword).isEmpty()) {
        return false; // F1 on a missing page does nothing
    }
    return HtmlHelp(nullptr, applicationHelpFile() + QStringLiteral("::") + keyword, HH_DISPLAY_TOPIC) != 0;
}

QString helpKeywordOf(const QWidget *widget)
{
    for (const QWidget *w = widget; w != nullptr; w = w->parentWidget()) {
        const QString k = w->property("helpKeyword").toString();
        if (!k.isEmpty()) {
            return k;
        }
    }
    return {};
}

void sendHelpKey(QWidget *from)
{
    ShowHelpKeyword(helpKeywordOf(from));
}

void installHelpKeyHandler()
{
    static HelpKeyFilter *filter = nullptr;
    if (filter == nullptr && qApp != nullptr) {
        filter = new HelpKeyFilter(qApp);
        qApp->installEventFilter(filter);
    }
}

bool openInBrowser(const QUrl &url)
{
    const QString target = url.isLocalFile() ? url.toLocalFile() : QString::fromLatin1(url.toEncoded());
    return ShellOpen(target.toStdString(), std::string());
}

} // namespace qv::help
