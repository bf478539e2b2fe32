// Hand-over benchmark: a second start that names a task, measured until the running program has
// started it ("Backup started." in the task's log), and until the second start has ended.
// Usage: handover_bench [rounds]   (uses quorvellant and qv-regtool from its own folder)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string g_home;
std::string g_bin;

pid_t spawn(const std::vector<std::string> &args)
{
    pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", g_home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (g_home + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (g_home + "/data").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (g_home + "/run").c_str(), 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        if (freopen("/dev/null", "w", stdout) == nullptr || freopen("/dev/null", "w", stderr) == nullptr) {
            _exit(126);
        }
        std::vector<char *> argv;
        for (const auto &a : args) {
            argv.push_back(const_cast<char *>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int countStarts(const std::string &log)
{
    std::ifstream in(log);
    int n = 0;
    for (std::string l; std::getline(in, l);) {
        n += l.find("Backup started.") != std::string::npos ? 1 : 0;
    }
    return n;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    std::string self = argv[0];
    g_bin = self.substr(0, self.rfind('/') + 1);
    char tmpl[] = "/tmp/qv-handover-XXXXXX";
    g_home = mkdtemp(tmpl);
    std::system(("mkdir -p '" + g_home + "/run' '" + g_home + "/src' && chmod 700 '" + g_home + "/run' && echo x > '" +
                 g_home + "/src/a.txt'")
                    .c_str());
    const std::string id = "HANDOVER0000000000001";
    const std::string key = "HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant";
    std::ostringstream reg;
    reg << "REGEDIT4\r\n\r\n[" << key << "\\Main]\r\n\"FirstStart\"=dword:00000000\r\n\r\n[" << key << "\\Tasks\\"
        << id << "]\r\n\"Name\"=\"Bench\"\r\n\"ID\"=\"" << id << "\"\r\n\"TaskType\"=\"ttSimpleCopy\"\r\n\r\n[" << key
        << "\\Tasks\\" << id << "\\Source]\r\n\"Source\"=\"" << g_home << "/src\"\r\n\r\n[" << key << "\\Tasks\\" << id
        << "\\Destination]\r\n\"DestLocal\"=\"" << g_home << "/dst\"\r\n\r\n[" << key << "\\Tasks\\" << id
        << "\\Filters\\1]\r\n\"FilterType\"=\"fitInclude\"\r\n\"FilterKind\"=\"fikFileName\"\r\n"
        << "\"fnKind\"=\"fnkWildcard\"\r\n\"fnWildcard\"=\"*.*\"\r\n";
    std::ofstream(g_home + "/task.reg") << reg.str();
    pid_t imp = spawn({g_bin + "qv-regtool", "import", g_home + "/task.reg"});
    waitpid(imp, nullptr, 0);

    pid_t first = spawn({g_bin + "quorvellant"});
    std::this_thread::sleep_for(std::chrono::seconds(2)); // the first start settles
    const std::string log = g_home + "/data/quorvellant/quorvellant.log";
    std::vector<double> toStart, toExit;
    for (int r = 0; r < rounds; ++r) {
        const int before = countStarts(log);
        auto t0 = Clock::now();
        pid_t second = spawn({g_bin + "quorvellant", "/RunProjectById=" + id});
        int status = 0;
        waitpid(second, &status, 0);
        auto t1 = Clock::now();
        while (countStarts(log) <= before && Clock::now() - t0 < std::chrono::seconds(10)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        auto t2 = Clock::now();
        toExit.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        toStart.push_back(std::chrono::duration<double, std::milli>(t2 - t0).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let the run end
    }
    pid_t stop = spawn({g_bin + "quorvellant", "/EXITNOW"});
    waitpid(stop, nullptr, 0);
    waitpid(first, nullptr, 0);
    std::system(("rm -rf '" + g_home + "'").c_str());
    std::printf("hand-over, %d rounds: second start ends after %.1f ms (median); the task has started %.1f ms "
                "after the second start began (median; aim: under 150 ms)\n",
                rounds, median(toExit), median(toStart));
    return 0;
}
