// Delimited text lists.
#include "core/TaskCommaText.h"

namespace qv {
namespace {

bool isBlankOrControl(char c)
{
    auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= ' ';
}

} // namespace

std::vector<std::string> splitDelimitedText(std::string_view text, char delimiter)
{
    std::vector<std::string> items;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto skipBlanks = [&] {
        while (i < n && isBlankOrControl(text[i])) {
            ++i;
        }
    };
    skipBlanks();
    while (i < n) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            while (i < n && static_cast<unsigned char>(text[i]) > ' ' && text[i] != delimiter) {
                item += text[i++];
            }
            if (i < n && text[i] == '\0') {
                // A NUL ends the text, as it would a C string.
                items.push_back(std::move(item));
                return items;
            }
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (i < n && text[i] == delimiter) {
            if (i + 1 == n) {
                items.emplace_back();
            }
            ++i;
            skipBlanks();
        }
    }
    return items;
}

std::string joinDelimitedText(const std::vector<std::string> &items, char delimiter)
{
    std::string out;
    bool first = true;
    for (const std::string &item : items) {
        if (!first) {
            out += delimiter;
        }
        first = false;
        bool quote = false;
        for (char c : item) {
            if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == delimiter) {
                quote = true;
                break;
            }
        }
        if (!quote) {
            out += item;
            continue;
        }
        out += '"';
        for (char c : item) {
            if (c == '"') {
                out += '"';
            }
            out += c;
        }
        out += '"';
    }
    return out;
}

} // namespace qv
