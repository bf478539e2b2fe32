// FolderPicker: the one way windows ask the user for a folder, replaceable in tests.
//
// Dialogs never open a folder dialog themselves: they call FolderPicker::instance().pickFolder(),
// which by default shows the program's folder dialog (TFolderBrowseDialog, with the "New folder"
// button and the shortened path of the selection). Widget tests install a FakeFolderPicker, which
// answers from a queue and records every request, so no modal dialog ever blocks a test.
//
// Usage in a dialog's Browse button:
//     if (auto chosen = FolderPicker::instance().pickFolder(this, edit->text())) {
//         edit->setText(*chosen);
//     }
// Usage in a test:
//     FakeFolderPicker picker;                 // installs itself, restores the default when destroyed
//     picker.answers.push_back("/tmp/target"); // the next request "chooses" this folder
//     picker.answers.push_back(std::nullopt);  // the one after that is cancelled
#pragma once

#include <QString>

#include <deque>
#include <optional>
#include <vector>

class QWidget;

namespace qv {

class FolderPicker
{
public:
    virtual ~FolderPicker() = default;

    // Lets the user choose a folder, starting at `folder` (empty or not an existing folder: the home
    // folder). Returns the chosen folder's path, or nothing when the user cancelled. Modal; main
    // thread only. `parent` may be null.
    virtual std::optional<QString> pickFolder(QWidget *parent, const QString &folder) = 0;

    // The picker in use: the installed one, else the program's folder dialog.
    static FolderPicker &instance();
    // Installs `picker` (not owned); nullptr restores the default.
    static void setInstance(FolderPicker *picker);
};

// Test double: answers each request with the next queued answer (nothing queued: cancelled) and
// records the starting folder of every request. Installs itself while it lives.
class FakeFolderPicker : public FolderPicker
{
public:
    FakeFolderPicker();
    ~FakeFolderPicker() override;
    FakeFolderPicker(const FakeFolderPicker &) = delete;
    FakeFolderPicker &operator=(const FakeFolderPicker &) = delete;

    std::optional<QString> pickFolder(QWidget *parent, const QString &folder) override;

    std::deque<std::optional<QString>> answers;
    std::vector<QString> requests; // the starting folder of each request, in order
};

} // namespace qv
