// The filter list against rsync: random wildcard lists, translated into rsync rules, must take the
// same files from a generated tree.
// qv-test-labels: interop
// qv-test-timeout: 300
//
// Our list gives the verdict of its first matching item, and a file that no item matches is not
// taken; rsync gives the verdict of its first matching rule. So the items become rules in list
// order, after "+ */" (folders are always walked) and before "- *" (nothing matched: not taken).
// Names and masks are lower case (rsync compares case-sensitively). Our masks test a name without
// a "." as if it ended in one; the mask families below are chosen so that this has an exact rsync
// form: "stem.*" also matches the bare "stem", "*.*" also matches every name.
#include "core/task/DirEntry.h"
#include "core/task/Filters.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <sstream>

namespace {

using namespace qv;
namespace fs = std::filesystem;

class Generator
{
public:
    explicit Generator(unsigned seed) : m_rng(seed) {}

    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
    bool chance(int percent) { return between(1, 100) <= percent; }

    std::string word(int minLen, int maxLen)
    {
        static const char kLetters[] = "abcxy01";
        std::string w;
        const int n = between(minLen, maxLen);
        for (int i = 0; i < n; ++i) {
            w += kLetters[between(0, 6)];
        }
        return w;
    }

    // A file name: bare, with one extension or with two.
    std::string fileName()
    {
        const int kind = between(0, 9);
        if (kind < 3) {
            return word(1, 3);
        }
        if (kind < 9) {
            return word(1, 3) + "." + word(1, 2);
        }
        return word(1, 2) + "." + word(1, 2) + "." + word(1, 2);
    }

    // A mask part where some letters become "?" or a set (never matching ".").
    std::string fuzzy(const std::string &w, bool allowQuestion)
    {
        std::string out;
        for (char c : w) {
            const int r = between(0, 9);
            if (r == 0 && allowQuestion) {
                out += '?';
            } else if (r == 1) {
                out += chance(30) ? "[!a-b]" : "[a-c]";
            } else {
                out += c;
            }
        }
        return out;
    }

    // One mask and its rsync patterns.
    std::pair<std::string, std::vector<std::string>> mask()
    {
        switch (between(0, 12)) {
        case 0: {
            const std::string m = "*." + fuzzy(word(1, 2), true);
            return {m, {m}};
        }
        case 1:
        case 2: {
            const std::string stem = fuzzy(word(1, 3), false);
            return {stem + ".*", {stem + ".*", stem}};
        }
        case 3: {
            const std::string m = fuzzy(word(1, 1), false) + "*." + fuzzy(word(1, 2), true);
            return {m, {m}};
        }
        case 4:
            return {"*.*", {"*.*", "*"}};
        case 5:
        case 6:
        case 7: {
            const std::string m = fuzzy(word(1, 2), false) + "*";
            return {m, {m}};
        }
        case 8:
            return {"*", {"*"}};
        default: {
            const std::string m = "*." + word(1, 2);
            return {m, {m}};
        }
        }
    }

private:
    std::mt19937 m_rng;
};

struct Scenario
{
    TTaskFiltersList list;
    std::string rules; // the rsync filter file
};

Scenario makeScenario(Generator &g)
{
    Scenario s;
    s.rules = "+ */\n";
    const int items = g.between(1, 6);
    for (int i = 0; i < items; ++i) {
        TTaskFilterItem item;
        item.FilterKind = fikFileName;
        item.fnKind = fnkWildcard;
        item.FilterType = g.chance(65) ? fitInclude : fitExclude;
        item.Enabled = !g.chance(10);
        const int masks = g.between(1, 2);
        std::vector<std::string> patterns;
        for (int m = 0; m < masks; ++m) {
            auto [mask, rsync] = g.mask();
            item.fnWildcard += (m > 0 ? ";" : "") + mask;
            patterns.insert(patterns.end(), rsync.begin(), rsync.end());
        }
        if (item.Enabled) {
            for (const auto &p : patterns) {
                s.rules += (item.FilterType == fitInclude ? "+ " : "- ") + p + "\n";
            }
        }
        s.list.Add(item);
    }
    s.rules += "- *\n";
    return s;
}

void makeTree(Generator &g, const std::string &root)
{
    std::vector<std::string> dirs = {root};
    for (int i = 0; i < 6; ++i) {
        const std::string parent =
            dirs[static_cast<std::size_t>(g.between(0, static_cast<int>(dirs.size()) - 1))];
        const std::string dir = parent + "/d" + g.word(1, 2);
        fs::create_directories(dir);
        dirs.push_back(dir);
    }
    for (int i = 0; i < 120; ++i) {
        const std::string &dir =
            dirs[static_cast<std::size_t>(g.between(0, static_cast<int>(dirs.size()) - 1))];
        qvtest::writeFile(dir + "/" + g.fileName(), "x");
    }
}

std::set<std::string> ourSelection(const CompiledFilterList &filters, const std::string &root)
{
    std::set<std::string> taken;
    for (const auto &e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) {
            continue;
        }
        const std::string folder = e.path().parent_path().string();
        DirEntry entry;
        EXPECT_EQ(readDirEntry(folder, e.path().filename().string(), entry), 0);
        if (filters.match(folder, entry)) {
            taken.insert(fs::relative(e.path(), root).string());
        }
    }
    return taken;
}

std::set<std::string> rsyncSelection(const std::string &rulesFile, const std::string &root,
                                     const std::string &dest)
{
    const auto r = qvtest::runCommand(
        {"rsync", "-an", "--out-format=%n", "--filter=merge " + rulesFile, root + "/", dest + "/"}, 60);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::set<std::string> taken;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() != '/') {
            taken.insert(line);
        }
    }
    return taken;
}

TEST(FiltersAgainstRsync, RandomWildcardListsTakeTheSameFiles)
{
    QV_REQUIRE_TOOL("rsync");
    int nonTrivial = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        Generator g(seed);
        const std::string base = qvtest::makeTempDir("rsync" + std::to_string(seed));
        const std::string root = base + "/src";
        fs::create_directories(root);
        makeTree(g, root);
        const Scenario s = makeScenario(g);
        const std::string rulesFile = base + "/rules";
        qvtest::writeFile(rulesFile, s.rules);

        const auto ours = ourSelection(CompiledFilterList(s.list), root);
        const auto theirs = rsyncSelection(rulesFile, root, base + "/dst");
        std::string masks;
        for (const auto &item : s.list.Items) {
            masks += std::string(item.Enabled ? "" : "(off) ") + (item.FilterType == fitInclude ? "+" : "-") +
                     item.fnWildcard + "  ";
        }
        EXPECT_EQ(ours, theirs) << "seed " << seed << ": " << masks << "\nrules:\n" << s.rules;
        std::size_t files = 0;
        for (const auto &e : fs::recursive_directory_iterator(root)) {
            files += e.is_regular_file() ? 1 : 0;
        }
        if (!ours.empty() && ours.size() < files) {
            ++nonTrivial;
        }
    }
    // The generator must produce lists that take some files and leave others.
    EXPECT_GT(nonTrivial, 30);
}

} // namespace
