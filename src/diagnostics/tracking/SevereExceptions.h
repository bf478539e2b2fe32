// The severe-exception report of a tracked program: an uncaught exception or a fatal signal writes
// a block with the cause, the address and the call stack to the leak log, and the process then ends
// as it would have. SIGTERM, SIGINT and SIGHUP are the session layer's and are never touched.
#pragma once

#include <string>

namespace qv::leakcheck::tracking {

void installSevereExceptionHandlers(const std::string &logPath);

} // namespace qv::leakcheck::tracking
