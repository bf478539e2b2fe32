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
    // The system's text for the code alone, when the message was built by RaiseWin32Error.
    const std::string &Text() const { return m_text; }

    static std::string buildMessage(int code, const std::string &prefix, const std::string &suffix);

private:
    friend void RaiseWin32Error(int code, const std::string &text);
    int m_code;
    std::string m_text;
};

// Nothing for 0; otherwise throws ELastOSError with ErrorCode() = code and the message
// "System Error.  Code: <code>." followed by a line break and `text` (the system's text for the
// code when empty). The one place that message is made: the component library raises it, and the
// folder monitor when a watch cannot start.
void RaiseWin32Error(int code, const std::string &text = {});

// strerror_r's text for `code`, thread-safe.
std::string systemErrorText(int code);

} // namespace qv
