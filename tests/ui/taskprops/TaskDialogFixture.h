// The common ground of the task dialog's tests: a private settings store, a phone book, an empty
// message box seam, the export of a stored task's key, and the dialog run to one of its buttons.
#pragma once

#include "components/MessageBox.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "core/task/TaskStorage.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"
#include "platform/fake/FakeDialer.h"
#include "ui/taskprops/ProjectPropertiesForm.h"

#include "support/DialogTestSupport.h"
#include "support/TestEnv.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace taskdialogtest {

class TaskDialogFixture : public ::testing::Test
{
protected:
    // `storeName` names the test's temporary settings folder.
    explicit TaskDialogFixture(const char *storeName) : m_storeName(storeName) {}

    void SetUp() override
    {
        qv::RegistryStore::setStorePath(qvtest::makeTempDir(m_storeName) + "/registry.db");
        qv::ResetSettingsToDefaults();
        qv::setDialer(&m_dialer);
        qv::MessageBoxSeam::clear();
        qv::LastTaskPageIndex() = 0;
    }
    void TearDown() override
    {
        qv::setDialer(nullptr);
        qv::MessageBoxSeam::clear();
        qv::RegistryStore::setStorePath({});
    }
    // The task's key as the REGEDIT4 export writes it.
    static std::string exportOf(const qv::TTask &task)
    {
        task.SaveToRegistry(qv::taskKeyPath(task.ID));
        return qv::exportRegistryText(qv::RegistryStore::forThisThread(), qv::RegRoot::CurrentUser,
                                      qv::taskKeyPath(task.ID));
    }
    // Opens the dialog on `task`, runs `act` on it, then presses the named button.
    static bool runDialog(qv::TTask &task, const char *button,
                          const std::function<void(qv::TProjectPropertiesForm *)> &act = {}, bool newTask = false)
    {
        qvtest::NextModal modal([&](QDialog *d) {
            auto *form = qobject_cast<qv::TProjectPropertiesForm *>(d);
            ASSERT_NE(form, nullptr);
            if (act) {
                act(form);
            }
            if (std::string(button) == "OkButton") {
                // OK keeps the task as edited: Yes, should the task check warn (its default is No).
                qv::MessageBoxSeam::presetAnswers({qv::IDYES});
            }
            qvtest::child<QPushButton>(form, button)->click();
            if (form->isVisible()) {
                // Sent back (the task check's No, its default): closed, so the test ends.
                ADD_FAILURE() << button << " left the dialog open";
                form->reject();
            }
        });
        const bool ok = qv::EditTask(nullptr, task, 0, newTask);
        EXPECT_TRUE(modal.ran);
        return ok;
    }

    qv::FakeDialer m_dialer;

private:
    const char *m_storeName;
};

} // namespace taskdialogtest
