// ELastOSError and the system's error texts.
#include "platform/LastOSError.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace qv {
namespace {

// strerror_r comes in two flavours; these overloads pick up whichever the C library declares.
[[maybe_unused]] const char *pickText(int result, const char *buf)
{
    return result == 0 ? buf : "Unknown error";
}
[[maybe_unused]] const char *pickText(const char *result, const char *)
{
    return result;
}

} // namespace

std::string systemErrorText(int code)
{
    char buf[256] = {};
    return pickText(::strerror_r(code, buf, sizeof buf), buf);
}

std::string ELastOSError::buildMessage(int code, const std::string &prefix, const std::string &suffix)
{
    std::string msg;
    if (!prefix.empty()) {
        msg = prefix + "\n\n";
    }
    msg += systemErrorText(code);
    if (!suffix.empty()) {
        msg += "\n\n" + suffix;
    }
    return msg;
}

namespace {
int takeErrno()
{
    return errno;
}
} // namespace

ELastOSError::ELastOSError(const std::string &prefix, const std::string &suffix)
    : ELastOSError(takeErrno(), prefix, suffix)
{
}

ELastOSError::ELastOSError(int code, const std::string &prefix, const std::string &suffix)
    : std::runtime_error(buildMessage(code, prefix, suffix)), m_code(code)
{
}

ELastOSError::ELastOSError(int code, Message message)
    : std::runtime_error(std::move(message.text)), m_code(code)
{
}

void RaiseWin32Error(int code, const std::string &text)
{
    if (code == 0) {
        return;
    }
    ELastOSError e(code, ELastOSError::Message{"System Error.  Code: " + std::to_string(code) + ".\n" +
                                                (text.empty() ? systemErrorText(code) : text)});
    e.m_text = text.empty() ? systemErrorText(code) : text;
    throw e;
}

} // namespace qv
