// Folder fields that take local file URIs: a drop filter and a conversion after each edit.
#include "components/FolderField.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

namespace qv {
namespace {

// The local path of the first URL a drag carries, or nothing.
QString droppedPath(const QMimeData *mime)
{
    if (mime == nullptr || !mime->hasUrls() || mime->urls().isEmpty()) {
        return {};
    }
    const QUrl url = mime->urls().constFirst();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

class FolderDropFilter : public QObject
{
public:
    explicit FolderDropFilter(QLineEdit *edit) : QObject(edit), m_edit(edit) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_edit || !m_edit->isEnabled() || m_edit->isReadOnly()) {
            return false;
        }
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDropEvent *>(event);
            if (droppedPath(drag->mimeData()).isEmpty()) {
                return false; // plain text: the edit's own handling
            }
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            const QString path = droppedPath(drop->mimeData());
            if (path.isEmpty()) {
                return false;
            }
            m_edit->setText(path);
            m_edit->setFocus(Qt::OtherFocusReason);
            drop->acceptProposedAction();
            return true;
        }
        default:
            return false;
        }
    }

private:
    QLineEdit *m_edit;
};

} // namespace

QString localPathOfUri(const QString &text)
{
    const QString line = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (!line.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) {
        return text;
    }
    QUrl url(line, QUrl::StrictMode);
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        url.setHost(QString()); // this computer
    }
    const QString path = url.isValid() && url.isLocalFile() && url.host().isEmpty() ? url.toLocalFile() : QString();
    return path.startsWith(QLatin1Char('/')) ? path : text;
}

void acceptFolderUris(QLineEdit *edit)
{
    edit->setAcceptDrops(true);
    edit->installEventFilter(new FolderDropFilter(edit));
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString &text) {
        const QString path = localPathOfUri(text);
        if (path != text) {
            edit->setText(path);
        }
    });
}

} // namespace qv
