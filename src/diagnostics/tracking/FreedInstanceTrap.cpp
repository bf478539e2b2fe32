// The trap table of deleted objects: 200 slots, each raising EBadInstance with its number.
//
// An object's vtable pointer points at its first virtual slot, two words after the table's start
// (offset to top, type information). A virtual call through a deleted object whose vtable pointer
// was replaced by ours lands in trapSlot<N>, with the object as its first argument.
#include "diagnostics/tracking/FreedInstanceTrap.h"

#include "diagnostics/LeakCheck.h"
#include "diagnostics/tracking/Symbols.h"
#include "diagnostics/tracking/TrackingTables.h"

#include <utility>

namespace qv::leakcheck::tracking {

namespace {

constexpr int kSlots = 200;

std::string stackText(const CallStack &stack)
{
    return formatCallStack(stack, describeAddress);
}

[[noreturn]] void raiseBadInstance(int slot, void *self)
{
    Quarantined q;
    std::string className = "an unknown class";
    std::string destroyedAt = "(unknown)";
    std::string createdAt = "(unknown)";
    std::string stacks;
    if (findQuarantined(self, q)) {
        if (q.vptr != 0) {
            className = vtableClassName(q.vptr);
        }
        if (q.released[0] != 0) {
            destroyedAt = describeAddress(q.released[0]);
        }
        if (q.allocated[0] != 0) {
            createdAt = describeAddress(q.allocated[0]);
        }
        stacks = "\r\nCall stack at allocation time:\r\n" + stackText(q.allocated) + "Destroyed at:\r\n" +
                 stackText(q.released);
    }
    throw EBadInstance(badInstanceMessage(slot, className, destroyedAt, createdAt) + stacks);
}

template <int N>
void trapSlot(void *self)
{
    raiseBadInstance(N, self);
}

struct TrapTable {
    std::intptr_t offsetToTop;
    const void *typeInfo;
    void (*slots[kSlots])(void *);
};

template <int... I>
constexpr TrapTable makeTable(std::integer_sequence<int, I...>)
{
    return TrapTable{0, nullptr, {&trapSlot<I>...}};
}

const TrapTable g_table = makeTable(std::make_integer_sequence<int, kSlots>{});

} // namespace

std::uintptr_t trapVtablePointer()
{
    return reinterpret_cast<std::uintptr_t>(&g_table.slots[0]);
}

} // namespace qv::leakcheck::tracking
