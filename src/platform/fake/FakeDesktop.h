// A desktop for tests: records what would have been opened or launched, answers as told.
#pragma once

#include "platform/Desktop.h"

#include <string>
#include <vector>

namespace qv {

class FakeDesktop : public Desktop
{
public:
    FakeDesktop() { Desktop::setInstance(this); }
    ~FakeDesktop() override { Desktop::setInstance(nullptr); }

    bool open(const std::string &target) override
    {
        opened.push_back(target);
        return answer;
    }
    bool launch(const std::string &program, const std::vector<std::string> &arguments) override
    {
        launched.push_back({program, arguments});
        return answer;
    }

    struct Launch {
        std::string program;
        std::vector<std::string> arguments;
    };
    bool answer = true;
    std::vector<std::string> opened;
    std::vector<Launch> launched;
};

} // namespace qv
