// The severe-exception report of a tracked program: an uncaught exception or a fatal signal writes
// a block with the cause, the address and the call stack to the leak log, and the process then ends
// as it would have. SIGTERM, SIGINT and SIGHUP are the session layer's and are never touched.
#pragma once

#include "diagnostics/tracking/TrackingTables.h"

#include <string>

namespace qv::leakcheck::tracking {

void installSevereExceptionHandlers(const std::string &logPath);

// A fault of the heap found by the hooks ("Heap corrupted (<what>)"): a block with the call stack
// of the faulty call and those of the block's allocation and release, written like the others;
// the program goes on. A fault the C library finds ends the program in a signal, whose block then
// says "Heap corrupted" too.
// The blocks this run has added to the log so far, which the leak report written at the end keeps
// in front of it.
std::string blocksOfThisRun();

void reportHeapCorrupted(const char *what, const CallStack &now, const Quarantined &block);

} // namespace qv::leakcheck::tracking
