// The per-file decisions of copy and move, case by case: what is copied, logged and alerted.
#include "core/engine/BackupTypes.h"
#include "core/engine/CopyDecision.h"

#include <gtest/gtest.h>

namespace {

using qv::PlanNotice;

const std::string S = "/src/f";
const std::string D = "/dst/f";

struct Opt {
    bool sync = false;
    bool overwriteNever = false;
    bool copyInUse = false;
    bool copyEmpty = false;
    bool dontSkipBigger = true;
    bool logSkipping = true;
    bool versions = false;
};

qv::CopyRules rules(const Opt &o)
{
    qv::CopyRules r;
    r.synchronize = o.sync;
    r.overwriteNeverDestination = o.overwriteNever;
    r.copyInUseFiles = o.copyInUse;
    r.copyIfSourceLengthIsZero = o.copyEmpty;
    r.dontSkipIfDateEqButSrcBiggerDst = o.dontSkipBigger;
    r.logIncludeSkipping = o.logSkipping;
    r.versionsKeep = o.versions;
    return r;
}

struct CopyCase {
    const char *name;
    bool exists;
    int date;
    long long srcSize;
    long long dstSize;
    bool inUse;
    Opt opt;
    bool transfer;
    bool keepVersion;
    std::vector<PlanNotice> notices;
};

const PlanNotice kCopy{4, 1, "Copying \"/src/f\" to \"/dst/f\"."};

TEST(EngineCopyDecision, CopyTable)
{
    const CopyCase cases[] = {
        {"new file", false, 1, 10, 0, false, {}, true, false, {kCopy}},
        {"new file, versions on: nothing to keep", false, 1, 10, 0, false, {.versions = true}, true, false, {kCopy}},
        {"newer source", true, 1, 10, 10, false, {}, true, false, {kCopy}},
        {"newer source keeps a version", true, 1, 10, 10, false, {.versions = true}, true, true, {kCopy}},
        {"older source skipped", true, -1, 10, 10, false, {}, false, false,
         {{6, 6, "Skipping older file \"/src/f\" (than \"/dst/f\")."}}},
        {"older source overwrites with the option", true, -1, 10, 10, false, {.overwriteNever = true, .versions = true},
         true, true,
         {{6, 6, "Overwriting newer destination file \"/dst/f\" by older source file \"/src/f\"."}, kCopy}},
        {"older source in a synchronisation: silent", true, -1, 10, 10, false, {.sync = true}, false, false, {}},
        {"equal dates, equal sizes: unchanged", true, 0, 10, 10, false, {}, false, false,
         {{5, -1, "Skipping unchanged \"/src/f\"."}}},
        {"equal dates, bigger destination: unchanged", true, 0, 10, 20, false, {}, false, false,
         {{5, -1, "Skipping unchanged \"/src/f\"."}}},
        {"unchanged without the skipping log", true, 0, 10, 10, false, {.logSkipping = false}, false, false, {}},
        {"unchanged in a synchronisation: silent", true, 0, 10, 10, false, {.sync = true}, false, false, {}},
        {"equal dates, smaller destination, option on", true, 0, 20, 10, false, {.versions = true}, true, true,
         {{6, -1,
           "Modification dates are equal, but according to Task's settings program overwriting destination file "
           "with bigger source file (/src/f)."},
          kCopy}},
        {"equal dates, smaller destination, option off", true, 0, 20, 10, false, {.dontSkipBigger = false}, false,
         false,
         {{6, -1,
           "Skipping file /src/f. Modification dates are equal, but destination size is less than source size."}}},
        {"empty source over non-empty destination skipped", true, 1, 0, 5, false, {.versions = true}, false, false,
         {{6, 6, "Skipping copying empty source file \"/src/f\" over non-empty destination \"/dst/f\"."}}},
        {"empty source over non-empty destination copied", true, 1, 0, 5, false, {.copyEmpty = true}, true, false,
         {{6, 6, "Copying empty source file \"/src/f\" over non-empty destination \"/dst/f\"."}, kCopy}},
        {"empty source over empty destination", true, 1, 0, 0, false, {}, true, false, {kCopy}},
        {"in use skipped (no version kept)", true, 1, 10, 10, true, {.versions = true}, false, false,
         {{6, 6, "Skipping in use file \"/src/f\"."}}},
        {"in use copied with the option", true, 1, 10, 10, true, {.copyInUse = true}, true, false,
         {{6, 6, "Copying in use file \"/src/f\" to \"/dst/f\"."}}},
        {"synchronisation never keeps versions", true, 1, 10, 10, false, {.sync = true, .versions = true}, true, false,
         {kCopy}},
    };
    for (const CopyCase &c : cases) {
        SCOPED_TRACE(c.name);
        qv::FilePairFacts f;
        f.destinationExists = c.exists;
        f.dateRelation = c.date;
        f.sourceSize = c.srcSize;
        f.destinationSize = c.dstSize;
        int asked = 0;
        qv::FilePlan p = qv::planCopy(f, rules(c.opt), [&] { ++asked; return c.inUse; }, S, D);
        EXPECT_EQ(p.transfer, c.transfer);
        EXPECT_EQ(p.keepVersion, c.keepVersion);
        EXPECT_FALSE(p.deleteSourceOnly);
        EXPECT_EQ(p.notices, c.notices);
        EXPECT_LE(asked, 1);
    }
}

TEST(EngineCopyDecision, InUseIsAskedOnlyWhenItMatters)
{
    qv::FilePairFacts f;
    f.destinationExists = true;
    f.dateRelation = 0;
    f.sourceSize = 5;
    f.destinationSize = 5;
    int asked = 0;
    qv::planCopy(f, rules({}), [&] { ++asked; return true; }, S, D);
    EXPECT_EQ(asked, 0);
}

struct MoveCase {
    const char *name;
    bool exists;
    int date;
    long long srcSize;
    long long dstSize;
    bool inUse;
    bool readOnly;
    Opt opt;
    bool transfer;
    bool deleteSourceOnly;
    std::vector<PlanNotice> notices;
};

const PlanNotice kMove{4, 1, "Moving \"/src/f\" to \"/dst/f\"."};

TEST(EngineCopyDecision, MoveTable)
{
    const MoveCase cases[] = {
        {"new file", false, 1, 3, 0, false, false, {}, true, false, {kMove}},
        {"equal date: only the source goes", true, 0, 3, 3, false, false, {}, false, true,
         {{4, 1, "Destination already contain \"/dst/f\", skipped. Deleting source file \"/src/f\"."}}},
        {"older source stays", true, -1, 3, 3, false, false, {}, false, false,
         {{6, 6, "Skipping older file \"/src/f\" (than \"/dst/f\")."}}},
        {"older source moved with the option", true, -1, 3, 3, false, false, {.overwriteNever = true}, true, false,
         {{6, 6, "Overwriting newer destination file \"/dst/f\" by older source file \"/src/f\"."}, kMove}},
        {"empty source skipped", true, 1, 0, 3, false, false, {}, false, false,
         {{6, 6, "Skipping moving empty source file \"/src/f\" over non-empty destination \"/dst/f\"."}}},
        {"empty source moved", true, 1, 0, 3, false, false, {.copyEmpty = true}, true, false,
         {{6, 6, "Moving empty source file \"/src/f\" over non-empty destination \"/dst/f\"."}, kMove}},
        {"in use skipped", false, 1, 3, 0, true, false, {}, false, false, {{6, 6, "Skipping in use file \"/src/f\"."}}},
        {"in use moved", false, 1, 3, 0, true, false, {.copyInUse = true}, true, false,
         {{6, 6, "Moving in use file \"/src/f\" to \"/dst/f\"."}}},
        {"read-only source warns and moves", false, 1, 3, 0, false, true, {}, true, false,
         {kMove, {6, 6, "Moving 'Read Only' file \"/src/f\" to \"/dst/f\"."}}},
    };
    for (const MoveCase &c : cases) {
        SCOPED_TRACE(c.name);
        qv::FilePairFacts f;
        f.destinationExists = c.exists;
        f.dateRelation = c.date;
        f.sourceSize = c.srcSize;
        f.destinationSize = c.dstSize;
        f.sourceReadOnly = c.readOnly;
        qv::FilePlan p = qv::planMove(f, rules(c.opt), [&] { return c.inUse; }, S, D);
        EXPECT_EQ(p.transfer, c.transfer);
        EXPECT_EQ(p.deleteSourceOnly, c.deleteSourceOnly);
        EXPECT_FALSE(p.keepVersion);
        EXPECT_EQ(p.notices, c.notices);
    }
}

} // namespace
