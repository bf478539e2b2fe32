// Backup and restore of chosen parts of the program's stored settings.
#include "core/settings/SettingsBackup.h"

#include "core/settings/Settings.h"

namespace qv {

bool SettingsPartChoice::has(SettingsPart part) const
{
    switch (part) {
    case SettingsPart::Settings:
        return settings;
    case SettingsPart::Tasks:
        return tasks;
    case SettingsPart::WindowPosition:
        return windowPosition;
    case SettingsPart::None:
        break;
    }
    return false;
}

RegistryEntryFilter settingsChoiceFilter(const SettingsPartChoice &choice)
{
    return [choice](std::string_view keyPath, std::optional<std::string_view> valueName) {
        return choice.has(settingsPartOf(keyPath, valueName));
    };
}

void backupSettingsFile(const std::string &fileName, const SettingsPartChoice &choice)
{
    exportRegistryKey(RegistryStore::forThisThread(), RegRoot::CurrentUser, RegKeyRoot, fileName,
                      settingsChoiceFilter(choice));
}

RegistryImportReport restoreSettingsFile(const std::string &fileName, const SettingsPartChoice &choice)
{
    RegistryImportOptions options;
    options.allowedRoot = RegRoot::CurrentUser;
    options.allowedKey = RegKeyRoot;
    options.filter = settingsChoiceFilter(choice);
    if (choice.tasks) {
        options.replaceKey = [](std::string_view keyPath) { return isSingleTaskKey(keyPath); };
    }
    return importRegistryFile(RegistryStore::forThisThread(), fileName, options);
}

} // namespace qv
