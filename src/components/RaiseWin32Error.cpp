// Raising a system error code as ELastOSError.
#include "components/RaiseWin32Error.h"

#include "platform/LastOSError.h"

#include <string>

namespace qv {

void RaiseWin32Error(int code)
{
    if (code == 0) {
        return;
    }
    std::string text = "System Error.  Code: " + std::to_string(code) + ".\n" + systemErrorText(code);
    throw ELastOSError(code, ELastOSError::Message{std::move(text)});
}

} // namespace qv
