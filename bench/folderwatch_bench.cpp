// Benchmark of setting up recursive folder watches against inotifywait on the same tree.
//
//   set-up: the program's watcher from the call that adds a recursive watch until its walk has
//           watched every folder, against `inotifywait -m -r` from its start until it prints
//           "Watches established."; the median of several runs of each, page cache warm;
//   memory: resident memory per watched folder of the watcher's bookkeeping.
//
// Usage: folderwatch_bench [folders] [runs]   (default 10000 folders, 5 runs)
#include "platform/FolderWatcherInotify.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A tree of `count` folders: sqrt(count) folders at the top, the rest spread below them.
int makeTree(const std::string &root, int count)
{
    const int top = std::max(1, static_cast<int>(std::sqrt(count)));
    int made = 0;
    for (int i = 0; i < top && made < count; ++i) {
        const std::string a = root + "/d" + std::to_string(i);
        fs::create_directory(a);
        ++made;
        for (int j = 0; j < top - 1 && made < count; ++j) {
            fs::create_directory(a + "/s" + std::to_string(j));
            ++made;
        }
    }
    return made;
}

long residentKb()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return 0;
}

double ourSetup(const std::string &root, std::size_t folders, long *kbPerThousand)
{
    qv::FolderWatcherInotify watcher;
    const long before = residentKb();
    const auto start = Clock::now();
    const auto id =
        watcher.addWatch(root, true, qv::ChangeKind::kFileName | qv::ChangeKind::kLastWrite, {}).id;
    while (!watcher.isSettled(id)) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const double s = secondsSince(start);
    if (watcher.folderCount(id) != folders) {
        std::fprintf(stderr, "watched %zu folders, expected %zu\n", watcher.folderCount(id), folders);
    }
    if (kbPerThousand != nullptr) {
        *kbPerThousand = (residentKb() - before) * 1000 / static_cast<long>(folders);
    }
    return s;
}

// inotifywait from spawn until "Watches established." on its standard error; -1 when it failed.
double peerSetup(const std::string &root)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const char *argv[] = {"inotifywait", "-m",   "-r", "-e", "create,delete,move,modify",
                          root.c_str(),  nullptr};
    pid_t pid = 0;
    const auto start = Clock::now();
    const int rc = ::posix_spawnp(&pid, "inotifywait", &actions, nullptr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    std::string text;
    char buf[256];
    double s = -1;
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
        if (text.find("Watches established.") != std::string::npos) {
            s = secondsSince(start);
            break;
        }
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    ::close(pipeFds[0]);
    if (s < 0) {
        std::fprintf(stderr, "inotifywait: %s\n", text.c_str());
    }
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    char pattern[] = "/tmp/qv-watchbench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = pattern;
    const std::size_t folders = static_cast<std::size_t>(makeTree(root, count)) + 1; // with the root

    std::vector<double> ours;
    std::vector<double> peer;
    long kbPerThousand = 0;
    // The first run of each warms the caches and is not counted; the memory is read in ours, before
    // the allocator holds freed memory of earlier runs.
    ourSetup(root, folders, &kbPerThousand);
    peerSetup(root);
    for (int i = 0; i < runs; ++i) {
        ours.push_back(ourSetup(root, folders, nullptr));
        const double p = peerSetup(root);
        if (p >= 0) {
            peer.push_back(p);
        }
    }
    std::printf("folder watches on a tree of %zu folders, median of %d runs\n", folders, runs);
    std::printf("  set-up   quorvellant %8.1f ms\n", median(ours) * 1000);
    if (peer.empty()) {
        std::printf("  set-up   inotifywait      (not installed or failed)\n");
    } else {
        std::printf("  set-up   inotifywait %8.1f ms   ratio quorvellant/inotifywait %.2f\n",
                    median(peer) * 1000, median(ours) / median(peer));
    }
    std::printf("  memory   %ld KiB resident per 1000 watched folders\n", kbPerThousand);
    fs::remove_all(root);
    return 0;
}
