// A sound backend for tests: records what would have been played and stopped.
#pragma once

#include "platform/Sound.h"

#include <string>
#include <vector>

namespace qv {

class FakeSound : public Sound
{
public:
    FakeSound() { Sound::setInstance(this); }
    ~FakeSound() override { Sound::setInstance(nullptr); }

    bool play(const std::string &file) override
    {
        played.push_back(file);
        playing = true;
        return true;
    }
    void stop() override
    {
        ++stops;
        playing = false;
    }

    std::vector<std::string> played;
    int stops = 0;
    bool playing = false;
};

} // namespace qv
