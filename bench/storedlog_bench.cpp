// Stored tasks with the default settings (every copied and skipped file logged) against rsync, in
// one run: a first simple copy against rsync -a, and an exact copy with nothing changed against
// rsync -a --delete, on a tree of small files in /dev/shm. Runs alternate (qv-run, rsync, ...) and
// the median of each counts, in wall time and in CPU time (user + system); with OLD_BIN=<folder of another qv-run> that build runs in the same
// rotation, so two builds compare on the same machine load.
//
// Usage: storedlog_bench [files=20000] [runs=5]    (BIN_DIR: the folder of qv-run, default build/bin)
#include "core/task/Filters.h"
#include "core/runs/Task.h"
#include "core/runs/TaskListStorage.h"

#include <QCoreApplication>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

void sh(const std::string &cmd)
{
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "storedlog_bench: failed: %s\n", cmd.c_str());
        std::exit(1);
    }
}

double childCpu()
{
    rusage u {};
    ::getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Wall seconds of `cmd`; its CPU seconds (user + system) are added to `cpu`.
double timed(const std::string &cmd, std::vector<double> &cpu)
{
    const double c0 = childCpu();
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system(cmd.c_str());
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    cpu.push_back(childCpu() - c0);
    if (rc != 0) {
        std::fprintf(stderr, "storedlog_bench: exit %d: %s\n", rc, cmd.c_str());
    }
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void makeTree(const std::string &root, int files)
{
    std::mt19937 gen(42);
    std::string buffer;
    for (int i = 0; i < files; ++i) {
        const std::string folder = root + "/d" + std::to_string(i / 2000) + "/s" + std::to_string((i / 100) % 20);
        if (i % 100 == 0) {
            sh("mkdir -p '" + folder + "'");
        }
        buffer.assign(gen() % 4097, 'x');
        std::ofstream(folder + "/file-" + std::to_string(i) + ".dat", std::ios::binary) << buffer;
    }
}

// A task over `src` into `dst` with every file included and the program's default settings.
std::unique_ptr<qv::TTask> makeTask(const std::string &name, qv::TTaskType type, const std::string &src,
                                    const std::string &dst)
{
    auto task = std::make_unique<qv::TTask>();
    task->Name = name;
    task->TaskType = type;
    task->Source = src;
    task->DestLocal = dst;
    qv::TTaskFilterItem all;
    all.FilterType = qv::fitInclude;
    all.fnWildcard = "*";
    task->Filters.Add(all);
    return task;
}

long lines(const std::string &path)
{
    std::ifstream in(path);
    return std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
}

} // namespace

int main(int argc, char **argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string root = "/dev/shm/qv-storedlog-bench";
    sh("rm -rf " + root + " && mkdir -p " + root + "/home");
    ::setenv("HOME", (root + "/home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "/home/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/home/config").c_str(), 1);
    QCoreApplication app(argc, argv);
    const char *binDir = std::getenv("BIN_DIR");
    std::vector<std::pair<std::string, std::string>> builds = {{"qv-run", std::string(binDir ? binDir : "build/bin")}};
    if (const char *old = std::getenv("OLD_BIN")) {
        builds.push_back({"old qv-run", old});
    }
    makeTree(root + "/src", files);
    qv::TTasksList tasks;
    tasks.Add(makeTask("first", qv::ttSimpleCopy, root + "/src", root + "/dst"));
    tasks.Add(makeTask("exact", qv::ttExactCopy, root + "/src", root + "/same"));
    const std::string firstId = tasks[0]->ID;
    const std::string exactId = tasks[1]->ID;
    qv::saveGroupsAndTasks({}, tasks, {});
    sh("cp -a " + root + "/src " + root + "/same");
    const std::string log = root + "/home/data/quorvellant/quorvellant.log";

    std::vector<std::vector<double>> first(builds.size()), same(builds.size());
    std::vector<std::vector<double>> firstCpu(builds.size()), sameCpu(builds.size());
    std::vector<double> rsyncFirst, rsyncSame, rsyncFirstCpu, rsyncSameCpu;
    for (int r = 0; r < runs; ++r) {
        for (std::size_t b = 0; b < builds.size(); ++b) {
            sh("rm -rf " + root + "/dst");
            first[b].push_back(timed(builds[b].second + "/qv-run --id " + firstId + " > /dev/null", firstCpu[b]));
            same[b].push_back(timed(builds[b].second + "/qv-run --id " + exactId + " > /dev/null", sameCpu[b]));
        }
        sh("rm -rf " + root + "/dst");
        rsyncFirst.push_back(timed("rsync -a " + root + "/src/ " + root + "/dst/", rsyncFirstCpu));
        rsyncSame.push_back(timed("rsync -a --delete " + root + "/src/ " + root + "/same/", rsyncSameCpu));
    }
    std::printf("stored tasks, default log settings: %d files of 0-4 KiB in %s, median of %d alternating runs\n", files,
                root.c_str(), runs);
    std::printf("  log file: %ld lines written\n", lines(log));
    for (std::size_t b = 0; b < builds.size(); ++b) {
        std::printf("  %-11s first copy %.3f s (rsync -a %.3f s, ratio %.2f)   exact, no change %.3f s (rsync -a "
                    "--delete %.3f s, ratio %.2f)\n",
                    builds[b].first.c_str(), median(first[b]), median(rsyncFirst), median(first[b]) / median(rsyncFirst),
                    median(same[b]), median(rsyncSame), median(same[b]) / median(rsyncSame));
        std::printf("  %-11s CPU s:     %.3f (rsync %.3f, ratio %.2f)                     %.3f (rsync %.3f, ratio %.2f)\n",
                    "", median(firstCpu[b]), median(rsyncFirstCpu), median(firstCpu[b]) / median(rsyncFirstCpu),
                    median(sameCpu[b]), median(rsyncSameCpu), median(sameCpu[b]) / median(rsyncSameCpu));
    }
    sh("rm -rf " + root);
    return 0;
}
