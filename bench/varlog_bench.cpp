// Benchmarks of the path variables and the task logger against peers measured in the same run.
//
//   expansion: ExpandVariables over many paths with environment tokens, against envsubst doing
//              the same substitutions on the same lines;
//   log lines: TTaskLogger appending lines (buffered, written at least once a second) against
//              python3 doing an open-append-close per line, and our CPU time per line;
//   memory:    heap bytes per event of a full activity list.
//
// Usage: varlog_bench [lines]   (default 100000)
#include "core/settings/DateTime.h"
#include "core/log/TaskLogger.h"
#include "core/text/Variables.h"

#include <QCoreApplication>

#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double timeCommand(const std::string &command)
{
    const auto start = Clock::now();
    const int rc = std::system(command.c_str());
    const double s = secondsSince(start);
    if (rc != 0) {
        std::fprintf(stderr, "peer failed (%d): %s\n", rc, command.c_str());
        return -1;
    }
    return s;
}

class BenchTask : public qv::VariableContext
{
public:
    int sourceCount() const override { return 1; }
    std::string sourceFolder(int) const override { return "/home/bench/data/"; }
    std::string destinationFolder() const override { return "/media/backup/"; }
    std::string archiveFolder() const override { return {}; }
    std::string versionsFolder() const override { return {}; }
    std::string name() const override { return "bench"; }
    std::string id() const override { return "0123456789ABCDEF01234"; }
};

struct BenchLog : qv::LogSettingsSource {
    std::string file;
    bool enabled = true;
    bool logEnabled() const override { return enabled; }
    std::string logFileName() const override { return file; }
    int logMaxSize() const override { return 0; }
    bool logIncludeSummary() const override { return true; }
    bool logIncludeFiles() const override { return true; }
    bool logIncludeSkipping() const override { return true; }
    bool logIncludeWarnings() const override { return true; }
    bool logIncludeErrors() const override { return true; }
};

// CPU time of this process (user and system).
double cpuSeconds()
{
    timespec ts {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Bytes the heap has handed out and not taken back.
double heapInUse()
{
    return static_cast<double>(mallinfo2().uordblks);
}

void benchExpansion(const std::string &dir, int lines)
{
    ::setenv("QV_BENCH_A", "alpha", 1);
    ::setenv("QV_BENCH_B", "beta", 1);
    BenchTask task;
    std::size_t total = 0;
    const auto start = Clock::now();
    for (int i = 0; i < lines; ++i) {
        total += qv::ExpandVariables(task, "/backup/%QV_BENCH_A%/x/%QV_BENCH_B%/f" + std::to_string(i)).size();
    }
    const double ours = secondsSince(start);

    {
        std::ofstream in(dir + "/env.txt");
        for (int i = 0; i < lines; ++i) {
            in << "/backup/${QV_BENCH_A}/x/${QV_BENCH_B}/f" << i << '\n';
        }
    }
    const double peer =
        timeCommand("envsubst '$QV_BENCH_A $QV_BENCH_B' < " + dir + "/env.txt > " + dir + "/env.out");
    std::printf("expansion: %d paths  ours %.3f s  envsubst %.3f s  ratio %.2f  (%zu bytes)\n", lines, ours, peer,
                peer > 0 ? ours / peer : 0.0, total);
}

void benchLogLines(const std::string &dir, int lines)
{
    BenchLog settings;
    settings.file = dir + "/ours.log";
    const std::string message = "Copied /home/bench/data/some/folder/file-name.txt to /media/backup/";
    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    {
        qv::TTaskLogger logger(&settings);
        for (int i = 0; i < lines; ++i) {
            logger.Add(qv::kLogFile, message);
        }
    } // the last buffered lines are written here
    const double ours = secondsSince(start);
    const double cpu = cpuSeconds() - cpuStart;
    const std::string script = dir + "/peer.py";
    {
        std::ofstream py(script);
        py << "import sys, datetime\n"
              "path, n = sys.argv[1], int(sys.argv[2])\n"
              "msg = '"
           << message
           << "'\n"
              "for i in range(n):\n"
              "    line = datetime.datetime.now().strftime('%x %X') + ': ' + msg + '\\n'\n"
              "    with open(path, 'a') as f:\n"
              "        f.write(line)\n";
    }
    const double peer = timeCommand("python3 " + script + " " + dir + "/peer.log " + std::to_string(lines));
    std::printf("log lines: %d lines  ours %.3f s  python3 %.3f s  ratio %.2f  (CPU %.2f us a line)\n", lines, ours,
                peer, peer > 0 ? ours / peer : 0.0, cpu * 1e6 / lines);
}

void benchEventMemory()
{
    BenchLog settings;
    settings.enabled = false;
    qv::TTaskLogger logger(&settings);
    const double before = heapInUse();
    for (std::size_t i = 0; i < qv::kMaxLogEvents; ++i) {
        logger.Add(qv::kLogFile, "Copied /home/bench/data/some/folder/file-name-" + std::to_string(i) + ".txt");
    }
    const double after = heapInUse();
    std::printf("memory: %zu events  %.1f MB of heap  %.0f bytes per event\n", logger.Count(),
                (after - before) / 1048576.0, (after - before) / static_cast<double>(logger.Count()));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    char tmpl[] = "/tmp/qv-varlog-bench-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = tmpl;
    benchEventMemory();
    benchExpansion(dir, lines);
    benchLogLines(dir, lines);
    const int rc = std::system(("rm -rf '" + dir + "'").c_str());
    return rc == 0 ? 0 : 1;
}
