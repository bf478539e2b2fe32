// The per-file decisions of the copy engine as pure functions.
//
// Whether one file is copied (or moved), and which lines are logged and which alerts raised on the
// way, depends only on a few facts about the two files and on the task's options. Keeping that
// table apart from the file system makes it testable case by case; the backup thread executes the
// plan, stopping at the first alert answered with Stop.
#pragma once

#include "core/engine/BackupMessages.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

struct FilePairFacts {
    bool destinationExists = false;
    int dateRelation = 1; // of the source against the destination: -1 older, 0 equal, +1 newer
    std::int64_t sourceSize = 0;
    std::int64_t destinationSize = 0;
    bool sourceReadOnly = false;
};

struct CopyRules {
    bool synchronize = false;
    bool overwriteNeverDestination = false;
    bool copyInUseFiles = false;
    bool copyIfSourceLengthIsZero = false;
    bool dontSkipIfDateEqButSrcBiggerDst = true;
    bool logIncludeSkipping = true;
    bool versionsKeep = false;
};

// One log line, optionally with an alert of the same text.
struct PlanNotice {
    int logKind = 0;
    int alertKind = -1; // -1: no alert
    std::string text;
    bool operator==(const PlanNotice &) const = default;
};

struct FilePlan {
    std::vector<PlanNotice> notices;
    bool transfer = false;          // copy (or move) the file
    bool keepVersion = false;       // move the old destination to the versions archive first
    bool deleteSourceOnly = false;  // move: the destination already holds it; only the source goes
    bool leftUndone = false;        // the file is skipped though the task asked for it (in use)
};

// `inUse` is asked only when the decision depends on it.
FilePlan planCopy(const FilePairFacts &facts, const CopyRules &rules, const std::function<bool()> &inUse,
                  const std::string &source, const std::string &destination);
FilePlan planMove(const FilePairFacts &facts, const CopyRules &rules, const std::function<bool()> &inUse,
                  const std::string &source, const std::string &destination);

} // namespace qv
