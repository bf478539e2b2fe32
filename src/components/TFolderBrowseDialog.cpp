// TFolderBrowseDialog: Qt's non-native directory dialog with our "New folder" button and title line.
#include "components/TFolderBrowseDialog.h"

#include "components/FolderBrowseRules.h"
#include "components/MessageBox.h"
#include "core/text/Variables.h"
#include "core/util/FileUtils.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

namespace qv {

namespace {

constexpr int kStatusLength = 50;

QString askForName(QWidget *parent, const QString &title)
{
    bool ok = false;
    const QString name = QInputDialog::getText(parent, title, QString(), QLineEdit::Normal, QString(), &ok);
    return ok ? name : QString();
}

} // namespace

TFolderBrowseDialog::TFolderBrowseDialog(QObject *owner)
    : QObject(owner), m_newFolderCaptions(defaultNewFolderCaptions()),
      m_labelCaptions(defaultLabelCaptions()), m_languageKey(languageKeyFor(QLocale::system())),
      m_nameInput(askForName)
{
    pickCaptions();
}

TFolderBrowseDialog::~TFolderBrowseDialog()
{
    delete m_dialog;
}

void TFolderBrowseDialog::pickCaptions()
{
    m_newFolderCaption = pickCaption(m_newFolderCaptions, m_languageKey);
    m_labelCaption = pickCaption(m_labelCaptions, m_languageKey);
    if (m_button != nullptr) {
        m_button->setText(m_newFolderCaption);
    }
    if (m_titleLabel != nullptr) {
        m_titleLabel->setText(m_labelCaption);
    }
}

void TFolderBrowseDialog::setLanguageKey(const QString &key)
{
    m_languageKey = key;
    pickCaptions();
}

void TFolderBrowseDialog::setNewFolderCaptions(const QStringList &lines)
{
    if (lines.join(QLatin1Char('\n')) != m_newFolderCaptions.join(QLatin1Char('\n'))) {
        m_newFolderCaptions = lines;
        pickCaptions();
    }
}

void TFolderBrowseDialog::setLabelCaptions(const QStringList &lines)
{
    if (lines.join(QLatin1Char('\n')) != m_labelCaptions.join(QLatin1Char('\n'))) {
        m_labelCaptions = lines;
        pickCaptions();
    }
}

void TFolderBrowseDialog::setNewFolderVisible(bool visible)
{
    m_newFolderVisible = visible;
    if (m_button != nullptr) {
        m_button->setVisible(visible);
    }
}

void TFolderBrowseDialog::setNewFolderEnabled(bool enabled)
{
    m_newFolderEnabled = enabled;
    updateButton();
}

void TFolderBrowseDialog::updateButton()
{
    if (m_button != nullptr) {
        m_button->setEnabled(m_newFolderEnabled && !m_selected.isEmpty());
    }
}

QString TFolderBrowseDialog::startFolder() const
{
    if (!m_folder.isEmpty() && QFileInfo(m_folder).isDir()) {
        return QDir::cleanPath(m_folder);
    }
    switch (m_root) {
    case foDesktop:
    case foDesktopFolder:
    case foPersonal:
    case foTemplates:
    case foStartup:
    case foFonts: {
        const QString place = QString::fromStdString(GetSpecialFolderPath(m_root));
        if (!place.isEmpty() && QFileInfo(place).isDir()) {
            return place;
        }
        break;
    }
    default:
        break;
    }
    return QDir::homePath();
}

QFileDialog *TFolderBrowseDialog::buildDialog(QWidget *parent)
{
    auto *dialog = new QFileDialog(parent, m_labelCaption, startFolder());
    dialog->setObjectName(objectName().isEmpty() ? QStringLiteral("BrowseDirectoryDlg") : objectName());
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (auto *own = dialog->findChild<QToolButton *>(QStringLiteral("newFolderButton"))) {
        own->hide(); // one way to make a folder: ours, which reports the system's reason
    }
    m_button = new QPushButton(m_newFolderCaption, dialog);
    m_button->setObjectName(QStringLiteral("NewFolderButton"));
    m_button->setAutoDefault(false);
    m_button->setVisible(m_newFolderVisible);
    m_titleLabel = new QLabel(m_labelCaption, dialog);
    m_titleLabel->setObjectName(QStringLiteral("TitleLabel"));
    m_statusLabel = new QLabel(dialog);
    m_statusLabel->setObjectName(QStringLiteral("StatusLabel"));
    m_statusLabel->setVisible((m_flags & ShowPath) != 0);
    auto *row = new QHBoxLayout;
    row->addWidget(m_button);
    row->addSpacing(12);
    row->addWidget(m_titleLabel);
    row->addWidget(m_statusLabel, 1);
    if (auto *grid = qobject_cast<QGridLayout *>(dialog->layout())) {
        grid->addLayout(row, grid->rowCount(), 0, 1, grid->columnCount());
    } else if (dialog->layout() != nullptr) {
        dialog->layout()->addItem(row);
    }
    connect(m_button, &QPushButton::clicked, this, &TFolderBrowseDialog::createNewFolder);
    connect(dialog, &QFileDialog::currentChanged, this, [this, dialog](const QString &path) {
        setSelected(path.isEmpty() ? dialog->directory().absolutePath() : path);
    });
    connect(dialog, &QFileDialog::directoryEntered, this, &TFolderBrowseDialog::setSelected);
    return dialog;
}

bool TFolderBrowseDialog::Execute()
{
    QWidget *parent = qobject_cast<QWidget *>(QObject::parent());
    if (parent == nullptr) {
        parent = QApplication::activeWindow();
    }
    delete m_dialog;
    m_dialog = buildDialog(parent);
    setSelected(startFolder());
    if (parent == nullptr) {
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            m_dialog->adjustSize();
            m_dialog->move(area.center() - m_dialog->rect().center());
        }
    }
    if (OnInitialized) {
        OnInitialized(*this, m_dialog);
    }
    const bool ok = m_dialog->exec() == QDialog::Accepted;
    if (ok) {
        // With nothing picked in the list the dialog's own answer comes from its file model, which
        // may not have read a folder entered a moment ago; the folder shown is the answer then.
        const QStringList picked = m_dialog->selectedFiles();
        const QString first = picked.isEmpty() ? QString() : picked.constFirst();
        m_folder = QDir::cleanPath(first.isEmpty() ? m_dialog->directory().absolutePath() : first);
    }
    m_button = nullptr;
    m_titleLabel = nullptr;
    m_statusLabel = nullptr;
    delete m_dialog;
    return ok;
}

void TFolderBrowseDialog::setSelected(const QString &folder)
{
    m_selected = folder;
    if (m_statusLabel != nullptr) {
        m_statusLabel->setText(ShortenPath(folder, kStatusLength));
    }
    updateButton();
    if (OnSelectionChanged && m_dialog) {
        OnSelectionChanged(*this, m_dialog, folder);
    }
}

void TFolderBrowseDialog::createNewFolder()
{
    const QString name = m_nameInput ? m_nameInput(m_dialog, m_newFolderCaption) : QString();
    if (name.isEmpty() || m_selected.isEmpty()) {
        return;
    }
    const QString path = QDir::cleanPath(joinNewFolderPath(m_selected, name));
    std::string error;
    if (!ForceDirectories(path.toStdString(), &error)) {
        ShowMessageBox(m_dialog, path + QStringLiteral("\n\n") + QString::fromStdString(error),
                       m_newFolderCaption, MB_OK | MB_ICONWARNING);
        return;
    }
    // Cancel from here on leaves the caller's value at the folder just made.
    m_folder = path;
    if (m_dialog) {
        m_dialog->setDirectory(path);
        if (auto *edit = m_dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
            edit->clear();
        }
    }
    setSelected(path);
}

} // namespace qv
