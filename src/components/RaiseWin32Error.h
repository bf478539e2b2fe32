// Raising a system error code as ELastOSError, for callers that hold an errno value.
#pragma once

namespace qv {

// Nothing for 0; otherwise throws ELastOSError with ErrorCode() = code and the message
// "System Error.  Code: <code>." followed by a line break and the system's text for the code.
void RaiseWin32Error(int code);

} // namespace qv
