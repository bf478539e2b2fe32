// What the kernel says about the calling thread's priority: /proc for the policy and the nice
// value, ioprio_get for the I/O class and level.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace qvtest {

struct ThreadState {
    long tid = 0;
    int policy = -1;
    int nice = 99;
    int ioClass = -1;
    int ioLevel = -1;
};

inline ThreadState callingThreadState()
{
    ThreadState s;
    s.tid = ::syscall(SYS_gettid);
    std::ifstream in("/proc/self/task/" + std::to_string(s.tid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Fields after the command's name, counted from 3 as proc(5) does: nice is 19, policy 41.
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string word;
    for (int field = 3; field <= 41 && rest >> word; ++field) {
        if (field == 19) {
            s.nice = std::stoi(word);
        } else if (field == 41) {
            s.policy = std::stoi(word);
        }
    }
    const long io = ::syscall(SYS_ioprio_get, 1, s.tid);
    s.ioClass = static_cast<int>(io >> 13);
    s.ioLevel = static_cast<int>(io & 0x1fff);
    return s;
}

} // namespace qvtest
