// A stand-in `systemctl` on PATH for tests of the system scheduler: it logs each call's arguments
// and answers as the test asks, through environment variables it reads when it runs.
#pragma once

#include "support/TestEnv.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace qvtest {

class SystemctlStub
{
public:
    SystemctlStub()
        : m_dir(makeTempDir("systemctl")), m_oldPath(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "")
    {
        // QV_STUB_STATE: what is-system-running prints (exit 0 only for "running");
        // QV_STUB_FAIL / QV_STUB_HANG: a first argument ("enable", "daemon-reload", ...) that fails
        // with a message on standard error, or never answers.
        writeFile(m_dir + "/systemctl", "#!/bin/sh\n"
                                        "printf '%s\\n' \"$*\" >> \"" +
                                            log() +
                                            "\"\n"
                                            "[ \"$1\" = --user ] && shift\n"
                                            "[ \"$1\" = \"$QV_STUB_HANG\" ] && exec sleep 600\n"
                                            "if [ \"$1\" = \"$QV_STUB_FAIL\" ]; then\n"
                                            "  echo \"Failed to $1: Access denied\" >&2; exit 1\n"
                                            "fi\n"
                                            "if [ \"$1\" = is-system-running ]; then\n"
                                            "  echo \"$QV_STUB_STATE\"; [ \"$QV_STUB_STATE\" = running ]; exit\n"
                                            "fi\n"
                                            "exit 0\n");
        ::chmod((m_dir + "/systemctl").c_str(), 0755);
        ::setenv("PATH", (m_dir + ":" + m_oldPath).c_str(), 1);
        ::setenv("QV_STUB_STATE", "running", 1);
        ::unsetenv("QV_STUB_FAIL");
        ::unsetenv("QV_STUB_HANG");
    }
    ~SystemctlStub()
    {
        ::setenv("PATH", m_oldPath.c_str(), 1);
        ::unsetenv("QV_STUB_FAIL");
        ::unsetenv("QV_STUB_HANG");
    }
    SystemctlStub(const SystemctlStub &) = delete;
    SystemctlStub &operator=(const SystemctlStub &) = delete;

    std::string log() const { return m_dir + "/calls"; }

    // The calls so far, one "--user ..." line each; clears the record.
    std::vector<std::string> takeCalls()
    {
        std::vector<std::string> calls;
        const std::string text = readFile(log());
        std::string::size_type pos = 0;
        while (pos < text.size()) {
            const auto end = text.find('\n', pos);
            calls.push_back(text.substr(pos, end - pos));
            pos = end == std::string::npos ? text.size() : end + 1;
        }
        writeFile(log(), "");
        return calls;
    }

private:
    std::string m_dir;
    std::string m_oldPath;
};

} // namespace qvtest
