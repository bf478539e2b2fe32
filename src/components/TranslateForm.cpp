// TranslateForm over Qt object names.
#include "components/TranslateForm.h"

#include "core/text/Language.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTreeView>
#include <QTreeWidget>

namespace qv {

namespace {

// The value a memo line or combo item keeps when the file does not name it.
const char *const kKeep = "fsdef";

QString q(const std::string &s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The tab widget that shows `page` as one of its tabs, or nullptr.
QTabWidget *tabOwner(QWidget *page)
{
    auto *stack = qobject_cast<QStackedWidget *>(page->parentWidget());
    if (!stack) {
        return nullptr;
    }
    return qobject_cast<QTabWidget *>(stack->parentWidget());
}

void applyCaption(QObject *obj, const QString &text)
{
    if (auto *w = qobject_cast<QWidget *>(obj)) {
        if (QTabWidget *tabs = tabOwner(w)) {
            int i = tabs->indexOf(w);
            if (i >= 0) {
                tabs->setTabText(i, text);
            }
            return;
        }
    }
    if (auto *g = qobject_cast<QGroupBox *>(obj)) {
        g->setTitle(text);
    } else if (auto *m = qobject_cast<QMenu *>(obj)) {
        m->setTitle(text);
    } else if (auto *a = qobject_cast<QAction *>(obj)) {
        a->setText(text);
    } else if (auto *b = qobject_cast<QAbstractButton *>(obj)) {
        b->setText(text);
    } else if (auto *l = qobject_cast<QLabel *>(obj)) {
        l->setText(text);
    } else if (obj->isWidgetType() && static_cast<QWidget *>(obj)->isWindow()) {
        static_cast<QWidget *>(obj)->setWindowTitle(text);
    }
    // Other components (edit boxes, lists ...) have no caption.
}

void applyHint(QObject *obj, const QString &text)
{
    if (auto *a = qobject_cast<QAction *>(obj)) {
        a->setToolTip(text);
    } else if (auto *w = qobject_cast<QWidget *>(obj)) {
        w->setToolTip(text);
    }
}

void translateMemo(const LanguageTable &t, const std::string &section, const std::string &prefix,
                   QPlainTextEdit *memo)
{
    QTextDocument *doc = memo->document();
    int count = doc->blockCount();
    if (count == 1 && doc->firstBlock().text().isEmpty()) {
        return; // an empty memo has no lines
    }
    QStringList lines;
    bool changed = false;
    for (int n = 0; n < count; ++n) {
        QString line = doc->findBlockByNumber(n).text();
        std::string v = t.ReadString(section, prefix + ".lines[" + std::to_string(n) + "]", kKeep);
        if (v != kKeep) {
            line = q(v);
            changed = true;
        }
        lines << line;
    }
    if (changed) {
        memo->setPlainText(lines.join(QLatin1Char('\n')));
    }
}

void translateCombo(const LanguageTable &t, const std::string &section, const std::string &prefix, QComboBox *box)
{
    for (int n = 0; n < box->count(); ++n) {
        std::string v = t.ReadString(section, prefix + ".items[" + std::to_string(n) + "]", kKeep);
        if (v != kKeep) {
            box->setItemText(n, q(v));
        }
    }
}

void translateColumns(const LanguageTable &t, const std::string &section, const std::string &prefix,
                      QAbstractItemView *view)
{
    QAbstractItemModel *model = view->model();
    if (!model) {
        return;
    }
    int columns = model->columnCount();
    for (int n = 0; n < columns; ++n) {
        std::string v = t.ReadString(section, prefix + ".Columns[" + std::to_string(n) + "].Caption", "");
        if (v.empty()) {
            continue;
        }
        if (auto *tree = qobject_cast<QTreeWidget *>(view)) {
            tree->headerItem()->setText(n, q(v));
        } else if (auto *table = qobject_cast<QTableWidget *>(view)) {
            QTableWidgetItem *item = table->horizontalHeaderItem(n);
            if (!item) {
                table->setHorizontalHeaderItem(n, new QTableWidgetItem(q(v)));
            } else {
                item->setText(q(v));
            }
        } else {
            model->setHeaderData(n, Qt::Horizontal, q(v));
        }
    }
}

void translateComponent(const LanguageTable &t, const std::string &section, const std::string &form, QObject *obj)
{
    const std::string comp = obj->objectName().toStdString();
    if (comp.empty() || comp.rfind("qt_", 0) == 0) {
        return;
    }
    const std::string prefix = form + "." + comp;
    std::string caption = t.ReadString(section, prefix + ".Caption", "");
    if (!caption.empty()) {
        applyCaption(obj, q(caption));
    }
    std::string hint = t.ReadString(section, prefix + ".Hint", "");
    if (!hint.empty()) {
        applyHint(obj, q(hint));
    }
    if (auto *memo = qobject_cast<QPlainTextEdit *>(obj)) {
        translateMemo(t, section, prefix, memo);
    } else if (auto *box = qobject_cast<QComboBox *>(obj)) {
        translateCombo(t, section, prefix, box);
    } else if (auto *view = qobject_cast<QAbstractItemView *>(obj)) {
        if (qobject_cast<QTreeView *>(view) || qobject_cast<QTableView *>(view)) {
            translateColumns(t, section, prefix, view);
        }
    }
}

} // namespace

void TranslateFormWith(const LanguageTable &table, QWidget *form)
{
    if (!form) {
        return;
    }
    const std::string name = form->objectName().toStdString();
    if (name.empty()) {
        return;
    }
    std::string caption = table.ReadString(name, name + ".Caption", "");
    if (!caption.empty()) {
        form->setWindowTitle(q(caption));
    }
    // Setting a text may replace internal helper objects of a component, so the list is held
    // through guards and objects that went away meanwhile are passed over.
    QList<QPointer<QObject>> children;
    for (QObject *child : form->findChildren<QObject *>()) {
        children.append(child);
    }
    for (const QPointer<QObject> &child : children) {
        if (child) {
            translateComponent(table, name, name, child.data());
        }
    }
}

void TranslateForm(QWidget *form)
{
    std::shared_ptr<const LanguageTable> table = LanguageFile();
    if (table) {
        TranslateFormWith(*table, form);
    }
}

void TranslateForm(const QList<QWidget *> &forms)
{
    std::shared_ptr<const LanguageTable> table = LanguageFile();
    if (!table) {
        return;
    }
    for (QWidget *form : forms) {
        TranslateFormWith(*table, form);
    }
}

} // namespace qv
