// The safe formatter: fills "%s", "%d" ... patterns that may come from a language file.
//
// Patterns follow the program's format language: "%" [index ":"] ["-"] [width] ["." precision]
// type, with the types s (text), d (integer), u (unsigned), x (hexadecimal, upper case),
// e, f, g, n (numbers; f and n default to 2 decimals, n groups thousands) and "%%" for a percent
// sign. A translated pattern is checked against the actual arguments before anything is filled:
// a placeholder of the wrong type, one with no argument, or a malformed one rejects the pattern,
// and the caller's English pattern is used instead. No printf-family call ever sees a pattern that
// came from a file.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class FormatArg
{
public:
    enum class Kind { Text, Integer, Unsigned, Float };

    FormatArg(std::string_view text) : m_kind(Kind::Text), m_text(text) {}
    FormatArg(const std::string &text) : m_kind(Kind::Text), m_text(text) {}
    FormatArg(const char *text) : m_kind(Kind::Text), m_text(text ? text : "") {}
    FormatArg(int v) : m_kind(Kind::Integer), m_int(v) {}
    FormatArg(long v) : m_kind(Kind::Integer), m_int(v) {}
    FormatArg(long long v) : m_kind(Kind::Integer), m_int(v) {}
    FormatArg(unsigned v) : m_kind(Kind::Unsigned), m_uint(v) {}
    FormatArg(unsigned long v) : m_kind(Kind::Unsigned), m_uint(v) {}
    FormatArg(unsigned long long v) : m_kind(Kind::Unsigned), m_uint(v) {}
    FormatArg(double v) : m_kind(Kind::Float), m_float(v) {}

    Kind kind() const { return m_kind; }
    const std::string &text() const { return m_text; }
    std::int64_t integer() const { return m_int; }
    std::uint64_t unsignedValue() const { return m_uint; }
    double floating() const { return m_float; }

private:
    Kind m_kind;
    std::string m_text;
    std::int64_t m_int = 0;
    std::uint64_t m_uint = 0;
    double m_float = 0;
};

// The filled pattern, or nothing when the pattern does not fit the arguments. Arguments that no
// placeholder uses are allowed (a translation may leave one out).
std::optional<std::string> tryFormatText(std::string_view pattern, std::span<const FormatArg> args);

// Fills `pattern`; when it does not fit, fills `fallback` instead; when neither fits, returns
// `fallback` with the placeholders it can fill filled and the others left as written.
std::string formatText(std::string_view pattern, std::string_view fallback, std::span<const FormatArg> args);
std::string formatText(std::string_view pattern, std::string_view fallback, std::initializer_list<FormatArg> args);
// The same with the pattern as its own fallback.
std::string formatText(std::string_view pattern, std::initializer_list<FormatArg> args);

} // namespace qv
