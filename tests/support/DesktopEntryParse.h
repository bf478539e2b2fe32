// Reading desktop entry files back in tests: the Exec line split by the Desktop Entry rules.
#pragma once

#include "support/TestEnv.h"

#include <string>
#include <vector>

namespace qvtest {

// The reading side, written from the Desktop Entry rules: first the string escapes of the file
// format, then the Exec quoting (inside quotes a backslash escapes " ` $ \), then "%%".
inline std::vector<std::string> parseExec(const std::string &value)
{
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char n = value[++i];
            unescaped += n == 's' ? ' ' : n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n;
        } else {
            unescaped += value[i];
        }
    }
    std::vector<std::string> args;
    std::string cur;
    bool inArg = false;
    for (std::size_t i = 0; i < unescaped.size(); ++i) {
        char c = unescaped[i];
        if (c == '"') {
            inArg = true;
            for (++i; i < unescaped.size() && unescaped[i] != '"'; ++i) {
                if (unescaped[i] == '\\' && i + 1 < unescaped.size()) {
                    ++i;
                }
                cur += unescaped[i];
            }
        } else if (c == ' ') {
            if (inArg) {
                args.push_back(cur);
            }
            cur.clear();
            inArg = false;
        } else {
            cur += c;
            inArg = true;
        }
    }
    if (inArg) {
        args.push_back(cur);
    }
    for (auto &a : args) {
        std::string out;
        for (std::size_t i = 0; i < a.size(); ++i) {
            out += a[i];
            if (a[i] == '%' && i + 1 < a.size() && a[i + 1] == '%') {
                ++i;
            }
        }
        a = out;
    }
    return args;
}

inline std::string execValue(const std::string &file)
{
    std::string text = qvtest::readFile(file);
    auto at = text.find("\nExec=");
    if (at == std::string::npos) {
        return {};
    }
    auto end = text.find('\n', at + 1);
    return text.substr(at + 6, end - at - 6);
}

} // namespace qvtest
