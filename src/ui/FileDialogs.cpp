// The file pickers of the windows over Qt's non-native file dialog.
#include "ui/FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

namespace qv {

namespace {

QFileDialog *makeDialog(QWidget *parent, const FileDialogRequest &request)
{
    auto *dialog = new QFileDialog(parent, request.caption);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setDirectory(request.folder.isEmpty() ? defaultDialogFolder() : request.folder);
    if (!request.filters.isEmpty()) {
        dialog->setNameFilters(request.filters);
        dialog->selectNameFilter(request.filters.front());
    }
    dialog->setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty()) {
        dialog->selectFile(request.fileName);
    }
    return dialog;
}

QString run(QFileDialog *dialog)
{
    QString chosen;
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
        chosen = QDir::cleanPath(QDir(dialog->selectedFiles().front()).absolutePath());
    }
    delete dialog;
    return chosen;
}

class QtFileDialogs : public FileDialogs
{
public:
    QString saveFileName(QWidget *parent, const FileDialogRequest &request) override
    {
        QFileDialog *dialog = makeDialog(parent, request);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        return run(dialog); // the dialog asks before replacing (no DontConfirmOverwrite)
    }
    QString openFileName(QWidget *parent, const FileDialogRequest &request) override
    {
        QFileDialog *dialog = makeDialog(parent, request);
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
        return run(dialog);
    }
};

FileDialogs *g_dialogs = nullptr;

} // namespace

FileDialogs &fileDialogs()
{
    static QtFileDialogs qtDialogs;
    return g_dialogs != nullptr ? *g_dialogs : qtDialogs;
}

void setFileDialogs(FileDialogs *dialogs)
{
    g_dialogs = dialogs;
}

QString defaultDialogFolder()
{
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!docs.isEmpty() && QDir(docs).exists()) {
        return docs;
    }
    return QDir::homePath();
}

} // namespace qv
