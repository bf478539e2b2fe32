// LeakCheck: texts of the leak report, call stacks and freed-object traps; the inactive checker.
#include "diagnostics/LeakCheck.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <tuple>

namespace qv::leakcheck {

namespace {

constexpr const char *kCrLf = "\r\n";

std::atomic<bool> g_active{false};

std::string hex8(std::uintptr_t value)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08llX", static_cast<unsigned long long>(value));
    return buf;
}

std::string kindText(const LeakBlock &b)
{
    switch (b.kind) {
    case LeakKind::Instance:
        return "Instance of " + b.className;
    case LeakKind::ReallocMem:
        return "Reallocated memory (ReallocMem)";
    case LeakKind::GetMem:
        break;
    }
    return "User allocated memory (GetMem)";
}

// Leaks with the same kind, class, size and call stack form one group.
using GroupKey = std::tuple<int, std::string, std::size_t, CallStack>;

} // namespace

std::string formatAddressText(const AddressInfo &info)
{
    std::string text;
    if (!info.module.empty()) {
        text += "Module " + info.module + " ";
    }
    if (info.line > 0 && !info.sourceFile.empty()) {
        text += "Unit " + info.sourceFile + " ";
    }
    if (!info.routine.empty()) {
        text += "Routine " + info.routine + " ";
    }
    if (info.line > 0) {
        text += "Line " + std::to_string(info.line) + " ";
    } else {
        text += "(no debug info) ";
    }
    text += "Find error: " + hex8(info.offset);
    return text;
}

std::string formatCallStack(const CallStack &stack, const std::function<std::string(std::uintptr_t)> &describe)
{
    std::string text;
    for (int i = 0; i < kStackDepth && stack[i] != 0; ++i) {
        text += "call stack - " + std::to_string(i) + " : " + describe(stack[i]) + kCrLf;
    }
    return text;
}

std::string formatLeakReport(const LeakReportInput &in)
{
    std::uint64_t total = 0;
    for (const LeakBlock &b : in.blocks) {
        total += b.size;
    }
    std::string r;
    if (in.blocksOverflow) {
        r += "Total leak not accurate due to MaxLeak constant reached, but at least " + std::to_string(total) +
             " bytes";
    } else {
        r += "Total leak: " + std::to_string(total) + " bytes";
    }

    // Groups numbered in the order of their first allocation.
    std::map<GroupKey, int> numberOf;
    std::vector<const LeakBlock *> firstOf;
    std::vector<int> countOf;
    std::vector<int> groupOfBlock;
    for (const LeakBlock &b : in.blocks) {
        GroupKey key{static_cast<int>(b.kind), b.className, b.size, b.stack};
        auto [it, added] = numberOf.emplace(key, static_cast<int>(firstOf.size()) + 1);
        if (added) {
            firstOf.push_back(&b);
            countOf.push_back(0);
        }
        ++countOf[it->second - 1];
        groupOfBlock.push_back(it->second);
    }

    r += "\r\n*** MEMCHK: Blocks STILL allocated ***\r\n";
    for (std::size_t g = 0; g < firstOf.size(); ++g) {
        const LeakBlock &b = *firstOf[g];
        r += "Leak #" + std::to_string(g + 1) + " " + kindText(b) + " Size: " + std::to_string(b.size) + " " +
             std::to_string(countOf[g]) + (countOf[g] == 1 ? " Occurence" : " Occurences") + kCrLf;
        r += formatCallStack(b.stack, in.describe);
    }
    r += "*** MEMCHK: End of allocated blocks ***\r\n";

    r += "\r\n*** MEMCHK: Chronological leak information ***\r\n";
    for (std::size_t i = 0; i < in.blocks.size(); ++i) {
        const LeakBlock &b = in.blocks[i];
        r += "  Time stamp: \"" + b.timeText + "\" * " + kindText(b) + " (Leak #" + std::to_string(groupOfBlock[i]) +
             ") Size: " + std::to_string(b.size) + kCrLf;
    }
    r += "\r\n*** MEMCHK: End of chronological leak information ***\r\n";

    r += "\r\n*** MEMCHK: Blocks written to after destruction ***\r\n";
    if (in.damagedOverflow) {
        r += " Number of bad blocks not accurate  due to MaxLeak constant reached, but at least " +
             std::to_string(in.damaged.size()) + kCrLf;
    } else {
        r += " Bad blocks count: " + std::to_string(in.damaged.size()) + kCrLf;
    }
    for (const DamagedBlock &d : in.damaged) {
        r += " * Destroyed block damaged\r\n";
        r += "  Call stack at allocation time:\r\n" + formatCallStack(d.allocated, in.describe);
        r += "  Destroyed at:\r\n" + formatCallStack(d.released, in.describe);
    }
    r += "\r\n*** MEMCHK: End of blocks written to after destruction ***\r\n";
    return r;
}

std::string severeExceptionHeader(const std::string &dateTime)
{
    return "********* Severe exception detected - " + dateTime + " *********";
}

std::string badInstanceMessage(int slot, const std::string &className, const std::string &destroyedAt,
                               const std::string &createdAt)
{
    return "Call " + std::to_string(slot) + "\u00b0 virtual method on a FREED instance of " + className +
           " (destroyed at " + destroyedAt + " - had been created at " + createdAt + ")";
}

std::string logFilePath()
{
    std::string base;
    const char *state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') {
        base = state;
    } else {
        const char *home = std::getenv("HOME");
        base = std::string(home && home[0] ? home : "/tmp") + "/.local/state";
    }
    return base + "/quorvellant/LeakCheck.log";
}

std::string workFilePath(const std::string &logPath)
{
    return logPath + ".$$$";
}

bool LeakCheck::isActive()
{
    return g_active.load(std::memory_order_relaxed);
}

void LeakCheck::setActive(bool active)
{
    g_active.store(active, std::memory_order_relaxed);
}

} // namespace qv::leakcheck
