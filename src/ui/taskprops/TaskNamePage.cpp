// The Name page: the task's name, its ID and its hot key with the probe of whether it can be used.
#include "ui/taskprops/TaskPages.h"

#include "components/MessageBox.h"
#include "core/runs/BackupData.h"
#include "core/runs/Task.h"
#include "core/text/Language.h"
#include "ui/taskprops/HotKeyEdit.h"
#include "ui/taskprops/TaskFieldPage.h"
#include "ui_TaskNamePage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qv {
namespace {

class NamePage : public TaskFieldPage
{
public:
    explicit NamePage(QWidget *parent) : TaskFieldPage(parent)
    {
        auto *body = new QWidget(this);
        Ui::TaskNamePage ui;
        ui.setupUi(body);
        row(body);
        bindEdit("TaskNameEdit", [](TaskSettings &s) -> std::string & { return s.Name; });
        bindCheck("TaskNameHotKeyBringToFrontCheckBox", [](TaskSettings &s) -> bool & { return s.HotKeyBringToFront; });
        m_name = ui.TaskNameEdit;
        m_id = ui.TaskNameIdEdit;
        m_hotKey = ui.TaskNameHotKey;
        m_valid = ui.TaskNameHotKeyValidLabel;
        QPushButton *reset = ui.TaskNameResetButton;
        stretch();
        connect(m_hotKey, &HotKeyEdit::hotKeyChanged, this, [this] { updateValidLabel(); });
        connect(reset, &QPushButton::clicked, this, [this] {
            m_hotKey->setHotKey(0);
            updateValidLabel();
        });
    }
    void load(const TaskSettings &s) override
    {
        TaskFieldPage::load(s);
        m_id->setText(context() != nullptr && context()->task() != nullptr
                          ? QString::fromStdString(context()->task()->ID)
                          : QString());
        m_hotKey->setHotKey(s.HotKey);
        updateValidLabel();
    }
    void store(TaskSettings &s) const override
    {
        TaskFieldPage::store(s);
        s.HotKey = m_hotKey->hotKey();
    }
    // A task without a name would be a blank row that no one can tell from another.
    bool validate() override
    {
        if (!m_name->text().trimmed().isEmpty()) {
            return true;
        }
        ShowError(this, QString::fromStdString(GetLangString("Please enter a name for the task.",
                                                             "strProgectPropTaskNameEmpty")));
        emit pageRequested(QStringLiteral("TaskNameTabSheet"));
        m_name->setFocus();
        return false;
    }

private:
    void updateValidLabel()
    {
        const std::uint16_t key = m_hotKey->hotKey();
        if (key == 0) {
            m_valid->clear();
            return;
        }
        // The probe grabs the chord under its own id, so the keys held by the program stay held.
        const std::string id = context() != nullptr && context()->task() != nullptr ? context()->task()->ID : "";
        const bool valid = BackupData != nullptr && BackupData->CanRegisterHotKey(key, id);
        m_valid->setText(valid ? QStringLiteral("Hot key valid!")
                               : QStringLiteral("Hot key invalid or already used by another action!"));
    }

    QLineEdit *m_name;
    QLineEdit *m_id;
    HotKeyEdit *m_hotKey;
    QLabel *m_valid;
};

} // namespace

TaskPropertiesPage *createNamePage(QWidget *parent)
{
    return new NamePage(parent);
}

} // namespace qv
