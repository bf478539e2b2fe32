// HelpWindow: contents from the contents page's list, index from the pages' keywords.
#include "ui/HelpWindow.h"

#include "components/ScreenPlacement.h"
#include "platform/gui/ForegroundWindow.h"
#include "ui/Help.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

namespace qv {
namespace {

QPointer<HelpWindow> g_window;

QString readText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(f.readAll());
}

QString plain(QString html)
{
    html.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    html.replace(QLatin1String("&amp;"), QLatin1String("&"));
    html.replace(QLatin1String("&gt;"), QLatin1String(">"));
    html.replace(QLatin1String("&lt;"), QLatin1String("<"));
    return html.simplified();
}

} // namespace

HelpWindow::HelpWindow(const QString &helpFolder, QWidget *parent) : QWidget(parent, Qt::Window), m_folder(helpFolder)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(tr("Quorvellant Help"));
    QIcon icon(QStringLiteral(":/icons/32/ICON_Quorvellant.png"));
    icon.addFile(QStringLiteral(":/icons/16/ICON_Quorvellant.png"));
    setWindowIcon(icon);
    resize(900, 600);

    auto *splitter = new QSplitter(this);
    m_tabs = new QTabWidget(splitter);
    m_contents = new QTreeWidget(m_tabs);
    m_contents->setHeaderHidden(true);
    m_tabs->addTab(m_contents, tr("&Contents"));

    auto *indexPage = new QWidget(m_tabs);
    auto *indexLayout = new QVBoxLayout(indexPage);
    m_indexFilter = new QLineEdit(indexPage);
    m_indexFilter->setPlaceholderText(tr("Type a keyword"));
    m_index = new QListWidget(indexPage);
    indexLayout->addWidget(m_indexFilter);
    indexLayout->addWidget(m_index);
    m_tabs->addTab(indexPage, tr("&Index"));
    // The index is for typing: its keyword box takes the keys as soon as the tab shows.
    connect(m_tabs, &QTabWidget::currentChanged, this, [this, indexPage](int index) {
        if (m_tabs->widget(index) == indexPage) {
            m_indexFilter->setFocus();
        }
    });

    auto *right = new QWidget(splitter);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    auto *buttons = new QHBoxLayout;
    auto *back = new QPushButton(tr("Back"), right);
    auto *forward = new QPushButton(tr("Forward"), right);
    auto *home = new QPushButton(tr("Contents"), right);
    auto *browserButton = new QPushButton(tr("Open in Browser"), right);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addWidget(home);
    buttons->addStretch();
    buttons->addWidget(browserButton);
    m_browser = new QTextBrowser(right);
    m_browser->setOpenExternalLinks(false);
    m_browser->setOpenLinks(true);
    rightLayout->addLayout(buttons);
    rightLayout->addWidget(m_browser);
    splitter->setStretchFactor(1, 3);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(home, &QPushButton::clicked, this, [this] { showTopic(QStringLiteral("/files/contents.html")); });
    connect(browserButton, &QPushButton::clicked, this, [this] { help::openInBrowser(m_browser->source()); });
    connect(m_browser, &QTextBrowser::anchorClicked, this, [](const QUrl &url) {
        if (!url.isLocalFile() && !url.isRelative()) {
            help::openInBrowser(url); // links that leave the help go to the desktop's browser
        }
    });
    connect(m_contents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        showTopic(item->data(0, Qt::UserRole).toString());
    });
    connect(m_contents, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        showTopic(item->data(0, Qt::UserRole).toString());
    });
    connect(m_index, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        showTopic(item->data(Qt::UserRole).toString());
    });
    connect(m_indexFilter, &QLineEdit::textChanged, this, &HelpWindow::filterIndex);
    // The title names the page shown, so the help window can be told apart in the window list.
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString base = tr("Quorvellant Help");
        const QString page = m_browser->documentTitle();
        setWindowTitle(page.isEmpty() || page == base ? base : tr("Quorvellant Help - %1").arg(page));
    });

    buildContents();
    buildIndex();
}

