// The kinds of a task's log lines: one numbering for the logger, the backup threads and the windows.
//
// A kind decides the line's gate (the task's Log settings), its prefix in the log file and its
// colours in the activity log.
#pragma once

namespace qv {

inline constexpr int kLogStarted = 0;  // "Backup started."
inline constexpr int kLogFinished = 1; // "Backup finished."
inline constexpr int kLogAborted = 2;  // "Backup ABORTED!"
inline constexpr int kLogInformation = 3;
inline constexpr int kLogFile = 4; // a file operation
inline constexpr int kLogSkipped = 5;
inline constexpr int kLogWarning = 6; // logged as "WARNING: " + message
inline constexpr int kLogError = 7;   // logged as "ERROR: " + message
inline constexpr int kLogKindCount = 8;

} // namespace qv
