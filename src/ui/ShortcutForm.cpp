// ShortcutForm: the dialog that makes a shortcut file starting one task.
#include "ui/ShortcutForm.h"

#include "components/FolderField.h"
#include "components/FolderPicker.h"
#include "components/LangText.h"
#include "components/MessageBox.h"
#include "components/TranslateForm.h"
#include "core/runs/Task.h"
#include "core/util/Utils.h"
#include "platform/Shortcuts.h"
#include "ui/HelpTopics.h"
#include "ui/SmallDialogButtons.h"
#include "ui/SmallDialogRules.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include <stdexcept>

namespace qv {

namespace {

std::string g_programPath;

QRadioButton *radio(QWidget *parent, const char *name, const char *caption)
{
    auto *r = new QRadioButton(QString::fromLatin1(caption), parent);
    r->setObjectName(QString::fromLatin1(name));
    return r;
}

} // namespace

void setShortcutProgramPath(const std::string &path)
{
    g_programPath = path;
}

std::string CreateShortcut(const std::string &name, const std::vector<std::string> &arguments, int place,
                           const std::string &otherFolder)
{
    const std::string program = g_programPath.empty() ? GetExePath() : g_programPath;
    return Shortcuts::create(shortcutFolder(place, otherFolder), name, program, arguments,
                             shortcutIsExecutable(place), shortcutFolderIsCreated(place));
}

ShortcutForm::ShortcutForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ShortcutForm"));
    setWindowTitle(QStringLiteral("Create Shortcut"));
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kShortcut));
    auto *nameLabel = new QLabel(QStringLiteral("Shortcut name:"), this);
    nameLabel->setObjectName(QStringLiteral("LabelShortcutName"));
    EditShortcutName = new QLineEdit(this);
    EditShortcutName->setObjectName(QStringLiteral("EditShortcutName"));
    EditShortcutName->setMinimumWidth(320);
    RadioButtonDesktop = radio(this, "RadioButtonDesktop", "Desktop");
    RadioButtonStartMenu = radio(this, "RadioButtonStartMenu", "Applications menu");
    RadioButtonAutoRun = radio(this, "RadioButtonAutoRun", "Autostart at login");
    RadioButtonPrograms = radio(this, "RadioButtonPrograms", "Applications menu (programs)");
    RadioButtonOther = radio(this, "RadioButtonOther", "Other folder:");
    auto *places = new QButtonGroup(this);
    int id = 0;
    for (QRadioButton *r : {RadioButtonDesktop, RadioButtonStartMenu, RadioButtonAutoRun, RadioButtonPrograms,
                            RadioButtonOther}) {
        places->addButton(r, id++);
    }
    EditOtherFolder = new QLineEdit(this);
    EditOtherFolder->setObjectName(QStringLiteral("EditOtherFolder"));
    acceptFolderUris(EditOtherFolder);
    BrowseOtherFolderButton = new QPushButton(QStringLiteral("..."), this);
    BrowseOtherFolderButton->setObjectName(QStringLiteral("BrowseOtherFolderButton"));
    BrowseOtherFolderButton->setAutoDefault(false);
    CheckBoxShutdown = new QCheckBox(QStringLiteral("Shutdown Quorvellant after Task finish"), this);
    CheckBoxShutdown->setObjectName(QStringLiteral("CheckBoxShutdown"));

    auto *grid = new QGridLayout;
    grid->addWidget(nameLabel, 0, 0, 1, 3);
    grid->addWidget(EditShortcutName, 1, 0, 1, 3);
    int row = 2;
    for (QRadioButton *r :
         {RadioButtonDesktop, RadioButtonStartMenu, RadioButtonAutoRun, RadioButtonPrograms}) {
        grid->addWidget(r, row++, 0, 1, 3);
    }
    grid->addWidget(RadioButtonOther, row, 0);
    grid->addWidget(EditOtherFolder, row, 1);
    grid->addWidget(BrowseOtherFolderButton, row++, 2);
    grid->addWidget(CheckBoxShutdown, row, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(addDialogButtons(this, true, true, true));

    RadioButtonDesktop->setChecked(true);
    connect(places, &QButtonGroup::idToggled, this, [this](int, bool) { updateOtherFolder(); });
    connect(BrowseOtherFolderButton, &QPushButton::clicked, this, &ShortcutForm::browse);
    updateOtherFolder();
    TranslateForm(this);
}

void ShortcutForm::setTask(const TTask &task)
{
    m_taskId = task.ID;
    const QString name = langText("Start", "strStart") + QLatin1Char(' ') + QString::fromStdString(task.Name);
    EditShortcutName->setText(name.trimmed());
}

int ShortcutForm::place() const
{
    if (RadioButtonOther->isChecked()) {
        return spOther;
    }
    if (RadioButtonPrograms->isChecked()) {
        return spPrograms;
    }
    if (RadioButtonAutoRun->isChecked()) {
        return spAutoRun;
    }
    return RadioButtonStartMenu->isChecked() ? spStartMenu : spDesktop;
}

std::vector<std::string> ShortcutForm::arguments() const
{
    return shortcutArguments(m_taskId, CheckBoxShutdown->isChecked());
}

void ShortcutForm::updateOtherFolder()
{
    // Disabled edits take the button-face colour from the style; nothing to paint by hand.
    const bool other = RadioButtonOther->isChecked();
    EditOtherFolder->setEnabled(other);
    BrowseOtherFolderButton->setEnabled(other);
}

void ShortcutForm::browse()
{
    if (auto chosen = FolderPicker::instance().pickFolder(this, EditOtherFolder->text())) {
        EditOtherFolder->setText(*chosen);
    }
}

void ShortcutForm::accept()
{
    const std::string name = EditShortcutName->text().trimmed().toStdString();
    const std::string other = EditOtherFolder->text().toStdString();
    const std::string path = Shortcuts::pathFor(shortcutFolder(place(), other), name);
    if (!path.empty() && QFileInfo::exists(QString::fromStdString(path)) &&
        !AskWarningQuestion(this, langText("The file \"%s\" already exists. Replace it?", "strShortcutExists")
                                      .replace(QStringLiteral("%s"), QString::fromStdString(path)))) {
        return;
    }
    try {
        m_created = CreateShortcut(name, arguments(), place(), other);
    } catch (const std::runtime_error &e) {
        ShowError(this, langText("The shortcut could not be created: %s", "strShortcutFailed")
                            .replace(QStringLiteral("%s"), QString::fromStdString(e.what())));
        return;
    }
    QDialog::accept();
}

void ShowShortcutDialog(QWidget *parent, TTask &task)
{
    ShortcutForm form(parent);
    form.setTask(task);
    form.exec();
}

} // namespace qv
