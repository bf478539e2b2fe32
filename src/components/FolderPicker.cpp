// FolderPicker: the installed picker or the program's folder dialog, and the test double.
#include "components/FolderPicker.h"

#include "components/TFolderBrowseDialog.h"

namespace qv {

namespace {

class DialogFolderPicker : public FolderPicker
{
public:
    std::optional<QString> pickFolder(QWidget *parent, const QString &folder) override
    {
        TFolderBrowseDialog dialog(parent);
        dialog.setObjectName(QStringLiteral("BrowseDirectoryDlg"));
        dialog.setFolder(folder);
        if (!dialog.Execute()) {
            return std::nullopt;
        }
        return dialog.folder();
    }
};

FolderPicker *g_installed = nullptr;

} // namespace

FolderPicker &FolderPicker::instance()
{
    static DialogFolderPicker dialogPicker;
    return g_installed != nullptr ? *g_installed : dialogPicker;
}

void FolderPicker::setInstance(FolderPicker *picker)
{
    g_installed = picker;
}

FakeFolderPicker::FakeFolderPicker()
{
    FolderPicker::setInstance(this);
}

FakeFolderPicker::~FakeFolderPicker()
{
    FolderPicker::setInstance(nullptr);
}

std::optional<QString> FakeFolderPicker::pickFolder(QWidget *, const QString &folder)
{
    requests.push_back(folder);
    if (answers.empty()) {
        return std::nullopt;
    }
    const bool chosen = answers.front().has_value();
    const QString path = chosen ? *answers.front() : QString();
    answers.pop_front();
    if (!chosen) {
        return std::nullopt;
    }
    return path;
}

} // namespace qv
