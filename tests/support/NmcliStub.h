// A stand-in `nmcli` on PATH for tests of dial-up: NetworkManager profiles and active connections
// kept in two files, every call's arguments logged, exit codes and hangs scripted through
// environment variables it reads when it runs.
#pragma once

#include "support/TestEnv.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace qvtest {

class NmcliStub
{
public:
    // The script understands exactly the calls the dialer makes; anything else exits 2 (usage).
    // QV_NMCLI_EXIT: every call prints an error and exits with it (8: NetworkManager not running);
    // QV_NMCLI_UP_EXIT: "up" of a known profile fails with it; QV_NMCLI_HANG: "show", "up" or
    // "down" never answers.
    NmcliStub() : m_dir(makeTempDir("nmcli")), m_oldPath(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "")
    {
        const std::string d = m_dir;
        writeFile(d + "/nmcli",
                  "#!/bin/sh\n"
                  "d='" + d + "'\n"
                  "line=; for a in \"$@\"; do line=\"$line[$a]\"; done\n"
                  "printf '%s\\n' \"$line\" >> \"$d/calls\"\n"
                  "if [ -n \"$QV_NMCLI_EXIT\" ]; then echo 'Error: NetworkManager is not running.' >&2; "
                  "exit \"$QV_NMCLI_EXIT\"; fi\n"
                  "if [ \"$1 $2 $3 $4 $5 $6 $7\" = '-t --escape no -f NAME connection show' ]; then\n"
                  "  [ \"$QV_NMCLI_HANG\" = show ] && exec sleep 600\n"
                  "  [ $# -eq 7 ] && { cat \"$d/profiles\"; exit 0; }\n"
                  "  [ $# -eq 8 ] && [ \"$8\" = --active ] && { cat \"$d/active\"; exit 0; }\n"
                  "  exit 2\n"
                  "fi\n"
                  "if [ \"$1 $2\" = '--wait 90' ]; then shift 2; fi\n"
                  "[ $# -eq 4 ] && [ \"$1\" = connection ] && [ \"$3\" = id ] || exit 2\n"
                  "name=$4\n"
                  "[ \"$QV_NMCLI_HANG\" = \"$2\" ] && exec sleep 600\n"
                  "case $2 in\n"
                  "up)\n"
                  "  grep -qxF -e \"$name\" \"$d/profiles\" || { echo \"Error: unknown connection '$name'.\" >&2; exit 10; }\n"
                  "  if [ -n \"$QV_NMCLI_UP_EXIT\" ]; then echo 'Error: Connection activation failed.' >&2; "
                  "exit \"$QV_NMCLI_UP_EXIT\"; fi\n"
                  "  grep -qxF -e \"$name\" \"$d/active\" || printf '%s\\n' \"$name\" >> \"$d/active\"\n"
                  "  exit 0;;\n"
                  "down)\n"
                  "  grep -qxF -e \"$name\" \"$d/active\" || { echo \"Error: '$name' is not active.\" >&2; exit 10; }\n"
                  "  grep -vxF -e \"$name\" \"$d/active\" > \"$d/active.$$\"; mv \"$d/active.$$\" \"$d/active\"\n"
                  "  exit 0;;\n"
                  "esac\n"
                  "exit 2\n");
        ::chmod((d + "/nmcli").c_str(), 0755);
        writeFile(d + "/profiles", "");
        writeFile(d + "/active", "");
        writeFile(d + "/calls", "");
        ::setenv("PATH", (d + ":" + m_oldPath).c_str(), 1);
        clearScript();
    }
    ~NmcliStub()
    {
        ::setenv("PATH", m_oldPath.c_str(), 1);
        clearScript();
    }
    NmcliStub(const NmcliStub &) = delete;
    NmcliStub &operator=(const NmcliStub &) = delete;

    static void clearScript()
    {
        ::unsetenv("QV_NMCLI_EXIT");
        ::unsetenv("QV_NMCLI_UP_EXIT");
        ::unsetenv("QV_NMCLI_HANG");
    }

    const std::string &dir() const { return m_dir; }
    void setProfiles(const std::vector<std::string> &names) { writeFile(m_dir + "/profiles", lines(names)); }
    void setActive(const std::vector<std::string> &names) { writeFile(m_dir + "/active", lines(names)); }
    std::vector<std::string> active() const { return split(readFile(m_dir + "/active")); }

    // The calls so far, each argument in brackets ("[connection][down][id][VPN1]"); clears the record.
    std::vector<std::string> takeCalls()
    {
        std::vector<std::string> calls = split(readFile(m_dir + "/calls"));
        writeFile(m_dir + "/calls", "");
        return calls;
    }

private:
    static std::string lines(const std::vector<std::string> &names)
    {
        std::string text;
        for (const std::string &n : names) {
            text += n + "\n";
        }
        return text;
    }
    static std::vector<std::string> split(const std::string &text)
    {
        std::vector<std::string> out;
        std::string::size_type pos = 0;
        while (pos < text.size()) {
            std::string::size_type end = text.find('\n', pos);
            if (end == std::string::npos) {
                end = text.size();
            }
            out.push_back(text.substr(pos, end - pos));
            pos = end + 1;
        }
        return out;
    }

    std::string m_dir;
    std::string m_oldPath;
};

} // namespace qvtest
