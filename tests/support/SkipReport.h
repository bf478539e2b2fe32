// The end of a test run: skips are reported as skips to CTest, and in CI only listed skips pass.
#pragma once

#include <string>

namespace qvtest {

// The exit code of a run in which every test passed or was skipped and at least one was skipped
// (the tests' SKIP_RETURN_CODE in CTest).
constexpr int kSkipExitCode = 77;

// True when the CI variable is set to anything but "", "0" or "false".
bool runningInCi();

// True when `testName` ("Suite.Test") matches a line of the accepted-skips file (CI only).
bool skipAcceptedInCi(const std::string &testName, std::string *reason = nullptr);

// Prints every skipped test with its reason and turns the result of RUN_ALL_TESTS into the exit
// code: failures stay failures; skips give kSkipExitCode, or 1 in CI when a skip is not listed.
int finishRun(int gtestResult);

} // namespace qvtest
