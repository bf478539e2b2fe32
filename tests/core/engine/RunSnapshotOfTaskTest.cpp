// A stored task seen by a run: folders expanded once, getters resolved, filters copied.
#include "EngineTestSupport.h"

#include "core/engine/LocalBackup.h"
#include "core/engine/RunSnapshotOfTask.h"
#include "core/runs/Task.h"

#include <gtest/gtest.h>

namespace {

using namespace enginetest;

TEST(EngineSnapshotOfTask, FoldersOptionsAndFilters)
{
    const std::string base = qvtest::makeTempDir("snaptask");
    put(base + "/data/keep.txt", "k");
    put(base + "/data/skip.tmp", "t");
    put(base + "/data/sub/deep.txt", "d");
    put(base + "/docs/flat.txt", "f");
    put(base + "/docs/nested/ignored.txt", "i");

    qv::TTask task;
    task.Name = "Nightly";
    task.TaskType = qv::ttExactCopy;
    task.Source = "!>" + base + "/data,|" + base + "/docs";
    task.DestLocal = base + "/backup";
    task.KeepStructureFromRoot = true;
    task.VersionsKeep = true;
    task.Bandwidth.UseDefault = false;
    task.Bandwidth.Use = true;
    task.Bandwidth.Value = 0;
    task.Bandwidth.MeasureKind = qv::bmkKBits;
    qv::TTaskFilterItem all;
    all.FilterType = qv::fitInclude;
    all.fnWildcard = "*.*";
    qv::TTaskFilterItem tmp;
    tmp.FilterType = qv::fitExclude;
    tmp.fnWildcard = "*.tmp";
    task.Filters.Add(tmp);
    task.Filters.Add(all);

    auto s = qv::makeRunSnapshot(task, task.GetEventsDiskSpanDialog());
    ASSERT_EQ(s->sources.size(), 2u);
    EXPECT_EQ(s->sources[0].folder, base + "/data/");
    EXPECT_TRUE(s->sources[0].includeSubfolders);
    EXPECT_FALSE(s->sources[1].includeSubfolders);
    EXPECT_EQ(s->destinationRoot, base + "/backup/");
    EXPECT_EQ(s->sources[0].destination, base + "/backup/" + base.substr(1) + "/data/");
    EXPECT_EQ(s->versionsFolder, base + "/backup/File Versions Archive/");
    EXPECT_EQ(s->bandwidthBytesPerSecond, 128);
    EXPECT_EQ(s->taskType, qv::BackupTaskType::ExactCopy);

    // Editing the task after the snapshot changes nothing for the run.
    task.Filters.Clear();
    task.DestLocal = base + "/elsewhere";
    s->bandwidthBytesPerSecond = -1;
    RecordingHost host;
    qv::TLocalBackup run(s, &host);
    run.runInPlace();
    ASSERT_FALSE(host.aborted) << host.dump();
    const std::string root = base + "/backup/" + base.substr(1);
    EXPECT_TRUE(exists(root + "/data/keep.txt"));
    EXPECT_TRUE(exists(root + "/data/sub/deep.txt"));
    EXPECT_FALSE(exists(root + "/data/skip.tmp"));
    EXPECT_TRUE(exists(root + "/docs/flat.txt"));
    EXPECT_FALSE(exists(root + "/docs/nested"));
    EXPECT_FALSE(exists(base + "/elsewhere"));
}

} // namespace

namespace {

TEST(EngineSnapshotOfTask, FilterTestTakesTheDraftsFiltersAndDestination)
{
    const std::string base = qvtest::makeTempDir("snapdraft");
    qv::TTask task;
    task.Name = "Draft";
    task.Source = "!>" + base + "/data,|" + base + "/docs";
    task.DestLocal = base + "/stored";
    task.KeepStructureFromRoot = true;
    qv::TTaskFilterItem stored;
    stored.FilterType = qv::fitInclude;
    stored.fnWildcard = "*.stored";
    task.Filters.Add(stored);

    qv::FilterTestDraft draft;
    draft.destLocal = base + "/edited";
    qv::TTaskFilterItem txt;
    txt.FilterType = qv::fitInclude;
    txt.fnWildcard = "*.txt";
    draft.filters.Add(txt);

    struct Case {
        const char *what;
        std::string (*get)(const qv::RunSnapshot &);
        std::string expected;
    };
    auto s = qv::makeTestSnapshot(task, draft);
    const Case cases[] = {
        {"root", [](const qv::RunSnapshot &r) { return r.destinationRoot; }, base + "/edited/"},
        {"source 0", [](const qv::RunSnapshot &r) { return r.sources.at(0).destination; },
         base + "/edited/" + base.substr(1) + "/data/"},
        {"source 1", [](const qv::RunSnapshot &r) { return r.sources.at(1).destination; },
         base + "/edited/" + base.substr(1) + "/docs/"},
        {"stored source", [](const qv::RunSnapshot &r) { return r.sources.at(0).folder; }, base + "/data/"},
        {"archive", [](const qv::RunSnapshot &r) { return r.archiveFolder; },
         base + "/edited/Deleted Files Archive/"},
        {"versions", [](const qv::RunSnapshot &r) { return r.versionsFolder; },
         base + "/edited/File Versions Archive/"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.get(*s), c.expected) << c.what;
    }
    qv::ScanItem item;
    item.name = "a.txt";
    EXPECT_TRUE(s->filters->match(base + "/data/", item)) << "the draft's include";
    item.name = "a.stored";
    EXPECT_FALSE(s->filters->match(base + "/data/", item)) << "the stored filter is not used";

    // The stored task is untouched, and a run of it still takes its own values.
    auto run = qv::makeRunSnapshot(task, task.GetEventsDiskSpanDialog());
    EXPECT_EQ(run->destinationRoot, base + "/stored/");
    EXPECT_TRUE(run->filters->match(base + "/data/", item));
    EXPECT_EQ(task.Filters.Count(), 1);
}

} // namespace
