// Shared vocabulary of the backup threads: alert kinds and answers, task types; the log kinds are
// the logger's (core/log/LogKinds.h).
#pragma once

#include "core/log/LogKinds.h"

#include <cstdint>

namespace qv {

// Alert events as the alert dispatcher numbers them.
enum BackupAlertKind : int {
    akStart = 0,
    akFile = 1,
    akFolder = 2,
    akDiskSpan = 3,
    akFinish = 4,
    akError = 5,
    akWarning = 6,
};

// Answers of an alert dialog; 0 means no dialog was shown.
enum BackupAlertAnswer : int {
    aaNone = 0,
    aaStop = 3,
    aaRetry = 4,
    aaIgnore = 5,
    aaContinue = 6,
    aaSkip = 7,
};

// What a run does, with the stored identifiers' values.
enum class BackupTaskType : int { SimpleCopy = 0, ExactCopy = 1, Move = 2, Synchronize = 3 };

// How obsolete entries leave the destination, with the stored identifiers' values.
enum class BackupDeleteKind : int { Normal = 0, Recycle = 1, Archive = 2 };

// Totals of one scan: bytes of the taken files, files and folders taken.
struct ScanTotals {
    std::int64_t bytes = 0;
    std::int32_t files = 0;
    std::int32_t folders = 0;
};

} // namespace qv
