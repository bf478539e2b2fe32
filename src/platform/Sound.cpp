// Playing a sound file without blocking: a child process of the desktop's sound player.
#include "platform/Sound.h"

#include "platform/Processes.h"

#include <atomic>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace qv {
namespace {

// One playing sound: the process runner waits for the player on a thread of its own and ends it
// (its whole process group) when the flag is set.
struct Player {
    std::atomic<bool> stop{false};
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
        auto player = std::make_shared<Player>();
        auto started = std::make_shared<std::promise<bool>>();
        std::future<bool> result = started->get_future();
        std::thread([player, started, program, file] {
            Processes::Command c;
            c.argv = {program, file};
            c.stop = &player->stop;
            c.onStart = [started](bool ok) { started->set_value(ok); };
            Processes::execute(c); // the player's output is read and dropped
        }).detach();
        if (!result.get()) {
            return false;
        }
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
            player->stop = true;
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
