// What the tracking knows of code and data addresses: module, routine and line of a return address
// (from the DWARF line tables through elfutils), the class of a vtable pointer, and a module table
// that the signal handler can read without taking any lock.
#pragma once

#include "diagnostics/LeakCheck.h"

#include <cstdint>
#include <string>

namespace qv::leakcheck::tracking {

// Loads the module table (names and address ranges of the loaded program and libraries). Called at
// activation; again before the report, for libraries loaded meanwhile.
void loadModules();

// True when `value` lies in a loaded module and names a C++ vtable; `className` gets the
// demangled class. Cached by value; safe inside operator new/delete (no allocation through them).
bool isVtablePointer(std::uintptr_t value);
std::string vtableClassName(std::uintptr_t value);

// What is known of a return address: module, routine, source file and line (libdw; slow, allocates,
// cached: report time only).
const AddressInfo &addressInfo(std::uintptr_t address);
// Its full address text.
std::string describeAddress(std::uintptr_t address);

// "Module <name> Routine <symbol> (no debug info) Find error: XXXXXXXX" from the module table and
// the modules' dynamic symbols alone (the routine is left out when no symbol holds the address, and
// its name is not demangled), written into `out` (async-signal-safe); returns the length.
std::size_t describeAddressSafe(std::uintptr_t address, char *out, std::size_t size);

} // namespace qv::leakcheck::tracking
