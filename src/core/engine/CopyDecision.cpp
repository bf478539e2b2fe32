// The per-file decisions of the copy engine.
#include "core/engine/CopyDecision.h"

#include "core/engine/BackupTypes.h"

namespace qv {

namespace {

void add(FilePlan &plan, int logKind, int alertKind, const BackupMessage &m, const std::vector<MessageArg> &args)
{
    plan.notices.push_back(PlanNotice{logKind, alertKind, formatMessage(m, args)});
}

// An older source: skipped, or overwriting with the option; true when the transfer goes on.
bool olderSource(FilePlan &plan, const CopyRules &rules, const std::string &src, const std::string &dst)
{
    if (rules.synchronize) {
        return false;
    }
    if (rules.overwriteNeverDestination) {
        add(plan, kLogWarning, akWarning, msg::FileOverwritingNewer, {dst, src});
        return true;
    }
    add(plan, kLogWarning, akWarning, msg::FileSkipOlder, {src, dst});
    return false;
}

} // namespace

FilePlan planCopy(const FilePairFacts &facts, const CopyRules &rules, const std::function<bool()> &inUse,
                  const std::string &src, const std::string &dst)
{
    FilePlan plan;
    if (facts.destinationExists) {
        if (facts.dateRelation < 0 && !olderSource(plan, rules, src, dst)) {
            return plan;
        }
        if (facts.dateRelation == 0) {
            if (facts.destinationSize >= facts.sourceSize) {
                if (rules.logIncludeSkipping && !rules.synchronize) {
                    add(plan, kLogSkipped, -1, msg::FileSkipUnchanged, {src});
                }
                return plan;
            }
            if (!rules.dontSkipIfDateEqButSrcBiggerDst) {
                add(plan, kLogWarning, -1, msg::DateEqualSkipSmaller, {src});
                return plan;
            }
            add(plan, kLogWarning, -1, msg::DateEqualOverwriteBigger, {src});
        }
        if (facts.sourceSize == 0 && facts.destinationSize > 0) {
            if (!rules.copyIfSourceLengthIsZero) {
                add(plan, kLogWarning, akWarning, msg::FileCopySkipEmptySource, {src, dst});
                return plan;
            }
            add(plan, kLogWarning, akWarning, msg::FileCopyEmptySource, {src, dst});
        }
    }
    if (inUse && inUse()) {
        if (!rules.copyInUseFiles) {
            add(plan, kLogWarning, akWarning, msg::FileSkipInUse, {src});
            plan.leftUndone = true;
            return plan;
        }
        add(plan, kLogWarning, akWarning, msg::FileCopyInUse, {src, dst});
    } else {
        add(plan, kLogFile, akFile, msg::FileCopy, {src, dst});
    }
    plan.transfer = true;
    plan.keepVersion = rules.versionsKeep && facts.destinationExists && !rules.synchronize;
    return plan;
}

FilePlan planMove(const FilePairFacts &facts, const CopyRules &rules, const std::function<bool()> &inUse,
                  const std::string &src, const std::string &dst)
{
    FilePlan plan;
    CopyRules moveRules = rules;
    moveRules.synchronize = false;
    if (facts.destinationExists) {
        if (facts.dateRelation < 0 && !olderSource(plan, moveRules, src, dst)) {
            return plan;
        }
        if (facts.dateRelation == 0) {
            add(plan, kLogFile, akFile, msg::FileMoveUnchanged, {dst, src});
            plan.deleteSourceOnly = true;
            return plan;
        }
        if (facts.sourceSize == 0 && facts.destinationSize > 0) {
            if (!rules.copyIfSourceLengthIsZero) {
                add(plan, kLogWarning, akWarning, msg::FileMoveSkipEmptySource, {src, dst});
                return plan;
            }
            add(plan, kLogWarning, akWarning, msg::FileMoveEmptySource, {src, dst});
        }
    }
    if (inUse && inUse()) {
        if (!rules.copyInUseFiles) {
            add(plan, kLogWarning, akWarning, msg::FileSkipInUse, {src});
            plan.leftUndone = true;
            return plan;
        }
        add(plan, kLogWarning, akWarning, msg::FileMoveInUse, {src, dst});
    } else {
        add(plan, kLogFile, akFile, msg::FileMove, {src, dst});
    }
    if (facts.sourceReadOnly) {
        add(plan, kLogWarning, akWarning, msg::FileMoveReadOnly, {src, dst});
    }
    plan.transfer = true;
    return plan;
}

} // namespace qv
