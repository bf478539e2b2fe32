// Sounds through a child process: the first player on PATH, stopped on request.
#include "platform/Sound.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>

using namespace qv;

namespace {

// Puts fake players into a folder at the front of PATH for the life of the object.
class FakePlayers
{
public:
    explicit FakePlayers(const std::vector<std::string> &names)
    {
        m_dir = qvtest::makeTempDir("players");
        m_oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        for (const auto &n : names) {
            std::string script = "#!/bin/sh\necho \"" + n + " $*\" > '" + m_dir + "/played'\necho $$ > '" +
                                 m_dir + "/pid'\nexec sleep 30\n";
            qvtest::writeFile(m_dir + "/" + n, script);
            ::chmod((m_dir + "/" + n).c_str(), 0755);
        }
        ::setenv("PATH", (m_dir + ":/usr/bin:/bin").c_str(), 1);
    }
    ~FakePlayers() { ::setenv("PATH", m_oldPath.c_str(), 1); }
    const std::string &dir() const { return m_dir; }
    std::string waitFor(const std::string &file) const
    {
        for (int i = 0; i < 400; ++i) {
            std::string s = qvtest::readFile(m_dir + "/" + file);
            if (!s.empty() && s.back() == '\n') {
                return s;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

private:
    std::string m_dir;
    std::string m_oldPath;
};

bool processGone(pid_t pid)
{
    for (int i = 0; i < 400; ++i) {
        if (::kill(pid, 0) != 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

TEST(SoundPlayer, PrefersPipeWireThenPulseThenAlsa)
{
    {
        FakePlayers p({"aplay", "paplay", "pw-play"});
        EXPECT_EQ(Sound::playerProgram(), p.dir() + "/pw-play");
    }
    {
        FakePlayers p({"aplay", "paplay"});
        EXPECT_EQ(Sound::playerProgram(), p.dir() + "/paplay");
    }
    {
        FakePlayers p({"aplay"});
        EXPECT_EQ(Sound::playerProgram(), p.dir() + "/aplay");
    }
}

TEST(SoundPlayer, PlaysAndStops)
{
    FakePlayers p({"paplay"});
    std::string wav = p.dir() + "/alert.wav";
    qvtest::writeFile(wav, "RIFF....WAVE");
    ASSERT_TRUE(Sound::instance().play(wav));
    EXPECT_EQ(p.waitFor("played"), "paplay " + wav + "\n");
    pid_t pid = static_cast<pid_t>(std::stol(p.waitFor("pid")));
    Sound::instance().stop();
    EXPECT_TRUE(processGone(pid));
    Sound::instance().stop(); // nothing playing: nothing happens
}

TEST(SoundPlayer, MissingFileOrPlayerPlaysNothing)
{
    FakePlayers p({"aplay"});
    EXPECT_FALSE(Sound::instance().play(p.dir() + "/missing.wav"));
    EXPECT_FALSE(Sound::instance().play(""));
    EXPECT_TRUE(qvtest::readFile(p.dir() + "/played").empty());
    qvtest::writeFile(p.dir() + "/x.wav", "x");
    // A player that cannot be started (its interpreter is missing) is reported, not taken as playing.
    qvtest::writeFile(p.dir() + "/aplay", "#!/nonexistent/interpreter\n");
    EXPECT_FALSE(Sound::instance().play(p.dir() + "/x.wav"));
    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_FALSE(Sound::instance().play(p.dir() + "/x.wav"));
}
