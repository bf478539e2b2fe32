// Playing a sound file without blocking: a child process of the desktop's sound player.
//
// The player is the first of pw-play (PipeWire), paplay (PulseAudio) and aplay (ALSA) found on
// PATH. Starting a sound stops the one playing; stop ends the player. A missing file or a missing
// player plays nothing: no default sound is substituted.
#pragma once

#include <string>

namespace qv {

class Sound
{
public:
    virtual ~Sound() = default;

    // Starts playing `file`; false when nothing could be started.
    virtual bool play(const std::string &file) = 0;
    // Stops the sound being played (nothing when none plays).
    virtual void stop() = 0;

    // The full path of the player program, empty when none is installed.
    static std::string playerProgram();

    static Sound &instance();
    // Installs `s` (not owned); nullptr restores the real backend.
    static void setInstance(Sound *s);
};

} // namespace qv
