// REGEDIT4 import: a parser that checks the whole file first, then one transaction that applies it.
#include "platform/RegistryFile.h"

#include "platform/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qv {

namespace {

struct ParsedValue {
    std::string name;
    std::uint32_t type;
    std::string data;
};

struct ParsedKey {
    RegRoot root;
    std::string path;
    std::vector<ParsedValue> values;
};

// 8-bit files: each line is taken as UTF-8 when it is valid UTF-8 and as Windows-1252 otherwise,
// so that one odd line does not change the reading of the others.
std::string decodeSettingsFile(const std::string &bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        return utf16leToUtf8(std::string_view(bytes).substr(2));
    }
    std::string_view in(bytes);
    if (in.substr(0, 3) == "\xEF\xBB\xBF") {
        in.remove_prefix(3);
    }
    if (isValidUtf8(in)) {
        return std::string(in);
    }
    std::string out;
    out.reserve(in.size() + in.size() / 8);
    std::size_t pos = 0;
    while (pos < in.size()) {
        std::size_t end = in.find('\n', pos);
        end = end == std::string_view::npos ? in.size() : end + 1;
        std::string_view line = in.substr(pos, end - pos);
        out += isValidUtf8(line) ? std::string(line) : windows1252ToUtf8(line);
        pos = end;
    }
    return out;
}

// The bytes that hold the longest first line, in UTF-16 with its mark.
constexpr std::size_t kHeadBytes = 256;

// True when `head`, the file's first bytes, can still begin with a settings file's first line: a
// first line that has ended must be a header, one cut short by the end of `head` may begin one.
bool beginsLikeSettingsFile(std::string_view head)
{
    const bool utf16 = head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0xFF &&
                       static_cast<unsigned char>(head[1]) == 0xFE;
    std::string first;
    bool ended = false;
    if (utf16) {
        std::string_view rest = head.substr(2);
        std::size_t end = 0;
        while (end + 1 < rest.size() && !(rest[end] == '\n' && rest[end + 1] == '\0')) {
            end += 2;
        }
        ended = end + 1 < rest.size();
        first = utf16leToUtf8(rest.substr(0, end));
    } else {
        if (head.substr(0, 3) == "\xEF\xBB\xBF") {
            head.remove_prefix(3);
        }
        const std::size_t end = head.find('\n');
        ended = end != std::string_view::npos;
        first = std::string(head.substr(0, end));
    }
    while (!first.empty() && (first.back() == '\r' || first.back() == ' ' || first.back() == '\t')) {
        first.pop_back();
    }
    for (std::string_view header : {"REGEDIT4", "Windows Registry Editor Version 5.00"}) {
        if (ended ? first == header : first.size() <= header.size() && header.substr(0, first.size()) == first) {
            return true;
        }
    }
    return false;
}

// The file's bytes, read within the import's limits: a file that does not begin as a settings file
// is refused after its first few bytes, and so is a line or a file past its limit, before more is
// read.
std::string readSettingsFile(const std::string &fileName)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        throw RegistryError("Cannot open \"" + fileName + "\": " + std::strerror(errno));
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    std::string data;
    bool headChecked = false;
    int line = 1;
    std::size_t lineStart = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw RegistryError("Cannot read \"" + fileName + "\": " + std::strerror(errno));
        }
        const std::size_t from = data.size();
        data.append(buffer, static_cast<std::size_t>(n));
        if (!headChecked && (n == 0 || data.size() >= kHeadBytes || data.find('\n') != std::string::npos)) {
            const std::string_view head = std::string_view(data).substr(0, std::min(data.size(), kHeadBytes));
            if (!beginsLikeSettingsFile(head)) {
                throw RegistryFileError(fileName, 1,
                                        "not a settings file (the first line must be \"REGEDIT4\")");
            }
            headChecked = true;
        }
        for (std::size_t at = from; at < data.size(); ++at) {
            if (data[at] == '\n') {
                ++line;
                lineStart = at + 1;
            }
        }
        if (data.size() - lineStart > kSettingsFileLineLimit) {
            throw RegistryFileError(fileName, line,
                                    "the line is longer than " + std::to_string(kSettingsFileLineLimit >> 20) +
                                        " MiB: not a settings file");
        }
        if (data.size() > kSettingsFileLimit) {
            throw RegistryFileError(fileName, line,
                                    "the file is larger than " + std::to_string(kSettingsFileLimit >> 20) +
                                        " MiB: not a settings file");
        }
        if (n == 0) {
            return data;
        }
    }
}

