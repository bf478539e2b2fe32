// The qv-zip tool's question for the next disk.
#include "zip/ZipDiskPrompt.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <istream>
#include <ostream>

namespace qv {

bool zipAskForDisk(int disk, const std::string &text, const std::string &command, std::istream &in,
                   std::ostream &err)
{
    if (!command.empty()) {
        const pid_t pid = ::fork();
        if (pid < 0) {
            return false;
        }
        if (pid == 0) {
            ::setenv("QV_DISK", std::to_string(disk).c_str(), 1);
            ::execl("/bin/sh", "sh", "-c", command.c_str(), "sh", text.c_str(), static_cast<char *>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0) {
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
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