HelpWindow *HelpWindow::instance(const QString &helpFolder)
{
    if (!g_window || g_window->helpFolder() != helpFolder) {
        delete g_window.data();
        g_window = new HelpWindow(helpFolder);
        g_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    return g_window.data();
}

HelpWindow *HelpWindow::existing()
{
    return g_window.data();
}

void HelpWindow::buildContents()
{
    m_contents->clear();
    const QString text = readText(help::topicPath(m_folder, QStringLiteral("/files/contents.html")));
    // The contents page's nested lists give the tree: <ul> goes one level down, </ul> up.
    static const QRegularExpression token(
        QString::fromUtf8(R"re((<ul[^>]*>)|(</ul>)|<a\s+href="([^"]+)"\s*>(.*?)</a>)re"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    QList<QTreeWidgetItem *> stack;
    QTreeWidgetItem *last = nullptr;
    int depth = 0;
    for (auto it = token.globalMatch(text); it.hasNext();) {
        auto m = it.next();
        if (!m.captured(1).isEmpty()) {
            ++depth;
            if (depth > 1 && last != nullptr) {
                stack.append(last);
            }
        } else if (!m.captured(2).isEmpty()) {
            if (depth > 1 && !stack.isEmpty()) {
                stack.removeLast();
            }
            --depth;
        } else if (depth > 0) {
            auto *item = stack.isEmpty() ? new QTreeWidgetItem(m_contents) : new QTreeWidgetItem(stack.last());
            item->setText(0, plain(m.captured(4)));
            item->setData(0, Qt::UserRole, QStringLiteral("/files/") + m.captured(3));
            last = item;
        }
    }
    m_contents->expandAll();
}

QList<HelpWindow::IndexEntry> HelpWindow::readIndex(const QString &helpFolder)
{
    QList<IndexEntry> entries;
    static const QRegularExpression titleRe(QStringLiteral("<title>(.*?)</title>"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression keysRe(QString::fromUtf8(R"re(<meta\s+name="keywords"\s+content="([^"]*)")re"),
                                           QRegularExpression::CaseInsensitiveOption);
    QDir dir(helpFolder + QStringLiteral("/files"));
    const auto files = dir.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    for (const QString &name : files) {
        const QString text = readText(dir.filePath(name));
        const QString title = plain(titleRe.match(text).captured(1));
        const auto keys = keysRe.match(text).captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts);
        entries.append({title, title, QStringLiteral("/files/") + name});
        for (const QString &k : keys) {
            entries.append({k.trimmed(), title, QStringLiteral("/files/") + name});
        }
    }
    std::sort(entries.begin(), entries.end(), [](const IndexEntry &a, const IndexEntry &b) {
        return a.keyword.compare(b.keyword, Qt::CaseInsensitive) < 0;
    });
    return entries;
}

void HelpWindow::buildIndex()
{
    m_index->clear();
    for (const IndexEntry &e : readIndex(m_folder)) {
        auto *item = new QListWidgetItem(e.keyword == e.title ? e.title : e.keyword + QStringLiteral(" - ") + e.title,
                                         m_index);
        item->setData(Qt::UserRole, e.file);
    }
}

void HelpWindow::filterIndex(const QString &text)
{
    for (int i = 0; i < m_index->count(); ++i) {
        QListWidgetItem *item = m_index->item(i);
        item->setHidden(!item->text().contains(text, Qt::CaseInsensitive));
    }
}

bool HelpWindow::showTopic(const QString &topic)
{
    const QString path = help::topicPath(m_folder, topic);
    if (path.isEmpty()) {
        return false;
    }
    m_browser->setSource(QUrl::fromLocalFile(path));
    present();
    return true;
}

bool HelpWindow::showContents()
{
    if (!showTopic(QStringLiteral("/files/contents.html"))) {
        return false;
    }
    m_tabs->setCurrentIndex(0);
    return true;
}

bool HelpWindow::showIndex()
{
    if (!showTopic(QStringLiteral("/files/contents.html"))) {
        return false;
    }
    m_tabs->setCurrentIndex(1);
    m_indexFilter->setFocus();
    return true;
}

QString HelpWindow::currentTopicPath() const
{
    return m_browser->source().toLocalFile();
}

void HelpWindow::present()
{
    // Asked from a modal dialog, the help must be usable while that dialog stays open: a window
    // that belongs to the dialog is not blocked by it. It goes back to being on its own when the
    // dialog closes, so a later dialog does not leave it blocked either.
    QWidget *modal = QApplication::activeModalWidget();
    if (!isVisible()) {
        // Over the window it was asked from, wholly on that window's screen: a window manager
        // centring it over a dialog low on the screen would leave its bottom off the edge.
        QWidget *from = modal != nullptr ? modal : QApplication::activeWindow();
        if (from == this) {
            from = nullptr;
        }
        const QPoint centre = from != nullptr ? from->frameGeometry().center() : QCursor::pos();
        placeWhollyOnScreen(this, centre, from);
    }
    if (modal != nullptr && modal != this && modal->windowHandle() != nullptr) {
        winId(); // the native window must exist to take the dialog as its owner
        windowHandle()->setTransientParent(modal->windowHandle());
        if (m_owner != modal) {
            if (m_owner) {
                m_owner->removeEventFilter(this);
            }
            m_owner = modal;
            modal->installEventFilter(this);
        }
    }
    ForceForegroundWindow(this);
}

bool HelpWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_owner && event->type() == QEvent::Hide) {
        m_owner->removeEventFilter(this);
        m_owner = nullptr;
        if (windowHandle() != nullptr) {
            windowHandle()->setTransientParent(nullptr);
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace qv
