// The file pickers of the windows (save and open), with a seam for tests.
//
// Every window asks for a file name through fileDialogs(), never through QFileDialog directly, so
// that offscreen tests can answer without a dialog (tests/support/FakeFileDialogs.h). The default
// shows Qt's own (non-native) dialog, which looks the same on every desktop and can be driven by
// tests under X11.
//
// Replacing a file: the save picker asks "replace?" itself when the chosen file exists (the caller
// does not ask again); the fake asks nothing. An empty answer means the user cancelled.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace qv {

struct FileDialogRequest {
    QString caption;       // the window title
    QString folder;        // where the picker starts; empty: the documents folder
    QString fileName;      // the name proposed (save) or selected (open); may be empty
    QStringList filters;   // "Log files (*.log)", "All files (*)", ...; the first is selected
    QString defaultSuffix; // added to a typed name without a suffix, without the dot ("log")
};

class FileDialogs
{
public:
    virtual ~FileDialogs() = default;
    // The absolute path chosen, or an empty string when the user cancelled. Modal.
    virtual QString saveFileName(QWidget *parent, const FileDialogRequest &request) = 0;
    // An existing file chosen, or an empty string.
    virtual QString openFileName(QWidget *parent, const FileDialogRequest &request) = 0;
};

// The installed pickers, or the default Qt dialogs.
FileDialogs &fileDialogs();
// Installs `dialogs` (not owned); nullptr restores the default.
void setFileDialogs(FileDialogs *dialogs);

// The folder a picker starts in when the request names none: the user's documents folder, else home.
QString defaultDialogFolder();

} // namespace qv
