// REGEDIT4 settings files: export of a key tree and import of such a file into the store.
//
// The export writes the registry editor's "REGEDIT4" text (CR LF lines, depth-first
// "[HKEY_CURRENT_USER\...]" sections, "name"="text", dword:0000001E, hex:.. with a line break after
// every 25 bytes) so that a backup is readable by people and by regedit. Strings are written as
// their stored UTF-8 bytes.
//
// The import reads what regedit writes: "REGEDIT4" or "Windows Registry Editor Version 5.00"
// headers, UTF-16LE text with a byte-order mark, UTF-8, or the Windows code page; lower- or
// upper-case hexadecimal; continuation lines indented by blanks. Only keys at or below the allowed
// key are taken; other keys, deletions ("[-key]", "name"=-) and typed hex(N): values are skipped
// and listed. The whole file is checked before anything is written, and written in one
// transaction: a malformed file changes nothing and the error names its line.
#pragma once

#include "platform/RegistryStore.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv {

// A malformed settings file; `line` is 1-based.
class RegistryFileError : public std::runtime_error
{
public:
    RegistryFileError(const std::string &file, int line, const std::string &what);
    int line() const { return m_line; }

private:
    int m_line;
};

// "\\" -> "\\\\", "\"" -> "\\\"".
std::string escapeRegString(const std::string &text);
std::string stripLeadingBackslash(const std::string &text);

// Chooses entries for export and import: called with a key's full path from its root and a value
// name, or nullopt for the key itself. A key is written when it is chosen itself, when one of its
// values is, or (export) when a key below it is written.
using RegistryEntryFilter = std::function<bool(std::string_view keyPath, std::optional<std::string_view> valueName)>;

// The REGEDIT4 text of `key` (a trailing backslash dropped) and everything below it, or only what
// `filter` chooses. Empty text when the key does not exist.
std::string exportRegistryText(RegistryStore &store, RegRoot root, const std::string &key,
                               const RegistryEntryFilter &filter = {});
// Writes that text to `fileName` through a temporary file in the same folder, so an existing file
// is replaced only by a complete export. Raises RegistryError (with the system's reason) when the
// file cannot be written, or when the key does not exist.
void exportRegistryKey(RegistryStore &store, RegRoot root, const std::string &key, const std::string &fileName,
                       const RegistryEntryFilter &filter = {});

struct RegistryImportReport {
    int keys = 0;   // sections applied
    int values = 0; // values written
    std::vector<std::string> skipped; // one line per skipped key or value, with its line number
};

struct RegistryImportOptions {
    RegRoot allowedRoot = RegRoot::CurrentUser;
    std::string allowedKey; // e.g. "\\Software\\Tavimundrelo\\Quorvellant"; empty allows everything
    // Called every 1000 values written (values so far, total), inside the transaction.
    std::function<void(int, int)> progress;
    // When set, only the keys and values it chooses are applied; the others are left out silently
    // (they are not listed as skipped).
    RegistryEntryFilter filter;
    // When set, each applied key of the file for which it is true is replaced: its stored subtree
    // is removed in the same transaction before the file's keys are written.
    std::function<bool(std::string_view keyPath)> replaceKey;
};

// The import's limits: a file of at most 64 MiB, each line at most 1 MiB (as bytes of the file).
// Past either, or when the file does not begin with a settings file's first line, it is refused
// with the line number before more of it is read.
constexpr std::size_t kSettingsFileLimit = std::size_t{64} << 20;
constexpr std::size_t kSettingsFileLineLimit = std::size_t{1} << 20;

// Parses `bytes` (a whole file) and applies it; raises RegistryFileError when malformed (nothing
// written) and RegistryError when the store refuses the save (nothing kept).
RegistryImportReport importRegistryText(RegistryStore &store, const std::string &bytes,
                                        const RegistryImportOptions &options, const std::string &fileName = "");
RegistryImportReport importRegistryFile(RegistryStore &store, const std::string &fileName,
                                        const RegistryImportOptions &options);

} // namespace qv
