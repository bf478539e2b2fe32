// Small helpers of the zip library: sizes and rates, MS-DOS dates, name texts and file moves.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <string_view>

namespace qv {

// Compressed × 100 / uncompressed, to the nearest integer (halves to even), at most 100,
// 0 when the uncompressed size is 0 or less.
int zipRate(std::int64_t compressed, std::int64_t uncompressed);

// Percent of done against total for progress events: 0..100, 0 when total is 0 or less.
int percentOf(std::int64_t done, std::int64_t total);

// True when `s` holds one of * ? < > |
bool HasWildcards(std::string_view s);

std::string LeftStr(const std::string &s, std::size_t n);
std::string RightStr(const std::string &s, std::size_t n);

// Clamps the parts of an MS-DOS date and time (time in the low 16 bits) and repacks the value
// only when a part was out of range: hour ≤ 23, minute ≤ 59, seconds ≤ 59, year ≤ 2099,
// month 1..12, day ≥ 1.
std::uint32_t repairDosDateTime(std::uint32_t dosDateTime);

// The MS-DOS date and time as a day count (days since 1899-12-30, local wall time); the value is
// repaired first. Returns 0 for a day that does not exist (30 February).
double dosDateTimeToDayCount(std::uint32_t dosDateTime);

// The MS-DOS date and time as seconds since the epoch, read as local wall time; -1 when invalid.
std::int64_t dosDateTimeToUnix(std::uint32_t dosDateTime);

// Seconds since the epoch to an MS-DOS date and time in local wall time, the one conversion of
// the library (the writer's entries, the extractor's comparisons): years before 1980 give
// 1980-01-01 00:00:00, years after 2099 give 2099-12-31 23:59:58, the last time a reader takes as
// it stands (see repairDosDateTime).
std::uint32_t unixToDosDateTime(std::int64_t unixTime);

// The modification time of a file as an MS-DOS date and time (repaired); 0 when it has none.
std::uint32_t fileDosDateTime(const std::string &path);

// Code page 437 (the MS-DOS names of old archives) to UTF-8, and back where it can be: a character
// outside the code page gives false.
std::string cp437ToUtf8(std::string_view bytes);
bool utf8ToCp437(std::string_view utf8, std::string &out);

// True when `s` is well-formed UTF-8 (no overlong forms, no surrogates).
bool isWellFormedUtf8(std::string_view s);
bool isAscii(std::string_view s);

// Lower-cases ASCII letters only.
std::string asciiLower(std::string_view s);

// Renames `source` over `dest` in one step (the old dest stays intact when the rename fails).
// False, with errno set, when the two are on different file systems or the rename fails.
bool RenameReplacing(const std::string &source, const std::string &dest);

// The folder part of a path (up to and including its last "/"), and the rest.
std::string extractFilePath(const std::string &path);
// The process's file-creation mask, read once when the library is loaded, before the program's
// threads create files: reading it later with umask() means setting it for a moment, which gives
// files another thread creates meanwhile the wrong mode.
mode_t processUmask();
std::string extractFileName(const std::string &path);

} // namespace qv
