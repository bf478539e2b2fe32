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

    using Desktop::open;
    bool open(const std::string &target, std::function<void()> failed) override
    {
        opened.push_back(target);
        if (answer && failLater) {
            lateFailures.push_back(std::move(failed));
        }
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
    bool failLater = false; // with `answer`: the open starts, and its failure waits in lateFailures
    std::vector<std::function<void()>> lateFailures;
    std::vector<std::string> opened;
    std::vector<Launch> launched;
};

} // namespace qv