class Parser
{
public:
    Parser(const std::string &text, const RegistryImportOptions &options, const std::string &file)
        : m_t(text), m_opt(options), m_file(file)
    {
    }

    std::vector<ParsedKey> run(std::vector<std::string> &skipped)
    {
        std::string header = trimRight(readLine());
        if (header != "REGEDIT4" && header != "Windows Registry Editor Version 5.00") {
            m_line = 1;
            fail("not a settings file (the first line must be \"REGEDIT4\")");
        }
        std::vector<ParsedKey> keys;
        bool inSection = false;
        bool keep = false;
        while (m_pos < m_t.size()) {
            skipBlanks();
            if (atLineEnd()) {
                endLine();
                continue;
            }
            char c = m_t[m_pos];
            if (c == ';') {
                readLine();
            } else if (c == '[') {
                inSection = true;
                keep = section(keys, skipped);
            } else if (c == '"' || c == '@') {
                if (!inSection) {
                    fail("a value outside of any [key] section");
                }
                int line = m_line;
                ParsedValue v;
                std::string why;
                bool ok = value(v, why);
                if (keep && ok) {
                    keys.back().values.push_back(std::move(v));
                } else if (keep) {
                    skipped.push_back("line " + std::to_string(line) + ": " + why);
                }
            } else {
                fail("unexpected text \"" + preview() + "\"");
            }
        }
        return keys;
    }

private:
    [[noreturn]] void fail(const std::string &what) { throw RegistryFileError(m_file, m_line, what); }

