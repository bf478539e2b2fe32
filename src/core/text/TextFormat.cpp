// The safe formatter: parses each placeholder itself and checks it against the arguments.
#include "core/text/TextFormat.h"

#include <cstdio>

namespace qv {

namespace {

constexpr int kMaxWidth = 1024; // a pattern asking for more is refused rather than obeyed

struct Spec {
    int index = -1; // explicit argument index, or -1
    bool left = false;
    int width = -1;
    int precision = -1;
    char type = 0; // lower case
};

// Parses the placeholder starting after "%" at `pos`; false when it is malformed.
bool parseSpec(std::string_view p, std::size_t &pos, Spec &spec)
{
    auto number = [&](int &out) {
        std::size_t start = pos;
        long long v = 0;
        while (pos < p.size() && p[pos] >= '0' && p[pos] <= '9') {
            v = v * 10 + (p[pos] - '0');
            if (v > kMaxWidth) {
                return false;
            }
            ++pos;
        }
        out = pos > start ? static_cast<int>(v) : -1;
        return true;
    };
    int first = -1;
    if (!number(first)) {
        return false;
    }
    if (pos < p.size() && p[pos] == ':') {
        if (first < 0) {
            return false;
        }
        spec.index = first;
        ++pos;
        first = -1;
    }
    if (first < 0) {
        if (pos < p.size() && p[pos] == '-') {
            spec.left = true;
            ++pos;
        }
        if (!number(spec.width)) {
            return false;
        }
    } else {
        spec.width = first;
    }
    if (pos < p.size() && p[pos] == '.') {
        ++pos;
        if (!number(spec.precision) || spec.precision < 0) {
            return false;
        }
    }
    if (pos >= p.size()) {
        return false;
    }
    char t = p[pos++];
    if (t >= 'A' && t <= 'Z') {
        t = static_cast<char>(t - 'A' + 'a');
    }
    switch (t) {
    case 's': case 'd': case 'u': case 'x': case 'e': case 'f': case 'g': case 'n': case 'm':
        spec.type = t;
        return true;
    default:
        return false;
    }
}

bool fits(const Spec &spec, const FormatArg &arg)
{
    using K = FormatArg::Kind;
    switch (spec.type) {
    case 's':
        return arg.kind() == K::Text;
    case 'd': case 'u': case 'x':
        return arg.kind() == K::Integer || arg.kind() == K::Unsigned;
    default:
        return arg.kind() != K::Text;
    }
}

// Cuts UTF-8 text to at most `chars` characters.
std::string truncateChars(const std::string &s, int chars)
{
    std::size_t i = 0;
    int n = 0;
    while (i < s.size() && n < chars) {
        ++i;
        while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) {
            ++i;
        }
        ++n;
    }
    return s.substr(0, i);
}

std::string groupThousands(const std::string &fixed)
{
    std::size_t start = fixed.size() > 0 && fixed[0] == '-' ? 1 : 0;
    std::size_t dot = fixed.find('.');
    std::size_t end = dot == std::string::npos ? fixed.size() : dot;
    std::string out = fixed.substr(0, start);
    for (std::size_t i = start; i < end; ++i) {
        out += fixed[i];
        std::size_t left = end - i - 1;
        if (left > 0 && left % 3 == 0) {
            out += ',';
        }
    }
    return out + fixed.substr(end);
}

double asDouble(const FormatArg &a)
{
    switch (a.kind()) {
    case FormatArg::Kind::Integer:
        return static_cast<double>(a.integer());
    case FormatArg::Kind::Unsigned:
        return static_cast<double>(a.unsignedValue());
    default:
        return a.floating();
    }
}

// Precision is the least number of digits, padded with zeros.
void padDigits(std::string &digits, int precision)
{
    if (precision > static_cast<int>(digits.size())) {
        digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
    }
}

std::string renderDecimal(const Spec &spec, const FormatArg &arg)
{
    bool neg = arg.kind() == FormatArg::Kind::Integer && arg.integer() < 0;
    std::uint64_t mag = arg.kind() == FormatArg::Kind::Unsigned ? arg.unsignedValue()
                        : neg ? 0 - static_cast<std::uint64_t>(arg.integer())
                              : static_cast<std::uint64_t>(arg.integer());
    std::string digits = std::to_string(mag);
    padDigits(digits, spec.precision);
    return neg ? "-" + digits : digits;
}

std::string renderHex(const Spec &spec, const FormatArg &arg)
{
    std::uint64_t v = arg.kind() == FormatArg::Kind::Unsigned ? arg.unsignedValue()
                                                               : static_cast<std::uint64_t>(arg.integer());
    if (arg.kind() == FormatArg::Kind::Integer && arg.integer() < 0 && arg.integer() >= INT32_MIN) {
        v &= 0xFFFFFFFFu; // a negative 32-bit number shows as its 8 hexadecimal digits
    }
    static const char hex[] = "0123456789ABCDEF";
    std::string body;
    do {
        body.insert(body.begin(), hex[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    padDigits(body, spec.precision);
    return body;
}

std::string render(const Spec &spec, const FormatArg &arg)
{
    std::string body;
    char buf[512];
    switch (spec.type) {
    case 's':
        body = spec.precision >= 0 ? truncateChars(arg.text(), spec.precision) : arg.text();
        break;
    case 'd': case 'u':
        body = renderDecimal(spec, arg);
        break;
    case 'x':
        body = renderHex(spec, arg);
        break;
    case 'e':
        std::snprintf(buf, sizeof buf, "%.*E", spec.precision >= 0 ? std::min(spec.precision, 40) - 1 : 14,
                      asDouble(arg));
        body = buf;
        break;
    case 'g':
        std::snprintf(buf, sizeof buf, "%.*G", spec.precision >= 0 ? std::min(spec.precision, 40) : 15, asDouble(arg));
        body = buf;
        break;
    default: // f, n, m
        std::snprintf(buf, sizeof buf, "%.*f", spec.precision >= 0 ? std::min(spec.precision, 40) : 2, asDouble(arg));
        body = spec.type == 'f' ? std::string(buf) : groupThousands(buf);
        break;
    }
    if (spec.width > 0) {
        // Width counts characters, not bytes.
        int chars = 0;
        for (unsigned char c : body) {
            chars += (c & 0xC0) != 0x80 ? 1 : 0;
        }
        if (spec.width > chars) {
            std::string pad(static_cast<std::size_t>(spec.width - chars), ' ');
            body = spec.left ? body + pad : pad + body;
        }
    }
    return body;
}

// Fills the pattern; in strict mode any misfit fails, otherwise a placeholder that cannot be filled
// is copied as written.
std::optional<std::string> fill(std::string_view p, std::span<const FormatArg> args, bool strict)
{
    std::string out;
    out.reserve(p.size() + 32);
    std::size_t next = 0;
    std::size_t pos = 0;
    while (pos < p.size()) {
        char c = p[pos];
        if (c != '%') {
            out += c;
            ++pos;
            continue;
        }
        std::size_t start = pos++;
        if (pos < p.size() && p[pos] == '%') {
            out += '%';
            ++pos;
            continue;
        }
        Spec spec;
        if (!parseSpec(p, pos, spec)) {
            if (strict) {
                return std::nullopt;
            }
            out += p.substr(start, pos - start);
            continue;
        }
        std::size_t argIndex = spec.index >= 0 ? static_cast<std::size_t>(spec.index) : next;
        next = argIndex + 1;
        if (argIndex >= args.size() || !fits(spec, args[argIndex])) {
            if (strict) {
                return std::nullopt;
            }
            out += p.substr(start, pos - start);
            continue;
        }
        out += render(spec, args[argIndex]);
    }
    return out;
}

} // namespace

std::optional<std::string> tryFormatText(std::string_view pattern, std::span<const FormatArg> args)
{
    return fill(pattern, args, true);
}

std::string formatText(std::string_view pattern, std::string_view fallback, std::span<const FormatArg> args)
{
    if (auto s = fill(pattern, args, true)) {
        return *s;
    }
    if (auto s = fill(fallback, args, true)) {
        return *s;
    }
    return *fill(fallback, args, false);
}

std::string formatText(std::string_view pattern, std::string_view fallback, std::initializer_list<FormatArg> args)
{
    return formatText(pattern, fallback, std::span<const FormatArg>(args.begin(), args.size()));
}

std::string formatText(std::string_view pattern, std::initializer_list<FormatArg> args)
{
    return formatText(pattern, pattern, std::span<const FormatArg>(args.begin(), args.size()));
}

} // namespace qv
