// TMainForm: taking the stored state again after a settings restore.
#include "ui/MainForm.h"

#include "core/settings/Settings.h"
#include "core/runs/BackupData.h"
#include "core/text/Language.h"
#include "ui/ActivityLogView.h"

namespace qv {

std::vector<std::string> TMainForm::ReloadAfterRestore()
{
    const std::string oldLanguage = Language;
    LoadSettings();
    // The tasks are freed and read again: nothing may point into the old ones.
    m_currentTask = nullptr;
    m_logView->setTask(nullptr);
    std::vector<std::string> problems;
    if (m_data != nullptr) {
        problems = m_data->LoadFromRegistry();
    }
    LoadWindowSettings();
    if (Language != oldLanguage) {
        // As the options dialog does: later windows take the new language, open ones keep their texts.
        SetLanguageFile(Language.empty() ? nullptr : LoadLanguageFile(Language));
    }
    UpdateAll();
    // Last, since a refused hot key is reported in a message box (its event loop then finds the
    // reloaded state complete).
    if (m_data != nullptr) {
        m_data->RegisterHotKeys();
        m_data->RegisterShowWindowHotKey(StartupHotKeyUse, StartupHotKey);
    }
    return problems;
}

} // namespace qv
