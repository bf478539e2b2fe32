// Playing a sound file without blocking: a child process of the desktop's sound player.
#include "platform/Sound.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace qv {
namespace {

// One running player. The reaper waits for the exit without reaping first, so that the process id
// cannot be reused while stop() may still signal it.
struct Player {
    pid_t pid = -1;
    std::mutex mutex;
    bool ended = false;
};

class ChildProcessSound : public Sound
{
public:
    bool play(const std::string &file) override
    {
        stop();
        struct stat st;
        if (file.empty() || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return false;
        }
        std::string program = playerProgram();
        if (program.empty()) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const char *argv[] = {program.c_str(), file.c_str(), nullptr};
        auto player = std::make_shared<Player>();
        int rc = ::posix_spawn(&player->pid, program.c_str(), &actions, nullptr, const_cast<char *const *>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            return false;
        }
        std::thread([player] {
            siginfo_t info;
            while (::waitid(P_PID, static_cast<id_t>(player->pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
            }
            std::lock_guard<std::mutex> lock(player->mutex);
            player->ended = true;
            int status;
            ::waitpid(player->pid, &status, 0);
        }).detach();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_current = player;
        return true;
    }

    void stop() override
    {
        std::shared_ptr<Player> player;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            player.swap(m_current);
        }
        if (player) {
            std::lock_guard<std::mutex> lock(player->mutex);
            if (!player->ended) {
                ::kill(player->pid, SIGTERM);
            }
        }
    }

private:
    std::mutex m_mutex;
    std::shared_ptr<Player> m_current;
};

ChildProcessSound g_system;
std::atomic<Sound *> g_sound{nullptr};

} // namespace

std::string Sound::playerProgram()
{
    const char *path = std::getenv("PATH");
    if (path == nullptr) {
        return {};
    }
    for (const char *name : {"pw-play", "paplay", "aplay"}) {
        std::stringstream ss(path);
        std::string dir;
        while (std::getline(ss, dir, ':')) {
            if (dir.empty()) {
                continue;
            }
            std::string candidate = dir + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
    }
    return {};
}

Sound &Sound::instance()
{
    Sound *s = g_sound.load();
    return s != nullptr ? *s : g_system;
}

void Sound::setInstance(Sound *s)
{
    g_sound.store(s);
}

} // namespace qv
