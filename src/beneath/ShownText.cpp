// Names and messages as they are shown on a terminal or written into a log.
#include "beneath/ShownText.h"

namespace qv {
namespace {

// The length of the valid UTF-8 sequence at `i` (1 for ASCII), 0 for a byte that starts none.
std::size_t sequenceLength(std::string_view s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80) {
        return 1;
    }
    std::size_t n = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        low = c == 0xe0 ? 0xa0 : 0x80;  // no overlong forms
        high = c == 0xed ? 0x9f : 0xbf; // no surrogates
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        low = c == 0xf0 ? 0x90 : 0x80;
        high = c == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (i + n > s.size() || byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < n; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xbf) {
            return 0;
        }
    }
    return n;
}

void appendHex(std::string &out, unsigned char c)
{
    static const char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0f];
}

} // namespace

std::string shownText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t n = sequenceLength(text, i);
        if (n == 2 && c == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            // U+0080..U+009F, the C1 controls.
            appendHex(out, c);
            appendHex(out, static_cast<unsigned char>(text[i + 1]));
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            appendHex(out, c);
        } else {
            out.append(text.substr(i, n == 0 ? 1 : n));
        }
        i += n == 0 ? 1 : n;
    }
    return out;
}

} // namespace qv
