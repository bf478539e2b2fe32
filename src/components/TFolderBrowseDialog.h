// TFolderBrowseDialog: the program's folder dialog, a non-visual component over Qt's own
// (non-native) directory dialog with a "New folder" button and a title line in the system's language.
//
// Windows set `Folder`, call `Execute()` and read `Folder` back when it returns true. The "New folder"
// button asks for a name (which may hold several levels, "2024/March"), creates every missing level
// below the selected folder and moves the open dialog into the new folder, so OK then returns it.
// Qt's own new-folder button is hidden: there is one way to make a folder, with the system's reason
// shown when it fails. The captions of the button and of the title line come from two lists of
// "Key=Text" lines keyed by the system language's identifier ("0407"), with "Default" as fallback.
// Windows normally reach it through FolderPicker (see FolderPicker.h), which tests replace.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QFileDialog;
class QLabel;
class QPushButton;
class QWidget;

namespace qv {

// Browse options. Only OnlyFileSystem and ShowPath change anything here: every entry of this dialog is a
// folder of the file system; the others are kept for stored forms and ignored.
enum TBrowseInfoFlags : unsigned {
    OnlyComputers = 0x01,
    OnlyPrinters = 0x02,
    OnlyDomains = 0x04,
    OnlyAncestors = 0x08,
    OnlyFileSystem = 0x10, // OK stays disabled while nothing is selected
    ShowPath = 0x20,       // the title line shows the selection, shortened to 50 characters
};
using TBrowseInfoFlagSet = unsigned;

// Where the dialog starts when `Folder` names no existing folder. Desktop, documents, templates,
// autostart and fonts have a place on this system; the others start in the home folder, as
// foDesktopExpanded does. The values are the shell's folder numbers.
enum TSHFolders : int {
    foDesktopExpanded = -1,
    foDesktop = 0,
    foPrograms = 2,
    foControlPanel = 3,
    foPrinters = 4,
    foPersonal = 5,
    foFavorites = 6,
    foStartup = 7,
    foRecent = 8,
    foSendto = 9,
    foRecycleBin = 10,
    foStartMenu = 11,
    foDesktopFolder = 16,
    foMyComputer = 17,
    foNetwork = 18,
    foNetworkNeighborhood = 19,
    foFonts = 20,
    foTemplates = 21,
};

class TFolderBrowseDialog : public QObject
{
    Q_OBJECT
public:
    // Fired when the dialog is set up, before it is shown.
    using TBrowserInitializedEvent = std::function<void(TFolderBrowseDialog &sender, QWidget *dialog)>;
    // Fired on every change of the selected folder (also when the dialog moves into a new folder).
    using TSelectionChangedEvent =
        std::function<void(TFolderBrowseDialog &sender, QWidget *dialog, const QString &folder)>;
    // Asks for the new folder's name in a box titled `title`; an empty answer means "none".
    using NameInput = std::function<QString(QWidget *parent, const QString &title)>;

    // `owner` is the window the dialog is modal to when it is a widget (else the active window).
    explicit TFolderBrowseDialog(QObject *owner = nullptr);
    ~TFolderBrowseDialog() override;

    // Shows the dialog; true when the user pressed OK, `folder()` then holds the chosen path.
    // Cancel gives false and leaves `folder()` as it was when the dialog opened, or at the last
    // folder made with the button.
    bool Execute();

    QString folder() const { return m_folder; }
    void setFolder(const QString &folder) { m_folder = folder; }
    TBrowseInfoFlagSet flags() const { return m_flags; }
    void setFlags(TBrowseInfoFlagSet flags) { m_flags = flags; }
    TSHFolders rootFolder() const { return m_root; }
    void setRootFolder(TSHFolders root) { m_root = root; }
    bool newFolderVisible() const { return m_newFolderVisible; }
    void setNewFolderVisible(bool visible);
    bool newFolderEnabled() const { return m_newFolderEnabled; }
    void setNewFolderEnabled(bool enabled);
    QStringList newFolderCaptions() const { return m_newFolderCaptions; }
    void setNewFolderCaptions(const QStringList &lines);
    QStringList labelCaptions() const { return m_labelCaptions; }
    void setLabelCaptions(const QStringList &lines);
    static QString version() { return QStringLiteral("3.00.00.00"); }

    // The language key captions are picked by (from the system locale at creation; tests may set it).
    QString languageKey() const { return m_languageKey; }
    void setLanguageKey(const QString &key);
    // The picked captions.
    QString newFolderCaption() const { return m_newFolderCaption; }
    QString labelCaption() const { return m_labelCaption; }

    TBrowserInitializedEvent OnInitialized;
    TSelectionChangedEvent OnSelectionChanged;
    // Replaces the name box (tests); the default is a modal text input box.
    void setNameInput(NameInput input) { m_nameInput = std::move(input); }

    // The folder the dialog opens in: `folder()` when it is an existing folder, else the root
    // folder's place when it has one, else the home folder.
    QString startFolder() const;

private:
    void pickCaptions();
    void setSelected(const QString &folder);
    void createNewFolder();
    void updateButton();
    QFileDialog *buildDialog(QWidget *parent);

    QString m_folder;
    TBrowseInfoFlagSet m_flags = ShowPath;
    TSHFolders m_root = foDesktopExpanded;
    bool m_newFolderVisible = true;
    bool m_newFolderEnabled = true;
    QStringList m_newFolderCaptions;
    QStringList m_labelCaptions;
    QString m_languageKey;
    QString m_newFolderCaption;
    QString m_labelCaption;
    NameInput m_nameInput;

    // While the dialog is open.
    QPointer<QFileDialog> m_dialog;
    QPushButton *m_button = nullptr;
    QLabel *m_titleLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    QString m_selected;
};

} // namespace qv
