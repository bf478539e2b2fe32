// Field pages: rows bound to the draft, filled and stored by one list.
#include "ui/taskprops/TaskFieldPage.h"

#include "components/FolderField.h"
#include "components/FolderPicker.h"
#include "components/RangedField.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <stdexcept>
#include <string>

namespace qv {
namespace {

template <class W> W *named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// The page's control of that name; a missing one is a fault of the page's build.
template <class W> W *existing(const QWidget *page, const char *name)
{
    auto *w = page->findChild<W *>(QString::fromLatin1(name));
    if (w == nullptr) {
        throw std::logic_error(std::string("the page has no control named ") + name);
    }
    return w;
}

} // namespace

int checkedIndex(const std::vector<QRadioButton *> &buttons)
{
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->isChecked()) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TaskFieldPage::TaskFieldPage(QWidget *parent) : TaskPropertiesPage(parent), m_grid(new QGridLayout(this))
{
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setColumnStretch(1, 1);
}

QWidget *TaskFieldPage::label(const char *name, const QString &text)
{
    auto *l = named(new QLabel(text, this), name);
    l->setWordWrap(true);
    m_grid->addWidget(l, m_row++, 0, 1, 3);
    return l;
}

QWidget *TaskFieldPage::check(const char *name, const QString &caption, BoolRef ref)
{
    auto *box = named(new QCheckBox(caption, this), name);
    m_grid->addWidget(box, m_row++, 0, 1, 3);
    bindCheck(name, std::move(ref));
    return box;
}

void TaskFieldPage::bindCheck(const char *name, BoolRef ref)
{
    auto *box = existing<QCheckBox>(this, name);
    m_loaders.push_back([box, ref](const TaskSettings &s) { box->setChecked(ref(const_cast<TaskSettings &>(s))); });
    m_storers.push_back([box, ref](TaskSettings &s) { ref(s) = box->isChecked(); });
}

QLineEdit *TaskFieldPage::edit(const char *name, const QString &caption, TextRef ref, bool masked,
                               const char *labelName)
{
    if (labelName != nullptr) {
        m_grid->addWidget(named(new QLabel(caption, this), labelName), m_row, 0);
    }
    auto *e = named(new QLineEdit(this), name);
    if (masked) {
        e->setEchoMode(QLineEdit::Password);
    }
    m_grid->addWidget(e, m_row++, labelName != nullptr ? 1 : 0, 1, labelName != nullptr ? 2 : 3);
    return bindEdit(name, std::move(ref));
}

QLineEdit *TaskFieldPage::bindEdit(const char *name, TextRef ref)
{
    auto *e = existing<QLineEdit>(this, name);
    m_loaders.push_back([e, ref](const TaskSettings &s) {
        e->setText(QString::fromStdString(ref(const_cast<TaskSettings &>(s))));
    });
    m_storers.push_back([e, ref](TaskSettings &s) { ref(s) = e->text().toStdString(); });
    return e;
}

QLineEdit *TaskFieldPage::folder(const char *name, const char *buttonName, const QString &caption, TextRef ref,
                                 const char *labelName)
{
    if (labelName != nullptr) {
        m_grid->addWidget(named(new QLabel(caption, this), labelName), m_row, 0);
    }
    m_grid->addWidget(named(new QLineEdit(this), name), m_row, labelName != nullptr ? 1 : 0, 1,
                      labelName != nullptr ? 1 : 2);
    m_grid->addWidget(named(new QPushButton(QStringLiteral("Browse..."), this), buttonName), m_row++, 2);
    return bindFolder(name, buttonName, std::move(ref));
}

QLineEdit *TaskFieldPage::bindFolder(const char *name, const char *buttonName, TextRef ref)
{
    QLineEdit *e = bindEdit(name, std::move(ref));
    acceptFolderUris(e);
    connect(existing<QPushButton>(this, buttonName), &QPushButton::clicked, this, [this, e] {
        if (auto chosen = FolderPicker::instance().pickFolder(this, e->text())) {
            e->setText(*chosen);
        }
    });
    return e;
}

RangedField *TaskFieldPage::number(const char *name, const char *upDownName, const QString &caption, int minimum,
                                   int maximum, IntRef ref, const char *labelName)
{
    if (labelName != nullptr) {
        m_grid->addWidget(named(new QLabel(caption, this), labelName), m_row, 0);
    }
    m_grid->addWidget(named(new RangedField(minimum, maximum, this), upDownName), m_row++, 1, 1, 1, Qt::AlignLeft);
    return bindNumber(name, upDownName, minimum, maximum, std::move(ref));
}

RangedField *TaskFieldPage::bindNumber(const char *name, const char *upDownName, int minimum, int maximum, IntRef ref)
{
    auto *f = existing<RangedField>(this, upDownName);
    f->setFieldRange(minimum, maximum);
    f->findChild<QLineEdit *>()->setObjectName(QString::fromLatin1(name));
    m_loaders.push_back([f, ref](const TaskSettings &s) { f->setStoredValue(ref(const_cast<TaskSettings &>(s))); });
    m_storers.push_back([f, ref](TaskSettings &s) { ref(s) = static_cast<std::int32_t>(f->storedValue()); });
    return f;
}

void TaskFieldPage::radios(const std::vector<std::pair<const char *, QString>> &buttons,
                           std::function<int(const TaskSettings &)> get,
                           std::function<void(TaskSettings &, int checked)> set)
{
    std::vector<const char *> names;
    auto *holder = new QWidget(this);
    auto *box = new QVBoxLayout(holder);
    box->setContentsMargins(0, 0, 0, 0);
    for (const auto &[name, caption] : buttons) {
        box->addWidget(named(new QRadioButton(caption, holder), name));
        names.push_back(name);
    }
    m_grid->addWidget(holder, m_row++, 0, 1, 3);
    bindRadios(names, std::move(get), std::move(set));
}

void TaskFieldPage::bindRadios(const std::vector<const char *> &names, std::function<int(const TaskSettings &)> get,
                               std::function<void(TaskSettings &, int checked)> set)
{
    std::vector<QRadioButton *> list;
    for (const char *name : names) {
        list.push_back(existing<QRadioButton>(this, name));
    }
    m_loaders.push_back([list, get](const TaskSettings &s) {
        const int v = get(s);
        for (std::size_t i = 0; i < list.size(); ++i) {
            list[i]->setAutoExclusive(false);
            list[i]->setChecked(static_cast<int>(i) == v);
            list[i]->setAutoExclusive(true);
        }
    });
    m_storers.push_back([list, set](TaskSettings &s) { set(s, checkedIndex(list)); });
}

QWidget *TaskFieldPage::row(QWidget *w)
{
    m_grid->addWidget(w, m_row++, 0, 1, 3);
    return w;
}

void TaskFieldPage::stretch()
{
    m_grid->setRowStretch(m_row++, 1);
}

void TaskFieldPage::load(const TaskSettings &s)
{
    for (const auto &f : m_loaders) {
        f(s);
    }
}

void TaskFieldPage::store(TaskSettings &s) const
{
    for (const auto &f : m_storers) {
        f(s);
    }
}

} // namespace qv
