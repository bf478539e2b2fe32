// Path variables and the logger of a real task: its folder getters, its source list and its Log
// settings group.
#include "VarlogTestSupport.h"

#include "core/runs/Task.h"
#include "core/log/TaskLogger.h"
#include "core/text/Variables.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace varlogtest;

namespace {

bool hasMarker(const std::string &s)
{
    return s.find(qv::kVariableError) != std::string::npos;
}

TEST(TaskPathVariables, FolderGettersExpand)
{
    ClockGuard clock(QDateTime(QDate(2026, 12, 5), QTime(19, 30, 5)));
    qv::TTask task;
    task.Name = "Docs";
    task.Source = "!>/home/ann/Docs,|/srv/share/Music";
    task.DestLocal = "/media/b/%ProjectName%-%Date%";
    EXPECT_EQ(task.GetDestinationFolder(-1), "/media/b/Docs-20261205/");
    EXPECT_EQ(task.GetVersionsFolder(), "/media/b/Docs-20261205/File Versions Archive/");
    EXPECT_EQ(task.GetArchiveFolder(), "/media/b/Docs-20261205/Deleted Files Archive/");
    EXPECT_EQ(qv::ExpandVariables(task, "%Source2%|%SourceTop1%|%ProjectId%"),
              "/srv/share/Music/|Docs/|" + task.ID);
    EXPECT_EQ(qv::GetVariableValue(task, qv::vidSourceExcludeRoot, 1), "srv/share/Music/");
}

TEST(TaskPathVariables, LoopsInStoredFoldersEndInTheMarker)
{
    struct Case {
        const char *source, *destination, *versions;
    };
    const Case cases[] = {
        {"/data/%Source%", "/b", "%destination%v"},
        {"/a/%Destination%", "/b/%Source%", "%destination%v"},
        {"/a/%VersionsArchive%", "/b", "%Source%v"},
        {"!>/a/%Source2%,>/b/%Source1%", "/b", "%destination%v"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source);
        qv::TTask task;
        task.Source = c.source;
        task.DestLocal = c.destination;
        task.VersionsFolder = c.versions;
        EXPECT_TRUE(hasMarker(task.GetSourceFolder(0)));
    }
}

TEST(TaskPathVariables, ManySourcesNamingEachOtherFinish)
{
    // Twelve sources each naming all the others: cut at once, each value computed once.
    std::string list = "!";
    for (int i = 1; i <= 12; ++i) {
        list += i > 1 ? "," : "";
        list += ">/s" + std::to_string(i);
        for (int j = 1; j <= 12; ++j) {
            list += "/%Source" + std::to_string(j) + "%";
        }
    }
    qv::TTask task;
    task.Source = list;
    task.DestLocal = "%Source1%%Source12%";
    EXPECT_EQ(task.GetSourceCount(), 12);
    EXPECT_TRUE(hasMarker(task.GetDestinationFolder(-1)));
}

TEST(TaskLoggerOfTask, FollowsTheTasksLogGroup)
{
    ClockGuard clock(QDateTime(QDate(2026, 12, 5), QTime(19, 30, 5)));
    LocaleGuard locale(QLocale(QLocale::English, QLocale::UnitedStates));
    const std::string dir = qvtest::makeTempDir("tasklog");
    qv::TTask task;
    task.Log.UseDefault = false;
    task.Log.FileName = dir + "/task.log";
    task.Log.IncludeFiles = false;
    ASSERT_NE(task.Logger, nullptr);
    task.Logger->Add(qv::kLogStarted, "");
    task.Logger->Add(qv::kLogFile, "copied a");
    task.Logger->Add(qv::kLogWarning, "careful");
    task.Logger->Flush();
    EXPECT_EQ(qvtest::readFile(dir + "/task.log"), "12/5/26 7:30:05 PM: Backup started.\n"
                                                   "12/5/26 7:30:05 PM: WARNING: careful\n");
    task.Log.Enabled = false;
    task.Logger->Add(qv::kLogError, "lost disk");
    EXPECT_EQ(task.Logger->Count(), 3u);
    EXPECT_EQ(task.Logger->Item(2).Text, "ERROR: lost disk");
}

TEST(TaskLoggerOfTask, SizeCheckedWhenTheTaskIsCreated)
{
    // A new task's logger follows the program-wide Log settings; with its own group it follows
    // those once the check runs again.
    const std::string dir = qvtest::makeTempDir("tasklogsize");
    qvtest::writeFile(dir + "/big.log", std::string(4096, 'x'));
    qv::TTask task;
    task.Log.UseDefault = false;
    task.Log.FileName = dir + "/big.log";
    task.Log.MaxSize = 8;
    task.Logger->CheckLogSize();
    EXPECT_EQ(qvtest::readFile(dir + "/big.log").size(), 4096u);
    task.Log.MaxSize = 4;
    task.Logger->CheckLogSize();
    EXPECT_EQ(qvtest::readFile(dir + "/big.log").size(), 0u);
}

} // namespace
