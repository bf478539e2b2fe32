// qv-run's start code lies together: the functions its build listed as run from a start to a run
// with nothing to do (start-order/qv-run.order beside bin/) take one block of its code, about as
// long as they are, not spread over the whole program.
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

TEST(StartCodeOrder, TheListedFunctionsLieInOneBlock)
{
    QV_REQUIRE_TOOL("nm");
    const std::string list = qvtest::binPath("../start-order/qv-run.order");
    struct stat st = {};
    if (::stat(list.c_str(), &st) != 0) {
        GTEST_SKIP() << "this build links qv-run without the order of its start code (it needs valgrind and "
                        "lld, and no sanitizer)";
    }
    // Code symbols of qv-run: name -> (address, size) of each; local names may repeat (a clone of one
    // template function in several files), and the linker lays out every symbol the list names.
    const auto r = qvtest::runCommand({"nm", "-S", "--defined-only", qvtest::binPath("qv-run")}, 60);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::multimap<std::string, std::pair<std::uint64_t, std::uint64_t>> code;
    std::istringstream lines(r.output);
    std::string line;
    std::string name;
    while (std::getline(lines, line)) {
        std::istringstream fields(line); // address, size, type, name (symbols without a size have none)
        std::string address, size, type;
        if (!(fields >> address >> size >> type >> name)) {
            continue;
        }
        if (type == "t" || type == "T" || type == "W" || type == "w") {
            code.emplace(name, std::make_pair(std::stoull(address, nullptr, 16), std::stoull(size, nullptr, 16)));
        }
    }
    std::istringstream listed(qvtest::readFile(list));
    std::uint64_t first = UINT64_MAX;
    std::uint64_t end = 0;
    std::uint64_t total = 0;
    int names = 0;
    int found = 0;
    int copies = 0; // symbols of the listed names
    bool hasMain = false;
    while (std::getline(listed, name)) {
        ++names;
        const auto [from, to] = code.equal_range(name);
        if (from == to) {
            continue; // code without a symbol of its own in the table nm reads
        }
        ++found;
        hasMain = hasMain || name == "main";
        for (auto it = from; it != to; ++it) {
            first = std::min(first, it->second.first);
            end = std::max(end, it->second.first + it->second.second);
            total += it->second.second;
            ++copies;
        }
    }
    ASSERT_TRUE(hasMain) << "the list misses main";
    EXPECT_GE(found, names * 9 / 10) << "most listed names are not functions of qv-run";
    // Functions start at 16-byte boundaries: the block is their length plus that padding.
    EXPECT_LE(end - first, total + 16 * static_cast<std::uint64_t>(copies) + 4096)
        << copies << " functions of " << total << " bytes lie across " << (end - first) << " bytes";
}

} // namespace
