// LeakCheck: the leak report, call-stack and freed-object texts of the memory-leak checker.
//
// This unit is linked into every build and stays inactive: nothing in the program switches it on. A
// program becomes tracked only when it also links the allocation tracking (the `qv_leaktracking`
// object library, see the `leakcheck` preset), which activates itself before `main` and uses the
// formatting below to write its report at program end. Everything here is plain text work over the
// records the tracking collects, so it is tested without any tracking running.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv::leakcheck {

inline constexpr const char *kVersion = "LeakCheck version 2.58";

// Return addresses kept per allocation and per release.
inline constexpr int kStackDepth = 27;
// Live blocks the tracking can hold. Each costs about 256 bytes of address space that is committed
// only when used, so a million blocks (more than the program holds at its busiest: about 50,000 with
// the window open, a few hundred thousand for a run over a large tree) cost at most 256 MiB; past it
// the report says it is not accurate rather than the program running out of memory.
inline constexpr std::size_t kMaxLeak = 1u << 20;

using CallStack = std::array<std::uintptr_t, kStackDepth>; // unused slots are 0

// An object of a class with virtual methods; a block from operator new, malloc or calloc; a block
// last resized by realloc.
enum class LeakKind { Instance, GetMem, ReallocMem };

// One block still allocated at the end, in allocation order.
struct LeakBlock {
    std::size_t size = 0;
    std::uint64_t sequence = 0;
    std::string timeText;  // when it was allocated, "HH:MM:SS.mmm"
    LeakKind kind = LeakKind::GetMem;
    std::string className; // for instances
    CallStack stack{};
};

// A released block whose fill pattern was overwritten before it was finally freed.
struct DamagedBlock {
    CallStack allocated{};
    CallStack released{};
};

struct LeakReportInput {
    std::vector<LeakBlock> blocks;    // allocation order
    bool blocksOverflow = false;      // kMaxLeak was reached: the total is a lower bound
    std::vector<DamagedBlock> damaged;
    bool damagedOverflow = false;
    // The text of one code address ("Module ... Find error: XXXXXXXX"); see formatAddressText.
    std::function<std::string(std::uintptr_t)> describe;
};

// What is known of one code address.
struct AddressInfo {
    std::string module;    // file name of the executable or library, empty when unknown
    std::string sourceFile; // empty without debug information
    std::string routine;   // demangled, empty when unknown
    int line = 0;          // 0 without debug information
    std::uintptr_t offset = 0; // from the module's load address
};

// "Module <m> Unit <file> Routine <r> Line <n> Find error: 0000ABCD", with "(no debug info)" in
// place of the unit and line where the module carries no line table.
std::string formatAddressText(const AddressInfo &info);

// One line per address, "call stack - <i> : <address text>" ended by CR LF, up to the first 0.
std::string formatCallStack(const CallStack &stack, const std::function<std::string(std::uintptr_t)> &describe);

// The whole report with CR LF line ends: total, blocks still allocated (grouped by kind, class, size
// and call stack, numbered in order of first allocation), the chronological section and the blocks
// written to after destruction.
std::string formatLeakReport(const LeakReportInput &input);

// The opening line of a severe-exception block, the line of 65 asterisks that closes it.
std::string severeExceptionHeader(const std::string &dateTime);
inline constexpr const char *kSevereExceptionFooter =
    "*****************************************************************";

// "Call <n>° virtual method on a FREED instance of <class> (destroyed at <a> - had been created at <b>)"
std::string badInstanceMessage(int slot, const std::string &className, const std::string &destroyedAt,
                               const std::string &createdAt);

inline constexpr const char *kNoMemoryText =
    "Memcheck is not able to allocate memory, due to system resource lack";

class EMemoryLeak : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A virtual call reached an object that had been deleted.
class EBadInstance : public EMemoryLeak
{
public:
    using EMemoryLeak::EMemoryLeak;
};

// Where the report goes: $XDG_STATE_HOME/quorvellant/LeakCheck.log (~/.local/state when unset);
// the report is first written to the work file (the log name + ".$$$") and renamed over it.
std::string logFilePath();
std::string workFilePath(const std::string &logPath);

// The checker as the program sees it: never active unless the tracking library is linked in.
class LeakCheck
{
public:
    static bool isActive();
    static void setActive(bool active); // called by the tracking library only
};

} // namespace qv::leakcheck
