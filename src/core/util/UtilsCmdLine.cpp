// Command-line tokens and delimited lists, with the rules users know from the original program.
#include "core/util/Utils.h"

namespace qv {
namespace {

bool isBlank(char c)
{
    auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

bool isTokenChar(char c)
{
    return static_cast<unsigned char>(c) > 32;
}

} // namespace

std::size_t ExtractCmdLineParam(const std::string &text, std::size_t pos, std::string &param)
{
    param.clear();
    const std::size_t n = text.size();
    for (;;) {
        while (pos < n && isBlank(text[pos])) {
            ++pos;
        }
        if (pos + 1 < n && text[pos] == '"' && text[pos + 1] == '"') {
            pos += 2;
        } else {
            break;
        }
    }
    while (pos < n && isTokenChar(text[pos])) {
        if (text[pos] == '"') {
            ++pos;
            while (pos < n && text[pos] != '\0' && text[pos] != '"') {
                param += text[pos++];
            }
            if (pos < n && text[pos] == '"') {
                ++pos;
            }
        } else {
            param += text[pos++];
        }
    }
    return pos;
}

int GetCmdLineParamCount(const std::string &commandLine)
{
    std::string token;
    std::size_t pos = ExtractCmdLineParam(commandLine, 0, token);
    int count = 0;
    for (;;) {
        pos = ExtractCmdLineParam(commandLine, pos, token);
        if (token.empty()) {
            return count;
        }
        ++count;
    }
}

std::string GetCmdLineParamStr(const std::string &commandLine, int index)
{
    if (index == 0) {
        return GetExePath();
    }
    std::string token;
    std::size_t pos = 0;
    for (;;) {
        pos = ExtractCmdLineParam(commandLine, pos, token);
        if (index == 0 || token.empty()) {
            return token;
        }
        --index;
    }
}

std::vector<std::string> SplitDelimitedText(const std::string &text, char delimiter)
{
    std::vector<std::string> items;
    const std::size_t n = text.size();
    std::size_t p = 0;
    auto skipBlanks = [&] {
        while (p < n && isBlank(text[p])) {
            ++p;
        }
    };
    skipBlanks();
    while (p < n && text[p] != '\0') {
        std::string item;
        if (text[p] == '"') {
            ++p;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        item += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            while (p < n && isTokenChar(text[p]) && text[p] != delimiter) {
                item += text[p++];
            }
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (p < n && text[p] == delimiter) {
            if (p + 1 >= n) {
                items.emplace_back();
            }
            ++p;
            skipBlanks();
        }
    }
    return items;
}

std::string ToCommaText(const std::vector<std::string> &items)
{
    if (items.size() == 1 && items[0].empty()) {
        return "\"\"";
    }
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string &s = items[i];
        bool quote = false;
        for (char c : s) {
            if (static_cast<unsigned char>(c) <= 32 || c == '"' || c == ',') {
                quote = true;
                break;
            }
        }
        if (i > 0) {
            out += ',';
        }
        if (quote) {
            out += '"';
            for (char c : s) {
                out += c;
                if (c == '"') {
                    out += '"';
                }
            }
            out += '"';
        } else {
            out += s;
        }
    }
    return out;
}

std::vector<std::string> FromCommaText(const std::string &text)
{
    return SplitDelimitedText(text, ',');
}

} // namespace qv
