// Helpers shared by the archive tests: archives crafted with python's zipfile or record by record.
#pragma once

#include "support/TestEnv.h"
#include "zip/TZipReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ziptest {

// Runs a python3 script (zipfile, zlib) in `dir`; fails the test when it does not succeed.
inline void python(const std::string &dir, const std::string &script)
{
    qvtest::writeFile(dir + "/make.py", "import zipfile, zlib, os, sys\n" + script);
    const auto r = qvtest::runCommand({"python3", dir + "/make.py"}, 120, dir);
    ASSERT_EQ(r.exitCode, 0) << r.output;
}

// Files below `dir` whose names carry the temporary marker of an unfinished extraction.
inline std::vector<std::string> leftovers(const std::string &dir)
{
    const auto r = qvtest::runShell("find '" + dir + "' -name '*.qvtmp-*'");
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < r.output.size()) {
        const auto nl = r.output.find('\n', pos);
        if (nl > pos) {
            out.push_back(r.output.substr(pos, nl - pos));
        }
        if (nl == std::string::npos) {
            break;
        }
        pos = nl + 1;
    }
    return out;
}

// Records every event of interest of a reader.
struct EventLog
{
    std::vector<std::pair<qv::TSkipReason, std::string>> skipped;
    std::vector<int> badCrc;
    std::vector<std::string> errors;
    std::vector<std::string> ended;
    void attach(qv::TZipReader &z)
    {
        z.OnSkippingFile = [this](qv::TSkipReason r, const std::string &n, int, bool &) {
            skipped.emplace_back(r, n);
        };
        z.OnBadCRC = [this](std::uint32_t, std::uint32_t, int i) { badCrc.push_back(i); };
        z.OnError = [this](int, const std::string &t) { errors.push_back(t); };
        z.OnEndUnZip = [this](int, const std::string &n) { ended.push_back(n); };
    }
};

} // namespace ziptest
