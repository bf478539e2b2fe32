// Shared utilities of the task core and the windows: start with the session, program and work
// folders, opening documents, running programs, file CRC-32, version strings, the command-line
// tokenizer, computer and user names, sounds, mask lists, hardware profiles and hot-key shortcuts.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// ---- File CRC-32 -------------------------------------------------------------------------------

// CRC-32 (the zip format's) of the file's bytes. Returns true when the file was read to its end;
// a file that cannot be opened or read gives false and `crc` 0 (an empty file gives true and 0).
bool GetFileCRC32(const std::string &fileName, std::uint32_t &crc);

} // namespace qv