    static std::string trimRight(std::string s)
    {
        while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
            s.pop_back();
        }
        return s;
    }

    std::string readLine()
    {
        std::size_t end = m_t.find('\n', m_pos);
        if (end == std::string::npos) {
            end = m_t.size();
        }
        std::string line = m_t.substr(m_pos, end - m_pos);
        m_pos = end;
        endLine();
        return line;
    }

    std::string preview() const
    {
        std::size_t end = m_t.find('\n', m_pos);
        std::string s = trimRight(m_t.substr(m_pos, std::min<std::size_t>(end - m_pos, 40)));
        return s;
    }

    void skipBlanks()
    {
        while (m_pos < m_t.size() && (m_t[m_pos] == ' ' || m_t[m_pos] == '\t')) {
            ++m_pos;
        }
    }

    bool atLineEnd() const
    {
        return m_pos >= m_t.size() || m_t[m_pos] == '\n' || (m_t[m_pos] == '\r' && (m_pos + 1 >= m_t.size() || m_t[m_pos + 1] == '\n'));
    }

    void endLine()
    {
        if (m_pos < m_t.size() && m_t[m_pos] == '\r') {
            ++m_pos;
        }
        if (m_pos < m_t.size() && m_t[m_pos] == '\n') {
            ++m_pos;
            ++m_line;
        }
    }

    void expectLineEnd()
    {
        skipBlanks();
        if (!atLineEnd()) {
            fail("unexpected text \"" + preview() + "\" after the value");
        }
        endLine();
    }

    bool allowed(RegRoot root, const std::string &path) const
    {
        if (root != m_opt.allowedRoot) {
            return false;
        }
        std::string want = regFoldName(m_opt.allowedKey);
        while (!want.empty() && want.back() == '\\') {
            want.pop_back();
        }
        if (!want.empty() && want[0] != '\\') {
            want.insert(want.begin(), '\\');
        }
        std::string have = regFoldName(path);
        return want.empty() || have == want || have.rfind(want + "\\", 0) == 0;
    }

    // "[ROOT\path]" or "[-ROOT\path]"; true when the section's values are to be applied.
    bool section(std::vector<ParsedKey> &keys, std::vector<std::string> &skipped)
    {
        int line = m_line;
        std::string text = trimRight(readLine());
        std::size_t close = text.rfind(']');
        if (close == std::string::npos || close + 1 != text.size()) {
            m_line = line;
            fail("a key line must end with \"]\"");
        }
        std::string inner = text.substr(1, close - 1);
        bool remove = !inner.empty() && inner[0] == '-';
        if (remove) {
            inner.erase(0, 1);
        }
        std::size_t slash = inner.find('\\');
        std::string rootName = inner.substr(0, slash);
        RegRoot root;
        if (!parseRegRootName(rootName, root)) {
            static const char *const kOtherRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_USERS", "HKEY_PERFORMANCE_DATA",
                                                      "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
            bool known = false;
            for (const char *r : kOtherRoots) {
                known = known || regFoldName(rootName) == r;
            }
            if (known) {
                skipped.push_back("line " + std::to_string(line) + ": key [" + inner + "] (another root)");
                return false;
            }
            m_line = line;
            fail("unknown root key \"" + rootName + "\"");
        }
        std::string path;
        for (const std::string &part : splitRegPath(slash == std::string::npos ? "" : inner.substr(slash))) {
            path += "\\" + part;
        }
        if (remove) {
            skipped.push_back("line " + std::to_string(line) + ": deletion of key [" + inner + "] (not applied)");
            return false;
        }
        if (!allowed(root, path)) {
            skipped.push_back("line " + std::to_string(line) + ": key [" + inner + "] (outside the program's key)");
            return false;
        }
        keys.push_back(ParsedKey{root, path, {}});
        return true;
    }

    // A double-quoted text with \\ and \" escapes; it may run over line ends.
    std::string quoted()
    {
        int startLine = m_line;
        ++m_pos; // opening quote
        std::string out;
        while (true) {
            if (m_pos >= m_t.size()) {
                m_line = startLine;
                fail("a text that is never closed by \"");
            }
            char c = m_t[m_pos++];
            if (c == '"') {
                return out;
            }
            if (c == '\\' && m_pos < m_t.size() && (m_t[m_pos] == '\\' || m_t[m_pos] == '"')) {
                out += m_t[m_pos++];
                continue;
            }
            if (c == '\n') {
                ++m_line;
            }
            out += c;
        }
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    }

    // Comma-separated bytes; a "\" at the end of a line continues on the next (indented) one.
    std::string hexBytes()
    {
        std::string out;
        while (true) {
            skipBlanks();
            if (m_pos < m_t.size() && m_t[m_pos] == '\\') {
                ++m_pos;
                skipBlanks();
                if (!atLineEnd() || m_pos >= m_t.size()) {
                    fail("a \"\\\" continuation must end its line");
                }
                endLine();
                if (m_pos >= m_t.size()) {
                    fail("the file ends where more bytes were announced");
                }
                continue;
            }
            if (atLineEnd()) {
                break;
            }
            int hi = hexDigit(m_t[m_pos]);
            if (hi < 0) {
                // Appended piece by piece: GCC 12 at -O3 wrongly warns (stringop-overflow)
                // about `"literal" + temporary string`.
                std::string message = "\"";
                message += preview();
                message += "\" is not a hexadecimal byte";
                fail(message);
            }
            ++m_pos;
            int v = hi;
            if (m_pos < m_t.size() && hexDigit(m_t[m_pos]) >= 0) {
                v = v * 16 + hexDigit(m_t[m_pos++]);
            }
            out += static_cast<char>(v);
            skipBlanks();
            if (m_pos < m_t.size() && m_t[m_pos] == ',') {
                ++m_pos;
            } else if (!atLineEnd() && m_t[m_pos] != '\\') {
                fail("bytes must be separated by commas");
            }
        }
        endLine();
        return out;
    }

    static bool startsWithNoCase(const std::string &s, std::size_t pos, const char *prefix)
    {
        std::size_t n = std::strlen(prefix);
        if (s.size() - pos < n) {
            return false;
        }
        for (std::size_t i = 0; i < n; ++i) {
            char a = s[pos + i];
            if (a >= 'A' && a <= 'Z') {
                a = static_cast<char>(a - 'A' + 'a');
            }
            if (a != prefix[i]) {
                return false;
            }
        }
        return true;
    }

    // "dword:" data: 1 to 8 hexadecimal digits, stored as 4 little-endian bytes.
    std::string dwordData()
    {
        std::uint32_t n = 0;
        int digits = 0;
        while (m_pos < m_t.size() && hexDigit(m_t[m_pos]) >= 0) {
            n = (n << 4) | static_cast<std::uint32_t>(hexDigit(m_t[m_pos++]));
            ++digits;
        }
        if (digits == 0 || digits > 8) {
            fail("dword: needs 1 to 8 hexadecimal digits");
        }
        expectLineEnd();
        return std::string{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                           static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
    }

    // One value line; false (with the reason) for a value that is valid but not applied.
    bool value(ParsedValue &v, std::string &why)
    {
        if (m_t[m_pos] == '@') {
            ++m_pos;
        } else {
            v.name = quoted();
        }
        skipBlanks();
        if (m_pos >= m_t.size() || m_t[m_pos] != '=') {
            fail("\"=\" expected after the value name");
        }
        ++m_pos;
        skipBlanks();
        std::string label = v.name.empty() ? std::string("@") : "\"" + v.name + "\"";
        if (m_pos < m_t.size() && m_t[m_pos] == '"') {
            v.type = REG_SZ;
            v.data = quoted();
            expectLineEnd();
            return true;
        }
        if (m_pos < m_t.size() && m_t[m_pos] == '-') {
            ++m_pos;
            expectLineEnd();
            why = "deletion of value " + label + " (not applied)";
            return false;
        }
        if (startsWithNoCase(m_t, m_pos, "dword:")) {
            m_pos += 6;
            v.type = REG_DWORD;
            v.data = dwordData();
            return true;
        }
        if (startsWithNoCase(m_t, m_pos, "hex:")) {
            m_pos += 4;
            v.type = REG_BINARY;
            v.data = hexBytes();
            return true;
        }
        if (startsWithNoCase(m_t, m_pos, "hex(")) {
            std::size_t close = m_t.find("):", m_pos);
            std::size_t eol = m_t.find('\n', m_pos);
            if (close == std::string::npos || close > eol) {
                fail("malformed hex(type): value");
            }
            std::string type = m_t.substr(m_pos + 4, close - m_pos - 4);
            m_pos = close + 2;
            hexBytes();
            why = "value " + label + " of type hex(" + type + ") (not supported)";
            return false;
        }
        fail("unknown value data \"" + preview() + "\"");
    }

    const std::string &m_t;
    const RegistryImportOptions &m_opt;
    std::string m_file;
    std::size_t m_pos = 0;
    int m_line = 1;
};

} // namespace

