// The qv-zip tool's question for the next disk.
#include "zip/ZipDiskPrompt.h"

#include <cstdlib>
#include <istream>
#include <mutex>
#include <ostream>

namespace qv {
namespace {

std::mutex g_runnerLock;
ZipProgramRunner g_runner;

} // namespace

void zipSetProgramRunner(ZipProgramRunner runner)
{
    const std::lock_guard<std::mutex> lock(g_runnerLock);
    g_runner = std::move(runner);
}

bool zipAskForDisk(int disk, const std::string &text, const std::string &command, std::istream &in,
                   std::ostream &err)
{
    if (!command.empty()) {
        ZipProgramRunner runner;
        {
            const std::lock_guard<std::mutex> lock(g_runnerLock);
            runner = g_runner;
        }
        if (!runner) {
            err << "qv-zip: cannot run the disk command \"" << command << "\": no way to start programs here\n";
            return false;
        }
        // The command is a shell line; the prompt's text is its $1.
        return runner({"/bin/sh", "-c", command, "sh", text}, {"QV_DISK=" + std::to_string(disk)}) == 0;
    }
    err << text << " Press Enter when it is in, or q and Enter to stop: " << std::flush;
    std::string answer;
    if (!std::getline(in, answer)) {
        err << "\n";
        return false;
    }
    return answer != "q" && answer != "Q";
}

std::function<bool(const std::string &text)> zipDiskPromptHook(const std::string &command, std::istream &in,
                                                               std::ostream &err)
{
    return [command, &in, &err](const std::string &text) {
        const auto digit = text.find_first_of("0123456789");
        const int disk = digit == std::string::npos ? 0 : std::atoi(text.c_str() + digit);
        return zipAskForDisk(disk, text, command, in, err);
    };
}

} // namespace qv
