// ELastOSError: the exception raised when a system call fails, carrying errno and its text.
#pragma once

#include <stdexcept>
#include <string>

namespace qv {

class ELastOSError : public std::runtime_error
{
public:
    // Takes errno first (before anything can change it). The message is `prefix` and a blank line
    // (when prefix is not empty), the system's text for the error, then a blank line and `suffix`
    // (when suffix is not empty).
    explicit ELastOSError(const std::string &prefix = {}, const std::string &suffix = {});
    // The same for a given error code.
    ELastOSError(int code, const std::string &prefix, const std::string &suffix);
    // A given error code with a message the caller has finished.
    struct Message
    {
        std::string text;
    };
    ELastOSError(int code, Message message);

    int ErrorCode() const { return m_code; }

    static std::string buildMessage(int code, const std::string &prefix, const std::string &suffix);

private:
    int m_code;
};

// strerror_r's text for `code`, thread-safe.
std::string systemErrorText(int code);

} // namespace qv