namespace {

// The file's keys and values that the options' filter chooses.
std::vector<ParsedKey> chosenKeys(std::vector<ParsedKey> keys, const RegistryImportOptions &options)
{
    if (!options.filter) {
        return keys;
    }
    std::vector<ParsedKey> out;
    for (ParsedKey &k : keys) {
        bool keepKey = options.filter(k.path, std::nullopt);
        std::vector<ParsedValue> values;
        for (ParsedValue &v : k.values) {
            if (options.filter(k.path, std::string_view(v.name))) {
                values.push_back(std::move(v));
            }
        }
        if (keepKey || !values.empty()) {
            k.values = std::move(values);
            out.push_back(std::move(k));
        }
    }
    return out;
}

// Removes the stored subtree of each chosen key that is to be replaced (each once).
void removeReplacedKeys(RegistryStore &store, const std::vector<ParsedKey> &keys,
                        const RegistryImportOptions &options)
{
    if (!options.replaceKey) {
        return;
    }
    std::vector<std::string> done;
    for (const ParsedKey &k : keys) {
        const std::string folded = regFoldName(k.path);
        if (!options.replaceKey(k.path) || std::find(done.begin(), done.end(), folded) != done.end()) {
            continue;
        }
        done.push_back(folded);
        if (std::int64_t id = store.findKey(k.root, k.path); id != 0) {
            store.deleteKeyTree(id);
        }
    }
}

} // namespace

RegistryImportReport importRegistryText(RegistryStore &store, const std::string &bytes,
                                        const RegistryImportOptions &options, const std::string &fileName)
{
    if (!beginsLikeSettingsFile(std::string_view(bytes).substr(0, kHeadBytes))) {
        throw RegistryFileError(fileName, 1, "not a settings file (the first line must be \"REGEDIT4\")");
    }
    const std::string text = decodeSettingsFile(bytes);
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos) {
        const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
        throw RegistryFileError(fileName, static_cast<int>(line),
                                "not a settings file (it holds a NUL character)");
    }
    RegistryImportReport report;
    Parser parser(text, options, fileName);
    const std::vector<ParsedKey> keys = chosenKeys(parser.run(report.skipped), options);
    int total = 0;
    for (const ParsedKey &k : keys) {
        total += static_cast<int>(k.values.size());
    }
    RegistryTransaction tx(store);
    removeReplacedKeys(store, keys, options);
    for (const ParsedKey &k : keys) {
        std::int64_t id = store.createKey(k.root, k.path);
        for (const ParsedValue &v : k.values) {
            store.writeValue(id, v.name, v.type, v.data);
            ++report.values;
            if (options.progress && report.values % 1000 == 0) {
                options.progress(report.values, total);
            }
        }
        ++report.keys;
    }
    tx.commit();
    return report;
}

RegistryImportReport importRegistryFile(RegistryStore &store, const std::string &fileName,
                                        const RegistryImportOptions &options)
{
    return importRegistryText(store, readSettingsFile(fileName), options, fileName);
}

} // namespace qv
