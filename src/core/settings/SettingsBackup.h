// Backup and restore of chosen parts of the program's stored settings to and from REGEDIT4 files.
#pragma once

#include "core/settings/SettingsParts.h"
#include "platform/RegistryFile.h"

#include <string>

namespace qv {

// The parts a backup writes or a restore applies.
struct SettingsPartChoice {
    bool settings = true;
    bool tasks = true;
    bool windowPosition = true;

    bool any() const { return settings || tasks || windowPosition; }
    bool has(SettingsPart part) const;
};

// Chooses the stored entries of the chosen parts ("\Temp" and foreign keys never).
RegistryEntryFilter settingsChoiceFilter(const SettingsPartChoice &choice);

// Writes the chosen parts of the program's key to `fileName` (replaced only by a complete file).
// Raises RegistryError with the reason when the file cannot be written.
void backupSettingsFile(const std::string &fileName, const SettingsPartChoice &choice);

// Applies the chosen parts of `fileName` to the program's key in one transaction. Every task key
// the file holds replaces the stored task of that ID as a whole; tasks and groups the file lacks
// stay. Keys outside the program's key are left out and listed in the report. Raises
// RegistryFileError (with the line) for a malformed file and RegistryError when the file cannot be
// read or the store refuses the save; in both cases nothing is changed.
RegistryImportReport restoreSettingsFile(const std::string &fileName, const SettingsPartChoice &choice);

} // namespace qv
