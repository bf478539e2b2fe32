// The enabling rules of the task properties dialog's own pages, as one ordered table.
#include "ui/taskprops/TaskDialogRules.h"

#include "components/RangedField.h"
#include "ui/taskprops/EditPaint.h"
#include "ui/taskprops/TaskSourcesPage.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QWidget>

#include <functional>

namespace qv {
namespace {

enum Type { Simple = 0, Exact = 1, Move = 2, Sync = 3 };

struct Rule {
    int number;
    // Whether the rule's controls are enabled; `previous` holds the results of the rules before.
    std::function<bool(const TaskRulesInput &, const std::vector<bool> &previous)> condition;
    std::vector<std::string> controls;
    std::vector<std::string> painted; // edits that get window / face
};

const std::vector<Rule> &rules()
{
    static const std::vector<Rule> table = {
        {1, [](const TaskRulesInput &in, auto &) { return in.destination == 0; },
         {"DestLocalSettingsLabel", "DestLocalFolderLabel", "DestLocalFolderEdit", "DestLocalFolderButton",
          "DestLocalFolderLabelExpandTest", "DestLocalFolderNoteLabel"},
         {"DestLocalFolderEdit"}},
        {2, [](const TaskRulesInput &in, auto &) { return in.destination == 1; },
         {"DestFtpSettingsLabel", "DestFtpAddressLabel", "DestFtpAddressEdit", "DestFtpAddressNoteLabel",
          "DestFtpFolderLabel", "DestFtpFolderEdit", "DestFtpFolderNoteLabel", "DestFtpAuthPasswordLabel",
          "DestFtpAuthLoginLabel", "DestFtpPortLabel", "DestFtpAuthPasswordEdit", "DestFtpAuthLoginEdit",
          "DestFtpPortEdit", "DestFtpPortUpDown", "DestFtpPortNoteLabel", "DestFtpPassiveModeCheckBox",
          "DestFtpAuthLabel", "DestFtpAdvancedSettingsButton"},
         {}},
        {3, [](const TaskRulesInput &in, auto &) { return in.destination == 2; }, {"DestCdDvdSettingsLabel"}, {}},
        {4, [](const TaskRulesInput &in, auto &) { return in.destination == 3; },
         {"DestEmailSettingsLabel", "DestEmailNoteLabel", "DestEmailSubjectLabel", "DestEmailFromLabel",
          "DestEmailFromNoteLabel", "DestEmailSubjectNoteLabel", "DestEmailToLabel", "DestEmailToNoteLabel",
          "DestEmailSubjectEdit", "DestEmailFromEdit", "DestEmailToEdit", "DestEmailTextRichEdit",
          "DestEmailTextLabel", "DestEmailSendingSettingsLabel"},
         {}},
        {5, [](const TaskRulesInput &in, auto &) { return in.type == Simple || in.type == Exact || in.type == Sync; },
         {"OptionsCompareAfterCopyCheckBox"}, {}},
        {6, [](const TaskRulesInput &in, auto &) { return in.type != Sync; },
         {"OptionsOverwriteNeverDestinationCheckBox"}, {}},
        {7, [](const TaskRulesInput &in, auto &) { return in.type >= 0; }, {"OptionsCopyIfSourceLengthIsZeroCheckBox"},
         {}},
        {8, [](const TaskRulesInput &, auto &) { return true; }, {"OptionsDontSkipIfDateEqButSrcBiggerDstCheckBox"}, {}},
        {9, [](const TaskRulesInput &in, auto &) { return in.type == Simple || in.type == Exact; },
         {"OptionsClearSourceArchiveBitCheckBox"}, {}},
        {10, [](const TaskRulesInput &in, auto &) { return in.type == Exact; },
         {"ObsoleteLabel1", "ObsoleteNormalDeleteRadioButton", "ObsoleteRecycleBinRadioButton",
          "ObsoleteMoveToFolderRadioButton"},
         {}},
        {11, [](const TaskRulesInput &in, auto &) { return in.type == Exact && in.obsoleteMoveChecked; },
         {"ObsoleteFolderEdit", "ObsoleteBrowseButton", "ObsoleteLabel2", "ObsoleteKeepDeletedFilesNumEdit",
          "ObsoleteLabel3", "ObsoleteLabel4", "ObsoleteFolderExpandTestLabel"},
         {"ObsoleteFolderEdit", "ObsoleteKeepDeletedFilesNumEdit"}},
        {12, [](const TaskRulesInput &in, auto &) { return in.type == Exact || in.type == Simple; },
         {"CompressUseCheckBox"}, {}},
        // Rule 13 reads rule 12's result: the box must be checked and enabled.
        {13, [](const TaskRulesInput &in, const std::vector<bool> &r) { return in.compressChecked && r[12]; },
         {"CompressFilenameLabel", "CompressFilenameEdit", "CompressPasswordTopLabel", "CompressPassword1Label",
          "CompressPassword2Label", "CompressPasswordEdit", "CompressPasswordReenterEdit", "CompressLevelLabel",
          "CompressLevelEdit", "CompressLevelUpDown", "CompressLevelNoteLabel"},
         {"CompressFilenameEdit", "CompressPasswordEdit", "CompressPasswordReenterEdit", "CompressLevelEdit"}},
        {14, [](const TaskRulesInput &in, auto &) { return in.type == Simple || in.type == Exact; },
         {"VersionsSaveOldCheckBox", "VersionsLabel1"}, {}},
        {15, [](const TaskRulesInput &in, auto &) { return (in.type == Simple || in.type == Exact) && in.versionsChecked; },
         {"VersionsFolderEdit", "VersionsBrowseButton", "VersionsNumEdit", "VersionsLabel2", "VersionsLabel3",
          "VersionsLabel4", "VersionsFolderExpandTestLabel"},
         {"VersionsFolderEdit", "VersionsNumEdit"}},
        {16, [](const TaskRulesInput &in, auto &) { return in.type != Sync; }, {"OptionsKeepStructureFromRootCheckBox"},
         {}},
        {17, [](const TaskRulesInput &in, auto &) { return !in.multiFolder; },
         {"BackupTypeSynchronizeRadioButton", "BackupTypeSynchronizeLabel"}, {}},
    };
    return table;
}

QWidget *find(const QWidget *form, const std::string &name)
{
    return form->findChild<QWidget *>(QString::fromStdString(name));
}

// A number box's edit and up-down are one control here.
QWidget *target(QWidget *w)
{
    if (w != nullptr && qobject_cast<RangedField *>(w->parentWidget()) != nullptr) {
        return w->parentWidget();
    }
    return w;
}

bool checked(const QWidget *form, const char *name)
{
    auto *b = form->findChild<QAbstractButton *>(QString::fromLatin1(name));
    return b != nullptr && b->isChecked();
}

int checkedOf(const QWidget *form, std::initializer_list<const char *> names)
{
    int i = 0;
    for (const char *n : names) {
        if (checked(form, n)) {
            return i;
        }
        ++i;
    }
    return -1;
}

} // namespace

TaskRulesInput TaskDialogRules::read(const QWidget *form)
{
    TaskRulesInput in;
    in.type = checkedOf(form, {"BackupTypeSimpleCopyRadioButton", "BackupTypeExactCopyRadioButton",
                               "BackupTypeMoveRadioButton", "BackupTypeSynchronizeRadioButton"});
    in.destination =
        checkedOf(form, {"DestLocalRadioButton", "DestFtpRadioButton", "DestCdDvdRadioButton", "DestEmailRadioButton"});
    // The source page's own mode, whichever page is shown.
    const auto *sources = form->findChild<const TaskSourcesPage *>();
    in.multiFolder = sources != nullptr && sources->multiMode();
    in.compressChecked = checked(form, "CompressUseCheckBox");
    in.versionsChecked = checked(form, "VersionsSaveOldCheckBox");
    in.obsoleteMoveChecked = checked(form, "ObsoleteMoveToFolderRadioButton");
    return in;
}

std::vector<ControlState> TaskDialogRules::evaluate(const TaskRulesInput &in)
{
    std::vector<ControlState> out;
    std::vector<bool> results(rules().size() + 1, false);
    for (const Rule &rule : rules()) {
        const bool on = rule.condition(in, results);
        results[static_cast<std::size_t>(rule.number)] = on;
        for (const std::string &name : rule.controls) {
            ControlState s{name, on, EditPaint::Keep, rule.number};
            for (const std::string &p : rule.painted) {
                if (p == name) {
                    s.paint = on ? EditPaint::Window : EditPaint::Face;
                }
            }
            out.push_back(s);
        }
    }
    return out;
}

void TaskDialogRules::apply(QWidget *form, const std::vector<ControlState> &states)
{
    for (const ControlState &s : states) {
        QWidget *w = target(find(form, s.name));
        if (w == nullptr) {
            continue;
        }
        w->setEnabled(s.enabled);
        if (s.paint != EditPaint::Keep) {
            setEditPaint(w, s.paint == EditPaint::Window);
        }
    }
}

std::vector<std::string> TaskDialogRules::controlNames()
{
    std::vector<std::string> names;
    for (const Rule &rule : rules()) {
        names.insert(names.end(), rule.controls.begin(), rule.controls.end());
    }
    return names;
}

} // namespace qv
