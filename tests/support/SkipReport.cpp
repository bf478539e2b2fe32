// Skipped tests at the end of a run: listed, reported to CTest, and in CI checked against a list.
#include "support/SkipReport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fnmatch.h>
#include <fstream>
#include <vector>

namespace qvtest {
namespace {

struct Skip
{
    std::string name;
    std::string reason;
};

std::string acceptedSkipsPath()
{
    if (const char *file = std::getenv("QV_CI_ACCEPTED_SKIPS")) {
        return file;
    }
    const char *src = std::getenv("QV_SOURCE_DIR");
    return std::string(src ? src : ".") + "/tests/ci-accepted-skips.txt";
}

std::string skipReason(const testing::TestResult &result)
{
    std::string reason;
    for (int i = 0; i < result.total_part_count(); ++i) {
        const auto &part = result.GetTestPartResult(i);
        if (part.skipped()) {
            reason += part.message();
        }
    }
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) {
        reason.pop_back();
    }
    return reason.empty() ? "(no reason given)" : reason;
}

std::vector<Skip> skippedTests()
{
    std::vector<Skip> out;
    const auto *unit = testing::UnitTest::GetInstance();
    for (int s = 0; s < unit->total_test_suite_count(); ++s) {
        const auto *suite = unit->GetTestSuite(s);
        for (int t = 0; t < suite->total_test_count(); ++t) {
            const auto *info = suite->GetTestInfo(t);
            if (info->should_run() && info->result()->Skipped()) {
                out.push_back({std::string(suite->name()) + "." + info->name(), skipReason(*info->result())});
            }
        }
    }
    return out;
}

} // namespace

bool runningInCi()
{
    const char *ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0' && std::strcmp(ci, "0") != 0 && std::strcmp(ci, "false") != 0;
}

bool skipAcceptedInCi(const std::string &testName, std::string *reason)
{
    // Each line: a test name (Suite.Test, '*' matches anything) and, after white space, the reason.
    std::ifstream in(acceptedSkipsPath());
    std::string line;
    while (std::getline(in, line)) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') {
            continue;
        }
        const auto end = line.find_first_of(" \t", start);
        const auto why = end == std::string::npos ? end : line.find_first_not_of(" \t", end);
        if (why == std::string::npos) {
            continue; // a line without a reason accepts nothing
        }
        const std::string pattern = line.substr(start, end - start);
        if (::fnmatch(pattern.c_str(), testName.c_str(), 0) == 0) {
            if (reason != nullptr) {
                *reason = line.substr(why);
            }
            return true;
        }
    }
    return false;
}

int finishRun(int gtestResult)
{
    const auto skips = skippedTests();
    if (skips.empty()) {
        return gtestResult;
    }
    const bool ci = runningInCi();
    bool refused = false;
    for (const auto &skip : skips) {
        std::string accepted;
        if (!ci) {
            std::printf("qv-test: SKIPPED %s: %s\n", skip.name.c_str(), skip.reason.c_str());
        } else if (skipAcceptedInCi(skip.name, &accepted)) {
            std::printf("qv-test: SKIPPED %s: %s (accepted in CI: %s)\n", skip.name.c_str(), skip.reason.c_str(),
                        accepted.c_str());
        } else {
            std::printf("qv-test: FAILED %s: skipped in CI, which must run it (%s); if no CI machine can, "
                        "list it with the reason in %s\n",
                        skip.name.c_str(), skip.reason.c_str(), acceptedSkipsPath().c_str());
            refused = true;
        }
    }
    std::fflush(stdout);
    if (gtestResult != 0 || refused) {
        return 1;
    }
    return kSkipExitCode;
}

} // namespace qvtest
