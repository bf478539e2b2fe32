// HelpWindow: the in-program help viewer (contents, index, topic, open in browser).
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;

namespace qv {

class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(const QString &helpFolder, QWidget *parent = nullptr);

    // The one window of the program (created on first use).
    static HelpWindow *instance(const QString &helpFolder);
    static HelpWindow *existing();

    bool showTopic(const QString &topic);
    bool showContents();
    bool showIndex();

    QString helpFolder() const { return m_folder; }
    QString currentTopicPath() const;
    QTreeWidget *contentsTree() const { return m_contents; }
    QListWidget *indexList() const { return m_index; }
    QTextBrowser *browser() const { return m_browser; }

    struct IndexEntry {
        QString keyword;
        QString title;
        QString file; // relative to the folder, as "files/x.html"
    };
    // Reads every page's title and keywords.
    static QList<IndexEntry> readIndex(const QString &helpFolder);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildContents();
    void buildIndex();
    void filterIndex(const QString &text);
    void present();

    QString m_folder;
    QTabWidget *m_tabs = nullptr;
    QTreeWidget *m_contents = nullptr;
    QLineEdit *m_indexFilter = nullptr;
    QListWidget *m_index = nullptr;
    QTextBrowser *m_browser = nullptr;
    QPointer<QWidget> m_owner; // the modal dialog the help was asked from, while it shows
};

} // namespace qv
