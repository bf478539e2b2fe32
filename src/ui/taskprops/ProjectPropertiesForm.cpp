// The task properties dialog: pages, navigator, caption, OK and the edit cycle.
#include "ui/taskprops/ProjectPropertiesForm.h"
#include "ui/taskprops/TestEmail.h"

#include "components/AlphaImageList.h"
#include "components/LangText.h"
#include "components/MessageBox.h"
#include "components/TranslateForm.h"
#include "core/runs/Task.h"
#include "core/settings/MessageCategory.h"
#include "core/task/TaskStorage.h"
#include "core/task/TaskValidate.h"
#include "core/text/Language.h"
#include "ui/Help.h"
#include "ui/MainFormDialogs.h"
#include "ui/options/PrefsForm.h"
#include "ui/PasswordForm.h"
#include "ui/taskprops/TaskDialogRules.h"
#include "ui/taskprops/TaskGroupPage.h"
#include "ui/taskprops/TaskPages.h"
#include "ui/taskprops/TaskSourcesPage.h"
#include "ui/taskprops/TaskSystemTimerPage.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

namespace qv {
namespace {

using PageFactory = TaskPropertiesPage *(*)(QWidget *);

template <TaskGroup G> TaskPropertiesPage *groupPage(QWidget *parent)
{
    return new TaskGroupPage(G, GroupFlavour::Task, parent);
}

// The e-mail page's Send Test tries the page's own entries, confirmed or not.
template <> TaskPropertiesPage *groupPage<TaskGroup::Email>(QWidget *parent)
{
    auto *page = new TaskGroupPage(TaskGroup::Email, GroupFlavour::Task, parent);
    if (auto *test = page->findChild<QPushButton *>(QStringLiteral("EmailTestButton"))) {
        QObject::connect(test, &QPushButton::clicked, page,
                         [page] { sendTestEmail(page, panelTestEmailSettings(page)); });
    }
    return page;
}

struct PageInfo {
    const char *node;
    int parent; // index of the parent node, -1 for a top-level node
    int image;  // index in the navigator's images
    const char *sheet;
    const char *title;
    const char *help; // nullptr: the parent page's keyword, else the form's
    PageFactory create;
};

const PageInfo kPages[TProjectPropertiesForm::kPageCount] = {
    {"Name", -1, 5, "TaskNameTabSheet", "Select name for your Backup Task.", "/files/task.name.html", createNamePage},
    {"Type", -1, 0, "BackupTypeTabSheet", "Select type of your Backup Task.", "/files/task.backuptype.html",
     createTypePage},
    {"Source", -1, 2, "SourceTabSheet", "What do you want to Backup?", "/files/task.source.html", createSourcePage},
    {"Destination", -1, 3, "DestTabSheet", "Where do you want your Backup will be saved?",
     "/files/task.destination.html", createDestinationPage},
    {"Local/Lan", 3, 2, "DestLocalTabSheet", "Backup to Local/LAN folder", nullptr, createDestLocalPage},
    {"FTP Server", 3, 3, "DestFtpTabSheet", "Backup to FTP server", nullptr, createDestFtpPage},
    {"CD/DVD Disk", 3, 2, "TabSheet1", "Backup to CD/DVD disk", nullptr, createDestCdDvdPage},
    {"Send via Email", 3, 9, "DestEmailTabSheet", "Send Backup to an Email address", nullptr, createDestEmailPage},
    {"Compression", -1, 4, "CompressTabSheet", "Do you want to use ZIP compression?", nullptr, createCompressPage},
    {"File Filters", -1, 5, "FileFilterTabSheet", "Which files need to be included (excluded) in your Backup?",
     "/files/task.filefilter.html", createFileFilterPage},
    {"Autorun and Schedule", -1, 0, "AutoRunTabSheet", "Select how and often the task should be run.",
     "/files/task.schedule.html", createAutoRunPage},
    {"Folder Monitor", 10, 2, "FolderMonitorTabSheet", "Start task on folder contents change.", nullptr,
     createFolderMonitorPage},
    {"Internal Schedule", 10, 0, "InternalScheduleTabSheet", "Start task using Internal Scheduler.", nullptr,
     createInternalSchedulePage},
    {"systemd Timer", 10, 0, "MSScheduleTabSheet", "Start task using a systemd user timer.",
     "/files/task.systemtimer.html", createMSSchedulePage},
    {"Backup Options", -1, 7, "OptionsTabSheet", "Task Options", nullptr, createOptionsPage},
    {"Old Versions", -1, 5, "VersionsTabSheet", "Do you want to keep several old file versions in backup?", nullptr,
     createVersionsPage},
    {"Obsolete Files", -1, 6, "ObsoleteTabSheet", "What to do with obsolete files?", nullptr, createObsoletePage},
    {"Advanced", -1, 7, "AdvancedTabSheet", "Advanced settings", nullptr, createAdvancedPage},
    {"Run Programs", 17, 0, "RunTabSheet", "Do you want to run programs before and/or after Task?", nullptr,
     groupPage<TaskGroup::Run>},
    {"Auto Dial", 17, 1, "DialTabSheet", "Establish connections to remote locations.", nullptr,
     groupPage<TaskGroup::Dial>},
    {"Hardware Profile", 17, 2, "HardwareTabSheet", "Skip task work on some hardware profiles.", nullptr,
     groupPage<TaskGroup::Hardware>},
    {"Limit bandwidth", 17, 3, "TabSheet8", "Limit maximum data rate.", nullptr, groupPage<TaskGroup::Bandwidth>},
    {"Task Password", 17, 4, "PasswordTabSheet", "Protect this task's settings using password.",
     "/files/task.additionaloptions.html", groupPage<TaskGroup::Password>},
    {"Log Settings", 17, 5, "LogTabSheet", "Log settings", nullptr, groupPage<TaskGroup::Log>},
    {"Event Alerts", 17, 6, "EventsTabSheet", "Task Event Alerts", nullptr, createEventsPage},
    {"CPU Performance", 17, 7, "PerformanceTabSheet", "CPU Performance", nullptr, groupPage<TaskGroup::Performance>},
    {"Power Management", 17, 8, "PowerTabSheet", "Power Management", nullptr, groupPage<TaskGroup::Power>},
    {"Email Settings", 17, 9, "EmailTabSheet", "Email sending settings", nullptr, groupPage<TaskGroup::Email>},
};

constexpr const char *kFormHelp = "/files/taskproperties.html";

QString &imageResourcePrefix()
{
    static QString prefix;
    return prefix;
}

} // namespace

QString zipNameForTaskName(const QString &taskName)
{
    const int slash = taskName.lastIndexOf(QLatin1Char('/'));
    const int dot = taskName.lastIndexOf(QLatin1Char('.'));
    if (dot > slash) {
        return taskName.left(dot) + QLatin1String(".zip");
    }
    return taskName + QLatin1String(".zip");
}

QString TProjectPropertiesForm::navigatorImageResource()
{
    return imageResourcePrefix().isEmpty() ? QStringLiteral("ICON_TaskPropsImageList_") : imageResourcePrefix();
}

void TProjectPropertiesForm::setNavigatorImageResource(const QString &prefix)
{
    imageResourcePrefix() = prefix;
}

int &LastTaskPageIndex()
{
    static int index = 0;
    return index;
}

TProjectPropertiesForm::TProjectPropertiesForm(TTask &task, QWidget *parent)
    : QDialog(parent), m_task(&task), m_scratch(std::make_unique<TTask>())
{
    setObjectName(QStringLiteral("ProjectPropertiesForm"));
    setProperty("helpKeyword", QString::fromLatin1(kFormHelp));
    NavigatorImages = new TAlphaImageList(16, 16, this);
    NavigatorImages->setObjectName(QStringLiteral("NavigatorImages"));
    loadPrefsImages(NavigatorImages, navigatorImageResource());
    NavigatorTree = new QTreeWidget(this);
    NavigatorTree->setObjectName(QStringLiteral("NavigatorTree"));
    NavigatorTree->header()->hide();
    PageControl = new QStackedWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    buildPages();
    // The buttons come after the pages in the focus chain: Tab from the tree enters the page.
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    HelpButton = new QPushButton(QStringLiteral("Help"), this);
    HelpButton->setObjectName(QStringLiteral("HelpButton"));

    auto *top = new QHBoxLayout;
    top->addWidget(NavigatorTree);
    top->addWidget(PageControl, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    buttons->addWidget(HelpButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    resize(790, 520);

    connect(OkButton, &QPushButton::clicked, this, &TProjectPropertiesForm::accept);
    connect(CancelButton, &QPushButton::clicked, this, &TProjectPropertiesForm::reject);
    // Help opens the topic of the page shown, as F1 does from any control of that page.
    connect(HelpButton, &QPushButton::clicked, this,
            [this] { help::sendHelpKey(m_pages[static_cast<std::size_t>(m_shownPage)]); });
    connect(NavigatorTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        for (std::size_t i = 0; i < m_nodes.size(); ++i) {
            if (m_nodes[i] == item) {
                leavingPage(m_shownPage);
                m_shownPage = static_cast<int>(i);
                PageControl->setCurrentIndex(m_shownPage);
                // F1 in the navigator or on the buttons opens the topic of the page shown.
                NavigatorTree->setProperty("helpKeyword", pageHelpKeyword(m_shownPage));
                setProperty("helpKeyword", pageHelpKeyword(m_shownPage));
            }
        }
    });
    NavigatorTree->setProperty("helpKeyword", pageHelpKeyword(m_shownPage));
    setProperty("helpKeyword", pageHelpKeyword(m_shownPage));
    if (auto *name = findChild<QLineEdit *>(QStringLiteral("TaskNameEdit"))) {
        connect(name, &QLineEdit::textChanged, this, &TProjectPropertiesForm::updateCaption);
        connect(name, &QLineEdit::textChanged, this, &TProjectPropertiesForm::followTaskName);
    }
    for (const char *name : {"SourceFolderEdit", "DestLocalFolderEdit", "VersionsFolderEdit", "ObsoleteFolderEdit"}) {
        if (auto *edit = findChild<QLineEdit *>(QString::fromLatin1(name))) {
            connect(edit, &QLineEdit::textChanged, this, &TProjectPropertiesForm::updateFolderLabels);
        }
    }
    TranslateForm(this);
    fitNavigatorWidth();
    updateCaption();
}

void TProjectPropertiesForm::fitNavigatorWidth()
{
    // As wide as the longest label in the dialog's font, with room for a scroll bar: a larger
    // desktop font or a longer translation never cuts a page's name.
    const int chrome =
        2 * NavigatorTree->frameWidth() +
        NavigatorTree->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, NavigatorTree) + 4;
    const int labels = static_cast<const QAbstractItemView *>(NavigatorTree)->sizeHintForColumn(0);
    NavigatorTree->setFixedWidth(std::max(215, labels + chrome));
}

TProjectPropertiesForm::~TProjectPropertiesForm() = default;

void TProjectPropertiesForm::updateFolderLabels()
{
    if (m_loading) {
        return;
    }
    auto text = [this](const char *name) {
        auto *e = findChild<QLineEdit *>(QString::fromLatin1(name));
        return e != nullptr ? e->text().toStdString() : std::string();
    };
    auto show = [this](const char *label, const std::string &expanded, const std::string &typed) {
        if (auto *l = findChild<QLabel *>(QString::fromLatin1(label))) {
            l->setText(expanded != typed ? QString::fromStdString(expanded) : QString());
        }
    };
    m_draft.DestLocal = text("DestLocalFolderEdit");
    m_draft.VersionsFolder = text("VersionsFolderEdit");
    m_draft.ArchiveFolder = text("ObsoleteFolderEdit");
    m_scratch->assignSettings(m_draft);
    m_scratch->ID = m_task->ID;
    const std::string source = text("SourceFolderEdit");
    show("SourceFolderLabelExpandTest", source.empty() ? source : includeTrailingSlash(m_scratch->Expand(source)),
         source);
    show("DestLocalFolderLabelExpandTest", m_scratch->GetDestinationFolder(-1), m_draft.DestLocal);
    show("VersionsFolderExpandTestLabel", m_scratch->GetVersionsFolder(), m_draft.VersionsFolder);
    show("ObsoleteFolderExpandTestLabel", m_scratch->GetArchiveFolder(), m_draft.ArchiveFolder);
}

void TProjectPropertiesForm::buildPages()
{
    for (int i = 0; i < kPageCount; ++i) {
        const PageInfo &info = kPages[i];
        auto *sheet = new QWidget(PageControl);
        auto *title = new QLabel(QString::fromLatin1(info.title), sheet);
        title->setObjectName(QString::fromLatin1(info.sheet) + QLatin1String("TitleLabel"));
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        TaskPropertiesPage *page = info.create(sheet);
        page->setObjectName(QString::fromLatin1(info.sheet));
        page->setContext(this);
        page->setProperty("helpKeyword", pageHelpKeyword(i));
        auto *column = new QVBoxLayout(sheet);
        column->addWidget(title);
        column->addWidget(page, 1);
        PageControl->addWidget(sheet);
        m_pages.push_back(page);
        connect(page, &TaskPropertiesPage::stateChanged, this, &TProjectPropertiesForm::CheckState);
        connect(page, &TaskPropertiesPage::pageRequested, this, [this](const QString &name, bool focusPage) {
            if (focusPage) {
                showPageFocused(pageIndexOf(name));
            } else {
                showPage(pageIndexOf(name));
            }
        });
        auto *node = info.parent < 0 ? new QTreeWidgetItem(NavigatorTree)
                                     : new QTreeWidgetItem(m_nodes[static_cast<std::size_t>(info.parent)]);
        node->setText(0, QString::fromLatin1(info.node));
        node->setIcon(0, NavigatorImages->icon(info.image % NavigatorImages->Count()));
        m_nodes.push_back(node);
    }
    // The dialog's own triggers of the rules (the group pages report theirs through stateChanged).
    for (const char *name : {"BackupTypeSimpleCopyRadioButton", "BackupTypeExactCopyRadioButton",
                             "BackupTypeMoveRadioButton", "BackupTypeSynchronizeRadioButton", "DestLocalRadioButton",
                             "DestFtpRadioButton", "DestCdDvdRadioButton", "DestEmailRadioButton",
                             "CompressUseCheckBox", "ObsoleteNormalDeleteRadioButton", "ObsoleteRecycleBinRadioButton",
                             "ObsoleteMoveToFolderRadioButton", "VersionsSaveOldCheckBox"}) {
        if (auto *b = findChild<QAbstractButton *>(QString::fromLatin1(name))) {
            connect(b, &QAbstractButton::toggled, this, &TProjectPropertiesForm::CheckState);
        }
    }
    NavigatorTree->expandAll();
    NavigatorTree->setCurrentItem(m_nodes.front());
}

int TProjectPropertiesForm::pageIndexOf(const QString &tabSheetName) const
{
    for (int i = 0; i < kPageCount; ++i) {
        if (m_pages[static_cast<std::size_t>(i)]->objectName() == tabSheetName) {
            return i;
        }
    }
    return -1;
}

void TProjectPropertiesForm::loadDraft()
{
    // The pages load from a copy: edits write into the draft as they fill.
    const TaskSettings loaded = m_task->settings();
    m_draft = loaded;
    m_loading = true;
    for (TaskPropertiesPage *p : m_pages) {
        p->load(loaded);
    }
    m_loading = false;
    CheckState();
    updateCaption();
    updateFolderLabels();
}

int TProjectPropertiesForm::currentPageIndex() const
{
    return m_shownPage;
}

void TProjectPropertiesForm::showPage(int index)
{
    if (index >= 0 && index < kPageCount) {
        NavigatorTree->setCurrentItem(m_nodes[static_cast<std::size_t>(index)]);
    }
}

void TProjectPropertiesForm::showPageFocused(int index)
{
    if (index < 0 || index >= kPageCount) {
        return;
    }
    showPage(index);
    QWidget *page = m_pages[static_cast<std::size_t>(index)];
    for (QWidget *w = page->nextInFocusChain(); w != nullptr && w != page && page->isAncestorOf(w);
         w = w->nextInFocusChain()) {
        if (w->isEnabled() && w->isVisibleTo(page) && (w->focusPolicy() & Qt::TabFocus) != 0) {
            w->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

QString TProjectPropertiesForm::pageHelpKeyword(int index) const
{
    // A page without a topic of its own is described in its parent's (the Local/Lan page in the
    // destination's), else in the dialog's.
    for (int i = index; i >= 0 && i < kPageCount; i = kPages[i].parent) {
        if (kPages[i].help != nullptr) {
            return QString::fromLatin1(kPages[i].help);
        }
    }
    return QString::fromLatin1(kFormHelp);
}

void TProjectPropertiesForm::CheckState()
{
    TaskDialogRules::apply(this, TaskDialogRules::evaluate(TaskDialogRules::read(this)));
    for (TaskPropertiesPage *p : m_pages) {
        if (auto *g = qobject_cast<TaskGroupPage *>(p)) {
            g->applyRule();
        }
    }
    // The mode switch of the source page follows the type just chosen.
    if (auto *sources = findChild<TaskSourcesPage *>()) {
        sources->updateSourceButtons();
    }
}

void TProjectPropertiesForm::setNewTask(bool isNew)
{
    if (auto *timer = findChild<TaskSystemTimerPage *>()) {
        timer->setNewTask(isNew);
    }
}

std::string TProjectPropertiesForm::expand(const std::string &text) const
{
    m_scratch->assignSettings(m_draft);
    m_scratch->ID = m_task->ID;
    return m_scratch->Expand(text);
}

void TProjectPropertiesForm::updateCaption()
{
    auto *name = findChild<QLineEdit *>(QStringLiteral("TaskNameEdit"));
    const QString format = QString::fromStdString(
        GetLangString("Quorvellant Task Properties - [%s]", "strProgectPropFormTitle"));
    QString caption = format;
    caption.replace(QLatin1String("%s"), name != nullptr ? name->text() : QString());
    setWindowTitle(caption);
}

void TProjectPropertiesForm::leavingPage(int index)
{
    // Leaving the name page names an empty zip file after the task.
    if (index != 0) {
        return;
    }
    auto *zip = findChild<QLineEdit *>(QStringLiteral("CompressFilenameEdit"));
    auto *name = findChild<QLineEdit *>(QStringLiteral("TaskNameEdit"));
    if (zip != nullptr && name != nullptr && zip->text().isEmpty()) {
        m_givenZipName = zipNameForTaskName(name->text());
        zip->setText(m_givenZipName);
    }
}

void TProjectPropertiesForm::followTaskName()
{
    // The dialog may open on another page, which fills the archive name before a name is typed.
    auto *zip = findChild<QLineEdit *>(QStringLiteral("CompressFilenameEdit"));
    auto *name = findChild<QLineEdit *>(QStringLiteral("TaskNameEdit"));
    if (zip == nullptr || name == nullptr || m_givenZipName.isEmpty() || zip->text() != m_givenZipName) {
        return;
    }
    m_givenZipName = zipNameForTaskName(name->text());
    zip->setText(m_givenZipName);
}

void TProjectPropertiesForm::accept()
{
    for (TaskPropertiesPage *p : m_pages) {
        if (!p->validate()) {
            return;
        }
    }
    for (TaskPropertiesPage *p : m_pages) {
        p->store(m_draft);
    }
    if (!keepDespiteTaskCheck()) {
        return;
    }
    QDialog::accept();
}

bool TProjectPropertiesForm::keepDespiteTaskCheck()
{
    // The check a run makes, on the settings as edited, without creating the destination: what
    // would stop the task is said now, while it can still be corrected.
    m_scratch->assignSettings(m_draft);
    m_scratch->ID = m_task->ID;
    const std::string errors = validateTask(*m_scratch, false);
    if (errors.empty()) {
        return true;
    }
    QString list = QString::fromStdString(errors);
    list.replace(QLatin1String("; "), QLatin1String("\n"));
    QString text = langText("This task cannot run as it is:*|*%s*|*Keep it anyway? Choose No to go back and "
                            "correct it.",
                            "strProgectPropTaskCheckKeep");
    text.replace(QLatin1String("*|*"), QLatin1String("\n\n"));
    text.replace(QLatin1String("%s"), list);
    // Enter keeps the user in the dialog: keeping a task that cannot run takes a deliberate Yes.
    return ShowMessageBox(this, text, langText("Warning!", "strWarning"), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) ==
           IDYES;
}

bool EditTask(QWidget *parent, TTask &task, int startPage, bool newTask)
{
    // The editing flag refuses starts of this task while the dialog is open; it is cleared on every
    // way out, an exception included.
    struct EditingGuard {
        TTask &task;
        ~EditingGuard() { task.Editing = false; }
    } guard{task};
    task.Editing = true;
    if (task.Running) {
        ShowError(parent, QString::fromStdString(GetLangString(
                              "You can't modify properties of the running task. Please wait while task's work "
                              "finished and then try again.",
                              "strProgectPropCantModifyRunning")));
        return false;
    }
    if (!CheckTaskPassword(parent, &task)) {
        return false;
    }
    // The undo copy the duplicate command reads. The dialog works on the task in memory: a store
    // that cannot take the copy (damaged, full) never keeps it from opening, and the save after it
    // says what became of the settings. A damaged store is not written to.
    saveEditCopy("EditTask", [&task](const std::string &key) { task.SaveToRegistry(key); });
    // A dialog that cannot be built or filled says why and changes nothing: the error never
    // travels on into the main window's event loop.
    std::unique_ptr<TProjectPropertiesForm> form;
    try {
        form = std::make_unique<TProjectPropertiesForm>(task, parent);
        form->loadDraft();
    } catch (const std::exception &e) {
        qCWarning(lcProgram, "Task properties: %s", e.what());
        ShowError(parent, QString::fromUtf8(e.what()));
        return false;
    }
    form->setNewTask(newTask);
    form->showPage(startPage > 0 ? startPage : LastTaskPageIndex());
    if (form->exec() != QDialog::Accepted) {
        return false;
    }
    task.assignSettings(form->draftSettings());
    task.UpdateFoldersMonitor();
    task.ValidationFailed = false;
    LastTaskPageIndex() = form->currentPageIndex();
    return true;
}

void installTaskPropertiesDialog(MainFormDialogs &dialogs)
{
    dialogs.editTask = [](QWidget *parent, TTask &task, int startPage, bool newTask) {
        return EditTask(parent, task, startPage, newTask);
    };
}

} // namespace qv
